#include "bootstrap/cluster_runs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <limits>
#include <sstream>

#include "bootstrap/analysis_flow.h"
#include "bootstrap/level0.h"
#include "bootstrap/level12.h"
#include "run/output_file.h"
#include "run/random_generator.h"
#include "run/settings.h"
#include "test_support/bootstrap_snapshot.h"
#include "test_support/dataset_builder.h"
#include "test_support/fatal_output.h"
#include "test_support/scratch_files.h"
#include "test_support/settings_snapshot.h"

namespace {

using testsupport::addSnp;
using testsupport::readWholeFile;
using testsupport::writeWholeFile;

TEST(ClusterShare, SplitsTheTotalSoThatTheFirstInstancesTakeTheRemainder) {
  struct shareCase {
    int total;
    int n;
    std::vector<int> shares;  // of the instances 1 .. n
  };
  const shareCase cases[] = {
      {100, 3, {34, 33, 33}},
      {0, 3, {0, 0, 0}},
      {2, 5, {1, 1, 0, 0, 0}},
      {7, 4, {2, 2, 2, 1}},
      {20, 20, std::vector<int>(20, 1)},
      {9, 1, {9}},
  };
  for (const shareCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.total) + " over " + std::to_string(c.n));
    int sum = 0;
    for (int k = 1; k <= c.n; ++k) {
      EXPECT_EQ(clusterShare(k, c.n, c.total), c.shares[static_cast<size_t>(k - 1)]) << "k " << k;
      sum += clusterShare(k, c.n, c.total);
    }
    EXPECT_EQ(sum, c.total);
  }
}

// A small data set of SNPs (the records only point at them) and the results the files carry.
class ClusterFiles : public testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "fast");
    ASSERT_TRUE(dir.made());
    scratchPrefix = dir.path() + "/";
    for (int i = 0; i < 6; ++i) addSnp("rs" + std::to_string(i), 1, 1000 * (i + 1));
  }
  void TearDown() override { freeDataSet(); }

  static resultRecord record(int snp, char alleleUn, double p, double un, char alleleUd,
                             double ud, char alleleUe, double ue) {
    resultRecord r;
    r.snp = snps[static_cast<size_t>(snp)];
    r.alleleUn = alleleUn;
    r.p = p;
    r.un = un;
    r.alleleUd = alleleUd;
    r.ud = ud;
    r.alleleUe = alleleUe;
    r.ue = ue;
    return r;
  }

  // Two significant SNPs, two level-0 replicates (one short), two level-1 rows (one empty).
  std::vector<replicate> buildState() {
    nSig = 2;
    replicatesSeen = 7;
    naiveResults = {record(3, 'A', 7.1612634e-05, 0.68125, 0, missingValue, 0, missingValue),
                    record(1, 'G', 0.00019273, 0.5, 0, missingValue, 0, missingValue)};
    level1Uboots = {{0.25, -1.5}, {}};
    return {{record(3, 'A', 1.4589e-07, 0.9376, 'A', 0.9376, 'A', 0.41245),
             record(5, 'T', 2e-6, 1.25, 'T', 1.25, 'C', 0)},
            {record(0, 'C', 1e-5, 1234567.0, 'C', 1234567.0, 'C', -100000.0)}};
  }

  // Runs a call that must end through the fatal exit with status 1; returns what it printed.
  std::string fatalOutput(const std::function<void()>& call) {
    return testsupport::fatalOutput(dir, call);
  }

  // Reads a whole partial file as the join does.
  static void readAll(const std::string& text, std::vector<replicate>& replicates) {
    std::istringstream in(text);
    partialResultsReader reader(in, "out.zuq.2.3");
    readBootstrapState(reader, replicates);
    readLevel1Uboots(reader);
    readLastLine(reader);
  }

  // What the writers wrote, ended as instance k of n ends its file.
  static std::string completeFile(const std::string& text, int k, int n) {
    std::istringstream body(text);
    return text + partialFileLastLine(body, k, n);
  }

  testsupport::settingsSnapshot settings;
  testsupport::bootstrapSnapshot results;
  testsupport::scratchDirectory dir{"cluster_runs"};
};

// The file of buildState as the writers write it before its last line, by hand: "%g" numbers, X
// for unprintable alleles. The oldest versions ended the file there.
const std::string oldStateText =
    "2\n"
    "7\n"
    "2\n"
    "3 A 7.16126e-05 0.68125 X 1e+81 X 1e+81\n"
    "1 G 0.00019273 0.5 X 1e+81 X 1e+81\n"
    "2\n"
    "2\n"
    "3 A 1.4589e-07 0.9376 A 0.9376 A 0.41245\n"
    "5 T 2e-06 1.25 T 1.25 C 0\n"
    "1\n"
    "0 C 1e-05 1.23457e+06 C 1.23457e+06 C -100000\n"
    "2\n"
    "2\n"
    "0.25 -1.5 \n"
    "0\n"
    "\n";
// The SNP-list line of rs0 .. rs5 (testdata/partial_file_hashes.py), which ended the file in the
// version before the instance part.
const std::string snpListOfTheFixture = "snps 6 5249f60f6efb9f40\n";
// The file of buildState as instance 2 of 3 writes it: the SNP list, the instance and the hash
// of the content before those hash digits end it (testdata/partial_file_hashes.py).
const std::string lastLineOfTheFixture =
    "snps 6 5249f60f6efb9f40 instance 2/3 content 01a851497a8c87bb\n";
const std::string stateText = oldStateText + lastLineOfTheFixture;

// A file as it was before its last line, as earlier versions wrote it.
std::string withoutLastLine(const std::string& text) {
  return text.substr(0, text.rfind('\n', text.size() - 2) + 1);
}

// The warning of a file read without its instance and content check.
std::string uncheckedWarning(const std::string& name) {
  return "Warning: Cluster results file " + name + " has no last line naming its instance and "
         "the hash of its content (a file of an earlier version, or one whose last line was "
         "removed): it was read without its instance and content check.\n";
}

TEST_F(ClusterFiles, WritersProduceTheFileByteForByteWhateverTheStreamFormat) {
  const std::vector<replicate> replicates = buildState();
  std::ostringstream out;
  out << std::fixed << std::setprecision(2) << std::showpos;  // must not leak into the file
  writeBootstrapState(out, replicates);
  writeLevel1Uboots(out);
  EXPECT_EQ(out.str(), oldStateText);
  EXPECT_EQ(completeFile(out.str(), 2, 3), stateText);
}

// The last line's content hash covers every byte before its digits; expected lines from
// testdata/partial_file_hashes.py.
TEST_F(ClusterFiles, LastLineNamesTheInstanceAndHashesTheContentBeforeIt) {
  struct lastLineCase {
    const char* what;
    std::string body;
    int k;
    int n;
    std::string line;
  };
  const lastLineCase cases[] = {
      {"buildState, 2/3", oldStateText, 2, 3, lastLineOfTheFixture},
      {"buildState, 1/1", oldStateText, 1, 1,
       "snps 6 5249f60f6efb9f40 instance 1/1 content c841fd3818d4b992\n"},
      {"no line before it", "", 1, 1,
       "snps 6 5249f60f6efb9f40 instance 1/1 content 8fbdccdafe4a8c8e\n"},
  };
  for (const lastLineCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::istringstream body(c.body);
    EXPECT_EQ(partialFileLastLine(body, c.k, c.n), c.line);
    std::istringstream in(c.body + c.line);
    partialResultsReader reader(in, "out.zuq.2.3");
    std::vector<replicate> replicates;
    if (!c.body.empty()) {
      readBootstrapState(reader, replicates);
      readLevel1Uboots(reader);
    }
    const std::optional<partialFileEnd> end = readLastLine(reader);
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(end->snpList, snpListIdOf(snps));
    EXPECT_EQ(end->instance, c.k);
    EXPECT_EQ(end->instanceCount, c.n);
  }
}

// A file changed after it was written, whatever the change, is refused: where the change still
// parses, by its content hash. FNV-1a tells every change of a single byte.
TEST_F(ClusterFiles, AFileChangedAfterItWasWrittenIsRefused) {
  const std::string changed =
      "Error: Cluster results file out.zuq.2.3 is damaged or was edited: its content does not "
      "match the hash in its last line.\n";
  struct changeCase {
    const char* what;
    std::string from;
    std::string to;
  };
  const changeCase cases[] = {
      {"a naive p", "7.16126e-05", "7.16127e-05"},
      {"a replicate's Ud", "0.9376 A 0.41245", "0.9377 A 0.41245"},
      {"an allele", "5 T 2e-06 1.25 T 1.25 C 0", "5 T 2e-06 1.25 T 1.25 G 0"},
      {"the count of analysed resamples", "2\n7\n", "2\n8\n"},
      {"a level-1 value", "0.25 -1.5 ", "0.35 -1.5 "},
      {"the SNP list", "5249f60f6efb9f40", "5249f60f6efb9f41"},
      {"the instance", "instance 2/3", "instance 1/3"},
      {"the hash", "01a851497a8c87bb", "01a851497a8c87bc"},
  };
  for (const changeCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = stateText;
    const size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, c.from.size(), c.to);
    EXPECT_EQ(fatalOutput([&] {
                std::vector<replicate> replicates;
                readAll(text, replicates);
              }),
              changed);
  }
  // Every byte, changed one at a time: refused, as malformed or as changed.
  const std::string refused = "Error: Cluster results file out.zuq.2.3 is ";
  for (size_t at = 0; at < stateText.size(); ++at) {
    std::string text = stateText;
    text[at] = text[at] == '1' ? '2' : '1';
    const std::string printed = fatalOutput([&] {
      std::vector<replicate> replicates;
      readAll(text, replicates);
    });
    EXPECT_EQ(printed.rfind(refused, 0), 0u) << "byte " << at << ": " << printed;
  }
}

TEST_F(ClusterFiles, AllelesThatWouldNotSurviveTheLineAreWrittenAsX) {
  struct alleleCase {
    char allele;
    char written;
  };
  const alleleCase cases[] = {
      {'A', 'A'}, {'0', '0'}, {'!', '!'}, {'~', '~'}, {'\x7f', '\x7f'}, {' ', 'X'},
      {'\0', 'X'}, {'\t', 'X'}, {'\n', 'X'}, {'\x80', 'X'}, {'\xe9', 'X'},
  };
  for (const alleleCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(static_cast<unsigned char>(c.allele)));
    std::ostringstream out;
    writeResultRecord(out, record(2, 'T', 0.5, 1, c.allele, 2, c.allele, 3));
    EXPECT_EQ(out.str(), std::string("2 T 0.5 1 ") + c.written + " 2 " + c.written + " 3\n");
  }
}

TEST_F(ClusterFiles, ReaderGivesBackWhatTheWritersStored) {
  const std::vector<replicate> written = buildState();
  std::ostringstream out;
  writeBootstrapState(out, written);
  writeLevel1Uboots(out);
  const std::vector<resultRecord> naiveWritten = naiveResults;
  const std::vector<std::vector<double>> rowsWritten = level1Uboots;

  nSig = 0;
  replicatesSeen = 5;  // the join adds up the counts of its files
  naiveResults = {record(4, 'A', 1, 1, 'A', 1, 'A', 1)};
  level1Uboots = {{9.0}};
  std::vector<replicate> replicates = {{record(4, 'C', 0.1, 0.2, 'C', 0.3, 'C', 0.4)}};
  readAll(completeFile(out.str(), 2, 3), replicates);

  EXPECT_EQ(nSig, 2);
  EXPECT_EQ(replicatesSeen, 12);
  auto expectRecord = [](const resultRecord& got, const resultRecord& want) {
    EXPECT_EQ(got.snp, want.snp);
    EXPECT_EQ(got.alleleUn, want.alleleUn);
    // Six significant digits survive the file.
    for (auto [g, w] : {std::pair{got.p, want.p}, {got.un, want.un}, {got.ud, want.ud},
                        {got.ue, want.ue}}) {
      EXPECT_NEAR(g, w, 5e-6 * std::fabs(w));
    }
  };
  ASSERT_EQ(naiveResults.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE("naive " + std::to_string(i));
    expectRecord(naiveResults[i], naiveWritten[i]);
    EXPECT_EQ(naiveResults[i].alleleUd, 'X');  // stored unset, read back as the letter
    EXPECT_EQ(naiveResults[i].ud, missingValue);
  }
  ASSERT_EQ(replicates.size(), 3u);  // appended after the one already there
  EXPECT_EQ(replicates[0][0].snp, snps[4]);
  for (size_t b = 0; b < 2; ++b) {
    ASSERT_EQ(replicates[b + 1].size(), written[b].size());
    for (size_t k = 0; k < written[b].size(); ++k) {
      SCOPED_TRACE("replicate " + std::to_string(b) + " rank " + std::to_string(k));
      expectRecord(replicates[b + 1][k], written[b][k]);
      EXPECT_EQ(replicates[b + 1][k].alleleUd, written[b][k].alleleUd);
      EXPECT_EQ(replicates[b + 1][k].alleleUe, written[b][k].alleleUe);
    }
  }
  ASSERT_EQ(level1Uboots.size(), 3u);
  EXPECT_EQ(level1Uboots[1], rowsWritten[0]);
  EXPECT_EQ(level1Uboots[2], rowsWritten[1]);
}

TEST_F(ClusterFiles, ReaderTakesNonFiniteValuesAndAnyAlleleUnByte) {
  nSig = 1;
  replicatesSeen = 0;
  const double inf = std::numeric_limits<double>::infinity();
  naiveResults = {record(2, ' ', 0.001, -inf, 0, missingValue, 0, missingValue)};
  level1Uboots = {{std::nan("")}};
  const std::vector<replicate> written = {{record(2, '\0', 0.002, inf, 'A', inf, 'C', -inf)}};
  std::ostringstream out;
  writeBootstrapState(out, written);
  writeLevel1Uboots(out);
  naiveResults.clear();
  level1Uboots.clear();

  std::vector<replicate> replicates;
  readAll(completeFile(out.str(), 2, 3), replicates);
  ASSERT_EQ(naiveResults.size(), 1u);
  EXPECT_EQ(naiveResults[0].alleleUn, ' ');
  EXPECT_EQ(naiveResults[0].p, 0.001);
  EXPECT_EQ(naiveResults[0].un, -inf);
  ASSERT_EQ(replicates.size(), 1u);
  ASSERT_EQ(replicates[0].size(), 1u);
  EXPECT_EQ(replicates[0][0].alleleUn, '\0');
  EXPECT_EQ(replicates[0][0].ud, inf);
  EXPECT_EQ(replicates[0][0].ue, -inf);
  ASSERT_EQ(level1Uboots.size(), 1u);
  ASSERT_EQ(level1Uboots[0].size(), 1u);
  EXPECT_TRUE(std::isnan(level1Uboots[0][0]));
}

TEST_F(ClusterFiles, TruncatedOrMalformedFilesEndTheRunNamingFileAndLine) {
  // stateText with one change: the line (1-based) replaced by the text, or cut off there.
  struct faultCase {
    const char* what;
    int line;
    const char* replacement;  // nullptr: the file ends before this line
    std::string message;
  };
  const std::string lead =
      "Error: Cluster results file out.zuq.2.3 is truncated or malformed at line ";
  const faultCase cases[] = {
      {"empty file", 1, nullptr, "1: the file ends before nSig, the number of significant SNPs.\n"},
      {"ends inside a replicate", 9, nullptr, "9: the file ends before a record line.\n"},
      {"no level-1 part", 12, nullptr,
       "12: the file ends before the number of level-1 Uboot rows.\n"},
      {"ends before a row's values", 16, nullptr,
       "16: the file ends before the values of a level-1 Uboot row.\n"},
      {"count not a number", 6, "two",
       "6: expected the number of level-0 replicates (an integer of at least 0), found \"two\".\n"},
      {"negative count", 13, "-1",
       "13: expected the length of a level-1 Uboot row (an integer from 0 to 2), found \"-1\".\n"},
      {"zero significant SNPs", 1, "0",
       "1: expected nSig, the number of significant SNPs (an integer of at least 1), found "
       "\"0\".\n"},
      {"naive count not nSig", 3, "3",
       "3: expected the number of naive records (exactly 2), found \"3\".\n"},
      {"replicate longer than nSig", 7, "3",
       "7: expected the record count of a level-0 replicate (an integer from 0 to 2), found "
       "\"3\".\n"},
      {"blank after a count", 2, "7 ",
       "2: expected the number of analysed resamples (an integer of at least 0), found \"7 \".\n"},
      {"seven fields", 8, "3 A 1.4589e-07 0.9376 A 0.9376 A",
       "8: field 7 (alleleUe) of the record is missing; a record line has eight fields separated "
       "by single blanks.\n"},
      {"nine fields", 8, "3 A 1.4589e-07 0.9376 A 0.9376 A 0.41245 1",
       "8: field 8 (ue) of the record is not a number: \"0.41245 1\".\n"},
      {"two blanks", 8, "3 A  1.4589e-07 0.9376 A 0.9376 A 0.41245",
       "8: field 3 (p) of the record is missing; a record line has eight fields separated by "
       "single blanks.\n"},
      {"allele of two letters", 8, "3 A 1.4589e-07 0.9376 AG 0.9376 A 0.41245",
       "8: field 5 (alleleUd) of the record is missing; a record line has eight fields separated "
       "by single blanks.\n"},
      {"p not a number", 4, "3 A 7.1e-05x 0.68125 X 1e+81 X 1e+81",
       "4: field 3 (p) of the record is not a number: \"7.1e-05x\".\n"},
      {"SNP index beyond the data set", 11, "6 C 1e-05 1.23457e+06 C 1.23457e+06 C -100000",
       "11: SNP index 6 is outside the data set of 6 SNPs (join with the input files and filters "
       "of the instances).\n"},
      {"negative SNP index", 5, "-1 G 0.00019273 0.5 X 1e+81 X 1e+81",
       "5: SNP index -1 is outside the data set of 6 SNPs (join with the input files and filters "
       "of the instances).\n"},
      {"row short of values", 14, "0.25 ",
       "14: the level-1 Uboot row has fewer than its 2 values, each followed by one blank.\n"},
      {"row without its last blank", 14, "0.25 -1.5",
       "14: the level-1 Uboot row has fewer than its 2 values, each followed by one blank.\n"},
      {"row with a value too many", 14, "0.25 -1.5 3 ",
       "14: the level-1 Uboot row has more than its 2 values.\n"},
      {"row value not a number", 14, "0.25 NA ",
       "14: value 2 of the level-1 Uboot row is not a number: \"NA\".\n"},
      {"windows line end", 1, "2\r",
       "1: expected nSig, the number of significant SNPs (an integer of at least 1), found "
       "\"2\r\".\n"},
  };
  std::vector<std::string> lines;
  {
    std::istringstream in(stateText);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  for (const faultCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text;
    for (int i = 1; i <= static_cast<int>(lines.size()); ++i) {
      if (i == c.line && c.replacement == nullptr) break;
      text += (i == c.line ? std::string(c.replacement) : lines[static_cast<size_t>(i - 1)]) + "\n";
    }
    EXPECT_EQ(fatalOutput([&] {
                std::vector<replicate> replicates;
                readAll(text, replicates);
              }),
              lead + c.message);
  }
}

TEST_F(ClusterFiles, ACutOffLastLineOrTrailingTextIsNoCompleteFile) {
  const std::string lead =
      "Error: Cluster results file out.zuq.2.3 is truncated or malformed at line ";
  struct endCase {
    const char* what;
    std::string text;
    std::string message;
  };
  const endCase cases[] = {
      {"no final line end", stateText.substr(0, stateText.size() - 1),
       "17: the last line (the SNP-list line) is cut short (no line end).\n"},
      {"no final line end in a file without SNP list",
       oldStateText.substr(0, oldStateText.size() - 1),
       "16: the file ends before the values of a level-1 Uboot row.\n"},
      {"cut inside a record", stateText.substr(0, stateText.find("0 C 1e-05") + 5),
       "11: the last line (a record line) is cut short (no line end).\n"},
      {"cut after a row's values", stateText.substr(0, stateText.find("0.25 -1.5 ") + 10),
       "14: the last line (the values of a level-1 Uboot row) is cut short (no line end).\n"},
      {"a second file appended", stateText + stateText,
       "18: text follows the SNP-list line, which ends the file.\n"},
      {"a second file appended to one without SNP list", oldStateText + oldStateText,
       "17: expected the SNP-list line or the end of the file, found \"2\"; it reads \"snps\", "
       "the SNP count and 16 hex digits, separated by single blanks.\n"},
  };
  for (const endCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(fatalOutput([&] {
                std::vector<replicate> replicates;
                readAll(c.text, replicates);
              }),
              lead + c.message);
  }
}

// The SNP-list line names the SNPs by their order in the data set, so that replicate records
// (which carry only indexes) can be checked against the joining data set.
TEST_F(ClusterFiles, SnpListLineIdentifiesTheNamesInIndexOrder) {
  struct listCase {
    const char* what;
    std::vector<std::string> names;
    std::string line;  // from testdata/partial_file_hashes.py
  };
  const listCase cases[] = {
      {"rs0 .. rs5", {"rs0", "rs1", "rs2", "rs3", "rs4", "rs5"}, snpListOfTheFixture},
      {"two names swapped", {"rs0", "rs1", "rs2", "rs3", "rs5", "rs4"},
       "snps 6 e6200ac79ed066ac\n"},
      {"no SNP", {}, "snps 0 cbf29ce484222325\n"},
  };
  for (const listCase& c : cases) {
    SCOPED_TRACE(c.what);
    freeDataSet();
    for (const std::string& name : c.names) addSnp(name, 1, 1000);
    EXPECT_EQ(snpListLine(), c.line);
    std::istringstream in(c.line);
    partialResultsReader reader(in, "out.zuq.2.3");
    const std::optional<partialFileEnd> end = readLastLine(reader);
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(end->snpList, snpListIdOf(snps));
    EXPECT_EQ(end->instance, 0);  // a file of the version before the instance part
  }
}

TEST_F(ClusterFiles, AFileWithoutSnpListIsReadAsBefore) {
  buildState();
  std::istringstream in(oldStateText);
  partialResultsReader reader(in, "out.zuq.2.3");
  std::vector<replicate> replicates;
  readBootstrapState(reader, replicates);
  readLevel1Uboots(reader);
  EXPECT_EQ(readLastLine(reader), std::nullopt);
  EXPECT_EQ(replicates.size(), 2u);
  EXPECT_EQ(level1Uboots.size(), 4u);  // two of buildState, two read
}

TEST_F(ClusterFiles, AMalformedLastLineEndsTheRun) {
  struct lineCase {
    std::string line;
    std::string problem;
  };
  const std::string format =
      "; it reads \"snps\", the SNP count and 16 hex digits, separated by single blanks.\n";
  const std::string instanceFormat =
      " is malformed; after the SNP list it reads \"instance\", k/n of the instance that wrote "
      "the file, \"content\" and 16 hex digits, separated by single blanks.\n";
  const std::string snpList = "snps 6 5249f60f6efb9f40";
  auto instanceCase = [&](const std::string& rest) {
    return lineCase{snpList + rest, "the last line \"" + snpList + rest + "\"" + instanceFormat};
  };
  const lineCase cases[] = {
      instanceCase(" instance 2/3"),
      instanceCase(" instance "),
      instanceCase(" instance 2-3 content 01a851497a8c87bb"),
      instanceCase(" instance 0/3 content 01a851497a8c87bb"),
      instanceCase(" instance 4/3 content 01a851497a8c87bb"),
      instanceCase(" instance +2/3 content 01a851497a8c87bb"),
      instanceCase(" instance 2/ content 01a851497a8c87bb"),
      instanceCase(" instance 2/3  content 01a851497a8c87bb"),
      instanceCase(" instance 2/3 contents 01a851497a8c87bb"),
      instanceCase(" instance 2/3 content 01A851497A8C87BB"),
      instanceCase(" instance 2/3 content 01a851497a8c87bb "),
      instanceCase(" instance 2/3 content 01a851497a8c87b"),
      {"snps 6 instance 2/3 content 01a851497a8c87bb",
       "the SNP-list line \"snps 6 instance 2/3 content 01a851497a8c87bb\" is malformed" + format},
      {"snp 6 5249f60f6efb9f40", "expected the SNP-list line or the end of the file, found "
                                 "\"snp 6 5249f60f6efb9f40\"" + format},
      {"", "expected the SNP-list line or the end of the file, found \"\"" + format},
      {"snps 6", "the SNP-list line \"snps 6\" is malformed" + format},
      {"snps  6 5249f60f6efb9f40",
       "the SNP-list line \"snps  6 5249f60f6efb9f40\" is malformed" + format},
      {"snps -6 5249f60f6efb9f40",
       "the SNP-list line \"snps -6 5249f60f6efb9f40\" is malformed" + format},
      {"snps +6 5249f60f6efb9f40",
       "the SNP-list line \"snps +6 5249f60f6efb9f40\" is malformed" + format},
      {"snps 99999999999 5249f60f6efb9f40",
       "the SNP-list line \"snps 99999999999 5249f60f6efb9f40\" is malformed" + format},
      {"snps 6 5249f60f6efb9f4", "the SNP-list line \"snps 6 5249f60f6efb9f4\" is malformed" + format},
      {"snps 6 5249F60F6EFB9F40",
       "the SNP-list line \"snps 6 5249F60F6EFB9F40\" is malformed" + format},
      {"snps 6 5249f60f6efb9f40 ",
       "the SNP-list line \"snps 6 5249f60f6efb9f40 \" is malformed" + format},
      {"snps 6 5249f60f6efb9f40\r",
       "the SNP-list line \"snps 6 5249f60f6efb9f40\r\" is malformed" + format},
      {"snps 6 0x249f60f6efb9f40",
       "the SNP-list line \"snps 6 0x249f60f6efb9f40\" is malformed" + format},
  };
  for (const lineCase& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(fatalOutput([&] {
                std::vector<replicate> replicates;
                readAll(oldStateText + c.line + "\n", replicates);
              }),
              "Error: Cluster results file out.zuq.2.3 is truncated or malformed at line 17: " +
                  c.problem);
  }
}

// The instance's set-up in the driver: the file, the shares, the seed and the four lines.
TEST_F(ClusterFiles, InstanceSetUpOpensItsFileTakesItsShareAndReseeds) {
  outFileName = dir.file("run.zuq");
  clusterIndex = 2;
  clusterCount = 3;
  nL0 = 100;
  nL1 = 10;
  runSeed = 1000;
  writeWholeFile(dir.file("run.zuq.2.3"), "an old file\n");
  testing::internal::CaptureStdout();
  setUpClusterInstance();
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed,
            "Clustering instance 2 of 3\n"
            "  Will run 33 level 0 bootstraps.\n"
            "  Will run 3 level 1 bootstraps.\n"
            "  Using seed 16554 for random number generation.\n");
  EXPECT_EQ(nL0, 33);
  EXPECT_EQ(nL1, 3);
  randomGenerator expected(16554);
  EXPECT_EQ(rng.next(), expected.next());
  clusterFile << "new\n";
  closeClusterFile();
  // The old file replaced, and the new one ended with its last line, for instance 2 of 3
  // (testdata/partial_file_hashes.py).
  EXPECT_EQ(readWholeFile(dir.file("run.zuq.2.3")),
            "new\nsnps 6 5249f60f6efb9f40 instance 2/3 content 036f0a5353c853e3\n");
}

TEST_F(ClusterFiles, InstanceSeedWrapsIn32Bits) {
  outFileName = dir.file("run.zuq");
  clusterIndex = 3;
  clusterCount = 3;
  runSeed = 2147483647;
  testing::internal::CaptureStdout();
  setUpClusterInstance();
  const std::string printed = testing::internal::GetCapturedStdout();
  closeClusterFile();
  // 2147483647 + 23331 wraps to -2147460318.
  EXPECT_NE(printed.find("  Using seed -2147460318 for random number generation.\n"),
            std::string::npos)
      << printed;
}

TEST_F(ClusterFiles, InstanceArgumentsThatCannotBeJoinedAreRefused) {
  struct argumentCase {
    int k;
    int n;
    int keep;
    std::string message;
  };
  const argumentCase cases[] = {
      {1, 0, -1, "Error: --cluster k/n needs n of at least 1 and k from 1 to n (got 1/0).\n"},
      {4, 3, -1, "Error: --cluster k/n needs n of at least 1 and k from 1 to n (got 4/3).\n"},
      {-1, 3, -1, "Error: --cluster k/n needs n of at least 1 and k from 1 to n (got -1/3).\n"},
      {1, 3, 20,
       "Error: --keep cannot be used with --cluster: the join could not find the SNPs of the "
       "reduced data set.\n"},
  };
  outFileName = dir.file("run.zuq");
  for (const argumentCase& c : cases) {
    SCOPED_TRACE(c.message);
    clusterIndex = c.k;
    clusterCount = c.n;
    keepCount = c.keep;
    EXPECT_EQ(fatalOutput(setUpClusterInstance), c.message);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("run.zuq.1.3")));
}

TEST_F(ClusterFiles, AnInstanceFileThatCannotBeCreatedOrWrittenIsAnError) {
  outFileName = dir.file("missing-directory/run.zuq");
  clusterIndex = 1;
  clusterCount = 2;
  EXPECT_EQ(fatalOutput(setUpClusterInstance),
            "Error: Cannot create cluster results file: " + dir.file("missing-directory/run.zuq") +
                ".1.2 (No such file or directory).\n");

  // A device that takes no data: the loss shows when the buffer is flushed at the close.
  outFileName = dir.file("run.zuq");
  nL0 = 100;
  nL1 = 0;
  runSeed = 0;
  std::filesystem::create_symlink("/dev/full", dir.file("run.zuq.1.2.incomplete"));
  EXPECT_EQ(fatalOutput([this] {
              setUpClusterInstance();
              const std::vector<replicate> replicates = buildState();
              writeBootstrapState(clusterFile, replicates);
              closeClusterFile();
            }),
            "Clustering instance 1 of 2\n"
            "  Will run 50 level 0 bootstraps.\n"
            "  Will run 0 level 1 bootstraps.\n"
            "  Using seed 7777 for random number generation.\n"
            "Error: Cannot write cluster results file: " + dir.file("run.zuq.1.2") +
                " (No space left on device).\n");
}

// A join must never take the file of an instance stopped half-way for a finished one: the file
// appears under its name only once it is complete, and an old one goes when an instance starts.
TEST_F(ClusterFiles, AnInstanceFileAppearsOnlyWhenComplete) {
  outFileName = dir.file("run.zuq");
  clusterIndex = 1;
  clusterCount = 2;
  nL0 = 100;
  nL1 = 0;
  const std::string name = dir.file("run.zuq.1.2");
  testsupport::writeWholeFile(name, "an old instance's file\n");
  testing::internal::CaptureStdout();
  setUpClusterInstance();
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(std::filesystem::exists(name));
  const std::vector<replicate> replicates = buildState();
  writeBootstrapState(clusterFile, replicates);
  clusterFile.flush();
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_TRUE(std::filesystem::exists(incompleteFileName(name)));
  closeClusterFile();
  EXPECT_FALSE(std::filesystem::exists(incompleteFileName(name)));
  std::ostringstream expected;
  writeBootstrapState(expected, replicates);
  EXPECT_EQ(testsupport::readWholeFile(name), completeFile(expected.str(), 1, 2));
}

// The join's checks before it pools anything; the files are written with the writers. The
// join's own naive records are those of buildState unless a case says otherwise.
class ClusterJoin : public ClusterFiles {
 protected:
  // The file of instance k of n holding the replicates and the current results.
  static void writeStateFile(int k, int n, const std::vector<replicate>& replicates) {
    std::ostringstream out;
    writeBootstrapState(out, replicates);
    writeLevel1Uboots(out);
    writeWholeFile(clusterFileName(k, n), completeFile(out.str(), k, n));
  }
  // Instances draw other resamples, so their files differ; here only in the count of analysed
  // resamples (7 for instance 1), which leaves the pooled replicates as they are.
  void writePartialFile(int k, int n) {
    const std::vector<replicate> replicates = buildState();
    replicatesSeen = 6 + k;
    writeStateFile(k, n, replicates);
  }
  std::vector<resultRecord> ownNaive() {
    buildState();
    return naiveResults;
  }

  // Joins the files 1 to n against the naive records of buildState. With error "" the join must
  // go through, pooling the given number of level-0 replicates and warning of the files
  // unchecked (read without their instance and content check), each once, and of no other;
  // otherwise it must be refused, printing error after the line of the first file.
  void expectJoin(int n, const std::string& error, size_t pooled,
                  const std::vector<std::string>& unchecked = {}) {
    const std::vector<resultRecord> own = ownNaive();
    naiveResults.clear();
    level1Uboots.clear();
    if (!error.empty()) {
      EXPECT_EQ(fatalOutput([&own, n] { joinPartialFiles(n, own); }),
                "Reading partial results from file " + clusterFileName(1, n) + ".\n" + error);
      return;
    }
    testing::internal::CaptureStdout();
    joinPartialFiles(n, own);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.find("Error"), std::string::npos) << printed;
    EXPECT_NE(printed.find("L0 size is " + std::to_string(pooled) + "\n"), std::string::npos)
        << printed;
    EXPECT_NE(printed.find("Analysis finished."), std::string::npos) << printed;
    std::string warnings;
    for (const std::string& name : unchecked) warnings += uncheckedWarning(name);
    EXPECT_EQ(linesStartingWith(printed, "Warning: Cluster results file "), warnings);
    ciLower.clear();
    ciUpper.clear();
  }

  static std::string linesStartingWith(const std::string& text, const std::string& prefix) {
    std::istringstream in(text);
    std::string lines;
    for (std::string line; std::getline(in, line);) {
      if (line.compare(0, prefix.size(), prefix) == 0) lines += line + "\n";
    }
    return lines;
  }

  testsupport::scratchWorkingDirectory work{"cluster_join"};
};

TEST_F(ClusterJoin, StopsAtTheFirstFileThatCannotBeOpened) {
  clusterCount = 3;
  writePartialFile(1, 3);
  writePartialFile(3, 3);
  const std::vector<resultRecord> own = ownNaive();
  EXPECT_EQ(fatalOutput([&own] { joinPartialFiles(3, own); }),
            "Reading partial results from file out.zuq.1.3.\n"
            "Reading partial results from file out.zuq.2.3.\n"
            "Error: Cannot open cluster results file: out.zuq.2.3\n");
}

// A file whose naive records are not the join's own (other data, filters or options) would put
// its results under other SNPs: refused, naming the file, whether it is the first or a later one.
TEST_F(ClusterJoin, RefusesFilesOfOtherAnalyses) {
  struct mismatchCase {
    const char* what;
    std::function<void()> change;  // applied to the state of the file
    std::string difference;
  };
  const mismatchCase cases[] = {
      {"nSig", [] { nSig = 1; naiveResults.pop_back(); },
       "1 significant SNPs in the file, 2 in this data set"},
      {"SNP (a filter shifted the indexes)", [] { naiveResults[1].snp = snps[2]; },
       "significant SNP 2 is SNP index 2 (rs2 here) in the file, rs1 in this data set"},
      {"p", [] { naiveResults[0].p = 7.16127e-05; },
       "rs3 has p 7.16127e-05 in the file, 7.16126e-05 in this data set"},
      {"allele", [] { naiveResults[1].alleleUn = 'C'; },
       "rs1 has the naive estimate 0.5 (C) in the file, 0.5 (G) in this data set"},
      {"estimate", [] { naiveResults[0].un = 0.681251; },
       "rs3 has the naive estimate 0.681251 (A) in the file, 0.68125 (A) in this data set"},
  };
  for (int bad : {1, 2}) {
    for (const mismatchCase& c : cases) {
      SCOPED_TRACE(std::string(c.what) + ", file " + std::to_string(bad));
      writePartialFile(3 - bad, 2);
      {
        std::vector<replicate> replicates = buildState();
        c.change();
        // Whatever the change, the file stays well-formed: nothing longer than its nSig.
        for (replicate& records : replicates) {
          if (records.size() > static_cast<size_t>(nSig)) {
            records.resize(static_cast<size_t>(nSig));
          }
        }
        for (std::vector<double>& row : level1Uboots) {
          if (row.size() > static_cast<size_t>(nSig)) row.resize(static_cast<size_t>(nSig));
        }
        writeStateFile(bad, 2, replicates);
      }
      const std::vector<resultRecord> own = ownNaive();
      std::string expected = "Reading partial results from file out.zuq.1.2.\n";
      if (bad == 2) expected += "Reading partial results from file out.zuq.2.2.\n";
      expected += "Error: Cluster results file out.zuq." + std::to_string(bad) +
                  ".2 does not belong to this analysis (" + c.difference +
                  "): join with the input files, filters and options of the instances.\n";
      EXPECT_EQ(fatalOutput([&own] { joinPartialFiles(2, own); }), expected);
    }
  }
}

// The naive records cover only the significant SNPs; a data set that differs beyond them (a
// filter that removed a later SNP, another file) would still shift the SNPs of the replicate
// records. The SNP-list line that ends the file tells; a file without it (older versions) is read
// as before.
TEST_F(ClusterJoin, ChecksTheSnpListOfTheInstanceWhereTheFileCarriesOne) {
  struct listCase {
    const char* what;
    std::function<void()> changeJoinDataSet;
    std::function<std::string(const std::string&)> changeFile;
    std::string error;  // "" when the join goes through
    std::vector<std::string> unchecked = {};  // the files it warns of
  };
  const auto same = [](const std::string& text) { return text; };
  const auto withSnpListOnly = [](const std::string& text) {
    return withoutLastLine(text) + snpListOfTheFixture;
  };
  const std::string notOurs = "Error: Cluster results file out.zuq.1.1 does not belong to this "
                              "analysis (";
  const std::string advice = "): join with the input files, filters and options of the "
                             "instances.\n";
  const listCase cases[] = {
      {"the same SNPs", [] {}, same, ""},
      {"a SNP more in the join's data set", [] { addSnp("rs6", 1, 7000); }, same,
       notOurs + "the instance's data set has 6 SNPs, this one 7" + advice},
      {"a SNP after the significant ones renamed", [] { snps[5]->name = "rs5b"; }, same,
       notOurs + "the SNP names of the instance's data set are not those of this one, in the "
                 "same order" + advice},
      {"two SNPs after the significant ones in the other order",
       [] { std::swap(snps[4]->name, snps[5]->name); }, same,
       notOurs + "the SNP names of the instance's data set are not those of this one, in the "
                 "same order" + advice},
      {"no SNP list (an older file)", [] {}, withoutLastLine, "", {"out.zuq.1.1"}},
      {"the SNP list alone (an older file)", [] {}, withSnpListOnly, "", {"out.zuq.1.1"}},
      {"the SNP list alone, of another data set", [] { addSnp("rs6", 1, 7000); },
       withSnpListOnly,
       uncheckedWarning("out.zuq.1.1") + notOurs +
           "the instance's data set has 6 SNPs, this one 7" + advice},
      {"a malformed SNP list",
       [] {},
       [](const std::string& text) {
         return withoutLastLine(text) + "snps 6 5249f60f6efb9f40 7\n";
       },
       "Error: Cluster results file out.zuq.1.1 is truncated or malformed at line 17: the "
       "SNP-list line \"snps 6 5249f60f6efb9f40 7\" is malformed; it reads \"snps\", the SNP "
       "count and 16 hex digits, separated by single blanks.\n"},
  };
  adjCor = 0;
  clusterCount = 1;
  for (const listCase& c : cases) {
    SCOPED_TRACE(c.what);
    freeDataSet();
    for (int i = 0; i < 6; ++i) addSnp("rs" + std::to_string(i), 1, 1000 * (i + 1));
    writePartialFile(1, 1);
    writeWholeFile(clusterFileName(1, 1), c.changeFile(readWholeFile(clusterFileName(1, 1))));
    c.changeJoinDataSet();
    expectJoin(1, c.error, 2, c.unchecked);
  }
}

// Each file must be the one its name says, as written: a copy of another instance's file would
// count that instance's replicates twice, a changed file would pool values no instance computed.
// Files of earlier versions say neither and are read with a warning; a copy is still told by its
// content before the last line, whatever that line is.
TEST_F(ClusterJoin, RefusesFilesThatAreNotTheInstancesOwnAsWritten) {
  const auto rename = [](const std::string& from, const std::string& to) {
    std::filesystem::rename(from, to);
  };
  const auto editFile2 = [](const std::function<std::string(const std::string&)>& edit) {
    writeWholeFile("out.zuq.2.2", edit(readWholeFile("out.zuq.2.2")));
  };
  const auto copyFile1 = [](const std::function<std::string(const std::string&)>& edit) {
    writeWholeFile("out.zuq.2.2", edit(readWholeFile("out.zuq.1.2")));
  };
  const std::string copyRefused =
      "Reading partial results from file out.zuq.2.2.\n" + uncheckedWarning("out.zuq.2.2") +
      "Error: Cluster results files out.zuq.1.2 and out.zuq.2.2 have the same content before "
      "their last lines: one is a copy of the other, and the join would count its replicates "
      "twice.\n";
  struct setCase {
    const char* what;
    std::function<void()> change;  // applied to the files of instances 1 and 2 of 2
    std::string error;             // "" when the join goes through
    std::vector<std::string> unchecked = {};  // the files it warns of
  };
  const setCase cases[] = {
      {"the files of instances 1 and 2", [] {}, ""},
      {"a copy of file 1 as file 2",
       [] { std::filesystem::copy_file("out.zuq.1.2", "out.zuq.2.2",
                                       std::filesystem::copy_options::overwrite_existing); },
       "Reading partial results from file out.zuq.2.2.\n"
       "Error: Cluster results file out.zuq.2.2 was written by instance 1 of 2: the join needs "
       "the file of instance 2 of 2 under this name.\n"},
      {"files 1 and 2 swapped",
       [&rename] {
         rename("out.zuq.1.2", "swap");
         rename("out.zuq.2.2", "out.zuq.1.2");
         rename("swap", "out.zuq.2.2");
       },
       "Error: Cluster results file out.zuq.1.2 was written by instance 2 of 2: the join needs "
       "the file of instance 1 of 2 under this name.\n"},
      {"the file of instance 2 of 3 as file 2",
       [&rename, this] {
         writePartialFile(2, 3);
         rename("out.zuq.2.3", "out.zuq.2.2");
       },
       "Reading partial results from file out.zuq.2.2.\n"
       "Error: Cluster results file out.zuq.2.2 was written by instance 2 of 3: the join needs "
       "the file of instance 2 of 2 under this name.\n"},
      {"a value changed in file 2",
       [&editFile2] {
         editFile2([](std::string text) {
           return text.replace(text.find("0.9376 A 0.41245"), 16, "0.9376 A 0.41246");
         });
       },
       "Reading partial results from file out.zuq.2.2.\n"
       "Error: Cluster results file out.zuq.2.2 is damaged or was edited: its content does not "
       "match the hash in its last line.\n"},
      {"file 2 of an earlier version, without last line",
       [&editFile2] { editFile2(withoutLastLine); }, "", {"out.zuq.2.2"}},
      {"file 2 of an earlier version, with the SNP list alone",
       [&editFile2] {
         editFile2([](const std::string& text) {
           return withoutLastLine(text) + snpListOfTheFixture;
         });
       },
       "", {"out.zuq.2.2"}},
      {"files 1 and 2 of an earlier version", [&editFile2] {
         editFile2(withoutLastLine);
         writeWholeFile("out.zuq.1.2", withoutLastLine(readWholeFile("out.zuq.1.2")));
       },
       "", {"out.zuq.1.2", "out.zuq.2.2"}},
      {"a copy of file 1 without its last line as file 2",
       [&copyFile1] { copyFile1(withoutLastLine); }, copyRefused},
      {"a copy of file 1 ending with the SNP list alone as file 2",
       [&copyFile1] {
         copyFile1([](const std::string& text) {
           return withoutLastLine(text) + snpListOfTheFixture;
         });
       },
       copyRefused},
      {"a copy of file 1 without its last line as file 1 and as file 2",
       [&copyFile1] {
         copyFile1(withoutLastLine);
         writeWholeFile("out.zuq.1.2", readWholeFile("out.zuq.2.2"));
       },
       uncheckedWarning("out.zuq.1.2") + copyRefused},
      {"file 2 edited, without its last line (no check can tell)",
       [&editFile2] {
         editFile2([](std::string text) {
           text = withoutLastLine(text);
           return text.replace(text.find("0.9376 A 0.41245"), 16, "0.9376 A 0.41246");
         });
       },
       "", {"out.zuq.2.2"}},
  };
  adjCor = 0;
  clusterCount = 2;
  for (const setCase& c : cases) {
    SCOPED_TRACE(c.what);
    writePartialFile(1, 2);
    writePartialFile(2, 2);
    c.change();
    expectJoin(2, c.error, 4, c.unchecked);
  }
}

// Instances whose share found no significant resample write the same lines before their last
// lines (no replicate, no level-1 row): by design, not a copy, and a file that adds nothing. A
// copy of such a file, with its last line gone, is read all the same.
TEST_F(ClusterJoin, TakesEqualFilesThatCarryNoResample) {
  struct emptyCase {
    const char* what;
    bool cutLastLine;
    std::vector<std::string> unchecked;
  };
  const emptyCase cases[] = {
      {"the files of instances 1 and 2", false, {}},
      {"a copy of file 1 without its last line as file 2", true, {"out.zuq.2.2"}},
  };
  adjCor = 0;
  clusterCount = 2;
  for (const emptyCase& c : cases) {
    SCOPED_TRACE(c.what);
    buildState();
    level1Uboots.clear();
    replicatesSeen = 0;
    writeStateFile(1, 2, {});
    writeStateFile(2, 2, {});
    const std::string body1 = withoutLastLine(readWholeFile("out.zuq.1.2"));
    if (c.cutLastLine) writeWholeFile("out.zuq.2.2", body1);
    const std::string text2 = readWholeFile("out.zuq.2.2");
    ASSERT_EQ(c.cutLastLine ? text2 : withoutLastLine(text2), body1);
    expectJoin(2, "", 0, c.unchecked);
  }
}

// Opening a FIFO waits for a writer that never comes; a directory or a device is no instance's
// file. Each is refused, naming it, before it is opened; a link to a regular file is read.
TEST_F(ClusterJoin, RefusesAPartialFileThatIsNotARegularFile) {
  namespace fs = std::filesystem;
  struct kindCase {
    const char* what;
    std::function<void()> make;  // puts something in place of file 2
    std::string kind;            // "" when the join goes through
  };
  const kindCase cases[] = {
      {"a FIFO", [] { ASSERT_EQ(mkfifo("out.zuq.2.2", 0600), 0); }, "a FIFO"},
      {"a directory", [] { fs::create_directory("out.zuq.2.2"); }, "a directory"},
      {"a link to a device", [] { fs::create_symlink("/dev/null", "out.zuq.2.2"); }, "a device"},
      {"a link to a FIFO",
       [] {
         ASSERT_EQ(mkfifo("fifo", 0600), 0);
         fs::create_symlink("fifo", "out.zuq.2.2");
       },
       "a FIFO"},
      {"a link to the file of instance 2",
       [this] {
         writePartialFile(2, 2);
         fs::rename("out.zuq.2.2", "instance2");
         fs::create_symlink("instance2", "out.zuq.2.2");
       },
       ""},
  };
  adjCor = 0;
  clusterCount = 2;
  for (const kindCase& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* name : {"out.zuq.2.2", "fifo", "instance2"}) fs::remove_all(name);
    writePartialFile(1, 2);
    c.make();
    if (c.kind.empty()) {
      expectJoin(2, "", 4);
      continue;
    }
    const std::vector<resultRecord> own = ownNaive();
    naiveResults.clear();
    level1Uboots.clear();
    // A join that waits on the FIFO is ended by the alarm, which fails the case.
    EXPECT_EQ(fatalOutput([&own] {
                alarm(20);
                joinPartialFiles(2, own);
              }),
              "Reading partial results from file out.zuq.1.2.\n"
              "Reading partial results from file out.zuq.2.2.\n"
              "Error: Cluster results file out.zuq.2.2 is not a regular file (it is " +
                  c.kind + ").\n");
    EXPECT_EQ(fs::symlink_status("out.zuq.2.2").type() == fs::file_type::symlink,
              std::string(c.what).find("link") != std::string::npos);
  }
}

// Records of equal p may come in either order from the scan's sort; the file keeps six digits
// of p and Un. Neither tells a file from the join's own records.
TEST_F(ClusterJoin, TakesFilesThatAgreeToTheirPrecisionInAnyOrderOfTies) {
  clusterCount = 1;
  buildState();
  naiveResults[1].p = naiveResults[0].p;  // a tie
  std::vector<resultRecord> own = naiveResults;
  own[0].un += 1e-9;                      // beyond the six digits the file keeps
  std::swap(own[0], own[1]);              // the tie broken the other way
  level1Uboots.clear();
  writeStateFile(1, 1, {});
  adjCor = 0;
  testing::internal::CaptureStdout();
  joinPartialFiles(1, own);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed.find("Error"), std::string::npos) << printed;
  EXPECT_NE(printed.find("Analysis finished."), std::string::npos) << printed;
  ciLower.clear();
  ciUpper.clear();
}

// The files of two instances with the replicates and rows of buildState (7 and 8 resamples
// analysed): the replicates and rows pooled in file order, the counts added up, and Uboot from the pooled replicates. Without the correlation adjustment and the
// MAF scale, Uboot of rank 1 is un - mean(ud - ue): 0.68125 - (0.52515 + 1334570) / 2; rank 2
// has no usable pair (its ue of 0 is no normal number).
TEST_F(ClusterJoin, PoolsTheFilesAndFinishesTheAnalysis) {
  struct joinCase {
    int noTruncate;
    double uboot0;
  };
  const joinCase cases[] = {{0, 0.0}, {1, 0.68125 - (0.52515 + 1334570.0) / 2}};
  for (const joinCase& c : cases) {
    SCOPED_TRACE(c.noTruncate);
    clusterCount = 2;
    writePartialFile(1, 2);
    writePartialFile(2, 2);
    naiveResults.clear();
    level1Uboots.clear();
    replicatesSeen = 0;
    adjCor = 0;
    mafCorrection = 0;
    noTruncate = c.noTruncate;
    for (snpRecord* snp : snps) snp->maf = 0.3;
    const std::vector<resultRecord> own = ownNaive();
    naiveResults.clear();
    level1Uboots.clear();
    replicatesSeen = 0;
    testing::internal::CaptureStdout();
    joinPartialFiles(2, own);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("Reading partial results from file out.zuq.2.2.\n"
                           "L0 size is 4\n"
                           "L0[0] is 2\n"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find("Warning: Cluster results files carry no level-1 SNPs, so the "
                           "confidence intervals of a join take no MAF factor (as with "
                           "--adj.cimaf 0).\n"),
              std::string::npos);
    EXPECT_EQ(nSig, 2);
    EXPECT_EQ(replicatesSeen, 15);
    ASSERT_EQ(naiveResults.size(), 2u);
    EXPECT_EQ(naiveResults[0].snp, snps[3]);
    EXPECT_EQ(naiveResults[0].p, 7.1612634e-05);  // the join's own, not the file's 7.16126e-05
    ASSERT_EQ(level1Uboots.size(), 4u);
    EXPECT_EQ(level1Uboots[2], (std::vector<double>{0.25, -1.5}));
    ASSERT_EQ(uboot.size(), 2u);
    EXPECT_NEAR(uboot[0], c.uboot0, 1e-9 * std::max(1.0, std::fabs(c.uboot0)));
    EXPECT_EQ(uboot[1], missingValue);
    EXPECT_NE(readWholeFile("out.zuq").find("rs3"), std::string::npos);
    ciLower.clear();
    ciUpper.clear();
  }
}

// The files round p and Un to six significant digits, which the table (four decimals of the
// odds ratio) can show: the naive columns and the Un of Uboot are the join's own, unrounded.
// Without the correlation adjustment and the MAF scale, Uboot is un - mean(ud - ue), here
// un - (0.5 + 1) / 2.
TEST_F(ClusterJoin, TheTableAndUbootTakeTheJoinsOwnNaiveRecords) {
  nSig = 1;
  replicatesSeen = 2;
  naiveResults = {record(3, 'A', 1.23456789e-4, 1.23456789, 0, missingValue, 0, missingValue)};
  level1Uboots.clear();
  const std::vector<resultRecord> own = naiveResults;
  writeStateFile(1, 1,
                 {{record(3, 'A', 1e-5, 1.5, 'A', 1.5, 'A', 1.0)},
                  {record(2, 'C', 2e-5, 2.0, 'C', 2.0, 'C', 1.0)}});
  naiveResults.clear();
  clusterCount = 1;
  adjCor = 0;
  mafCorrection = 0;
  testing::internal::CaptureStdout();
  joinPartialFiles(1, own);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("Analysis finished."), std::string::npos) << printed;
  ASSERT_EQ(naiveResults.size(), 1u);
  EXPECT_EQ(naiveResults[0].p, 1.23456789e-4);
  EXPECT_EQ(naiveResults[0].un, 1.23456789);
  ASSERT_EQ(uboot.size(), 1u);
  EXPECT_NEAR(uboot[0], 1.23456789 - 0.75, 1e-12);
}

TEST_F(ClusterJoin, NeedsAtLeastOneFile) {
  clusterCount = 0;
  EXPECT_EQ(fatalOutput(joinClusterResults),
            "\nJoining the results from cluster runs..\n"
            "Error: --join needs the number of cluster runs, at least 1 (got 0).\n");
}

// The cut of --keep would renumber the SNPs that the files name by index.
TEST_F(ClusterJoin, RefusesKeep) {
  clusterCount = 2;
  keepCount = 20;
  EXPECT_EQ(fatalOutput(joinClusterResults),
            "\nJoining the results from cluster runs..\n"
            "Error: --keep cannot be used with --join: the instances ran without it.\n");
}

}  // namespace
