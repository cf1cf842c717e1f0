#include "bootstrap/results_writers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bootstrap/analysis_flow.h"
#include "bootstrap/confidence_intervals.h"
#include "bootstrap/level0.h"
#include "bootstrap/level_test_data.h"
#include "bootstrap/result_records.h"
#include "run/settings.h"
#include "test_support/bootstrap_snapshot.h"
#include "test_support/fatal_output.h"
#include "test_support/scratch_files.h"
#include "test_support/settings_snapshot.h"

namespace {

using testsupport::readWholeFile;

// Two significant ranks: rs1 with every value present, rs22 with a missing MAF, a missing naive
// estimate, Uboot truncated to 0 and no interval. rs5 is not significant.
class WriterFixture : public testing::Test {
 protected:
  void SetUp() override {
    snpRecord* a = addSnp("rs1", 1, 1000, 0.25, 1.234e-5);
    snpRecord* b = addSnp("rs22", 12, 123456, missingValue, 0.0412);
    snpRecord* c = addSnp("rs5", 3, 77, 0.5, missingValue);
    a->sigCount = 3;
    b->sigCount = 1;
    c->sigCount = 0;
    naiveResults = {naive(a, 1.234e-5, std::log(2.0), 'A'), naive(b, 0.0412, missingValue, 'G')};
    nSig = 2;
    uboot = {0.5, 0.0};
    ciLower = {0.1, missingValue};
    ciUpper = {1.2, missingValue};
    studyType = 1;
    logScale = 0;
    debugLevel = 0;
    replicatesSeen = 0;
    outFileName = "out.zuq";
  }
  void TearDown() override { snps.clear(); }  // the records are owned here
  snpRecord* addSnp(const std::string& name, int chromosome, int position, double maf,
                    double naiveP) {
    owned_.push_back(std::make_unique<snpRecord>());
    snpRecord* snp = owned_.back().get();
    snp->name = name;
    snp->index = static_cast<int32_t>(snps.size());
    snp->chromosome = chromosome;
    snp->position = position;
    snp->maf = maf;
    snp->naiveP = naiveP;
    snps.push_back(snp);
    return snp;
  }
  static resultRecord naive(snpRecord* snp, double p, double un, char allele) {
    resultRecord r;
    r.snp = snp;
    r.p = p;
    r.un = un;
    r.alleleUn = allele;
    return r;
  }

  testsupport::settingsSnapshot settings_;
  testsupport::bootstrapSnapshot results_;
  testsupport::scratchWorkingDirectory directory_{"zuq-writers"};
  std::vector<std::unique_ptr<snpRecord>> owned_;
};

const std::string finishedLines =
    "\n\nAnalysis finished.\nThere were 2 significant SNPs in original dataset.\n\n";

struct tableCase {
  const char* what;
  int studyType, logScale, debugLevel, replicatesSeen;
  std::string table;
};

TEST_F(WriterFixture, ResultsTableOnScreenAndInTheOutputFile) {
  // Cells are written one per literal: every cell is padded to its column's width and followed
  // by two blanks; column 0 is left-aligned.
  const tableCase cases[] = {
      {"odds-ratio scale", 1, 0, 0, 0,
       "CHR  " "   SNP  " "    BP  " "  MAF  " "A1  " "        P  " "     OR  " "  UBOOT  "
       "  CI_L  " "  CI_U  " "\n"
       "1    " "   rs1  " "  1000  " "0.250  " " A  " " 1.23e-05  " " 2.0000  " " 1.6487  "
       "1.1052  " "3.3201  " "\n"
       "12   " "  rs22  " "123456  " "   NA  " " G  " "   0.0412  " "     NA  " " 1.0000  "
       "    NA  " "    NA  " "\n"},
      {"log scale", 1, 1, 0, 0,
       "CHR  " "   SNP  " "    BP  " "  MAF  " "A1  " "        P  " "  LOGOR  " "  UBOOT  "
       "  CI_L  " "  CI_U  " "\n"
       "1    " "   rs1  " "  1000  " "0.250  " " A  " " 1.23e-05  " " 0.6931  " " 0.5000  "
       "0.1000  " "1.2000  " "\n"
       "12   " "  rs22  " "123456  " "   NA  " " G  " "   0.0412  " "     NA  " " 0.0000  "
       "    NA  " "    NA  " "\n"},
      {"quantitative trait: BETA and no exponential whatever --log says", 2, 0, 0, 0,
       "CHR  " "   SNP  " "    BP  " "  MAF  " "A1  " "        P  " "  BETA  " "  UBOOT  "
       "  CI_L  " "  CI_U  " "\n"
       "1    " "   rs1  " "  1000  " "0.250  " " A  " " 1.23e-05  " "0.6931  " " 0.5000  "
       "0.1000  " "1.2000  " "\n"
       "12   " "  rs22  " "123456  " "   NA  " " G  " "   0.0412  " "    NA  " " 0.0000  "
       "    NA  " "    NA  " "\n"},
      {"debug: PSIG column", 1, 1, 1, 4,
       "CHR  " "   SNP  " "    BP  " "  MAF  " "A1  " "        P  " "  LOGOR  " "  UBOOT  "
       "  CI_L  " "  CI_U  " " PSIG  " "\n"
       "1    " "   rs1  " "  1000  " "0.250  " " A  " " 1.23e-05  " " 0.6931  " " 0.5000  "
       "0.1000  " "1.2000  " "0.750  " "\n"
       "12   " "  rs22  " "123456  " "   NA  " " G  " "   0.0412  " "     NA  " " 0.0000  "
       "    NA  " "    NA  " "0.250  " "\n"},
      {"debug without an analysed resample: PSIG is NA", 1, 1, 1, 0,
       "CHR  " "   SNP  " "    BP  " "  MAF  " "A1  " "        P  " "  LOGOR  " "  UBOOT  "
       "  CI_L  " "  CI_U  " "PSIG  " "\n"
       "1    " "   rs1  " "  1000  " "0.250  " " A  " " 1.23e-05  " " 0.6931  " " 0.5000  "
       "0.1000  " "1.2000  " "  NA  " "\n"
       "12   " "  rs22  " "123456  " "   NA  " " G  " "   0.0412  " "     NA  " " 0.0000  "
       "    NA  " "    NA  " "  NA  " "\n"},
  };
  for (const tableCase& c : cases) {
    SCOPED_TRACE(c.what);
    studyType = c.studyType;
    logScale = c.logScale;
    debugLevel = c.debugLevel;
    replicatesSeen = c.replicatesSeen;
    std::filesystem::remove("psig.txt");
    testing::internal::CaptureStdout();
    writeResults();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), finishedLines + c.table);
    EXPECT_EQ(readWholeFile("out.zuq"), c.table);
    EXPECT_EQ(std::filesystem::exists("psig.txt"), c.debugLevel != 0);
  }
}

TEST_F(WriterFixture, PsigListsEverySnpByNaiveP) {
  debugLevel = 1;
  struct psigCase {
    int replicatesSeen;
    std::string expected;
  };
  const psigCase cases[] = {
      {4,
       "       rs1   1.23e-05 0.7500\n"
       "      rs22     0.0412 0.2500\n"
       "       rs5         NA 0.0000\n"},
      {0,
       "       rs1   1.23e-05 NA\n"
       "      rs22     0.0412 NA\n"
       "       rs5         NA NA\n"},
  };
  for (const psigCase& c : cases) {
    SCOPED_TRACE(c.replicatesSeen);
    replicatesSeen = c.replicatesSeen;
    testing::internal::CaptureStdout();
    writeResults();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(readWholeFile("psig.txt"), c.expected);
  }
}

TEST_F(WriterFixture, ResultsFileThatCannotBeCreatedEndsTheRunWithStatusOne) {
  struct unwritableCase {
    const char* what;
    std::string outName;
    void (*prepare)();
    std::string reason;
  };
  const unwritableCase cases[] = {
      {"missing directory", "no-such-directory/out.zuq", [] {}, "No such file or directory"},
      {"a directory of that name", "out.zuq", [] { std::filesystem::create_directory("out.zuq"); },
       "Is a directory"},
  };
  for (const unwritableCase& c : cases) {
    SCOPED_TRACE(c.what);
    c.prepare();
    outFileName = c.outName;
    const std::string out = testsupport::fatalOutput(directory_, writeResults);
    const std::string error =
        "Error: Cannot write results to file " + c.outName + " (" + c.reason + ").\n";
    ASSERT_GE(out.size(), error.size());
    EXPECT_EQ(out.substr(out.size() - error.size()), error);
    EXPECT_NE(out.find("  rs22  "), std::string::npos);  // the table still reached the screen
  }
}

TEST_F(WriterFixture, ResultsFileReplacesAnOldOne) {
  testsupport::writeWholeFile("out.zuq", std::string(5000, 'x'));
  testing::internal::CaptureStdout();
  writeResults();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(readWholeFile("out.zuq").find('x'), std::string::npos);
}

TEST_F(WriterFixture, StatisticsFileWithDashesForUnsetAlleles) {
  snps[0]->allele1 = 'A';
  snps[0]->allele2 = 'G';
  snps[0]->mafCases = 0.3;
  snps[0]->mafControls = 0.2;
  snps[1]->allele1 = 'C';
  snps[2]->maf = 0.0;
  snps[2]->mafCases = 0.0;
  snps[2]->mafControls = 0.0;
  testing::internal::CaptureStdout();
  writeStatistics();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Writing statistics to file 'zuq.stats' .\n");
  EXPECT_EQ(readWholeFile("zuq.stats"),
            "CHR  " "      SNP  " "    BP  " "A1  " "A2  " "  MAF  " "MAFCases  "
            "MAFControls  " "\n"
            "1    " "      rs1  " "  1000  " " A  " " G  " "0.250  " "   0.300  "
            "      0.200  " "\n"
            "12   " "     rs22  " "123456  " " C  " " -  " "   NA  " "      NA  "
            "         NA  " "\n"
            "3    " "      rs5  " "    77  " " -  " " -  " "0.000  " "   0.000  "
            "      0.000  " "\n");
}

// The whitespace-separated cells of line n (counted from 0) of a table.
std::vector<std::string> cellsOfLine(const std::string& table, int n) {
  std::istringstream lines(table);
  std::string line;
  for (int i = 0; i <= n; ++i) std::getline(lines, line);
  std::istringstream in(line);
  std::vector<std::string> cells;
  for (std::string cell; in >> cell;) cells.push_back(cell);
  return cells;
}

// The frequencies of a SNP without a single call are 0/0 (the MAF filter keeps such a SNP):
// NA, never nan; likewise in the results table, where an effect too large for exp is no number.
TEST_F(WriterFixture, ValuesThatAreNoNumberPrintNa) {
  const double nan = std::nan("");
  const double inf = HUGE_VAL;
  snps[0]->allele1 = 'A';
  snps[0]->allele2 = 'G';
  snps[0]->maf = nan;
  snps[0]->mafCases = -nan;
  snps[0]->mafControls = inf;
  testing::internal::CaptureStdout();
  writeStatistics();
  testing::internal::GetCapturedStdout();
  const auto statsRow = cellsOfLine(readWholeFile("zuq.stats"), 1);
  EXPECT_EQ(statsRow, (std::vector<std::string>{"1", "rs1", "1000", "A", "G", "NA", "NA", "NA"}));

  struct effectCase {
    const char* what;
    int logScale;
    double un, ubootValue, lower, upper;
    std::vector<std::string> cells;  // effect, UBOOT, CI_L, CI_U
  };
  const effectCase cases[] = {
      {"odds-ratio scale: exp overflows", 0, 800, -inf, nan, inf,
       {"NA", "NA", "NA", "NA"}},
      {"log scale", 1, nan, -inf, -nan, inf, {"NA", "NA", "NA", "NA"}},
  };
  for (const effectCase& c : cases) {
    SCOPED_TRACE(c.what);
    logScale = c.logScale;
    naiveResults[0].un = c.un;
    uboot[0] = c.ubootValue;
    ciLower[0] = c.lower;
    ciUpper[0] = c.upper;
    testing::internal::CaptureStdout();
    writeResults();
    testing::internal::GetCapturedStdout();
    const auto row = cellsOfLine(readWholeFile("out.zuq"), 1);
    ASSERT_EQ(row.size(), 10u);
    EXPECT_EQ(std::vector<std::string>(row.begin() + 6, row.end()), c.cells);
    EXPECT_EQ(row[3], "NA");  // the MAF of NaN
  }
}

TEST_F(WriterFixture, StatisticsFileThatCannotBeCreatedIsReported) {
  std::filesystem::create_directory("zuq.stats");  // a directory cannot be opened for writing
  testing::internal::CaptureStdout();
  writeStatistics();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Writing statistics to file 'zuq.stats' .\n"
            "Warning: Cannot write statistics to file zuq.stats (Is a directory).\n");
}

TEST_F(WriterFixture, PvalueListingWithHistogram) {
  std::vector<significanceRecord> records(3);
  records[0].p = 0.5;
  records[1].p = 1e-7;
  records[2].p = 0.25;
  writePvalueHistogram("pvalues", records);
  EXPECT_EQ(readWholeFile("pvalues"), "0 0.5\n1 1e-07\n2 0.25\n");
  const std::string histogram = readWholeFile("pvalues.hist");
  EXPECT_EQ(leveltest::countLines(histogram, ""), 200);
}

}  // namespace
