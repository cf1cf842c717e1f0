// Test support for the level engines: a case-control data set with two SNPs of strong effect
// and one of moderate effect, the run settings and naive selection on it, and a guard for the
// settings and results the engines read or write.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootstrap/analysis_flow.h"
#include "bootstrap/level0.h"
#include "bootstrap/level12.h"
#include "bootstrap/result_records.h"
#include "dataset/snp_filters.h"
#include "run/settings.h"
#include "test_support/bootstrap_snapshot.h"
#include "test_support/settings_snapshot.h"
#include "association/scan_test_data.h"

namespace leveltest {

// Positions of the SNPs with an effect in the design below.
constexpr int strongA = 4;
constexpr int strongB = 21;
constexpr int moderate = 12;

// 30 SNPs: two with allele frequencies 0.65 against 0.15 (p far below 1e-6 in any resample of
// 200 individuals), one with 0.28 against 0.45 (p near 1e-3), the rest without effect.
inline std::vector<scantest::snpDesign> levelDesign() {
  std::vector<scantest::snpDesign> design(30, {0.30, 0.30});
  design[strongA] = {0.65, 0.15};
  design[strongB] = {0.15, 0.65};
  design[moderate] = {0.28, 0.45};
  return design;
}

// The data set of the design with 200 individuals, half of them cases, and the allele
// frequencies that the Uboot scale reads, as the run's filters leave them.
inline void buildLevelDataSet() {
  scantest::buildDataSet(200, levelDesign());
  testing::internal::CaptureStdout();
  filterMaf();
  testing::internal::GetCapturedStdout();
}

// The level data set and the run the level tests share: TREND scans, LOGISTIC estimates in
// process, no Ud/Ue correlation adjustment, silent.
inline void prepareLevelRun() {
  buildLevelDataSet();
  testType = 1;
  estimateType = 0;
  fast = 1;
  adjCor = 0;
  silent = 1;
}

// Puts back the settings and empties the results the level engines read or write.
class levelGuard {
  testsupport::settingsSnapshot settings_;
  testsupport::bootstrapSnapshot results_;
};

// The naive selection at naiveAlpha, as the analysis runs it: nSig, naiveResults with Un.
inline void selectNaive(double naiveAlpha) {
  naiveResults.clear();
  alpha = naiveAlpha;
  testing::internal::CaptureStdout();
  std::vector<snpRecord*> significant = computeNaiveEstimate();
  computeNaiveOddsRatios(individuals, significant);
  testing::internal::GetCapturedStdout();
}

// Lines of text that begin with the given words.
inline int countLines(const std::string& text, const std::string& start) {
  int count = 0;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (text.compare(at, start.size(), start) == 0) ++count;
    at = end + 1;
  }
  return count;
}

}  // namespace leveltest
