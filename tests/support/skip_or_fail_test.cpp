#include "skip_or_fail.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace tessavo::testing {
namespace {

void SkipForMissingTool() { SKIP_OR_FAIL("frobnicate is not installed (scripts/setup)"); }

// What SKIP_OR_FAIL reports with CI set to `ci` (unset when null), caught before it reaches
// the test that runs it.
::testing::TestPartResult Outcome(const char* ci) {
  const char* old = std::getenv("CI");
  std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  if (ci) {
    setenv("CI", ci, 1);
  } else {
    unsetenv("CI");
  }
  ::testing::TestPartResultArray results;
  {
    ::testing::ScopedFakeTestPartResultReporter reporter(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
    SkipForMissingTool();
  }
  if (saved) {
    setenv("CI", saved->c_str(), 1);
  } else {
    unsetenv("CI");
  }
  EXPECT_EQ(results.size(), 1);
  return results.GetTestPartResult(0);
}

TEST(SkipOrFailTest, SkipsWithTheReasonOutsideCi) {
  for (const char* ci : {static_cast<const char*>(nullptr), "false"}) {
    ::testing::TestPartResult r = Outcome(ci);
    EXPECT_TRUE(r.skipped());
    EXPECT_EQ(std::string(r.message()), "frobnicate is not installed (scripts/setup)");
  }
}

TEST(SkipOrFailTest, FailsInCi) {
  ::testing::TestPartResult r = Outcome("true");
  EXPECT_TRUE(r.fatally_failed());
  EXPECT_NE(std::string(r.message()).find("frobnicate is not installed"), std::string::npos)
      << r.message();
}

}  // namespace
}  // namespace tessavo::testing
