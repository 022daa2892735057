// The program folder: where .tem packages, the settings file, the HTML output folders and
// default backups live.
#pragma once

#include <filesystem>

namespace tessavo {

// $TESSAVO_HOME when set (the CLI's --home sets it); otherwise the folder of the program
// file when it is writable; else $XDG_DATA_HOME/tessavo (~/.local/share/tessavo).
// The folder is created when missing.
std::filesystem::path ProgramFolder();

// Overrides the program folder for this process (used by --home and by tests).
void SetProgramFolder(const std::filesystem::path& folder);

// The program file's own path (/proc/self/exe).
std::filesystem::path ProgramFile();

}  // namespace tessavo
