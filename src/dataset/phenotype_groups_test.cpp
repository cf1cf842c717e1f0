#include "dataset/phenotype_groups.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "run/settings.h"
#include "test_support/dataset_builder.h"
#include "test_support/settings_snapshot.h"

namespace {

TEST(PhenotypeGroups, ShortfallsAreNamedByStudyType) {
  struct GroupCase {
    const char* name;
    int study;
    std::vector<double> phenotypes;
    std::string warning;  // after "Warning: "; empty: none
  };
  const std::string compare = ": no test can compare cases with controls.\n";
  const std::string constant = ": no test can find an association.\n";
  const GroupCase cases[] = {
      {"none", 1, {}, "The data set has no individual with a phenotype: there is nothing to test.\n"},
      {"none, population", 2, {},
       "The data set has no individual with a phenotype: there is nothing to test.\n"},
      {"one case", 1, {2},
       "The data set has only one individual with a phenotype: a test needs at least two.\n"},
      {"one value", 2, {3.5},
       "The data set has only one individual with a phenotype: a test needs at least two.\n"},
      {"controls only", 1, {1, 1, 1}, "The data set has no cases (phenotype 2)" + compare},
      {"cases only", 1, {2, 2}, "The data set has no controls (phenotype 1)" + compare},
      {"one of each", 1, {1, 2}, ""},
      // Cases and controls are counted only in a case-control study.
      {"ones in a population study", 2, {1, 1, 1},
       "Every individual of the data set has the same phenotype, 1" + constant},
      {"one value for all", 2, {0.25, 0.25, 0.25},
       "Every individual of the data set has the same phenotype, 0.25" + constant},
      {"values that differ last", 2, {4, 4, 4.000001}, ""},
      {"ones and twos in a population study", 2, {1, 2}, ""},
  };
  for (const GroupCase& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::settingsSnapshot restore;
    studyType = c.study;
    for (double phenotype : c.phenotypes) testsupport::addIndividual(phenotype);
    EXPECT_EQ(phenotypeShortfallWarning(), c.warning.empty() ? "" : "Warning: " + c.warning);
    freeDataSet();
  }
}

}  // namespace
