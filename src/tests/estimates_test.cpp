#include "tests/estimates.h"

#include <gtest/gtest.h>
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <utility>

#include "tests/association_tests.h"
#include "tests/logistic_model.h"
#include "tests/scan_test_data.h"
#include "tests/significance_selection.h"
#include "tests/snp_order.h"

namespace {

using scantest::buildDataSet;

void expectSameEstimates(const std::vector<estimateRecord>& got,
                         const std::vector<estimateRecord>& expected) {
  ASSERT_EQ(got.size(), expected.size());
  for (size_t k = 0; k < got.size(); ++k) {
    SCOPED_TRACE("record " + std::to_string(k));
    EXPECT_EQ(got[k].snp, expected[k].snp);
    EXPECT_EQ(got[k].allele, expected[k].allele);
    EXPECT_EQ(got[k].effect, expected[k].effect);
    EXPECT_EQ(got[k].p, expected[k].p);
  }
}

enum class method { allelic, regression, logistic };

std::vector<estimateRecord> expectedEstimates(method m) {
  std::vector<estimateRecord> out;
  if (m == method::allelic) assocTests.allelicTest(individuals, snps, out);
  if (m == method::regression) assocTests.qtAssociation(false, individuals, snps, out);
  if (m == method::logistic) logisticAllSnps(individuals, snps, out);
  return out;
}

class Estimates : public testing::Test {
 protected:
  void SetUp() override { buildDataSet(240); }
  scantest::settingsGuard guard;
};

TEST_F(Estimates, DataSetSeparatesTheMethods) {
  const auto allelic = expectedEstimates(method::allelic);
  const auto regression = expectedEstimates(method::regression);
  const auto logistic = expectedEstimates(method::logistic);
  for (size_t k = 0; k < allelic.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_NE(allelic[k].effect, regression[k].effect);
    EXPECT_NE(allelic[k].effect, logistic[k].effect);
    EXPECT_NE(regression[k].effect, logistic[k].effect);
  }
}

TEST_F(Estimates, DispatchReachesTheMethodOfEstimateTypeAndQt) {
  struct dispatchCase { int estimate; int qt; method m; const char* what; };
  const dispatchCase cases[] = {
      {0, 0, method::logistic, "LOGISTIC"},
      {0, 1, method::regression, "LOGISTIC with --qt: the regression"},
      {2, 0, method::allelic, "ALLELIC"},
      {2, 1, method::allelic, "ALLELIC with --qt stays allelic"},
  };
  for (const dispatchCase& c : cases) {
    SCOPED_TRACE(c.what);
    estimateType = c.estimate;
    quantitativeTrait = c.qt;
    std::vector<estimateRecord> out(4);  // stale records must go
    testing::internal::CaptureStdout();
    computeEstimates(individuals, snps, "x", out);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    expectSameEstimates(out, expectedEstimates(c.m));
  }
}

TEST_F(Estimates, DummyEstimatesAreConsecutiveDrawsWhateverQtSays) {
  estimateType = 66;
  for (int qt : {0, 1}) {
    SCOPED_TRACE(qt);
    quantitativeTrait = qt;
    rng.seed(99);
    std::vector<estimateRecord> out(1);
    testing::internal::CaptureStdout();
    computeEstimates(individuals, snps, "x", out);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "DUMMY estimation.. n= 12\n");
    const std::vector<double> draws = scantest::uniformDraws(99, 24);
    ASSERT_EQ(out.size(), 12u);
    for (size_t k = 0; k < out.size(); ++k) {
      EXPECT_EQ(out[k].snp, snps[k]);
      EXPECT_EQ(out[k].allele, 'C');
      EXPECT_EQ(out[k].effect, 1.0 + draws[2 * k]);
      EXPECT_EQ(out[k].p, draws[2 * k + 1]);
      EXPECT_TRUE(out[k].effect >= 1.0 && out[k].effect <= 2.0);
      EXPECT_TRUE(out[k].p >= 0.0 && out[k].p <= 1.0);
    }
  }
}

TEST_F(Estimates, DummyEstimateOfNoSnpsPrintsZero) {
  std::vector<snpRecord*> none;
  std::vector<estimateRecord> out(2);
  testing::internal::CaptureStdout();
  dummyEstimation(out, none);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "DUMMY estimation.. n= 0\n");
  EXPECT_TRUE(out.empty());
}

// Routes through plink: until plink's fileset writer and parsers are built, reaching one ends
// the run with the writer's error.
TEST_F(Estimates, PlinkRoutesAreReached) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct routeCase { int estimate, qt, fastValue, inProcess; bool covariates; const char* what; };
  const routeCase cases[] = {
      {3, 0, 1, 1, false, "RPLUGIN"},
      {3, 1, 1, 1, false, "RPLUGIN with --qt"},
      {0, 0, 1, 0, false, "LOGISTIC with --useplink"},
      {0, 1, 0, 1, false, "--qt with --slow"},
      {0, 1, 1, 1, true, "--qt with covariates, even with --fast"},
  };
  for (const routeCase& c : cases) {
    SCOPED_TRACE(c.what);
    estimateType = c.estimate;
    quantitativeTrait = c.qt;
    fast = c.fastValue;
    inProcessLogistic = c.inProcess;
    useCovariates = c.covariates;
    EXPECT_EXIT(
        {
          dup2(STDERR_FILENO, STDOUT_FILENO);
          std::vector<estimateRecord> out;
          computeEstimates(individuals, snps, "x", out);
        },
        testing::ExitedWithCode(1), "Error: .* through plink is not available");
  }
}

TEST(SortSnpsByPosition, OrdersByChromosomeThenPositionKeepingTies) {
  struct orderCase { std::vector<std::pair<int, int>> chrPos; std::vector<int> order; };
  const orderCase cases[] = {
      {{}, {}},
      {{{1, 5}}, {0}},
      {{{2, 1}, {1, 9}, {1, 3}}, {2, 1, 0}},
      {{{1, 7}, {1, 7}, {1, 2}, {1, 7}}, {2, 0, 1, 3}},  // equal keys keep their order
      {{{10, 1}, {2, 50}, {2, 50}, {0, 0}}, {3, 1, 2, 0}},
      {{{1, 1}, {1, 2}, {2, 1}}, {0, 1, 2}},
  };
  for (const orderCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.chrPos));
    std::vector<snpRecord> records(c.chrPos.size());
    std::vector<snpRecord*> list;
    for (size_t k = 0; k < records.size(); ++k) {
      records[k].chromosome = c.chrPos[k].first;
      records[k].position = c.chrPos[k].second;
      list.push_back(&records[k]);
    }
    sortSnpsByPosition(list);
    std::vector<int> order;
    for (snpRecord* snp : list) order.push_back(static_cast<int>(snp - records.data()));
    EXPECT_EQ(order, c.order);
  }
}

// As the bootstrap does: eight threads at once each scan and estimate on the shared data set
// (already in order), and each gets what one thread alone gets.
TEST_F(Estimates, ConcurrentScansAndEstimatesMatchTheSingleThreadResults) {
  constexpr int threads = 8;
  ASSERT_TRUE(std::is_sorted(snps.begin(), snps.end(), snpPrecedes));
  struct runCase { int test, estimate, qt; };
  const runCase cases[] = {{1, 0, 0}, {3, 0, 0}, {4, 2, 0}, {1, 0, 1}};
  for (const runCase& c : cases) {
    SCOPED_TRACE(std::string(testNames[c.test]) + " " + std::to_string(c.estimate) +
                 (c.qt ? " --qt" : ""));
    testType = c.test;
    estimateType = c.estimate;
    quantitativeTrait = c.qt;
    std::vector<significanceRecord> singleScan;
    std::vector<estimateRecord> singleEstimates;
    testing::internal::CaptureStdout();
    const int singleCount = runSignificanceTest("all", individuals, snps, 0, singleScan);
    computeEstimates(individuals, snps, "Un", singleEstimates);
    std::vector<std::vector<significanceRecord>> scans(threads);
    std::vector<std::vector<estimateRecord>> estimates(threads);
    std::vector<int> counts(threads);
#pragma omp parallel num_threads(threads)
    {
      const int t = omp_get_thread_num();
      const std::string prefix = "cpu" + std::to_string(t);
      counts[t] = runSignificanceTest(prefix, individuals, snps, 1, scans[t]);
      computeEstimates(individuals, snps, prefix + "ud", estimates[t]);
    }
    testing::internal::GetCapturedStdout();
    ASSERT_FALSE(singleScan.empty());
    for (int t = 0; t < threads; ++t) {
      SCOPED_TRACE("thread " + std::to_string(t));
      EXPECT_EQ(counts[t], singleCount);
      ASSERT_EQ(scans[t].size(), singleScan.size());
      for (size_t k = 0; k < singleScan.size(); ++k) {
        EXPECT_EQ(scans[t][k].snp, singleScan[k].snp);
        EXPECT_EQ(scans[t][k].p, singleScan[k].p);
        EXPECT_EQ(scans[t][k].significant, singleScan[k].significant);
      }
      expectSameEstimates(estimates[t], singleEstimates);
    }
  }
}

// As the bootstrap does: every thread scans and estimates, with the DUMMY test and estimate
// drawing from the one generator. Each draw is taken exactly once, and a SNP's two estimate
// draws are consecutive draws of the generator.
TEST_F(Estimates, ConcurrentDummyScansAndEstimatesTakeEachDrawOnce) {
  constexpr int threads = 8;
  constexpr int repeats = 20;
  testType = 7;
  estimateType = 66;
  rng.seed(2468);
  std::vector<std::vector<double>> detected(threads);
  std::vector<std::vector<estimateRecord>> estimated(threads);
  testing::internal::CaptureStdout();
#pragma omp parallel num_threads(threads)
  {
    const int t = omp_get_thread_num();
    for (int repeat = 0; repeat < repeats; ++repeat) {
      std::vector<significanceRecord> scan;
      runSignificanceTest("cpu", individuals, snps, 1, scan);
      for (const significanceRecord& r : scan) detected[t].push_back(r.p);
      std::vector<estimateRecord> out;
      computeEstimates(individuals, snps, "cpu", out);
      estimated[t].insert(estimated[t].end(), out.begin(), out.end());
    }
  }
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(rngEntryCount, 0);

  const size_t perThread = repeats * snps.size();
  const int total = static_cast<int>(threads * perThread * 3);
  const std::vector<double> draws = scantest::uniformDraws(2468, total);
  std::map<double, int> position;
  for (int k = 0; k < total; ++k) position[draws[k]] = k;
  ASSERT_EQ(position.size(), draws.size());  // distinct draws, so each one can be traced

  std::vector<int> seen(total, 0);
  for (int t = 0; t < threads; ++t) {
    SCOPED_TRACE("thread " + std::to_string(t));
    ASSERT_EQ(detected[t].size(), perThread);
    ASSERT_EQ(estimated[t].size(), perThread);
    for (double u : detected[t]) {
      ASSERT_EQ(position.count(u), 1u);
      ++seen[position[u]];
    }
    for (const estimateRecord& e : estimated[t]) {
      ASSERT_EQ(position.count(e.p), 1u);
      const int second = position[e.p];
      ASSERT_GT(second, 0);
      EXPECT_EQ(e.effect, 1.0 + draws[second - 1]);
      ++seen[second - 1];
      ++seen[second];
    }
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), total);
}

}  // namespace
