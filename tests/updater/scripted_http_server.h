// A scripted HTTP peer for exact cases: it serves connections on 127.0.0.1 one after the
// other, reads each request head (up to its empty line) and hands it to the script, which
// writes whatever reply it likes to the connection and says whether to keep it open for
// the next request. Records every request and counts connections.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "publish/tcp_socket.h"

namespace tessavo::testing {

class ScriptedHttpServer {
 public:
  // The request's lines without their line ends, the request line first.
  using Request = std::vector<std::string>;
  // Writes the reply; true keeps the connection open for another request.
  using Script = std::function<bool(const Request& request, TTCPBlockSocket& conn)>;

  explicit ScriptedHttpServer(Script script) : script_(std::move(script)) {
    listener_.Bind("127.0.0.1", "0");
    listener_.Listen();
    port_ = listener_.GetLocalSinPort();
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedHttpServer() {
    stop_ = true;
    thread_.join();
  }
  ScriptedHttpServer(const ScriptedHttpServer&) = delete;
  ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

  int port() const { return port_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::vector<Request> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  int connections() const { return connections_; }
  // The paths asked for, in order.
  std::vector<std::string> paths() {
    std::vector<std::string> out;
    for (const Request& r : requests()) {
      size_t a = r[0].find(' ');
      size_t b = r[0].find(' ', a + 1);
      out.push_back(r[0].substr(a + 1, b - a - 1));
    }
    return out;
  }
  bool stopping() const { return stop_; }

 private:
  void Run() {
    while (!stop_) {
      if (!listener_.CanRead(50)) continue;
      TTCPBlockSocket conn;
      conn.SendTimeout = 20000;
      conn.TakeOver(listener_.Accept());
      ++connections_;
      Serve(conn);
    }
  }

  void Serve(TTCPBlockSocket& conn) {
    for (;;) {
      Request request;
      for (;;) {
        std::string line = conn.RecvString(100);
        if (conn.LastError() == kSockErrTimedOut) {
          if (stop_) return;
          continue;
        }
        if (conn.LastError() != 0) return;
        if (line.empty()) break;
        request.push_back(line);
      }
      if (request.empty()) continue;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
      }
      if (!script_(request, conn)) return;
    }
  }

  Script script_;
  TTCPBlockSocket listener_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::mutex mutex_;
  std::vector<Request> requests_;
  std::thread thread_;
};

// "HTTP/1.0 200 OK" with a Content-Length and `body`.
inline std::string LengthReply(const std::string& body, const std::string& status = "200 OK",
                               const std::string& version = "HTTP/1.0") {
  return version + " " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

// Sends `text` in pieces of `piece` bytes with `pause_ms` between them; false when the
// client went away.
inline bool SendSlowly(TTCPBlockSocket& conn, const std::string& text, size_t piece, int pause_ms) {
  for (size_t i = 0; i < text.size(); i += piece) {
    conn.SendString(text.substr(i, piece));
    if (conn.LastError() != 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
  }
  return true;
}

}  // namespace tessavo::testing
