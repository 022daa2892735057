// Starting the installer program that replaces this program with a downloaded update.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tessavo {

// Starts `program` with `args` (each one argument, no shell in between) in the working
// folder `folder`, as a process of its own session that outlives this one and is not
// this process's child. Returns true once the program runs; on failure `error` says why
// (a missing or not executable program included) and nothing was started.
bool StartDetachedProgram(const std::filesystem::path& program,
                          const std::vector<std::string>& args, const std::filesystem::path& folder,
                          std::string& error);

}  // namespace tessavo
