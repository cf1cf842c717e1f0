// Tests that need an outside tool, plink 1.07 or Rserve, skip where it is missing, as on a
// developer's machine without it. The test script (run-tests.sh) exports ZUQ_REQUIRE_PLINK=1 and
// ZUQ_REQUIRE_RSERVE=1: there the same tests fail instead, naming what is missing, so that a run
// cannot pass without ever reaching the plink routes or the R plug-in.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "test_support/plink_oracle.h"

namespace testsupport {

// True when the environment variable is set to anything but "" or "0".
inline bool toolRequired(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0' && std::string(value) != "0";
}

}  // namespace testsupport

// Ends the test (in a fixture's SetUp or a test body) when present is false: skipped, or failed
// with the message when the environment variable requires the tool.
#define ZUQ_NEED_TOOL(present, variable, missing)                                      \
  do {                                                                                 \
    if (!(present)) {                                                                  \
      if (testsupport::toolRequired(variable)) {                                       \
        GTEST_FAIL() << (missing) << " (" variable " is set: this run must not skip "  \
                     << "the tests that need it)";                                     \
      }                                                                                \
      GTEST_SKIP() << (missing);                                                       \
    }                                                                                  \
  } while (0)

// plink 1.07 at testsupport::plink107.
#define ZUQ_NEED_PLINK107()                                                  \
  ZUQ_NEED_TOOL(testsupport::plink107Installed(), "ZUQ_REQUIRE_PLINK",       \
                "plink 1.07 is not installed at " + testsupport::plink107)

// Rserve for plink's R plug-in, as a testsupport::rserveSession found or started it.
#define ZUQ_NEED_RSERVE(session)                                                 \
  ZUQ_NEED_TOOL((session).available(), "ZUQ_REQUIRE_RSERVE",                     \
                std::string("Rserve is not reachable on port 6311 and could not be started"))
