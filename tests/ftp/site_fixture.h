// A blog whose "generated output" is written by the test: files in the blog's output
// folder with matching page records (PageCRCNew = CRC of the file, PageCRCExisting 0),
// which is all a publisher needs from generation.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "recording_host.h"
#include "store/blog.h"
#include "temp_dir.h"
#include "util/crc32.h"
#include "util/program_folder.h"

namespace tessavo::testing {

class SiteFixture {
 public:
  SiteFixture() {
    SetProgramFolder(temp.path() / "home");
    blog = Blog::Create(temp.path() / "site.zdb", host);
    std::filesystem::create_directories(blog->OutputFolder());
  }

  // Writes (or rewrites) one generated file and sets its record as generation would.
  void Generate(const std::string& key, const std::string& bytes) {
    WriteFile(blog->OutputFolder() / key, bytes);
    int32_t crc = CrcToSigned(CalculateCRC32String(bytes));
    if (auto rec = blog->FindPage(key)) {
      rec->generated = crc;
      rec->local = crc;
      blog->UpdatePage(*rec);
    } else {
      blog->InsertPage(PageRecord{key, 0, crc, crc});
    }
    files[key] = bytes;
  }

  // Generation no longer produces `key`: the record becomes an orphan, the file goes.
  void Orphan(const std::string& key) {
    auto rec = blog->FindPage(key);
    rec->generated = 0;
    blog->UpdatePage(*rec);
    std::filesystem::remove(blog->OutputFolder() / key);
    files.erase(key);
  }

  // Keys whose published CRC differs from the generated one (what a publish would send).
  int Outstanding() const {
    int n = 0;
    for (const PageRecord& rec : blog->Pages()) n += rec.existing != rec.generated;
    return n;
  }

  int CountLog(const std::string& prefix) const {
    int n = 0;
    for (const auto& line : host.log) n += line.text.rfind(prefix, 0) == 0;
    return n;
  }

  TempDir temp;
  RecordingHost host;
  std::unique_ptr<Blog> blog;
  std::map<std::string, std::string> files;  // what the output folder should hold
};

// The files of the folder `dir` (a server's target folder), by name; none when it is missing.
inline std::map<std::string, std::string> RemoteFiles(const std::filesystem::path& dir) {
  std::map<std::string, std::string> out;
  if (!std::filesystem::exists(dir)) return out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    out[e.path().filename().string()] = ReadFile(e.path());
  }
  return out;
}

// Names, sizes and CRCs of a set of files: short enough to read in a failure message.
inline std::string Describe(const std::map<std::string, std::string>& files) {
  std::string out;
  for (const auto& [name, bytes] : files) {
    out += name + ":" + std::to_string(bytes.size()) + ":" +
           std::to_string(CalculateCRC32String(bytes)) + " ";
  }
  return out;
}

}  // namespace tessavo::testing
