#include "templates/chooser.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <system_error>

#include "templates/package.h"
#include "util/file_io.h"
#include "util/host.h"
#include "util/text.h"

namespace tessavo {
namespace fs = std::filesystem;

namespace {

// The first line of a file (up to CR, LF or NUL) without reading the rest; nullopt when the
// file cannot be read.
std::optional<std::string> ReadFirstLine(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string line;
  char buffer[4096];
  while (in) {
    in.read(buffer, sizeof buffer);
    const std::streamsize got = in.gcount();
    for (std::streamsize i = 0; i < got; ++i) {
      const char c = buffer[i];
      if (c == '\r' || c == '\n' || c == '\0') return line;
      line += c;
    }
  }
  if (in.bad()) return std::nullopt;
  return line;
}

// A package's description from its first line: the line from its third character on,
// decoded.
std::string DescriptionOfLine(const std::string& line) {
  return DecodeLineBreaks(line.size() > 2 ? std::string_view(line).substr(2) : std::string_view());
}

bool HasTemExtension(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return char(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return ext == ".tem";
}

// Names in the order of a sorted list box: by letter without regard to case, then by bytes.
bool SortsBefore(const std::string& a, const std::string& b) {
  const std::string fa = FoldCase(a), fb = FoldCase(b);
  if (fa != fb) return fa < fb;
  return a < b;
}

std::string FolderText(const fs::path& folder) {
  std::string s = folder.lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

}  // namespace

bool IsInFolder(const fs::path& file, const fs::path& folder) {
  std::error_code ec;
  const fs::path parent = fs::absolute(file, ec).parent_path();
  const fs::path dir = fs::absolute(folder, ec);
  if (SameNameIgnoringCase(FolderText(parent), FolderText(dir))) return true;
  return fs::equivalent(parent, dir, ec);
}

void TemplateChooser::Scan(const fs::path& folder, Host& host) {
  items_.clear();
  descriptions_.clear();
  counter_ = 0;
  host.ShowStatus();
  host.SetStatus("Looking for Templates...");
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.' || !HasTemExtension(name)) continue;
    std::error_code type_ec;
    if (!it->is_regular_file(type_ec)) continue;  // folders and devices; a link to a file counts
    host.SetStatus("Found " + name);
    std::string description;
    if (counter_ + 1 < kDescriptionSlots) {
      if (auto line = ReadFirstLine(it->path())) description = DescriptionOfLine(*line);
    }
    Add(name, description);
  }
  host.SetStatus("Complete...");
  host.CloseStatus();
}

int TemplateChooser::Add(const std::string& name, const std::string& description) {
  ++counter_;
  if (counter_ < kDescriptionSlots) {
    if (descriptions_.size() <= size_t(counter_)) descriptions_.resize(size_t(counter_) + 1);
    descriptions_[size_t(counter_)] = description;
  }
  Item item{name, counter_};
  auto at = std::upper_bound(items_.begin(), items_.end(), item, [](const Item& a, const Item& b) {
    return SortsBefore(a.name, b.name);
  });
  const auto inserted = items_.insert(at, item);
  return int(inserted - items_.begin());
}

std::string TemplateChooser::Description(int slot) const {
  if (slot <= 0 || size_t(slot) >= descriptions_.size()) return {};
  return descriptions_[size_t(slot)];
}

int TemplateChooser::Find(const std::string& name) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (SameNameIgnoringCase(items_[i].name, name)) return int(i);
  }
  return -1;
}

int TemplateChooser::Import(const fs::path& file, const fs::path& folder, Host& host) {
  if (IsInFolder(file, folder)) {
    host.ShowInformation(
        "You have selected a template that is already in the Tessavo Directory. Please choose "
        "again.");
    return -1;
  }
  const PackageLines lines = SplitPackageLines(ReadWholeFile(file));
  const int damage = FindPackageDamage(lines);
  if (damage < 0) {
    host.ShowInformation("Error. Template Package " + file.string() +
                         " is damaged and can not be used. Sorry");
    return -1;
  }
  if (damage > 0) {
    host.ShowInformation("Error. Template Package " + file.string() + " is damaged at record " +
                         std::to_string(damage) + " and can not be used. Sorry");
    return -1;
  }
  const std::string name = fs::path(file.filename()).replace_extension(".tem").string();
  WriteFileAtomic(folder / name, JoinPackageLines(lines));
  return Add(name, ReadDescription(lines));
}

}  // namespace tessavo
