// A scripted FTP control-connection peer for exact reply sequences: it accepts one
// connection on 127.0.0.1, sends the greeting, then answers every command line with the
// text the responder returns (CR LF added per line; an empty answer closes the
// connection). Records every command it received.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "publish/tcp_socket.h"

namespace tessavo::testing {

class FakeFtpPeer {
 public:
  using Responder = std::function<std::string(const std::string& command)>;

  FakeFtpPeer(std::string greeting, Responder responder)
      : greeting_(std::move(greeting)), responder_(std::move(responder)) {
    listener_.Bind("127.0.0.1", "0");
    listener_.Listen();
    port_ = listener_.GetLocalSinPort();
    thread_ = std::thread([this] { Run(); });
  }
  ~FakeFtpPeer() { thread_.join(); }
  FakeFtpPeer(const FakeFtpPeer&) = delete;
  FakeFtpPeer& operator=(const FakeFtpPeer&) = delete;

  std::string port() const { return std::to_string(port_); }
  std::vector<std::string> commands() {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
  }

 private:
  void Run() {
    if (!listener_.CanRead(10000)) return;
    TTCPBlockSocket conn;
    conn.TakeOver(listener_.Accept());
    conn.SendString(greeting_);
    for (;;) {
      std::string line = conn.RecvString(10000);
      if (conn.LastError() != 0) return;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(line);
      }
      std::string answer = responder_(line);
      if (answer.empty()) return;
      conn.SendString(answer);
    }
  }

  std::string greeting_;
  Responder responder_;
  TTCPBlockSocket listener_;
  int port_ = 0;
  std::mutex mutex_;
  std::vector<std::string> commands_;
  std::thread thread_;
};

// Answers with the usual replies of a server that accepts everything.
inline std::string DefaultAnswer(const std::string& command) {
  auto starts = [&](const char* p) { return command.rfind(p, 0) == 0; };
  if (starts("USER")) return "331 Password required.\r\n";
  if (starts("PASS")) return "230 Logged in.\r\n";
  if (starts("REST")) return "350 Restarting.\r\n";
  if (starts("PWD")) return "257 \"/\" is the current directory.\r\n";
  if (starts("QUIT")) return "221 Bye.\r\n";
  if (starts("CWD") || starts("DELE")) return "250 Ok.\r\n";
  return "200 Ok.\r\n";
}

}  // namespace tessavo::testing
