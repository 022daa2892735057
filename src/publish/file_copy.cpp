// File-copy publishing: the destination folder is made to match the output folder.
#include <filesystem>
#include <fstream>
#include <string>

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

}  // namespace

PublishResult RunFileCopy(Blog& blog, Host& host, int limit) {
  PublishResult result;
  std::string destination = Trim(blog.options.Text(opt::kFileCopyDestination));
  if (destination.size() < 2) {
    host.PublishLogLineColored(LogColor::kRed,
                               "*** Please visit the OPTIONS page for PUBLISHING OPTIONS and "
                               "enter your FILE COPY information before trying to upload.");
    return result;
  }
  const char sep = static_cast<char>(fs::path::preferred_separator);
  if (destination.back() != sep) destination += sep;
  host.PublishLogLineColored(LogColor::kBlack,
                             "Publishing using File Copy - Destination is " + destination);

  std::error_code ec;
  fs::create_directories(destination, ec);
  if (ec || !fs::is_directory(destination, ec)) {
    host.PublishLogLineColored(LogColor::kRed, "*** Unable to create destination directory.");
    return result;
  }

  const std::string temp_name = "~~~" + DateTime::Now().Stamp() + ".$$$";
  const std::string temp_path = destination + temp_name;
  host.PublishLogLine("Validating File Copy Destination...");
  host.PublishLogLine("...Publishing temporary file  - " + temp_name);
  if (!WriteValidationFile(temp_path)) {
    host.PublishLogLineColored(LogColor::kRed, "*** Unable to write to destination directory.");
    return result;
  }
  host.PublishLogLine("...Removing temporary file  - " + temp_name);
  if (Exists(temp_path)) fs::remove(temp_path, ec);
  host.PublishLogLine("Validation complete.");
  host.PublishLogLine("File Copy started.");

  const fs::path output = fs::path(Trim(blog.OutputFolder().string()));
  int processed = 0;
  int errors = 0;
  int skipped = 0;
  for (const PageRecord& rec : blog.Pages()) {
    const std::string& key = rec.key;
    if (rec.generated != 0 && rec.existing == rec.generated) continue;
    if (!IsBareFileName(key)) {
      if (RefuseUnsafeKey(blog, host, rec)) ++errors;
      continue;
    }
    const fs::path source = output / key;
    const std::string target = destination + key;
    if (processed >= limit) {
      ++skipped;
      continue;
    }
    if (rec.generated != 0) {
      host.PublishLogLine("...Copying " + key);
      try {
        // Written under a temporary name and renamed, so the destination never holds a
        // half-copied file.
        WriteFileAtomic(target, ReadWholeFile(source));
      } catch (const std::exception&) {
        host.PublishLogLineColored(LogColor::kRed, "..." + key + " copy failed.");
        ++errors;
        ++processed;
        continue;
      }
      if (Exists(target)) {
        MarkPublished(blog, rec);
      } else {
        host.PublishLogLine("..." + key + " copy failed.");
        ++errors;
      }
      ++processed;
    } else {
      host.PublishLogLine("...Deleting " + key);
      if (Exists(target)) fs::remove(target, ec);
      if (Exists(target) && rec.existing != 0) {
        host.PublishLogLine("..." + key + " not deleted.");
        ++errors;
        ++processed;
        continue;
      }
      blog.DeletePage(key);
      ++processed;
    }
  }

  if (skipped != 0) host.PublishLogLine(std::to_string(skipped) + " record(s) skipped.");
  if (errors == 0) {
    host.PublishLogLine("File Copy complete.");
  } else {
    host.PublishLogLineColored(LogColor::kRed,
                               "File Copy complete with " + std::to_string(errors) +
                                   " error(s).");
  }
  result.completed = true;
  result.processed = processed;
  result.errors = errors;
  result.skipped = skipped;
  return result;
}

}  // namespace tessavo::publish_detail
