#include "dataset/covariate_selection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(CovariateSelection, ListsResolveToColumnsInFileOrder) {
  const std::vector<std::string> names = {"age", "grp", "bmi", "z-score", "z"};
  struct selectionCase {
    const char* list;
    bool byNumber;
    std::vector<int> columns;  // empty: the list is refused
    const char* problem;
  };
  const selectionCase cases[] = {
      {"1,3", true, {0, 2}, ""},
      {"3,1", true, {0, 2}, ""},          // file order, whatever the list's order
      {"2-4", true, {1, 2, 3}, ""},
      {"4-2", true, {1, 2, 3}, ""},       // a range either way round
      {"1,1,2-3,3", true, {0, 1, 2}, ""}, // each column once
      {"1,", true, {0}, ""},
      {"5", true, {4}, ""},
      {"age,bmi", false, {0, 2}, ""},
      {"bmi,age", false, {0, 2}, ""},
      {"age-bmi", false, {0, 1, 2}, ""},
      {"bmi-age", false, {0, 1, 2}, ""},
      {"z-score", false, {3}, ""},        // a name with a dash is a name first
      {"grp-z", false, {1, 2, 3, 4}, ""},
      {"0", true, {}, "--covar-number 0: \"0\" is not a covariate number from 1 to 5."},
      {"6", true, {}, "--covar-number 6: \"6\" is not a covariate number from 1 to 5."},
      {"1,x", true, {}, "--covar-number 1,x: \"x\" is not a covariate number from 1 to 5."},
      {"3-", true, {}, "--covar-number 3-: \"3-\" is not a covariate number from 1 to 5."},
      {"-1", true, {}, "--covar-number -1: \"-1\" is not a covariate number from 1 to 5."},
      {"99999999999", true, {},
       "--covar-number 99999999999: \"99999999999\" is not a covariate number from 1 to 5."},
      {",", true, {}, "--covar-number ,: no covariate chosen."},
      {"AGE", false, {}, "--covar-name AGE: \"AGE\" is not a covariate name of the header line."},
      {"age-weight", false, {},
       "--covar-name age-weight: \"age-weight\" is not a covariate name of the header line."},
  };
  for (const selectionCase& c : cases) {
    SCOPED_TRACE(c.list);
    std::vector<int> columns = {7};
    std::string problem;
    const bool chosen = selectCovariateColumns(c.list, c.byNumber, names, 5, columns, problem);
    EXPECT_EQ(chosen, !c.columns.empty());
    EXPECT_EQ(columns, c.columns);
    EXPECT_EQ(problem, c.problem);
  }
}

TEST(CovariateSelection, NamesNeedAHeaderNamingEveryColumn) {
  std::vector<int> columns;
  std::string problem;
  EXPECT_FALSE(selectCovariateColumns("age", false, {}, 2, columns, problem));
  EXPECT_EQ(problem, "--covar-name age: the covariates file has no header line naming its 2 "
                     "covariates.");
  // Numbers need no header.
  EXPECT_TRUE(selectCovariateColumns("2", true, {}, 2, columns, problem));
  EXPECT_EQ(columns, std::vector<int>{1});
}

}  // namespace
