// Test support: what a call that must end the process through the fatal exit printed.
#pragma once

#include <gtest/gtest.h>
#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "test_support/scratch_files.h"

namespace testsupport {

// Runs call in a death-test child whose standard output goes to a file of dir; expects the
// child to end with status 1 and returns what it printed. The child runs on one thread: the
// OpenMP threads of the parent do not survive the fork, and a parallel region waiting for them
// would hang the test instead of failing it where call does not end the process.
inline std::string fatalOutput(const scratchDirectory& dir, const std::function<void()>& call) {
  const std::string capture = dir.file("stdout.txt");
  std::fflush(stdout);
  EXPECT_EXIT(
      {
        if (!std::freopen(capture.c_str(), "w", stdout)) std::_Exit(2);
        omp_set_num_threads(1);
        call();
      },
      testing::ExitedWithCode(1), "");
  return readWholeFile(capture);
}

}  // namespace testsupport
