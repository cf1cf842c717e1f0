#include "run/shell_command.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "test_support/scratch_files.h"

namespace {

using testsupport::readWholeFile;

TEST(ShellWord, OrdinaryNamesStayAsTheyAreAndOthersAreQuoted) {
  const struct {
    std::string text, word;
  } cases[] = {
      {"temp.zuq.0123456.cpu3all", "temp.zuq.0123456.cpu3all"},
      {"/scratch/run_1/a-b,c:d=e+f@g%h", "/scratch/run_1/a-b,c:d=e+f@g%h"},
      {"a b", "'a b'"},
      {"x;touch Y;", "'x;touch Y;'"},
      {"it's", "'it'\\''s'"},
      {"", "''"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(shellWord(c.text), c.word);
  }
  EXPECT_EQ(doubleQuotedShellWord("my t"), "\"my t\"");
  EXPECT_EQ(doubleQuotedShellWord("a$b`c\"d\\e"), "\"a\\$b\\`c\\\"d\\\\e\"");
}

// The shell itself is the oracle: each word must reach a program as exactly the text it came
// from, and nothing in it may run.
TEST(ShellWord, TheShellHandsEachWordOnUnchanged) {
  testsupport::scratchWorkingDirectory work{"shell_word"};
  const std::string texts[] = {
      "a b",      "x;touch INJECTED;", "it's",        "$(touch INJECTED)", "`touch INJECTED`",
      "$HOME",    "back\\slash",       "\"quoted\"",  "new\nline",         "-n",
      "a*",       "&& touch INJECTED", "|touch INJECTED", "",               "'\\''",
  };
  for (const std::string& text : texts) {
    for (const bool doubleQuoted : {false, true}) {
      SCOPED_TRACE(text + (doubleQuoted ? " (double quotes)" : ""));
      const std::string word = doubleQuoted ? doubleQuotedShellWord(text) : shellWord(text);
      ASSERT_EQ(runShellCommand("printf '%s|' " + word + " > printed"), 0);
      EXPECT_EQ(readWholeFile("printed"), text + "|");
    }
  }
  EXPECT_FALSE(std::filesystem::exists("INJECTED"));
}

TEST(RunShellCommand, ReturnsTheRawStatusAsSystemDoes) {
  const struct {
    std::string command;
    int status;
  } cases[] = {
      {"true", 0},
      {"exit 2", 512},
      {"/nonexistent/program", 127 * 256},
      {"kill -KILL $$", SIGKILL},
      // Ended from outside while the run goes on: after a moment's wait for a signal of the run's
      // own, the status is reported like any other.
      {"kill -TERM $$", SIGTERM},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    EXPECT_EQ(runShellCommand(c.command), c.status);
    EXPECT_EQ(runShellCommand(c.command), std::system(c.command.c_str()));
  }
}

// A process that no longer runs (gone, or a zombie waiting for its parent).
bool ended(pid_t pid) {
  const std::string stat = readWholeFile("/proc/" + std::to_string(pid) + "/stat");
  if (stat.empty()) return true;
  const size_t paren = stat.rfind(')');
  return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] == 'Z';
}

pid_t pidIn(const std::string& path) {
  for (int i = 0; i < 500; ++i) {
    const std::string text = readWholeFile(path);
    if (!text.empty() && text.back() == '\n') return static_cast<pid_t>(std::stol(text));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

TEST(RunShellCommandDeathTest, StoppingEndsTheShellAndWhatItStartedAndNoCommandStartsAfter) {
  testsupport::scratchDirectory dir{"shell_stop"};
  const std::string shellPid = dir.file("shell.pid");
  const std::string sleepPid = dir.file("sleep.pid");
  const std::string late = dir.file("late");
  EXPECT_EXIT(
      {
        std::thread([&] {
          runShellCommand("echo $$ > " + shellPid + "; sleep 60 & echo $! > " + sleepPid +
                          "; wait");
        }).detach();
        const pid_t shell = pidIn(shellPid);
        const pid_t sleeper = pidIn(sleepPid);
        const auto start = std::chrono::steady_clock::now();
        stopChildProcesses();
        const bool quick = std::chrono::steady_clock::now() - start < std::chrono::seconds(5);
        std::thread([&] { runShellCommand("touch " + late); }).detach();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const bool none = !std::filesystem::exists(late);
        std::_Exit(shell > 0 && sleeper > 0 && ended(shell) && ended(sleeper) && quick && none
                       ? 0
                       : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
