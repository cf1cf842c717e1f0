#include "bootstrap/level12.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <iterator>
#include <regex>

#include "bootstrap/level_test_data.h"
#include "bootstrap/progress_text.h"
#include "run/random_generator.h"

namespace {

using leveltest::countLines;

TEST(TimeEstimateText, ProjectsTheRemainingTime) {
  struct estimateCase {
    long elapsed;
    int done;
    int total;
    const char* text;
  };
  const estimateCase cases[] = {
      // P = 100.5 x 100 / 20 = 502.5 s, 402.5 s left.
      {100, 20, 100, "6.7 min (20% done)"},
      // P = 10.5 x 10 / 5 = 21 s, 11 s left.
      {10, 5, 10, "11.0 sec (50% done)"},
      // P = 12.5 x 8 / 1 = 100 s exactly is not above 100: seconds (12.5% rounds to even).
      {12, 1, 8, "88.0 sec (12% done)"},
      // P = 0.5 x 3 / 2 = 0.75 s; the share rounds.
      {0, 2, 3, "0.8 sec (67% done)"},
      // All accepted: the half second of the projection is left.
      {40, 4, 4, "0.5 sec (100% done)"},
      // Threads that finish together accept more than total: counted as total, never
      // a negative time or more than 100%.
      {40, 6, 4, "0.5 sec (100% done)"},
      {200, 13, 10, "0.0 min (100% done)"},
  };
  for (const estimateCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(timeEstimateText(c.elapsed, c.done, c.total), c.text);
  }
}

class Level12 : public testing::Test {
 protected:
  void SetUp() override {
    leveltest::prepareLevelRun();
    leveltest::selectNaive(0.01);
    alpha = 0.01;
  }

  void clearLevel1() {
    level1Uboots.clear();
    level1Results.clear();
    level1SigCounts.clear();
  }

  scantest::settingsGuard settings;
  leveltest::levelGuard guard;
};

TEST_F(Level12, WithoutLevel1ResamplesOnlyTheHeadingIsPrinted) {
  nL1 = 0;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  computeLevel12();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nComputing level 1 & 2 quantities...\n");
  EXPECT_TRUE(level1Uboots.empty());
  EXPECT_TRUE(level1Results.empty());
  EXPECT_TRUE(level1SigCounts.empty());
}

// Rows of one accepted level-1 resample agree: J records, J Uboot values, count J.
TEST_F(Level12, AcceptsNl1ResamplesWithOneUbootPerRank) {
  nL1 = 3;
  nL2 = 4;
  for (const int threads : {1, 4}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    clearLevel1();
    omp_set_num_threads(threads);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    computeLevel12();
    const std::string errors = testing::internal::GetCapturedStderr();
    const std::string printed = testing::internal::GetCapturedStdout();

    const size_t accepted = level1Uboots.size();
    EXPECT_GE(accepted, static_cast<size_t>(nL1));
    EXPECT_LE(accepted, static_cast<size_t>(nL1 + threads - 1));
    ASSERT_EQ(level1Results.size(), accepted);
    ASSERT_EQ(level1SigCounts.size(), accepted);
    for (size_t j = 0; j < accepted; ++j) {
      SCOPED_TRACE("level-1 row " + std::to_string(j));
      const int J = level1SigCounts[j];
      EXPECT_GE(J, 1);
      EXPECT_LE(J, nSig);
      EXPECT_EQ(level1Results[j].size(), static_cast<size_t>(J));
      EXPECT_EQ(level1Uboots[j].size(), static_cast<size_t>(J));
      // Both strong SNPs are found by every level-2 resample: their ranks have a Uboot.
      EXPECT_NE(level1Uboots[j][0], missingValue);
    }
    const int level1Lines = countLines(printed, "Level L1-");
    EXPECT_GE(level1Lines, static_cast<int>(accepted));
    EXPECT_LE(level1Lines, 5 * nL1);
    EXPECT_EQ(countLines(printed, "Level L2_"), 0);
    // Every time estimate is one whole line on standard error.
    const std::regex estimate("Estimated time to complete analysis: \\d+\\.\\d (sec|min) "
                              "\\(\\d+% done\\)\n");
    std::string rest = errors;
    std::smatch match;
    while (std::regex_search(rest, match, estimate, std::regex_constants::match_continuous)) {
      rest = match.suffix();
    }
    EXPECT_EQ(rest, "");
    if (threads == 1) {
      // One thread: only the third accepted resample sees two accepted before it.
      EXPECT_EQ(std::regex_match(errors, std::regex("Estimated time to complete analysis: "
                                                    "\\d+\\.\\d sec \\(67% done\\)\n")),
                true)
          << errors;
    }
  }
}

TEST_F(Level12, WithoutLevel2ResamplesEveryUbootIsMissing) {
  nL1 = 2;
  nL2 = 0;
  omp_set_num_threads(2);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  computeLevel12();
  testing::internal::GetCapturedStderr();
  testing::internal::GetCapturedStdout();
  ASSERT_GE(level1Uboots.size(), 2u);
  for (size_t j = 0; j < level1Uboots.size(); ++j) {
    EXPECT_EQ(level1Uboots[j].size(), static_cast<size_t>(level1SigCounts[j]));
    for (const double u : level1Uboots[j]) EXPECT_EQ(u, missingValue);
  }
}

// A scan that finds nothing uses up the whole budget of 5 x nL1 attempts and accepts none.
TEST_F(Level12, ResamplesWithoutSignificantSnpsUseUpTheBudget) {
  nL1 = 2;
  nL2 = 3;
  alpha = -1;
  omp_set_num_threads(3);
  testing::internal::CaptureStdout();
  computeLevel12();
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(countLines(printed, "Level L1-"), 10);
  for (int i = 0; i < 10; ++i) {
    EXPECT_NE(printed.find("Level L1-" + std::to_string(i) + ":  significant snps=0 \n"),
              std::string::npos);
  }
  EXPECT_TRUE(level1Uboots.empty());
}

// The DUMMY test flags each SNP with probability alpha whatever the data: with 30 SNPs and
// alpha 0.002 about one resample in 17 finds a significant SNP, so most level-1 resamples that
// find one cannot fill their level-2 slots. Their draws end at 10 x nL2; before, a slot was
// drawn again without limit.
TEST_F(Level12, Level2DrawsAreBoundedPerLevel1Resample) {
  testType = 7;
  alpha = 0.002;
  nL1 = 4;
  nL2 = 3;
  omp_set_num_threads(1);
  const std::regex warning("Warning: Level-1 resample \\d+: only [0-2] of 3 level-2 resamples "
                           "found a significant SNP in 30 draws\\.");
  const std::regex nothingFound("Level L1-\\d+:  significant snps=0 \n");
  int warnings = 0;
  for (int seed = 1; seed <= 20 && warnings == 0; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    clearLevel1();
    rng.seed(seed);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    computeLevel12();
    testing::internal::GetCapturedStderr();
    const std::string printed = testing::internal::GetCapturedStdout();
    const int level1 = countLines(printed, "Level L1-");
    const int level1Found = level1 - static_cast<int>(std::distance(
        std::sregex_iterator(printed.begin(), printed.end(), nothingFound),
        std::sregex_iterator()));
    const int level2Scans = countLines(printed, "DUMMY Detection") - level1;
    EXPECT_LE(level2Scans, 30 * level1Found);
    warnings = static_cast<int>(std::distance(
        std::sregex_iterator(printed.begin(), printed.end(), warning), std::sregex_iterator()));
    EXPECT_EQ(countLines(printed, "Warning: Level-1 resample"), warnings);
    for (size_t j = 0; j < level1Uboots.size(); ++j) {
      EXPECT_EQ(level1Uboots[j].size(), static_cast<size_t>(level1SigCounts[j]));
    }
  }
  EXPECT_GE(warnings, 1);
}

TEST_F(Level12, OneThreadAndASeedRepeatTheLevel1Rows) {
  nL1 = 2;
  nL2 = 3;
  omp_set_num_threads(1);
  auto run = [&]() {
    clearLevel1();
    rng.seed(5);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    computeLevel12();
    testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    return std::make_pair(level1Uboots, level1Results);
  };
  const auto first = run();
  const auto second = run();
  ASSERT_EQ(first.first.size(), 2u);
  EXPECT_EQ(first.first, second.first);
  ASSERT_EQ(first.second.size(), second.second.size());
  for (size_t j = 0; j < first.second.size(); ++j) {
    ASSERT_EQ(first.second[j].size(), second.second[j].size());
    for (size_t k = 0; k < first.second[j].size(); ++k) {
      EXPECT_EQ(first.second[j][k].snp, second.second[j][k].snp);
      EXPECT_EQ(first.second[j][k].ud, second.second[j][k].ud);
    }
  }
}

}  // namespace
