#include "templates/package.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "util/error.h"
#include "util/host.h"

namespace tessavo {

PackageLines BuiltInPackageLines() { return SplitPackageLines(BuiltInPackageText()); }

bool InstallDefaultPackage(const std::filesystem::path& program_folder) {
  const std::filesystem::path path = program_folder / kDefaultPackageName;
  std::error_code ec;
  if (std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found) {
    return false;
  }
  // Written under a temporary name and linked into place: a link never replaces an
  // existing name, so a package that appears meanwhile stays as it is.
  const std::string_view text = BuiltInPackageText();
  std::string tmp = path.string() + ".tmp-XXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) throw Error("Cannot write " + path.string() + ": " + std::strerror(errno));
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int err = errno;
      ::close(fd);
      ::unlink(tmp.c_str());
      throw Error("Cannot write " + path.string() + ": " + std::strerror(err));
    }
    done += static_cast<size_t>(n);
  }
  ::fchmod(fd, 0644);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    throw Error("Cannot write " + path.string() + ": " + std::strerror(err));
  }
  const int linked = ::link(tmp.c_str(), path.c_str());
  const int err = errno;
  ::unlink(tmp.c_str());
  if (linked == 0) return true;
  if (err == EEXIST) return false;
  throw Error("Cannot write " + path.string() + ": " + std::strerror(err));
}

LoadedPackage LoadTemplatePackage(Host& host, const std::filesystem::path& program_folder,
                                  const std::string& template_file) {
  LoadedPackage loaded;
  host.PublishLogLine("Loading Template Package...");
  // The folder and the name are joined as text, so an option value that is itself a path
  // cannot replace the program folder.
  std::string folder = program_folder.string();
  // One separator between folder and name, also when the folder is given with a final one.
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  std::string path = folder + "/" + template_file;
  if (ValidatePackage(path, host, loaded.lines)) {
    loaded.source = LoadedPackage::Source::kTemplateFile;
    loaded.path = path;
  } else {
    host.PublishLogLineColored(LogColor::kRed, "Error opening template package: " + template_file);
    path = folder + "/" + kDefaultPackageName;
    if (ValidatePackage(path, host, loaded.lines)) {
      loaded.source = LoadedPackage::Source::kDefaultFile;
      loaded.path = path;
    } else {
      host.PublishLogLineColored(
          LogColor::kRed,
          std::string("Error opening default template package: ") + kDefaultPackageName);
      host.PublishLogLineColored(LogColor::kRed,
                                 "Loading internal copy of default template package instead.");
      loaded.lines = BuiltInPackageLines();
      loaded.source = LoadedPackage::Source::kBuiltIn;
      loaded.path.clear();
    }
  }
  loaded.templates = LoadPageTemplates(loaded.lines);
  host.PublishLogLine("Loading Template Package complete...");
  return loaded;
}

}  // namespace tessavo
