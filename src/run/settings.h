// Run settings: written once by the command line (and a few by the driver at start-up), read
// everywhere afterwards. Defaults hold when an option is absent.
#pragma once

#include <atomic>
#include <string>

#include "dataset/missing_value.h"

inline double alpha = 0.05;              // --alpha: a SNP is significant when p <= alpha
inline int testType = 1;                 // --test: 0 minTRENDGENO, 1 TREND, 2 GENO, 3 LOGISTIC,
                                         //   4 ALLELIC, 5 RPLUGIN, 6 LINEAR, 7 DUMMY
inline int estimateType = 0;             // --estimate: 0 LOGISTIC, 2 ALLELIC, 3 RPLUGIN, 66 DUMMY
inline int quantitativeTrait = 0;        // --qt: 1 for a quantitative phenotype
inline int studyType = 1;                // --qt (2), --resampling: 1 case-control, 2 population
inline int nL0 = 100;                    // --L0, --B1: level-0 replicates
inline int nL1 = 0;                      // --L1, --B2: level-1 (outer) replicates
inline int nL2 = 100;                    // --L2, --B1: level-2 (inner) replicates per outer one
inline int topCount = -1;                // --top: at most this many significant SNPs (-1 no limit)
inline int keepCount = -1;               // --keep: cut the data set to the best SNPs (-1 no limit)
inline double mafThreshold = 0;          // --maf, --strictmaf: minimum minor-allele frequency
inline double mafThresholdCases = 0;     // --strictmaf: minimum in cases
inline double mafThresholdControls = 0;  // --strictmaf: minimum in controls
inline int fast = 1;                     // --fast (1), --slow (0): in-process scans
inline int inProcessLogistic = 1;        // --useplink (0): logistic estimates through plink
inline int silent = 1;                   // --silent (1), --verbose (0)
inline int debugLevel = 0;               // --debug: keep temporary files, extra output
inline int allBias = 0;                  // --allbias: write the per-replicate bias files
inline int writeStats = 0;               // --stats: write zuq.stats
inline int noTruncate = 0;               // --notruncate: keep negative Uboot values
inline int minCellCount = 5;             // --cell: smallest expected cell count of GENO/DOM/REC
inline int mafCorrection = 1;            // --mafcorrection (1), --nomafcorrection (0)
inline int adjCimaf = 1;                 // --adj.cimaf: MAF factor on the confidence intervals
inline int adjCor = 1;                   // --adj.cor: Ud/Ue correlation adjustment
inline int adjNsample = 30;              // --adj.nsample: resamples of the correlation step
inline int logScale = 0;                 // --log: results on the log scale
inline int cpuCount = 1;                 // --cpu; the driver first sets the processor count
inline std::string outFileName = "out.zuq";  // --out
inline std::string scratchPrefix;        // --scratch directory, then the temporary-name part
inline std::string excludeFileName;      // --exclude
inline std::string extractFileName;      // --extract
inline std::string phenoFileName;        // --pheno
inline std::string missingPhenotype = "-9";  // --missing-phenotype
inline std::string rScriptFileName;      // --R
inline bool useCovariates = false;       // --covar, --covar-number, --covar-name
inline std::string covarFileName;        // --covar
inline std::string covarSelection;       // --covar-number, --covar-name (print-out only)
inline bool covarNumberGiven = false;    // --covar-number
inline std::string plinkCovarArgs;       // --covar-number / --covar-name, handed to plink
inline int dummyData = 0;                // --dummy: the data set is generated
inline int clusterIndex = 0;             // --cluster k/n: k
inline int clusterCount = 0;             // --cluster k/n, --join n: n
inline int joinRuns = 0;                 // --join: join cluster partial results

// Settings that no option changes.
inline double maxLogOddsRatio = 3.0;     // |log OR| above which a large-OR warning is counted
inline int trendScreening = 1;           // LOGISTIC test: screen SNPs by their TREND p first
inline std::atomic<double> screeningP = missingValue;  // TREND screening threshold, set once
                                                       //   by the first LOGISTIC scan
inline int snpColumnWidth = 10;          // width of the SNP column of full-model print-outs
inline int useFisherExact = 0;           // exact p-values for the allelic and full-model tests
inline int traceMatrices = 0;            // print the matrices of the matrix routines
inline std::string plinkOutName = "plinkout";

// A counter, not a setting: large-odds-ratio warnings seen during the run.
inline std::atomic<int> largeOrWarnings = 0;  // added to from worker threads

// Test names, indexed by testType.
inline const char* const testNames[8] = {"minTRENDGENO", "TREND", "GENO", "LOGISTIC",
                                         "ALLELIC", "RPLUGIN", "LINEAR", "DUMMY"};

// Values that belong to the program driver alone.
inline std::string inputBaseName = "input";  // --file
inline std::string pedFileName;              // --file, --ped
inline std::string mapFileName;              // --file, --map
inline bool randomPhenotypes = false;        // --random: phenotypes drawn from rng
inline bool makeFemale = false;              // --makefemale: every sex code becomes "1"
inline bool singleFilesets = false;          // --single: write per-SNP filesets and stop
inline int selectedChromosome = -1;          // --chr (-1: no selection)
inline int runSeed = 0;                      // seed of rng: the clock, or --seed
