// Real FTP servers for the publishing tests, started on 127.0.0.1 on free ports with
// temporary roots, and stopped when the object goes.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tessavo::testing {

// A port on 127.0.0.1 that nothing listens on right now.
int FreePort();

// A child process, stopped (SIGTERM, then SIGKILL) and reaped by the destructor.
class ServerProcess {
 public:
  ServerProcess() = default;
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Starts argv; when `read_port` is set, waits for the child's "PORT <n>" line.
  bool Start(const std::vector<std::string>& argv, bool read_port);
  void Stop();
  int port() const { return port_; }
  void set_port(int port) { port_ = port; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

// The pyftpdlib server of tests/ftp/ftp_server.py serving `root` (anonymous, writable),
// with extra options that make it misbehave. Returns false when it did not start.
bool StartPyFtp(ServerProcess& server, const std::filesystem::path& root,
                const std::vector<std::string>& options = {});

// vsftpd serving `base`/root anonymously, with the writable folder `base`/root/pub.
// Returns false when it did not start. The published files land below root/pub.
bool StartVsftpd(ServerProcess& server, const std::filesystem::path& base);
// The same with explicit FTPS required for the logon and every data connection (the
// session of the control connection must be reused on the data connections, as vsftpd
// asks by default), with the given certificate and key.
bool StartVsftpdTls(ServerProcess& server, const std::filesystem::path& base,
                    const std::filesystem::path& cert, const std::filesystem::path& key);

// OpenSSH's sshd on 127.0.0.1 for SFTP, serving only `user` (created when missing, with
// `password`; needs root) through the internal SFTP server, starting in `base`/home (made
// writable for the user). A key pair for the client is made in `base` (client_key, with
// its public key authorized); the host key is `host_key` (made when missing), so that a
// test can restart the server with another one. Returns false when it did not start.
struct SshdSetup {
  std::string user = "tessavo-sftp";
  std::string password = "Sftp-test-pw1";
  std::filesystem::path host_key;  // empty: base/host_key
  int port = 0;                    // 0: a free port
};
bool StartSshd(ServerProcess& server, const std::filesystem::path& base, const SshdSetup& setup);

// Runs a program to its end; its exit status (-1 when it could not run). `input` goes to
// its standard input.
int RunToEnd(const std::vector<std::string>& argv, const std::string& input = "");

// A test that needs something this machine lacks (root, a program) is skipped locally
// with `what` saying what is missing; under CI (CI=true) it fails instead.
#define TESSAVO_REQUIRE(condition, what)                                                \
  do {                                                                                  \
    if (!(condition)) {                                                                 \
      if (::tessavo::testing::RunningUnderCi()) FAIL() << "missing under CI: " << what; \
      GTEST_SKIP() << what;                                                             \
    }                                                                                   \
  } while (false)
bool RunningUnderCi();

// True when something accepts connections on 127.0.0.1:port within `ms`.
bool WaitForListener(int port, int ms);

}  // namespace tessavo::testing
