// Cluster runs end to end: three instances share the bootstraps of the example analysis and a
// join in the same directory finishes it like a single run.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "run_zuq.h"

namespace {

const std::string example = dataPath("../../examples/casecontrol");

std::vector<std::string> clusterArgs(std::vector<std::string> extra) {
  std::vector<std::string> args = {"--file", example, "--plink", plinkPath(), "--seed", "5",
                                   "--alpha", "1e-3", "--L0", "30", "--L1", "6", "--L2", "6"};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

// The columns of the naive analysis (SNP, P, OR) of every row of a results table.
std::vector<std::vector<std::string>> naiveColumns(const std::string& table) {
  std::vector<std::vector<std::string>> cells;
  for (const auto& row : tableRows(table)) {
    if (row.size() < 7) return {};
    cells.push_back({row[1], row[5], row[6]});
  }
  return cells;
}

// Walks a partial-results file by its counts. Returns the number of level-1 rows when the walk
// ends exactly at the end of the file, and -1 when the file is shorter or longer than its counts.
int level1RowsOfCompleteFile(const std::string& text) {
  if (text.empty() || text.back() != '\n') return -1;
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  size_t at = 0;
  auto count = [&]() -> int { return at < lines.size() ? std::stoi(lines[at++]) : -1000000; };
  auto records = [&](int n) {
    for (int i = 0; i < n; ++i) {
      if (at >= lines.size() || words(lines[at++]).size() != 8) return false;
    }
    return true;
  };
  const int nSig = count();
  count();  // replicatesSeen
  if (!records(count())) return -1;
  const int replicates = count();
  for (int b = 0; b < replicates; ++b) {
    const int k = count();
    if (k < 1 || k > nSig || !records(k)) return -1;
  }
  const int rows = count();
  for (int j = 0; j < rows; ++j) {
    const int length = count();
    if (length < 0 || at >= lines.size()) return -1;
    if (static_cast<int>(words(lines[at++]).size()) != length) return -1;
  }
  return at == lines.size() ? rows : -1;
}

TEST(Cluster, ThreeInstancesAndAJoinGiveTheTableOfASingleRun) {
  const zuqRun single = runZuq(clusterArgs({}));
  ASSERT_EQ(single.status, 0) << single.out;

  const std::string dir = makeWorkDirectory();
  for (int k = 1; k <= 3; ++k) {
    SCOPED_TRACE("instance " + std::to_string(k));
    const zuqRun instance = runZuq(clusterArgs({"--cluster", std::to_string(k) + "/3"}), dir);
    ASSERT_EQ(instance.status, 0) << instance.out;
    EXPECT_NE(instance.out.find("Clustering instance " + std::to_string(k) +
                                " of 3\n"
                                "  Will run 10 level 0 bootstraps.\n"
                                "  Will run 2 level 1 bootstraps.\n"
                                "  Using seed " +
                                std::to_string(5 + 7777 * k) + " for random number generation.\n"),
              std::string::npos);
    const std::string ending = "\n\nCluster iteration " + std::to_string(k) +
                               " finished.\nUse --join when all instances are done to get the "
                               "final results.\n";
    ASSERT_GE(instance.out.size(), ending.size());
    EXPECT_EQ(instance.out.substr(instance.out.size() - ending.size()), ending);
    EXPECT_EQ(instance.out.find("Analysis finished."), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir + "/out.zuq"));

    // The file is complete up to its level-1 block, written last, before the instance ended.
    const std::string partial = dir + "/out.zuq." + std::to_string(k) + ".3";
    ASSERT_TRUE(std::filesystem::exists(partial));
    EXPECT_GE(level1RowsOfCompleteFile(readFile(partial)), 1) << readFile(partial);
  }

  const zuqRun join = runZuq(clusterArgs({"--join", "3"}), dir);
  ASSERT_EQ(join.status, 0) << join.out;
  EXPECT_NE(join.out.find("\nJoining the results from cluster runs..\n"
                          "Reading partial results from file out.zuq.1.3.\n"
                          "Reading partial results from file out.zuq.2.3.\n"
                          "Reading partial results from file out.zuq.3.3.\n"
                          "L0 size is "),
            std::string::npos)
      << join.out;
  const std::string table = readFile(dir + "/out.zuq");
  const auto naive = naiveColumns(table);
  ASSERT_GE(naive.size(), 2u) << table;  // the header and at least one significant SNP
  EXPECT_EQ(naive, naiveColumns(readFile(single.directory + "/out.zuq")));
  const std::string tableStart = "There were " + std::to_string(naive.size() - 1) +
                                 " significant SNPs in original dataset.\n\n";
  const size_t at = join.out.find(tableStart);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(join.out.substr(at + tableStart.size()), table);
  // The bootstrap columns are filled: Uboot on the odds-ratio scale and intervals around it.
  const auto rows = tableRows(table);
  for (size_t i = 1; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i][1]);
    ASSERT_EQ(rows[i].size(), 10u);
    EXPECT_GE(std::stod(rows[i][7]), 1.0);
    EXPECT_LE(std::stod(rows[i][8]), std::stod(rows[i][9]));
  }

  // A join of more instances than ran stops at the first file it cannot open.
  const zuqRun tooMany = runZuq(clusterArgs({"--join", "4"}), dir);
  EXPECT_EQ(tooMany.status, 1);
  const std::string error = "Reading partial results from file out.zuq.1.4.\n"
                            "Error: Cannot open cluster results file: out.zuq.1.4\n";
  ASSERT_GE(tooMany.out.size(), error.size());
  EXPECT_EQ(tooMany.out.substr(tooMany.out.size() - error.size()), error);
  std::filesystem::remove_all(dir);
  std::filesystem::remove_all(single.directory);
}

}  // namespace
