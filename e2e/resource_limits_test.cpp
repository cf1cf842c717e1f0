// Runs that meet the end of a resource: memory (a low address-space limit) and disk space (a
// file-size limit, whose writes fail with EFBIG as on a full disk). Each must end with its
// message and status 1 and leave nothing behind: no temporary file, no lock file, no results
// file that a pipeline could take for a result.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "run_zuq.h"

namespace {

namespace fs = std::filesystem;

constexpr rlim_t mebibyte = rlim_t{1} << 20;

const std::string example = dataPath("../../examples/casecontrol");

// A stand-in for plink that lifts the limits and runs the real one: the probe at start-up is
// not what these tests are about, and plink's own log must be written.
std::string liftingPlink(const std::string& directory) {
  const std::string path = directory + "/plink";
  writeFile(path, "#!/bin/sh\nulimit -S -v unlimited\nulimit -S -f unlimited\nexec " +
                      plinkPath() + " \"$@\"\n");
  fs::permissions(path, fs::perms::owner_all);
  return path;
}

// The names in the work directory apart from the captured output and the stand-in plink.
std::set<std::string> filesLeft(const std::string& directory, const std::set<std::string>& inputs) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    const std::string name = entry.path().filename().string();
    if (name != ".stdout" && name != ".stderr" && name != "plink" && !inputs.count(name)) {
      names.insert(name);
    }
  }
  return names;
}

// The lines of the output that begin with "Error: ", and any "Warning: Cannot" line.
std::vector<std::string> errorLines(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("Error: ", 0) == 0 || line.rfind("Warning: Cannot", 0) == 0) {
      lines.push_back(line);
    }
  }
  return lines;
}

// A data set whose .map alone needs more memory than the limits below: many SNPs, two
// individuals.
void writeWideDataSet(const std::string& directory, int snps) {
  std::ofstream map(directory + "/wide.map");
  for (int j = 0; j < snps; ++j) map << "1 rs" << j << " 0 " << j + 1 << "\n";
  std::ofstream ped(directory + "/wide.ped");
  for (int i = 0; i < 2; ++i) {
    ped << "F" << i << " I" << i << " 0 0 1 " << i + 1;
    for (int j = 0; j < snps; ++j) ped << " A C";
    ped << "\n";
  }
}

const std::string outOfMemory =
    "Error: Out of memory: an allocation failed and the run cannot go on.";

TEST(ResourceLimits, RunsOutOfMemoryEndWithTheMessageAndLeaveNothing) {
#ifdef ZUQ_SANITIZED
  GTEST_SKIP() << "the sanitizers reserve far more address space than any limit here allows";
#endif
  // 200 x 20000 with every SNP significant: level 0 keeps 20000 records for each of its 200
  // replicates, about 200 MB. The start needs about 18 MiB on one thread and 8 MiB more for the
  // stack of each further thread.
  const std::vector<std::string> levelZero = {"--dummy", "200",     "20000",    "--alpha",
                                              "1",       "--L0",    "200",      "--adj.cor",
                                              "0",       "--estimate", "ALLELIC"};
  struct memoryCase {
    const char* what;
    std::vector<std::string> args;
    rlim_t limit;
    std::string reached;  // printed once the temporary names exist, before the failure
    std::string message;
  };
  const std::string startThreads =
      "Error: Cannot start the 8 threads of the run (the OpenMP runtime's reason is on standard "
      "error): too little memory, or too many processes; fewer threads (--cpu) need less.";
  std::vector<memoryCase> cases = {
      {"level 0 on the main thread", levelZero, 48 * mebibyte, "Computing Level 0 quantities.",
       outOfMemory},
      {"level 0 on four threads", levelZero, 96 * mebibyte, "Computing Level 0 quantities.",
       outOfMemory},
      {"reading 300000 SNPs", {"--file", "wide"}, 48 * mebibyte, "Reading input files.",
       outOfMemory},
      {"eight threads' stacks", {"--dummy", "20", "20"}, 48 * mebibyte, "", startThreads},
  };
  cases[0].args.insert(cases[0].args.end(), {"--cpu", "1"});
  cases[1].args.insert(cases[1].args.end(), {"--cpu", "4"});
  cases[2].args.insert(cases[2].args.end(), {"--cpu", "1"});
  cases[3].args.insert(cases[3].args.end(), {"--cpu", "8"});
  for (const memoryCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string directory = makeWorkDirectory();
    std::set<std::string> inputs;
    if (c.args[0] == "--file") {
      writeWideDataSet(directory, 300000);
      inputs = {"wide.map", "wide.ped"};
    }
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--plink", liftingPlink(directory)});
    const zuqRun run = runZuqLimited(args, {.addressSpace = c.limit}, directory);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(errorLines(run.out), std::vector<std::string>{c.message}) << run.out;
    EXPECT_NE(run.out.find(c.reached + "\n"), std::string::npos) << run.out;
    EXPECT_EQ(filesLeft(directory, inputs), std::set<std::string>{});
    // The runtime's own reason, and nothing else (no "terminate called ...").
    if (c.message == outOfMemory) {
      EXPECT_EQ(run.err, "");
    }
  }
}

// The results table and zuq.stats on a disk that is full at the start of the file or in its
// middle. An old file of the same name, from an earlier run, must not stay either.
TEST(ResourceLimits, AFullDiskLeavesNoTableAndNoStatistics) {
  // One thread: the same seed then gives the same table.
  const std::vector<std::string> analysis = {"--file", example, "--seed", "11", "--alpha",
                                             "1e-3",  "--L0",  "10",  "--cpu",  "1"};
  const std::string reference = makeWorkDirectory();
  std::vector<std::string> args = analysis;
  args.insert(args.end(), {"--stats", "--plink", liftingPlink(reference)});
  const zuqRun full = runZuq(args, reference);
  ASSERT_EQ(full.status, 0) << full.out;
  const std::string table = readFile(reference + "/out.zuq");
  const std::string statistics = readFile(reference + "/zuq.stats");
  ASSERT_GT(table.size(), 200u);
  ASSERT_GT(statistics.size(), table.size() + 100);

  const std::string tableError = "Error: Cannot write results to file out.zuq";
  const std::string statsWarning = "Warning: Cannot write statistics to file zuq.stats";
  struct diskCase {
    const char* what;
    rlim_t limit;
    bool stats;
    int status;
    std::vector<std::string> messages;
    std::set<std::string> left;
  };
  // Room for the files of the plink probe at start-up (10 and 22 bytes), none for a table.
  const rlim_t probeRoom = 32;
  const diskCase cases[] = {
      {"full at the start of the table", probeRoom, false, 1, {tableError}, {}},
      {"full in the middle of the table", table.size() / 2, false, 1, {tableError}, {}},
      {"full at the start of the statistics", probeRoom, true, 1, {statsWarning, tableError}, {}},
      {"full in the middle of the statistics", table.size() + 1, true, 0, {statsWarning},
       {"out.zuq"}},
  };
  for (const diskCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string directory = makeWorkDirectory();
    writeFile(directory + "/out.zuq", "an old table\n");
    writeFile(directory + "/zuq.stats", "old statistics\n");
    args = analysis;
    if (c.stats) args.push_back("--stats");
    args.insert(args.end(), {"--plink", liftingPlink(directory)});
    const zuqRun run = runZuqLimited(args, {.fileSize = c.limit}, directory);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(errorLines(run.out), c.messages) << run.out;
    std::set<std::string> left = c.left;
    if (!c.stats) left.insert("zuq.stats");  // not this run's: untouched
    EXPECT_EQ(filesLeft(directory, {}), left);
    if (c.left.count("out.zuq")) {
      EXPECT_EQ(readFile(directory + "/out.zuq"), table);
    }
  }
}

// 100 individuals whose ids are their numbers, in family and individual id alike, and 20 SNPs,
// the first three associated with case status. The .fam of all individuals takes 1384 bytes;
// that of a resample, whose individual ids are i0, i1, ..., about 100 bytes more.
void writeShortIdDataSet(const std::string& directory) {
  std::ofstream map(directory + "/short.map");
  for (int j = 0; j < 20; ++j) map << "1 s" << j << " 0 " << j + 1 << "\n";
  std::ofstream ped(directory + "/short.ped");
  for (int k = 1; k <= 100; ++k) {
    const bool isCase = k % 2 == 0;
    ped << k << " " << k << " 0 0 1 " << (isCase ? 2 : 1);
    for (int j = 0; j < 20; ++j) {
      // Cases carry A at the first three SNPs far more often than controls.
      const bool associated = j < 3 && isCase;
      for (int a = 0; a < 2; ++a) {
        ped << ((k * 7 + j * 3 + a * 5) % 10 < (associated ? 8 : 4) ? " A" : " C");
      }
    }
    ped << "\n";
  }
}

// The files handed to plink on a full disk: the probe's at start-up, the fileset of the scan of
// all individuals, and those of resamples that threads write at once. Each ends the run with
// one message naming the file and the system's reason, and leaves nothing.
TEST(ResourceLimits, AFullDiskForPlinksFilesEndsTheRunNamingTheFile) {
  struct plinkFileCase {
    const char* what;
    std::vector<std::string> args;
    rlim_t limit;
    const char* file;  // a regular expression for the name after the temporary prefix
    int repeats;
  };
  const std::vector<std::string> slowResamples = {"--file", "short", "--slow", "--estimate",
                                                  "ALLELIC", "--alpha", "0.05", "--L0", "10",
                                                  "--seed", "1", "--cpu", "8"};
  const plinkFileCase cases[] = {
      {"the probe at start-up", {"--file", example}, 0, R"(plinktest\.map)", 1},
      {"the scan of all individuals through plink", {"--file", example, "--slow"}, 4096,
       R"(all\.bim)", 1},
      // All individuals fit, resamples do not: eight threads meet the limit at about once.
      {"resamples on eight threads", slowResamples, 1400, R"(cpu[0-7]all\.fam)", 5},
  };
  for (const plinkFileCase& c : cases) {
    SCOPED_TRACE(c.what);
    for (int repeat = 0; repeat < c.repeats; ++repeat) {
      const std::string directory = makeWorkDirectory();
      writeShortIdDataSet(directory);
      std::vector<std::string> args = c.args;
      args.insert(args.end(), {"--plink", liftingPlink(directory)});
      const zuqRun run = runZuqLimited(args, {.fileSize = c.limit}, directory);
      EXPECT_EQ(run.status, 1);
      const std::vector<std::string> lines = errorLines(maskMachineLines(run.out));
      ASSERT_EQ(lines.size(), 1u) << run.out;
      const std::regex message(R"(Error: Cannot write to output file temp\.zuq\.DIGITS\.)" +
                               std::string(c.file) + R"( \(File too large\)\.)");
      EXPECT_TRUE(std::regex_match(lines[0], message)) << lines[0];
      EXPECT_EQ(filesLeft(directory, {"short.map", "short.ped"}), std::set<std::string>{});
    }
  }
}

// A data set with three SNPs, the first two significant: rs1 most of all, then one whose name
// is 1500 characters long, so that its .bim outgrows a file-size limit that every other file of
// --single fits under.
std::string writeLongNameDataSet(const std::string& directory) {
  const std::string longName = "rs" + std::string(1498, 'x');
  std::ofstream map(directory + "/long.map");
  map << "1 rs1 0 100\n1 " << longName << " 0 200\n1 rs3 0 300\n";
  std::ofstream ped(directory + "/long.ped");
  for (int k = 0; k < 40; ++k) {
    const bool isCase = k < 20;
    ped << k << " " << k << " 0 0 1 " << (isCase ? 2 : 1) << (isCase ? " A A" : " C C");
    ped << ((k % 20 < 16) == isCase ? " A A" : " C C") << (k % 2 == 0 ? " A A" : " C C") << "\n";
  }
  return longName;
}

// --single on a disk that fills during the second fileset: the first stays whole, the second
// goes altogether (an earlier run's file of its name too), and the run ends with status 1.
TEST(ResourceLimits, AFullDiskDuringSingleKeepsTheWholeFilesetsOnly) {
  const std::string reference = makeWorkDirectory();
  const std::string longName = writeLongNameDataSet(reference);
  const std::vector<std::string> single = {"--file", "long", "--single", "--alpha", "0.05"};
  std::vector<std::string> args = single;
  args.insert(args.end(), {"--plink", liftingPlink(reference)});
  const zuqRun full = runZuq(args, reference);
  ASSERT_EQ(full.status, 0) << full.out;
  const std::string written = "Writing single SNP : rs1\nWriting single SNP : " + longName + "\n";
  ASSERT_NE(full.out.find(written), std::string::npos) << full.out;
  ASSERT_LT(fs::file_size(reference + "/snp-0.fam"), 1000u);
  ASSERT_GT(fs::file_size(reference + "/snp-1.bim"), 1000u);

  const std::string directory = makeWorkDirectory();
  writeLongNameDataSet(directory);
  writeFile(directory + "/snp-1.fam", "an earlier run's fileset\n");
  args = single;
  args.insert(args.end(), {"--plink", liftingPlink(directory)});
  const zuqRun run = runZuqLimited(args, {.fileSize = 1000}, directory);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find(written + "Error: Cannot write to output file snp-1.bim (File too "
                                   "large).\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(errorLines(run.out).size(), 1u) << run.out;
  EXPECT_EQ(filesLeft(directory, {"long.map", "long.ped"}),
            (std::set<std::string>{"snp-0.bed", "snp-0.bim", "snp-0.fam"}));
  for (const char* extension : {".bed", ".bim", ".fam"}) {
    EXPECT_EQ(readFile(directory + "/snp-0" + extension),
              readFile(reference + "/snp-0" + extension))
        << extension;
  }
}

}  // namespace
