#include "run/option_table.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "run/options.h"
#include "run/settings.h"
#include "test_support/fatal_output.h"
#include "test_support/scratch_files.h"
#include "test_support/settings_snapshot.h"

namespace {

options makeStore(std::vector<std::string> words) {
  words.insert(words.begin(), "zuq");
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  return options(static_cast<int>(argv.size()), argv.data());
}

std::string join(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += w + " ";
  return text;
}

class OptionTable : public testing::Test {
 protected:
  void TearDown() override { freeDataSet(); }
  // The lookups and the range check, as the driver runs them; what they printed.
  std::string parseAndCheck(const std::vector<std::string>& words) {
    options store = makeStore(words);
    testing::internal::CaptureStdout();
    parseOptions(store);
    checkCountRanges();
    return testing::internal::GetCapturedStdout();
  }

  testsupport::settingsSnapshot settings;
  testsupport::scratchDirectory dir{"zuq-option-table"};
};

// Values that used to overflow an attempt budget, abort an allocation or run for ever.
TEST_F(OptionTable, CountsOutsideTheirRangeEndTheRun) {
  struct refusedCase {
    std::vector<std::string> words;
    std::string error;
  };
  const std::string replicates = " is out of range: give a number from 0 to 1000000.\n";
  const refusedCase cases[] = {
      {{"--L0", "2147483647"}, "Error: --L0 2147483647" + replicates},
      {{"--L0", "300000000"}, "Error: --L0 300000000" + replicates},
      {{"--L0", "-1"}, "Error: --L0 -1" + replicates},
      {{"--L1", "1", "--L2", "2000000000"}, "Error: --L2 2000000000" + replicates},
      {{"--L1", "1000001"}, "Error: --L1 1000001" + replicates},
      // Kept in 32 bits this would be 100: the range sees the value as given.
      {{"--B1", "4294967396"}, "Error: --B1 4294967396" + replicates},
      {{"--B2", "-5"}, "Error: --B2 -5" + replicates},
      {{"--top", "0"},
       "Error: --top 0 is out of range: give a number from 1 to 2147483647.\n"},
      {{"--top", "-2"},
       "Error: --top -2 is out of range: give a number from 1 to 2147483647.\n"},
      {{"--adj.nsample", "1"},
       "Error: --adj.nsample 1 is out of range: give a number from 2 to 100000.\n"},
      {{"--adj.nsample", "2147483647"},
       "Error: --adj.nsample 2147483647 is out of range: give a number from 2 to 100000.\n"},
      {{"--dummy", "2000000000", "2000000000"},
       "Error: --dummy 2000000000 2000000000 is too large: at most 1000000 individuals, "
       "10000000 SNPs and 1000000000 genotypes.\n"},
      {{"--dummy", "100000", "100000"},
       "Error: --dummy 100000 100000 is too large: at most 1000000 individuals, 10000000 SNPs "
       "and 1000000000 genotypes.\n"},
  };
  for (const refusedCase& c : cases) {
    SCOPED_TRACE(join(c.words));
    const std::string out = testsupport::fatalOutput(dir, [&] {
      options store = makeStore(c.words);
      parseOptions(store);
      checkCountRanges();
    });
    EXPECT_EQ(out, c.error);
  }
}

TEST_F(OptionTable, CountsInsideTheirRangeAreKept) {
  struct acceptedCase {
    std::vector<std::string> words;
    int l0, l1, l2, top, adjSamples;
  };
  const acceptedCase cases[] = {
      {{"--L0", "0", "--L1", "1000000", "--L2", "0"}, 0, 1000000, 0, -1, 30},
      {{"--top", "-1", "--adj.nsample", "2"}, 100, 0, 100, -1, 2},
      {{"--top", "1", "--adj.nsample", "100000"}, 100, 0, 100, 1, 100000},
      // --B1 comes after --L0 in the table and wins: the range is checked on what is kept.
      {{"--L0", "-1", "--B1", "7"}, 7, 0, 7, -1, 30},
      {{"--L0", "12x"}, 12, 0, 100, -1, 30},
  };
  for (const acceptedCase& c : cases) {
    SCOPED_TRACE(join(c.words));
    testsupport::settingsSnapshot restore;
    EXPECT_EQ(parseAndCheck(c.words), "");
    EXPECT_EQ(nL0, c.l0);
    EXPECT_EQ(nL1, c.l1);
    EXPECT_EQ(nL2, c.l2);
    EXPECT_EQ(topCount, c.top);
    EXPECT_EQ(adjNsample, c.adjSamples);
  }
}

// The runtime is never handed a thread count it cannot start.
TEST_F(OptionTable, CpuCountIsCappedWithAWarning) {
  const int limit = std::max(1024, omp_get_num_procs());
  const std::string capped = " is more threads than can be started here; using " +
                             std::to_string(limit) + " cpus.\n";
  struct cpuCase {
    const char* given;
    int threads;
    std::string warning;
  };
  const cpuCase cases[] = {
      {"100000", limit, "Warning: --cpu 100000" + capped},
      {"50000", limit, "Warning: --cpu 50000" + capped},
      {"99999999999", limit, "Warning: --cpu 99999999999" + capped},
      {"0", 1, "Warning: --cpu 0 is not a thread count; using 1 cpu.\n"},
      {"-4", 1, "Warning: --cpu -4 is not a thread count; using 1 cpu.\n"},
      {"3", 3, ""},
      // Text that is not wholly a number is shown as given, not as what strtol made of it.
      {"abc", 1, "Warning: --cpu \"abc\" is not a thread count; using 1 cpu.\n"},
      {"", 1, "Warning: --cpu \"\" is not a thread count; using 1 cpu.\n"},
      {"-4x", 1, "Warning: --cpu \"-4x\" is not a thread count; using 1 cpu.\n"},
      {"0.5", 1, "Warning: --cpu \"0.5\" is not a thread count; using 1 cpu.\n"},
      {"-99999999999999999999", 1,
       "Warning: --cpu \"-99999999999999999999\" is not a thread count; using 1 cpu.\n"},
      {"99999999999999999999", limit, "Warning: --cpu \"99999999999999999999\"" + capped},
      {"5000x", limit, "Warning: --cpu \"5000x\"" + capped},
      // Trailing characters are ignored, as for every count option.
      {"4x", 4, ""},
  };
  for (const cpuCase& c : cases) {
    SCOPED_TRACE(c.given);
    testsupport::settingsSnapshot restore;
    EXPECT_EQ(parseAndCheck({"--cpu", c.given}),
              c.warning + "Setting number of cpus to use to " + std::to_string(c.threads) +
                  ".\n\n");
    EXPECT_EQ(cpuCount, c.threads);
    EXPECT_EQ(omp_get_max_threads(), c.threads);
  }
}

TEST_F(OptionTable, DummySizesThatCanRunAreGenerated) {
  EXPECT_EQ(parseAndCheck({"--dummy", "-3", "2"}), "Generating dummy dataset...\n");
  EXPECT_EQ(nIndividuals, 0);
  EXPECT_EQ(nSnps, 2);
}

}  // namespace
