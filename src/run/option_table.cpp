#include "run/option_table.h"

#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "dataset/dummy_dataset.h"
#include "run/exit.h"
#include "run/options.h"
#include "run/random_generator.h"
#include "run/settings.h"
#include "run/temp_files.h"
#include "association/plink_runner.h"

namespace {

// Option values are converted without validation, as strtol (base 10, kept in 32 bits) and
// strtod do: text that is no number gives 0 and trailing characters are ignored.
int toInt(const char* text) { return static_cast<int>(std::strtol(text, nullptr, 10)); }
double toReal(const char* text) { return std::strtod(text, nullptr); }

void selectTest(const std::string& name) {
  for (int code = 0; code < 8; ++code) {
    if (name == testNames[code]) {
      testType = code;
      return;
    }
  }
  std::cout << "Error: Unknown test type \"" << name << "\"\n  should be one of ";
  for (int code = 0; code <= 6; ++code) std::cout << testNames[code] << " ";
  std::cout << "\n";
  plainExit(1);
}

void selectEstimate(const std::string& name) {
  if (name == "LOGISTIC") {
    estimateType = 0;
  } else if (name == "ALLELIC") {
    estimateType = 2;
  } else if (name == "DUMMY") {
    estimateType = 66;
  } else if (name == "RPLUGIN") {
    estimateType = 3;
  } else {
    std::cout << "Error: Unknown estimate type \"" << name
              << "\"\n  should be one of LOGISTIC, ALLELIC or RPLUGIN\n";
    plainExit(1);
  }
}

void setCpuCount(int n) {
  // The runtime must never be handed a thread count below 1; such a run uses one thread, and
  // cpuCount stays 1 so that the removal list still covers the names of thread 0.
  if (n < 1) {
    std::cout << "Warning: --cpu " << n << " is not a thread count; using 1 cpu.\n";
    n = 1;
  }
  cpuCount = n;
  std::cout << "Setting number of cpus to use to " << n << ".\n\n";
  omp_set_num_threads(n);
}

void setCluster(const char* text) {
  int k = 0;
  int n = 0;
  if (std::sscanf(text, "%d/%d", &k, &n) != 2) {
    std::cout << "Error: --cluster option accepts a string of the type k/n (e.g. 1/20)\n";
    fatalExit(1);
  }
  clusterIndex = k;
  clusterCount = n;
}

}  // namespace

void parseOptions(options& store) {
  auto has = [&store](const char* name, int nargs) { return store.findOption(name, nargs) != 0; };
  auto arg = [&store](int slot) { return store.optionArgs[slot]; };

  if (has("--file", 1)) {
    inputBaseName = arg(0);
    pedFileName = inputBaseName + ".ped";
    mapFileName = inputBaseName + ".map";
  }
  if (has("--ped", 1)) {
    if (!pedFileName.empty()) {
      std::cout << "Error: please specify only one of --file or --ped.\n";
      plainExit(1);
    }
    pedFileName = arg(0);
  }
  if (has("--map", 1)) {
    if (!mapFileName.empty()) {
      std::cout << "Error: please specify only one of --file or --map.\n";
      plainExit(1);
    }
    mapFileName = arg(0);
  }
  if (has("--test", 1)) selectTest(arg(0));
  if (has("--estimate", 1)) selectEstimate(arg(0));
  if (has("--qt", 0)) {
    quantitativeTrait = 1;
    studyType = 2;
  }
  if (has("--R", 1)) {
    rScriptFileName = arg(0);
    testType = 5;
    estimateType = 3;
  }
  if (has("--L0", 1)) nL0 = toInt(arg(0));
  if (has("--L1", 1)) nL1 = toInt(arg(0));
  if (has("--L2", 1)) nL2 = toInt(arg(0));
  if (has("--B1", 1)) nL0 = nL2 = toInt(arg(0));
  if (has("--B2", 1)) nL1 = toInt(arg(0));
  if (has("--alpha", 1)) alpha = toReal(arg(0));
  if (has("--top", 1)) topCount = toInt(arg(0));
  if (has("--maf", 1)) mafThreshold = toReal(arg(0));
  if (has("--strictmaf", 1)) mafThreshold = mafThresholdCases = mafThresholdControls = toReal(arg(0));
  if (has("--fast", 0)) fast = 1;
  if (has("--slow", 0)) fast = 0;
  if (has("--plink", 1)) plink.executable = arg(0);
  if (has("--random", 0)) randomPhenotypes = true;
  if (has("--makefemale", 0)) makeFemale = true;
  if (has("--silent", 0)) silent = 1;
  if (has("--verbose", 0)) silent = 0;
  if (has("--debug", 0)) debugLevel = 1;
  if (has("--allbias", 0)) allBias = 1;
  if (has("--out", 1)) outFileName = arg(0);
  if (has("--stats", 0)) writeStats = 1;
  if (has("--notruncate", 0)) noTruncate = 1;
  if (has("--cell", 1)) {
    minCellCount = toInt(arg(0));
    plink.arguments += " --cell " + std::to_string(minCellCount);
  }
  if (has("--help", 0)) {
    printUsage();
    plainExit(0);
  }
  if (has("--seed", 1)) {
    runSeed = toInt(arg(0));
    std::cout << "Setting random seed to " << runSeed << "\n";
    rng.seed(runSeed);
  }
  if (has("--single", 0)) singleFilesets = true;
  if (has("--chr", 1)) selectedChromosome = toInt(arg(0));
  if (has("--exclude", 1)) excludeFileName = arg(0);
  if (has("--extract", 1)) extractFileName = arg(0);
  if (has("--keep", 1)) keepCount = toInt(arg(0));
  if (has("--mafcorrection", 0)) mafCorrection = 1;
  if (has("--nomafcorrection", 0)) mafCorrection = 0;
  if (has("--adj.cimaf", 1)) adjCimaf = toInt(arg(0));
  if (has("--adj.cor", 1)) adjCor = toInt(arg(0));
  if (has("--adj.nsample", 1)) adjNsample = toInt(arg(0));
  if (has("--log", 0)) logScale = 1;
  if (has("--scratch", 1)) scratchPrefix = scratchDirectoryPrefix(arg(0));
  if (has("--cpu", 1)) setCpuCount(toInt(arg(0)));
  if (has("--pheno", 1)) phenoFileName = arg(0);
  if (has("--missing-phenotype", 1)) missingPhenotype = arg(0);
  if (has("--useplink", 0)) inProcessLogistic = 0;
  if (has("--covar", 1)) {
    useCovariates = true;
    covarFileName = arg(0);
  }
  if (has("--covar-number", 1)) {
    useCovariates = true;
    covarNumberGiven = true;
    covarSelection = arg(0);
    plinkCovarArgs += std::string("--covar-number ") + arg(0);
  }
  if (has("--covar-name", 1)) {
    if (covarNumberGiven) {
      std::cout << "Error: Multiple covariate selection commands. Use either --covar-number or "
                   "--covar-name\n";
      fatalExit(1);
    }
    useCovariates = true;
    covarSelection = arg(0);
    plinkCovarArgs += std::string("--covar-name ") + arg(0);
  }
  if (has("--resampling", 1)) studyType = toInt(arg(0));
  if (has("--dummy", 2)) {
    const int people = toInt(arg(0));
    const int markers = toInt(arg(1));
    generateDummyDataset(people, markers);
    dummyData = 1;
  }
  if (has("--cluster", 1)) setCluster(arg(0));
  if (has("--join", 1)) {
    joinRuns = 1;
    clusterCount = toInt(arg(0));
  }
}

void checkOptionCombinations() {
  if (dummyData != 1 && (pedFileName.empty() || mapFileName.empty())) {
    std::cout << "Error: Please specify input file using --file <basefilename> or --ped "
                 "<pedfile> and --map <mapfile> \n";
    plainExit(1);
  }
  if (useCovariates && covarFileName.empty()) {
    std::cout << "Error: No covariate file specified (please use --covar).\n";
    fatalExit(1);
  }
  if (useCovariates && quantitativeTrait != 1 && testType != 5) {
    testType = 3;
    std::cout << "Warning: automatically using logistic regression test because of covariates\n";
  }
}

void checkJoinAgainstCluster() {
  if (joinRuns != 1) return;
  if (clusterIndex > 0) {
    std::cout << "Error: Use only one of --cluster or --join.\n";
    fatalExit(1);
  }
  std::cout << "\nJoining the results from cluster runs..\n";
}
