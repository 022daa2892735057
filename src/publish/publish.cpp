#include "publish/publish.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "publish/ftp_client.h"
#include "publish/parallel_walk.h"
#include "publish/publish_common.h"
#include "publish/remote_listing.h"
#include "publish/trust_store.h"
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
  text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '/' || c == '\\'; }),
             text.end());
  return text;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return SameNameIgnoringCase(a, b);
}

// The server's last reply and the data connection's address, as red lines.
std::vector<LogLine> FtpFailureReport(const TFTPSend& ftp, const std::string& secret) {
  std::vector<LogLine> lines;
  for (const std::string& line : ftp.FullResult) {
    lines.push_back({LogColor::kRed, "  FTP  = " + MaskSecret(line, secret)});
  }
  lines.push_back(
      {LogColor::kRed, "  FTP Data IP/Port     = " + ftp.DataIP + " / " + ftp.DataPort});
  return lines;
}

// Writes the server's last reply and the data connection's address in red.
void ShowFtpFailure(Host& host, const TFTPSend& ftp, const std::string& secret) {
  for (const LogLine& line : FtpFailureReport(ftp, secret)) {
    host.PublishLogLineColored(line.color, line.text);
  }
}

// Receives the client's status notifications for one run and shows them as the blue
// conversation lines. The password the person gave never shows: its PASS command and any
// line that holds it show it as asterisks.
class TFTPStatusObject {
 public:
  TFTPStatusObject(Host& host, std::string secret) : host_(host), secret_(std::move(secret)) {}
  void FTPStatusLine(TFTPSend* /*sender*/, bool /*response*/, const std::string& text) {
    host_.PublishLogLineColored(LogColor::kBlue, "  FTP = " + MaskSecret(text, secret_));
  }
  void set_secret(std::string secret) { secret_ = std::move(secret); }

 private:
  Host& host_;
  std::string secret_;
};

// One FTP connection of a parallel run. Its conversation is gathered, not written, and
// given back with each transfer's outcome.
class FtpTransfer : public TransferConnection {
 public:
  // `number` tells the connections apart in the conversation (1 shows as the
  // one-connection run does).
  FtpTransfer(TFTPSend& ftp, int number, bool conversation, std::string secret)
      : ftp_(ftp), secret_(std::move(secret)), saved_(std::move(ftp.OnStatus)) {
    const std::string prefix =
        number == 1 ? "  FTP = " : "  FTP[" + std::to_string(number) + "] = ";
    ftp_.OnStatus = nullptr;
    if (conversation) {
      ftp_.OnStatus = [this, prefix](TFTPSend*, bool, const std::string& text) {
        lines_.push_back({LogColor::kBlue, prefix + MaskSecret(text, secret_)});
      };
    }
  }
  ~FtpTransfer() override { ftp_.OnStatus = std::move(saved_); }
  FtpTransfer(const FtpTransfer&) = delete;
  FtpTransfer& operator=(const FtpTransfer&) = delete;

  bool Send(const std::string& local, const std::string& key) override {
    ftp_.DirectFileName = local;
    ftp_.DirectFile = true;
    return ftp_.PutFile(key, false);
  }
  bool Remove(const std::string& key) override { return ftp_.DeleteRemoteFile(key); }
  std::vector<LogLine> FailureReport() override { return FtpFailureReport(ftp_, secret_); }
  bool Usable() override { return ftp_.Sock().IsOpen() && ftp_.Sock().LastError() == 0; }
  std::vector<LogLine> TakeLines() override {
    std::vector<LogLine> out;
    out.swap(lines_);
    return out;
  }

 private:
  TFTPSend& ftp_;
  std::string secret_;
  TFTPStatus saved_;
  std::vector<LogLine> lines_;
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
  FtpPublisher(Blog& blog, Host& host, const PublishOptions& run, bool tls)
      : blog_(blog),
        host_(host),
        options_(blog.options()),
        run_(run),
        tls_(tls),
        output_(blog.OutputFolder()),
        walk_(run.limit),
        status_(host, ""),
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
    if (run_.verify) VerifyRemote();
    if (run_.connections > 1) {
      WalkWithMoreConnections();
    } else {
      WalkPages(
          blog_, host_, walk_, [this](const PageRecord& rec) { Upload(rec); },
          [this](const PageRecord& rec) { DeleteRemote(rec); });
    }
    LogOff();
    if (run_.verify) WriteVerifySummary(host_, verified_wrong_);
    WriteSummary(host_, walk_, "Upload complete");
    PublishResult result = walk_.Result();
    result.verified_wrong = verified_wrong_;
    return result;
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
      ftp_.Password = RunPassword(options_);
      secret_ = ftp_.Password;
      status_.set_secret(secret_);
    }
    ftp_.TargetHost = options_.Text(opt::kFtpSite);
    ftp_.TargetPort = options_.Text(opt::kFtpPort);
    if (tls_) {
      ftp_.AutoTLS = true;
      ftp_.OnTlsPeer = [this](const TlsPeer& peer) {
        TrustStore store(CertificateTrustFile());
        return DecideTrust(host_, store,
                           PeerProof{"certificate", TrustName(ftp_.TargetHost, ftp_.TargetPort),
                                     peer.fingerprint, peer.verified, peer.verify_error});
      };
    }
  }

  // No QUIT on failure: the connection goes with the client.
  bool LogOn() {
    if (ftp_.LogOn()) {
      if (ftp_.IsTLS) {
        const TlsPeer& peer = ftp_.Sock().Peer();
        host_.PublishLogLineColored(
            LogColor::kBlue, "Connection secured with " + peer.version + ", cipher " + peer.cipher);
      }
      return true;
    }
    host_.PublishLogLineColored(LogColor::kRed, "Logon failed");
    ShowFtpFailure(host_, ftp_, secret_);
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
      ShowFtpFailure(host_, ftp_, secret_);
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
    working_directory_ = now;
    const std::string form_a = RemoveSlashes(RemoveAll(Trim(now), initial_));
    const std::string form_b = RemoveSlashes(Trim(target));
    if (SameIgnoringCase(form_a, form_b)) return true;
    const std::string again = ftp_.AskCurrentDirectory();
    if (host_.ConfirmOkCancel("Current directory is now " + again + "\n\nand not " + Trim(target) +
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
    ShowFtpFailure(host_, ftp_, secret_);
    ++walk_.errors;
  }

  // A file that was never published cannot be missed on the server: its record goes even
  // when DELE fails.
  void DeleteRemote(const PageRecord& rec) {
    host_.PublishLogLine("...Deleting " + rec.key);
    ++walk_.processed;
    if (!ftp_.DeleteRemoteFile(rec.key) && rec.existing != 0) {
      host_.PublishLogLine("..." + rec.key + " not deleted.");
      ShowFtpFailure(host_, ftp_, secret_);
      ++walk_.errors;
      return;
    }
    blog_.DeletePage(rec.key);
  }

  // Lists the target directory (MLSD where the server offers it, else LIST) and marks
  // every published file that the server lacks or holds with another size as new.
  void VerifyRemote() {
    std::vector<std::string> features;
    if (ftp_.SendCommand("FEAT") / 100 == 2) features = ftp_.FullResult;
    const bool mlsd = std::any_of(features.begin(), features.end(), [](const std::string& f) {
      const std::string t = Trim(f);
      return t.rfind("MLST", 0) == 0 || t.rfind("MLSD", 0) == 0;
    });
    const bool listed = mlsd ? ftp_.ListMachineDirectory("") : ftp_.ListDirectory("", false);
    if (!listed) {
      host_.PublishLogLineColored(LogColor::kRed,
                                  "*** The target directory could not be listed; nothing was "
                                  "verified.");
      ShowFtpFailure(host_, ftp_, secret_);
      return;
    }
    const std::string text = ftp_.DataStream.str();
    verified_wrong_ = MarkWrongRemoteFiles(
        blog_, host_, output_, mlsd ? ParseMachineListing(text) : ParseUnixListing(text));
  }

  // Opens the further connections, each logging on in a thread of its own, and walks the
  // records with all of them. A connection that cannot log on or enter the directory is
  // left out.
  void WalkWithMoreConnections() {
    const bool conversation = options_.Int(opt::kShowFtpConversation) == 1;
    const size_t more = static_cast<size_t>(std::min(run_.connections, kMaxPublishConnections) - 1);
    std::vector<std::unique_ptr<TFTPSend>> clients(more);
    std::vector<std::unique_ptr<TransferConnection>> extra(more);
    std::vector<char> ok(more, 0);
    const std::string settled = ftp_.Sock().Peer().fingerprint;
    std::vector<std::thread> threads;
    for (size_t i = 0; i < more; ++i) {
      clients[i] = std::make_unique<TFTPSend>();
      TFTPSend& c = *clients[i];
      c.BinaryMode = true;
      c.PassiveMode = ftp_.PassiveMode;
      c.UserName = ftp_.UserName;
      c.Password = ftp_.Password;
      c.TargetHost = ftp_.TargetHost;
      c.TargetPort = ftp_.TargetPort;
      c.Timeout = ftp_.Timeout;
      c.AutoTLS = ftp_.AutoTLS;
      c.LeanStore = true;
      // The person settled the certificate on the first connection; the others must show
      // the same one.
      c.OnTlsPeer = [settled](const TlsPeer& peer) {
        return SameProof(PeerProof{"certificate", "", peer.fingerprint, peer.verified, ""},
                         settled);
      };
      extra[i] = std::make_unique<FtpTransfer>(c, static_cast<int>(i) + 2, conversation, secret_);
      threads.emplace_back([&c, &ok, i, this] {
        ok[i] = c.LogOn() && (working_directory_.empty() || c.EnterDirectory(working_directory_));
      });
    }
    for (auto& t : threads) t.join();
    std::vector<std::unique_ptr<TransferConnection>> connections;
    ftp_.LeanStore = true;
    connections.push_back(std::make_unique<FtpTransfer>(ftp_, 1, conversation, secret_));
    for (size_t i = 0; i < more; ++i) {
      WriteLines(extra[i]->TakeLines());
      if (ok[i]) {
        connections.push_back(std::move(extra[i]));
      } else {
        host_.PublishLogLine("*** Connection " + std::to_string(i + 2) +
                             " could not be opened; going on without it.");
        extra[i].reset();
      }
    }
    WalkPagesInParallel(blog_, host_, walk_, output_, connections);
    for (auto& conn : connections) WriteLines(conn->TakeLines());
    connections.clear();  // gives connection 1 its own conversation back
    ftp_.LeanStore = false;
    for (size_t i = 0; i < more; ++i) {
      if (!ok[i]) continue;
      FtpTransfer quiet(*clients[i], static_cast<int>(i) + 2, conversation, secret_);
      clients[i]->LogOff();
      WriteLines(quiet.TakeLines());
    }
  }

  void WriteLines(const std::vector<LogLine>& lines) {
    for (const LogLine& l : lines) host_.PublishLogLineColored(l.color, l.text);
  }

  void LogOff() {
    host_.PublishLogLine("Logging out.");
    ftp_.LogOff();
  }

  Blog& blog_;
  Host& host_;
  const BlogOptionsRec& options_;  // the blog's own, which SetUpClient may change
  const PublishOptions run_;
  const bool tls_;
  const std::filesystem::path output_;
  PageWalk walk_;
  std::string initial_;            // the logon directory, as the second PWD gave it
  std::string working_directory_;  // where the directory check found the server
  std::string secret_;             // the password given, never shown
  int verified_wrong_ = 0;
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
                                                 UnusableKeyReason(rec.key) + "; not published.");
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
  PublishOptions run;
  run.limit = limit;
  return PublishByFtp(blog, host, run, false);
}

PublishResult PublishByFtp(Blog& blog, Host& host, const PublishOptions& options, bool tls) {
  RunGuard guard;
  if (!guard.acquired()) return {};
  return FtpPublisher(blog, host, options, tls).Run();
}

PublishResult PublishBySftp(Blog& blog, Host& host, const PublishOptions& options) {
  RunGuard guard;
  if (!guard.acquired()) return {};
  return RunSftp(blog, host, options);
}

PublishResult PublishByFileCopy(Blog& blog, Host& host, int limit) {
  RunGuard guard;
  if (!guard.acquired()) return {};
  return RunFileCopy(blog, host, limit);
}

PublishResult PublishSite(Blog& blog, Host& host, bool next10) {
  PublishOptions run;
  run.limit = next10 ? kPublishNextLimit : kPublishAllLimit;
  return PublishSite(blog, host, run);
}

PublishResult PublishSite(Blog& blog, Host& host, const PublishOptions& options) {
  switch (blog.options().Int(opt::kPublishingLocation)) {
    case kPublishByFileCopy:
      return PublishByFileCopy(blog, host, options.limit);
    case kPublishByFtps:
      return PublishByFtp(blog, host, options, true);
    case kPublishBySftp:
      return PublishBySftp(blog, host, options);
    default:
      return PublishByFtp(blog, host, options, false);
  }
}

const char* DefaultPortFor(int location) { return location == kPublishBySftp ? "22" : "21"; }

}  // namespace tessavo
