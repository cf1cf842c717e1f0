// The start-up probe of the plink executable: the real plink 1.07, and stand-ins that write
// chosen logs or fail, to reach every outcome of the probe.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>
#include <string>

#include "run_zuq.h"

namespace {

const std::string untested =
    "Warning: zuq has only been tested with versions 1.04 to 1.06 of plink. It may not work "
    "correctly with current version.\n";

// The text between the echo of the command line and the parameter print-out.
std::string probeOutput(const std::string& out) {
  const std::string echoEnd = "\n\n";
  const size_t echo = out.find("Command line options are: ");
  if (echo == std::string::npos) return "<no echo>";
  const size_t from = out.find(echoEnd, echo) + echoEnd.size();
  const size_t to = out.find("\nAnalysis parameters:\n", from);
  return out.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

// A stand-in plink that writes `log` as the log of the run and exits with `status`.
std::string fakePlink(const std::string& dir, const std::string& log, int status) {
  const std::string path = dir + "/fakeplink";
  writeFile(path,
            "#!/bin/sh\n"
            "while [ $# -gt 0 ]; do [ \"$1\" = --out ] && out=$2; shift; done\n"
            "printf '" + log + "' > \"$out.log\"\n"
            "exit " + std::to_string(status) + "\n");
  chmod(path.c_str(), 0755);
  return path;
}

bool noProbeFilesLeft(const std::string& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().filename().string().find("plinktest") != std::string::npos) return false;
  }
  return true;
}

TEST(PlinkProbe, RealPlinkIsDetectedAsVersion107WithTheUntestedWarning) {
  ASSERT_FALSE(plinkPath().empty()) << "plink 1.07 is not installed";
  const zuqRun run = runZuq({"--dummy", "4", "2", "--plink", plinkPath()});
  EXPECT_EQ(probeOutput(run.out), "Detected plink version 1.07\n" + untested);
  EXPECT_TRUE(noProbeFilesLeft(run.directory));
}

TEST(PlinkProbe, OutcomesFollowTheVersionWordOfTheLog) {
  struct Case {
    std::string log;
    int plinkStatus;
    int status;
    std::string output;
  } cases[] = {
      {"\\n|  PLINK!  |  v1.05  |\\n", 0, -2, "Detected plink version 1.05\n"},
      {"PLINK v1.06beta\\n", 0, -2, "Detected plink version 1.06\n"},
      {"PLINK version 2\\n", 0, -2, "Detected plink version 0\n" + untested},
      {"no such word here\\n", 0, 1,
       "Error: Cannot run plink.Please install plink and check that it is in your path.\n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    const std::string dir = makeWorkDirectory();
    const zuqRun run =
        runZuq({"--dummy", "4", "2", "--plink", fakePlink(dir, c.log, c.plinkStatus)}, dir);
    if (c.status >= 0) {
      EXPECT_EQ(run.status, c.status);
    }
    EXPECT_EQ(probeOutput(run.out), c.output);
    EXPECT_TRUE(noProbeFilesLeft(dir));
  }
}

TEST(PlinkProbe, AFailingPlinkIsReportedWithItsRawStatusAndCommand) {
  struct Case {
    std::vector<std::string> extra;
    std::string executable;  // empty: the stand-in that exits with status 2
    std::string output;
  } cases[] = {
      {{"--cell", "3"}, "",
       "Error: execution of plink failed with exit code 512\n  command was './fakeplink "
       "--allow-no-sex --noweb --silent --cell 3 --file temp.zuq.DIGITS.plinktest --out "
       "temp.zuq.DIGITS.plinktest '\n"},
      {{}, "/nonexistent/plink",
       "Error: execution of plink failed with exit code 32512\n  command was '/nonexistent/plink "
       "--allow-no-sex --noweb --silent --file temp.zuq.DIGITS.plinktest --out "
       "temp.zuq.DIGITS.plinktest '\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.executable);
    const std::string dir = makeWorkDirectory();
    if (c.executable.empty()) fakePlink(dir, "v1.05", 2);
    std::vector<std::string> args = {"--dummy", "4", "2", "--plink",
                                     c.executable.empty() ? "./fakeplink" : c.executable};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const zuqRun run = runZuq(args, dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(maskMachineLines(probeOutput(run.out)), c.output);
  }
}

TEST(PlinkProbe, SlowRunsDoNotProbe) {
  const zuqRun run = runZuq({"--dummy", "4", "2", "--slow", "--plink", "/nonexistent/plink"});
  EXPECT_EQ(probeOutput(run.out), "");
}

TEST(PlinkProbe, AnUnwritableScratchDirectoryIsReported) {
  const zuqRun run = runZuq({"--dummy", "4", "2", "--scratch", "/nonexistent/dir"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(maskMachineLines(probeOutput(run.out)),
            "Error: Cannot create /nonexistent/dir/temp.zuq.DIGITS.plinktest.map (No such file or "
            "directory).\nError: Cannot write to scratch directory: "
            "'/nonexistent/dir/temp.zuq.DIGITS.'\n");
}

}  // namespace
