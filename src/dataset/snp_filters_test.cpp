#include "dataset/snp_filters.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "run/settings.h"
#include "test_support/dataset_builder.h"
#include "test_support/scratch_files.h"
#include "test_support/settings_snapshot.h"

namespace {

// A fixed scatter of all four codes over individuals and columns.
unsigned patternCode(int person, int column) {
  return static_cast<unsigned>((person * 7 + column * 13 + (person * column) % 5) % 4);
}

class SnpFilters : public testing::Test {
 protected:
  void TearDown() override { freeDataSet(); }

  // snpCount SNPs "s0", "s1", ... on chromosome 1 at positions 1, 2, ...
  static void addSnps(int snpCount) {
    for (int j = 0; j < snpCount; ++j) testsupport::addSnp("s" + std::to_string(j), 1, j + 1);
  }
  // One individual with the given phenotype and codes (a column past the codes gets code 0).
  static void addPerson(double phenotype, const std::vector<unsigned>& codes) {
    individualRecord* person = testsupport::addIndividual(phenotype, codes);
    const int i = person->index;
    person->familyId = "f" + std::to_string(i);
    person->individualId = "i" + std::to_string(i);
    person->fatherId = "p" + std::to_string(i);
    person->motherId = "m" + std::to_string(i);
    person->sex = std::to_string(i % 2 + 1);
    person->covariates = {i * 0.5, missingValue};
  }
  static void addPatternPeople(int count) {
    for (int i = 0; i < count; ++i) {
      std::vector<unsigned> codes;
      for (int j = 0; j < nSnps; ++j) codes.push_back(patternCode(i, j));
      addPerson(i % 3 == 0 ? 1.0 : 2.0, codes);
    }
  }
  // Column 0: controls allele-1 frequency 0.3, cases 0.6, all typed individuals 0.45.
  // Column 1: every control untyped, cases all heterozygous. Column 2: monomorphic.
  static void addCaseControlSet() {
    for (int k = 0; k < 10; ++k) addPerson(1.0, {k < 3 ? 0u : 3u, 1u, 0u});
    for (int k = 0; k < 10; ++k) addPerson(2.0, {k < 6 ? 0u : 3u, 2u, 0u});
    addPerson(1.5, {1u, 1u, 0u});  // neither case nor control
  }
  std::string listFile(const std::string& name, const std::string& text) {
    const std::string path = directory.file(name);
    testsupport::writeWholeFile(path, text);
    return path;
  }
  static std::vector<std::string> snpNames() {
    std::vector<std::string> names;
    for (const snpRecord* snp : snps) names.push_back(snp->name);
    return names;
  }
  template <typename F>
  static std::string captured(F&& action) {
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
  }

  testsupport::settingsSnapshot settings;
  testsupport::scratchDirectory directory{"zuq-snplist"};
};

TEST_F(SnpFilters, CompactionMovesCodesAcrossWordBoundaries) {
  struct MarkRule {
    const char* name;
    bool (*marked)(int column, int columns);
  };
  const MarkRule rules[] = {
      {"every third", [](int j, int) { return j % 3 == 1; }},
      {"first only", [](int j, int) { return j == 0; }},
      {"last only", [](int j, int n) { return j == n - 1; }},
      {"all but the last", [](int j, int n) { return j != n - 1; }},
      {"everything", [](int, int) { return true; }},
  };
  for (int columns : {31, 32, 33, 34, 63, 64, 65}) {
    for (int people = 1; people <= 4; ++people) {
      for (const MarkRule& rule : rules) {
        SCOPED_TRACE(std::string(rule.name) + ", " + std::to_string(columns) + " SNPs, " +
                     std::to_string(people) + " individuals");
        addSnps(columns);
        addPatternPeople(people);
        std::vector<int> keptColumns;
        for (int j = 0; j < columns; ++j) {
          if (rule.marked(j, columns)) {
            snps[j]->index = -1;
          } else {
            keptColumns.push_back(j);
          }
        }
        EXPECT_EQ(captured(compactSnps), "");
        const int kept = static_cast<int>(keptColumns.size());
        ASSERT_EQ(nSnps, kept);
        ASSERT_EQ(static_cast<int>(snps.size()), kept);
        ASSERT_EQ(nIndividuals, people);
        for (int k = 0; k < kept; ++k) {
          EXPECT_EQ(snps[k]->index, k);
          EXPECT_EQ(snps[k]->name, "s" + std::to_string(keptColumns[k]));
        }
        for (int i = 0; i < people; ++i) {
          const individualRecord& person = *individuals[i];
          EXPECT_EQ(person.index, i);
          EXPECT_EQ(person.familyId, "f" + std::to_string(i));
          EXPECT_EQ(person.individualId, "i" + std::to_string(i));
          EXPECT_EQ(person.fatherId, "p" + std::to_string(i));
          EXPECT_EQ(person.motherId, "m" + std::to_string(i));
          EXPECT_EQ(person.sex, std::to_string(i % 2 + 1));
          EXPECT_EQ(person.phenotype, i % 3 == 0 ? 1.0 : 2.0);
          EXPECT_EQ(person.covariates, (std::vector<double>{i * 0.5, missingValue}));
          ASSERT_EQ(person.genotypes.size(), static_cast<size_t>(kept / 32 + 2));
          for (int k = 0; k < kept; ++k) {
            ASSERT_EQ(genotypeAt(person.genotypes, k), patternCode(i, keptColumns[k]))
                << "person " << i << " column " << k;
          }
          // Nothing beyond the last column.
          for (int k = kept; k < static_cast<int>(person.genotypes.size()) * 32; ++k) {
            ASSERT_EQ(genotypeAt(person.genotypes, k), 0u) << "column " << k;
          }
        }
        freeDataSet();
      }
    }
  }
}

TEST_F(SnpFilters, CompactionFollowsEachSnpsOwnColumnAfterTheListWasReordered) {
  // A plink route puts the shared list in position order after the columns were laid.
  addSnps(4);
  addPerson(1.0, {0, 2, 3, 1});
  std::swap(snps[0], snps[3]);  // list s3 s1 s2 s0, columns 3 1 2 0
  snps[2]->index = -1;          // drop s2
  captured(compactSnps);
  ASSERT_EQ(nSnps, 3);
  const std::vector<std::string> names = {snps[0]->name, snps[1]->name, snps[2]->name};
  EXPECT_EQ(names, (std::vector<std::string>{"s3", "s1", "s0"}));
  const auto& words = individuals[0]->genotypes;
  EXPECT_EQ(genotypeAt(words, 0), 1u);  // s3's code
  EXPECT_EQ(genotypeAt(words, 1), 2u);  // s1's code
  EXPECT_EQ(genotypeAt(words, 2), 0u);  // s0's code
  for (int j = 0; j < 3; ++j) EXPECT_EQ(snps[j]->index, j);
}

TEST_F(SnpFilters, CompactionWithoutMarksChangesNothing) {
  debugLevel = 1;
  addSnps(5);
  addPatternPeople(2);
  const individualRecord* first = individuals[0];
  EXPECT_EQ(captured(compactSnps), "");
  EXPECT_EQ(individuals[0], first);
  EXPECT_EQ(nSnps, 5);
  freeDataSet();
  EXPECT_EQ(captured(compactSnps), "");  // empty data set
}

TEST_F(SnpFilters, DebugReportsRemovedAndRemainingSnps) {
  debugLevel = 1;
  addSnps(10);
  addPatternPeople(3);
  for (int j : {2, 5, 9}) snps[j]->index = -1;
  EXPECT_EQ(captured(compactSnps), "Removing 3 snps.\n   Done (7 snps left)\n");
  EXPECT_EQ(nSnps, 7);
}

TEST_F(SnpFilters, ChromosomeSelectionDropsOtherChromosomesAndPositionZero) {
  struct SnpCase {
    int chromosome, position;
    bool kept;
  };
  const SnpCase cases[] = {
      {1, 100, true}, {1, 0, false}, {2, 100, false}, {1, -5, true}, {0, 0, false}, {1, 7, true},
  };
  addSnps(6);
  for (int j = 0; j < 6; ++j) {
    snps[j]->chromosome = cases[j].chromosome;
    snps[j]->position = cases[j].position;
  }
  addPatternPeople(2);
  EXPECT_EQ(captured([] { selectChromosome(1); }), "Selecting only chromosome 1 for analysis.\n");
  std::vector<std::string> expected;
  for (int j = 0; j < 6; ++j) {
    if (cases[j].kept) expected.push_back("s" + std::to_string(j));
  }
  EXPECT_EQ(snpNames(), expected);
  EXPECT_EQ(genotypeAt(individuals[1]->genotypes, 1), patternCode(1, 3));
}

TEST_F(SnpFilters, MafPerGroupAndTheControlsRule) {
  struct MafCase {
    const char* name;
    int study;
    double maf, cases, controls;  // thresholds
    std::vector<std::string> kept;
    std::string message;
  };
  const MafCase cases[] = {
      {"defaults keep everything", 1, 0, 0, 0, {"s0", "s1", "s2"}, ""},
      {"controls frequency stands for maf", 1, 0.35, 0, 0, {"s1"},
       "Deleting 2 SNPs failing maf frequency test (maf < 0.35).\n"},
      {"equal to the threshold stays", 1, 0.3, 0, 0, {"s0", "s1"},
       "Deleting 1 SNPs failing maf frequency test (maf < 0.3).\n"},
      {"population study uses all individuals", 2, 0.35, 0, 0, {"s0", "s1"},
       "Deleting 1 SNPs failing maf frequency test (maf < 0.35).\n"},
      {"cases threshold, overall one printed", 1, 0, 0.45, 0, {"s1"},
       "Deleting 2 SNPs failing maf frequency test (maf < 0).\n"},
      {"controls threshold", 1, 0, 0, 0.31, {"s1"},
       "Deleting 2 SNPs failing maf frequency test (maf < 0).\n"},
  };
  for (const MafCase& c : cases) {
    SCOPED_TRACE(c.name);
    studyType = c.study;
    mafThreshold = c.maf;
    mafThresholdCases = c.cases;
    mafThresholdControls = c.controls;
    addSnps(3);
    addCaseControlSet();
    const std::vector<snpRecord*> records = snps;  // s1 survives every case
    EXPECT_EQ(captured(filterMaf), c.message);
    EXPECT_EQ(snpNames(), c.kept);
    const snpRecord& s1 = *records[1];
    EXPECT_TRUE(std::isnan(s1.mafControls));
    EXPECT_DOUBLE_EQ(s1.mafCases, 0.5);
    if (c.study == 1) {
      EXPECT_TRUE(std::isnan(s1.maf));
    } else {
      EXPECT_DOUBLE_EQ(s1.maf, 0.5);
    }
    if (c.kept.front() == "s0") {
      EXPECT_DOUBLE_EQ(snps[0]->maf, c.study == 1 ? 0.3 : 0.45);
      EXPECT_DOUBLE_EQ(snps[0]->mafCases, 0.4);
      EXPECT_DOUBLE_EQ(snps[0]->mafControls, 0.3);
    }
    if (c.kept.size() == 3) {
      EXPECT_EQ(snps[2]->maf, 0.0);
      EXPECT_EQ(snps[2]->mafCases, 0.0);
    }
    freeDataSet();
  }
}

TEST_F(SnpFilters, MafCountsColumnsPastTheFirstWord) {
  const int columns = 70;
  const int people = 7;
  addSnps(columns);
  addPatternPeople(people);
  studyType = 2;
  EXPECT_EQ(captured(filterMaf), "");
  for (int j = 0; j < columns; ++j) {
    SCOPED_TRACE(j);
    int c1 = 0;
    int c2 = 0;
    for (int i = 0; i < people; ++i) {
      const unsigned code = patternCode(i, j);
      c1 += code == 0 ? 2 : code == 2 ? 1 : 0;
      c2 += code == 3 ? 2 : code == 2 ? 1 : 0;
    }
    const double expected = c1 + c2 == 0 ? NAN : std::min(c1, c2) / double(c1 + c2);
    if (std::isnan(expected)) {
      EXPECT_TRUE(std::isnan(snps[j]->maf));
    } else {
      EXPECT_DOUBLE_EQ(snps[j]->maf, expected);
    }
  }
}

TEST_F(SnpFilters, MafDebugLineShowsTheThresholds) {
  debugLevel = 1;
  mafThreshold = 0.01;
  mafThresholdCases = 0.02;
  mafThresholdControls = 0.125;
  EXPECT_EQ(captured(filterMaf),
            "Filtering SNPs based on maf = 0.01  maf in cases = 0.02 maf in controls = 0.125\n");
}

TEST_F(SnpFilters, ExcludeAndExtractLists) {
  struct ListCase {
    const char* name;
    std::string exclude, extract;  // file contents; empty: option not given
    std::vector<std::string> kept;
    std::string counts;
  };
  // SNPs s0 .. s4 and two named "dup".
  const ListCase cases[] = {
      {"exclude, names twice and shared", "s1 s1\r\ndup\nnothere\n", "",
       {"s0", "s2", "s3", "s4"}, "3 SNPs were excluded from file EX\n"},
      {"extract only", "", "s0\ts3 dup\r\n", {"s0", "s3", "dup", "dup"},
       "3 SNPs were deleted, not present in file IN\n"},
      {"both, counted in each", "s1 dup", "s0 s3 dup", {"s0", "s3"},
       "3 SNPs were excluded from file EX\n3 SNPs were deleted, not present in file IN\n"},
      {"lists that remove nothing", "zzz", "s0 s1 s2 s3 s4 dup",
       {"s0", "s1", "s2", "s3", "s4", "dup", "dup"}, ""},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.name);
    addSnps(7);
    snps[5]->name = snps[6]->name = "dup";
    addPatternPeople(3);
    excludeFileName = c.exclude.empty() ? "" : listFile("exclude.txt", c.exclude);
    extractFileName = c.extract.empty() ? "" : listFile("extract.txt", c.extract);
    std::string expected;
    if (!c.exclude.empty()) {
      expected += "Reading list of SNPs to exclude from file " + excludeFileName + "\n";
    }
    if (!c.extract.empty()) {
      expected += "Reading list of SNPs to keep from file " + extractFileName + "\n";
    }
    std::string counts = c.counts;
    if (auto at = counts.find("EX"); at != std::string::npos) counts.replace(at, 2, excludeFileName);
    if (auto at = counts.find("IN"); at != std::string::npos) counts.replace(at, 2, extractFileName);
    EXPECT_EQ(captured(applySnpLists), expected + counts);
    EXPECT_EQ(snpNames(), c.kept);
    EXPECT_EQ(nSnps, static_cast<int>(c.kept.size()));
    freeDataSet();
  }
}

TEST_F(SnpFilters, UnopenableListsAreFatal) {
  const std::string present = listFile("exclude.txt", "s0\n");
  // A directory opens for reading and reads as an empty list: it gets the missing-file error.
  const std::string folder = directory.file("folder");
  std::filesystem::create_directory(folder);
  for (const std::string& absent : {directory.file("absent.txt"), folder}) {
    SCOPED_TRACE(absent);
    excludeFileName = absent;
    extractFileName.clear();
    EXPECT_EXIT(
        {
          dup2(STDERR_FILENO, STDOUT_FILENO);
          applySnpLists();
        },
        testing::ExitedWithCode(1),
        "^Reading list of SNPs to exclude from file " + absent + "\nError: Cannot open file " +
            absent + "\n$");
    excludeFileName = present;
    extractFileName = absent;
    EXPECT_EXIT(
        {
          dup2(STDERR_FILENO, STDOUT_FILENO);
          applySnpLists();
        },
        testing::ExitedWithCode(1),
        "^Reading list of SNPs to exclude from file " + present +
            "\nReading list of SNPs to keep from file " + absent + "\nError: Cannot open file " +
            absent + "\n$");
  }
}

}  // namespace
