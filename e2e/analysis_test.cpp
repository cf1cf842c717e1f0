// The whole analysis end to end on the example data set: the results table against plink
// 1.07's own tests, reproducibility, and the options that change what the analysis writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "run_zuq.h"

namespace {

const std::string example = dataPath("../../examples/casecontrol");

std::vector<std::string> exampleArgs(std::vector<std::string> extra) {
  std::vector<std::string> args = {"--file", example, "--plink", plinkPath(), "--seed", "11"};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

struct plinkRow {
  std::string a1;
  double trendP, oddsRatio;
};

std::map<std::string, plinkRow> plinkOracle() {
  std::map<std::string, plinkRow> rows;
  std::istringstream in(readFile(dataPath("casecontrol_plink.expected")));
  std::string header;
  std::getline(in, header);
  std::string snp, a1, p, oddsRatio;
  while (in >> snp >> a1 >> p >> oddsRatio) rows[snp] = {a1, std::stod(p), std::stod(oddsRatio)};
  return rows;
}

TEST(Analysis, NaiveColumnsAgreeWithPlinkAndTheTableIsComplete) {
  const zuqRun run = runZuq(exampleArgs({"--alpha", "1e-3", "--L1", "8", "--L2", "8"}));
  ASSERT_EQ(run.status, 0) << run.out;
  const auto rows = tableRows(readFile(run.directory + "/out.zuq"));
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"CHR", "SNP", "BP", "MAF", "A1", "P", "OR", "UBOOT",
                                               "CI_L", "CI_U"}));
  const auto oracle = plinkOracle();
  double previousP = 0;
  for (size_t i = 1; i < rows.size(); ++i) {
    const auto& r = rows[i];
    SCOPED_TRACE(r[1]);
    ASSERT_EQ(r.size(), 10u);
    const plinkRow& expected = oracle.at(r[1]);
    const double p = std::stod(r[5]);
    EXPECT_LE(p, 1e-3);
    EXPECT_GE(p, previousP);  // rank order
    previousP = p;
    // Three significant digits in the table, four in plink's file.
    EXPECT_NEAR(p, expected.trendP, 6e-3 * expected.trendP);
    // The table gives the odds ratio of the allele that raises risk; plink that of its A1.
    const double plinkOr = r[4] == expected.a1 ? expected.oddsRatio : 1 / expected.oddsRatio;
    EXPECT_NEAR(std::stod(r[6]), plinkOr, 1e-3 * plinkOr);
    EXPECT_GE(std::stod(r[6]), 1.0);
    const double ub = std::stod(r[7]), lower = std::stod(r[8]), upper = std::stod(r[9]);
    EXPECT_GE(ub, 1.0);
    EXPECT_LE(lower, upper);
  }
  // Standard output shows the same table after its closing lines.
  const std::string tableStart = "Analysis finished.\nThere were " +
                                 std::to_string(rows.size() - 1) +
                                 " significant SNPs in original dataset.\n\n";
  const size_t at = run.out.find(tableStart);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(run.out.substr(at + tableStart.size()), readFile(run.directory + "/out.zuq"));
}

TEST(Analysis, OneThreadWithASeedRepeatsItselfExactly) {
  const auto args = exampleArgs({"--cpu", "1", "--alpha", "1e-3", "--L1", "3", "--L2", "4"});
  const zuqRun first = runZuq(args);
  const zuqRun second = runZuq(args);
  ASSERT_EQ(first.status, 0);
  EXPECT_EQ(maskMachineLines(first.out), maskMachineLines(second.out));
  EXPECT_EQ(readFile(first.directory + "/out.zuq"), readFile(second.directory + "/out.zuq"));
  // Another seed draws other resamples.
  auto other = args;
  other[5] = "12";
  const zuqRun third = runZuq(other);
  EXPECT_NE(readFile(first.directory + "/out.zuq"), readFile(third.directory + "/out.zuq"));
}

TEST(Analysis, ThreadsChangeOnlyTheBootstrapColumns) {
  const zuqRun one = runZuq(exampleArgs({"--cpu", "1", "--alpha", "1e-3"}));
  const zuqRun eight = runZuq(exampleArgs({"--cpu", "8", "--alpha", "1e-3"}));
  const auto a = tableRows(readFile(one.directory + "/out.zuq"));
  const auto b = tableRows(readFile(eight.directory + "/out.zuq"));
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(std::vector<std::string>(a[i].begin(), a[i].begin() + 7),
              std::vector<std::string>(b[i].begin(), b[i].begin() + 7));
  }
}

TEST(Analysis, OptionsShapeTheTable) {
  struct Case {
    std::vector<std::string> extra;
    std::vector<std::string> header;
    size_t rows;  // 0: not checked
  } cases[] = {
      {{"--alpha", "1e-3", "--top", "2"},
       {"CHR", "SNP", "BP", "MAF", "A1", "P", "OR", "UBOOT", "CI_L", "CI_U"}, 2},
      {{"--alpha", "1e-3", "--log"},
       {"CHR", "SNP", "BP", "MAF", "A1", "P", "LOGOR", "UBOOT", "CI_L", "CI_U"}, 5},
      {{"--alpha", "1e-3", "--debug", "--L0", "20"},
       {"CHR", "SNP", "BP", "MAF", "A1", "P", "OR", "UBOOT", "CI_L", "CI_U", "PSIG"}, 5},
      {{"--alpha", "1e-3", "--qt", "--L0", "10"},
       {"CHR", "SNP", "BP", "MAF", "A1", "P", "BETA", "UBOOT", "CI_L", "CI_U"}, 0},
      {{"--alpha", "1e-3", "--keep", "20"},
       {"CHR", "SNP", "BP", "MAF", "A1", "P", "OR", "UBOOT", "CI_L", "CI_U"}, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.extra));
    const zuqRun run = runZuq(exampleArgs(c.extra));
    ASSERT_EQ(run.status, 0) << run.out.substr(run.out.size() > 2000 ? run.out.size() - 2000 : 0);
    const auto rows = tableRows(readFile(run.directory + "/out.zuq"));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], c.header);
    if (c.rows != 0) {
      EXPECT_EQ(rows.size() - 1, c.rows);
    }
  }
}

// The column of a table row by its header name.
std::vector<std::string> column(const std::vector<std::vector<std::string>>& rows,
                                const std::string& name) {
  std::vector<std::string> cells;
  size_t at = 0;
  while (at < rows[0].size() && rows[0][at] != name) ++at;
  for (size_t i = 1; i < rows.size(); ++i) cells.push_back(at < rows[i].size() ? rows[i][at] : "");
  return cells;
}

TEST(Analysis, BiasOptionsChangeOnlyTheBootstrapColumns) {
  const auto base = exampleArgs({"--cpu", "1", "--alpha", "1e-3", "--L0", "30", "--L1", "6",
                                 "--L2", "6"});
  auto withOption = [&base](std::vector<std::string> extra) {
    auto args = base;
    args.insert(args.end(), extra.begin(), extra.end());
    return runZuq(args);
  };
  const zuqRun reference = withOption({});
  const auto referenceRows = tableRows(readFile(reference.directory + "/out.zuq"));
  EXPECT_NE(reference.out.find("Computing Ud/Ue correlation for significant snps..\n"),
            std::string::npos);
  struct Case {
    std::vector<std::string> extra;
    std::vector<std::string> changed;  // columns that must differ from the default run
  } cases[] = {
      {{"--nomafcorrection"}, {"UBOOT"}},
      {{"--adj.cor", "0"}, {"UBOOT"}},
      {{"--adj.cimaf", "0"}, {"CI_L"}},
      {{"--notruncate"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.extra));
    const zuqRun run = withOption(c.extra);
    ASSERT_EQ(run.status, 0);
    const auto rows = tableRows(readFile(run.directory + "/out.zuq"));
    for (const char* naive : {"SNP", "P", "OR"}) {
      EXPECT_EQ(column(rows, naive), column(referenceRows, naive)) << naive;
    }
    for (const std::string& name : c.changed) {
      EXPECT_NE(column(rows, name), column(referenceRows, name)) << name;
    }
    if (c.extra[0] == "--adj.cor") {
      EXPECT_EQ(run.out.find("Computing Ud/Ue correlation"), std::string::npos);
      EXPECT_EQ(run.out.find("Computed correllation for"), std::string::npos);
    }
  }
}

TEST(Analysis, KeepCutsTheDataSetAndScansAgain) {
  const zuqRun run = runZuq(exampleArgs({"--alpha", "1e-3", "--keep", "20", "--L0", "5"}));
  EXPECT_NE(run.out.find("Original dataset: # of significant snps = 5 \n"
                         "Keeping only 20 SNPs to speed up computation.\n"
                         "Number of snps now is 20\n"
                         "Computing naive estimate...\n\n"
                         "Original dataset: # of significant snps = 5 \n"),
            std::string::npos);
  // The logistic test's screening gives a record only to the SNPs whose TREND p passes; the cut
  // keeps those (fewer than 20 here) and removes every SNP without a record as well.
  const zuqRun logistic = runZuq(
      exampleArgs({"--alpha", "1e-3", "--test", "LOGISTIC", "--keep", "20", "--L0", "5"}));
  ASSERT_EQ(logistic.status, 0) << logistic.out;
  const std::string screened = " Screened Snps: ";
  const size_t at = logistic.out.find(screened);
  ASSERT_NE(at, std::string::npos) << logistic.out;
  const int records = std::stoi(logistic.out.substr(at + screened.size()));
  ASSERT_LT(records, 20);
  const std::string count = std::to_string(records);
  EXPECT_NE(logistic.out.find(screened + count + " out of 1000\t"), std::string::npos);
  EXPECT_NE(logistic.out.find("Keeping only 20 SNPs to speed up computation.\n"
                              "Number of snps now is " + count + "\n"),
            std::string::npos)
      << logistic.out;
  EXPECT_NE(logistic.out.find(screened + count + " out of " + count + "\t"), std::string::npos);

  const zuqRun tooFew = runZuq(exampleArgs({"--alpha", "1e-3", "--keep", "3"}));
  EXPECT_EQ(tooFew.status, 1);
  EXPECT_NE(tooFew.out.find("Keeping only 3 SNPs to speed up computation.\n"
                            "Error: Cannot keep less than the number of significant SNPs\n"),
            std::string::npos);
}

TEST(Analysis, RunsThatEndEarly) {
  struct Case {
    std::vector<std::string> extra;
    int status;
    std::string ending;  // the last text of standard output
  } cases[] = {
      {{"--alpha", "1e-12"}, 1, "\nNo Significant SNPs in input file. Nothing to do.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.extra));
    const zuqRun run = runZuq(exampleArgs(c.extra));
    EXPECT_EQ(run.status, c.status);
    ASSERT_GE(run.out.size(), c.ending.size());
    EXPECT_EQ(run.out.substr(run.out.size() - c.ending.size()), c.ending);
  }
}

// --slow runs every scan through plink's full-model test: the naive columns are those of the
// in-process scan, to the digits the table prints.
TEST(Analysis, SlowRunThroughPlinkGivesTheSameNaiveColumns) {
  const zuqRun fastRun = runZuq(exampleArgs({"--alpha", "1e-3"}));
  const zuqRun slowRun = runZuq(exampleArgs({"--slow", "--alpha", "1e-3"}));
  ASSERT_EQ(fastRun.status, 0) << fastRun.out;
  ASSERT_EQ(slowRun.status, 0) << slowRun.out;
  const auto fastRows = tableRows(readFile(fastRun.directory + "/out.zuq"));
  const auto slowRows = tableRows(readFile(slowRun.directory + "/out.zuq"));
  ASSERT_GE(fastRows.size(), 2u);
  for (const char* naive : {"SNP", "A1", "P", "OR"}) {
    EXPECT_EQ(column(slowRows, naive), column(fastRows, naive)) << naive;
  }
}

// rs1 of the separated fixture has an odds ratio near 40 by plink's logistic regression: the run
// warns when it estimates it and once more at its very end, after the table. Without rs1 no odds
// ratio comes near 20 and neither warning appears.
TEST(Analysis, LargeOddsRatioWarningClosesTheRun) {
  ASSERT_FALSE(plinkPath().empty()) << "plink 1.07 is not installed";
  const std::string separated = dataPath("separated");
  const std::string oracle = makeWorkDirectory();
  ASSERT_EQ(runPlink({"--file", separated, "--logistic", "--out", "l"}, oracle).status, 0);
  const auto oddsRatios = plinkResults(oracle + "/l.assoc.logistic", "ADD", "OR");
  ASSERT_EQ(oddsRatios.size(), 5u);
  for (const auto& [snp, text] : oddsRatios) {
    const double oddsRatio = std::max(std::stod(text), 1 / std::stod(text));
    if (snp == "rs1") {
      ASSERT_GT(oddsRatio, std::exp(3.0)) << snp;
    } else {
      ASSERT_LT(oddsRatio, 20) << snp;
    }
  }
  const std::string closing =
      "Warning: Some SNPs were found to have OR > 20.\n"
      "  This is probably due to sparse or missing data.\n"
      "  Please check the log file for the names of the offending SNPs (search for Warning:).\n";
  const std::string found = "Warning: Log Odds Ratio > 3 found for snp: ";
  struct Case {
    std::vector<std::string> extra;
    bool warned;
  } cases[] = {{{}, true}, {{"--exclude", "rs1.txt"}, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.extra));
    const std::string dir = makeWorkDirectory();
    writeFile(dir + "/rs1.txt", "rs1\n");
    std::vector<std::string> args = {"--file", separated, "--plink", plinkPath(), "--seed", "3",
                                     "--L0", "5", "--L1", "0"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const zuqRun run = runZuq(args, dir);
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string ending = readFile(dir + "/out.zuq") + (c.warned ? closing : "");
    ASSERT_GE(run.out.size(), ending.size());
    EXPECT_EQ(run.out.substr(run.out.size() - ending.size()), ending);
    const size_t at = run.out.find(found);
    if (!c.warned) {
      EXPECT_EQ(at, std::string::npos) << run.out;
      EXPECT_EQ(run.out.find("Warning: Some SNPs were found"), std::string::npos);
      continue;
    }
    // The warning names rs1 with its log odds ratio, the log of plink's to its four digits.
    ASSERT_NE(at, std::string::npos) << run.out;
    const std::string rest = run.out.substr(at + found.size());
    ASSERT_EQ(rest.rfind("rs1 OR=", 0), 0u) << rest.substr(0, rest.find('\n'));
    const double plinkOr = std::stod(oddsRatios.at("rs1"));
    EXPECT_NEAR(std::exp(std::stod(rest.substr(7))), plinkOr, 1e-3 * plinkOr);
    EXPECT_EQ(run.out.find(found, at + 1), std::string::npos);  // rs1 only, once
  }
}

TEST(Analysis, AlphaAboveThreeRunsOnlyTheAllelicDiagnostic) {
  const zuqRun run = runZuq(exampleArgs({"--alpha", "4"}));
  EXPECT_EQ(run.status, 0);
  const std::string rest = run.out.substr(run.out.find("Individuals remaining after filtering"));
  EXPECT_NE(rest.find("\n**rs100000 "), std::string::npos);
  EXPECT_NE(rest.find("\n**rs100999 "), std::string::npos);
  EXPECT_EQ(rest.find("Computing naive estimate"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(run.directory + "/out.zuq"));
}

TEST(Analysis, NoAttemptGivesAReadableCompletionLine) {
  const zuqRun run = runZuq(exampleArgs({"--alpha", "1e-3", "--L0", "0"}));
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("\nLevel 0 completed. 0/0 significant bootstraps (NA%)\n"),
            std::string::npos);
  for (const auto& row : tableRows(readFile(run.directory + "/out.zuq"))) {
    if (row[0] != "CHR") {
      EXPECT_EQ(row[7], "NA");
    }
  }
}

TEST(Analysis, OutputFilesOfTheOptionalOutputs) {
  const zuqRun run = runZuq(exampleArgs({"--alpha", "1e-3", "--stats", "--allbias", "--debug",
                                         "--L0", "10"}));
  ASSERT_EQ(run.status, 0);
  const std::string& dir = run.directory;
  const auto stats = tableRows(readFile(dir + "/zuq.stats"));
  ASSERT_EQ(stats.size(), 1001u);
  EXPECT_EQ(stats[0], (std::vector<std::string>{"CHR", "SNP", "BP", "A1", "A2", "MAF", "MAFCases",
                                                "MAFControls"}));
  for (const char* name : {"all-bias.txt", "ud-bias.txt", "ue-bias.txt"}) {
    SCOPED_TRACE(name);
    const auto lines = tableRows(readFile(dir + "/" + name));
    ASSERT_GE(lines.size(), 11u);  // the SNP names, then one line per replicate
    EXPECT_EQ(lines[0].size(), 5u);
    for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i].size(), 5u);
  }
  EXPECT_EQ(tableRows(readFile(dir + "/psig.txt")).size(), 1000u);
  EXPECT_EQ(tableRows(readFile(dir + "/summary.txt")).size(), 1000u);
  // --debug keeps the temporary files; nothing of a plink run is there since all ran in process,
  // only the lock file that keeps the prefix's digits claimed while its files stay.
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.find("temp.zuq.") == std::string::npos) continue;
    EXPECT_EQ(maskMachineLines(name), "temp.zuq.DIGITS.lockfile");
  }
}

}  // namespace
