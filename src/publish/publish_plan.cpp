// What a run would do (the dry run), the program's publishing settings, and the pieces of
// the verify pass and of password handling that every protocol shares.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "publish/publish.h"
#include "publish/publish_common.h"
#include "store/blog.h"
#include "store/options.h"
#include "util/host.h"

namespace tessavo {

using namespace publish_detail;

namespace {

std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

const char* LocationName(int location) {
  switch (location) {
    case kPublishByFileCopy:
      return "File Copy";
    case kPublishByFtps:
      return "FTPS";
    case kPublishBySftp:
      return "SFTP";
    default:
      return "FTP";
  }
}

}  // namespace

PublishPlan PlanPublish(const Blog& blog, int limit) {
  PublishPlan plan;
  plan.location = LocationName(blog.options().Int(opt::kPublishingLocation));
  int counted = 0;
  // The same decisions, in the same order, as the walk of a real run.
  for (const PageRecord& rec : blog.Pages()) {
    if (rec.generated != 0 && rec.existing == rec.generated) continue;
    if (!UnusableKeyReason(rec.key).empty()) {
      // A never-published orphan only loses its row; anything else is refused.
      if (!(rec.generated == 0 && rec.existing == 0)) plan.refused.push_back(rec.key);
      continue;
    }
    if (counted >= limit) {
      ++plan.skipped;
      continue;
    }
    ++counted;
    (rec.generated != 0 ? plan.send : plan.remove).push_back(rec.key);
  }
  return plan;
}

void ShowPublishPlan(Host& host, const PublishPlan& plan) {
  host.PublishLogLineColored(LogColor::kBlack, "What would be published using " + plan.location +
                                                   " (nothing is sent, no record changes):");
  for (const std::string& key : plan.send) host.PublishLogLine("Would send " + key);
  for (const std::string& key : plan.remove) host.PublishLogLine("Would delete " + key);
  for (const std::string& key : plan.refused) {
    host.PublishLogLineColored(LogColor::kRed, "*** " + ShownName(key) + " " +
                                                   UnusableKeyReason(key) + "; not published.");
  }
  if (plan.skipped != 0) {
    host.PublishLogLine(std::to_string(plan.skipped) + " record(s) skipped.");
  }
  host.PublishLogLine(std::to_string(plan.send.size()) + " file(s) would be sent, " +
                      std::to_string(plan.remove.size()) + " deleted.");
}

PublishSettings ReadPublishSettings(const std::filesystem::path& ini_file) {
  PublishSettings settings;
  std::ifstream in(ini_file, std::ios::binary);
  bool in_section = false;
  std::string line;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[') {
      in_section =
          line.back() == ']' && LowerAscii(Trim(line.substr(1, line.size() - 2))) == "publish";
      continue;
    }
    const size_t eq = line.find('=');
    if (!in_section || eq == std::string::npos) continue;
    const std::string key = LowerAscii(Trim(line.substr(0, eq)));
    const std::string value = Trim(line.substr(eq + 1));
    if (key == "connections") {
      char* end = nullptr;
      const long n = std::strtol(value.c_str(), &end, 10);
      if (end != value.c_str() && *end == '\0') {
        settings.connections = static_cast<int>(std::clamp<long>(n, 1, kMaxPublishConnections));
      }
    } else if (key == "sftpkeyfile") {
      settings.sftp_key_file = value;
    }
  }
  return settings;
}

namespace publish_detail {

std::string RunPassword(const BlogOptionsRec& options) {
  const char* env = std::getenv(kPasswordVariable);
  if (env != nullptr && *env != '\0') return env;
  return options.Text(opt::kFtpPassword);
}

std::string MaskSecret(const std::string& text, const std::string& secret) {
  static const std::string kMask = "********";
  if (secret.empty()) return text;
  if (text == "PASS " + secret) return "PASS " + kMask;
  if (secret.size() < 3) return text;
  std::string out = text;
  for (size_t pos = 0; (pos = out.find(secret, pos)) != std::string::npos; pos += kMask.size()) {
    out.replace(pos, secret.size(), kMask);
  }
  return out;
}

int MarkWrongRemoteFiles(Blog& blog, Host& host, const std::filesystem::path& output,
                         const std::map<std::string, int64_t>& remote) {
  int wrong = 0;
  for (PageRecord rec : blog.Pages()) {
    if (rec.generated == 0 || rec.existing != rec.generated) continue;
    if (!UnusableKeyReason(rec.key).empty()) continue;
    std::error_code ec;
    const auto local = std::filesystem::file_size(output / rec.key, ec);
    if (ec) continue;  // the upload will say what is wrong with the local file
    auto it = remote.find(rec.key);
    if (it == remote.end()) {
      host.PublishLogLine("..." + rec.key + " is missing on the server.");
    } else if (static_cast<uint64_t>(it->second) != local) {
      host.PublishLogLine("..." + rec.key + " has " + std::to_string(it->second) +
                          " bytes on the server, " + std::to_string(local) + " here.");
    } else {
      continue;
    }
    rec.existing = 0;
    blog.UpdatePage(rec);
    ++wrong;
  }
  return wrong;
}

void WriteVerifySummary(Host& host, int wrong) {
  host.PublishLogLine("Verify found " + std::to_string(wrong) +
                      " file(s) missing or of another size on the server.");
}

}  // namespace publish_detail
}  // namespace tessavo
