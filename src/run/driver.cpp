#include "run/driver.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <iostream>

#include "bootstrap/analysis_flow.h"
#include "bootstrap/cluster_runs.h"
#include "bootstrap/results_writers.h"
#include "dataset/dataset.h"
#include "run/exit.h"
#include "run/failure_handlers.h"
#include "run/option_table.h"
#include "run/options.h"
#include "run/output_file.h"
#include "run/random_generator.h"
#include "run/settings.h"
#include "run/signal_watch.h"
#include "run/start_up.h"
#include "run/temp_files.h"

namespace {

void seedGenerators() {
  runSeed = static_cast<int>(static_cast<int32_t>(std::time(nullptr)));
  std::srand(static_cast<unsigned>(runSeed));
  rng = randomGenerator();
  rng.seed(runSeed);
}

void runFlow() {
  if (writeStats == 1) writeStatistics();
  if (singleFilesets) {
    writeSingleSnps();
    fatalExit(0);
  }
  if (joinRuns == 1) {
    joinClusterResults();
  } else {
    runAnalysis();
  }
}

void warnAboutLargeOddsRatios() {
  if (largeOrWarnings <= 0) return;
  std::cout << "Warning: Some SNPs were found to have OR > "
            << static_cast<int>(std::exp(maxLogOddsRatio) + 0.5)
            << ".\n  This is probably due to sparse or missing data.\n"
               "  Please check the log file for the names of the offending SNPs (search for "
               "Warning:).\n";
}

}  // namespace

int runProgram(int argc, const char* const* argv) {
  installFailureHandlers();
  watchTerminationSignals();
  printBanner();
  seedGenerators();
  inputBaseName = "input";
  pedFileName.clear();
  mapFileName.clear();

  options store(argc, argv);
  parseOptions(store);
  store.checkUnusedOptions();
  checkCountRanges();
  checkOptionCombinations();

  std::cout << "\nCommand line options are: ";
  store.printCommandLine();
  std::cout << "\n\n";
  checkJoinAgainstCluster();
  startThreads();  // before the first file of the run: the cluster instance's partial file

  // --cluster 0/n would run as an instance that writes no partial-results file and reports
  // success: the set-up refuses it along with every other k outside 1..n.
  if (clusterIndex != 0 || (clusterCount > 0 && joinRuns == 0)) setUpClusterInstance();
  // A cluster instance writes only its partial file, --single only filesets.
  if (clusterIndex == 0 && !singleFilesets) checkOutputFile();
  completeScratchPrefix();
  if (fast == 1) reportPlinkVersion();
  printAnalysisParameters();

  prepareDataSet();
  runFlow();

  if (debugLevel != 0 && clusterCount == 0) writeDebugSummary();
  warnAboutLargeOddsRatios();
  freeDataSet();
  finishRun();
  return 0;
}
