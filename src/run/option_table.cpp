#include "run/option_table.h"

#include <omp.h>

#include <algorithm>
#include <cerrno>
#include <climits>
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

// Bounds of the counts that size the work of a run. Each is far above what an analysis uses
// (hundreds of replicates, tens of correlation resamples), and low enough that the attempt
// budgets (10 x nL0, 5 x nL1, 10 x nL2) stay well inside 32 bits and that the lists sized by a
// count up front (nL0 replicates, nL2 slots per thread) fit in memory.
constexpr long maxReplicates = 1000000;
constexpr long minAdjNsample = 2;  // a correlation needs two pairs
constexpr long maxAdjNsample = 100000;
constexpr long maxDummyIndividuals = 1000000;
constexpr long maxDummySnps = 10000000;
constexpr long maxDummyGenotypes = 1000000000;  // about 250 MB packed, drawn in seconds
// Threads beyond the processors only add contention; the runtime starts 1024 without trouble,
// while tens of thousands overflow its stack or fail to start at all.
constexpr int maxThreads = 1024;

// A count option as the user gave it: the range check after the lookups names the option and
// the text, and sees the value before it is kept in 32 bits (so 4294967396 is not taken as 100).
struct givenCount {
  const char* option = nullptr;  // null while the default holds
  std::string text;
  long value = 0;
};
givenCount givenL0, givenL1, givenL2, givenTop, givenAdjNsample;

int readCount(givenCount& given, const char* option, const char* text) {
  given = {option, text, std::strtol(text, nullptr, 10)};
  return toInt(text);
}

void checkCountRange(const givenCount& given, long lowest, long highest) {
  if (given.option == nullptr || (given.value >= lowest && given.value <= highest)) return;
  std::cout << "Error: " << given.option << " " << given.text
            << " is out of range: give a number from " << lowest << " to " << highest << ".\n";
  plainExit(1);
}

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

int threadLimit() { return std::max(maxThreads, omp_get_num_procs()); }

// An option value as a warning shows it: the number read when the whole text is that number,
// otherwise the text in quotes (strtol reads "abc" as 0 and "99999999999999999999" as LONG_MAX).
std::string shownValue(const char* text) {
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end != text && *end == '\0' && errno != ERANGE) return std::to_string(value);
  return "\"" + std::string(text) + "\"";
}

void setCpuCount(const char* text) {
  // The runtime must never be handed a thread count below 1; such a run uses one thread, and
  // cpuCount stays 1 so that the removal list still covers the names of thread 0. Nor a count
  // it cannot start: that run uses the limit.
  const long given = std::strtol(text, nullptr, 10);
  const int n = static_cast<int>(std::clamp<long>(given, 1, threadLimit()));
  if (given < 1) {
    std::cout << "Warning: --cpu " << shownValue(text)
              << " is not a thread count; using 1 cpu.\n";
  } else if (given > n) {
    std::cout << "Warning: --cpu " << shownValue(text)
              << " is more threads than can be started here; using " << n << " cpus.\n";
  }
  cpuCount = n;
  std::cout << "Setting number of cpus to use to " << n << ".\n\n";
  omp_set_num_threads(n);
}

// The dummy data set is generated as the option is met, so its sizes are checked here.
void generateDummy(const char* peopleText, const char* markersText) {
  const long people = std::strtol(peopleText, nullptr, 10);
  const long markers = std::strtol(markersText, nullptr, 10);
  if (people > maxDummyIndividuals || markers > maxDummySnps ||
      (people > 0 && markers > 0 && people * markers > maxDummyGenotypes)) {
    std::cout << "Error: --dummy " << peopleText << " " << markersText
              << " is too large: at most " << maxDummyIndividuals << " individuals, "
              << maxDummySnps << " SNPs and " << maxDummyGenotypes << " genotypes.\n";
    plainExit(1);
  }
  generateDummyDataset(toInt(peopleText), toInt(markersText));
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
  givenL0 = givenL1 = givenL2 = givenTop = givenAdjNsample = givenCount{};

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
  if (has("--L0", 1)) nL0 = readCount(givenL0, "--L0", arg(0));
  if (has("--L1", 1)) nL1 = readCount(givenL1, "--L1", arg(0));
  if (has("--L2", 1)) nL2 = readCount(givenL2, "--L2", arg(0));
  if (has("--B1", 1)) {
    nL0 = nL2 = readCount(givenL0, "--B1", arg(0));
    givenL2 = givenL0;
  }
  if (has("--B2", 1)) nL1 = readCount(givenL1, "--B2", arg(0));
  if (has("--alpha", 1)) alpha = toReal(arg(0));
  if (has("--top", 1)) topCount = readCount(givenTop, "--top", arg(0));
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
  if (has("--adj.nsample", 1)) adjNsample = readCount(givenAdjNsample, "--adj.nsample", arg(0));
  if (has("--log", 0)) logScale = 1;
  if (has("--scratch", 1)) scratchPrefix = scratchDirectoryPrefix(arg(0));
  if (has("--cpu", 1)) setCpuCount(arg(0));
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
    generateDummy(arg(0), arg(1));
    dummyData = 1;
  }
  if (has("--cluster", 1)) setCluster(arg(0));
  if (has("--join", 1)) {
    joinRuns = 1;
    clusterCount = toInt(arg(0));
  }
}

void checkCountRanges() {
  checkCountRange(givenL0, 0, maxReplicates);
  checkCountRange(givenL1, 0, maxReplicates);
  checkCountRange(givenL2, 0, maxReplicates);
  // -1, the default, means no limit; 0 or another negative count would empty the table.
  if (givenTop.value != -1) checkCountRange(givenTop, 1, INT_MAX);
  checkCountRange(givenAdjNsample, minAdjNsample, maxAdjNsample);
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
