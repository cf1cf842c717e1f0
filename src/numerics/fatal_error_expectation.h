// Test-only: expects a statement to end the process through fatalError with a given message.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace numericstest {

// The child's standard output goes to its standard error, where the death test reads it, so the
// whole output is compared: "\nERROR: ", the message, "\n", and status 1.
inline void expectFatal(const std::function<void()>& statement, const std::string& message) {
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        statement();
      },
      testing::ExitedWithCode(1), testing::Eq("\nERROR: " + message + "\n"));
}

}  // namespace numericstest
