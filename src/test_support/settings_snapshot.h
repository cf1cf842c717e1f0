// Test support: a guard that copies every run setting when it is made and puts them all back
// when it ends, so that a test may change any of them.
#pragma once

#include <omp.h>

#include <tuple>

#include "run/settings.h"
#include "association/plink_runner.h"

namespace testsupport {

// Every copyable setting of run/settings.h, in its order, and how plink is called. The two
// atomics are saved apart from these. A setting added there belongs here too.
inline auto settingReferences() {
  return std::tie(alpha, testType, estimateType, quantitativeTrait, studyType, nL0, nL1, nL2,
                  topCount, keepCount, mafThreshold, mafThresholdCases, mafThresholdControls, fast,
                  inProcessLogistic, silent, debugLevel, allBias, writeStats, noTruncate,
                  minCellCount, mafCorrection, adjCimaf, adjCor, adjNsample, logScale, cpuCount,
                  outFileName, scratchPrefix, excludeFileName, extractFileName, phenoFileName,
                  missingPhenotype, rScriptFileName, useCovariates, covarFileName, covarSelection,
                  covarNumberGiven, plinkCovarArgs, dummyData, clusterIndex, clusterCount,
                  joinRuns, maxLogOddsRatio, trendScreening, snpColumnWidth, useFisherExact,
                  traceMatrices, plinkOutName, inputBaseName, pedFileName, mapFileName,
                  randomPhenotypes, makeFemale, singleFilesets, selectedChromosome, runSeed,
                  plink.executable, plink.arguments);
}

// The values behind the references, copied.
inline auto settingValues() {
  return std::apply([](auto&... setting) { return std::make_tuple(setting...); },
                    settingReferences());
}

// Saves every setting, the large-odds-ratio counter and the OpenMP thread count; restores them
// all at the end, whatever the test changed.
class settingsSnapshot {
 public:
  settingsSnapshot()
      : saved_(settingValues()), screeningP_(screeningP.load()),
        largeOrWarnings_(largeOrWarnings.load()), threads_(omp_get_max_threads()) {}
  ~settingsSnapshot() {
    settingReferences() = saved_;
    screeningP = screeningP_;
    largeOrWarnings = largeOrWarnings_;
    omp_set_num_threads(threads_);
  }
  settingsSnapshot(const settingsSnapshot&) = delete;
  settingsSnapshot& operator=(const settingsSnapshot&) = delete;

 private:
  decltype(settingValues()) saved_;
  double screeningP_;
  int largeOrWarnings_;
  int threads_;
};

}  // namespace testsupport
