#include "run/options.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "test_support/scratch_files.h"

namespace {

options makeStore(std::vector<std::string> words) {
  words.insert(words.begin(), "zuq");
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  return options(static_cast<int>(argv.size()), argv.data());
}

std::string scriptFile(const testsupport::scratchDirectory& directory, const std::string& name,
                       const std::string& text) {
  const std::string path = directory.file(name);
  testsupport::writeWholeFile(path, text);
  return path;
}

std::string echoOf(options& store) {
  testing::internal::CaptureStdout();
  store.printCommandLine();
  return testing::internal::GetCapturedStdout();
}

TEST(Options, LaterOccurrenceWinsAndEveryOccurrenceIsConsumed) {
  options store = makeStore({"--out", "a.txt", "--qt", "--out", "b.txt"});
  ASSERT_EQ(store.findOption("--out", 1), 1);
  EXPECT_STREQ(store.optionArgs[0], "b.txt");
  EXPECT_EQ(store.findOption("--out", 1), 0);
  EXPECT_EQ(store.findOption("--qt", 0), 1);
  store.checkUnusedOptions();  // returns: nothing left over
}

TEST(Options, AnArgumentIsTakenWhateverItIs) {
  // --out takes "--help" as its file name, so the later --help lookup finds nothing.
  options store = makeStore({"--out", "--help"});
  ASSERT_EQ(store.findOption("--out", 1), 1);
  EXPECT_STREQ(store.optionArgs[0], "--help");
  EXPECT_EQ(store.findOption("--help", 0), 0);
  // An option name is still found by its own lookup when it was looked up first.
  options other = makeStore({"--out", "--qt"});
  EXPECT_EQ(other.findOption("--qt", 0), 1);
  ASSERT_EQ(other.findOption("--out", 1), 1);
  EXPECT_STREQ(other.optionArgs[0], "--qt");
}

TEST(Options, LookupsAreExactAndCaseSensitive) {
  options store = makeStore({"--l0", "5", "--L0x", "--L"});
  EXPECT_EQ(store.findOption("--L0", 1), 0);
  EXPECT_EQ(store.findOption("--L0x", 0), 1);
  EXPECT_EQ(store.findOption("--l", 0), 0);
}

TEST(Options, OnlyTheProgramNameFindsNothing) {
  options store = makeStore({});
  EXPECT_EQ(store.findOption("--qt", 0), 0);
  store.checkUnusedOptions();
  EXPECT_EQ(echoOf(store), "");
}

TEST(Options, TwoArgumentsFillBothSlots) {
  options store = makeStore({"--dummy", "10", "20"});
  ASSERT_EQ(store.findOption("--dummy", 2), 1);
  EXPECT_STREQ(store.optionArgs[0], "10");
  EXPECT_STREQ(store.optionArgs[1], "20");
}

TEST(Options, ScriptWordsJoinTheCommandLineAndAreLeftOutOfTheEcho) {
  testsupport::scratchDirectory directory("zuq-script");
  const std::string script = scriptFile(directory, "script", "--alpha\t1e-4\n\n  --L0 7\n");
  options store = makeStore({"--script", script, "--qt"});
  ASSERT_EQ(store.findOption("--alpha", 1), 1);
  EXPECT_STREQ(store.optionArgs[0], "1e-4");
  ASSERT_EQ(store.findOption("--L0", 1), 1);
  EXPECT_STREQ(store.optionArgs[0], "7");
  EXPECT_EQ(store.findOption("--qt", 0), 1);
  store.checkUnusedOptions();
  EXPECT_EQ(echoOf(store), "--qt --alpha 1e-4 --L0 7 ");
}

TEST(Options, OnlyTheLastScriptIsReadAndAScriptInsideAScriptIsNot) {
  testsupport::scratchDirectory directory("zuq-script");
  const std::string first = scriptFile(directory, "first", "--qt\n");
  const std::string second = scriptFile(directory, "second", "--script x\n");
  options store = makeStore({"--script", first, "--script", second});
  EXPECT_EQ(store.findOption("--qt", 0), 0);
  EXPECT_EQ(store.tokenCount, 7);
  EXPECT_EQ(store.findOption("--script", 1), 1);  // the script's own "--script" is still there
}

struct FailureCase {
  std::vector<std::string> words;
  const char* option;  // looked up with one argument before the check, or nullptr
  std::string message;
};

TEST(OptionsDeathTest, FailuresPrintTheirMessageAndEndWithStatusOne) {
  const FailureCase cases[] = {
      {{"--alpha"}, "--alpha", "Error: Option --alpha requires 1 arguments.\n"},
      {{"--l0", "100"}, nullptr,
       "Error: Option --l0 not understood.\n\nTry running zuq --help for a list of command line "
       "options.\n"},
      {{"--script", "/nonexistent/zuq-script"}, nullptr,
       "Error: Cannot open script file '/nonexistent/zuq-script'.\n"},      // A directory reads as an empty file once opened: it is no script either.
      {{"--script", "/"}, nullptr, "Error: Cannot open script file '/'.\n"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EXIT(
        {
          dup2(STDERR_FILENO, STDOUT_FILENO);
          options store = makeStore(c.words);
          if (c.option) store.findOption(c.option, 1);
          store.checkUnusedOptions();
          std::exit(3);
        },
        testing::ExitedWithCode(1), testing::Matcher<const std::string&>(c.message));
  }
}

}  // namespace
