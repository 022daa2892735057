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

// A peer that runs `script` on the one connection it accepts, for servers that misbehave
// beyond one reply per command: endless replies, a byte at a time, floods. The script ends
// when a send fails (the client closed); a send blocks at most 20 seconds, so a client that
// stops reading cannot keep the peer (and the test) alive for ever.
class RawFtpPeer {
 public:
  using Script = std::function<void(TTCPBlockSocket& conn)>;

  explicit RawFtpPeer(Script script) : script_(std::move(script)) {
    listener_.Bind("127.0.0.1", "0");
    listener_.Listen();
    port_ = listener_.GetLocalSinPort();
    thread_ = std::thread([this] { Run(); });
  }
  ~RawFtpPeer() { thread_.join(); }
  RawFtpPeer(const RawFtpPeer&) = delete;
  RawFtpPeer& operator=(const RawFtpPeer&) = delete;

  std::string port() const { return std::to_string(port_); }

 private:
  void Run() {
    if (!listener_.CanRead(10000)) return;
    TTCPBlockSocket conn;
    conn.SendTimeout = 20000;
    conn.TakeOver(listener_.Accept());
    script_(conn);
  }

  Script script_;
  TTCPBlockSocket listener_;
  int port_ = 0;
  std::thread thread_;
};

// Sends `text` again and again until the client stops taking it. Returns how often.
inline long SendForEver(TTCPBlockSocket& conn, const std::string& text) {
  long sent = 0;
  for (;;) {
    conn.SendString(text);
    if (conn.LastError() != 0) return sent;
    ++sent;
  }
}

// Answers command lines with DefaultAnswer until `special` takes one (returns true); then
// returns. False when the client went away first.
inline bool AnswerUntil(TTCPBlockSocket& conn,
                        const std::function<bool(const std::string& command)>& special) {
  for (;;) {
    std::string line = conn.RecvString(20000);
    if (conn.LastError() != 0) return false;
    if (special(line)) return true;
    conn.SendString(DefaultAnswer(line));
  }
}

}  // namespace tessavo::testing
