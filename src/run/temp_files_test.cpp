#include "run/temp_files.h"

#include <gtest/gtest.h>
#include <omp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <thread>

#include "run/exit.h"
#include "run/settings.h"
#include "test_support/scratch_files.h"
#include "test_support/settings_snapshot.h"

namespace fs = std::filesystem;

namespace {

class TempFiles : public testing::Test {
 protected:
  void SetUp() override { tempNamesInUse = true; }
  void touch(const std::string& name) { testsupport::writeWholeFile(directory.file(name), "x"); }
  std::set<std::string> remaining() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory.path())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  testsupport::settingsSnapshot settings;
  testsupport::scratchDirectory directory{"zuq-temp"};
};

TEST_F(TempFiles, DirectoryPrefixGetsExactlyOneSlash) {
  EXPECT_EQ(scratchDirectoryPrefix("/tmp"), "/tmp/");
  EXPECT_EQ(scratchDirectoryPrefix("/tmp/"), "/tmp/");
  EXPECT_EQ(scratchDirectoryPrefix(""), "");  // no directory part at all
}

TEST_F(TempFiles, PrefixCarriesSevenDigitsAndTheClusterInstance) {
  testsupport::scratchWorkingDirectory work{"zuq-prefix"};
  const std::string dir = directory.path() + "/";
  struct Case {
    std::string start;
    int count, index;
    std::string pattern;
  } cases[] = {
      {dir, 0, 0, dir + "temp\\.zuq\\.0[0-9]{6}\\."},
      {"", 20, 3, "temp\\.zuq\\.0[0-9]{6}\\.3\\."},
      {"", 4, 0, "temp\\.zuq\\.0[0-9]{6}\\.0\\."},  // a join
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    scratchPrefix = c.start;
    clusterCount = c.count;
    clusterIndex = c.index;
    completeScratchPrefix();
    EXPECT_TRUE(std::regex_match(scratchPrefix, std::regex(c.pattern))) << scratchPrefix;
    // The digits are claimed in the scratch directory by their lock file (named without the
    // cluster part), which goes with the other temporary files.
    const std::string lockFile = scratchPrefix.substr(0, c.start.size() + 17) + "lockfile";
    EXPECT_TRUE(fs::exists(lockFile)) << lockFile;
    removeTempFiles();
    EXPECT_FALSE(fs::exists(lockFile)) << lockFile;
  }
}

// Runs started in the same second seed the system generator alike (and every --dummy run seeds
// it with 10): their digits must still differ.
TEST_F(TempFiles, RunsThatDrawAlikeGetDigitsOfTheirOwn) {
  const std::string dir = directory.path() + "/";
  struct Case {
    const char* what;
    int count, index;
  } cases[] = {{"a plain run", 0, 0}, {"a cluster instance", 20, 3}, {"a join", 4, 0}};
  std::set<std::string> digitsSeen;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::srand(10);
    scratchPrefix = dir;
    clusterCount = c.count;
    clusterIndex = c.index;
    completeScratchPrefix();
    const std::string digits = scratchPrefix.substr(dir.size() + 9, 7);
    EXPECT_TRUE(digitsSeen.insert(digits).second) << digits << " taken twice";
  }
  EXPECT_EQ(remaining().size(), 3u);  // one lock file each

  // Another process, same draw, another directory: the process id makes the difference.
  std::srand(10);
  scratchPrefix = dir;
  clusterCount = 0;
  completeScratchPrefix();
  const std::string mine = scratchPrefix.substr(dir.size());
  testsupport::scratchDirectory other{"zuq-other"};
  const std::string answer = other.file("prefix");
  const pid_t child = fork();
  if (child == 0) {
    std::srand(10);
    scratchPrefix = other.path() + "/";
    completeScratchPrefix();
    testsupport::writeWholeFile(answer, scratchPrefix.substr(other.path().size() + 1));
    std::_Exit(0);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  waitpid(child, &status, 0);
  const std::string theirs = testsupport::readWholeFile(answer);
  EXPECT_EQ(theirs.size(), mine.size());
  EXPECT_NE(theirs, mine);
}

TEST_F(TempFiles, RemovesEveryNameUnderThePrefixAndNothingElse) {
  scratchPrefix = directory.file("p.");
  cpuCount = 3;
  debugLevel = 0;
  const std::string underPrefix[] = {
      "p.all.bed", "p.cpu0ud.bim", "p.cpu2Un.assoc.logistic", "p.un.nosex", "p.plinktest.log",
      "p.lockfile", "p.cpu1ue.cov", "p.cpu2cor_Ud.bed", "p.cpu0cor_Ue.assoc.logistic",
      "p.cor_Ue.fam", "p.cpu3all.bed",
      // plink's by-products and other steps' names, in no fixed list
      "p.all.auto.R", "p.cpu1cor_Ud.auto.R", "p.cpu0all.hh", "p.cpu7ud.nof",
      "p.plinktest.bed", "p.plinktest.bim", "p.plinktest.fam", "p.cpu12corr.any.thing"};
  const std::string elsewhere[] = {"q.all.bed", "cor_Ud.bed", "pp.all.bed", "x.p.all.bed"};
  for (const auto& n : underPrefix) touch(n);
  for (const auto& n : elsewhere) touch(n);
  fs::create_directory(directory.file("p.directory"));  // only files are removed
  testsupport::scratchDirectory outDirectory{"zuq-out"};
  const std::string added = outDirectory.file("out.zuq.1.2.incomplete");
  testsupport::writeWholeFile(added, "x");
  addTemporaryName(added);
  removeTempFiles();
  std::set<std::string> expected(std::begin(elsewhere), std::end(elsewhere));
  expected.insert("p.directory");
  EXPECT_EQ(remaining(), expected);
  EXPECT_FALSE(fs::exists(added));
}

TEST_F(TempFiles, NothingIsRemovedBeforeThePrefixIsComplete) {
  // An option error ends the run before the prefix exists: the user's own all.bed must stay.
  scratchPrefix = directory.path() + "/";
  tempNamesInUse = false;
  touch("all.bed");
  touch("lockfile");
  removeTempFiles();
  EXPECT_EQ(remaining(), (std::set<std::string>{"all.bed", "lockfile"}));
}

TEST_F(TempFiles, DebugKeepsEverything) {
  scratchPrefix = directory.file("p.");
  debugLevel = 1;
  touch("p.all.bed");
  touch("p.all.hh");
  removeTempFiles();
  EXPECT_EQ(remaining(), (std::set<std::string>{"p.all.bed", "p.all.hh"}));
}

// An output file cut short by the end of the run is no intermediate file worth keeping: it goes
// with --debug as well.
TEST_F(TempFiles, DebugKeepsNoIncompleteOutputFile) {
  scratchPrefix = directory.file("p.");
  debugLevel = 1;
  touch("p.all.bed");
  touch("summary.txt.incomplete");
  addTemporaryName(directory.file("summary.txt.incomplete"));
  removeTempFiles();
  EXPECT_EQ(remaining(), (std::set<std::string>{"p.all.bed"}));
}

// One thread writes files for a while; the ending thread has work of its own (a fileset that
// could not be written). True when the end waited for the other thread and let no new work start.
bool endWaitsForWorkUnderWayAndStopsNewWork() {
  std::atomic<bool> inside{false};
  std::atomic<bool> finished{false};
  std::atomic<bool> lateStarted{false};
  std::thread([&] {
    const temporaryFileWork work;
    inside = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    finished = true;
  }).detach();
  while (!inside) {
  }
  {
    const temporaryFileWork mine;
    stopTemporaryFileWork();
  }
  const bool waited = finished;
  std::thread([&] {
    const temporaryFileWork work;
    lateStarted = true;
  }).detach();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  return waited && !lateStarted;
}

TEST(TemporaryFileWorkDeathTest, TheEndWaitsForWorkUnderWayAndStopsNewWork) {
  EXPECT_EXIT(std::_Exit(endWaitsForWorkUnderWayAndStopsNewWork() ? 0 : 1),
              testing::ExitedWithCode(0), "");
}

// A thread that fails inside its writing of temporary files never finishes it: the end removes
// what it wrote without waiting the few seconds it allows for work under way.
TEST(TemporaryFileWorkDeathTest, WorkOfAThreadThatFailsInsideItIsNotWaitedFor) {
  EXPECT_EXIT(
      {
        finishRun();  // this thread now holds the end
        std::atomic<bool> inside = false;
        std::thread([&] {
          const temporaryFileWork work;
          inside = true;
          fatalExit(3);
        }).detach();
        while (!inside) {
        }
        const auto start = std::chrono::steady_clock::now();
        stopTemporaryFileWork();
        const auto waited = std::chrono::steady_clock::now() - start;
        std::_Exit(waited < std::chrono::seconds(2) ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
