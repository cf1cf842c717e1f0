#include "run/temp_files.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>

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
  struct Case {
    std::string start;
    int count, index;
    std::string pattern;
  } cases[] = {
      {"/tmp/", 0, 0, "/tmp/temp\\.zuq\\.0[0-9]{6}\\."},
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
  }
}

TEST_F(TempFiles, RemovesEveryListedNameAndNothingElse) {
  scratchPrefix = directory.file("p.");
  cpuCount = 3;
  debugLevel = 0;
  const std::string listed[] = {"p.all.bed",       "p.cpu0ud.bim",
                                "p.cpu2Un.assoc.logistic",     "p.un.nosex",
                                "p.plinktest.log", "p.lockfile",
                                "p.cpu1ue.cov",    "p.cpu2cor_Ud.bed",
                                "p.cpu0cor_Ue.assoc.logistic", "p.cor_Ue.fam"};
  const std::string unlisted[] = {"p.all.auto.R", "p.cpu1cor_Ud.auto.R", "q.all.bed",
                                  "p.cpu3all.bed", "cor_Ud.bed"};
  for (const auto& n : listed) touch(n);
  for (const auto& n : unlisted) touch(n);
  const int runtimeThreads = omp_get_max_threads();
  removeTempFiles();
  std::set<std::string> expected(std::begin(unlisted), std::end(unlisted));
  // Thread 3 exists only when the runtime was asked for more threads than cpuCount.
  if (runtimeThreads > 3) expected.erase("p.cpu3all.bed");
  EXPECT_EQ(remaining(), expected);
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
  removeTempFiles();
  EXPECT_EQ(remaining(), std::set<std::string>{"p.all.bed"});
}

}  // namespace
