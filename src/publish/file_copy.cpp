// File-copy publishing: the destination folder is made to match the output folder.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "publish/publish.h"
#include "publish/publish_common.h"
#include "store/blog.h"
#include "store/options.h"
#include "util/datetime.h"
#include "util/error.h"
#include "util/file_io.h"
#include "util/host.h"

namespace tessavo::publish_detail {

namespace fs = std::filesystem;

namespace {

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

// Creates the validation file holding its own full path; false when that fails.
bool WriteValidationFile(const std::string& path) {
  std::error_code ec;
  if (fs::exists(path, ec)) fs::remove(path, ec);
  std::ofstream out(path, std::ios::out | std::ios::trunc);
  if (!out) return false;
  out << path;
  out.close();
  if (out.fail()) {
    fs::remove(path, ec);
    return false;
  }
  return true;
}

// True for the name of a validation file: "~~~", fourteen digits, ".$$$".
bool IsValidationFileName(const std::string& name) {
  if (name.size() != 3 + 14 + 4 || name.compare(0, 3, "~~~") != 0 ||
      name.compare(17, 4, ".$$$") != 0) {
    return false;
  }
  return std::all_of(name.begin() + 3, name.begin() + 17,
                     [](char c) { return c >= '0' && c <= '9'; });
}

// True when `path` is a validation file that a run killed before removing it left behind:
// a regular file (not a link) holding its own full path, or the first part of it when the
// kill came while it was written.
bool IsStrayValidationFile(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_regular_file(fs::symlink_status(path, ec))) return false;
  const std::string own = path.string();
  if (fs::file_size(path, ec) > own.size() || ec) return false;
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return !in.bad() && own.compare(0, text.size(), text) == 0;
}

// One file-copy run, step by step: the destination is checked, created and validated,
// stray temporary files of killed runs are cleared away, then the page records are walked.
class FileCopyPublisher {
 public:
  FileCopyPublisher(Blog& blog, Host& host, int limit) : blog_(blog), host_(host), walk_(limit) {}

  PublishResult Run() {
    if (!ReadDestination()) return {};
    host_.PublishLogLineColored(LogColor::kBlack,
                                "Publishing using File Copy - Destination is " + destination_);
    if (!CreateDestination()) return {};
    if (!ValidateDestination()) return {};
    RemoveStrayCopies();
    output_ = fs::path(Trim(blog_.OutputFolder().string()));
    WalkPages(
        blog_, host_, walk_, [this](const PageRecord& rec) { Copy(rec); },
        [this](const PageRecord& rec) { DeleteCopy(rec); });
    WriteSummary(host_, walk_, "File Copy complete");
    return walk_.Result();
  }

 private:
  // The trimmed destination with a final separator; false (after the red line) when it is
  // missing or too short.
  bool ReadDestination() {
    destination_ = Trim(blog_.options().Text(opt::kFileCopyDestination));
    if (destination_.size() < 2) {
      host_.PublishLogLineColored(LogColor::kRed,
                                  "*** Please visit the OPTIONS page for PUBLISHING OPTIONS "
                                  "and enter your FILE COPY information before trying to "
                                  "upload.");
      return false;
    }
    const char sep = static_cast<char>(fs::path::preferred_separator);
    if (destination_.back() != sep) destination_ += sep;
    return true;
  }

  bool CreateDestination() {
    std::error_code ec;
    fs::create_directories(destination_, ec);
    if (ec || !fs::is_directory(destination_, ec)) {
      host_.PublishLogLineColored(LogColor::kRed, "*** Unable to create destination directory.");
      return false;
    }
    return true;
  }

  // Writes and removes a dated file, so that a destination that takes no files stops the
  // run before any record is touched.
  bool ValidateDestination() {
    const std::string temp_name = "~~~" + DateTime::Now().Stamp() + ".$$$";
    const std::string temp_path = destination_ + temp_name;
    host_.PublishLogLine("Validating File Copy Destination...");
    host_.PublishLogLine("...Publishing temporary file  - " + temp_name);
    if (!WriteValidationFile(temp_path)) {
      host_.PublishLogLineColored(LogColor::kRed, "*** Unable to write to destination directory.");
      return false;
    }
    host_.PublishLogLine("...Removing temporary file  - " + temp_name);
    std::error_code ec;
    if (Exists(temp_path)) fs::remove(temp_path, ec);
    host_.PublishLogLine("Validation complete.");
    host_.PublishLogLine("File Copy started.");
    return true;
  }

  // A run killed in the middle of a copy leaves its temporary file behind, one killed
  // during the validation its validation file, and the destination would never again
  // match the site. A published file that merely has such a name stays.
  void RemoveStrayCopies() {
    auto published = [this](std::string_view name) {
      return blog_.FindPage(std::string(name)).has_value();
    };
    RemoveStrayTempFiles(destination_, published);
    std::vector<fs::path> strays;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(destination_, ec)) {
      const std::string name = entry.path().filename().string();
      if (IsValidationFileName(name) && !published(name) && IsStrayValidationFile(entry.path())) {
        strays.push_back(entry.path());
      }
    }
    for (const fs::path& stray : strays) fs::remove(stray, ec);
  }

  // A failed copy leaves the record as it was (and an older copy in place), so the next
  // run tries again.
  void Copy(const PageRecord& rec) {
    const std::string target = destination_ + rec.key;
    host_.PublishLogLine("...Copying " + rec.key);
    ++walk_.processed;
    try {
      // Written under a temporary name and renamed, so the destination never holds a
      // half-copied file.
      WriteFileAtomic(target, ReadWholeFile(output_ / rec.key));
    } catch (const std::exception&) {
      host_.PublishLogLineColored(LogColor::kRed, "..." + rec.key + " copy failed.");
      ++walk_.errors;
      return;
    }
    if (Exists(target)) {
      MarkPublished(blog_, rec);
    } else {
      host_.PublishLogLine("..." + rec.key + " copy failed.");
      ++walk_.errors;
    }
  }

  // A file that was never published loses its record whatever happens to the file.
  void DeleteCopy(const PageRecord& rec) {
    const std::string target = destination_ + rec.key;
    host_.PublishLogLine("...Deleting " + rec.key);
    ++walk_.processed;
    std::error_code ec;
    if (Exists(target)) fs::remove(target, ec);
    if (Exists(target) && rec.existing != 0) {
      host_.PublishLogLine("..." + rec.key + " not deleted.");
      ++walk_.errors;
      return;
    }
    blog_.DeletePage(rec.key);
  }

  Blog& blog_;
  Host& host_;
  PageWalk walk_;
  std::string destination_;  // with its final separator
  fs::path output_;
};

}  // namespace

PublishResult RunFileCopy(Blog& blog, Host& host, int limit) {
  return FileCopyPublisher(blog, host, limit).Run();
}

}  // namespace tessavo::publish_detail
