// Runs that share a directory, end by a signal or get names with shell syntax: each keeps its
// own temporary files, leaves none behind, and runs no command hidden in a name.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "run_zuq.h"

namespace fs = std::filesystem;

namespace {

const std::string example = dataPath("../../examples/casecontrol");

// The example analysis with its scans through plink, so that temporary files are in use.
std::vector<std::string> plinkRouteArgs(std::vector<std::string> extra) {
  std::vector<std::string> args = {"--file", example, "--plink", plinkPath(), "--slow",
                                   "--alpha", "1e-3"};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

// Names in dir that a run's temporary files would have: the prefix, or a cluster instance's
// file that is not complete yet.
std::vector<std::string> temporaryNames(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("temp.zuq.", 0) == 0 || name.find(".incomplete") != std::string::npos) {
      names.push_back(name);
    }
  }
  return names;
}

// Processes (plink, its shell) still working in dir.
std::vector<std::string> processesIn(const std::string& dir) {
  std::vector<std::string> found;
  const fs::path target = fs::canonical(dir);
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::error_code error;
    const fs::path cwd = fs::read_symlink(entry.path() / "cwd", error);
    if (!error && cwd == target) found.push_back(readFile((entry.path() / "cmdline").string()));
  }
  return found;
}

TEST(SharedRuns, RunsStartedTogetherInOneDirectoryEachGetTheirOwnResults) {
  ASSERT_FALSE(plinkPath().empty()) << "plink 1.07 is not installed";
  struct Case {
    const char* what;
    std::vector<std::string> first, second;  // each with its own seed
  } cases[] = {
      {"the example through plink",
       plinkRouteArgs({"--cpu", "1", "--L0", "8", "--seed", "11"}),
       plinkRouteArgs({"--cpu", "1", "--L0", "8", "--seed", "12"})},
      // Every --dummy run seeds the system generator alike.
      {"dummy data sets through plink",
       {"--dummy", "300", "40", "--slow", "--plink", plinkPath(), "--alpha", "0.2", "--cpu", "1",
        "--L0", "8", "--seed", "3"},
       {"--dummy", "300", "40", "--slow", "--plink", plinkPath(), "--alpha", "0.2", "--cpu", "1",
        "--L0", "8", "--seed", "4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto withOut = [](std::vector<std::string> args, const std::string& out) {
      args.insert(args.end(), {"--out", out});
      return args;
    };
    const zuqRun firstAlone = runZuq(withOut(c.first, "first.zuq"));
    const zuqRun secondAlone = runZuq(withOut(c.second, "second.zuq"));
    ASSERT_EQ(firstAlone.status, 0) << firstAlone.out;
    ASSERT_EQ(secondAlone.status, 0) << secondAlone.out;

    const std::string shared = makeWorkDirectory();
    const startedZuq first = startZuq(withOut(c.first, "first.zuq"), shared);
    const startedZuq second = startZuq(withOut(c.second, "second.zuq"), shared + "/.");
    const zuqRun firstRun = finishZuq(first);
    const zuqRun secondRun = finishZuq(second);
    EXPECT_EQ(firstRun.status, 0) << firstRun.out;
    EXPECT_EQ(secondRun.status, 0) << secondRun.out;
    const std::string firstTable = readFile(firstAlone.directory + "/first.zuq");
    const std::string secondTable = readFile(secondAlone.directory + "/second.zuq");
    EXPECT_NE(firstTable, secondTable);  // the seeds differ, so mixed-up files would show
    EXPECT_EQ(readFile(shared + "/first.zuq"), firstTable);
    EXPECT_EQ(readFile(shared + "/second.zuq"), secondTable);
    EXPECT_EQ(temporaryNames(shared), std::vector<std::string>{});
  }
}

// Starts a long analysis, waits until plink is at work on its files, then sends the signal.
zuqRun stopMidRun(std::vector<std::string> extra, int signal) {
  const startedZuq started = startZuq(plinkRouteArgs(extra));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool working = false;
  while (!working && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (const std::string& name : temporaryNames(started.directory)) {
      working = working || name.find(".cpu") != std::string::npos;
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kill(started.pid, signal);
  return finishZuq(started);
}

TEST(SharedRuns, ATerminationSignalEndsTheRunAndLeavesNoTemporaryFile) {
  ASSERT_FALSE(plinkPath().empty()) << "plink 1.07 is not installed";
  struct Case {
    int signal;
    std::vector<std::string> extra;
    std::string line;
  } cases[] = {
      // What a scheduler sends at a time limit or a cancel, to the whole job.
      {SIGTERM, {}, "Error: Run stopped by signal 15 (SIGTERM).\n"},
      {SIGHUP, {}, "Error: Run stopped by signal 1 (SIGHUP).\n"},
      // To the process alone, while its threads wait for plink.
      {SIGINT, {}, "Error: Run stopped by signal 2 (SIGINT).\n"},
      // A cluster instance leaves no partial-results file that a join could take for complete.
      {SIGTERM, {"--cluster", "1/2"}, "Error: Run stopped by signal 15 (SIGTERM).\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> extra = {"--L0", "100000", "--cpu", "3", "--seed", "5"};
    extra.insert(extra.end(), c.extra.begin(), c.extra.end());
    SCOPED_TRACE(std::to_string(c.signal) + (c.extra.empty() ? "" : " " + c.extra[0]));
    const zuqRun run = stopMidRun(extra, c.signal);
    EXPECT_EQ(run.status, 128 + c.signal) << run.out;
    EXPECT_NE(run.out.find(c.line), std::string::npos) << run.out;
    EXPECT_EQ(temporaryNames(run.directory), std::vector<std::string>{});
    EXPECT_EQ(processesIn(run.directory), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(run.directory + "/out.zuq"));
    EXPECT_FALSE(fs::exists(run.directory + "/out.zuq.1.2"));
  }
}

// plink failing for one worker thread while the others are in the middle of their own runs: the
// run ends with the failure, and the other threads' filesets and plink's files go as well.
TEST(SharedRuns, AFailureOnOneThreadLeavesNoFileOfTheOthers) {
  ASSERT_FALSE(plinkPath().empty()) << "plink 1.07 is not installed";
  const std::string dir = makeWorkDirectory();
  writeFile(dir + "/plink-failing-on-cpu1",
            "#!/bin/sh\n"
            "case \"$*\" in *cpu1all*) sleep 0.5; exit 3;; esac\n"
            "exec " + plinkPath() + " \"$@\"\n");
  fs::permissions(dir + "/plink-failing-on-cpu1", fs::perms::owner_all);
  std::vector<std::string> args = plinkRouteArgs({"--L0", "200", "--cpu", "4", "--seed", "5"});
  args[3] = "./plink-failing-on-cpu1";
  const zuqRun run = runZuq(args, dir);
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("Error: execution of plink failed with exit code 768\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(temporaryNames(dir), std::vector<std::string>{});
  EXPECT_EQ(processesIn(dir), std::vector<std::string>{});
}

// The example's individuals with one covariate.
void writeCovariates(const std::string& path) {
  std::ifstream ped(example + ".ped");
  std::ofstream out(path);
  out << "FID IID AGE\n";
  int i = 0;
  for (std::string line; std::getline(ped, line); ++i) {
    std::istringstream fields(line);
    std::string family, individual;
    fields >> family >> individual;
    out << family << " " << individual << " " << 20 + (i * 7) % 50 << "\n";
  }
}

TEST(SharedRuns, NamesWithShellSyntaxReachPlinkAsTheyAre) {
  ASSERT_FALSE(plinkPath().empty()) << "plink 1.07 is not installed";
  const std::string scratch = "a b;touch INJECTED;'q";
  // The plink probe runs at start, and the estimates go through plink's logistic regression.
  const std::vector<std::string> plain = {"--file", example, "--plink", plinkPath(), "--useplink",
                                          "--alpha", "1e-3", "--adj.cor", "0", "--cpu", "1",
                                          "--L0", "6", "--seed", "9"};
  const zuqRun reference = runZuq(plain);
  ASSERT_EQ(reference.status, 0) << reference.out;

  // A scratch directory with a blank, a semicolon and a quote in its name: the probe and every
  // scan use it, and the results are those of a run without it.
  const std::string dir = makeWorkDirectory();
  fs::create_directory(dir + "/" + scratch);
  std::vector<std::string> args = plain;
  args.insert(args.end(), {"--scratch", scratch});
  const zuqRun run = runZuq(args, dir);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("Detected plink version 1.07\n"), std::string::npos) << run.out;
  EXPECT_EQ(readFile(dir + "/out.zuq"), readFile(reference.directory + "/out.zuq"));
  EXPECT_FALSE(fs::exists(dir + "/INJECTED"));
  EXPECT_TRUE(fs::is_empty(dir + "/" + scratch));

  // A covariate selection with a command in it is one (unknown) name: refused, nothing run.
  const std::string covarDir = makeWorkDirectory();
  writeCovariates(covarDir + "/cov.txt");
  std::vector<std::string> covarArgs = plain;
  covarArgs.insert(covarArgs.end(),
                   {"--covar", "cov.txt", "--covar-name", "AGE;touch INJECTED"});
  const zuqRun covarRun = runZuq(covarArgs, covarDir);
  EXPECT_EQ(covarRun.status, 1) << covarRun.out;
  EXPECT_NE(covarRun.out.find("Error: --covar-name AGE;touch INJECTED: \"AGE;touch INJECTED\" is "
                              "not a covariate name of the header line."),
            std::string::npos)
      << covarRun.out;
  EXPECT_FALSE(fs::exists(covarDir + "/INJECTED"));
  EXPECT_EQ(temporaryNames(covarDir), std::vector<std::string>{});
}

}  // namespace
