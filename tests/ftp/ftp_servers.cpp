#include "ftp_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

namespace tessavo::testing {
namespace fs = std::filesystem;

int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

bool WaitForListener(int port, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    if (ok) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

ServerProcess::~ServerProcess() { Stop(); }

void ServerProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

bool ServerProcess::Start(const std::vector<std::string>& argv, bool read_port) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    dup2(fds[1], 1);
    int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd >= 0) dup2(null_fd, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  bool ok = true;
  if (read_port) {
    std::string text;
    pollfd p{fds[0], POLLIN, 0};
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
      if (poll(&p, 1, 100) <= 0) continue;
      char buf[256];
      ssize_t n = read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      text.append(buf, static_cast<size_t>(n));
    }
    ok = text.rfind("PORT ", 0) == 0;
    if (ok) port_ = std::atoi(text.c_str() + 5);
  }
  close(fds[0]);
  return ok;
}

bool StartPyFtp(ServerProcess& server, const fs::path& root,
                const std::vector<std::string>& options) {
  const char* src = std::getenv("TESSAVO_SOURCE_DIR");
  fs::path script = fs::path(src ? src : TESSAVO_SOURCE_DIR_FALLBACK) / "tests/ftp/ftp_server.py";
  std::vector<std::string> argv = {"/usr/bin/python3", script.string(), "--root", root.string()};
  argv.insert(argv.end(), options.begin(), options.end());
  return server.Start(argv, true);
}

int RunToEnd(const std::vector<std::string>& argv, const std::string& input) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    dup2(fds[0], 0);
    int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd >= 0) {
      dup2(null_fd, 1);
      dup2(null_fd, 2);
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(fds[0]);
  if (!input.empty() && write(fds[1], input.data(), input.size()) < 0) {
    // the program reads nothing; its status tells
  }
  close(fds[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool StartSshd(ServerProcess& server, const fs::path& base, const SshdSetup& setup) {
  if (getpwnam(setup.user.c_str()) == nullptr &&
      RunToEnd({"/usr/sbin/useradd", "-M", "-d", "/nonexistent", "-s", "/bin/sh", setup.user}) !=
          0) {
    return false;
  }
  if (RunToEnd({"/usr/sbin/chpasswd"}, setup.user + ":" + setup.password + "\n") != 0) {
    return false;
  }
  passwd* pw = getpwnam(setup.user.c_str());
  if (pw == nullptr) return false;
  fs::create_directories(base / "home");
  fs::create_directories("/run/sshd");
  // The user must reach its start folder through the test's folders.
  for (fs::path p = base; !p.empty() && p != p.parent_path(); p = p.parent_path()) {
    struct stat st;
    if (stat(p.c_str(), &st) == 0) chmod(p.c_str(), st.st_mode | 0755);
    if (p == "/tmp" || p.parent_path() == "/") break;
  }
  if (chown((base / "home").c_str(), pw->pw_uid, pw->pw_gid) != 0) return false;
  const fs::path host_key = setup.host_key.empty() ? base / "host_key" : setup.host_key;
  if (!fs::exists(host_key) && RunToEnd({"/usr/bin/ssh-keygen", "-q", "-t", "ed25519", "-N", "",
                                         "-f", host_key.string()}) != 0) {
    return false;
  }
  if (!fs::exists(base / "client_key") &&
      RunToEnd({"/usr/bin/ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f",
                (base / "client_key").string()}) != 0) {
    return false;
  }
  fs::copy_file(base / "client_key.pub", base / "authorized_keys",
                fs::copy_options::overwrite_existing);
  chmod((base / "authorized_keys").c_str(), 0644);
  const int port = setup.port != 0 ? setup.port : FreePort();
  const fs::path conf = base / "sshd_config";
  std::ofstream out(conf);
  out << "Port " << port << "\nListenAddress 127.0.0.1\n"
      << "HostKey " << host_key.string() << "\n"
      << "PidFile " << (base / "sshd.pid").string() << "\n"
      << "UsePAM no\nPasswordAuthentication yes\nKbdInteractiveAuthentication no\n"
      << "PubkeyAuthentication yes\nAuthorizedKeysFile " << (base / "authorized_keys").string()
      << "\nStrictModes no\nPermitRootLogin no\nAllowUsers " << setup.user << "\n"
      << "Subsystem sftp internal-sftp\n"
      << "ForceCommand internal-sftp -d " << (base / "home").string() << "\n"
      << "MaxStartups 50\nMaxSessions 50\nLogLevel ERROR\n";
  out.close();
  if (!server.Start({"/usr/sbin/sshd", "-D", "-e", "-f", conf.string()}, false)) return false;
  server.set_port(port);
  return WaitForListener(port, 5000);
}

bool RunningUnderCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

namespace {

bool StartVsftpdWith(ServerProcess& server, const fs::path& base, const std::string& extra);

}  // namespace

bool StartVsftpd(ServerProcess& server, const fs::path& base) {
  return StartVsftpdWith(server, base, "");
}

bool StartVsftpdTls(ServerProcess& server, const fs::path& base, const fs::path& cert,
                    const fs::path& key) {
  return StartVsftpdWith(server, base,
                         "ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\n"
                         "force_anon_data_ssl=YES\nrequire_ssl_reuse=YES\nssl_ciphers=HIGH\n"
                         "ssl_tlsv1=YES\nssl_sslv2=NO\nssl_sslv3=NO\n"
                         "rsa_cert_file=" +
                             cert.string() + "\nrsa_private_key_file=" + key.string() + "\n");
}

namespace {

bool StartVsftpdWith(ServerProcess& server, const fs::path& base, const std::string& extra) {
  fs::path root = base / "root";
  fs::path empty = base / "empty";
  fs::create_directories(root / "pub");
  fs::create_directories(empty);
  chmod(base.c_str(), 0755);
  chmod(root.c_str(), 0755);
  chmod(empty.c_str(), 0755);
  chmod((root / "pub").c_str(), 0777);
  if (passwd* ftp = getpwnam("ftp")) {
    if (chown((root / "pub").c_str(), ftp->pw_uid, ftp->pw_gid) != 0) return false;
  }
  int port = FreePort();
  int pasv = 20000 + (getpid() * 37 + port) % 30000;
  fs::path conf = base / "vsftpd.conf";
  std::ofstream out(conf);
  out << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n"
      << "listen_port=" << port << "\n"
      << "background=NO\nanonymous_enable=YES\nlocal_enable=NO\nwrite_enable=YES\n"
      << "anon_upload_enable=YES\nanon_mkdir_write_enable=YES\nanon_other_write_enable=YES\n"
      << "anon_world_readable_only=NO\nno_anon_password=YES\nanon_umask=022\n"
      << "anon_root=" << root.string() << "\n"
      << "secure_chroot_dir=" << empty.string() << "\n"
      << "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
      << "pasv_enable=YES\npasv_min_port=" << pasv << "\npasv_max_port=" << pasv + 40 << "\n"
      << "port_enable=YES\nconnect_from_port_20=NO\nxferlog_enable=NO\n"
      << "ftp_username=ftp\nnopriv_user=nobody\nmax_clients=50\nmax_per_ip=50\n"
      << "delay_failed_login=0\ndelay_successful_login=0\n"
      << extra;
  out.close();
  if (!server.Start({"/usr/sbin/vsftpd", conf.string()}, false)) return false;
  server.set_port(port);
  return WaitForListener(port, 5000);
}

}  // namespace

}  // namespace tessavo::testing
