// plink's result files read back: hand-written files (handed over by a stand-in for plink) for
// the rows, the checks against the SNP list and every message; then runs of the real plink 1.07
// compared with the in-process tests.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <omp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "dataset/covariates.h"
#include "dataset/dataset.h"
#include "run/settings.h"
#include "test_support/dataset_builder.h"
#include "test_support/plink_oracle.h"
#include "test_support/required_tools.h"
#include "test_support/scratch_files.h"
#include "test_support/settings_snapshot.h"
#include "association/association_tests.h"
#include "association/logistic_model.h"
#include "association/plink_runner.h"
#include "association/test_records.h"

namespace {

using testsupport::printedDistance;
using testsupport::readLines;
using testsupport::writeWholeFile;

const double m = missingValue;
const std::string testData = std::string(ZUQ_SOURCE_DIR) + "/src/association/testdata/";
const std::string sortAdvice =
    "zuq input files should be sorted according to chr/bp. Please recode input file with plink "
    "(plink --recode) and run zuq again.";

// A POSIX extended expression that matches exactly the text.
std::string exactly(const std::string& text) {
  std::string expression = "^";
  for (char c : text) {
    if (std::strchr(".[]{}()\\*+?^$|", c) != nullptr) expression += '\\';
    expression += c;
  }
  return expression + "$";
}

// Runs the call in a child process and expects it to end with status 1 after printing exactly
// the message (or, with whatever came before, ending with it: plink's own chatter).
void expectFatal(const std::function<void()>& call, const std::string& message,
                 bool afterOtherOutput = false) {
  std::cout.flush();
  const std::string expression = exactly(message);
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        call();
      },
      testing::ExitedWithCode(1), afterOtherOutput ? expression.substr(1) : expression);
}

// ---------------------------------------------------------------------------------------------
// Result files as plink 1.07 lays them out.

std::string format(const char* layout, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* layout, ...) {
  char text[512];
  va_list values;
  va_start(values, layout);
  std::vsnprintf(text, sizeof text, layout, values);
  va_end(values);
  return text;
}

const std::string modelHeader =
    " CHR  SNP   A1   A2     TEST            AFF          UNAFF        CHISQ   DF            P\n";

std::string modelRow(const char* snp, const char* a1, const char* a2, const char* test,
                     const char* p) {
  const bool na = std::strcmp(p, "NA") == 0;
  return format("   1 %4s %4s %4s %8s %14s %14s %12s %4s %12s\n", snp, a1, a2, test, "8/21/28",
                "14/29/17", na ? "NA" : "5.532", na ? "NA" : "2", p);
}

// The five rows of one SNP; an empty a2 is the blank field of a SNP without typed genotypes.
std::string modelGroup(const char* snp, const char* a1, const char* a2, const char* genoP,
                       const char* trendP) {
  return modelRow(snp, a1, a2, "GENO", genoP) + modelRow(snp, a1, a2, "TREND", trendP) +
         modelRow(snp, a1, a2, "ALLELIC", "0.9") + modelRow(snp, a1, a2, "DOM", "0.8") +
         modelRow(snp, a1, a2, "REC", "0.7");
}

std::string regressionHeader(const char* effect) {
  return format(" CHR  SNP         BP   A1       TEST    NMISS %10s         STAT            P \n",
                effect);
}

std::string regressionRow(const char* snp, const char* a1, const char* test, const char* effect,
                          const char* p) {
  return format("   1 %4s %10d %4s %10s %8d %10s %12s %12s\n", snp, 1000, a1, test, 117, effect,
                "-2.195", p);
}

// A line without its line end.
std::string trimmed(const std::string& line) { return line.substr(0, line.size() - 1); }

// CHR SNP BP A1 and the values, each followed by a TAB.
std::string rPluginRow(const char* snp, const char* a1, const std::vector<std::string>& values) {
  std::string line = format("   1 %4s %10d %4s ", snp, 1000, a1);
  for (const std::string& value : values) line += value + "\t";
  return line + "\n";
}

// ---------------------------------------------------------------------------------------------
// A stand-in for plink: it logs its arguments one per line to plink.args and hands back, for
// its --out name O, every file O.<ext>.given prepared by the test as O.<ext>. It writes nothing
// else, and reports success whatever happened, as plink 1.07 does.
const char* const standInScript =
    "#!/bin/sh\n"
    "for a in \"$@\"; do printf '%s\\n' \"$a\" >> plink.args; done\n"
    "out=\n"
    "while [ $# -gt 0 ]; do [ \"$1\" = --out ] && out=$2; shift; done\n"
    "for f in \"$out\".*.given; do [ -e \"$f\" ] && cp \"$f\" \"${f%.given}\"; done\n"
    "exit 0\n";

class HandWrittenResults : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch.made());
    writeWholeFile("standin", standInScript);
    ASSERT_EQ(chmod("standin", 0755), 0);
    plink.executable = "./standin";
    for (const char* name : {"rs1", "rs2", "rs3"}) {
      testsupport::addSnp(name, 1, 1000 * static_cast<int>(snps.size() + 1));
    }
  }
  void TearDown() override { freeDataSet(); }

  // The result file that plink will "write" for the base name t.
  static void given(const std::string& extension, const std::string& text) {
    writeWholeFile("t" + extension + ".given", text);
  }

  testsupport::scratchWorkingDirectory scratch{"plink_results"};
  testsupport::settingsSnapshot settings;
};

// ---------------------------------------------------------------------------------------------
// .model

struct expectedSignificance {
  int snp;
  char allele;
  double trendP, genoP;
};

TEST_F(HandWrittenResults, ModelRowsBecomeOneRecordPerSnp) {
  struct modelCase {
    const char* what;
    std::string file;
    std::vector<expectedSignificance> records;
  };
  std::string longLine = modelRow("rs3", "G", "A", "TREND", "0.25");
  longLine.insert(longLine.size() - 1, " " + std::string(20000, 'x'));
  const modelCase cases[] = {
      {"plain rows",
       modelHeader + modelGroup("rs1", "T", "C", "0.06291", "0.02601") +
           modelGroup("rs2", "C", "T", "1", "1.234e-07") + modelGroup("rs3", "A", "G", "0", "0.5"),
       {{0, 'T', 0.02601, 0.06291}, {1, 'C', 1.234e-07, 1}, {2, 'A', 0.5, 0}}},
      {"GENO voided by the cell rule keeps the TREND p",
       modelHeader + modelGroup("rs1", "T", "C", "NA", "0.02601") +
           modelGroup("rs2", "C", "T", "NA", "NA") + modelGroup("rs3", "A", "G", "0.1", "NA"),
       {{0, 'T', 0.02601, m}, {1, 'C', m, m}, {2, 'A', m, 0.1}}},
      {"a SNP without typed genotypes: A2 left blank",
       modelHeader + modelGroup("rs1", "T", "C", "0.06291", "0.02601") +
           modelGroup("rs2", "0", "", "NA", "NA") + modelGroup("rs3", "A", "G", "0.1", "0.2"),
       {{0, 'T', 0.02601, 0.06291}, {1, '0', m, m}, {2, 'A', 0.2, 0.1}}},
      {"monomorphic SNP last, without typed genotypes: A2 blank",
       modelHeader + modelGroup("rs1", "T", "C", "0.06291", "0.02601") +
           modelGroup("rs2", "0", "C", "NA", "NA") + modelGroup("rs3", "0", "", "NA", "NA"),
       {{0, 'T', 0.02601, 0.06291}, {1, '0', m, m}, {2, '0', m, m}}},
      {"further columns and a line far longer than any buffer are read",
       modelHeader + modelGroup("rs1", "T", "C", "0.5 extra", "0.25 more columns") +
           modelGroup("rs2", "C", "T", "1", "1") + modelRow("rs3", "G", "A", "GENO", "0.5") +
           longLine,
       {{0, 'T', 0.25, 0.5}, {1, 'C', 1, 1}, {2, 'G', 0.25, 0.5}}},
      {"a group without GENO or TREND row has missing p",
       modelHeader + modelGroup("rs1", "T", "C", "0.5", "0.25") +
           modelRow("rs2", "C", "T", "ALLELIC", "0.3") + modelRow("rs3", "A", "G", "GENO", "0.1"),
       {{0, 'T', 0.25, 0.5}, {1, 'C', m, m}, {2, 'A', m, 0.1}}},
  };
  for (const modelCase& c : cases) {
    SCOPED_TRACE(c.what);
    given(".model", c.file);
    std::vector<significanceRecord> out(5);  // stale records must go
    plink.runPlinkModel("t", "t", out);
    ASSERT_EQ(out.size(), c.records.size());
    for (size_t k = 0; k < out.size(); ++k) {
      SCOPED_TRACE("record " + std::to_string(k));
      EXPECT_EQ(out[k].snp, snps[c.records[k].snp]);
      EXPECT_EQ(out[k].allele, c.records[k].allele);
      EXPECT_EQ(out[k].trendP, c.records[k].trendP);
      EXPECT_EQ(out[k].genoP, c.records[k].genoP);
      EXPECT_EQ(out[k].significant, 0);
      EXPECT_EQ(out[k].p, m);
    }
  }
}

TEST_F(HandWrittenResults, ModelFileThatDisagreesWithTheSnpListEndsTheRun) {
  struct failureCase {
    const char* what;
    std::string file;  // empty: plink wrote none
    std::string message;
  };
  const std::string rs1 = modelGroup("rs1", "T", "C", "0.5", "0.25");
  const std::string rs2 = modelGroup("rs2", "C", "T", "0.5", "0.25");
  const std::string rs3 = modelGroup("rs3", "A", "G", "0.5", "0.25");
  const std::string shortLine = "   1  rs2    C    T     GENO        8/21/28";
  const failureCase cases[] = {
      {"no file", "", "Error: Cannot open plink output file: t.model\n"},
      {"a line with too few columns", modelHeader + rs1 + shortLine + "\n" + rs3,
       "Error: Cannot read enough items from model file t.model line 6\nOffending line is: " +
           shortLine + "\n\n"},
      {"an empty line", modelHeader + rs1 + "\n" + rs2 + rs3,
       "Error: Cannot read enough items from model file t.model line 6\nOffending line is: \n\n"},
      {"the second SNP absent", modelHeader + rs1 + rs3,
       "Error: SNP's out of order on output file t.model, line 1 rs2\n" + sortAdvice + " \n"},
      {"two SNPs swapped", modelHeader + rs2 + rs1 + rs3,
       "Error: SNP's out of order on output file t.model, line 0 rs1\n" + sortAdvice + " \n"},
      {"more SNPs than the data set holds",
       modelHeader + rs1 + rs2 + rs3 + modelGroup("rs4", "A", "G", "0.5", "0.25"),
       "Error: SNP's out of order on output file t.model line 16 expected snp rs4\n" +
           sortAdvice + " \n"},
      {"the last two SNPs absent", modelHeader + rs1,
       "Error: Cannot read all full-model test results from plink (got 1 expected 3 )\n"
       "  output file was 't.model'\n"},
      {"a header and nothing else", modelHeader,
       "Error: Cannot read all full-model test results from plink (got 0 expected 3 )\n"
       "  output file was 't.model'\n"},
  };
  // A P that is no number from 0 to 1 would be read as 0 (significant) or as NaN: the file's
  // line (the header is line 1) and the row are named.
  struct badPCase {
    const char* test;
    const char* p;
    int line;
  };
  const badPCase badPs[] = {
      {"GENO", "abc", 7},  {"TREND", "1.5", 8},   {"TREND", "-0.01", 8}, {"GENO", "nan", 7},
      {"TREND", "inf", 8}, {"TREND", "0.2x", 8},  {"GENO", "-nan", 7},
  };
  for (const badPCase& c : badPs) {
    SCOPED_TRACE(std::string(c.test) + " P " + c.p);
    const char* goodP = std::strcmp(c.test, "GENO") == 0 ? "0.5" : "0.25";
    const std::string good = modelRow("rs2", "C", "T", c.test, goodP);
    const std::string bad = modelRow("rs2", "C", "T", c.test, c.p);
    std::string group = rs2;
    group.replace(group.find(good), good.size(), bad);
    given(".model", modelHeader + rs1 + group + rs3);
    expectFatal(
        [] {
          std::vector<significanceRecord> out;
          plink.runPlinkModel("t", "t", out);
        },
        "Error: P value \"" + std::string(c.p) + "\" in plink output file t.model line " +
            std::to_string(c.line) + " is not a number from 0 to 1\nOffending line is: " +
            bad.substr(0, bad.size() - 1) + "\n\n");
  }
  for (const failureCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove("t.model.given");
    if (!c.file.empty()) given(".model", c.file);
    expectFatal(
        [] {
          std::vector<significanceRecord> out;
          plink.runPlinkModel("t", "t", out);
        },
        c.message);
  }
}

// plink's full-model test leaves out the SNPs of Y (24) and MT (26), which sort last: their
// absence at the end only warns. Any other SNP missing at the end ends the run.
TEST_F(HandWrittenResults, ModelFileWithoutTrailingHaploidSnpsWarns) {
  struct haploidCase {
    const char* what;
    int chromosome2, chromosome3;
    int groups;  // SNPs in the file, from the first
    std::string warning;  // empty: the run ends
  };
  const haploidCase cases[] = {
      {"Y and MT absent", 24, 26, 1, "Warning:   2 SNPs were filtered based on maf.\n"},
      {"MT absent", 1, 26, 2, "Warning:   1 SNPs were filtered based on maf.\n"},
      {"an autosomal SNP absent before MT", 1, 26, 1, ""},
      {"an X SNP absent", 1, 23, 2, ""},
  };
  for (const haploidCase& c : cases) {
    SCOPED_TRACE(c.what);
    snps[1]->chromosome = c.chromosome2;
    snps[2]->chromosome = c.chromosome3;
    std::string file = modelHeader;
    for (int j = 0; j < c.groups; ++j) {
      file += modelGroup(snps[j]->name.c_str(), "T", "C", "0.5", "0.25");
    }
    given(".model", file);
    if (c.warning.empty()) {
      expectFatal(
          [] {
            std::vector<significanceRecord> out;
            plink.runPlinkModel("t", "t", out);
          },
          "Error: Cannot read all full-model test results from plink (got " +
              std::to_string(c.groups) + " expected 3 )\n  output file was 't.model'\n");
      continue;
    }
    std::vector<significanceRecord> out;
    testing::internal::CaptureStdout();
    plink.runPlinkModel("t", "t", out);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.warning);
    ASSERT_EQ(out.size(), static_cast<size_t>(c.groups));
    for (int j = 0; j < c.groups; ++j) EXPECT_EQ(out[j].snp, snps[j]);
  }
}

// A result left by an earlier run under the same name is not read when plink writes none.
TEST_F(HandWrittenResults, StaleResultFilesAreNeverRead) {
  const std::string rs = modelGroup("rs1", "T", "C", "0.5", "0.25") +
                         modelGroup("rs2", "T", "C", "0.5", "0.25") +
                         modelGroup("rs3", "T", "C", "0.5", "0.25");
  writeWholeFile("t.model", modelHeader + rs);
  expectFatal(
      [] {
        std::vector<significanceRecord> out;
        plink.runPlinkModel("t", "t", out);
      },
      "Error: Cannot open plink output file: t.model\n");
  std::string rows;
  for (const char* snp : {"rs1", "rs2", "rs3"}) rows += regressionRow(snp, "T", "ADD", "1", "1");
  writeWholeFile("t.assoc.logistic", regressionHeader("OR") + rows);
  expectFatal(
      [] {
        std::vector<estimateRecord> out;
        plink.runPlinkLogistic("t", out, snps);
      },
      "Cannot open plink output file: t.assoc.logistic\n");
  writeWholeFile("t.auto.R", rPluginRow("rs1", "T", {"0", "1"}));
  expectFatal(
      [] {
        std::vector<estimateRecord> out;
        plink.runPlinkRPlugin("t", out, snps, "s.R");
      },
      "Cannot open plink output file: t.auto.R\n");
}

// ---------------------------------------------------------------------------------------------
// .assoc.linear and .assoc.logistic

struct expectedEstimate {
  int snp;
  char allele;
  double effect, p;
};

void expectEstimates(const std::vector<estimateRecord>& out,
                     const std::vector<expectedEstimate>& expected) {
  ASSERT_EQ(out.size(), expected.size());
  for (size_t k = 0; k < out.size(); ++k) {
    SCOPED_TRACE("record " + std::to_string(k));
    EXPECT_EQ(out[k].snp, snps[expected[k].snp]);
    EXPECT_EQ(out[k].allele, expected[k].allele);
    if (expected[k].effect == m) {
      EXPECT_EQ(out[k].effect, m);
    } else {
      EXPECT_DOUBLE_EQ(out[k].effect, expected[k].effect);
    }
    EXPECT_EQ(out[k].p, expected[k].p);
  }
}

TEST_F(HandWrittenResults, RegressionAddRowsBecomeOneEstimatePerSnp) {
  struct regressionCase {
    const char* what;
    bool linear;
    std::string rows;
    std::vector<expectedEstimate> records;
  };
  const regressionCase cases[] = {
      {"logistic", false,
       regressionRow("rs1", "T", "ADD", "0.5596", "0.02818") +
           regressionRow("rs2", "C", "ADD", "NA", "NA") +
           regressionRow("rs3", "0", "ADD", "1", "1"),
       {{0, 'T', 0.5596, 0.02818}, {1, 'C', m, m}, {2, '0', 1, 1}}},
      {"logistic with covariates: only the ADD rows", false,
       regressionRow("rs1", "T", "ADD", "4.825", "2.367e-07") +
           regressionRow("rs1", "T", "age", "1.01", "0.5") +
           regressionRow("rs1", "T", "grp", "0.9", "0.4") +
           regressionRow("rs2", "C", "ADD", "0.6348", "0.2244") +
           regressionRow("rs2", "C", "ADDx", "7", "0.1") +
           regressionRow("rs2", "C", "grp", "0.9", "0.4") +
           regressionRow("rs3", "A", "ADD", "2", "NA") +
           regressionRow("rs3", "A", "age", "1.01", "0.5"),
       {{0, 'T', 4.825, 2.367e-07}, {1, 'C', 0.6348, 0.2244}, {2, 'A', 2, m}}},
      {"linear: the effect is e to the coefficient", true,
       regressionRow("rs1", "G", "ADD", "0", "0.5") +
           regressionRow("rs2", "A", "ADD", "NA", "0.3") +
           regressionRow("rs3", "C", "ADD", "-0.25", "NA"),
       {{0, 'G', 1, 0.5}, {1, 'A', m, 0.3}, {2, 'C', std::exp(-0.25), m}}},
      {"linear with covariates and further columns", true,
       regressionRow("rs1", "G", "ADD", "1.5", "0.01 x y") +
           regressionRow("rs1", "G", "COV1", "9", "0.5") +
           regressionRow("rs2", "A", "ADD", "-3e-2", "1e-300") +
           regressionRow("rs2", "A", "COV1", "9", "0.5") +
           regressionRow("rs3", "C", "ADD", "0.125", "1") +
           regressionRow("rs3", "C", "COV1", "9", "0.5"),
       {{0, 'G', std::exp(1.5), 0.01}, {1, 'A', std::exp(-0.03), 1e-300},
        {2, 'C', std::exp(0.125), 1}}},
  };
  for (const regressionCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove("t.assoc.linear.given");
    std::filesystem::remove("t.assoc.logistic.given");
    given(c.linear ? ".assoc.linear" : ".assoc.logistic",
          regressionHeader(c.linear ? "BETA" : "OR") + c.rows);
    std::vector<estimateRecord> out(4);
    if (c.linear) {
      plink.runPlinkLinear("t", out, snps);
    } else {
      plink.runPlinkLogistic("t", out, snps);
    }
    expectEstimates(out, c.records);
  }
}

TEST_F(HandWrittenResults, RegressionFileThatDisagreesWithTheSnpListEndsTheRun) {
  struct failureCase {
    const char* what;
    std::string rows;  // after the header; "-" means plink wrote no file
    std::string message;  // @ stands for the file name, K for the kind of regression
  };
  auto add = [](const char* snp) { return regressionRow(snp, "T", "ADD", "1.2", "0.3"); };
  const std::string shortLine = "   1  rs2       2000    T        ADD      117";
  const failureCase cases[] = {
      {"no file", "-", "Cannot open plink output file: @\n"},
      {"a line with too few columns (the header is line 1)",
       add("rs1") + shortLine + "\n" + add("rs3"),
       "Error: Cannot read enough items from output file @ line 3\nOffending line is: " +
           shortLine + "\n\n"},
      {"a SNP absent in the middle", add("rs1") + add("rs3"),
       "Error: SNP's out of order on output file @    line:1  expected:rs2  got: rs3\n" +
           sortAdvice + "\n"},
      {"two SNPs swapped", add("rs2") + add("rs1") + add("rs3"),
       "Error: SNP's out of order on output file @    line:0  expected:rs1  got: rs2\n" +
           sortAdvice + "\n"},
      {"more SNPs than asked for", add("rs1") + add("rs2") + add("rs3") + add("rs4"),
       "Error: Additional SNPs in output file: @!\n"},
      {"the last SNP absent", add("rs1") + add("rs2"),
       "Error: Cannot read all K test results from plink (got 2 expected 3 )\n"
       "  output file was '@'\n"},
      {"a P that is no number", add("rs1") + regressionRow("rs2", "T", "ADD", "1.2", "abc"),
       "Error: P value \"abc\" in plink output file @ line 3 is not a number from 0 to 1\n"
       "Offending line is: " + trimmed(regressionRow("rs2", "T", "ADD", "1.2", "abc")) + "\n\n"},
      {"a P above 1", add("rs1") + add("rs2") + regressionRow("rs3", "T", "ADD", "1.2", "1.01"),
       "Error: P value \"1.01\" in plink output file @ line 4 is not a number from 0 to 1\n"
       "Offending line is: " + trimmed(regressionRow("rs3", "T", "ADD", "1.2", "1.01")) +
           "\n\n"},
      {"a P below 0", regressionRow("rs1", "T", "ADD", "1.2", "-1e-9"),
       "Error: P value \"-1e-9\" in plink output file @ line 2 is not a number from 0 to 1\n"
       "Offending line is: " + trimmed(regressionRow("rs1", "T", "ADD", "1.2", "-1e-9")) +
           "\n\n"},
      {"a P of nan", regressionRow("rs1", "T", "ADD", "1.2", "nan"),
       "Error: P value \"nan\" in plink output file @ line 2 is not a number from 0 to 1\n"
       "Offending line is: " + trimmed(regressionRow("rs1", "T", "ADD", "1.2", "nan")) +
           "\n\n"},
  };
  for (bool linear : {true, false}) {
    const std::string fileName = linear ? "t.assoc.linear" : "t.assoc.logistic";
    for (const failureCase& c : cases) {
      SCOPED_TRACE(std::string(linear ? "linear: " : "logistic: ") + c.what);
      std::filesystem::remove(fileName + ".given");
      if (c.rows != "-") writeWholeFile(fileName + ".given", regressionHeader("X") + c.rows);
      std::string message = c.message;
      for (size_t at; (at = message.find('@')) != std::string::npos;) {
        message.replace(at, 1, fileName);
      }
      if (const size_t at = message.find(" K "); at != std::string::npos) {
        message.replace(at, 3, linear ? " linear " : " logistic ");
      }
      expectFatal(
          [linear] {
            std::vector<estimateRecord> out;
            if (linear) {
              plink.runPlinkLinear("t", out, snps);
            } else {
              plink.runPlinkLogistic("t", out, snps);
            }
          },
          message);
    }
  }
}

// plink 1.07 runs --logistic when asked for --linear on a 1/2 phenotype, and says nothing.
TEST_F(HandWrittenResults, LinearRunThatWroteALogisticTableEndsTheRun) {
  std::string rows;
  for (const char* snp : {"rs1", "rs2", "rs3"}) rows += regressionRow(snp, "T", "ADD", "1", "1");
  given(".assoc.logistic", regressionHeader("OR") + rows);
  expectFatal(
      [] {
        std::vector<estimateRecord> out;
        plink.runPlinkLinear("t", out, snps);
      },
      "Cannot open plink output file: t.assoc.linear\n");
}

// ---------------------------------------------------------------------------------------------
// .auto.R

TEST_F(HandWrittenResults, RPluginRowsBecomeOneEstimatePerSnp) {
  struct rCase {
    const char* what;
    std::string file;
    std::vector<expectedEstimate> records;
  };
  const rCase cases[] = {
      {"plain rows",
       rPluginRow("rs1", "T", {"-0.580445", "0.0281762"}) +
           rPluginRow("rs2", "C", {"0", "1"}) + rPluginRow("rs3", "A", {"2.5", "0"}),
       {{0, 'T', std::exp(-0.580445), 0.0281762}, {1, 'C', 1, 1}, {2, 'A', std::exp(2.5), 0}}},
      {"NA in the effect or the p voids both",
       rPluginRow("rs1", "T", {"NA", "0.5"}) + rPluginRow("rs2", "C", {"0.3", "NA"}) +
           rPluginRow("rs3", "A", {"NA", "NA"}),
       {{0, 'T', m, m}, {1, 'C', m, m}, {2, 'A', m, m}}},
      {"further values are ignored",
       rPluginRow("rs1", "T", {"0.1", "0.2", "0.3"}) + rPluginRow("rs2", "C", {"1", "1", "x"}) +
           rPluginRow("rs3", "A", {"-1", "0.5", "7", "8"}),
       {{0, 'T', std::exp(0.1), 0.2}, {1, 'C', std::exp(1), 1}, {2, 'A', std::exp(-1), 0.5}}},
  };
  for (const rCase& c : cases) {
    SCOPED_TRACE(c.what);
    given(".auto.R", c.file);
    std::vector<estimateRecord> out(4);
    testing::internal::CaptureStdout();
    plink.runPlinkRPlugin("t", out, snps, "s.R");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    expectEstimates(out, c.records);
  }
}

TEST_F(HandWrittenResults, RPluginEchoesEachRowWithDebug) {
  debugLevel = 2;
  given(".auto.R", rPluginRow("rs1", "T", {"-0.5", "0.25"}) +
                       rPluginRow("rs2", "C", {"NA", "NA"}) + rPluginRow("rs3", "A", {"1", "1"}));
  std::vector<estimateRecord> out;
  testing::internal::CaptureStdout();
  plink.runPlinkRPlugin("t", out, snps, "s.R");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "rs1 T -0.5 0.25\nrs2 C NA NA\nrs3 A 1 1\n");
  EXPECT_EQ(out.size(), 3u);
}

TEST_F(HandWrittenResults, RPluginFileThatDisagreesWithTheSnpListEndsTheRun) {
  struct failureCase {
    const char* what;
    std::string file;  // "-" means plink wrote none
    std::string message;
  };
  auto row = [](const char* snp) { return rPluginRow(snp, "T", {"0.5", "0.25"}); };
  const std::string noRserve = "   1  rs1       1000    T NA";
  std::string oneValue = rPluginRow("rs2", "T", {"0.5"});
  oneValue.pop_back();  // the line end
  const failureCase cases[] = {
      {"no file", "-", "Cannot open plink output file: t.auto.R\n"},
      {"a header line is not a row", "CHR SNP BP A1 V P\n" + row("rs1"),
       "Error: Cannot read enough items from output file t.auto.R line 2\n"
       "Offending line is: CHR SNP BP A1 V P\n\n"},
      {"a row with one value, counted from 2", row("rs1") + oneValue + "\n",
       "Error: Cannot read enough items from output file t.auto.R line 3\n"
       "Offending line is: " + oneValue + "\n\n"},
      {"no Rserve: NA alone on every row", noRserve + "\n" + noRserve + "\n",
       "Error: Cannot read enough items from output file t.auto.R line 2\n"
       "Offending line is: " + noRserve + "\n\n"
       "Error: plink's R plug-in returned no values for SNP rs1: is Rserve running on port 6311, "
       "and does the script run without error?\n"},
      {"p above 1", row("rs1") + rPluginRow("rs2", "T", {"0.5", "1.5"}),
       "Error: p-value from R-plugin is not between 0,1 : 1.5\n"},
      {"p below 0, checked before the SNP", rPluginRow("rs9", "T", {"0.5", "-1e-9"}),
       "Error: p-value from R-plugin is not between 0,1 : -1e-9\n"},
      {"p that is no number", rPluginRow("rs1", "T", {"0.5", "abc"}),
       "Error: p-value from R-plugin is not between 0,1 : abc\n"},
      {"p of nan", rPluginRow("rs1", "T", {"0.5", "nan"}),
       "Error: p-value from R-plugin is not between 0,1 : nan\n"},
      {"a SNP absent in the middle", row("rs1") + row("rs3"),
       "Error: SNP's out of order on output file t.auto.R    line:1  expected:rs2  got: rs3\n" +
           sortAdvice + "\n"},
      {"more SNPs than asked for", row("rs1") + row("rs2") + row("rs3") + row("rs4"),
       "Error: Additional SNPs in output file: t.auto.R!\n"},
      {"the last SNP absent", row("rs1") + row("rs2"),
       "Error: Cannot read all test results from plink (got 2 results while expecting 3 )\n"
       "  output file was 't.auto.R'\n"},
  };
  for (const failureCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove("t.auto.R.given");
    if (c.file != "-") given(".auto.R", c.file);
    expectFatal(
        [] {
          std::vector<estimateRecord> out;
          plink.runPlinkRPlugin("t", out, snps, "s.R");
        },
        c.message);
  }
}

// ---------------------------------------------------------------------------------------------
// Command lines and the empty SNP list

TEST_F(HandWrittenResults, CommandLinesHandPlinkTheNamesAsOneWordEach) {
  std::string modelFile = modelHeader;
  std::string regressionRows;
  std::string rRows;
  for (const char* snp : {"rs1", "rs2", "rs3"}) {
    modelFile += modelGroup(snp, "T", "C", "0.5", "0.5");
    regressionRows += regressionRow(snp, "T", "ADD", "1", "1");
    rRows += rPluginRow(snp, "T", {"0", "1"});
  }
  const std::vector<std::string> fixed = {"--allow-no-sex", "--noweb", "--silent"};
  const std::string odd = "x;touch INJECTED;'$HOME`id`\"\\";
  struct commandCase {
    const char* what;
    bool covariates;
    std::string covarArgs;
    std::string cell;  // appended to plink.arguments
    std::function<void()> call;
    std::vector<std::string> words;  // after the fixed arguments
  };
  const commandCase cases[] = {
      {"full-model scan, a blank in the name", false, "", "",
       [&] {
         writeWholeFile("my t.model.given", modelFile);
         std::vector<significanceRecord> out;
         plink.runPlinkModel("my t", "my t", out);
       },
       {"--bfile", "my t", "--model", "--out", "my t"}},
      {"full-model scan with --cell; covariates play no part", true, "--covar-number 2",
       " --cell 3",
       [&] {
         writeWholeFile("t.model.given", modelFile);
         std::vector<significanceRecord> out;
         plink.runPlinkModel("t", "t", out);
       },
       {"--cell", "3", "--bfile", "t", "--model", "--out", "t"}},
      {"linear, a blank in the name", false, "", "",
       [&] {
         writeWholeFile("my t.assoc.linear.given", regressionHeader("BETA") + regressionRows);
         std::vector<estimateRecord> out;
         plink.runPlinkLinear("my t", out, snps);
       },
       {"--bfile", "my t", "--linear", "--out", "my t"}},
      {"linear with covariates", true, "--covar-name age,grp", "",
       [&] {
         given(".assoc.linear", regressionHeader("BETA") + regressionRows);
         std::vector<estimateRecord> out;
         plink.runPlinkLinear("t", out, snps);
       },
       {"--bfile", "t", "--linear", "--out", "t", "--covar", "t.cov", "--covar-name", "age,grp"}},
      {"logistic with covariates", true, "--covar-number 2", "",
       [&] {
         given(".assoc.logistic", regressionHeader("OR") + regressionRows);
         std::vector<estimateRecord> out;
         plink.runPlinkLogistic("t", out, snps);
       },
       {"--bfile", "t", "--logistic", "--out", "t", "--covar", "t.cov", "--covar-number", "2"}},
      {"logistic", false, "", "",
       [&] {
         given(".assoc.logistic", regressionHeader("OR") + regressionRows);
         std::vector<estimateRecord> out;
         plink.runPlinkLogistic("t", out, snps);
       },
       {"--bfile", "t", "--logistic", "--out", "t"}},
      {"R plug-in with all covariates", true, "", "",
       [&] {
         given(".auto.R", rRows);
         std::vector<estimateRecord> out;
         plink.runPlinkRPlugin("t", out, snps, "my.R");
       },
       {"--bfile", "t", "--R", "my.R", "--out", "t", "--covar", "t.cov"}},
      // Names from the command line (--scratch, --covar-name, --R) may hold anything the shell
      // reads as its own: none of it may run, each name stays one word.
      {"full-model scan, shell syntax in the name", false, "", "",
       [&] {
         writeWholeFile(odd + ".model.given", modelFile);
         std::vector<significanceRecord> out;
         plink.runPlinkModel(odd, odd, out);
       },
       {"--bfile", odd, "--model", "--out", odd}},
      {"logistic, shell syntax in the name and the covariate selection", true,
       "--covar-name a;touch INJECTED", "",
       [&] {
         writeWholeFile("a b;c.assoc.logistic.given", regressionHeader("OR") + regressionRows);
         std::vector<estimateRecord> out;
         plink.runPlinkLogistic("a b;c", out, snps);
       },
       {"--bfile", "a b;c", "--logistic", "--out", "a b;c", "--covar", "a b;c.cov",
        "--covar-name", "a;touch INJECTED"}},
      {"R plug-in, shell syntax in the script name", false, "", "",
       [&] {
         given(".auto.R", rRows);
         std::vector<estimateRecord> out;
         plink.runPlinkRPlugin("t", out, snps, "my script's;touch INJECTED.R");
       },
       {"--bfile", "t", "--R", "my script's;touch INJECTED.R", "--out", "t"}},
  };
  for (const commandCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove("plink.args");
    useCovariates = c.covariates;
    plinkCovarArgs = c.covarArgs;
    plink.arguments = "--allow-no-sex --noweb --silent" + c.cell;
    c.call();
    std::vector<std::string> expected = fixed;
    expected.insert(expected.end(), c.words.begin(), c.words.end());
    EXPECT_EQ(readLines("plink.args"), expected);
  }
  EXPECT_FALSE(std::filesystem::exists("INJECTED"));
}

TEST_F(HandWrittenResults, EmptySnpListRunsNoPlink) {
  const std::vector<snpRecord*> none;
  std::vector<estimateRecord> out(3);
  plink.runPlinkLogistic("t", out, none);
  EXPECT_TRUE(out.empty());
  out.resize(3);
  plink.runPlinkRPlugin("t", out, none, "s.R");
  EXPECT_TRUE(out.empty());
  // plink writes no table for a fileset without SNPs, so running it could only fail.
  out.resize(3);
  plink.runPlinkLinear("t", out, none);
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(std::filesystem::exists("plink.args"));
}

// ---------------------------------------------------------------------------------------------
// The real plink 1.07 against the in-process tests

class PlinkRoutes : public testing::Test {
 protected:
  void SetUp() override {
    ZUQ_NEED_PLINK107();
    ASSERT_TRUE(scratch.made());
    plink.executable = testsupport::plink107;
  }
  void TearDown() override {
    freeDataSet();
    covariateHeaderLine.clear();
  }
  // A data set read as the driver reads it: the readers, then without missing phenotypes.
  static void load(const std::string& stem, const std::string& covariateFile = "") {
    testing::internal::CaptureStdout();
    plink.readPedAndMap(stem + ".ped", stem + ".map");
    if (!covariateFile.empty()) plink.readCovariateFile(covariateFile);
    plink.removeMissingPhenotypes();
    testing::internal::GetCapturedStdout();
  }

  testsupport::scratchWorkingDirectory scratch{"plink_routes"};
  testsupport::settingsSnapshot settings;
};

// The largest distance seen, in half units of plink's last printed digit, and where.
struct worstDistance {
  double distance = 0;
  std::string where;
  void see(double d, const std::string& at) {
    if (d > distance) {
      distance = d;
      where = at;
    }
  }
};

// SNPs without a proper fit, where plink and the in-process fit follow their own conventions
// (NA, or OR 1 and p 1, or a diverged fit); they are left out of the comparison, by name.
struct degenerateSnp {
  const char* name;
  const char* why;
};

bool isDegenerate(const std::vector<degenerateSnp>& list, const std::string& name) {
  for (const degenerateSnp& d : list) {
    if (name == d.name) return true;
  }
  return false;
}

// Every SNP left out must be in the data set, so that the list cannot silently go stale.
void expectListedSnpsExist(const std::vector<degenerateSnp>& list) {
  for (const degenerateSnp& d : list) {
    bool found = false;
    for (const snpRecord* snp : snps) found = found || snp->name == d.name;
    EXPECT_TRUE(found) << d.name << " (" << d.why << ")";
  }
}

bool orientedLikeAllele1(const estimateRecord& viaPlink) {
  return viaPlink.allele == viaPlink.snp->allele1;
}

// The in-process estimate turned to plink's A1.
double orientedEffect(double effect, bool sameAllele) {
  if (effect == m || sameAllele) return effect;
  return 1 / effect;
}

TEST_F(PlinkRoutes, FullModelScanAgreesWithTheInProcessTests) {
  load(testData + "cc");
  for (int cell : {5, 0}) {
    SCOPED_TRACE("--cell " + std::to_string(cell));
    minCellCount = cell;
    plink.arguments = "--allow-no-sex --noweb --silent --cell " + std::to_string(cell);
    plink.writeBinaryFileset("m", individuals, snps, 0);
    std::vector<significanceRecord> viaPlink;
    plink.runPlinkModel("m", "m", viaPlink);
    std::vector<significanceRecord> inProcess;
    assocTests.fullModelTests(false, individuals, snps, inProcess);
    ASSERT_EQ(viaPlink.size(), inProcess.size());
    ASSERT_EQ(static_cast<int>(viaPlink.size()), nSnps);
    worstDistance trend, geno;
    int genoMissing = 0;
    for (int j = 0; j < nSnps; ++j) {
      const significanceRecord& r = viaPlink[j];
      SCOPED_TRACE(snps[j]->name);
      EXPECT_EQ(r.snp, snps[j]);
      // plink's A1: one of the SNP's alleles, '0' where the SNP has none.
      EXPECT_TRUE(r.allele == r.snp->allele1 || r.allele == r.snp->allele2) << r.allele;
      const double dTrend = printedDistance(inProcess[j].trendP, r.trendP, 4);
      const double dGeno = printedDistance(inProcess[j].genoP, r.genoP, 4);
      EXPECT_LE(dTrend, 1.0) << inProcess[j].trendP << " vs plink " << r.trendP;
      EXPECT_LE(dGeno, 1.0) << inProcess[j].genoP << " vs plink " << r.genoP;
      trend.see(dTrend, r.snp->name);
      geno.see(dGeno, r.snp->name);
      genoMissing += r.genoP == m;
    }
    EXPECT_GT(genoMissing, 0);  // the data set reaches the cell rule and the untyped SNPs
    std::cout << "  --cell " << cell << ": largest distance from plink's TREND p " << trend.distance
              << " (" << trend.where << "), GENO p " << geno.distance << " (" << geno.where
              << ") half units of the 4th digit; " << genoMissing << " GENO p missing\n";
  }
}

// The real plink leaves the Y and MT SNPs out of its full-model table.
TEST_F(PlinkRoutes, FullModelScanWithoutTheHaploidSnpsWarns) {
  load(testData + "cc");
  snps[nSnps - 3]->chromosome = 24;
  snps[nSnps - 2]->chromosome = 24;
  snps[nSnps - 1]->chromosome = 26;
  plink.writeBinaryFileset("h", individuals, snps, 0);
  std::vector<significanceRecord> viaPlink;
  testing::internal::CaptureStdout();
  plink.runPlinkModel("h", "h", viaPlink);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Warning:   3 SNPs were filtered based on maf.\n");
  std::vector<significanceRecord> inProcess;
  assocTests.fullModelTests(false, individuals, snps, inProcess);
  ASSERT_EQ(static_cast<int>(viaPlink.size()), nSnps - 3);
  for (size_t j = 0; j < viaPlink.size(); ++j) {
    SCOPED_TRACE(snps[j]->name);
    EXPECT_EQ(viaPlink[j].snp, snps[j]);
    EXPECT_LE(printedDistance(inProcess[j].trendP, viaPlink[j].trendP, 4), 1.0);
  }
}

TEST_F(PlinkRoutes, LogisticRegressionAgreesWithTheInProcessFit) {
  struct logisticCase {
    const char* what;
    std::string stem;
    std::string covariates;
    std::vector<degenerateSnp> degenerate;
  };
  const logisticCase cases[] = {
      {"case-control set with corner-case SNPs",
       testData + "cc",
       "",
       {{"cc4", "one allele only: plink NA, in process OR 1 and p 1"},
        {"cc8", "no typed genotype: plink NA, in process OR 1 and p 1"},
        {"cc20", "all heterozygous: plink OR 1 and p 1, in process NA"},
        {"cc24", "one heterozygote: plink's fit diverges, in process OR 1 and p 1"},
        {"cc41", "two rare heterozygotes: as cc24"}}},
      {"with two covariates", testData + "logistic/logistic", testData + "logistic/logistic.cov",
       {}},
  };
  for (const logisticCase& c : cases) {
    SCOPED_TRACE(c.what);
    freeDataSet();
    covariateHeaderLine.clear();
    useCovariates = !c.covariates.empty();
    load(c.stem, c.covariates);
    plink.writeBinaryFileset("lg", individuals, snps, 1);
    std::vector<estimateRecord> viaPlink;
    plink.runPlinkLogistic("lg", viaPlink, snps);
    std::vector<estimateRecord> inProcess;
    testing::internal::CaptureStdout();
    logisticAllSnps(individuals, snps, inProcess);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(static_cast<int>(viaPlink.size()), nSnps);
    expectListedSnpsExist(c.degenerate);
    worstDistance oddsRatio, p;
    for (int j = 0; j < nSnps; ++j) {
      const estimateRecord& r = viaPlink[j];
      SCOPED_TRACE(snps[j]->name);
      EXPECT_EQ(r.snp, snps[j]);
      if (isDegenerate(c.degenerate, r.snp->name)) continue;
      const bool same = orientedLikeAllele1(r);
      EXPECT_TRUE(same || r.allele == r.snp->allele2) << r.allele;
      const double dOr = printedDistance(orientedEffect(inProcess[j].effect, same), r.effect, 4);
      const double dP = printedDistance(inProcess[j].p, r.p, 4);
      EXPECT_LE(dOr, 1.0) << inProcess[j].effect << " vs plink " << r.effect << " of " << r.allele;
      EXPECT_LE(dP, 1.0) << inProcess[j].p << " vs plink " << r.p;
      oddsRatio.see(dOr, r.snp->name);
      p.see(dP, r.snp->name);
    }
    std::cout << "  " << c.what << ": largest distance from plink's OR " << oddsRatio.distance
              << " (" << oddsRatio.where << "), p " << p.distance << " (" << p.where
              << ") half units of the 4th digit\n";
  }
}

TEST_F(PlinkRoutes, LinearRegressionAgreesWithTheInProcessRegression) {
  load(testData + "qt");
  plink.writeBinaryFileset("ln", individuals, snps, 1);
  std::vector<estimateRecord> viaPlink;
  plink.runPlinkLinear("ln", viaPlink, snps);
  std::vector<estimateRecord> inProcess;
  assocTests.qtAssociation(false, individuals, snps, inProcess);
  ASSERT_EQ(static_cast<int>(viaPlink.size()), nSnps);
  const std::vector<degenerateSnp> degenerate = {
      {"qt6", "all heterozygous: plink BETA 5.638 and p 1, in process NA"}};
  expectListedSnpsExist(degenerate);
  worstDistance beta, p;
  int estimated = 0;
  for (int j = 0; j < nSnps; ++j) {
    const estimateRecord& r = viaPlink[j];
    SCOPED_TRACE(snps[j]->name);
    EXPECT_EQ(r.snp, snps[j]);
    if (isDegenerate(degenerate, r.snp->name)) continue;
    const bool same = orientedLikeAllele1(r);
    // plink printed beta with four digits; the record carries e to that beta.
    const double plinkBeta = r.effect == m ? m : std::log(r.effect);
    const double ours = inProcess[j].effect == m ? m
                        : same                   ? std::log(inProcess[j].effect)
                                                 : -std::log(inProcess[j].effect);
    const double dBeta = printedDistance(ours, plinkBeta, 4);
    const double dP = printedDistance(inProcess[j].p, r.p, 4);
    EXPECT_LE(dBeta, 1.0 + 1e-9) << ours << " vs plink " << plinkBeta;
    EXPECT_LE(dP, 1.0) << inProcess[j].p << " vs plink " << r.p;
    beta.see(dBeta, r.snp->name);
    p.see(dP, r.snp->name);
    estimated += r.effect != m;
  }
  EXPECT_GT(estimated, nSnps / 2);
  std::cout << "  largest distance from plink's BETA " << beta.distance << " (" << beta.where
            << "), p " << p.distance << " (" << p.where << ") half units of the 4th digit\n";
}

TEST_F(PlinkRoutes, RPluginAgreesWithTheInProcessLogisticFit) {
  testsupport::rserveSession rserve;
  ZUQ_NEED_RSERVE(rserve);
  load(testData + "cc");
  plink.writeBinaryFileset("r", individuals, snps, 1);
  std::vector<estimateRecord> viaPlink;
  plink.runPlinkRPlugin("r", viaPlink, snps, testsupport::glmPluginScript);
  std::vector<estimateRecord> inProcess;
  testing::internal::CaptureStdout();
  logisticAllSnps(individuals, snps, inProcess);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(static_cast<int>(viaPlink.size()), nSnps);
  const std::vector<degenerateSnp> degenerate = {
      {"cc4", "one allele only: R NA, in process OR 1 and p 1"},
      {"cc8", "no typed genotype: R NA, in process OR 1 and p 1"},
      {"cc20", "all heterozygous: the plug-in gives beta 0, in process NA"},
      {"cc24", "one heterozygote: R's fit diverges, in process OR 1 and p 1"},
      {"cc37", "only cases typed: R's fit diverges, in process OR 1 and p 1"},
      {"cc41", "two rare heterozygotes: as cc24"}};
  expectListedSnpsExist(degenerate);
  worstDistance beta, p;
  int estimated = 0;
  for (int j = 0; j < nSnps; ++j) {
    const estimateRecord& r = viaPlink[j];
    SCOPED_TRACE(snps[j]->name);
    EXPECT_EQ(r.snp, snps[j]);
    if (isDegenerate(degenerate, r.snp->name)) continue;
    const bool same = orientedLikeAllele1(r);
    const double oursEffect = orientedEffect(inProcess[j].effect, same);
    // plink writes the script's values with six digits.
    const double dBeta =
        printedDistance(oursEffect == m ? m : std::log(oursEffect),
                        r.effect == m ? m : std::log(r.effect), 6);
    const double dP = printedDistance(inProcess[j].p, r.p, 6);
    EXPECT_LE(dBeta, testsupport::rPluginDistanceLimit)
        << inProcess[j].effect << " vs plink " << r.effect;
    EXPECT_LE(dP, testsupport::rPluginDistanceLimit) << inProcess[j].p << " vs plink " << r.p;
    beta.see(dBeta, r.snp->name);
    p.see(dP, r.snp->name);
    estimated += r.effect != m;
  }
  EXPECT_GT(estimated, nSnps / 2);
  std::cout << "  largest distance from the plug-in's beta " << beta.distance << " ("
            << beta.where << "), p " << p.distance << " (" << p.where
            << ") half units of the 6th digit\n";
}

// A local port on which nothing listens (the system's pick of a free one, released again).
int closedLocalPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

// Without Rserve plink 1.07 writes NA alone after the first four columns and reports success.
TEST_F(PlinkRoutes, RPluginWithoutRserveEndsTheRunSayingSo) {
  load(testData + "cc");
  plink.arguments += " --R-port " + std::to_string(closedLocalPort());
  plink.writeBinaryFileset("nr", individuals, snps, 1);
  expectFatal(
      [] {
        std::vector<estimateRecord> out;
        plink.runPlinkRPlugin("nr", out, snps, testsupport::glmPluginScript);
      },
      "Error: Cannot read enough items from output file nr.auto.R line 2\n"
      "Offending line is:    1  cc1       1000    T NA\n\n"
      "Error: plink's R plug-in returned no values for SNP cc1: is Rserve running on port 6311, "
      "and does the script run without error?\n",
      true);
}

// Worker threads run their plink routes at once, each on its own names, and each reads what a
// single run reads.
TEST_F(PlinkRoutes, ConcurrentRunsEachReadTheirOwnResults) {
  load(testData + "cc");
  plink.writeBinaryFileset("single", individuals, snps, 1);
  std::vector<significanceRecord> singleScan;
  plink.runPlinkModel("single", "single", singleScan);
  std::vector<estimateRecord> singleEstimates;
  plink.runPlinkLogistic("single", singleEstimates, snps);
  constexpr int threads = 8;
  std::vector<std::vector<significanceRecord>> scans(threads);
  std::vector<std::vector<estimateRecord>> estimates(threads);
#pragma omp parallel num_threads(threads)
  {
    const int t = omp_get_thread_num();
    const std::string base = "cpu" + std::to_string(t) + "ud";
    plink.writeBinaryFileset(base, individuals, snps, 1);
    plink.runPlinkModel(base, base, scans[t]);
    plink.runPlinkLogistic(base, estimates[t], snps);
  }
  for (int t = 0; t < threads; ++t) {
    SCOPED_TRACE("thread " + std::to_string(t));
    ASSERT_EQ(scans[t].size(), singleScan.size());
    ASSERT_EQ(estimates[t].size(), singleEstimates.size());
    for (size_t k = 0; k < singleScan.size(); ++k) {
      EXPECT_EQ(scans[t][k].snp, singleScan[k].snp);
      EXPECT_EQ(scans[t][k].allele, singleScan[k].allele);
      EXPECT_EQ(scans[t][k].trendP, singleScan[k].trendP);
      EXPECT_EQ(scans[t][k].genoP, singleScan[k].genoP);
      EXPECT_EQ(estimates[t][k].snp, singleEstimates[k].snp);
      EXPECT_EQ(estimates[t][k].effect, singleEstimates[k].effect);
      EXPECT_EQ(estimates[t][k].p, singleEstimates[k].p);
    }
  }
}

}  // namespace
