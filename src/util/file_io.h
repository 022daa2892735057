// Reading and writing whole files. Every output file is written atomically: a temporary
// file in the same folder, then a rename, so a crash never leaves a half-written file.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tessavo {

// Writes `bytes` to `path` atomically, replacing an existing file. Throws Error naming the
// file when it cannot be written; the old file, if any, is then unchanged.
void WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes);

// The whole file. Throws Error naming the file when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);

// True when `name` is a bare file name: not empty, no path separator ('/' or '\\'), not "."
// or "..", no NUL, not absolute. Names that come from data must pass before they are joined
// to an output folder.
bool IsBareFileName(std::string_view name);

}  // namespace tessavo
