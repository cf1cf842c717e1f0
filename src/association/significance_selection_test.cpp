#include "association/significance_selection.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <sstream>

#include "test_support/plink_oracle.h"
#include "test_support/required_tools.h"
#include "test_support/scratch_files.h"
#include "association/association_tests.h"
#include "association/logistic_model.h"
#include "association/plink_runner.h"
#include "association/scan_test_data.h"

namespace {

using scantest::buildDataSet;

std::string streamed(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

bool sameP(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

void expectSameRecords(const std::vector<significanceRecord>& got,
                       const std::vector<significanceRecord>& expected) {
  ASSERT_EQ(got.size(), expected.size());
  for (size_t k = 0; k < got.size(); ++k) {
    SCOPED_TRACE("record " + std::to_string(k));
    EXPECT_EQ(got[k].snp, expected[k].snp);
    EXPECT_EQ(got[k].allele, expected[k].allele);
    EXPECT_TRUE(sameP(got[k].trendP, expected[k].trendP)) << got[k].trendP;
    EXPECT_TRUE(sameP(got[k].genoP, expected[k].genoP)) << got[k].genoP;
    EXPECT_TRUE(sameP(got[k].p, expected[k].p)) << got[k].p << " vs " << expected[k].p;
    EXPECT_EQ(got[k].significant, expected[k].significant);
  }
}

// The records a test should give, built from the scans themselves: the allele and p each test
// reports, flagged by the alpha rule written out here.
enum class scanKind { fullModel, allelic, regression, logistic };

// inProcess: the full-model records as the in-process scan fills them, with only the p-values
// the test type reads; otherwise both, as plink reports them.
std::vector<significanceRecord> expectedRecords(scanKind kind, int test, bool inProcess = true) {
  std::vector<significanceRecord> records;
  std::vector<estimateRecord> estimates;
  switch (kind) {
    case scanKind::fullModel:
      assocTests.fullModelTests(false, individuals, snps, records);
      for (significanceRecord& r : records) {
        const bool genoSmaller =
            r.trendP != missingValue && r.genoP != missingValue && r.genoP < r.trendP;
        r.p = test == 2 ? r.genoP : (test == 0 && genoSmaller) ? r.genoP : r.trendP;
        if (!inProcess) continue;
        // The scan computes only the p-values its test type reads.
        if (test == 2) r.trendP = missingValue;
        if (test != 0 && test != 2) r.genoP = missingValue;
      }
      break;
    case scanKind::allelic:
      assocTests.allelicTest(individuals, snps, estimates);
      break;
    case scanKind::regression:
      assocTests.qtAssociation(false, individuals, snps, estimates);
      break;
    case scanKind::logistic:
      logisticAllSnps(individuals, snps, estimates);
      break;
  }
  for (const estimateRecord& e : estimates) {
    significanceRecord r;
    r.snp = e.snp;
    r.p = e.p;
    records.push_back(r);
  }
  for (significanceRecord& r : records) r.significant = r.p != missingValue && r.p <= alpha;
  return records;
}

class SignificanceSelection : public testing::Test {
 protected:
  void SetUp() override { buildDataSet(240); }
  scantest::settingsGuard guard;
};

TEST(SelectFullModelP, ChoosesByTestType) {
  const double m = missingValue;
  struct pCase { int test; double trendP, genoP, expected; const char* what; };
  const pCase cases[] = {
      {1, 0.2, 0.1, 0.2, "TREND takes the trend p"},
      {2, 0.2, 0.1, 0.1, "GENO takes the GENO p"},
      {2, 0.2, m, m, "GENO voided by the cell rule is missing"},
      {0, 0.2, 0.1, 0.1, "minTRENDGENO: GENO smaller"},
      {0, 0.1, 0.2, 0.1, "minTRENDGENO: TREND smaller"},
      {0, 0.1, 0.1, 0.1, "minTRENDGENO: equal"},
      {0, 0.2, m, 0.2, "minTRENDGENO: voided GENO falls back to TREND"},
      {0, m, 0.1, m, "minTRENDGENO: missing TREND gives a missing p"},
      {6, 0.2, 0.1, 0.2, "LINEAR on a binary trait takes the trend p"},
  };
  for (const pCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(selectFullModelP(c.test, c.trendP, c.genoP), c.expected);
  }
}

TEST(PassesAlpha, IsAtMostAlphaAndNeverMissing) {
  scantest::settingsGuard guard;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct alphaCase { double alphaValue, p; bool expected; const char* what; };
  const alphaCase cases[] = {
      {0.05, 0.05, true, "p equal to alpha"},
      {0.05, std::nextafter(0.05, 1.0), false, "just above alpha"},
      {0.05, 0.0, true, "zero"},
      {0.05, nan, false, "NaN"},
      {0.05, missingValue, false, "missing"},
      {2e81, missingValue, false, "missing even below a huge alpha"},
  };
  for (const alphaCase& c : cases) {
    SCOPED_TRACE(c.what);
    alpha = c.alphaValue;
    EXPECT_EQ(passesAlpha(c.p), c.expected);
  }
}

// The data set must tell the tests apart, or a wrong dispatch would go unseen.
TEST_F(SignificanceSelection, DataSetSeparatesTheTests) {
  std::vector<std::vector<double>> columns;
  for (scanKind kind : {scanKind::fullModel, scanKind::allelic, scanKind::regression,
                        scanKind::logistic}) {
    for (int test : {0, 1, 2}) {
      if (kind != scanKind::fullModel && test != 1) continue;
      std::vector<double> ps;
      for (const significanceRecord& r : expectedRecords(kind, test)) ps.push_back(r.p);
      columns.push_back(ps);
    }
  }
  for (size_t a = 0; a < columns.size(); ++a) {
    for (size_t b = a + 1; b < columns.size(); ++b) EXPECT_NE(columns[a], columns[b]) << a << b;
  }
  std::vector<significanceRecord> full;
  assocTests.fullModelTests(false, individuals, snps, full);
  auto count = [&](auto predicate) { return std::count_if(full.begin(), full.end(), predicate); };
  EXPECT_GT(count([](auto& r) { return r.genoP == missingValue && r.trendP != missingValue; }), 0);
  EXPECT_GT(count([](auto& r) { return r.genoP != missingValue && r.genoP < r.trendP; }), 0);
  EXPECT_GT(count([](auto& r) { return r.genoP != missingValue && r.genoP > r.trendP; }), 0);
  const auto significant = expectedRecords(scanKind::fullModel, 1);
  EXPECT_GT(std::count_if(significant.begin(), significant.end(),
                          [](auto& r) { return r.significant == 1; }), 0);
}

TEST_F(SignificanceSelection, DispatchReachesTheTestOfTestTypeAndQt) {
  struct dispatchCase { int test; int qt; scanKind kind; const char* debugName; };
  const dispatchCase cases[] = {
      {0, 0, scanKind::fullModel, "isSignificant"},
      {1, 0, scanKind::fullModel, "isSignificant"},
      {2, 0, scanKind::fullModel, "isSignificant"},
      {6, 0, scanKind::fullModel, "isSignificant"},
      {4, 0, scanKind::allelic, "isSignificant_Allelic"},
      {3, 0, scanKind::logistic, "isSignificant_logistic"},
      {0, 1, scanKind::regression, nullptr},
      {1, 1, scanKind::regression, nullptr},
      {3, 1, scanKind::regression, nullptr},
      {4, 1, scanKind::regression, nullptr},
      {6, 1, scanKind::regression, nullptr},
      {7, 1, scanKind::regression, nullptr},
  };
  trendScreening = 0;  // the screened scan has its own tests
  debugLevel = 1;
  for (const dispatchCase& c : cases) {
    SCOPED_TRACE(std::string(testNames[c.test]) + (c.qt ? " --qt" : ""));
    testType = c.test;
    quantitativeTrait = c.qt;
    const std::vector<significanceRecord> expected = expectedRecords(c.kind, c.test);
    int expectedCount = 0;
    for (const significanceRecord& r : expected) expectedCount += r.significant;

    std::vector<significanceRecord> out(3);  // stale records must go
    testing::internal::CaptureStdout();
    const int count = runSignificanceTest("scratch/all", individuals, snps, 0, out);
    const std::string printed = testing::internal::GetCapturedStdout();

    expectSameRecords(out, expected);
    EXPECT_EQ(count, expectedCount);
    const std::string debugLine = c.debugName == nullptr
                                      ? ""
                                      : std::string(c.debugName) +
                                            ": infile=scratch/all out.size()= 12 numSig = " +
                                            std::to_string(expectedCount) + "\n";
    EXPECT_EQ(printed, debugLine);
  }
}

TEST_F(SignificanceSelection, NoDebugLineWithoutDebug) {
  for (int test : {1, 3, 4}) {
    SCOPED_TRACE(testNames[test]);
    testType = test;
    trendScreening = 0;
    std::vector<significanceRecord> out;
    testing::internal::CaptureStdout();
    runSignificanceTest("x", individuals, snps, 0, out);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  }
}

TEST_F(SignificanceSelection, PEqualToAlphaIsSignificant) {
  testType = 4;
  const std::vector<significanceRecord> reference = expectedRecords(scanKind::allelic, 4);
  const double p = reference[5].p;
  ASSERT_LT(p, 1.0);
  std::vector<significanceRecord> out;
  alpha = p;
  runSignificanceTest("x", individuals, snps, 0, out);
  EXPECT_EQ(out[5].significant, 1);
  alpha = std::nextafter(p, 0.0);
  runSignificanceTest("x", individuals, snps, 0, out);
  EXPECT_EQ(out[5].significant, 0);
}

TEST_F(SignificanceSelection, DummyDrawsDecideStrictlyBelowAlpha) {
  testType = 7;
  quantitativeTrait = 0;
  const std::vector<double> draws = scantest::uniformDraws(31, 12);
  for (double alphaValue : {draws[0], std::nextafter(draws[0], 1.0), 0.5}) {
    SCOPED_TRACE(alphaValue);
    alpha = alphaValue;
    rng.seed(31);
    std::vector<significanceRecord> out;
    testing::internal::CaptureStdout();
    const int count = runSignificanceTest("x", individuals, snps, 0, out);
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(out.size(), 12u);
    int expectedCount = 0;
    for (size_t k = 0; k < out.size(); ++k) {
      const int expectedFlag = alphaValue > draws[k];
      expectedCount += expectedFlag;
      EXPECT_EQ(out[k].snp, snps[k]);
      EXPECT_EQ(out[k].allele, 'C');
      EXPECT_EQ(out[k].p, draws[k]);
      EXPECT_EQ(out[k].trendP, draws[k]);
      EXPECT_EQ(out[k].genoP, draws[k]);
      EXPECT_EQ(out[k].significant, expectedFlag) << k;
    }
    if (alphaValue == draws[0]) {
      EXPECT_EQ(out[0].significant, 0);  // a tie is not significant
    } else if (alphaValue == std::nextafter(draws[0], 1.0)) {
      EXPECT_EQ(out[0].significant, 1);
    }
    EXPECT_EQ(count, expectedCount);
    EXPECT_EQ(printed, "DUMMY Detection.. sig= " + std::to_string(expectedCount) + "\n");
  }
}

// The threshold that the first LOGISTIC scan must choose: ten times the largest TREND p among
// the SNPs the logistic test finds significant, paired by SNP.
double expectedThreshold() {
  std::vector<significanceRecord> trend;
  assocTests.fullModelTests(false, individuals, snps, trend);
  std::map<const snpRecord*, double> trendBySnp;
  for (const significanceRecord& r : trend) trendBySnp[r.snp] = r.trendP;
  std::vector<estimateRecord> logistic;
  logisticAllSnps(individuals, snps, logistic);
  double largest = 0;
  for (const estimateRecord& e : logistic) {
    if (e.p < alpha) largest = std::max(largest, trendBySnp.at(e.snp));
  }
  return 10.0 * largest;
}

// The records of a screened scan at threshold t: the logistic test on the SNPs whose TREND p
// is below t, in list order.
std::vector<significanceRecord> expectedScreened(double t, std::vector<snpRecord*>& kept) {
  std::vector<significanceRecord> trend;
  assocTests.fullModelTests(false, individuals, snps, trend);
  kept.clear();
  for (const significanceRecord& r : trend) {
    if (r.trendP < t) kept.push_back(r.snp);
  }
  std::vector<estimateRecord> logistic;
  logisticAllSnps(individuals, kept, logistic);
  std::vector<significanceRecord> records;
  for (const estimateRecord& e : logistic) {
    significanceRecord r;
    r.snp = e.snp;
    r.p = e.p;
    r.significant = e.p != missingValue && e.p <= alpha;
    records.push_back(r);
  }
  return records;
}

TEST_F(SignificanceSelection, FirstLogisticScanSetsTheThresholdThenScreens) {
  testType = 3;
  const double threshold = expectedThreshold();
  std::vector<snpRecord*> kept;
  const std::vector<significanceRecord> expected = expectedScreened(threshold, kept);
  ASSERT_GT(threshold, 0.0);
  ASSERT_GT(kept.size(), 0u);
  ASSERT_LT(kept.size(), snps.size());  // the screen must drop something to be seen working

  const std::string screenedLine = " Screened Snps: " + std::to_string(kept.size()) +
                                   " out of 12\tP = " + streamed(threshold) + "\n";
  for (int call = 0; call < 2; ++call) {
    SCOPED_TRACE(call == 0 ? "first call" : "later call");
    std::vector<significanceRecord> out;
    testing::internal::CaptureStdout();
    runSignificanceTest("x", individuals, snps, 0, out);
    const std::string printed = testing::internal::GetCapturedStdout();
    const std::string firstLines = "Calculating screening trend test p-value: "
                                   "Screening SNPs with TREND test at " +
                                   streamed(threshold) + "\n";
    EXPECT_EQ(printed, (call == 0 ? firstLines : "") + screenedLine);
    EXPECT_EQ(screeningP.load(), threshold);
    expectSameRecords(out, expected);
  }
}

TEST_F(SignificanceSelection, NoLogisticSignificantSnpKeepsNoSnp) {
  testType = 3;
  alpha = 1e-300;
  ASSERT_EQ(expectedThreshold(), 0.0);
  std::vector<significanceRecord> out(2);
  testing::internal::CaptureStdout();
  const int count = runSignificanceTest("x", individuals, snps, 0, out);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(screeningP.load(), 0.0);
  EXPECT_EQ(printed,
            "Calculating screening trend test p-value: Screening SNPs with TREND test at 0\n"
            " Screened Snps: 0 out of 12\tP = 0\n");
}

// Phenotype 3 is a case for the logistic model but not for the trend test, which then has no
// cases: every TREND p is missing, the threshold becomes ten times missingValue and every SNP
// passes the screen.
TEST_F(SignificanceSelection, MissingTrendPOfASignificantSnpKeepsEverySnp) {
  buildDataSet(240, scantest::defaultDesign, 3.0);
  testType = 3;
  const std::vector<significanceRecord> unscreened = expectedRecords(scanKind::logistic, 3);
  ASSERT_GT(std::count_if(unscreened.begin(), unscreened.end(),
                          [](auto& r) { return r.p < alpha; }), 0);
  std::vector<significanceRecord> out;
  testing::internal::CaptureStdout();
  runSignificanceTest("x", individuals, snps, 0, out);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(screeningP.load(), 10.0 * missingValue);
  EXPECT_EQ(printed,
            "Calculating screening trend test p-value: Screening SNPs with TREND test at 1e+82\n"
            " Screened Snps: 12 out of 12\tP = 1e+82\n");
  expectSameRecords(out, unscreened);
}

TEST_F(SignificanceSelection, ScreeningOffTestsEverySnpAndLeavesTheThresholdUnset) {
  testType = 3;
  trendScreening = 0;
  std::vector<significanceRecord> out;
  testing::internal::CaptureStdout();
  runSignificanceTest("x", individuals, snps, 0, out);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(screeningP.load(), missingValue);
  expectSameRecords(out, expectedRecords(scanKind::logistic, 3));
}

// Routes through plink, run by the real plink 1.07: the records of the in-process test of the
// same kind, to the digits plink prints, flagged by the alpha rule from plink's own p.
void expectPlinkRecords(const std::vector<significanceRecord>& viaPlink,
                        const std::vector<significanceRecord>& inProcess, bool fullModel,
                        int digits, double limit = 1.0) {
  ASSERT_EQ(viaPlink.size(), inProcess.size());
  for (size_t k = 0; k < viaPlink.size(); ++k) {
    const significanceRecord& r = viaPlink[k];
    SCOPED_TRACE(inProcess[k].snp->name);
    EXPECT_EQ(r.snp, inProcess[k].snp);
    EXPECT_LE(testsupport::printedDistance(inProcess[k].p, r.p, digits), limit)
        << inProcess[k].p << " vs plink " << r.p;
    EXPECT_EQ(r.significant, r.p != missingValue && r.p <= alpha);
    if (fullModel) {
      // plink's A1, the minor allele, with both p of the scan.
      EXPECT_TRUE(r.allele == r.snp->allele1 || r.allele == r.snp->allele2) << r.allele;
      EXPECT_LE(testsupport::printedDistance(inProcess[k].trendP, r.trendP, digits), 1.0);
      EXPECT_LE(testsupport::printedDistance(inProcess[k].genoP, r.genoP, digits), 1.0);
    } else {
      EXPECT_EQ(r.allele, 0);
    }
  }
}

class SignificanceThroughPlink : public SignificanceSelection {
 protected:
  void SetUp() override {
    ZUQ_NEED_PLINK107();
    SignificanceSelection::SetUp();
    ASSERT_TRUE(scratch.made());
    plink.executable = testsupport::plink107;
    rScriptFileName = testsupport::glmPluginScript;
    trendScreening = 0;  // the screened scan has its own tests
  }
  testsupport::scratchWorkingDirectory scratch{"significance_plink"};
};

TEST_F(SignificanceThroughPlink, PlinkRoutesAgreeWithTheInProcessTests) {
  struct routeCase {
    int test, qt, fastValue, inProcess;
    double caseValue;  // 3: a quantitative trait to plink
    scanKind kind;
    const char* what;
  };
  const routeCase cases[] = {
      {1, 0, 0, 1, 2.0, scanKind::fullModel, "TREND with --slow"},
      {0, 0, 0, 1, 2.0, scanKind::fullModel, "minTRENDGENO with --slow"},
      {2, 0, 0, 1, 2.0, scanKind::fullModel, "GENO with --slow"},
      {1, 1, 0, 1, 3.0, scanKind::regression, "--qt with --slow"},
      {3, 0, 1, 0, 2.0, scanKind::logistic, "LOGISTIC with --useplink"},
  };
  for (const routeCase& c : cases) {
    SCOPED_TRACE(c.what);
    buildDataSet(240, scantest::defaultDesign, c.caseValue);
    testType = c.test;
    quantitativeTrait = c.qt;
    fast = c.fastValue;
    inProcessLogistic = c.inProcess;
    const std::vector<significanceRecord> expected = expectedRecords(c.kind, c.test, false);
    std::vector<significanceRecord> out(3);
    testing::internal::CaptureStdout();
    const int count = runSignificanceTest("x", individuals, snps, 1, out);
    testing::internal::GetCapturedStdout();
    expectPlinkRecords(out, expected, c.kind == scanKind::fullModel, 4);
    int flagged = 0;
    for (const significanceRecord& r : out) flagged += r.significant;
    EXPECT_EQ(count, flagged);
    EXPECT_GT(count, 0);
  }
}

TEST_F(SignificanceThroughPlink, RPluginRouteAgreesWithTheInProcessLogisticFit) {
  testsupport::rserveSession rserve;
  ZUQ_NEED_RSERVE(rserve);
  testType = 5;
  for (int qt : {0, 1}) {
    SCOPED_TRACE(qt ? "RPLUGIN with --qt" : "RPLUGIN");
    quantitativeTrait = qt;
    const std::vector<significanceRecord> expected = expectedRecords(scanKind::logistic, 5);
    std::vector<significanceRecord> out;
    const int count = runSignificanceTest("x", individuals, snps, 1, out);
    // The plug-in's values have six digits.
    expectPlinkRecords(out, expected, false, 6, testsupport::rPluginDistanceLimit);
    EXPECT_GT(count, 0);
  }
}

// Eight scans at once on the shared data set give what one scan alone gives; the DUMMY draws
// are each taken once, under the lock, from the one generator.
TEST_F(SignificanceSelection, ConcurrentScansMatchTheSingleThreadScan) {
  constexpr int threads = 8;
  for (int test : {1, 3}) {
    SCOPED_TRACE(testNames[test]);
    testType = test;
    for (bool thresholdSetFirst : {true, false}) {
      SCOPED_TRACE(thresholdSetFirst ? "threshold set" : "threshold unset");
      screeningP = missingValue;
      std::vector<significanceRecord> single;
      testing::internal::CaptureStdout();
      const int singleCount = runSignificanceTest("all", individuals, snps, 0, single);
      if (!thresholdSetFirst) screeningP = missingValue;
      std::vector<std::vector<significanceRecord>> outs(threads);
      std::vector<int> counts(threads);
#pragma omp parallel num_threads(threads)
      {
        const int t = omp_get_thread_num();
        counts[t] = runSignificanceTest("cpu" + std::to_string(t), individuals, snps, 1, outs[t]);
      }
      const std::string printed = testing::internal::GetCapturedStdout();
      for (int t = 0; t < threads; ++t) {
        SCOPED_TRACE("thread " + std::to_string(t));
        EXPECT_EQ(counts[t], singleCount);
        expectSameRecords(outs[t], single);
      }
      if (test == 3) {
        size_t settings = 0;
        for (size_t at = printed.find("Screening SNPs"); at != std::string::npos;
             at = printed.find("Screening SNPs", at + 1)) {
          ++settings;
        }
        EXPECT_EQ(settings, thresholdSetFirst ? 1u : 2u);  // once alone, once among the threads
      }
    }
  }
}

// Long scans keep the threads drawing at the same moments: a draw taken outside the lock
// would show as a lost or repeated value (or end the run through the generator's guard).
TEST_F(SignificanceSelection, ConcurrentDummyDrawsAreEachTakenOnce) {
  constexpr int threads = 8;
  constexpr size_t perThread = 100000;
  testType = 7;
  std::vector<snpRecord*> longList;
  while (longList.size() < perThread) longList.insert(longList.end(), snps.begin(), snps.end());
  longList.resize(perThread);
  rng.seed(4321);
  std::vector<std::vector<significanceRecord>> outs(threads);
  testing::internal::CaptureStdout();
#pragma omp parallel num_threads(threads)
  {
#pragma omp barrier
    runSignificanceTest("cpu", individuals, longList, 1, outs[omp_get_thread_num()]);
  }
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(rngEntryCount, 0);
  std::vector<double> drawn;
  for (const auto& out : outs) {
    ASSERT_EQ(out.size(), perThread);
    for (const significanceRecord& r : out) drawn.push_back(r.p);
  }
  std::vector<double> expected = scantest::uniformDraws(4321, static_cast<int>(drawn.size()));
  std::sort(drawn.begin(), drawn.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(drawn, expected);
}

}  // namespace
