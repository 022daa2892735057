#include "templates/package_dir.h"

#include <algorithm>
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

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

// A name that can stand as a file of its own and as one line of files.txt.
bool PlainName(std::string_view name) {
  if (!IsBareFileName(name) || name.size() > 200) return false;
  return name.find_first_of(std::string_view("\r\n\x01\x02\x03", 5)) == std::string_view::npos;
}

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
  PackageLines lines = NewPackageLines();

  if (Exists(folder / "description.record")) {
    lines[0] = ReadWholeFile(folder / "description.record");
  } else if (Exists(folder / "description.txt")) {
    lines[0] = BuildDescriptionRecord(ReadWholeFile(folder / "description.txt"));
  }
  for (std::size_t t = 1; t <= 6; ++t) {
    const std::string base = "template" + std::to_string(t);
    if (Exists(folder / (base + ".record"))) {
      lines[t] = ReadWholeFile(folder / (base + ".record"));
      continue;
    }
    fs::path dir = folder / base;
    TemplateFields fields;
    fields[0] = Digit(t);
    for (std::size_t s = 1; s < fields.size(); ++s) {
      fs::path file = dir / SliceFileName(s);
      if (Exists(file)) fields[s] = ReadWholeFile(file);
    }
    lines[t] = BuildTemplateRecord(fields);
  }
  for (std::size_t r = 7; r <= 9; ++r) {
    fs::path file = folder / ("reserved" + std::to_string(r) + ".record");
    if (Exists(file)) lines[r] = ReadWholeFile(file);
  }

  std::vector<std::string> order;
  if (Exists(folder / "files.txt")) {
    for (std::string& entry : SplitPackageLines(ReadWholeFile(folder / "files.txt"))) {
      if (!entry.empty()) order.push_back(std::move(entry));
    }
  } else if (fs::is_directory(folder / "files", ec)) {
    for (const auto& item : fs::directory_iterator(folder / "files", ec)) {
      if (item.is_regular_file(ec)) order.push_back(item.path().filename().string());
    }
    std::sort(order.begin(), order.end());
  }
  for (const std::string& entry : order) {
    if (entry.rfind("raw/", 0) == 0 && IsBareFileName(entry.substr(4))) {
      lines.push_back(ReadWholeFile(folder / entry));
      continue;
    }
    if (!PlainName(entry)) {
      throw Error("files.txt names \"" + entry + "\", which is no plain file name.");
    }
    fs::path file = folder / "files" / entry;
    if (!Exists(file)) throw Error("Cannot find " + file.string());
    lines.push_back(BuildFileRecord(entry, ReadWholeFile(file)));
  }
  // A stored record holds no line break: one found in a .record file would split the line.
  for (const std::string& line : lines) {
    if (line.find_first_of("\r\n") != std::string::npos ||
        line.find('\0') != std::string::npos) {
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
