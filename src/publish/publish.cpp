#include "publish/publish.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "publish/ftp_client.h"
#include "publish/publish_common.h"
#include "store/blog.h"
#include "store/options.h"
#include "util/file_io.h"
#include "util/host.h"
#include "util/text.h"

namespace tessavo {

using namespace publish_detail;

namespace {

bool g_run_in_progress = false;

// Keeps a second run from starting while one is in progress (the log lets window events
// run, so a button could be pressed again).
class RunGuard {
 public:
  RunGuard() : acquired_(!g_run_in_progress) {
    if (acquired_) g_run_in_progress = true;
  }
  ~RunGuard() {
    if (acquired_) g_run_in_progress = false;
  }
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;
  bool acquired() const { return acquired_; }

 private:
  bool acquired_;
};

std::string RemoveAll(std::string text, const std::string& what) {
  if (what.empty()) return text;
  size_t pos = 0;
  while ((pos = text.find(what, pos)) != std::string::npos) text.erase(pos, what.size());
  return text;
}

std::string RemoveSlashes(std::string text) {
  text.erase(std::remove_if(text.begin(), text.end(),
                            [](char c) { return c == '/' || c == '\\'; }),
             text.end());
  return text;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return SameNameIgnoringCase(a, b);
}

// Writes the server's last reply and the data connection's address in red.
void ShowFtpFailure(Host& host, const TFTPSend& ftp) {
  for (const std::string& line : ftp.FullResult) {
    host.PublishLogLineColored(LogColor::kRed, "  FTP  = " + line);
  }
  host.PublishLogLineColored(LogColor::kRed,
                             "  FTP Data IP/Port     = " + ftp.DataIP + " / " + ftp.DataPort);
}

// Receives the client's status notifications for one run and shows them as the blue
// conversation lines.
class TFTPStatusObject {
 public:
  explicit TFTPStatusObject(Host& host) : host_(host) {}
  void FTPStatusLine(TFTPSend* /*sender*/, bool /*response*/, const std::string& text) {
    host_.PublishLogLineColored(LogColor::kBlue, "  FTP = " + text);
  }

 private:
  Host& host_;
};

// Disconnects the status notification before the client and the status object go.
class StatusConnection {
 public:
  StatusConnection(TFTPSend& ftp, TFTPStatusObject& status, bool connect) : ftp_(ftp) {
    if (connect) {
      ftp_.OnStatus = [&status](TFTPSend* sender, bool response, const std::string& text) {
        status.FTPStatusLine(sender, response, text);
      };
    }
  }
  ~StatusConnection() { ftp_.OnStatus = nullptr; }
  StatusConnection(const StatusConnection&) = delete;
  StatusConnection& operator=(const StatusConnection&) = delete;

 private:
  TFTPSend& ftp_;
};

// One FTP run, step by step: the checks, the logon, the target directory, the walk over
// the page records, the log-off and the summary. The client and the status object live as
// long as the run.
class FtpPublisher {
 public:
  FtpPublisher(Blog& blog, Host& host, int limit)
      : blog_(blog),
        host_(host),
        options_(blog.options()),
        output_(blog.OutputFolder()),
        walk_(limit),
        status_(host),
        connection_(ftp_, status_, options_.Int(opt::kShowFtpConversation) == 1) {}

  PublishResult Run() {
    if (!HasSite()) {
      WarnThatFtpInformationIsMissing();
      return {};
    }
    host_.PublishLogLineColored(LogColor::kBlack, "Publishing using FTP");
    SetUpClient();
    if (!LogOn()) return {};
    ReadInitialDirectory();
    if (!EnterTargetDirectory()) return {};
    if (!ConfirmCurrentDirectory()) return {};
    WalkPages(
        blog_, host_, walk_, [this](const PageRecord& rec) { Upload(rec); },
        [this](const PageRecord& rec) { DeleteRemote(rec); });
    LogOff();
    WriteSummary(host_, walk_, "Upload complete");
    return walk_.Result();
  }

 private:
  bool HasSite() const { return options_.Text(opt::kFtpSite).size() >= 3; }

  void WarnThatFtpInformationIsMissing() {
    host_.PublishLogLineColored(
        LogColor::kRed, "*** Warning: Can not upload files yet - FTP information required.");
    host_.PublishLogLineColored(LogColor::kRed,
                                "*** Please visit the OPTIONS page for PUBLISHING OPTIONS and "
                                "enter your FTP information before trying to upload.");
  }

  // An empty port becomes 21, in memory, for as long as the options are not read again.
  void SetUpClient() {
    if (options_.Text(opt::kFtpPort).empty()) blog_.SetOptionText(opt::kFtpPort, "21");
    ftp_.BinaryMode = true;
    ftp_.PassiveMode = options_.Int(opt::kFtpPassive) != 0;
    const std::string user = options_.Text(opt::kFtpUserid);
    host_.PublishLogLine("Logging on to " + options_.Text(opt::kFtpSite) + " port " +
                         options_.Text(opt::kFtpPort) + " as user " + user);
    if (!user.empty()) {
      ftp_.UserName = user;
      ftp_.Password = options_.Text(opt::kFtpPassword);
    }
    ftp_.TargetHost = options_.Text(opt::kFtpSite);
    ftp_.TargetPort = options_.Text(opt::kFtpPort);
  }

  // No QUIT on failure: the connection goes with the client.
  bool LogOn() {
    if (ftp_.LogOn()) return true;
    host_.PublishLogLineColored(LogColor::kRed, "Logon failed");
    ShowFtpFailure(host_, ftp_);
    return false;
  }

  void ReadInitialDirectory() {
    host_.PublishLogLine("Initial directory is " + ftp_.AskCurrentDirectory());
    initial_ = ftp_.AskCurrentDirectory();
  }

  // Changes to the target directory, creating it when it does not exist; false (after
  // QUIT) when it can be neither entered nor created.
  bool EnterTargetDirectory() {
    const std::string target = options_.Text(opt::kFtpTargetDirectory);
    if (target.empty()) return true;
    host_.PublishLogLine("Changing to Directory " + target);
    if (ftp_.EnterDirectory(target)) return true;
    host_.PublishLogLine("Directory " + target + " does not exist.");
    if (!ftp_.MakeDirectory(target)) {
      host_.PublishLogLineColored(LogColor::kRed, "Error creating Directory " + target);
      host_.PublishLogLineColored(LogColor::kRed, "Giving up!");
      ShowFtpFailure(host_, ftp_);
      ftp_.LogOff();
      return false;
    }
    host_.PublishLogLine("Created Directory " + target);
    host_.PublishLogLine("Changing to Directory " + target);
    // Neither result is checked: the directory check catches a wrong directory and lets
    // the person decide.
    ftp_.ParentDirectory();
    ftp_.EnterDirectory(target);
    return true;
  }

  // Shows the directory the server is in and, when it does not look like the target, asks
  // whether to go on; false (after QUIT) when the person cancels.
  bool ConfirmCurrentDirectory() {
    host_.PublishLogLine("Current directory is now " + ftp_.AskCurrentDirectory());
    const std::string target = options_.Text(opt::kFtpTargetDirectory);
    const std::string now = ftp_.AskCurrentDirectory();
    const std::string form_a = RemoveSlashes(RemoveAll(Trim(now), initial_));
    const std::string form_b = RemoveSlashes(Trim(target));
    if (SameIgnoringCase(form_a, form_b)) return true;
    const std::string again = ftp_.AskCurrentDirectory();
    if (host_.ConfirmOkCancel("Current directory is now " + again + "\n\nand not " +
                              Trim(target) +
                              "\n\nso target directory may be wrong...\n\nProceed with "
                              "upload?")) {
      return true;
    }
    ftp_.LogOff();
    return false;
  }

  // A failed upload leaves the record as it was, so the next run tries again.
  void Upload(const PageRecord& rec) {
    host_.PublishLogLine("...Uploading " + rec.key);
    ftp_.DirectFileName = (output_ / rec.key).string();
    ftp_.DirectFile = true;
    ++walk_.processed;
    if (ftp_.PutFile(rec.key, false)) {
      MarkPublished(blog_, rec);
      return;
    }
    host_.PublishLogLine("..." + rec.key + " upload failed.");
    ShowFtpFailure(host_, ftp_);
    ++walk_.errors;
  }

  // A file that was never published cannot be missed on the server: its record goes even
  // when DELE fails.
  void DeleteRemote(const PageRecord& rec) {
    host_.PublishLogLine("...Deleting " + rec.key);
    ++walk_.processed;
    if (!ftp_.DeleteRemoteFile(rec.key) && rec.existing != 0) {
      host_.PublishLogLine("..." + rec.key + " not deleted.");
      ShowFtpFailure(host_, ftp_);
      ++walk_.errors;
      return;
    }
    blog_.DeletePage(rec.key);
  }

  void LogOff() {
    host_.PublishLogLine("Logging out.");
    ftp_.LogOff();
  }

  Blog& blog_;
  Host& host_;
  const BlogOptionsRec& options_;  // the blog's own, which SetUpClient may change
  const std::filesystem::path output_;
  PageWalk walk_;
  std::string initial_;  // the logon directory, as the second PWD gave it
  TFTPStatusObject status_;
  TFTPSend ftp_;
  StatusConnection connection_;  // last, so that it is undone first
};

}  // namespace

namespace publish_detail {

std::string Trim(const std::string& text) {
  // Blanks and every control character count as white space.
  size_t b = 0;
  size_t e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return text.substr(b, e - b);
}

void MarkPublished(Blog& blog, const PageRecord& sent) {
  // Re-read the row so that only the published CRC changes, and set it to the CRC of the
  // file as it was when it was sent.
  std::optional<PageRecord> row = blog.FindPage(sent.key);
  if (!row) return;
  row->existing = sent.generated;
  blog.UpdatePage(*row);
}

std::string ShownName(const std::string& name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\0') {
      out += "\\0";
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

std::string UnusableKeyReason(const std::string& key) {
  const bool control = std::any_of(key.begin(), key.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  });
  if (control) return "holds a control character";
  if (!IsBareFileName(key)) return "is not a plain file name";
  if (key.size() > kMaxFileNameBytes) return "is too long for a file name";
  return "";
}

bool RefuseUnsafeKey(Blog& blog, Host& host, const PageRecord& rec) {
  if (rec.generated == 0 && rec.existing == 0) {
    // Never published, so nothing can exist at the destination: only the row goes.
    blog.DeletePage(rec.key);
    return false;
  }
  host.PublishLogLineColored(LogColor::kRed, "*** " + ShownName(rec.key) + " " +
                                                 UnusableKeyReason(rec.key) +
                                                 "; not published.");
  return true;
}

void WalkPages(Blog& blog, Host& host, PageWalk& walk,
               const std::function<void(const PageRecord&)>& send,
               const std::function<void(const PageRecord&)>& remove) {
  for (const PageRecord& rec : blog.Pages()) {
    if (rec.generated != 0 && rec.existing == rec.generated) continue;
    if (!UnusableKeyReason(rec.key).empty()) {
      if (RefuseUnsafeKey(blog, host, rec)) ++walk.errors;
      continue;
    }
    if (walk.processed >= walk.limit) {
      ++walk.skipped;
      continue;
    }
    if (rec.generated != 0) {
      send(rec);
    } else {
      remove(rec);
    }
  }
}

void WriteSummary(Host& host, const PageWalk& walk, const std::string& done) {
  if (walk.skipped != 0) host.PublishLogLine(std::to_string(walk.skipped) + " record(s) skipped.");
  if (walk.errors == 0) {
    host.PublishLogLine(done + ".");
  } else {
    host.PublishLogLineColored(LogColor::kRed,
                               done + " with " + std::to_string(walk.errors) + " error(s).");
  }
}

}  // namespace publish_detail

PublishResult PublishByFtp(Blog& blog, Host& host, int limit) {
  RunGuard guard;
  if (!guard.acquired()) return {};
  return FtpPublisher(blog, host, limit).Run();
}

PublishResult PublishByFileCopy(Blog& blog, Host& host, int limit) {
  RunGuard guard;
  if (!guard.acquired()) return {};
  return RunFileCopy(blog, host, limit);
}

PublishResult PublishSite(Blog& blog, Host& host, bool next10) {
  const int limit = next10 ? kPublishNextLimit : kPublishAllLimit;
  if (blog.options().Int(opt::kPublishingLocation) == 1) {
    return PublishByFileCopy(blog, host, limit);
  }
  return PublishByFtp(blog, host, limit);
}

}  // namespace tessavo
