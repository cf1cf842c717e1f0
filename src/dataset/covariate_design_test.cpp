#include "dataset/covariate_design.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "dataset/covariates.h"
#include "dataset/dataset.h"
#include "dataset/snp_filters.h"
#include "test_support/dataset_builder.h"
#include "test_support/scratch_files.h"
#include "test_support/settings_snapshot.h"
#include "association/plink_runner.h"

namespace {

class CovariateDesign : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(directory.made()); }
  void TearDown() override {
    freeDataSet();
    covariateHeaderLine.clear();
  }
  // Individuals "f<i>" with two SNP columns and the given covariates.
  void addPeople(const std::vector<std::vector<double>>& covariates) {
    if (snps.empty()) {
      testsupport::addSnp("a", 1, 100);
      testsupport::addSnp("b", 1, 200);
    }
    for (const auto& values : covariates) {
      individualRecord* person = testsupport::addIndividual(
          individuals.size() % 2 == 0 ? 1.0 : 2.0, {heterozygous, homozygousAllele1});
      person->familyId = "f" + std::to_string(individuals.size());
      person->individualId = "1";
      person->covariates = values;
    }
  }
  std::vector<double> rowOf(int32_t r) const {
    const double* row = covariateTable.row(r);
    return {row, row + covariateTable.width};
  }

  testsupport::settingsSnapshot settings;
  testsupport::scratchWorkingDirectory directory{"zuq-covariate-design"};
};

// Row r is [1, 0, covariates of individual r]; an individual with a missing value, or fewer
// values than the first one, is not usable.
TEST_F(CovariateDesign, RowsHoldInterceptAndCovariatesOfEveryIndividual) {
  addPeople({{1.5, -2}, {missingValue, 3}, {4, 5}, {7}, {0.25, 8}});
  ensureCovariateDesign();
  ASSERT_TRUE(covariateTable.valid);
  EXPECT_EQ(covariateTable.covariates, 2u);
  EXPECT_EQ(covariateTable.width, 4u);
  ASSERT_EQ(covariateTable.rows.size(), 5u);
  EXPECT_EQ(rowOf(0), (std::vector<double>{1, 0, 1.5, -2}));
  EXPECT_EQ(rowOf(2), (std::vector<double>{1, 0, 4, 5}));
  EXPECT_EQ(rowOf(4), (std::vector<double>{1, 0, 0.25, 8}));
  EXPECT_EQ(covariateTable.usable, (std::vector<uint8_t>{1, 0, 1, 0, 1}));
}

// A list is matched entry by entry, repeats included, in any order; a record the table does
// not hold fails the whole list.
TEST_F(CovariateDesign, ListsMapToTheRowsOfTheirRecords) {
  addPeople({{1}, {2}, {3}, {4}});
  ensureCovariateDesign();
  individualRecord stranger;
  const std::vector<individualRecord*>& p = individuals;
  struct listCase {
    const char* name;
    std::vector<individualRecord*> list;
    bool held;
    std::vector<int32_t> rows;
  };
  const listCase cases[] = {
      {"everyone", p, true, {0, 1, 2, 3}},
      {"a resample with repeats", {p[0], p[0], p[2], p[3], p[3], p[3]}, true, {0, 0, 2, 3, 3, 3}},
      {"another order", {p[3], p[1], p[1], p[0], p[2]}, true, {3, 1, 1, 0, 2}},
      {"nobody", {}, true, {}},
      {"a record from elsewhere", {p[0], &stranger, p[1]}, false, {}},
  };
  for (const listCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int32_t> rows = {7, 7};
    EXPECT_EQ(covariateTable.rowsOfList(c.list, rows), c.held);
    if (c.held) {
      EXPECT_EQ(rows, c.rows);
    }
  }
  EXPECT_EQ(covariateTable.rowOf(&stranger), -1);
}

// Every change of the records or their covariates drops the table, and the next build holds
// the new values: a table that outlived them would fit stale covariates, or rows of freed
// records.
TEST_F(CovariateDesign, ChangedRecordsOrCovariatesDropTheTable) {
  struct changeCase {
    const char* name;
    std::function<void()> change;
    std::vector<double> firstRowAfter;  // empty: no individual left
  };
  const changeCase cases[] = {
      {"covariate file read",
       [] {
         testsupport::writeWholeFile("cov.txt", "f1 1 9 8\nf2 1 7 6\nf3 1 5 4\n");
         plink.readCovariateFile("cov.txt");
       },
       {1, 0, 9, 8}},
      {"individuals without phenotype removed",
       [] {
         individuals[0]->phenotype = missingValue;
         plink.removeMissingPhenotypes();
       },
       {1, 0, 3, 4}},
      {"SNPs removed (the records are replaced)",
       [] {
         snps[1]->index = -1;
         compactSnps();
       },
       {1, 0, 1, 2}},
      {"data set freed", [] { freeDataSet(); }, {}},
  };
  for (const changeCase& c : cases) {
    SCOPED_TRACE(c.name);
    freeDataSet();
    addPeople({{1, 2}, {3, 4}, {5, 6}});
    ensureCovariateDesign();
    ASSERT_TRUE(covariateTable.valid);
    testing::internal::CaptureStdout();
    c.change();
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(covariateTable.valid);
    EXPECT_TRUE(covariateTable.rows.empty());
    ensureCovariateDesign();
    ASSERT_EQ(covariateTable.rows.size(), individuals.size());
    if (c.firstRowAfter.empty()) continue;
    EXPECT_EQ(covariateTable.rows[0], individuals[0]);
    EXPECT_EQ(rowOf(0), c.firstRowAfter);
  }
}

}  // namespace
