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

// A test that needs something this machine lacks (root, a program) is skipped locally
// with `what` saying what is missing; under CI (CI=true) it fails instead.
#define TESSAVO_REQUIRE(condition, what)                                             \
  do {                                                                               \
    if (!(condition)) {                                                              \
      if (::tessavo::testing::RunningUnderCi()) FAIL() << "missing under CI: " << what; \
      GTEST_SKIP() << what;                                                          \
    }                                                                                \
  } while (false)
bool RunningUnderCi();

// True when something accepts connections on 127.0.0.1:port within `ms`.
bool WaitForListener(int port, int ms);

}  // namespace tessavo::testing
