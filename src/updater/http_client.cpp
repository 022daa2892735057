#include "updater/http_client.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace tessavo {
namespace {

// Longest wait between two looks at the abort flag.
constexpr int kAbortSliceMs = 100;
// 1xx interim replies skipped before the final one.
constexpr int kMaxInterimReplies = 10;
// A chunk-size line and the trailer after the last chunk.
constexpr size_t kMaxChunkLineBytes = 4096;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

std::string TrimBlanks(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

bool IsDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A request method: letters, digits and the token characters of HTTP, nothing else.
bool IsToken(const std::string& s) {
  static const std::string kExtra = "!#$%&'*+-.^_`|~";
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           kExtra.find(c) != std::string::npos;
  });
}

// Text that may stand in a request line or header: no control characters.
bool IsHeaderSafe(const std::string& s) {
  return std::none_of(s.begin(), s.end(), [](char c) {
    auto u = static_cast<unsigned char>(c);
    return u < ' ' || u == 0x7f;
  });
}

// A decimal length of at most 18 digits (so it fits), or -1.
int64_t ParseLength(const std::string& s) {
  if (!IsDigits(s) || s.size() > 18) return -1;
  int64_t v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v;
}

// A hexadecimal chunk size, or -1 when it is not one or would not fit.
int64_t ParseChunkSize(const std::string& s) {
  if (s.empty()) return -1;
  int64_t v = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return -1;
    if (v > (std::numeric_limits<int64_t>::max() >> 4)) return -1;
    v = v * 16 + d;
  }
  return v;
}

}  // namespace

bool ParseHttpAddress(const std::string& url, HttpAddress& out) {
  for (char c : url) {
    auto u = static_cast<unsigned char>(c);
    if (u <= ' ' || u == 0x7f) return false;
  }
  size_t scheme_end = url.find("://");
  if (scheme_end == std::string::npos || Upper(url.substr(0, scheme_end)) != "HTTP") {
    return false;
  }
  std::string rest = url.substr(scheme_end + 3);
  size_t authority_end = rest.find_first_of("/?#");
  std::string authority = rest.substr(0, authority_end);
  std::string path = authority_end == std::string::npos ? "" : rest.substr(authority_end);
  if (size_t hash = path.find('#'); hash != std::string::npos) path.erase(hash);
  if (path.empty() || path[0] != '/') path.insert(0, "/");
  if (size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);

  std::string host;
  std::string port;
  if (!authority.empty() && authority[0] == '[') {
    size_t close = authority.find(']');
    if (close == std::string::npos) return false;
    host = authority.substr(1, close - 1);
    std::string after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after[0] != ':') return false;
      port = after.substr(1);
    }
  } else {
    size_t colon = authority.find(':');
    host = authority.substr(0, colon);
    if (colon != std::string::npos) port = authority.substr(colon + 1);
  }
  if (host.empty()) return false;
  if (port.empty()) {
    port = "80";
  } else {
    if (!IsDigits(port) || port.size() > 5) return false;
    int value = std::stoi(port);
    if (value < 1 || value > 65535) return false;
    port = std::to_string(value);
  }
  out.host = host;
  out.port = port;
  out.path = path;
  return true;
}

THTTPSend::THTTPSend() {
  TargetPort = "80";
  Timeout = 90000;
  sock_.SendMaxChunk = 65536;
}

THTTPSend::~THTTPSend() { sock_.CloseSocket(); }

void THTTPSend::Abort() {
  aborted_ = true;
  sock_.StopFlag = true;
}

void THTTPSend::CloseConnection() {
  sock_.CloseSocket();
  in_.clear();
  connected_host_.clear();
  connected_port_.clear();
}

bool THTTPSend::Fail(const std::string& reason) {
  FailReason = reason;
  CloseConnection();
  return false;
}

bool THTTPSend::HTTPMethod(const std::string& method, const std::string& url) {
  aborted_ = false;
  sock_.StopFlag = false;
  ResultCode = 0;
  ResultString.clear();
  Headers.clear();
  DownloadSize = 0;
  Document.str("");
  Document.clear();
  FailReason.clear();
  document_bytes_ = 0;

  HttpAddress address;
  if (!ParseHttpAddress(url, address)) return Fail("not a usable http address");
  if (!IsToken(method)) return Fail("not a request method");
  if (!IsHeaderSafe(Protocol) || !IsHeaderSafe(UserAgent)) {
    return Fail("the protocol or user agent holds a control character");
  }
  TargetHost = address.host;
  TargetPort = address.port;
  head_request_ = Upper(method) == "HEAD";

  // A kept connection the server has closed meanwhile fails before the first reply byte;
  // the request then goes once more over a fresh connection.
  for (int attempt = 0;; ++attempt) {
    bool reused = false;
    if (!Connect(reused)) {
      return Fail("cannot connect to " + TargetHost + ":" + TargetPort + ": " +
                  sock_.LastErrorDesc());
    }
    bytes_received_ = 0;
    if (SendRequest(method, address)) break;
    bool silent_close = bytes_received_ == 0 && !aborted_;
    if (!(reused && silent_close && attempt == 0)) return false;
    ResultCode = 0;
    FailReason.clear();
  }
  if (!ReadBody()) return false;

  bool keep = Protocol == "1.1" && KeepAlive && !server_wants_close_ && !must_close_ && in_.empty();
  if (!keep) CloseConnection();
  Document.seekg(0);
  return true;
}

bool THTTPSend::Connect(bool& reused) {
  reused = false;
  if (sock_.IsOpen() && connected_host_ == TargetHost && connected_port_ == TargetPort) {
    reused = true;
    return true;
  }
  CloseConnection();
  sock_.Bind(IPInterface, "0");
  if (sock_.LastError() != 0) return false;
  sock_.Connect(TargetHost, TargetPort);
  if (sock_.LastError() != 0) {
    sock_.CloseSocket();
    return false;
  }
  connected_host_ = TargetHost;
  connected_port_ = TargetPort;
  return true;
}

bool THTTPSend::SendRequest(const std::string& method, const HttpAddress& address) {
  std::string host =
      address.host.find(':') != std::string::npos ? "[" + address.host + "]" : address.host;
  if (address.port != "80") host += ":" + address.port;
  std::string request = method + " " + address.path + " HTTP/" + Protocol + "\r\n";
  request += "Host: " + host + "\r\n";
  request += "User-Agent: " + UserAgent + "\r\n";
  if (!KeepAlive && Protocol == "1.1") request += "Connection: close\r\n";
  request += "\r\n";
  if (aborted_) return Fail("the transfer was aborted");
  sock_.SendString(request);
  if (aborted_) return Fail("the transfer was aborted");
  if (sock_.LastError() != 0) return Fail("cannot send the request: " + sock_.LastErrorDesc());
  return ReadHead();
}

bool THTTPSend::ReadHead() {
  head_bytes_ = 0;
  head_deadline_ = NowMs() + Timeout;
  for (int interim = 0;; ++interim) {
    std::string line;
    do {
      if (!ReadLine(line, kMaxHttpHeaderBytes - std::min(head_bytes_, kMaxHttpHeaderBytes),
                    head_deadline_)) {
        return false;
      }
    } while (line.empty());

    // "HTTP/1.1 200 OK": the version, the code, the text.
    std::string upper = Upper(line);
    size_t blank = line.find(' ');
    std::string code = blank == std::string::npos ? "" : line.substr(blank + 1, 3);
    if (upper.rfind("HTTP/", 0) != 0 || code.size() != 3 || !IsDigits(code) ||
        (line.size() > blank + 4 && line[blank + 4] != ' ')) {
      return Fail("the server's reply is not HTTP");
    }
    ResultCode = std::stoi(code);
    ResultString = line.size() > blank + 5 ? line.substr(blank + 5) : "";
    if (!ReadHeaderLines()) return false;
    if (ResultCode >= 200 || interim >= kMaxInterimReplies) return true;
  }
}

bool THTTPSend::ReadHeaderLines() {
  Headers.clear();
  DownloadSize = 0;
  has_length_ = false;
  chunked_ = false;
  server_wants_close_ = false;
  must_close_ = false;
  for (;;) {
    std::string line;
    if (!ReadLine(line, kMaxHttpHeaderBytes - std::min(head_bytes_, kMaxHttpHeaderBytes),
                  head_deadline_)) {
      return false;
    }
    if (line.empty()) return true;
    size_t colon = line.find(':');
    // Folded continuations and lines without a colon name no header.
    if (line[0] == ' ' || line[0] == '\t' || colon == std::string::npos) continue;
    Headers.push_back(line);
    std::string upper = Upper(line);
    std::string name = upper.substr(0, colon);
    std::string value = TrimBlanks(upper.substr(colon + 1));
    if (name == "CONTENT-LENGTH") {
      int64_t length = ParseLength(value);
      if (length < 0) return Fail("the reply's Content-Length is not a number");
      if (has_length_ && length != DownloadSize) {
        return Fail("the reply has two different Content-Length headers");
      }
      has_length_ = true;
      DownloadSize = length;
    } else if (name == "TRANSFER-ENCODING") {
      if (value.find("CHUNKED") != std::string::npos) chunked_ = true;
    } else if (name == "CONNECTION") {
      if (value.find("CLOSE") != std::string::npos) server_wants_close_ = true;
    }
  }
}

bool THTTPSend::ReadBody() {
  if (head_request_ || ResultCode == 204 || ResultCode == 304 || ResultCode < 200) {
    return true;
  }
  if (chunked_) {
    // With a length beside the chunks nobody can tell where the reply ends for sure.
    must_close_ = has_length_;
    return ReadChunked();
  }
  if (has_length_) {
    if (DownloadSize > MaxDocumentSize) {
      return Fail("the reply announces " + std::to_string(DownloadSize) +
                  " bytes, more than the limit of " + std::to_string(MaxDocumentSize));
    }
    return ReadByLength(DownloadSize);
  }
  must_close_ = true;
  return ReadUntilClose();
}

bool THTTPSend::ReadByLength(int64_t length) {
  int64_t left = length;
  while (left > 0) {
    if (in_.empty() && !Fill(NowMs() + Timeout)) {
      return Fail(close_seen_ ? "the server closed the connection before the end of the body"
                              : wait_failure_);
    }
    size_t take = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(in_.size())));
    if (!TakeBody(take)) return false;
    left -= static_cast<int64_t>(take);
  }
  return true;
}

bool THTTPSend::ReadChunked() {
  for (;;) {
    std::string line;
    if (!ReadLine(line, kMaxChunkLineBytes, NowMs() + Timeout)) return false;
    int64_t size = ParseChunkSize(TrimBlanks(line.substr(0, line.find(';'))));
    if (size < 0) return Fail("a chunk size is not a hexadecimal number");
    if (size == 0) break;
    if (size > MaxDocumentSize - document_bytes_) {
      Document.str("");
      return Fail("the body is longer than the limit of " + std::to_string(MaxDocumentSize) +
                  " bytes");
    }
    if (!ReadByLength(size)) return false;
    if (!ReadLine(line, kMaxChunkLineBytes, NowMs() + Timeout)) return false;
    if (!line.empty()) return Fail("chunk data is not followed by a line end");
  }
  // The trailer: header lines up to an empty line, not used.
  size_t trailer_bytes = 0;
  int64_t deadline = NowMs() + Timeout;
  for (;;) {
    std::string line;
    if (!ReadLine(line, kMaxChunkLineBytes, deadline)) return false;
    if (line.empty()) return true;
    trailer_bytes += line.size();
    if (trailer_bytes > kMaxHttpHeaderBytes) return Fail("the chunk trailer is too long");
  }
}

bool THTTPSend::ReadUntilClose() {
  for (;;) {
    if (!in_.empty() && !TakeBody(in_.size())) return false;
    if (!Fill(NowMs() + Timeout)) {
      if (close_seen_) return true;
      return Fail(wait_failure_);
    }
  }
}

bool THTTPSend::TakeBody(size_t count) {
  if (static_cast<int64_t>(count) > MaxDocumentSize - document_bytes_) {
    Document.str("");
    return Fail("the body is longer than the limit of " + std::to_string(MaxDocumentSize) +
                " bytes");
  }
  Document.write(in_.data(), static_cast<std::streamsize>(count));
  in_.erase(0, count);
  document_bytes_ += static_cast<int64_t>(count);
  return true;
}

bool THTTPSend::ReadLine(std::string& line, size_t max_bytes, int64_t deadline_ms) {
  size_t searched = 0;
  for (;;) {
    size_t lf = in_.find('\n', searched);
    if (lf != std::string::npos) {
      if (lf > max_bytes) return Fail("the server sent a line that is too long");
      line.assign(in_, 0, lf);
      in_.erase(0, lf + 1);
      head_bytes_ += lf + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    if (in_.size() > max_bytes) return Fail("the server sent a line that is too long");
    searched = in_.size();
    if (!Fill(deadline_ms)) {
      return Fail(close_seen_ ? "the server closed the connection in the middle of the reply"
                              : wait_failure_);
    }
  }
}

bool THTTPSend::Fill(int64_t deadline_ms) {
  close_seen_ = false;
  for (;;) {
    if (aborted_) {
      wait_failure_ = "the transfer was aborted";
      return false;
    }
    std::string packet = sock_.RecvPacket(0);
    int error = sock_.LastError();
    if (error == 0 && !packet.empty()) {
      bytes_received_ += packet.size();
      in_ += packet;
      if (OnStatus) OnStatus(this, packet.size());
      return true;
    }
    if (error == kSockErrClosed) {
      close_seen_ = true;
      wait_failure_ = "the server closed the connection";
      return false;
    }
    if (error != 0 && error != kSockErrTimedOut) {
      wait_failure_ = sock_.LastErrorDesc();
      return false;
    }
    int64_t left = deadline_ms - NowMs();
    if (left <= 0) {
      wait_failure_ = "no answer from the server within " + std::to_string(Timeout) + " ms";
      return false;
    }
    sock_.CanRead(static_cast<int>(std::min<int64_t>(left, kAbortSliceMs)));
  }
}

}  // namespace tessavo
