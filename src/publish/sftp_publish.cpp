// SFTP publishing (libssh): the same walk, rules and log as FTP publishing, over SSH.
//
// The server's host key is checked against the known-hosts file of the program folder
// (the person is asked about a key seen for the first time; a changed key is refused).
// Every file is written under a temporary name and renamed over the old one, so a visitor
// never sees half a page (see RenameOver for servers that cannot rename over a file). There is no
// current directory in SFTP: the target directory is resolved to an absolute path once, and every
// name is joined to it.
#include <fcntl.h>
#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "publish/parallel_walk.h"
#include "publish/publish.h"
#include "publish/publish_common.h"
#include "publish/trust_store.h"
#include "store/blog.h"
#include "store/options.h"
#include "util/crc32.h"
#include "util/host.h"
#include "util/program_folder.h"

namespace tessavo::publish_detail {
namespace {

constexpr long kSshTimeoutSeconds = 60;
constexpr size_t kWriteChunk = 32768;

void InitLibssh() {
  static std::once_flag once;
  std::call_once(once, [] { ssh_init(); });
}

// The name a file is written under before it is renamed over `key`: hidden, the same for
// every try, so a run killed in the middle leaves one stray file that the next upload of
// that page overwrites.
std::string TempNameFor(const std::string& key) {
  if (key.size() <= 200) return ".tessavo-" + key + ".part";
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", CalculateCRC32String(key));
  return ".tessavo-" + key.substr(0, 180) + "-" + crc + ".part";
}

const char* SftpErrorText(int code) {
  switch (code) {
    case SSH_FX_OK:
      return "no error";
    case SSH_FX_EOF:
      return "end of file";
    case SSH_FX_NO_SUCH_FILE:
      return "no such file or directory";
    case SSH_FX_PERMISSION_DENIED:
      return "permission denied";
    case SSH_FX_FAILURE:
      return "the server reported a failure (a full disk, say)";
    case SSH_FX_BAD_MESSAGE:
      return "bad message";
    case SSH_FX_NO_CONNECTION:
      return "no connection";
    case SSH_FX_CONNECTION_LOST:
      return "connection lost";
    case SSH_FX_OP_UNSUPPORTED:
      return "operation not supported";
    case SSH_FX_FILE_ALREADY_EXISTS:
      return "file already exists";
    case SSH_FX_WRITE_PROTECT:
      return "write protected";
    default:
      return "error";
  }
}

// The settings of one SFTP logon.
struct SftpLogon {
  std::string host;
  std::string port;
  std::string user;
  std::string password;
  std::filesystem::path key_file;
};

// One SSH session with its SFTP channel. Used by one thread at a time.
class SftpConnection : public TransferConnection {
 public:
  SftpConnection(int number, bool conversation)
      : prefix_(number == 1 ? "  SFTP = " : "  SFTP[" + std::to_string(number) + "] = "),
        conversation_(conversation) {}
  ~SftpConnection() override { Close(); }
  SftpConnection(const SftpConnection&) = delete;
  SftpConnection& operator=(const SftpConnection&) = delete;

  // Connects and returns the server's host key fingerprint ("SHA256:..."); empty on
  // failure, with the reason in error().
  std::string Connect(const SftpLogon& logon) {
    InitLibssh();
    session_ = ssh_new();
    if (session_ == nullptr) return Fail("cannot create an SSH session");
    long timeout = kSshTimeoutSeconds;
    int no = 0;
    ssh_options_set(session_, SSH_OPTIONS_HOST, logon.host.c_str());
    ssh_options_set(session_, SSH_OPTIONS_PORT_STR, logon.port.c_str());
    if (!logon.user.empty()) ssh_options_set(session_, SSH_OPTIONS_USER, logon.user.c_str());
    ssh_options_set(session_, SSH_OPTIONS_TIMEOUT, &timeout);
    // Our own known-hosts file decides; the person's ssh configuration plays no part.
    ssh_options_set(session_, SSH_OPTIONS_PROCESS_CONFIG, &no);
    ssh_options_set(session_, SSH_OPTIONS_KNOWNHOSTS, "/dev/null");
    ssh_options_set(session_, SSH_OPTIONS_GLOBAL_KNOWNHOSTS, "/dev/null");
    if (ssh_connect(session_) != SSH_OK) return Fail(ssh_get_error(session_));
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(session_, &key) != SSH_OK) return Fail(ssh_get_error(session_));
    unsigned char* hash = nullptr;
    size_t hash_len = 0;
    std::string fingerprint;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &hash_len) == 0) {
      char* text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, hash_len);
      if (text != nullptr) fingerprint = text;
      ssh_string_free_char(text);
      ssh_clean_pubkey_hash(&hash);
    }
    ssh_key_free(key);
    if (fingerprint.empty()) return Fail("cannot read the server's host key");
    return fingerprint;
  }

  // Authenticates (the key file first when one is given, then the password) and opens
  // the SFTP channel.
  bool Authenticate(const SftpLogon& logon) {
    bool done = false;
    if (!logon.key_file.empty()) {
      ssh_key key = nullptr;
      if (ssh_pki_import_privkey_file(logon.key_file.c_str(), nullptr, nullptr, nullptr, &key) !=
          SSH_OK) {
        error_ = "cannot read the private key file " + logon.key_file.string();
      } else {
        done = ssh_userauth_publickey(session_, nullptr, key) == SSH_AUTH_SUCCESS;
        ssh_key_free(key);
        if (!done) error_ = std::string("key refused: ") + ssh_get_error(session_);
      }
    }
    if (!done && !logon.password.empty()) {
      done = ssh_userauth_password(session_, nullptr, logon.password.c_str()) == SSH_AUTH_SUCCESS;
      if (!done) error_ = std::string("password refused: ") + ssh_get_error(session_);
    }
    if (!done) {
      if (error_.empty()) error_ = "no key file and no password to log on with";
      return false;
    }
    sftp_ = sftp_new(session_);
    if (sftp_ == nullptr || sftp_init(sftp_) != SSH_OK) {
      error_ = std::string("the server offers no SFTP: ") + ssh_get_error(session_);
      return false;
    }
    return true;
  }

  // The absolute form of `path` on the server; empty when it does not exist.
  std::string Canonical(const std::string& path) {
    char* text = sftp_canonicalize_path(sftp_, path.c_str());
    if (text == nullptr) {
      SetSftpError();
      return "";
    }
    std::string out = text;
    ssh_string_free_char(text);
    return out;
  }

  bool IsDirectory(const std::string& path) {
    sftp_attributes attrs = sftp_stat(sftp_, path.c_str());
    if (attrs == nullptr) {
      SetSftpError();
      return false;
    }
    const bool dir = attrs->type == SSH_FILEXFER_TYPE_DIRECTORY;
    sftp_attributes_free(attrs);
    return dir;
  }

  // Creates `path` and every missing folder above it (relative paths below the logon
  // directory `home`).
  bool MakeDirectories(const std::string& home, const std::string& path) {
    std::string at = path.empty() || path[0] != '/' ? home : "";
    size_t pos = 0;
    while (pos <= path.size()) {
      size_t slash = path.find('/', pos);
      if (slash == std::string::npos) slash = path.size();
      const std::string part = path.substr(pos, slash - pos);
      pos = slash + 1;
      if (part.empty() || part == ".") continue;
      at += "/" + part;
      if (IsDirectory(at)) continue;
      if (sftp_mkdir(sftp_, at.c_str(), 0755) != 0 && !IsDirectory(at)) {
        SetSftpError();
        return false;
      }
    }
    return true;
  }

  void set_base(std::string base) { base_ = std::move(base); }

  bool Send(const std::string& local, const std::string& key) override {
    error_.clear();
    std::ifstream in(local, std::ios::binary);
    if (!in) {
      error_ = "Cannot read " + local;
      return false;
    }
    const std::string temp = Path(TempNameFor(key));
    Say("put " + key);
    sftp_file file = sftp_open(sftp_, temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file == nullptr) {
      SetSftpError();
      return false;
    }
    std::vector<char> buf(kWriteChunk);
    bool ok = true;
    for (;;) {
      in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
      const std::streamsize got = in.gcount();
      if (got <= 0) break;
      if (sftp_write(file, buf.data(), static_cast<size_t>(got)) != got) {
        SetSftpError();
        ok = false;
        break;
      }
    }
    if (ok && in.bad()) {
      error_ = "Cannot read " + local;
      ok = false;
    }
    // Closing is where a server reports a write it could not finish (a full disk).
    if (sftp_close(file) != SSH_NO_ERROR && ok) {
      SetSftpError();
      ok = false;
    }
    if (ok) {
      Say("rename " + TempNameFor(key) + " " + key);
      ok = RenameOver(temp, Path(key));
    }
    if (!ok && Usable()) sftp_unlink(sftp_, temp.c_str());
    return ok;
  }

  // Puts `from` in the place of `to`. Servers of protocol version 3 (OpenSSH) do not
  // rename over an existing file, so the old file steps aside first under a hidden name
  // and is removed afterwards: for a moment the name is missing, but it never names half
  // a file. If the new file cannot take the name, the old one goes back.
  bool RenameOver(const std::string& from, const std::string& to) {
    if (sftp_rename(sftp_, from.c_str(), to.c_str()) == 0) return true;
    sftp_attributes there = sftp_lstat(sftp_, to.c_str());
    if (there == nullptr) {
      SetSftpError();
      return false;
    }
    sftp_attributes_free(there);
    const std::string aside = from + ".old";
    sftp_unlink(sftp_, aside.c_str());
    if (sftp_rename(sftp_, to.c_str(), aside.c_str()) != 0) {
      SetSftpError();
      return false;
    }
    if (sftp_rename(sftp_, from.c_str(), to.c_str()) != 0) {
      SetSftpError();
      sftp_rename(sftp_, aside.c_str(), to.c_str());
      return false;
    }
    sftp_unlink(sftp_, aside.c_str());
    return true;
  }

  bool Remove(const std::string& key) override {
    error_.clear();
    Say("remove " + key);
    if (sftp_unlink(sftp_, Path(key).c_str()) == 0) return true;
    SetSftpError();
    return false;
  }

  std::vector<LogLine> FailureReport() override {
    return {{LogColor::kRed, "  SFTP = " + (error_.empty() ? std::string("error") : error_)}};
  }

  bool Usable() override {
    if (session_ == nullptr || sftp_ == nullptr || ssh_is_connected(session_) == 0) return false;
    const int code = sftp_get_error(sftp_);
    return code != SSH_FX_CONNECTION_LOST && code != SSH_FX_NO_CONNECTION;
  }

  std::vector<LogLine> TakeLines() override {
    std::vector<LogLine> out;
    out.swap(lines_);
    return out;
  }

  // The names and sizes of the regular files in the base directory; false on failure.
  bool List(std::map<std::string, int64_t>& files) {
    sftp_dir dir = sftp_opendir(sftp_, base_.c_str());
    if (dir == nullptr) {
      SetSftpError();
      return false;
    }
    while (sftp_attributes attrs = sftp_readdir(sftp_, dir)) {
      if (attrs->type == SSH_FILEXFER_TYPE_REGULAR && attrs->name != nullptr) {
        files[attrs->name] = static_cast<int64_t>(attrs->size);
      }
      sftp_attributes_free(attrs);
    }
    const bool ok = sftp_dir_eof(dir) != 0;
    if (!ok) SetSftpError();
    sftp_closedir(dir);
    return ok;
  }

  void Close() {
    if (sftp_ != nullptr) {
      sftp_free(sftp_);
      sftp_ = nullptr;
    }
    if (session_ != nullptr) {
      if (ssh_is_connected(session_) != 0) ssh_disconnect(session_);
      ssh_free(session_);
      session_ = nullptr;
    }
  }

  const std::string& error() const { return error_; }

 private:
  std::string Fail(const std::string& why) {
    error_ = why;
    return "";
  }
  void SetSftpError() {
    const int code = sftp_ != nullptr ? sftp_get_error(sftp_) : -1;
    error_ = code > 0 ? std::string(SftpErrorText(code))
                      : std::string(session_ != nullptr ? ssh_get_error(session_) : "error");
    if (session_ != nullptr && ssh_is_connected(session_) == 0) error_ = "connection lost";
  }
  std::string Path(const std::string& name) const {
    return base_ == "/" ? "/" + name : base_ + "/" + name;
  }
  void Say(const std::string& text) {
    if (conversation_) lines_.push_back({LogColor::kBlue, prefix_ + text});
  }

  std::string prefix_;
  bool conversation_;
  ssh_session session_ = nullptr;
  sftp_session sftp_ = nullptr;
  std::string base_;
  std::string error_;
  std::vector<LogLine> lines_;
};

// One SFTP run, step by step, as the FTP run: the checks, the logon with the host key
// check, the target directory, the walk, the log-off and the summary.
class SftpPublisher {
 public:
  SftpPublisher(Blog& blog, Host& host, const PublishOptions& run)
      : blog_(blog),
        host_(host),
        options_(blog.options()),
        run_(run),
        output_(blog.OutputFolder()),
        walk_(run.limit),
        conversation_(options_.Int(opt::kShowFtpConversation) == 1) {}

  PublishResult Run() {
    if (options_.Text(opt::kFtpSite).size() < 3) {
      host_.PublishLogLineColored(
          LogColor::kRed, "*** Warning: Can not upload files yet - FTP information required.");
      host_.PublishLogLineColored(LogColor::kRed,
                                  "*** Please visit the OPTIONS page for PUBLISHING OPTIONS and "
                                  "enter your FTP information before trying to upload.");
      return {};
    }
    host_.PublishLogLineColored(LogColor::kBlack, "Publishing using SFTP");
    if (options_.Text(opt::kFtpPort).empty()) {
      blog_.SetOptionText(opt::kFtpPort, DefaultPortFor(kPublishBySftp));
    }
    logon_.host = options_.Text(opt::kFtpSite);
    logon_.port = options_.Text(opt::kFtpPort);
    logon_.user = options_.Text(opt::kFtpUserid);
    logon_.password = RunPassword(options_);
    logon_.key_file = ReadPublishSettings(ProgramFolder() / "tessavo.ini").sftp_key_file;
    host_.PublishLogLine("Logging on to " + logon_.host + " port " + logon_.port + " as user " +
                         logon_.user);
    auto main = std::make_unique<SftpConnection>(1, conversation_);
    if (!LogOn(*main)) return {};
    if (!EnterTargetDirectory(*main)) return {};
    if (run_.verify) VerifyRemote(*main);
    std::vector<std::unique_ptr<TransferConnection>> connections;
    connections.push_back(std::move(main));
    OpenMoreConnections(connections);
    WalkPagesInParallel(blog_, host_, walk_, output_, connections);
    for (auto& conn : connections) WriteLines(conn->TakeLines());
    host_.PublishLogLine("Logging out.");
    connections.clear();
    if (run_.verify) WriteVerifySummary(host_, verified_wrong_);
    WriteSummary(host_, walk_, "Upload complete");
    PublishResult result = walk_.Result();
    result.verified_wrong = verified_wrong_;
    return result;
  }

 private:
  bool LogOn(SftpConnection& conn) {
    const std::string fingerprint = conn.Connect(logon_);
    bool ok = !fingerprint.empty();
    if (ok) {
      TrustStore store(SshKnownHostsFile());
      ok = DecideTrust(host_, store,
                       PeerProof{"host key", TrustName(logon_.host, logon_.port), fingerprint,
                                 false, "not yet known"});
      if (!ok) {
        LogonFailed("the host key of " + TrustName(logon_.host, logon_.port) +
                    " is not trusted: connection closed.");
        return false;
      }
      settled_ = fingerprint;
      ok = conn.Authenticate(logon_);
    }
    if (!ok) {
      LogonFailed(MaskSecret(conn.error(), logon_.password));
      return false;
    }
    home_ = conn.Canonical(".");
    host_.PublishLogLine("Initial directory is " + home_);
    return true;
  }

  void LogonFailed(const std::string& why) {
    host_.PublishLogLineColored(LogColor::kRed, "Logon failed");
    host_.PublishLogLineColored(LogColor::kRed, "  SFTP = " + why);
  }

  bool EnterTargetDirectory(SftpConnection& conn) {
    const std::string target = options_.Text(opt::kFtpTargetDirectory);
    std::string base = home_;
    if (!target.empty()) {
      host_.PublishLogLine("Changing to Directory " + target);
      const std::string path = target[0] == '/' ? target : home_ + "/" + target;
      if (!conn.IsDirectory(path)) {
        host_.PublishLogLine("Directory " + target + " does not exist.");
        if (!conn.MakeDirectories(home_, target)) {
          host_.PublishLogLineColored(LogColor::kRed, "Error creating Directory " + target);
          host_.PublishLogLineColored(LogColor::kRed, "Giving up!");
          WriteLines(conn.FailureReport());
          return false;
        }
        host_.PublishLogLine("Created Directory " + target);
      }
      base = conn.Canonical(path);
      if (base.empty()) base = path;
    }
    conn.set_base(base);
    base_ = base;
    host_.PublishLogLine("Current directory is now " + base);
    return true;
  }

  void VerifyRemote(SftpConnection& conn) {
    std::map<std::string, int64_t> files;
    if (!conn.List(files)) {
      host_.PublishLogLineColored(LogColor::kRed,
                                  "*** The target directory could not be listed; nothing was "
                                  "verified.");
      WriteLines(conn.FailureReport());
      return;
    }
    verified_wrong_ = MarkWrongRemoteFiles(blog_, host_, output_, files);
  }

  // Further sessions, opened at once on threads of their own; each must show the host key
  // the first one showed. One that fails is left out.
  void OpenMoreConnections(std::vector<std::unique_ptr<TransferConnection>>& connections) {
    const int more = std::min(run_.connections, kMaxPublishConnections) - 1;
    if (more <= 0) return;
    std::vector<std::unique_ptr<SftpConnection>> extra;
    std::vector<char> ok(static_cast<size_t>(more), 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < more; ++i) {
      extra.push_back(std::make_unique<SftpConnection>(i + 2, conversation_));
    }
    for (int i = 0; i < more; ++i) {
      SftpConnection* conn = extra[static_cast<size_t>(i)].get();
      threads.emplace_back([this, conn, &ok, i] {
        const std::string fingerprint = conn->Connect(logon_);
        ok[static_cast<size_t>(i)] =
            !fingerprint.empty() && fingerprint == settled_ && conn->Authenticate(logon_);
        conn->set_base(base_);
      });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < more; ++i) {
      if (ok[static_cast<size_t>(i)]) {
        connections.push_back(std::move(extra[static_cast<size_t>(i)]));
      } else {
        host_.PublishLogLine("*** Connection " + std::to_string(i + 2) +
                             " could not be opened; going on without it.");
      }
    }
  }

  void WriteLines(const std::vector<LogLine>& lines) {
    for (const LogLine& l : lines) host_.PublishLogLineColored(l.color, l.text);
  }

  Blog& blog_;
  Host& host_;
  const BlogOptionsRec& options_;  // the blog's own, which Run may change
  const PublishOptions run_;
  const std::filesystem::path output_;
  PageWalk walk_;
  const bool conversation_;
  SftpLogon logon_;
  std::string settled_;  // the host key fingerprint the first session showed
  std::string home_;
  std::string base_;
  int verified_wrong_ = 0;
};

}  // namespace

PublishResult RunSftp(Blog& blog, Host& host, const PublishOptions& options) {
  return SftpPublisher(blog, host, options).Run();
}

}  // namespace tessavo::publish_detail
