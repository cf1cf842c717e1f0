#include "association/estimates.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <boost/math/distributions/students_t.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>
#include <utility>

#include "dataset/covariates.h"
#include "test_support/plink_oracle.h"
#include "test_support/required_tools.h"
#include "test_support/scratch_files.h"
#include "association/association_tests.h"
#include "association/logistic_model.h"
#include "association/plink_runner.h"
#include "association/scan_test_data.h"
#include "association/significance_selection.h"
#include "association/snp_order.h"

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

// Routes through plink, run by the real plink 1.07: the estimates of the in-process method of
// the same kind, turned to plink's A1, to the digits plink prints, in the list's position order.
enum class printedAs { oddsRatio, logEffect };

void expectPlinkEstimates(const std::vector<estimateRecord>& viaPlink,
                          const std::vector<estimateRecord>& inProcess, printedAs form, int digits,
                          double limit = 1.0) {
  ASSERT_EQ(viaPlink.size(), inProcess.size());
  for (size_t k = 0; k < viaPlink.size(); ++k) {
    const estimateRecord& r = viaPlink[k];
    SCOPED_TRACE(inProcess[k].snp->name);
    EXPECT_EQ(r.snp, inProcess[k].snp);
    ASSERT_TRUE(r.allele == r.snp->allele1 || r.allele == r.snp->allele2) << r.allele;
    ASSERT_NE(r.effect, missingValue);
    ASSERT_NE(inProcess[k].effect, missingValue);
    const double sign = r.allele == r.snp->allele1 ? 1 : -1;
    const double distance =
        form == printedAs::oddsRatio
            ? testsupport::printedDistance(std::pow(inProcess[k].effect, sign), r.effect, digits)
            : testsupport::printedDistance(sign * std::log(inProcess[k].effect),
                                           std::log(r.effect), digits);
    EXPECT_LE(distance, limit + 1e-9) << inProcess[k].effect << " vs plink " << r.effect;
    EXPECT_LE(testsupport::printedDistance(inProcess[k].p, r.p, digits), limit)
        << inProcess[k].p << " vs plink " << r.p;
  }
}

class EstimatesThroughPlink : public Estimates {
 protected:
  void SetUp() override {
    ZUQ_NEED_PLINK107();
    Estimates::SetUp();
    ASSERT_TRUE(scratch.made());
    plink.executable = testsupport::plink107;
    rScriptFileName = testsupport::glmPluginScript;
  }
  void TearDown() override { covariateHeaderLine.clear(); }
  testsupport::scratchWorkingDirectory scratch{"estimates_plink"};
};

TEST_F(EstimatesThroughPlink, PlinkRoutesAgreeWithTheInProcessMethods) {
  struct routeCase {
    int estimate, qt, fastValue, inProcess;
    double caseValue;  // 3: a quantitative trait to plink
    method m;
    printedAs form;
    const char* what;
  };
  const routeCase cases[] = {
      {0, 0, 1, 0, 2.0, method::logistic, printedAs::oddsRatio, "LOGISTIC with --useplink"},
      {0, 1, 0, 1, 3.0, method::regression, printedAs::logEffect, "--qt with --slow"},
  };
  for (const routeCase& c : cases) {
    SCOPED_TRACE(c.what);
    buildDataSet(240, scantest::defaultDesign, c.caseValue);
    estimateType = c.estimate;
    quantitativeTrait = c.qt;
    fast = c.fastValue;
    inProcessLogistic = c.inProcess;
    const std::vector<estimateRecord> expected = expectedEstimates(c.m);
    std::vector<snpRecord*> list(snps.rbegin(), snps.rend());  // put in order by the route
    std::vector<estimateRecord> out(4);
    computeEstimates(individuals, list, "x", out);
    EXPECT_EQ(list, snps);
    expectPlinkEstimates(out, expected, c.form, 4);
  }
}

// The ordinary least-squares fit of the phenotype on [1, dose of allele1, covariate] over the
// individuals with a typed genotype: e to the dose coefficient and its t-test p.
estimateRecord leastSquaresWithCovariate(snpRecord* snp) {
  long double xtx[3][3] = {};
  long double xty[3] = {};
  std::vector<std::array<double, 4>> rows;  // 1, dose, covariate, phenotype
  for (const individualRecord* person : individuals) {
    const unsigned code = genotypeAt(person->genotypes, snp->index);
    if (code == missingGenotype) continue;
    const double dose = code == homozygousAllele1 ? 2 : code == heterozygous ? 1 : 0;
    rows.push_back({1.0, dose, person->covariates[0], person->phenotype});
  }
  for (const auto& row : rows) {
    for (int a = 0; a < 3; ++a) {
      xty[a] += row[a] * row[3];
      for (int b = 0; b < 3; ++b) xtx[a][b] += row[a] * row[b];
    }
  }
  // The inverse of X'X by Gauss-Jordan elimination (positive definite: no pivoting needed).
  long double inverse[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (int a = 0; a < 3; ++a) {
    const long double pivot = xtx[a][a];
    for (int b = 0; b < 3; ++b) {
      xtx[a][b] /= pivot;
      inverse[a][b] /= pivot;
    }
    for (int r = 0; r < 3; ++r) {
      if (r == a) continue;
      const long double factor = xtx[r][a];
      for (int b = 0; b < 3; ++b) {
        xtx[r][b] -= factor * xtx[a][b];
        inverse[r][b] -= factor * inverse[a][b];
      }
    }
  }
  long double beta[3] = {};
  for (int a = 0; a < 3; ++a) {
    for (int b = 0; b < 3; ++b) beta[a] += inverse[a][b] * xty[b];
  }
  long double residuals = 0;
  for (const auto& row : rows) {
    const long double fitted = beta[0] + beta[1] * row[1] + beta[2] * row[2];
    residuals += (row[3] - fitted) * (row[3] - fitted);
  }
  const double df = static_cast<double>(rows.size()) - 3;
  const double se = std::sqrt(static_cast<double>(residuals / df * inverse[1][1]));
  const double t = static_cast<double>(beta[1]) / se;
  const double p = 2 * boost::math::cdf(boost::math::complement(
                           boost::math::students_t(df), std::fabs(t)));
  return {snp, snp->allele1, std::exp(static_cast<double>(beta[1])), p};
}

TEST_F(EstimatesThroughPlink, QtWithCovariatesGoesThroughPlinkEvenWithFast) {
  buildDataSet(240, scantest::defaultDesign, 3.0);
  std::mt19937 engine(77);
  std::normal_distribution<double> noise(0.0, 1.0);
  for (individualRecord* person : individuals) {
    person->covariates = {0.5 * person->phenotype + noise(engine)};
  }
  covariateHeaderLine = "FID IID score";
  useCovariates = true;
  quantitativeTrait = 1;
  fast = 1;
  std::vector<estimateRecord> expected;
  for (snpRecord* snp : snps) expected.push_back(leastSquaresWithCovariate(snp));
  std::vector<estimateRecord> out;
  computeEstimates(individuals, snps, "x", out);
  expectPlinkEstimates(out, expected, printedAs::logEffect, 4);
  // The covariate matters: without it the in-process regression gives other estimates.
  const std::vector<estimateRecord> without = expectedEstimates(method::regression);
  EXPECT_NE(without[0].effect, expected[0].effect);
}

TEST_F(EstimatesThroughPlink, RPluginRouteAgreesWithTheInProcessLogisticFit) {
  testsupport::rserveSession rserve;
  ZUQ_NEED_RSERVE(rserve);
  estimateType = 3;
  const std::vector<estimateRecord> expected = expectedEstimates(method::logistic);
  for (int qt : {0, 1}) {
    SCOPED_TRACE(qt ? "RPLUGIN with --qt" : "RPLUGIN");
    quantitativeTrait = qt;
    std::vector<estimateRecord> out;
    computeEstimates(individuals, snps, "x", out);
    // The plug-in's values have six digits.
    expectPlinkEstimates(out, expected, printedAs::logEffect, 6,
                         testsupport::rPluginDistanceLimit);
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
