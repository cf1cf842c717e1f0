// Runs that meet the end of a resource: memory (a low address-space limit) and disk space (a
// file-size limit, whose writes fail with EFBIG as on a full disk). Each must end with its
// message and status 1 and leave nothing behind: no temporary file, no lock file, no results
// file that a pipeline could take for a result.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
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

  const std::string tableError = "Error: Cannot write results to file out.zuq (File too large).";
  const std::string statsWarning =
      "Warning: Cannot write statistics to file zuq.stats (File too large).";
  struct diskCase {
    const char* what;
    rlim_t limit;
    bool stats;
    int status;
    std::vector<std::string> messages;
    std::set<std::string> left;
  };
  const diskCase cases[] = {
      {"full at the start of the table", 0, false, 1, {tableError}, {}},
      {"full in the middle of the table", table.size() / 2, false, 1, {tableError}, {}},
      {"full at the start of the statistics", 0, true, 1, {statsWarning, tableError}, {}},
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

// The names a run left in directory that are not among its own temporary names, which --debug
// keeps: the lock file and the plink probe's files.
std::set<std::string> outputsLeft(const std::string& directory) {
  std::set<std::string> names;
  for (const std::string& name : filesLeft(directory, {})) {
    if (name.rfind("temp.zuq.", 0) != 0) names.insert(name);
  }
  return names;
}

const std::string tooLarge = " (File too large).";

// The --allbias and --debug files on a disk that is full at the start, at the last bytes of a
// file or in its middle. Each file is whole, as a run with room writes it, or absent and named
// in a warning with the reason; only the table decides the status. --debug keeps the temporary
// files, but no incomplete name of an output may stay.
TEST(ResourceLimits, AFullDiskLeavesNoPartialBiasOrDebugFile) {
  const std::vector<std::string> analysis = {"--file", example, "--seed", "11", "--alpha",
                                             "1e-3", "--L0", "10", "--cpu", "1", "--allbias",
                                             "--debug"};
  // In the order the run writes them: the bias files at the end of level 0, psig.txt and then
  // the table at the end of the analysis, summary.txt last.
  const std::vector<std::string> before = {"all-bias.txt", "ud-bias.txt", "ue-bias.txt",
                                           "psig.txt"};
  const std::string reference = makeWorkDirectory();
  std::vector<std::string> args = analysis;
  args.insert(args.end(), {"--plink", liftingPlink(reference)});
  ASSERT_EQ(runZuq(args, reference).status, 0);
  std::map<std::string, std::string> whole;
  for (const char* name :
       {"all-bias.txt", "ud-bias.txt", "ue-bias.txt", "psig.txt", "out.zuq", "summary.txt"}) {
    whole[name] = readFile(reference + "/" + name);
  }
  const rlim_t table = whole["out.zuq"].size();
  const rlim_t psig = whole["psig.txt"].size();
  const rlim_t summary = whole["summary.txt"].size();
  // The limits below cut the files where their names say.
  ASSERT_LT(table, whole["all-bias.txt"].size());
  ASSERT_LT(whole["ue-bias.txt"].size(), psig / 2);
  ASSERT_GT(psig, 8192u);  // past one stream buffer: the failure comes in the middle
  ASSERT_LT(psig, summary);

  const std::pair<const char*, rlim_t> limits[] = {
      {"full at the start", 0},
      {"bias files short of their last bytes", table},
      {"full in the middle of psig.txt", psig / 2},
      {"full in the middle of summary.txt", psig},
      {"summary.txt short of its last byte", summary - 1},
  };
  for (const auto& [what, limit] : limits) {
    SCOPED_TRACE(what);
    std::vector<std::string> messages;
    std::set<std::string> left;
    const auto expect = [&](const std::string& name, const std::string& message) {
      if (whole[name].size() > limit) {
        messages.push_back(message + name + tooLarge);
      } else {
        left.insert(name);
      }
    };
    for (const std::string& name : before) expect(name, "Warning: Cannot write to output file ");
    expect("out.zuq", "Error: Cannot write results to file ");
    const int status = left.count("out.zuq") ? 0 : 1;
    // A run that fails at the table ends before summary.txt: the old one is not its file.
    const bool oldSummaryStays = status == 1;
    if (!oldSummaryStays) expect("summary.txt", "Warning: Cannot write to output file ");

    const std::string directory = makeWorkDirectory();
    for (const auto& [name, content] : whole) writeFile(directory + "/" + name, "old\n");
    args = analysis;
    args.insert(args.end(), {"--plink", liftingPlink(directory)});
    const zuqRun run = runZuqLimited(args, {.fileSize = limit}, directory);
    EXPECT_EQ(run.status, status);
    EXPECT_EQ(errorLines(run.out), messages) << run.out;
    for (const std::string& name : left) {
      EXPECT_EQ(readFile(directory + "/" + name), whole[name]) << name;
    }
    if (oldSummaryStays) {
      EXPECT_EQ(readFile(directory + "/summary.txt"), "old\n");
      left.insert("summary.txt");
    }
    EXPECT_EQ(outputsLeft(directory), left);
  }
}

// The partial file of a cluster instance, cut at its start, in its middle and at its last line
// (appended once the rest is written), with and without --debug.
TEST(ResourceLimits, AFullDiskLeavesNoPartialFileOfAnInstance) {
  const std::vector<std::string> instance = {"--file", example, "--seed", "11", "--alpha",
                                             "1e-3", "--L0", "10", "--cpu", "1", "--cluster",
                                             "1/2"};
  const std::string reference = makeWorkDirectory();
  std::vector<std::string> args = instance;
  args.insert(args.end(), {"--plink", liftingPlink(reference)});
  ASSERT_EQ(runZuq(args, reference).status, 0);
  const rlim_t size = readFile(reference + "/out.zuq.1.2").size();
  ASSERT_GT(size, 200u);
  const std::string error = "Error: Cannot write cluster results file: out.zuq.1.2" + tooLarge;
  for (const bool debug : {false, true}) {
    for (const rlim_t limit : {rlim_t{0}, size / 2, size - 1}) {
      SCOPED_TRACE(std::string(debug ? "--debug, " : "") + "limit " + std::to_string(limit));
      const std::string directory = makeWorkDirectory();
      writeFile(directory + "/out.zuq.1.2", "an old partial file\n");
      args = instance;
      if (debug) args.push_back("--debug");
      args.insert(args.end(), {"--plink", liftingPlink(directory)});
      const zuqRun run = runZuqLimited(args, {.fileSize = limit}, directory);
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(errorLines(run.out), std::vector<std::string>{error}) << run.out;
      EXPECT_EQ(outputsLeft(directory), std::set<std::string>{});
    }
  }
}

}  // namespace
