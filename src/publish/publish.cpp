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

PublishResult RunFtp(Blog& blog, Host& host, int limit) {
  PublishResult result;
  BlogOptionsRec& options = blog.options;
  const std::string site = options.Text(opt::kFtpSite);
  if (site.size() < 3) {
    host.PublishLogLineColored(
        LogColor::kRed,
        "*** Warning: Can not upload files yet - FTP information required.");
    host.PublishLogLineColored(LogColor::kRed,
                               "*** Please visit the OPTIONS page for PUBLISHING OPTIONS and "
                               "enter your FTP information before trying to upload.");
    return result;
  }
  host.PublishLogLineColored(LogColor::kBlack, "Publishing using FTP");
  int errors = 0;
  int skipped = 0;
  if (options.Text(opt::kFtpPort).empty()) options.SetText(opt::kFtpPort, "21");
  const std::string port = options.Text(opt::kFtpPort);
  const std::string user = options.Text(opt::kFtpUserid);
  const std::string target = options.Text(opt::kFtpTargetDirectory);

  TFTPStatusObject status(host);
  TFTPSend ftp;
  StatusConnection connection(ftp, status, options.Int(opt::kShowFtpConversation) == 1);
  ftp.BinaryMode = true;
  ftp.PassiveMode = options.Int(opt::kFtpPassive) != 0;

  host.PublishLogLine("Logging on to " + site + " port " + port + " as user " + user);
  if (!user.empty()) {
    ftp.UserName = user;
    ftp.Password = options.Text(opt::kFtpPassword);
  }
  ftp.TargetHost = site;
  ftp.TargetPort = port;

  if (!ftp.LogOn()) {
    host.PublishLogLineColored(LogColor::kRed, "Logon failed");
    ShowFtpFailure(host, ftp);
    return result;
  }

  host.PublishLogLine("Initial directory is " + ftp.AskCurrentDirectory());
  const std::string initial = ftp.AskCurrentDirectory();

  if (!target.empty()) {
    host.PublishLogLine("Changing to Directory " + target);
    if (!ftp.EnterDirectory(target)) {
      host.PublishLogLine("Directory " + target + " does not exist.");
      if (!ftp.MakeDirectory(target)) {
        host.PublishLogLineColored(LogColor::kRed, "Error creating Directory " + target);
        host.PublishLogLineColored(LogColor::kRed, "Giving up!");
        ShowFtpFailure(host, ftp);
        ftp.LogOff();
        return result;
      }
      host.PublishLogLine("Created Directory " + target);
      host.PublishLogLine("Changing to Directory " + target);
      // Neither result is checked: the directory check below catches a wrong directory
      // and lets the person decide.
      ftp.ParentDirectory();
      ftp.EnterDirectory(target);
    }
  }

  host.PublishLogLine("Current directory is now " + ftp.AskCurrentDirectory());

  {
    const std::string now = ftp.AskCurrentDirectory();
    std::string form_a = RemoveSlashes(RemoveAll(Trim(now), initial));
    std::string form_b = RemoveSlashes(Trim(target));
    if (!SameIgnoringCase(form_a, form_b)) {
      const std::string again = ftp.AskCurrentDirectory();
      if (!host.ConfirmOkCancel("Current directory is now " + again + "\n\nand not " +
                                Trim(target) +
                                "\n\nso target directory may be wrong...\n\nProceed with "
                                "upload?")) {
        ftp.LogOff();
        return result;
      }
    }
  }

  const std::filesystem::path output = blog.OutputFolder();
  int processed = 0;
  for (const PageRecord& rec : blog.Pages()) {
    const std::string& key = rec.key;
    if (rec.generated != 0 && rec.existing == rec.generated) continue;
    if (!IsBareFileName(key)) {
      if (RefuseUnsafeKey(blog, host, rec)) ++errors;
      continue;
    }
    ftp.DirectFileName = (output / key).string();
    ftp.DirectFile = true;
    if (rec.generated != 0) {
      if (processed >= limit) {
        ++skipped;
        continue;
      }
      host.PublishLogLine("...Uploading " + key);
      if (ftp.PutFile(key, false)) {
        MarkPublished(blog, rec);
        ++processed;
      } else {
        host.PublishLogLine("..." + key + " upload failed.");
        ShowFtpFailure(host, ftp);
        ++errors;
        ++processed;
      }
    } else {
      if (processed >= limit) {
        ++skipped;
        continue;
      }
      host.PublishLogLine("...Deleting " + key);
      if (!ftp.DeleteRemoteFile(key) && rec.existing != 0) {
        host.PublishLogLine("..." + key + " not deleted.");
        ShowFtpFailure(host, ftp);
        ++errors;
        ++processed;
        continue;
      }
      blog.DeletePage(key);
      ++processed;
    }
  }

  host.PublishLogLine("Logging out.");
  ftp.LogOff();
  if (skipped != 0) host.PublishLogLine(std::to_string(skipped) + " record(s) skipped.");
  if (errors == 0) {
    host.PublishLogLine("Upload complete.");
  } else {
    host.PublishLogLineColored(LogColor::kRed,
                               "Upload complete with " + std::to_string(errors) + " error(s).");
  }
  result.completed = true;
  result.processed = processed;
  result.errors = errors;
  result.skipped = skipped;
  return result;
}

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

bool RefuseUnsafeKey(Blog& blog, Host& host, const PageRecord& rec) {
  if (rec.generated == 0 && rec.existing == 0) {
    // Never published, so nothing can exist at the destination: only the row goes.
    blog.DeletePage(rec.key);
    return false;
  }
  host.PublishLogLineColored(LogColor::kRed,
                             "*** " + rec.key + " is not a plain file name; not published.");
  return true;
}

}  // namespace publish_detail

PublishResult PublishByFtp(Blog& blog, Host& host, int limit) {
  RunGuard guard;
  if (!guard.acquired()) return {};
  return RunFtp(blog, host, limit);
}

PublishResult PublishByFileCopy(Blog& blog, Host& host, int limit) {
  RunGuard guard;
  if (!guard.acquired()) return {};
  return RunFileCopy(blog, host, limit);
}

PublishResult PublishSite(Blog& blog, Host& host, bool next10) {
  const int limit = next10 ? kPublishNextLimit : kPublishAllLimit;
  if (blog.options.Int(opt::kPublishingLocation) == 1) {
    return PublishByFileCopy(blog, host, limit);
  }
  return PublishByFtp(blog, host, limit);
}

}  // namespace tessavo
