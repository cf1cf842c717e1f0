#include "bootstrap/confidence_intervals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "bootstrap/analysis_flow.h"
#include "bootstrap/level0.h"
#include "bootstrap/level12.h"
#include "bootstrap/result_records.h"
#include "run/settings.h"
#include "test_support/bootstrap_snapshot.h"
#include "test_support/settings_snapshot.h"

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// Rank 0 is the reference SNP (allele frequency 0.3); level-1 rows name SNPs at 0.2, 0.3, 0.4.
class IntervalFixture : public testing::Test {
 protected:
  void SetUp() override {
    const double mafs[] = {0.3, 0.2, 0.3, 0.4};
    for (double maf : mafs) {
      owned_.push_back(std::make_unique<snpRecord>());
      owned_.back()->maf = maf;
      owned_.back()->name = "rs" + std::to_string(owned_.size() - 1);
      snps.push_back(owned_.back().get());
    }
    resultRecord naive;
    naive.snp = snps[0];
    naiveResults = {naive};
    nSig = 1;
    adjCor = 0;
    debugLevel = 0;
  }
  void TearDown() override { snps.clear(); }  // the records are owned here
  // One level-1 row per value, row j naming SNP 1 + j % 3 at rank 0.
  void setLevel1(const std::vector<double>& values) {
    level1Uboots.clear();
    level1Results.clear();
    for (size_t j = 0; j < values.size(); ++j) {
      level1Uboots.push_back({values[j]});
      resultRecord r;
      r.snp = snps[1 + j % 3];
      level1Results.push_back({r});
    }
  }

  testsupport::settingsSnapshot settings_;
  testsupport::bootstrapSnapshot results_;
  std::vector<std::unique_ptr<snpRecord>> owned_;
};

struct intervalCase {
  const char* what;
  int adjCimaf;
  double ubootValue;
  std::vector<double> level1;
  double lower, upper;  // from R: testdata/interval_oracles.R
};

TEST_F(IntervalFixture, BoundsFromTheSpreadOfTheLevel1Values) {
  const intervalCase cases[] = {
      {"no shift", 0, 0.3, {0.2, 0.4, 0.6}, 0.0598524246, 1.5036984814},
      {"centred values below exp(-3) shift", 0, 0.1, {0.0, 0.2, 0.4}, 0.0092245349,
       0.8034375493},
      {"missing, infinite and NaN values are skipped", 0, 0.3,
       {0.2, missingValue, inf, 0.4, -inf, nan, 0.6}, 0.0598524246, 1.5036984814},
      {"allele-frequency factors", 1, 0.3, {0.2, 0.4, 0.6}, 0.0408056742, 2.2055756165},
      {"allele-frequency factors with a shift", 1, 0.1, {0.0, 0.2, 0.4}, 0.0087909528,
       0.8430642164},
      {"Uboot truncated to 0", 0, 0.0, {0.2, 0.4, 0.6}, 0.0, 0.0},
      {"one usable value", 0, 0.3, {0.2, missingValue}, missingValue, missingValue},
      {"no level-1 resample", 0, 0.3, {}, missingValue, missingValue},
      {"missing Uboot", 0, missingValue, {0.2, 0.4, 0.6}, missingValue, missingValue},
      // Kept by --notruncate; a negative Uboot has no logarithm.
      {"negative Uboot", 0, -0.2, {0.2, 0.4, 0.6}, missingValue, missingValue},
      {"negative Uboot with factors", 1, -0.01, {0.2, 0.4, 0.6}, missingValue, missingValue},
  };
  for (const intervalCase& c : cases) {
    SCOPED_TRACE(c.what);
    adjCimaf = c.adjCimaf;
    uboot = {c.ubootValue};
    setLevel1(c.level1);
    computeConfidenceIntervals();
    ASSERT_EQ(ciLower.size(), 1u);
    ASSERT_EQ(ciUpper.size(), 1u);
    if (c.lower == missingValue) {
      EXPECT_EQ(ciLower[0], missingValue);
      EXPECT_EQ(ciUpper[0], missingValue);
    } else {
      EXPECT_NEAR(ciLower[0], c.lower, 1e-9);
      EXPECT_NEAR(ciUpper[0], c.upper, 1e-9);
    }
  }
}

// The factor divides by the reference SNP's genotype SD and multiplies by the level-1 SNP's;
// where either is 0 or no number the factor is no number and its value cannot be scaled.
TEST_F(IntervalFixture, ValuesWithoutAFrequencyFactorAreLeftOut) {
  struct factorCase {
    const char* what;
    int adjCimaf;
    double referenceMaf;
    std::vector<double> level1Mafs;  // of SNPs 1, 2, 3 (rows 0, 1, 2)
    double lower, upper;             // from R: testdata/interval_oracles.R
  };
  const factorCase cases[] = {
      {"reference SNP with genotype SD 0", 1, 0.0, {0.2, 0.3, 0.4}, missingValue, missingValue},
      {"reference SNP without calls", 1, nan, {0.2, 0.3, 0.4}, missingValue, missingValue},
      {"no factors used: the SD is not needed", 0, 0.0, {0.2, 0.3, 0.4}, 0.0598524246,
       1.5036984814},
      // Rows 0 and 2 (values 0.2 and 0.6) keep their factors; row 1 is left out.
      {"level-1 SNP without calls", 1, 0.3, {0.2, nan, 0.4}, 0.0192276613, 4.6807564573},
      {"level-1 and reference SNP both without genotype SD", 1, 0.0, {0.0, 1.0, 0.0},
       missingValue, missingValue},
  };
  for (const factorCase& c : cases) {
    SCOPED_TRACE(c.what);
    adjCimaf = c.adjCimaf;
    snps[0]->maf = c.referenceMaf;
    for (size_t j = 0; j < 3; ++j) snps[1 + j]->maf = c.level1Mafs[j];
    uboot = {0.3};
    setLevel1({0.2, 0.4, 0.6});
    computeConfidenceIntervals();
    ASSERT_EQ(ciLower.size(), 1u);
    if (c.lower == missingValue) {
      EXPECT_EQ(ciLower[0], missingValue);
      EXPECT_EQ(ciUpper[0], missingValue);
    } else {
      EXPECT_NEAR(ciLower[0], c.lower, 1e-9);
      EXPECT_NEAR(ciUpper[0], c.upper, 1e-9);
    }
  }
}

TEST_F(IntervalFixture, ShortRowsServeOnlyTheRanksTheyReach) {
  resultRecord second;
  second.snp = snps[2];
  naiveResults.push_back(second);
  nSig = 2;
  adjCimaf = 0;
  uboot = {0.3, 0.3};
  // Rank 1 has the values 0.2, 0.4, 0.6 only; rank 0 has 0.2 alone and gets no interval.
  level1Uboots = {{0.2, 0.2}, {missingValue, 0.4}, {}, {missingValue, 0.6}};
  level1Results = {{naiveResults[0], second}, {naiveResults[0], second}, {},
                   {naiveResults[0], second}};
  computeConfidenceIntervals();
  ASSERT_EQ(ciLower.size(), 2u);
  EXPECT_EQ(ciLower[0], missingValue);
  EXPECT_NEAR(ciLower[1], 0.0598524246, 1e-9);
  EXPECT_NEAR(ciUpper[1], 1.5036984814, 1e-9);
}

// A joined run has level-1 Uboot rows but no level-1 records: no factor can be formed, and
// the values are used unscaled rather than read past the end of the records.
TEST_F(IntervalFixture, RowsWithoutRecordsGetNoFrequencyFactor) {
  adjCimaf = 1;
  uboot = {0.3};
  level1Uboots = {{0.2}, {0.4}, {0.6}};
  level1Results.clear();
  computeConfidenceIntervals();
  EXPECT_NEAR(ciLower[0], 0.0598524246, 1e-9);
  EXPECT_NEAR(ciUpper[0], 1.5036984814, 1e-9);
}

TEST_F(IntervalFixture, CountsComputedCorrelationsOverTheWholeDataSet) {
  struct countCase {
    int adjCor;
    std::string expected;
  };
  snps[1]->covUdUe = 0.01;
  snps[2]->covUdUe = nan;  // a single kept pair: computed all the same
  const countCase cases[] = {{1, "Computed correllation for 2 / 4 snps\n"}, {0, ""}};
  for (const countCase& c : cases) {
    SCOPED_TRACE(c.adjCor);
    adjCor = c.adjCor;
    uboot = {0.3};
    setLevel1({});
    testing::internal::CaptureStdout();
    computeConfidenceIntervals();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.expected);
    EXPECT_EQ(ciLower.size(), 1u);  // a second call starts afresh
  }
}

TEST_F(IntervalFixture, DebugOutputTracesEveryStep) {
  debugLevel = 1;
  adjCimaf = 0;
  uboot = {0.3};
  setLevel1({0.2, 0.4, 0.6});
  level1SigCounts = {1, 1, 1};
  testing::internal::CaptureStdout();
  computeConfidenceIntervals();
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string expected =
      "Matrix Sizes:\n \n\nL1:1 1 1 \n\n\nS1:1 1 1 \n\nL2: \n\n\nSn = 1\nUBOOT SIZE: 3 1\n"
      "Uboot[ 0] :      0.2 \nUboot[ 1] :      0.4 \nUboot[ 2] :      0.6 \n\n\n"
      "** SNP: rs0\n"
      "DDD B[] : 0.2 0.4 0.6 \n"
      "DDD fc[]: 0.872872 1 1.06904 \n"
      "mean = 0.400000 uboot0 = 0.300000 \n"
      "  0.20   0.40   0.60 \n"
      "  0.20   0.40   0.60 \n"
      "Adjusted b*:\n"
      "  0.10   0.30   0.50 \n"
      "shift = 0.000000\n"
      "  0.10   0.30   0.50 \n"
      "ub0=-1.203973 std=0.822413 ci=-2.815873 0.407928\n"
      "ub0=0.300000 std=0.822413 ci=0.059852 1.503698\n"
      "\nmean = -1.3999\n";
  EXPECT_EQ(out, expected);
}

}  // namespace
