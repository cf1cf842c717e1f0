#include "run/exit.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

// A global with a destructor, which other threads keep using while one of them ends the run.
std::vector<std::string> sharedNames(1000, "snp");

// Reads the shared global until the process ends.
void keepReading(std::atomic<bool>& started) {
  started = true;
  size_t total = 0;
  for (;;) {
    for (const std::string& name : sharedNames) total += name.size();
    if (total == 0) return;
  }
}

TEST(FatalExitDeathTest, AWorkerThreadEndsTheRunWhileOthersStillWork) {
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        std::cout << "buffered before the end\n";  // must reach the output
        std::atomic<bool> started{false};
        std::vector<std::thread> readers;
        for (int t = 0; t < 4; ++t) readers.emplace_back(keepReading, std::ref(started));
        while (!started) {
        }
        std::thread([] { fatalExit(7); }).join();
      },
      testing::ExitedWithCode(7), "^buffered before the end\n$");
}

TEST(FatalExitDeathTest, ThreadsFailingTogetherEndTheRunOnce) {
  EXPECT_EXIT(
      {
        std::vector<std::thread> failing;
        for (int t = 0; t < 8; ++t) failing.emplace_back([] { fatalExit(5); });
        for (std::thread& t : failing) t.join();
      },
      testing::ExitedWithCode(5), "");
}

}  // namespace
