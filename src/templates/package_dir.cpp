#include "templates/package_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <system_error>

#include "util/error.h"
#include "util/file_io.h"

namespace fs = std::filesystem;

namespace tessavo {

namespace {

std::string Digit(std::size_t n) { return std::string(1, static_cast<char>('0' + n)); }

std::string EmptyRecord(std::size_t n) { return Digit(n) + kFieldSeparator; }

std::string SliceFileName(std::size_t s) { return "slice" + std::to_string(s) + ".html"; }

std::string RawLineName(std::size_t line) {
  return std::string(line < 10 ? "raw/line0" : "raw/line") + std::to_string(line) + ".record";
}

void Write(const fs::path& path, std::string_view bytes) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  if (ec) throw Error("Cannot create " + path.parent_path().string() + ": " + ec.message());
  WriteFileAtomic(path, bytes);
}

// A name that can stand as a file of its own and as one line of files.txt.
bool PlainName(std::string_view name) {
  if (!IsBareFileName(name) || name.size() > 200) return false;
  return name.find_first_of(std::string_view("\r\n\x01\x02\x03", 5)) == std::string_view::npos;
}

// Reads the files of a package folder by their names relative to it, taking only regular
// files that lie inside it: a symbolic link (which could point at any file of the system),
// a folder, a device or a pipe where a file is read is refused, and so is a link in place
// of one of the package's subfolders. Refusals are collected so that one error can name
// them all. The folder itself may be reached through a link: the person named it.
class PackageFolderReader {
 public:
  explicit PackageFolderReader(const fs::path& folder)
      : folder_(folder), fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ < 0) throw Error("Cannot read " + folder.string() + ": " + std::strerror(errno));
  }
  ~PackageFolderReader() { ::close(fd_); }
  PackageFolderReader(const PackageFolderReader&) = delete;
  PackageFolderReader& operator=(const PackageFolderReader&) = delete;

  // True when anything at all (a link included) stands at `relative`, or something other
  // than a folder or a plain file (a link, say) in place of one of the folders on the way.
  bool Present(const std::string& relative) const {
    struct stat st;
    std::string prefix;
    const std::vector<std::string> parts = Split(relative);
    for (size_t i = 0; i < parts.size(); ++i) {
      prefix += (prefix.empty() ? "" : "/") + parts[i];
      if (::fstatat(fd_, prefix.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
      if (i + 1 < parts.size() && !S_ISDIR(st.st_mode)) return !S_ISREG(st.st_mode);
    }
    return true;
  }

  // The bytes of the regular file `relative`; "" (with the refusal noted) when it or a
  // folder on the way is something else. Throws Error naming a file that cannot be read.
  std::string Read(const std::string& relative) {
    const std::vector<std::string> parts = Split(relative);
    int dir = fd_;
    std::string prefix;
    for (size_t i = 0; i < parts.size(); ++i) {
      prefix += (prefix.empty() ? "" : "/") + parts[i];
      const bool last = i + 1 == parts.size();
      const int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | (last ? O_NONBLOCK : O_DIRECTORY);
      const int fd = ::openat(dir, parts[i].c_str(), flags);
      const int err = errno;
      if (dir != fd_) ::close(dir);
      if (fd < 0) {
        if (err == ELOOP || err == ENOTDIR) {
          Refuse(prefix);
          return "";
        }
        throw Error("Cannot read " + (folder_ / relative).string() + ": " + std::strerror(err));
      }
      if (last) return ReadRegular(fd, prefix);
      dir = fd;
    }
    return "";
  }

  // The names of the regular files in the subfolder `relative`, sorted; everything else
  // in it is refused.
  std::vector<std::string> ListFiles(const std::string& relative) {
    std::vector<std::string> names;
    const int fd = ::openat(fd_, relative.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      // A plain file of that name holds no files; anything else is refused.
      struct stat st;
      if (::fstatat(fd_, relative.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
        Refuse(relative);
      }
      return names;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
      ::close(fd);
      throw Error("Cannot read " + (folder_ / relative).string());
    }
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      struct stat st;
      if (::fstatat(::dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISREG(st.st_mode)) {
        names.push_back(name);
      } else {
        Refuse(relative + "/" + name);
      }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
  }

  // Throws Error naming everything refused, if anything was.
  void ThrowIfRefused() const {
    if (refused_.empty()) return;
    std::string list;
    for (const std::string& item : refused_) list += (list.empty() ? "" : ", ") + item;
    throw Error("Cannot pack " + folder_.string() +
                ": only regular files inside the folder are packed, and these are not: " + list +
                ".");
  }

 private:
  static std::vector<std::string> Split(const std::string& relative) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
      const size_t slash = relative.find('/', start);
      parts.push_back(relative.substr(start, slash - start));
      if (slash == std::string::npos) return parts;
      start = slash + 1;
    }
  }

  std::string ReadRegular(int fd, const std::string& relative) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      Refuse(relative);
      return "";
    }
    std::string bytes;
    char buf[1 << 16];
    for (;;) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        const int err = errno;
        ::close(fd);
        throw Error("Cannot read " + (folder_ / relative).string() + ": " + std::strerror(err));
      }
      if (n == 0) break;
      bytes.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return bytes;
  }

  // Notes `relative` with what it is, once.
  void Refuse(const std::string& relative) {
    struct stat st;
    std::string kind = "not a regular file";
    if (::fstatat(fd_, relative.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISLNK(st.st_mode))
        kind = "a symbolic link";
      else if (S_ISDIR(st.st_mode))
        kind = "a folder";
    }
    const std::string item = relative + " (" + kind + ")";
    if (std::find(refused_.begin(), refused_.end(), item) == refused_.end()) {
      refused_.push_back(item);
    }
  }

  fs::path folder_;
  int fd_;
  std::vector<std::string> refused_;
};

}  // namespace

void UnpackPackage(const PackageLines& lines, const fs::path& folder) {
  std::error_code ec;
  if (fs::exists(folder, ec) && !fs::is_empty(folder, ec)) {
    throw Error("The folder " + folder.string() + " is not empty.");
  }
  fs::create_directories(folder, ec);
  if (ec) throw Error("Cannot create " + folder.string() + ": " + ec.message());

  // Line 0: the description.
  if (!lines.empty()) {
    std::string description = ReadDescription(lines);
    if (BuildDescriptionRecord(description) == lines[0]) {
      Write(folder / "description.txt", description);
    } else {
      Write(folder / "description.record", lines[0]);
    }
  }
  // Lines 1 to 6: the page templates.
  for (std::size_t t = 1; t <= 6 && t < lines.size(); ++t) {
    const std::string& line = lines[t];
    TemplateFields fields = SplitTemplateRecord(line);
    TemplateFields empty;
    empty[0] = Digit(t);
    if (line == BuildTemplateRecord(empty)) continue;
    if (fields[0] != Digit(t) || BuildTemplateRecord(fields) != line) {
      Write(folder / ("template" + std::to_string(t) + ".record"), line);
      continue;
    }
    fs::path dir = folder / ("template" + std::to_string(t));
    for (std::size_t s = 1; s < fields.size(); ++s) {
      if (s <= 6 || !fields[s].empty()) Write(dir / SliceFileName(s), fields[s]);
    }
  }
  // Lines 7 to 9: reserved.
  for (std::size_t r = 7; r <= 9 && r < lines.size(); ++r) {
    if (lines[r] != EmptyRecord(r)) {
      Write(folder / ("reserved" + std::to_string(r) + ".record"), lines[r]);
    }
  }
  // Lines 10 and on: the files, in order.
  std::string order;
  std::set<std::string> seen;
  for (std::size_t i = kFixedRecordCount; i < lines.size(); ++i) {
    std::string entry;
    auto rec = ReadFileRecord(lines[i]);
    std::string bytes;
    if (rec && PlainName(rec->name) && !seen.count(rec->name) &&
        DecodeHexToBytes(rec->hex, bytes) && BuildFileRecord(rec->name, bytes) == lines[i]) {
      seen.insert(rec->name);
      Write(folder / "files" / rec->name, bytes);
      entry = rec->name;
    } else {
      entry = RawLineName(i);
      Write(folder / entry, lines[i]);
    }
    order += entry;
    order += '\n';
  }
  if (!order.empty()) Write(folder / "files.txt", order);
}

PackageLines PackPackage(const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) throw Error("Cannot find the folder " + folder.string());
  PackageFolderReader reader(folder);
  PackageLines lines = NewPackageLines();

  if (reader.Present("description.record")) {
    lines[0] = reader.Read("description.record");
  } else if (reader.Present("description.txt")) {
    lines[0] = BuildDescriptionRecord(reader.Read("description.txt"));
  }
  for (std::size_t t = 1; t <= 6; ++t) {
    const std::string base = "template" + std::to_string(t);
    if (reader.Present(base + ".record")) {
      lines[t] = reader.Read(base + ".record");
      continue;
    }
    TemplateFields fields;
    fields[0] = Digit(t);
    for (std::size_t s = 1; s < fields.size(); ++s) {
      const std::string file = base + "/" + SliceFileName(s);
      if (reader.Present(file)) fields[s] = reader.Read(file);
    }
    lines[t] = BuildTemplateRecord(fields);
  }
  for (std::size_t r = 7; r <= 9; ++r) {
    const std::string file = "reserved" + std::to_string(r) + ".record";
    if (reader.Present(file)) lines[r] = reader.Read(file);
  }

  std::vector<std::string> order;
  if (reader.Present("files.txt")) {
    for (std::string& entry : SplitPackageLines(reader.Read("files.txt"))) {
      if (!entry.empty()) order.push_back(std::move(entry));
    }
  } else if (reader.Present("files")) {
    order = reader.ListFiles("files");
  }
  for (const std::string& entry : order) {
    if (entry.rfind("raw/", 0) == 0 && IsBareFileName(entry.substr(4))) {
      if (!reader.Present(entry)) throw Error("Cannot find " + (folder / entry).string());
      lines.push_back(reader.Read(entry));
      continue;
    }
    if (!PlainName(entry)) {
      throw Error("files.txt names \"" + entry + "\", which is no plain file name.");
    }
    const std::string file = "files/" + entry;
    if (!reader.Present(file)) throw Error("Cannot find " + (folder / file).string());
    lines.push_back(BuildFileRecord(entry, reader.Read(file)));
  }
  reader.ThrowIfRefused();
  // A stored record holds no line break: one found in a .record file would split the line.
  for (const std::string& line : lines) {
    if (line.find_first_of("\r\n") != std::string::npos || line.find('\0') != std::string::npos) {
      throw Error("A record file of " + folder.string() +
                  " holds a line break or a NUL byte, which a package cannot store.");
    }
  }
  return lines;
}

std::vector<std::string> PackageProblems(const PackageLines& lines) {
  std::vector<std::string> problems;
  int damage = FindPackageDamage(lines);
  if (damage < 0) {
    problems.push_back("The package has fewer than ten records.");
    return problems;
  }
  if (damage > 0) {
    problems.push_back("The package is damaged at record " + std::to_string(damage) + ".");
    return problems;
  }
  for (std::size_t i = kFixedRecordCount; i < lines.size(); ++i) {
    const std::string at = "Record " + std::to_string(i + 1) + ": ";
    const std::string& line = lines[i];
    if (line.empty() || line[0] != 'A') {
      problems.push_back(at + "not a file record; it is ignored.");
      continue;
    }
    auto rec = ReadFileRecord(line);
    if (!rec) {
      problems.push_back(at + "a file record of 10 characters or fewer; it is ignored.");
      continue;
    }
    if (!IsBareFileName(rec->name)) {
      problems.push_back(at + "the file name \"" + rec->name + "\" is not a bare file name.");
      continue;
    }
    std::string bytes;
    if (!DecodeHexToBytes(rec->hex, bytes)) {
      problems.push_back(at + "the data of \"" + rec->name + "\" is not valid hexadecimal text.");
    }
  }
  return problems;
}

}  // namespace tessavo
