#include "templates/package.h"

#include "util/file_io.h"
#include "util/host.h"

namespace tessavo {

PackageLines BuiltInPackageLines() { return SplitPackageLines(BuiltInPackageText()); }

bool InstallDefaultPackage(const std::filesystem::path& program_folder) {
  const std::filesystem::path path = program_folder / kDefaultPackageName;
  std::error_code ec;
  if (std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found) {
    return false;
  }
  WriteFileAtomic(path, BuiltInPackageText());
  return true;
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
          LogColor::kRed, std::string("Error opening default template package: ") + kDefaultPackageName);
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
