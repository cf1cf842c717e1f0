// A seeded one-thread run on SNPs of equal p: the table depends on the data, the options and the
// seed, not on where the allocator puts the records.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "run_zuq.h"

namespace {

// GLIBC_TUNABLES for the runs started while it lives. glibc reads it when a program starts, so the
// allocator of this process stays as it is.
class allocatorTunables {
 public:
  explicit allocatorTunables(const std::string& value) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value.empty()) {
      unsetenv(name);
    } else {
      setenv(name, value.c_str(), 1);
    }
  }
  ~allocatorTunables() {
    if (old_) {
      setenv(name, old_->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  allocatorTunables(const allocatorTunables&) = delete;
  allocatorTunables& operator=(const allocatorTunables&) = delete;

 private:
  static constexpr const char* name = "GLIBC_TUNABLES";
  std::optional<std::string> old_;
};

// tied.ped/.map: pairs of identical SNPs, so every scan, naive or resampled, ranks ties of equal
// p; without the thread cache glibc puts rs34 below its twin rs33 in memory (make_tied_snps.py).
TEST(SeededTies, TheTableIsTheSameUnderEveryAllocatorSetting) {
  const std::vector<std::string> args = {
      "--file", dataPath("tied"), "--plink", plinkPath(), "--cpu", "1", "--seed", "3",
      "--alpha", "1e-3", "--B1", "50", "--B2", "10", "--L2", "10"};
  const zuqRun plain = [&] {
    allocatorTunables none("");
    return runZuq(args);
  }();
  ASSERT_EQ(plain.status, 0) << plain.out;
  const std::string table = readFile(plain.directory + "/out.zuq");

  // Every significant SNP has its twin beside it, the two in data-set order (rs33 before rs34):
  // positions are 1000 per SNP.
  const auto rows = tableRows(table);
  ASSERT_GE(rows.size(), 11u) << table;
  int ties = 0;
  for (size_t i = 2; i < rows.size(); ++i) {
    if (rows[i - 1][5] != rows[i][5]) continue;
    ++ties;
    EXPECT_LT(std::stoi(rows[i - 1][2]), std::stoi(rows[i][2])) << rows[i][1];
  }
  EXPECT_EQ(2 * ties + 1, static_cast<int>(rows.size())) << table;

  for (const std::string setting :
       {"glibc.malloc.tcache_count=0", "glibc.malloc.mmap_threshold=4096"}) {
    SCOPED_TRACE(setting);
    allocatorTunables tunables(setting);
    const zuqRun run = runZuq(args);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(readFile(run.directory + "/out.zuq"), table);
    EXPECT_EQ(maskMachineLines(run.out), maskMachineLines(plain.out));
  }
}

}  // namespace
