// The in-process logistic fit with a --covar-name / --covar-number selection: the model holds
// only the chosen covariates, as plink's does, and agrees with R's glm on those columns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "association/logistic_model.h"
#include "association/plink_runner.h"
#include "dataset/covariates.h"
#include "dataset/dataset.h"
#include "run/settings.h"
#include "test_support/regression_oracle.h"
#include "test_support/scratch_files.h"
#include "test_support/settings_snapshot.h"

namespace {

const std::string sourceDir = std::string(ZUQ_SOURCE_DIR) + "/src/association/testdata/";
const std::string fixtureDir = sourceDir + "covariate_selection/";

using testsupport::printedHalfUnit;
using testsupport::relativeError;
using oracleRow = testsupport::regressionOracleRow;

std::map<std::string, oracleRow> readOracle(const std::string& name) {
  return testsupport::readRegressionOracle(fixtureDir + name);
}

class CovariateSelectionFit : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(scratch.made()); }
  void TearDown() override {
    freeDataSet();
    covariateHeaderLine.clear();
  }

  testsupport::settingsSnapshot settings;
  testsupport::scratchWorkingDirectory scratch{"zuq-covar-selection"};
};

TEST_F(CovariateSelectionFit, FitUsesOnlyTheChosenCovariatesAsRAndPlinkDo) {
  struct selectionCase {
    const char* selection;
    bool byNumber;
    int chosen;
    const char* rFile;
    const char* plinkFile;
  };
  const selectionCase cases[] = {
      {"age,bmi", false, 2, "r_age_bmi.txt", "plink_age_bmi.txt"},
      {"bmi-age", false, 3, nullptr, nullptr},  // a range by header position: age grp bmi
      {"2", true, 1, "r_grp.txt", "plink_grp.txt"},
      {"", false, 4, "r_all.txt", "plink_all.txt"},
  };
  for (const selectionCase& c : cases) {
    SCOPED_TRACE(std::string(c.byNumber ? "--covar-number " : "--covar-name ") + c.selection);
    covarSelection = c.selection;
    covarNumberGiven = c.byNumber;
    plinkCovarArgs = c.selection[0] == 0 ? "" : "--covar-name x";
    testing::internal::CaptureStdout();
    plink.readPedAndMap(sourceDir + "logistic/logistic.ped", sourceDir + "logistic/logistic.map");
    plink.readCovariateFile(fixtureDir + "wide.cov");
    testing::internal::GetCapturedStdout();
    // The .cov files for plink carry the chosen columns only, and plink takes them all.
    EXPECT_EQ(plinkCovarArgs, "");
    for (const individualRecord* person : individuals) {
      ASSERT_EQ(person->covariates.size(), static_cast<size_t>(c.chosen));
    }
    if (c.rFile != nullptr) {
      const auto r = readOracle(c.rFile);
      const auto printed = readOracle(c.plinkFile);
      ASSERT_EQ(static_cast<int>(r.size()), nSnps);
      std::vector<estimateRecord> out;
      testing::internal::CaptureStdout();
      logisticAllSnps(individuals, snps, out);
      testing::internal::GetCapturedStdout();
      ASSERT_EQ(static_cast<int>(out.size()), nSnps);
      for (const estimateRecord& e : out) {
        SCOPED_TRACE(e.snp->name);
        const oracleRow& expected = r.at(e.snp->name);
        logisticModel model;
        testing::internal::CaptureStdout();
        model.setupModel(individuals, e.snp);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(model.p, 2 + c.chosen);
        EXPECT_EQ(model.n, expected.rows);
        EXPECT_LE(relativeError(e.effect, expected.oddsRatio), 1e-6);
        EXPECT_LE(relativeError(e.p, expected.p), 1e-5);
        const oracleRow& plinkRow = printed.at(e.snp->name);
        EXPECT_EQ(plinkRow.rows, expected.rows);
        const double oddsRatio = plinkRow.allele == e.snp->allele1 ? e.effect : 1 / e.effect;
        EXPECT_LE(std::fabs(oddsRatio - plinkRow.oddsRatio), printedHalfUnit(plinkRow.oddsRatio));
        EXPECT_LE(std::fabs(e.p - plinkRow.p), printedHalfUnit(plinkRow.p));
      }
    }
    freeDataSet();
    covariateHeaderLine.clear();
  }
}

}  // namespace
