// A temporary folder for one test, removed with everything in it at the end.
#pragma once

#include <filesystem>
#include <string>

namespace tessavo::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Writes `bytes` to `path` (creating parent folders) and returns the path.
std::filesystem::path WriteFile(const std::filesystem::path& path, const std::string& bytes);
// The whole content of a file; throws when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

}  // namespace tessavo::testing
