// Cluster runs end to end: three instances share the bootstraps of the example analysis and a
// join in the same directory finishes it like a single run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
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

// The lines of a text, without their "\n".
std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The columns of the naive analysis (CHR, SNP, BP, MAF, A1, P, OR) of every row of a results
// table, as printed.
std::vector<std::vector<std::string>> naiveColumns(const std::string& table) {
  std::vector<std::vector<std::string>> cells;
  for (const auto& row : tableRows(table)) {
    if (row.size() < 7) return {};
    cells.push_back(std::vector<std::string>(row.begin(), row.begin() + 7));
  }
  return cells;
}

// Walks a partial-results file by its counts. Returns the number of level-1 rows when the walk
// ends with the last line of instance k of 3 on the 1000 SNPs of the example at the end of the
// file, and -1 when the file is shorter or longer than its counts or lacks that line.
int level1RowsOfCompleteFile(const std::string& text, int k) {
  if (text.empty() || text.back() != '\n') return -1;
  const std::vector<std::string> lines = linesOf(text);
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
  if (at >= lines.size()) return -1;
  const std::vector<std::string> last = words(lines[at++]);
  const std::vector<std::string> fixed = {"snps", "1000", "", "instance",
                                          std::to_string(k) + "/3", "content", ""};
  if (last.size() != fixed.size() || last[2].size() != 16 || last[6].size() != 16) return -1;
  for (size_t i = 0; i < fixed.size(); ++i) {
    if (!fixed[i].empty() && last[i] != fixed[i]) return -1;
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
    EXPECT_GE(level1RowsOfCompleteFile(readFile(partial), k), 1) << readFile(partial);
  }

  const zuqRun join = runZuq(clusterArgs({"--join", "3"}), dir);
  ASSERT_EQ(join.status, 0) << join.out;
  // The join runs its own naive analysis to check the files against.
  EXPECT_NE(join.out.find("\nJoining the results from cluster runs..\n"
                          "Computing naive estimate...\n"),
            std::string::npos)
      << join.out;
  EXPECT_NE(join.out.find("Reading partial results from file out.zuq.1.3.\n"
                          "Reading partial results from file out.zuq.2.3.\n"
                          "Reading partial results from file out.zuq.3.3.\n"
                          "L0 size is "),
            std::string::npos)
      << join.out;
  const std::string table = readFile(dir + "/out.zuq");
  const auto naive = naiveColumns(table);
  ASSERT_GE(naive.size(), 2u) << table;  // the header and at least one significant SNP
  // The join prints its own naive scan, which is the single run's.
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

// The partial files keep six significant digits of p and of the log odds ratio. In the
// strong-effects fixture the log odds ratios lie above 1, where that rounding changes the fourth
// decimal of several printed odds ratios; the join prints its own naive scan, so its naive
// columns are the single run's to the last byte.
TEST(Cluster, AJoinPrintsTheNaiveColumnsOfASingleRunToTheLastDigit) {
  auto args = [](std::vector<std::string> extra) {
    std::vector<std::string> a = {"--file", dataPath("strong"), "--plink", plinkPath(),
                                  "--seed", "5", "--alpha", "1e-3", "--L0", "4"};
    a.insert(a.end(), extra.begin(), extra.end());
    return a;
  };
  const zuqRun single = runZuq(args({}));
  ASSERT_EQ(single.status, 0) << single.out;
  const auto singleColumns = naiveColumns(readFile(single.directory + "/out.zuq"));
  ASSERT_GE(singleColumns.size(), 2u);

  const std::string dir = makeWorkDirectory();
  for (const char* instance : {"1/2", "2/2"}) {
    const zuqRun run = runZuq(args({"--cluster", instance}), dir);
    ASSERT_EQ(run.status, 0) << run.out;
  }
  const zuqRun join = runZuq(args({"--join", "2"}), dir);
  ASSERT_EQ(join.status, 0) << join.out;
  EXPECT_EQ(naiveColumns(readFile(dir + "/out.zuq")), singleColumns);

  // The fixture shows what the files' records alone would print: the odds ratio of the stored
  // log odds ratio differs. The naive records follow the first three lines in rank order; their
  // fields 1 and 4 are the SNP index (index i is rs<i+1> here) and the log odds ratio.
  const std::vector<std::string> lines = linesOf(readFile(dir + "/out.zuq.1.2"));
  ASSERT_GE(lines.size(), singleColumns.size() + 2);
  int changed = 0;
  for (size_t i = 1; i < singleColumns.size(); ++i) {
    const std::vector<std::string> record = words(lines[i + 2]);
    ASSERT_EQ(record.size(), 8u);
    ASSERT_EQ("rs" + std::to_string(std::stoi(record[0]) + 1), singleColumns[i][1]);
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", std::exp(std::stod(record[3])));
    if (text != singleColumns[i][6]) ++changed;
  }
  EXPECT_GE(changed, 1);
  std::filesystem::remove_all(dir);
  std::filesystem::remove_all(single.directory);
}

// The warning of a partial file read without its instance and content check.
std::string uncheckedWarning(const std::string& name) {
  return "Warning: Cluster results file " + name + " has no last line naming its instance and "
         "the hash of its content (a file of an earlier version, or one whose last line was "
         "removed): it was read without its instance and content check.\n";
}

// The lines of a text that start with prefix, each with its "\n".
std::string linesStartingWith(const std::string& text, const std::string& prefix) {
  std::string found;
  for (const std::string& line : linesOf(text)) {
    if (line.compare(0, prefix.size(), prefix) == 0) found += line + "\n";
  }
  return found;
}

// What stands under the name out.zuq.2.2 in a join's directory.
enum class entryKind { file, fifo, directory };

// A join takes only a set of files that are each the file of the instance their name says, as
// that instance wrote it: a refused set leaves no results table (not even an earlier one), no
// temporary file, and the partial files as they were. Files of earlier versions (no last line,
// or the SNP list alone) are still read, with a warning that names each; a copy is told by its
// content before the last line, whatever that line is. Something that is not a regular file is
// refused before it is opened: a FIFO would make the join wait for ever (the run's time limit
// turns that into a failure).
TEST(Cluster, AJoinRefusesCopiedChangedOrCutFiles) {
  const std::string instances = makeWorkDirectory();
  auto args = [](std::vector<std::string> extra) {
    std::vector<std::string> a = {"--file", example, "--plink", plinkPath(), "--seed", "5",
                                  "--alpha", "1e-3", "--L0", "6"};
    a.insert(a.end(), extra.begin(), extra.end());
    return a;
  };
  for (const char* instance : {"1/2", "2/2", "2/3"}) {
    const zuqRun run = runZuq(args({"--cluster", instance}), instances);
    ASSERT_EQ(run.status, 0) << run.out;
  }
  const std::string file1 = readFile(instances + "/out.zuq.1.2");
  const std::string file2 = readFile(instances + "/out.zuq.2.2");
  const auto withoutLastLine = [](const std::string& text) {
    return text.substr(0, text.rfind('\n', text.size() - 2) + 1);
  };
  const std::string lastLine = file2.substr(withoutLastLine(file2).size());
  const std::string body1 = withoutLastLine(file1);
  const std::string body2 = withoutLastLine(file2);
  const std::string snpList = lastLine.substr(0, lastLine.find(" instance ")) + "\n";
  // Another ue (the last field) in the first record of the first level-0 replicate of a file,
  // whose line follows the naive records (their count on line 3) and two counts.
  const auto changedValue = [](const std::string& file) {
    std::vector<std::string> lines = linesOf(file);
    std::string& line = lines[3 + std::stoul(lines[2]) + 2];
    const size_t ue = line.rfind(' ') + 1;
    line = line.substr(0, ue) + (line.substr(ue) == "0.5" ? "0.25" : "0.5");
    std::string text;
    for (const std::string& each : lines) text += each + "\n";
    return text;
  };
  const std::string copyRefused =
      "Error: Cluster results files out.zuq.1.2 and out.zuq.2.2 have the same content before "
      "their last lines: one is a copy of the other, and the join would count its replicates "
      "twice.\n";
  struct setCase {
    const char* what;
    std::string file1;  // what stands under the name out.zuq.1.2
    std::string file2;  // what stands under the name out.zuq.2.2, when it is a file
    std::string error;  // the end of the output after the line of file 2; "" when the join goes
                        // through
    std::vector<std::string> unchecked = {};  // the files a join that goes through warns of
    entryKind kind = entryKind::file;
  };
  const setCase cases[] = {
      {"the files of instances 1 and 2", file1, file2, ""},
      {"a copy of file 1 as file 2", file1, file1,
       "Error: Cluster results file out.zuq.2.2 was written by instance 1 of 2: the join needs "
       "the file of instance 2 of 2 under this name.\n"},
      {"the file of instance 2 of 3 as file 2", file1, readFile(instances + "/out.zuq.2.3"),
       "Error: Cluster results file out.zuq.2.2 was written by instance 2 of 3: the join needs "
       "the file of instance 2 of 2 under this name.\n"},
      {"a value changed in file 2", file1, changedValue(file2),
       "Error: Cluster results file out.zuq.2.2 is damaged or was edited: its content does not "
       "match the hash in its last line.\n"},
      {"file 2 cut in its middle", file1, file2.substr(0, file2.size() / 2),
       "Error: Cluster results file out.zuq.2.2 is truncated or malformed at line "},
      {"file 2 without its last line (an earlier version)", file1, body2, "", {"out.zuq.2.2"}},
      {"file 2 ending with the SNP list alone (an earlier version)", file1, body2 + snpList, "",
       {"out.zuq.2.2"}},
      {"both files without their last lines", body1, body2, "", {"out.zuq.1.2", "out.zuq.2.2"}},
      {"a copy of file 1 without its last line as file 2", file1, body1,
       uncheckedWarning("out.zuq.2.2") + copyRefused},
      {"a copy of file 1 ending with the SNP list alone as file 2", file1, body1 + snpList,
       uncheckedWarning("out.zuq.2.2") + copyRefused},
      {"file 2 edited, without its last line (nothing can tell)", file1,
       changedValue(body2), "", {"out.zuq.2.2"}},
      {"a FIFO as file 2", file1, "",
       "Error: Cluster results file out.zuq.2.2 is not a regular file (it is a FIFO).\n", {},
       entryKind::fifo},
      {"a directory as file 2", file1, "",
       "Error: Cluster results file out.zuq.2.2 is not a regular file (it is a directory).\n",
       {}, entryKind::directory},
  };
  for (const setCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = makeWorkDirectory();
    const std::string name2 = dir + "/out.zuq.2.2";
    writeFile(dir + "/out.zuq.1.2", c.file1);
    if (c.kind == entryKind::file) writeFile(name2, c.file2);
    if (c.kind == entryKind::fifo) ASSERT_EQ(mkfifo(name2.c_str(), 0600), 0);
    if (c.kind == entryKind::directory) ASSERT_TRUE(std::filesystem::create_directory(name2));
    writeFile(dir + "/out.zuq", "the table of an earlier join\n");
    const zuqRun join = runZuqLimited(args({"--join", "2"}), {.seconds = 60}, dir);
    EXPECT_EQ(join.signal, 0) << join.out;  // SIGALRM: the join waited
    if (c.error.empty()) {
      EXPECT_EQ(join.status, 0) << join.out;
      EXPECT_EQ(join.out.find("Error"), std::string::npos) << join.out;
      std::string warnings;
      for (const std::string& name : c.unchecked) warnings += uncheckedWarning(name);
      EXPECT_EQ(linesStartingWith(join.out, "Warning: Cluster results file "), warnings);
      EXPECT_EQ(tableRows(readFile(dir + "/out.zuq")).size(), 6u);  // header and 5 SNPs
    } else {
      EXPECT_EQ(join.status, 1);
      EXPECT_NE(join.out.find("Reading partial results from file out.zuq.2.2.\n" + c.error),
                std::string::npos)
          << join.out;
      EXPECT_FALSE(std::filesystem::exists(dir + "/out.zuq"));
    }
    EXPECT_EQ(readFile(dir + "/out.zuq.1.2"), c.file1);
    const std::filesystem::file_type type = std::filesystem::symlink_status(name2).type();
    if (c.kind == entryKind::file) EXPECT_EQ(readFile(name2), c.file2);
    if (c.kind == entryKind::fifo) EXPECT_EQ(type, std::filesystem::file_type::fifo);
    if (c.kind == entryKind::directory) {
      EXPECT_EQ(type, std::filesystem::file_type::directory);
      EXPECT_TRUE(std::filesystem::is_empty(name2));
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      EXPECT_NE(entry.path().filename().string().rfind("temp.zuq.", 0), 0u) << entry.path();
    }
    std::filesystem::remove_all(dir);
  }
  std::filesystem::remove_all(instances);
}

// With one level-0 replicate over three instances and no level-1 replicate, instances 2 and 3
// have no share: they write the same lines before their last lines, by design. The join takes
// them, and still refuses a copy of instance 1's file (which carries replicates) without its
// last line in place of file 3.
TEST(Cluster, AJoinTakesTheEqualFilesOfInstancesWithoutAShare) {
  const std::string dir = makeWorkDirectory();
  auto args = [](std::vector<std::string> extra) {
    std::vector<std::string> a = {"--file", example, "--plink", plinkPath(), "--seed", "5",
                                  "--alpha", "1e-3", "--L0", "1", "--L1", "0"};
    a.insert(a.end(), extra.begin(), extra.end());
    return a;
  };
  for (int k = 1; k <= 3; ++k) {
    const zuqRun run = runZuq(args({"--cluster", std::to_string(k) + "/3"}), dir);
    ASSERT_EQ(run.status, 0) << run.out;
  }
  const auto body = [&dir](int k) {
    const std::string text = readFile(dir + "/out.zuq." + std::to_string(k) + ".3");
    return text.substr(0, text.rfind('\n', text.size() - 2) + 1);
  };
  ASSERT_EQ(body(2), body(3));
  ASSERT_NE(body(1), body(2));
  const zuqRun join = runZuq(args({"--join", "3"}), dir);
  EXPECT_EQ(join.status, 0) << join.out;
  EXPECT_EQ(join.out.find("Error"), std::string::npos) << join.out;
  EXPECT_EQ(join.out.find("Warning: Cluster results file"), std::string::npos) << join.out;
  EXPECT_EQ(tableRows(readFile(dir + "/out.zuq")).size(), 6u);  // header and 5 SNPs

  writeFile(dir + "/out.zuq.3.3", body(1));
  const zuqRun copied = runZuq(args({"--join", "3"}), dir);
  EXPECT_EQ(copied.status, 1);
  EXPECT_NE(copied.out.find("Error: Cluster results files out.zuq.1.3 and out.zuq.3.3 have the "
                            "same content before their last lines"),
            std::string::npos)
      << copied.out;
  std::filesystem::remove_all(dir);
}

// Partial files name SNPs by their index in the instance's data set. A join on a data set
// filtered otherwise than the instances (here one SNP ahead of every significant SNP is
// excluded on one side) would print every result under a neighbouring SNP: it is refused,
// naming the first file, and a join filtered like its instances goes through.
// A filter that differs between instances and join shifts the SNPs that the partial files name
// by index. Removing the first SNP shifts the significant SNPs, which the files' naive records
// show; removing only the last SNP, which lies after every significant SNP, shifts no naive
// record but would still shift the SNPs of the replicates: the files' SNP list shows it.
TEST(Cluster, AJoinRefusesFilesOfAnotherDataSet) {
  struct filterCase {
    const char* what;
    std::string instanceExclude;  // "" for no filter
    std::string joinExclude;
    std::string difference;  // how the refusal's explanation starts
  };
  const filterCase cases[] = {
      {"instances without the first SNP", "rs100000", "", "significant SNP "},
      {"instances without the last SNP", "rs100999", "",
       "the instance's data set has 999 SNPs, this one 1000)"},
      {"join without the last SNP", "", "rs100999",
       "the instance's data set has 1000 SNPs, this one 999)"},
  };
  for (const filterCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = makeWorkDirectory();
    auto args = [&dir](const std::string& exclude, std::vector<std::string> extra) {
      std::vector<std::string> a = {"--file", example, "--plink", plinkPath(), "--seed", "5",
                                    "--alpha", "1e-3", "--L0", "6"};
      if (!exclude.empty()) {
        writeFile(dir + "/" + exclude + ".txt", exclude + "\n");
        a.insert(a.end(), {"--exclude", dir + "/" + exclude + ".txt"});
      }
      a.insert(a.end(), extra.begin(), extra.end());
      return a;
    };
    for (int k = 1; k <= 2; ++k) {
      const zuqRun run =
          runZuq(args(c.instanceExclude, {"--cluster", std::to_string(k) + "/2"}), dir);
      ASSERT_EQ(run.status, 0) << run.out;
    }
    const std::string refusal =
        "Reading partial results from file out.zuq.1.2.\n"
        "Error: Cluster results file out.zuq.1.2 does not belong to this analysis (" +
        c.difference;
    const zuqRun other = runZuq(args(c.joinExclude, {"--join", "2"}), dir);
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.out.find(refusal), std::string::npos) << other.out;
    EXPECT_NE(other.out.find("): join with the input files, filters and options of the "
                             "instances.\n"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir + "/out.zuq"));

    const zuqRun same = runZuq(args(c.instanceExclude, {"--join", "2"}), dir);
    EXPECT_EQ(same.status, 0) << same.out;
    EXPECT_EQ(same.out.find("Error"), std::string::npos);
    EXPECT_EQ(tableRows(readFile(dir + "/out.zuq")).size(), 6u);  // header and 5 SNPs
    std::filesystem::remove_all(dir);
  }
}

}  // namespace
