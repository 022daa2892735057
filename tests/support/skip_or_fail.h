// Skipping a test because the machine lacks a tool, a privilege or a facility.
//
// On a developer's machine such a test may skip, with a reason that says what to install.
// In CI (CI=true in the environment) everything the tests need is installed, so a skip there
// would hide a broken setup behind a passing run: the same call fails the test instead.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace tessavo::testing {

// True when the tests run in CI, where no test may skip.
inline bool RunningInCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::strcmp(ci, "true") == 0;
}

}  // namespace tessavo::testing

// Ends the current test (or fixture SetUp) as skipped, or as failed when CI=true. `reason`
// says what is missing and how to get it, e.g. "tidy is not installed (scripts/setup)".
#define SKIP_OR_FAIL(reason)                                                    \
  do {                                                                          \
    if (::tessavo::testing::RunningInCi()) {                                    \
      GTEST_FAIL() << "would skip, but CI=true forbids skipping: " << (reason); \
    }                                                                           \
    GTEST_SKIP() << (reason);                                                   \
  } while (false)
