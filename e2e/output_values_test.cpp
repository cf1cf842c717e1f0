// Every file an analysis writes holds numbers or NA, never nan or inf: the analyses of the e2e
// suite, run on the example data set and on a fixture of degenerate SNPs (a minor allele only
// in cases, no calls at all, no calls in one group, monomorphic), with every output option.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "run_zuq.h"

namespace {

const std::string example = dataPath("../../examples/casecontrol");
const std::string degenerate = dataPath("degenerate");

// Words that a printf of a non-finite double gives, in any case.
bool isNonNumberWord(std::string word) {
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (!word.empty() && (word[0] == '-' || word[0] == '+')) word.erase(0, 1);
  return word == "nan" || word == "inf" || word == "infinity" || word.rfind("nan(", 0) == 0;
}

// Files the run leaves that are not zuq's text output: the captured streams of the test
// harness, the binary genotype files and what plink itself writes (kept with --debug).
bool isScanned(const std::filesystem::path& path) {
  const std::string name = path.filename().string();
  if (name.empty() || name[0] == '.') return false;
  for (const char* plinkOwn : {".bed", ".log", ".model", ".assoc.linear", ".assoc.logistic",
                               ".auto.R", ".nosex", ".hh"}) {
    const std::string ending = plinkOwn;
    if (name.size() >= ending.size() &&
        name.compare(name.size() - ending.size(), ending.size(), ending) == 0) {
      return false;
    }
  }
  return true;
}

// "file:line: word" for every non-number word of the directory's files.
std::vector<std::string> nonNumberCells(const std::string& directory) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    if (!entry.is_regular_file() || !isScanned(entry.path())) continue;
    std::istringstream lines(readFile(entry.path().string()));
    int lineNumber = 0;
    for (std::string line; std::getline(lines, line);) {
      ++lineNumber;
      for (const std::string& word : words(line)) {
        if (isNonNumberWord(word)) {
          found.push_back(entry.path().filename().string() + ":" + std::to_string(lineNumber) +
                          ": " + word);
        }
      }
    }
  }
  return found;
}

TEST(OutputValues, NonNumberWordsAreRecognised) {
  for (const char* word : {"nan", "-nan", "NaN", "inf", "-inf", "+inf", "INF", "infinity",
                           "-nan(ind)"}) {
    EXPECT_TRUE(isNonNumberWord(word)) << word;
  }
  for (const char* word : {"NA", "0.0000", "1e+81", "info", "rs1", "nano", "-0.5"}) {
    EXPECT_FALSE(isNonNumberWord(word)) << word;
  }
}

// At this alpha, without the correlation adjustment and the frequency scale, several of the
// example's weakest significant SNPs get a negative Uboot, which --notruncate keeps.
const std::vector<std::string> negativeUboots = {
    "--alpha", "0.05", "--notruncate", "--log", "--adj.cor", "0", "--nomafcorrection",
    "--L0", "20", "--L1", "4", "--L2", "4"};

struct analysisCase {
  const char* what;
  std::string fileset;
  std::vector<std::vector<std::string>> runs;  // run one after the other in one directory
};

TEST(OutputValues, NoFileOfAnyAnalysisHoldsNanOrInf) {
  const std::vector<std::string> level1 = {"--L1", "4", "--L2", "4"};
  auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const analysisCase cases[] = {
      {"degenerate: intervals", degenerate, {with({"--alpha", "0.01"}, level1)}},
      {"degenerate: --notruncate", degenerate,
       {with({"--alpha", "0.01", "--notruncate"}, level1)}},
      {"degenerate: --stats --allbias --debug", degenerate,
       {with({"--alpha", "0.01", "--stats", "--allbias", "--debug"}, level1)}},
      {"degenerate: --qt", degenerate,
       {with({"--alpha", "0.01", "--qt", "--debug", "--allbias"}, level1)}},
      {"degenerate: LOGISTIC", degenerate,
       {{"--alpha", "0.01", "--test", "LOGISTIC", "--debug", "--stats"}}},
      {"degenerate: LOGISTIC through plink", degenerate,
       {{"--alpha", "0.01", "--test", "LOGISTIC", "--useplink", "--debug", "--L0", "10"}}},
      {"degenerate: --log --nomafcorrection --adj.cor 0", degenerate,
       {{"--alpha", "0.01", "--log", "--nomafcorrection", "--adj.cor", "0"}}},
      {"degenerate: plink's full-model scan", degenerate,
       {{"--alpha", "0.01", "--slow", "--L0", "10"}}},
      {"degenerate: --top and --keep", degenerate,
       {{"--alpha", "0.01", "--top", "1", "--keep", "3"}}},
      {"degenerate: --cluster and --join", degenerate,
       {with({"--alpha", "0.01", "--cluster", "1/2"}, level1),
        with({"--alpha", "0.01", "--cluster", "2/2"}, level1),
        with({"--alpha", "0.01", "--join", "2", "--debug"}, level1)}},
      {"example: --stats --allbias --debug", example,
       {{"--alpha", "1e-3", "--stats", "--allbias", "--debug", "--L0", "20"}}},
      {"example: --notruncate with negative Uboot values", example, {negativeUboots}},
      {"example: --qt", example, {{"--alpha", "1e-3", "--qt", "--L0", "20"}}},
      {"example: --cluster and --join", example,
       {{"--alpha", "1e-3", "--L0", "20", "--cluster", "1/2"},
        {"--alpha", "1e-3", "--L0", "20", "--cluster", "2/2"},
        {"--alpha", "1e-3", "--L0", "20", "--join", "2", "--stats"}}},
  };
  for (const analysisCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = makeWorkDirectory();
    for (const auto& extra : c.runs) {
      const std::vector<std::string> args =
          with({"--file", c.fileset, "--plink", plinkPath(), "--seed", "3"}, extra);
      const zuqRun run = runZuq(args, dir);
      ASSERT_EQ(run.status, 0) << testing::PrintToString(extra) << "\n" << run.out;
    }
    ASSERT_TRUE(std::filesystem::exists(dir + "/out.zuq"));
    EXPECT_EQ(nonNumberCells(dir), std::vector<std::string>{});
    std::filesystem::remove_all(dir);
  }
}

// A negative Uboot has no logarithm, so no interval: NA, where the bounds were "-nan -nan".
TEST(OutputValues, NegativeUbootKeptByNotruncateHasNoInterval) {
  std::vector<std::string> args = {"--file", example, "--plink", plinkPath(), "--seed", "3"};
  args.insert(args.end(), negativeUboots.begin(), negativeUboots.end());
  const zuqRun run = runZuq(args);
  ASSERT_EQ(run.status, 0) << run.out;
  const auto rows = tableRows(readFile(run.directory + "/out.zuq"));
  int negative = 0;
  for (size_t i = 1; i < rows.size(); ++i) {
    const auto& row = rows[i];
    SCOPED_TRACE(row[1]);
    ASSERT_EQ(row.size(), 10u);
    if (row[7] == "NA" || std::stod(row[7]) >= 0) continue;
    ++negative;
    EXPECT_EQ(row[8], "NA");
    EXPECT_EQ(row[9], "NA");
  }
  EXPECT_GE(negative, 1);
  std::filesystem::remove_all(run.directory);
}

// rs2's minor allele occurs only in cases, so its MAF (the controls') is 0 and the frequency
// scale of Uboot cannot be formed: Uboot and its interval are NA, not a truncated OR of 1.
// rs3 has no call, rs8 none in cases, rs9 none in controls: their frequencies are NA.
TEST(OutputValues, DegenerateSnpsGetNaWithoutAScale) {
  const zuqRun run = runZuq({"--file", degenerate, "--plink", plinkPath(), "--seed", "3",
                             "--alpha", "0.01", "--L1", "4", "--L2", "4", "--stats"});
  ASSERT_EQ(run.status, 0) << run.out;
  bool seenRs2 = false;
  for (const auto& row : tableRows(readFile(run.directory + "/out.zuq"))) {
    if (row.size() < 10 || row[1] != "rs2") continue;
    seenRs2 = true;
    EXPECT_EQ(row[3], "0.000");  // MAF
    EXPECT_EQ((std::vector<std::string>(row.begin() + 7, row.end())),
              (std::vector<std::string>{"NA", "NA", "NA"}));
  }
  EXPECT_TRUE(seenRs2);
  struct statsCase {
    const char* snp;
    std::vector<std::string> mafs;  // MAF, MAFCases, MAFControls
  };
  const statsCase cases[] = {
      {"rs2", {"0.000", "0.250", "0.000"}},
      {"rs3", {"NA", "NA", "NA"}},
      {"rs8", {"0.500", "NA", "0.500"}},
      {"rs9", {"NA", "0.500", "NA"}},
  };
  const auto stats = tableRows(readFile(run.directory + "/zuq.stats"));
  for (const statsCase& c : cases) {
    SCOPED_TRACE(c.snp);
    const auto row = std::find_if(stats.begin(), stats.end(), [&c](const auto& r) {
      return r.size() == 8 && r[1] == c.snp;
    });
    ASSERT_NE(row, stats.end());
    EXPECT_EQ(std::vector<std::string>(row->begin() + 5, row->end()), c.mafs);
  }
  std::filesystem::remove_all(run.directory);
}

}  // namespace
