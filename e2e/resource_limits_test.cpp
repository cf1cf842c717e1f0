// Runs that meet the end of a resource: memory (a low address-space limit) and disk space (a
// file-size limit, whose writes fail with EFBIG as on a full disk). Each must end with its
// message and status 1 and leave nothing behind: no temporary file, no lock file, no results
// file that a pipeline could take for a result.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
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

// 40 individuals, the 31st with a family id of 32 MiB: the line reader of one thread must grow
// its buffer for it.
void writeLongLineDataSet(const std::string& directory) {
  constexpr int snps = 20;
  std::ofstream map(directory + "/long.map");
  for (int j = 0; j < snps; ++j) map << "1 rs" << j << " 0 " << j + 1 << "\n";
  std::ofstream ped(directory + "/long.ped");
  for (int i = 0; i < 40; ++i) {
    ped << (i == 30 ? std::string(size_t{32} << 20, 'F') : "F" + std::to_string(i)) << " I" << i
        << " 0 0 1 " << 1 + i % 2;
    for (int j = 0; j < snps; ++j) ped << (j % 3 == i % 3 ? " A A" : " A C");
    ped << "\n";
  }
}

const std::string outOfMemory =
    "Error: Out of memory: an allocation failed and the run cannot go on.";

// A file-size limit with room for the files of the plink probe at start-up (10 and 22 bytes), and
// none for a results table or a partial file.
constexpr rlim_t probeRoom = 32;

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
      // The line reader says that memory ran out as it says the file ended: the individuals
      // after the line must not be lost without a word.
      {"a line longer than memory allows", {"--file", "long"}, 48 * mebibyte,
       "Reading input files.", outOfMemory},
      {"eight threads' stacks", {"--dummy", "20", "20"}, 48 * mebibyte, "", startThreads},
  };
  cases[0].args.insert(cases[0].args.end(), {"--cpu", "1"});
  cases[1].args.insert(cases[1].args.end(), {"--cpu", "4"});
  cases[2].args.insert(cases[2].args.end(), {"--cpu", "1"});
  cases[3].args.insert(cases[3].args.end(), {"--cpu", "1"});
  cases[4].args.insert(cases[4].args.end(), {"--cpu", "8"});
  for (const memoryCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string directory = makeWorkDirectory();
    std::set<std::string> inputs;
    if (c.args[0] == "--file" && c.args[1] == "wide") {
      writeWideDataSet(directory, 300000);
      inputs = {"wide.map", "wide.ped"};
    }
    if (c.args[0] == "--file" && c.args[1] == "long") {
      writeLongLineDataSet(directory);
      inputs = {"long.map", "long.ped"};
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

// A case-control set of 600 individuals (300 cases) and 6500 SNPs, genotypes from a fixed
// generator. Its .ped is read in one block, whose records several threads build at once: a
// limit a little below what the run needs makes those threads run out of memory together.
void writeCaseControlSet(const std::string& base) {
  constexpr int individuals = 600;
  constexpr int snpCount = 6500;
  std::ofstream map(base + ".map");
  for (int j = 0; j < snpCount; ++j) map << "1 s" << j << " 0 " << 1000 + j << "\n";
  std::ofstream ped(base + ".ped");
  uint64_t state = 12345;
  const char* const genotypes[] = {" A A", " A C", " C C"};
  for (int i = 0; i < individuals; ++i) {
    const bool isCase = i < individuals / 2;
    ped << "F" << i << " I" << i << " 0 0 1 " << (isCase ? 2 : 1);
    for (int j = 0; j < snpCount; ++j) {
      state = state * 6364136223846793005u + 1442695040888963407u;
      const int draw = static_cast<int>((state >> 33) % 6);
      // Every 300th SNP is associated: two in three cases carry C C there.
      const bool associated = j % 300 == 7 && isCase;
      ped << genotypes[associated && draw < 3 ? 2 : draw % 3];
    }
    ped << "\n";
  }
}

// Runs of one kind (a single run, a cluster instance, a join) under address-space limits, each
// in a work directory of its own with --out in its subdirectory o.
class limitedRuns {
 public:
  struct kind {
    const char* what;
    std::vector<std::string> args;
    std::set<std::string> inputs;  // copied into o/ from partials
    std::string table;             // in o/ after a run that succeeds
  };
  limitedRuns(std::vector<std::string> analysis, std::string partials)
      : analysis_(std::move(analysis)), partials_(std::move(partials)) {}

  // Runs kind on threads under limit. Whatever the outcome, nothing may be left but the table
  // of a run that succeeded. True when the run succeeded; counts the runs out of memory.
  bool run(const kind& kind, int threads, rlim_t limit) {
    SCOPED_TRACE(std::string(kind.what) + " on " + std::to_string(threads) + " threads under " +
                 std::to_string(limit >> 10) + " KiB");
    const std::string directory = makeWorkDirectory();
    fs::create_directory(directory + "/o");
    for (const std::string& name : kind.inputs) {
      fs::copy_file(partials_ + "/o/" + name, directory + "/o/" + name);
    }
    std::vector<std::string> args = analysis_;
    args.insert(args.end(), kind.args.begin(), kind.args.end());
    args.insert(args.end(), {"--cpu", std::to_string(threads)});
    const zuqRun run = runZuqLimited(args, {.addressSpace = limit}, directory);
    const std::vector<std::string> errors = errorLines(run.out);
    std::set<std::string> left;
    if (run.status == 0) {
      EXPECT_EQ(errors, std::vector<std::string>{}) << run.out;
      left.insert(kind.table);
    } else if (errors.size() == 1 && errors[0].rfind("Error: Cannot start the ", 0) == 0) {
      EXPECT_EQ(run.status, 1);  // too little room for the threads' stacks: before any file
    } else {
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(errors, std::vector<std::string>{outOfMemory}) << run.out;
      EXPECT_EQ(run.err, "");
      ++outOfMemoryRuns;
    }
    EXPECT_EQ(filesLeft(directory, {"o"}), std::set<std::string>{});
    EXPECT_EQ(filesLeft(directory + "/o", kind.inputs), left);
    fs::remove_all(directory);
    return run.status == 0;
  }

  int outOfMemoryRuns = 0;

 private:
  std::vector<std::string> analysis_;
  std::string partials_;
};

// Runs out of memory on several threads at once end through one thread while the others go on
// taking memory; which thread fails first changes from run to run. Every run must end with the
// message and status 1 (or succeed where the limit was enough) and leave no temporary file, no
// lock file and no partial file of a cluster instance, in the working directory or in that of
// --out.
TEST(ResourceLimits, RunsFailingOnManyThreadsAtOnceLeaveNothing) {
#ifdef ZUQ_SANITIZED
  GTEST_SKIP() << "the sanitizers reserve far more address space than any limit here allows";
#endif
  const std::string data = makeWorkDirectory();
  writeCaseControlSet(data + "/cc");
  const std::vector<std::string> analysis = {
      "--file", data + "/cc", "--plink", liftingPlink(data), "--seed", "1", "--B1", "4",
      "--B2",   "2",          "--L2",    "2",                "--alpha", "0.001", "--out",
      "o/r.zuq"};
  // The partial files that the join runs read, made without a limit.
  const std::string partials = makeWorkDirectory();
  fs::create_directory(partials + "/o");
  for (int k = 1; k <= 3; ++k) {
    std::vector<std::string> args = analysis;
    args.insert(args.end(), {"--cluster", std::to_string(k) + "/3"});
    ASSERT_EQ(runZuq(args, partials).status, 0) << k;
  }
  const limitedRuns::kind kinds[] = {
      {"a single run", {}, {}, "r.zuq"},
      {"a cluster instance", {"--cluster", "1/2"}, {}, "r.zuq.1.2"},
      {"a join", {"--join", "3"}, {"r.zuq.1.3", "r.zuq.2.3", "r.zuq.3.3"}, "r.zuq"},
  };
  constexpr rlim_t kibibyte = 1024;
  for (int threads : {2, 4, 8}) {
    limitedRuns runs(analysis, partials);
    // The least room a single run needs, to 64 KiB, found by halving: what the libraries and
    // the threads' stacks (8 MiB each) take differs from machine to machine.
    rlim_t failing = rlim_t(8 * threads) * mebibyte;
    rlim_t enough = failing + 64 * mebibyte;
    ASSERT_TRUE(runs.run(kinds[0], threads, enough)) << threads << " threads";
    while (enough - failing > 64 * kibibyte) {
      const rlim_t middle = failing + (enough - failing) / 2;
      (runs.run(kinds[0], threads, middle) ? enough : failing) = middle;
    }
    // Just below it the reading threads run out of memory while they build the records.
    runs.outOfMemoryRuns = 0;
    constexpr int steps = 24;
    for (int step = 1; step <= steps; ++step) {
      runs.run(kinds[step % 3], threads, enough - step * 96 * kibibyte);
    }
    // Else the limits missed the moments that the test is about.
    EXPECT_GE(runs.outOfMemoryRuns, steps / 2) << threads << " threads";
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
      {"full at the start", probeRoom},
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
    for (const rlim_t limit : {probeRoom, size / 2, size - 1}) {
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
