#include "util/program_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <system_error>

namespace tessavo {
namespace {

std::optional<std::filesystem::path>& Override() {
  static std::optional<std::filesystem::path> folder;
  return folder;
}

std::filesystem::path Ensure(const std::filesystem::path& p) {
  std::error_code ec;
  std::filesystem::create_directories(p, ec);
  return p;
}

}  // namespace

void SetProgramFolder(const std::filesystem::path& folder) { Override() = folder; }

std::filesystem::path ProgramFile() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path("tessavo") : p;
}

std::filesystem::path ProgramFolder() {
  if (Override()) return Ensure(*Override());
  if (const char* home = std::getenv("TESSAVO_HOME"); home && *home) {
    return Ensure(std::filesystem::absolute(home));
  }
  auto dir = ProgramFile().parent_path();
  if (!dir.empty() && access(dir.c_str(), W_OK) == 0) return dir;
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    base = std::filesystem::path(h) / ".local" / "share";
  } else {
    base = std::filesystem::temp_directory_path();
  }
  return Ensure(base / "tessavo");
}

}  // namespace tessavo
