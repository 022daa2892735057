// File systems with given properties for tests: a small one that fills up, and a read-only
// view of a folder that binds root as well (root passes every permission check, but not a
// read-only mount).
//
// Mounting needs the privilege to mount (root, as in CI). Without it a test skips with a
// message saying so, except when CI=true, where it fails instead: the CI machine must run
// every test.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

namespace tessavo::testing {

// True when the environment says CI=true.
bool InCi();

class ScopedMount {
 public:
  // A tmpfs of `bytes` bytes at `where` (made when missing). Nothing and `why` set when it
  // cannot be mounted.
  static std::unique_ptr<ScopedMount> SmallTmpfs(const std::filesystem::path& where, size_t bytes,
                                                 std::string* why);
  // `folder` seen read-only at `where` (made when missing).
  static std::unique_ptr<ScopedMount> ReadOnlyView(const std::filesystem::path& folder,
                                                   const std::filesystem::path& where,
                                                   std::string* why);
  ~ScopedMount();
  ScopedMount(const ScopedMount&) = delete;
  ScopedMount& operator=(const ScopedMount&) = delete;

  const std::filesystem::path& path() const { return where_; }

 private:
  explicit ScopedMount(std::filesystem::path where) : where_(std::move(where)) {}
  std::filesystem::path where_;
};

}  // namespace tessavo::testing

// Skips the current test with `why`, or fails it when CI=true.
#define TESSAVO_SKIP_OR_FAIL(why)                               \
  do {                                                          \
    if (::tessavo::testing::InCi()) {                           \
      FAIL() << (why) << " (CI=true: this test must run here)"; \
    } else {                                                    \
      GTEST_SKIP() << (why);                                    \
    }                                                           \
  } while (0)
