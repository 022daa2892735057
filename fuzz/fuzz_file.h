// The picture readers take a path, so each fuzz input is written to one temporary file per
// process first.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace tessavo::fuzz {

inline const std::filesystem::path& InputFile(const char* extension) {
  static const std::filesystem::path path = [extension] {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = tmp && *tmp ? tmp : "/tmp";
    return std::filesystem::path(dir) / ("tessavo-fuzz-" + std::to_string(::getpid()) + extension);
  }();
  return path;
}

inline const std::filesystem::path& WriteInput(const uint8_t* data, size_t size,
                                               const char* extension) {
  const auto& path = InputFile(extension);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

}  // namespace tessavo::fuzz
