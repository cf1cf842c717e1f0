// --covar-name / --covar-number end to end: the in-process fit and the fit through plink use
// the same chosen covariates, so both routes give the naive estimates of R's glm on them.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "run_zuq.h"

namespace {

const std::string testdata = dataPath("../../src/association/testdata/");

// R's glm with the chosen covariates: SNP -> (allele 1, OR of allele 1, p).
struct oracleRow {
  std::string allele;
  double oddsRatio = 0;
  double p = 0;
};

std::map<std::string, oracleRow> readOracle(const std::string& name) {
  std::ifstream in(testdata + "covariate_selection/" + name);
  std::string header, snp, allele, rows;
  std::getline(in, header);
  std::map<std::string, oracleRow> table;
  oracleRow row;
  while (in >> snp >> row.allele >> rows >> row.oddsRatio >> row.p) table[snp] = row;
  return table;
}

TEST(CovariateRoutes, BothRoutesFitTheChosenCovariatesOnly) {
  struct routeCase {
    std::vector<std::string> selection;
    const char* oracle;
  };
  const routeCase cases[] = {
      {{"--covar-name", "age,bmi"}, "r_age_bmi.txt"},
      {{"--covar-number", "2"}, "r_grp.txt"},
  };
  for (const routeCase& c : cases) {
    const auto expected = readOracle(c.oracle);
    for (const bool throughPlink : {false, true}) {
      SCOPED_TRACE(testing::PrintToString(c.selection) + (throughPlink ? " --useplink" : ""));
      std::vector<std::string> args = {
          "--ped", testdata + "logistic/logistic.ped", "--map", testdata + "logistic/logistic.map",
          "--covar", testdata + "covariate_selection/wide.cov", "--plink", plinkPath(),
          "--seed", "3", "--L0", "2", "--alpha", "0.05"};
      args.insert(args.end(), c.selection.begin(), c.selection.end());
      if (throughPlink) args.push_back("--useplink");
      const zuqRun run = runZuq(args);
      ASSERT_EQ(run.status, 0) << run.out;
      const auto rows = tableRows(readFile(run.directory + "/out.zuq"));
      ASSERT_GE(rows.size(), 2u);
      // plink prints 4 significant digits, the table 4 decimals of the OR and 3 digits of p.
      const double orTolerance = throughPlink ? 6e-4 : 1e-4;
      for (size_t i = 1; i < rows.size(); ++i) {
        const std::vector<std::string>& row = rows[i];
        SCOPED_TRACE(row[1]);
        const oracleRow& r = expected.at(row[1]);
        const double oddsRatio = row[4] == r.allele ? r.oddsRatio : 1 / r.oddsRatio;
        EXPECT_NEAR(std::stod(row[6]) / oddsRatio, 1.0, orTolerance);
        EXPECT_NEAR(std::stod(row[5]) / r.p, 1.0, 6e-3);
      }
    }
  }
}

}  // namespace
