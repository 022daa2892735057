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

// Writes a file that does not exist yet straight under its name (no temporary file), for
// callers that know no record claims the name, so that a file cut short by a crash is
// simply written again. Falls back to WriteFileAtomic when the file exists after all.
// Throws Error naming the file; a failed write leaves no file behind.
void WriteNewFile(const std::filesystem::path& path, std::string_view bytes);

// The whole file. Throws Error naming the file when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);

// True when `name` is a bare file name: not empty, no path separator ('/' or '\\'), not "."
// or "..", no NUL, not absolute. Names that come from data must pass before they are joined
// to an output folder.
bool IsBareFileName(std::string_view name);

}  // namespace tessavo
