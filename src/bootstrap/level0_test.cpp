#include "bootstrap/level0.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "bootstrap/bias_files.h"
#include "bootstrap/level_test_data.h"
#include "bootstrap/progress_text.h"
#include "bootstrap/work_split.h"
#include "run/random_generator.h"
#include "test_support/scratch_files.h"
#include "association/significance_selection.h"

namespace {

using leveltest::countLines;

TEST(ThreadBlock, CutsItemsIntoBlocksOfTheRoundedUpShare) {
  struct splitCase {
    int items;
    int threads;
    std::vector<itemBlock> blocks;
  };
  const splitCase cases[] = {
      {10, 4, {{0, 3}, {3, 6}, {6, 9}, {9, 10}}},
      {1000, 8, {{0, 125}, {125, 250}, {250, 375}, {375, 500},
                 {500, 625}, {625, 750}, {750, 875}, {875, 1000}}},
      {5, 3, {{0, 2}, {2, 4}, {4, 5}}},
      {7, 1, {{0, 7}}},
      // Fewer items than threads: the late threads get nothing.
      {3, 8, {{0, 1}, {1, 2}, {2, 3}, {3, 3}, {3, 3}, {3, 3}, {3, 3}, {3, 3}}},
      // Blocks of 3 over 7 items leave thread 3 with none.
      {7, 4, {{0, 2}, {2, 4}, {4, 6}, {6, 7}}},
      {9, 4, {{0, 3}, {3, 6}, {6, 9}, {9, 9}}},
      {0, 4, {{0, 0}, {0, 0}, {0, 0}, {0, 0}}},
      {-10, 2, {{0, 0}, {0, 0}}},
  };
  for (const splitCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.items) + " items, " + std::to_string(c.threads) + " threads");
    for (int t = 0; t < c.threads; ++t) {
      SCOPED_TRACE("thread " + std::to_string(t));
      const itemBlock got = threadBlock(c.items, c.threads, t);
      // An empty block may sit anywhere; only non-empty ones must match.
      EXPECT_EQ(got.end - got.begin, c.blocks[t].end - c.blocks[t].begin);
      if (got.begin < got.end) {
        EXPECT_EQ(got.begin, c.blocks[t].begin);
        EXPECT_EQ(got.end, c.blocks[t].end);
      }
    }
  }
}

TEST(Level0CompletionLine, GivesTheShareOrNaWithoutAttempts) {
  struct lineCase {
    int sigBoots;
    int attempts;
    const char* line;
  };
  const lineCase cases[] = {
      {0, 0, "Level 0 completed. 0/0 significant bootstraps (NA%)\n"},
      {0, 50, "Level 0 completed. 0/50 significant bootstraps (0%)\n"},
      {7, 9, "Level 0 completed. 7/9 significant bootstraps (77.7778%)\n"},
      {100, 100, "Level 0 completed. 100/100 significant bootstraps (100%)\n"},
      {101, 103, "Level 0 completed. 101/103 significant bootstraps (98.0583%)\n"},
  };
  for (const lineCase& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(level0CompletionLine(c.sigBoots, c.attempts), c.line);
  }
}

// Bias file cells from hand-built replicates: short replicates and missing estimates are NA.
TEST(BiasFiles, OneCellPerRankFromTheReplicateOwnRecords) {
  leveltest::levelGuard guard;
  testsupport::scratchWorkingDirectory directory("zuq-levels");
  snpRecord a, b, c, x;
  a.name = "rsA";
  b.name = "rsB";
  c.name = "rsC";
  x.name = "rsX";
  auto record = [](snpRecord* snp, double ud, double ue) {
    resultRecord r;
    r.snp = snp;
    r.ud = ud;
    r.ue = ue;
    r.un = ud;
    return r;
  };
  naiveResults = {record(&a, 0, 0), record(&b, 0, 0), record(&c, 0, 0)};
  nSig = 3;
  const std::vector<replicate> replicates = {
      {record(&x, 0.5, 0.25), record(&a, 1.0, missingValue), record(&b, 0.1, 0.3)},
      {record(&b, 2.125, 1.5)},
      {record(&c, missingValue, 0.75), record(&x, 0, 0)},
      // An odds ratio of 0 or beyond the largest double has an infinite log: no number to show.
      {record(&a, HUGE_VAL, 0.5), record(&b, 0.2, -HUGE_VAL), record(&c, std::nan(""), 1)},
  };
  writeBiasFiles(replicates);

  struct fileCase {
    const char* name;
    std::string content;
  };
  const std::string heading = "rsA rsB rsC \n";
  const fileCase files[] = {
      {"all-bias.txt", heading + "0.250000       NA -0.200000 \n"
                                 "0.625000       NA       NA \n"
                                 "      NA 0.000000       NA \n"
                                 "      NA       NA       NA \n"},
      {"ud-bias.txt", heading + "0.500000 1.000000 0.100000 \n"
                                "2.125000       NA       NA \n"
                                "      NA 0.000000       NA \n"
                                "      NA 0.200000       NA \n"},
      {"ue-bias.txt", heading + "0.250000       NA 0.300000 \n"
                                "1.500000       NA       NA \n"
                                "0.750000 0.000000       NA \n"
                                "0.500000       NA 1.000000 \n"},
  };
  for (const fileCase& f : files) {
    SCOPED_TRACE(f.name);
    ASSERT_TRUE(std::ifstream(f.name).good());
    EXPECT_EQ(testsupport::readWholeFile(f.name), f.content);
  }
}

class Level0 : public testing::Test {
 protected:
  void SetUp() override { leveltest::prepareLevelRun(); }

  // Level 0 run directly on `threads` threads, returning the shared record's counters.
  std::vector<replicate> runWorker(int threads, level0Shared& shared) {
    std::vector<replicate> replicates;
    shared.replicates = &replicates;
#pragma omp parallel num_threads(threads)
    level0Worker(shared);
    return replicates;
  }

  scantest::settingsGuard settings;
  leveltest::levelGuard guard;
};

// Nothing significant: 0, out untouched; the progress line for levels 0 and 1 only.
TEST_F(Level0, ResampleWithoutSignificantSnpLeavesOutAlone) {
  leveltest::selectNaive(1e-6);
  alpha = -1;
  struct modeCase {
    int mode;
    std::string line;
  };
  const modeCase cases[] = {
      {0, "Level L0-7:  significant snps=0 \n"},
      {1, "Level L0-7:  significant snps=0 \n"},
      {2, ""},
  };
  for (const modeCase& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode));
    bootstrapSampler sampler(individuals);
    sampler.resample();
    std::vector<resultRecord> out(1);
    out[0].p = 0.123;
    testing::internal::CaptureStdout();
    const int found = analyzeResample(out, sampler, snps, -1, "L0-7", "0", c.mode);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
    EXPECT_EQ(found, 0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].p, 0.123);
  }
}

// The records are the resample's flagged SNPs by ascending p, cut at maxSnps, estimated.
TEST_F(Level0, ResampleKeepsTheBestFlaggedSnpsUpToTheLimit) {
  leveltest::selectNaive(1e-6);
  alpha = 0.05;
  rng.seed(31);
  bootstrapSampler sampler(individuals);
  sampler.resample();
  std::vector<significanceRecord> scan;
  const int count = runSignificanceTest("check", sampler.sample, snps, 1, scan);
  std::vector<double> flaggedP;
  for (const significanceRecord& r : scan) {
    if (r.significant != 0) flaggedP.push_back(r.p);
  }
  std::sort(flaggedP.begin(), flaggedP.end());
  ASSERT_GE(count, 3);

  for (const int maxSnps : {-1, 1, 2, count + 5}) {
    SCOPED_TRACE("maxSnps " + std::to_string(maxSnps));
    std::vector<resultRecord> out;
    testing::internal::CaptureStdout();
    const int found = analyzeResample(out, sampler, snps, maxSnps, "L1-3", "2", 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Level L1-3:  significant snps=" + std::to_string(count) + " \n");
    const int expected = maxSnps == -1 ? count : std::min(maxSnps, count);
    ASSERT_EQ(found, expected);
    ASSERT_EQ(out.size(), static_cast<size_t>(expected));
    for (int k = 0; k < expected; ++k) {
      SCOPED_TRACE("rank " + std::to_string(k));
      EXPECT_EQ(out[k].p, flaggedP[k]);
      EXPECT_NE(out[k].ud, missingValue);
      EXPECT_EQ(out[k].un, out[k].ud);
    }
  }
  EXPECT_EQ(rngEntryCount, 0);
}

TEST_F(Level0, DebugBookkeepingRecordsEveryRankOnce) {
  leveltest::selectNaive(1e-6);
  alpha = 0.05;
  debugLevel = 1;
  for (snpRecord* snp : snps) {
    snp->rankHistory.clear();
    snp->sigCount = 0;
  }
  replicatesSeen = 0;
  bootstrapSampler sampler(individuals);
  sampler.resample();
  std::vector<resultRecord> out;
  testing::internal::CaptureStdout();
  analyzeResample(out, sampler, snps, -1, "L0-0", "0", 0);
  const std::string printed = testing::internal::GetCapturedStdout();
  const size_t at = printed.find("significant snps=");
  ASSERT_NE(at, std::string::npos);
  const int count = std::stoi(printed.substr(at + 17));

  EXPECT_EQ(replicatesSeen, 1);
  std::set<double> ranks;
  int flagged = 0;
  for (const snpRecord* snp : snps) {
    ASSERT_EQ(snp->rankHistory.size(), 1u) << snp->name;
    ranks.insert(snp->rankHistory[0]);
    flagged += snp->sigCount;
  }
  EXPECT_EQ(ranks.size(), snps.size());
  EXPECT_EQ(*ranks.begin(), 1.0);
  EXPECT_EQ(*ranks.rbegin(), static_cast<double>(snps.size()));
  EXPECT_EQ(flagged, count);
}

// Every resample finds both strong SNPs, so every attempt counts: the attempts started before
// sigBoots reached nL0 run, at most one per further thread.
TEST_F(Level0, StopsOnceNl0ReplicatesReachNsig) {
  leveltest::selectNaive(1e-6);
  ASSERT_EQ(nSig, 2);
  alpha = 1e-6;
  nL0 = 12;
  for (const int threads : {1, 3, 8}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    level0Shared shared;
    testing::internal::CaptureStdout();
    const std::vector<replicate> replicates = runWorker(threads, shared);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_GE(shared.sigBoots.load(), nL0);
    EXPECT_LE(shared.sigBoots.load(), nL0 + threads - 1);
    EXPECT_EQ(static_cast<int>(replicates.size()), shared.sigBoots.load());
    EXPECT_EQ(shared.attempts, shared.sigBoots.load());
    for (const replicate& r : replicates) {
      ASSERT_EQ(r.size(), 2u);
      EXPECT_LE(r[0].p, r[1].p);
    }
    // Every attempt printed its line under its own number.
    std::set<int> numbers;
    const std::regex line("Level L0-(\\d+):  significant snps=\\d+ \n");
    for (std::sregex_iterator it(printed.begin(), printed.end(), line), end; it != end; ++it) {
      numbers.insert(std::stoi((*it)[1]));
    }
    EXPECT_EQ(static_cast<int>(numbers.size()), shared.attempts);
    if (!numbers.empty()) {
      EXPECT_EQ(*numbers.rbegin(), shared.attempts - 1);
    }
  }
}

// Every SNP is significant in the data set but only a few in any resample: no attempt counts,
// all 10 x nL0 run and every one of them is kept for the ranks it has.
TEST_F(Level0, BudgetRunsOutWhenNoResampleReachesNsig) {
  leveltest::selectNaive(1.0);
  ASSERT_EQ(nSig, 30);
  alpha = 0.05;
  nL0 = 4;
  level0Shared shared;
  testing::internal::CaptureStdout();
  const std::vector<replicate> replicates = runWorker(4, shared);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(shared.attempts, 40);
  EXPECT_EQ(shared.sigBoots.load(), 0);
  EXPECT_EQ(replicates.size(), 40u);

  omp_set_num_threads(4);
  testing::internal::CaptureStdout();
  computeLevel0();
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed.rfind("Computing Level 0 quantities.\n\n", 0), 0u);
  EXPECT_NE(printed.find("\nLevel 0 completed. 0/40 significant bootstraps (0%)\n"),
            std::string::npos);
  EXPECT_EQ(countLines(printed, "Level L0-"), 40);
  // Ranks beyond what any resample found have no Uboot.
  ASSERT_EQ(uboot.size(), static_cast<size_t>(nSig));
  EXPECT_NE(uboot[0], missingValue);
  EXPECT_EQ(uboot[29], missingValue);
}

TEST_F(Level0, NoAttemptsGiveNaShareAndMissingUboot) {
  leveltest::selectNaive(1e-6);
  nL0 = 0;
  testing::internal::CaptureStdout();
  computeLevel0();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Computing Level 0 quantities.\n\n"
            "\nLevel 0 completed. 0/0 significant bootstraps (NA%)\n");
  ASSERT_EQ(uboot.size(), static_cast<size_t>(nSig));
  for (const double u : uboot) EXPECT_EQ(u, missingValue);
}

// With one thread and a seed the replicates repeat exactly; another seed gives others.
TEST_F(Level0, OneThreadAndASeedRepeatTheReplicates) {
  leveltest::selectNaive(0.01);
  alpha = 0.05;
  nL0 = 6;
  auto run = [&](int seed) {
    rng.seed(seed);
    level0Shared shared;
    testing::internal::CaptureStdout();
    std::vector<replicate> replicates = runWorker(1, shared);
    testing::internal::GetCapturedStdout();
    return replicates;
  };
  const std::vector<replicate> first = run(99);
  const std::vector<replicate> second = run(99);
  const std::vector<replicate> other = run(100);
  ASSERT_FALSE(first.empty());
  ASSERT_EQ(first.size(), second.size());
  bool differs = first.size() != other.size();
  for (size_t b = 0; b < first.size(); ++b) {
    ASSERT_EQ(first[b].size(), second[b].size());
    for (size_t k = 0; k < first[b].size(); ++k) {
      EXPECT_EQ(first[b][k].snp, second[b][k].snp);
      EXPECT_EQ(first[b][k].p, second[b][k].p);
      EXPECT_EQ(first[b][k].ud, second[b][k].ud);
      EXPECT_EQ(first[b][k].ue, second[b][k].ue);
      if (!differs && (b >= other.size() || k >= other[b].size() ||
                       other[b][k].p != first[b][k].p)) {
        differs = true;
      }
    }
  }
  EXPECT_TRUE(differs);
}

// The bias files hold the replicates that level 0 drew, in order; the same seed on one thread
// draws them again for the comparison.
TEST_F(Level0, BiasFilesHoldTheLevel0Replicates) {
  testsupport::scratchWorkingDirectory directory("zuq-levels");
  leveltest::selectNaive(0.01);
  alpha = 0.05;
  nL0 = 5;
  allBias = 1;
  omp_set_num_threads(1);
  rng.seed(7);
  testing::internal::CaptureStdout();
  computeLevel0();
  testing::internal::GetCapturedStdout();
  rng.seed(7);
  level0Shared shared;
  testing::internal::CaptureStdout();
  const std::vector<replicate> replicates = runWorker(1, shared);
  testing::internal::GetCapturedStdout();

  std::ifstream ud("ud-bias.txt");
  std::ifstream ue("ue-bias.txt");
  std::string udLine, ueLine;
  std::getline(ud, udLine);
  std::getline(ue, ueLine);
  std::string heading;
  for (int k = 0; k < nSig; ++k) heading += naiveResults[k].snp->name + " ";
  EXPECT_EQ(udLine, heading);
  EXPECT_EQ(ueLine, heading);
  size_t lines = 0;
  while (std::getline(ud, udLine) && std::getline(ue, ueLine)) {
    ASSERT_LT(lines, replicates.size());
    const replicate& r = replicates[lines];
    std::istringstream udCells(udLine), ueCells(ueLine);
    for (int k = 0; k < nSig; ++k) {
      SCOPED_TRACE("replicate " + std::to_string(lines) + " rank " + std::to_string(k));
      std::string udCell, ueCell;
      udCells >> udCell;
      ueCells >> ueCell;
      if (static_cast<size_t>(k) >= r.size()) {
        EXPECT_EQ(udCell, "NA");
        EXPECT_EQ(ueCell, "NA");
        continue;
      }
      EXPECT_NEAR(std::stod(udCell), r[k].ud, 5e-7);
      EXPECT_NEAR(std::stod(ueCell), r[k].ue, 5e-7);
    }
    ++lines;
  }
  EXPECT_EQ(lines, replicates.size());
}

// Negative Uboot values become 0 unless --notruncate. A naive estimate of 0 at the last rank,
// below the bias that level 0 measures there, makes its Uboot negative.
TEST_F(Level0, TruncatesNegativeUbootUnlessAsked) {
  leveltest::selectNaive(0.05);
  ASSERT_GE(nSig, 3);
  naiveResults.back().un = 0;
  alpha = 0.05;
  nL0 = 20;
  omp_set_num_threads(1);
  auto run = [&](int keepNegative) {
    noTruncate = keepNegative;
    rng.seed(11);
    testing::internal::CaptureStdout();
    computeLevel0();
    testing::internal::GetCapturedStdout();
    return uboot;
  };
  const std::vector<double> raw = run(1);
  const std::vector<double> truncated = run(0);
  ASSERT_EQ(raw.size(), truncated.size());
  int negatives = 0;
  for (size_t k = 0; k < raw.size(); ++k) {
    SCOPED_TRACE("rank " + std::to_string(k));
    if (raw[k] < 0 && raw[k] != missingValue) {
      ++negatives;
      EXPECT_EQ(truncated[k], 0.0);
    } else {
      EXPECT_EQ(truncated[k], raw[k]);
    }
  }
  EXPECT_GT(negatives, 0) << "the data set no longer yields a negative Uboot";
}

TEST_F(Level0, ClusterInstanceComputesNoUbootAndNoBiasFile) {
  testsupport::scratchWorkingDirectory directory("zuq-levels");
  leveltest::selectNaive(1e-6);
  alpha = 1e-6;
  nL0 = 2;
  allBias = 1;
  clusterCount = 3;
  testing::internal::CaptureStdout();
  computeLevel0();
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(uboot.empty());
  EXPECT_FALSE(std::filesystem::exists("all-bias.txt"));
}

}  // namespace
