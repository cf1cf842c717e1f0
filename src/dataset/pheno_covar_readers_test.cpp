#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "dataset/covariates.h"
#include "dataset/dataset.h"
#include "run/settings.h"
#include "test_support/dataset_builder.h"
#include "test_support/fatal_output.h"
#include "test_support/scratch_files.h"
#include "test_support/settings_snapshot.h"
#include "association/plink_runner.h"

namespace {

// Each test runs in a fresh directory, since the covariate reader writes model.txt there.
class PhenoCovarReaders : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(directory.made()); }
  void TearDown() override {
    freeDataSet();
    covariateHeaderLine.clear();
  }
  // No SNPs are read here, so an individual has the genotype words of zero columns.
  void addPerson(const std::string& family, const std::string& id, double phenotype) {
    individualRecord* person = testsupport::addIndividual(phenotype);
    person->familyId = family;
    person->individualId = id;
  }
  std::string readPhenotypes(const std::string& text) {
    testsupport::writeWholeFile("pheno.txt", text);
    testing::internal::CaptureStdout();
    plink.readAlternativePhenotype("pheno.txt");
    return testing::internal::GetCapturedStdout();
  }
  std::string readCovariates(const std::string& text) {
    testsupport::writeWholeFile("cov.txt", text);
    testing::internal::CaptureStdout();
    plink.readCovariateFile("cov.txt");
    return testing::internal::GetCapturedStdout();
  }

  testsupport::scratchWorkingDirectory directory{"zuq-pheno"};
};

TEST_F(PhenoCovarReaders, PhenotypeFileReplacesEveryPhenotype) {
  const std::string longId(5000, 'q');
  addPerson("a", "1", 1);
  addPerson("b", "2", 1);
  addPerson("c", "3", 1);
  addPerson("d", "4", 1);
  addPerson("e", "5", 1);
  addPerson("f", "6", 1);
  addPerson("g", "7", 1);  // named on no line
  addPerson(longId, longId, 1);
  const std::string output = readPhenotypes(
      "FID IID PHENO\n"
      "a 1 2 extra words\n"
      "b 2\n"                 // only the ids
      "c 3 -9\n"              // the missing-phenotype code
      "d 4 case\n"            // no number
      "e 5 1\n"
      "zz 99 2\n"             // unknown individual
      "lonely\n"
      "\n"
      "f 6 1.5\r\n"           // Windows line end
      "e 5 2\n"               // the last line wins
      "\t" + longId + "  " + longId + " 1\n");
  EXPECT_EQ(output,
            "Reading alternative phenotype from file pheno.txt\n"
            "Read alternative phenotype for 4 individuals\n"
            "Warning: 4 individuals with no phenotype.\n");
  const double expected[] = {2, missingValue, missingValue, missingValue, 2, 1.5, missingValue, 1};
  for (int i = 0; i < nIndividuals; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(individuals[i]->phenotype, expected[i]);
  }
}

TEST_F(PhenoCovarReaders, PhenotypeFileNamingNobodyLeavesAllMissing) {
  addPerson("a", "1", 2);
  addPerson("b", "2", 1);
  EXPECT_EQ(readPhenotypes("x y 1\n"),
            "Reading alternative phenotype from file pheno.txt\n"
            "Read alternative phenotype for 0 individuals\n"
            "Warning: 2 individuals with no phenotype.\n");
  EXPECT_EQ(individuals[0]->phenotype, missingValue);
  EXPECT_EQ(individuals[1]->phenotype, missingValue);
}

TEST_F(PhenoCovarReaders, SharedIdKeyBelongsToTheLaterIndividual) {
  addPerson("a", "1", 2);
  addPerson("a", "1", 2);
  addPerson("b", "2", 2);
  EXPECT_EQ(readPhenotypes("a 1 1\nb 2 1\n"),
            "Reading alternative phenotype from file pheno.txt\n"
            "Read alternative phenotype for 2 individuals\n"
            "Warning: 1 individuals with no phenotype.\n");
  EXPECT_EQ(individuals[0]->phenotype, missingValue);
  EXPECT_EQ(individuals[1]->phenotype, 1.0);
}

TEST_F(PhenoCovarReaders, MissingPhenotypeCodeFollowsTheSetting) {
  {
    testsupport::settingsSnapshot settings;
    missingPhenotype = "0";
    addPerson("a", "1", 2);
    addPerson("b", "2", 2);
    readPhenotypes("a 1 0\nb 2 -9\n");
  }
  EXPECT_EQ(individuals[0]->phenotype, missingValue);
  EXPECT_EQ(individuals[1]->phenotype, -9.0);
}

TEST_F(PhenoCovarReaders, UnopenableFilesAreFatal) {
  // A directory opens for reading and reads as empty: it gets the error of a missing file.
  std::filesystem::create_directory("folder");
  for (const std::string name : {"absent.txt", "folder"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(testsupport::fatalOutput(directory,
                                       [&] { plink.readAlternativePhenotype(name); }),
              "Reading alternative phenotype from file " + name + "\nError: Cannot read file " +
                  name + "\n");
    EXPECT_EQ(testsupport::fatalOutput(directory, [&] { plink.readCovariateFile(name); }),
              "Reading covariate file " + name + "\nError: Cannot open covariates file " + name +
                  "\n");
  }
}

TEST_F(PhenoCovarReaders, CovariateFileWithHeaderUnknownAndMissingIndividuals) {
  addPerson("a", "1", 2);
  addPerson("b", "2", 1.5);
  addPerson("c", "3", missingValue);
  addPerson("d", "4", 1);
  const std::string output = readCovariates(
      "FID IID age bmi\r\n"
      "a 1 30 22.5\r\n"
      "zz 9 1 2\n"
      "b 2 -9 abc\n"
      "\n"
      "c 3 1.23456789 1e-7\n");
  EXPECT_EQ(output,
            "Reading covariate file cov.txt\n"
            "Covariates header line: FID IID age bmi\n"
            "Warning: Individual (zz,9) present in covariates file does not appear in genotype "
            "data.\n"
            "Number of covariates: 2\n"
            "Warning: Cannot find covariates for individual d,4\n");
  EXPECT_EQ(covariateHeaderLine, "FID IID age bmi");
  EXPECT_EQ(individuals[0]->covariates, (std::vector<double>{30, 22.5}));
  EXPECT_EQ(individuals[1]->covariates, (std::vector<double>{missingValue, missingValue}));
  EXPECT_EQ(individuals[2]->covariates, (std::vector<double>{1.23456789, 1e-7}));
  EXPECT_EQ(individuals[3]->covariates, (std::vector<double>{missingValue, missingValue}));
  EXPECT_EQ(testsupport::readWholeFile("model.txt"),
            "a 1 2\t2 ~ G 30 22.5 \n"
            "b 2 2\t1.5 ~ G NA NA \n"
            "c 3 2\tNA ~ G 1.23457 1e-07 \n"
            "d 4 2\t1 ~ G NA NA \n");
}

TEST_F(PhenoCovarReaders, OnlyAFirstLineNamingNobodyIsTheHeader) {
  struct HeaderCase {
    const char* name;
    std::string file;
    std::string header;
    std::string messages;  // between the first line of output and the covariate count
  };
  const HeaderCase cases[] = {
      {"data line first", "a 1 5\nzz 9 6\n", "",
       "Warning: Individual (zz,9) present in covariates file does not appear in genotype "
       "data.\n"},
      {"short first line still counts", "x\nzz 9 6\na 1 5\n", "",
       "Warning: Individual (zz,9) present in covariates file does not appear in genotype "
       "data.\n"},
      {"unknown first line is the header", "zz 9 h\na 1 5\n", "zz 9 h",
       "Covariates header line: zz 9 h\n"},
      {"unknown data line first is lost as header", "  zz   9 6\t\na 1 5\n", "  zz   9 6\t",
       "Covariates header line:   zz   9 6\t\n"},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    addPerson("a", "1", 2);
    EXPECT_EQ(readCovariates(c.file),
              "Reading covariate file cov.txt\n" + c.messages + "Number of covariates: 1\n");
    EXPECT_EQ(covariateHeaderLine, c.header);
    EXPECT_EQ(individuals[0]->covariates, std::vector<double>{5});
    freeDataSet();
    covariateHeaderLine.clear();
  }
}

TEST_F(PhenoCovarReaders, HeaderOnlyGivesNoCovariates) {
  addPerson("a", "1", 2);
  addPerson("b", "2", 1);
  EXPECT_EQ(readCovariates("FID IID\n"),
            "Reading covariate file cov.txt\n"
            "Covariates header line: FID IID\n"
            "Number of covariates: 0\n"
            "Warning: Cannot find covariates for individual a,1\n"
            "Warning: Cannot find covariates for individual b,2\n");
  EXPECT_TRUE(individuals[0]->covariates.empty());
  EXPECT_EQ(testsupport::readWholeFile("model.txt"), "a 1 0\t2 ~ G \nb 2 0\t1 ~ G \n");
}

// Every individual carries the file's number of covariates, so a fit over any list of them has
// the same parameters: a line with another count is taken as all missing, a repeated individual
// keeps its last line.
TEST_F(PhenoCovarReaders, EveryIndividualGetsTheFilesNumberOfCovariates) {
  addPerson("a", "1", 2);
  addPerson("b", "2", 1);
  addPerson("c", "3", 1);
  addPerson("d", "4", 2);
  addPerson("e", "5", 2);
  const std::string output =
      readCovariates("a 1 1 2\nb 2 3\na 1 4 5\nc 3 6 7 8\nd 4 -9 9\n");
  EXPECT_EQ(output,
            "Reading covariate file cov.txt\n"
            "Warning: Individual (a,1) appears more than once in covariates file; its last line "
            "is used.\n"
            "Number of covariates: 2\n"
            "Warning: Individual (b,2) has 1 covariate values in covariates file, not 2; its "
            "covariates are taken as missing.\n"
            "Warning: Individual (c,3) has 3 covariate values in covariates file, not 2; its "
            "covariates are taken as missing.\n"
            "Warning: Cannot find covariates for individual e,5\n");
  EXPECT_EQ(covariateHeaderLine, "");
  const std::vector<double> expected[] = {{4, 5},
                                          {missingValue, missingValue},
                                          {missingValue, missingValue},
                                          {missingValue, 9},
                                          {missingValue, missingValue}};
  for (int i = 0; i < nIndividuals; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(individuals[i]->covariates, expected[i]);
  }
  EXPECT_EQ(testsupport::readWholeFile("model.txt"),
            "a 1 2\t2 ~ G 4 5 \nb 2 2\t1 ~ G NA NA \nc 3 2\t1 ~ G NA NA \nd 4 2\t2 ~ G NA 9 \n"
            "e 5 2\t2 ~ G NA NA \n");
}

// The number of covariates is the one most lines give, so a short first line does not set it;
// on a tie the earliest individual's line decides.
TEST_F(PhenoCovarReaders, TheCommonestValueCountIsTheNumberOfCovariates) {
  struct countCase {
    const char* file;
    int count;
  };
  const countCase cases[] = {
      {"FID IID x y\na 1 7\nb 2 1 2\nc 3 3 4\n", 2},
      {"a 1 1 2 3\nb 2 1 2\nc 3 3 4\n", 2},
      {"a 1 1\nb 2 1 2\nc 3 3 4\nd 4 5\n", 1},  // a tie: a's line is the earliest
      {"c 3 1 2\nb 2 1\n", 1},                   // individual order, not line order
      {"FID IID x y\n", 0},
  };
  for (const countCase& c : cases) {
    SCOPED_TRACE(c.file);
    addPerson("a", "1", 2);
    addPerson("b", "2", 1);
    addPerson("c", "3", 1);
    addPerson("d", "4", 1);
    const std::string output = readCovariates(c.file);
    EXPECT_NE(output.find("Number of covariates: " + std::to_string(c.count) + "\n"),
              std::string::npos)
        << output;
    for (const individualRecord* person : individuals) {
      EXPECT_EQ(person->covariates.size(), static_cast<size_t>(c.count));
    }
    freeDataSet();
    covariateHeaderLine.clear();
  }
}

// What the "%lf" conversion accepts besides numbers: not-a-number and infinities in any
// spelling, and values too large for a double, are missing in both files.
TEST_F(PhenoCovarReaders, NonFiniteValuesAreMissing) {
  struct valueCase {
    const char* text;
    double value;
  };
  const valueCase cases[] = {
      {"nan", missingValue},      {"NaN", missingValue},      {"-nan", missingValue},
      {"nan(0x1)", missingValue}, {"inf", missingValue},      {"-INF", missingValue},
      {"Infinity", missingValue}, {"+infinity", missingValue}, {"1e999", missingValue},
      {"-1e999", missingValue},   {"1.5", 1.5},               {"1e300", 1e300},
      {"infant", missingValue},   {"0x10", 16},
  };
  std::string phenotypes;
  std::string covariates = "FID IID x\n";
  int i = 0;
  for (const valueCase& c : cases) {
    const std::string id = std::to_string(i++);
    addPerson("f", id, 2);
    phenotypes += "f " + id + " " + c.text + "\n";
    covariates += "f " + id + " " + c.text + "\n";
  }
  readPhenotypes(phenotypes);
  readCovariates(covariates);
  for (size_t k = 0; k < std::size(cases); ++k) {
    SCOPED_TRACE(cases[k].text);
    EXPECT_EQ(individuals[k]->phenotype, cases[k].value);
    EXPECT_EQ(individuals[k]->covariates, std::vector<double>{cases[k].value});
  }
}

// --covar-number / --covar-name keep the chosen columns in file order, for every individual;
// the header handed on to plink names those columns only, and plink is given no selection.
TEST_F(PhenoCovarReaders, CovariateSelectionKeepsTheChosenColumns) {
  struct selectionCase {
    const char* file;
    const char* selection;
    bool byNumber;
    std::string header;
    std::string used;
    std::vector<double> first;
  };
  const selectionCase cases[] = {
      {"FID IID age grp bmi\na 1 30 1 22\n", "bmi,age", false, "FID IID age bmi",
       "Using 2 of 3 covariates: age bmi\n", {30, 22}},
      {"FID IID age grp bmi\na 1 30 1 22\n", "2-3", true, "FID IID grp bmi",
       "Using 2 of 3 covariates: grp bmi\n", {1, 22}},
      {"a 1 30 1 22\n", "3", true, "", "Using 1 of 3 covariates: 3\n", {22}},
  };
  for (const selectionCase& c : cases) {
    SCOPED_TRACE(c.selection);
    testsupport::settingsSnapshot settings;
    covarSelection = c.selection;
    covarNumberGiven = c.byNumber;
    plinkCovarArgs = std::string(c.byNumber ? "--covar-number " : "--covar-name ") + c.selection;
    addPerson("a", "1", 2);
    addPerson("b", "2", 1);  // no line: missing in every chosen column
    const std::string output = readCovariates(c.file);
    EXPECT_NE(output.find("Number of covariates: 3\nWarning: Cannot find covariates for "
                          "individual b,2\n" + c.used),
              std::string::npos)
        << output;
    EXPECT_EQ(covariateHeaderLine, c.header);
    EXPECT_EQ(plinkCovarArgs, "");
    EXPECT_EQ(individuals[0]->covariates, c.first);
    EXPECT_EQ(individuals[1]->covariates, std::vector<double>(c.first.size(), missingValue));
    freeDataSet();
    covariateHeaderLine.clear();
  }
}

TEST_F(PhenoCovarReaders, SelectionNamingNoColumnIsFatal) {
  struct refusedCase {
    const char* file;
    const char* selection;
    bool byNumber;
    std::string error;
  };
  const refusedCase cases[] = {
      {"FID IID age grp\na 1 30 1\n", "AGE", false,
       "Error: --covar-name AGE: \"AGE\" is not a covariate name of the header line. "
       "(covariates file cov.txt)\n"},
      {"a 1 30 1\n", "age", false,
       "Error: --covar-name age: the covariates file has no header line naming its 2 "
       "covariates. (covariates file cov.txt)\n"},
      {"FID IID age grp\na 1 30 1\n", "3", true,
       "Error: --covar-number 3: \"3\" is not a covariate number from 1 to 2. (covariates file "
       "cov.txt)\n"},
  };
  for (const refusedCase& c : cases) {
    SCOPED_TRACE(c.selection);
    testsupport::settingsSnapshot settings;
    covarSelection = c.selection;
    covarNumberGiven = c.byNumber;
    addPerson("a", "1", 2);
    testsupport::writeWholeFile("cov.txt", c.file);
    const std::string out =
        testsupport::fatalOutput(directory, [] { plink.readCovariateFile("cov.txt"); });
    ASSERT_GE(out.size(), c.error.size()) << out;
    EXPECT_EQ(out.substr(out.size() - c.error.size()), c.error);
    freeDataSet();
  }
}

TEST_F(PhenoCovarReaders, LongIdsAndFieldsAreReadWhole) {
  const std::string longId(20000, 'i');
  const std::string longValue = "1." + std::string(20000, '5');
  addPerson(longId, "x" + longId, 2);
  const std::string output = readCovariates(longId + " x" + longId + " " + longValue + "\n" +
                                            longId + " y" + longId + " 1\n");
  EXPECT_EQ(output,
            "Reading covariate file cov.txt\n"
            "Warning: Individual (" + longId + ",y" + longId +
                ") present in covariates file does not appear in genotype data.\n"
            "Number of covariates: 1\n");
  ASSERT_EQ(individuals[0]->covariates.size(), 1u);
  EXPECT_DOUBLE_EQ(individuals[0]->covariates[0], 1.5555555555555556);
}

}  // namespace
