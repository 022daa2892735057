#include "publish/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace tessavo {
namespace {

constexpr size_t kMaxPacket = 65536;
constexpr size_t kMaxPurgeBytes = 1 << 20;

bool IsAnyAddress(const std::string& ip) {
  return ip.empty() || ip == "0.0.0.0" || ip == "::";
}

// Resolves host and port into one socket address, IPv4 first when both exist.
bool Resolve(const std::string& host, const std::string& port, bool passive, bool prefer_ip4,
             sockaddr_storage& out, socklen_t& out_len) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = passive ? AI_PASSIVE : 0;
  addrinfo* list = nullptr;
  const char* node = host.empty() ? nullptr : host.c_str();
  std::string service = port.empty() ? "0" : port;
  if (getaddrinfo(node, service.c_str(), &hints, &list) != 0 || list == nullptr) {
    return false;
  }
  addrinfo* pick = list;
  if (prefer_ip4) {
    for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
      if (a->ai_family == AF_INET) {
        pick = a;
        break;
      }
    }
  }
  std::memcpy(&out, pick->ai_addr, pick->ai_addrlen);
  out_len = pick->ai_addrlen;
  freeaddrinfo(list);
  return true;
}

std::string NumericHost(const sockaddr_storage& addr, socklen_t len) {
  char host[NI_MAXHOST] = {0};
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&addr), len, host, sizeof host, nullptr, 0,
                  NI_NUMERICHOST) != 0) {
    return "";
  }
  std::string text = host;
  // An IPv4 peer seen through an IPv6 socket: show it as the IPv4 address.
  if (text.rfind("::ffff:", 0) == 0 && text.find('.') != std::string::npos) {
    text = text.substr(7);
  }
  return text;
}

int PortOf(const sockaddr_storage& addr) {
  if (addr.ss_family == AF_INET) {
    return ntohs(reinterpret_cast<const sockaddr_in*>(&addr)->sin_port);
  }
  if (addr.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&addr)->sin6_port);
  }
  return 0;
}

}  // namespace

TTCPBlockSocket::TTCPBlockSocket() = default;

TTCPBlockSocket::~TTCPBlockSocket() { CloseSocket(); }

void TTCPBlockSocket::SetError(int code) {
  error_ = code;
  switch (code) {
    case 0: error_text_.clear(); break;
    case kSockErrClosed: error_text_ = "Connection reset by peer"; break;
    case kSockErrLineTooLong: error_text_ = "Line too long"; break;
    case kSockErrTimedOut: error_text_ = "Connection timed out"; break;
    case kSockErrBadAddress: error_text_ = "Cannot resolve address"; break;
    case kSockErrFamily: error_text_ = "Address family not supported"; break;
    default: error_text_ = std::strerror(code); break;
  }
}

void TTCPBlockSocket::SetSystemError(int err) {
  // A reset or broken connection and a system time-out carry the socket's own numbers.
  if (err == ECONNRESET || err == EPIPE) {
    SetError(kSockErrClosed);
  } else if (err == ETIMEDOUT || err == EAGAIN || err == EWOULDBLOCK) {
    SetError(kSockErrTimedOut);
  } else {
    SetError(err == 0 ? EIO : err);
  }
}

bool TTCPBlockSocket::CreateSocket(int family) {
  if (fd_ >= 0) {
    if (family_ != family) {
      SetError(kSockErrFamily);
      return false;
    }
    return true;
  }
  fd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    SetSystemError(errno);
    return false;
  }
  family_ = family;
  int one = 1;
  setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (SendTimeout > 0) {
    timeval tv{SendTimeout / 1000, (SendTimeout % 1000) * 1000};
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  }
  return true;
}

void TTCPBlockSocket::Bind(const std::string& ip, const std::string& port) {
  ResetLastError();
  if (fd_ < 0 && IsAnyAddress(ip) && (port.empty() || port == "0")) {
    return;  // the socket is created by Connect or Listen with the right family
  }
  sockaddr_storage addr{};
  socklen_t len = 0;
  if (!Resolve(IsAnyAddress(ip) ? (ip == "::" ? "::" : "0.0.0.0") : ip, port, true, PreferIP4,
               addr, len)) {
    SetError(kSockErrBadAddress);
    return;
  }
  if (!CreateSocket(addr.ss_family)) return;
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
    SetSystemError(errno);
  }
}

void TTCPBlockSocket::Connect(const std::string& host, const std::string& port) {
  ResetLastError();
  buffer_.clear();
  buffer_pos_ = 0;
  last_cr_ = last_lf_ = false;
  sockaddr_storage addr{};
  socklen_t len = 0;
  if (!Resolve(host, port, false, PreferIP4, addr, len)) {
    SetError(kSockErrBadAddress);
    return;
  }
  if (!CreateSocket(addr.ss_family)) return;
  int rc;
  do {
    rc = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), len);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    SetSystemError(errno);
    return;
  }
  int one = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void TTCPBlockSocket::Listen() {
  ResetLastError();
  if (fd_ < 0 && !CreateSocket(AF_INET)) return;
  if (::listen(fd_, SOMAXCONN) != 0) SetSystemError(errno);
}

int TTCPBlockSocket::Accept() {
  ResetLastError();
  int handle;
  do {
    handle = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  } while (handle < 0 && errno == EINTR);
  if (handle < 0) SetSystemError(errno);
  return handle;
}

void TTCPBlockSocket::TakeOver(int handle) {
  CloseSocket();
  fd_ = handle;
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  family_ = getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0 ? addr.ss_family
                                                                             : AF_INET;
  buffer_.clear();
  buffer_pos_ = 0;
  last_cr_ = last_lf_ = false;
  if (SendTimeout > 0) {
    timeval tv{SendTimeout / 1000, (SendTimeout % 1000) * 1000};
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  }
  ResetLastError();
}

void TTCPBlockSocket::CloseSocket() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  family_ = 0;
}

std::string TTCPBlockSocket::GetLocalSinIP() const {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (fd_ < 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return "";
  return NumericHost(addr, len);
}

int TTCPBlockSocket::GetLocalSinPort() const {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (fd_ < 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
  return PortOf(addr);
}

std::string TTCPBlockSocket::GetRemoteSinIP() const {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (fd_ < 0 || getpeername(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return "";
  return NumericHost(addr, len);
}

int TTCPBlockSocket::GetRemoteSinPort() const {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (fd_ < 0 || getpeername(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
  return PortOf(addr);
}

bool TTCPBlockSocket::IsIPv6() const { return family_ == AF_INET6; }

void TTCPBlockSocket::SetLinger(bool enable, int milliseconds) {
  if (fd_ < 0) return;
  linger l{};
  l.l_onoff = enable ? 1 : 0;
  l.l_linger = milliseconds <= 0 ? 0 : (milliseconds + 999) / 1000;
  if (enable && l.l_linger == 0) l.l_linger = 1;
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

int TTCPBlockSocket::WaitingData() const {
  if (fd_ < 0) return 0;
  int n = 0;
  if (ioctl(fd_, FIONREAD, &n) != 0) return 0;
  return n > static_cast<int>(kMaxPacket) ? static_cast<int>(kMaxPacket) : n;
}

bool TTCPBlockSocket::CanRead(int milliseconds) {
  if (fd_ < 0) {
    SetError(EBADF);
    return false;
  }
  pollfd p{fd_, POLLIN, 0};
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    int wait = milliseconds;
    if (milliseconds >= 0) {
      auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - start)
                       .count();
      wait = spent >= milliseconds ? 0 : milliseconds - static_cast<int>(spent);
    }
    int rc = ::poll(&p, 1, wait);
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0) {
      SetSystemError(errno);
      return false;
    }
    return rc > 0;
  }
}

void TTCPBlockSocket::SendString(const std::string& data) {
  ResetLastError();
  if (StopFlag) return;
  if (fd_ < 0) {
    SetError(EBADF);
    return;
  }
  size_t chunk = SendMaxChunk == 0 ? kMaxPacket : SendMaxChunk;
  size_t done = 0;
  while (done < data.size()) {
    size_t piece = std::min(chunk, data.size() - done);
    ssize_t n = ::send(fd_, data.data() + done, piece, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetSystemError(errno);
      return;
    }
    done += static_cast<size_t>(n);
  }
}

void TTCPBlockSocket::SendStreamRaw(std::istream& stream) {
  ResetLastError();
  size_t chunk = SendMaxChunk == 0 ? kMaxPacket : SendMaxChunk;
  std::vector<char> buf(chunk);
  for (;;) {
    if (StopFlag) return;
    stream.read(buf.data(), static_cast<std::streamsize>(chunk));
    std::streamsize got = stream.gcount();
    if (got <= 0) return;
    SendString(std::string(buf.data(), static_cast<size_t>(got)));
    if (error_ != 0) return;
  }
}

std::string TTCPBlockSocket::DropLineEndPartner(std::string packet) {
  if (ConvertLineEnd && !packet.empty()) {
    if (last_cr_ && packet[0] == '\n') packet.erase(0, 1);
    else if (last_lf_ && packet[0] == '\r') packet.erase(0, 1);
  }
  last_cr_ = last_lf_ = false;
  return packet;
}

std::string TTCPBlockSocket::RecvPacket(int timeout) {
  ResetLastError();
  if (buffer_pos_ < buffer_.size()) {
    std::string out = buffer_pos_ == 0 ? std::move(buffer_) : buffer_.substr(buffer_pos_);
    buffer_.clear();
    buffer_pos_ = 0;
    return DropLineEndPartner(std::move(out));
  }
  if (fd_ < 0) {
    SetError(EBADF);
    return "";
  }
  size_t want = static_cast<size_t>(WaitingData());
  if (want == 0) {
    if (!CanRead(timeout)) {
      if (error_ == 0) SetError(kSockErrTimedOut);
      return "";
    }
    want = static_cast<size_t>(WaitingData());
    if (want == 0) want = kMaxPacket;  // readable with nothing waiting: recv tells
  }
  std::string out(want, '\0');
  ssize_t n;
  do {
    n = ::recv(fd_, out.data(), want, 0);
  } while (n < 0 && errno == EINTR);
  if (n == 0) {
    SetError(kSockErrClosed);
    return "";
  }
  if (n < 0) {
    SetSystemError(errno);
    return "";
  }
  out.resize(static_cast<size_t>(n));
  return DropLineEndPartner(std::move(out));
}

std::optional<std::string> TTCPBlockSocket::TakeBufferedLine() {
  if (buffer_pos_ >= buffer_.size()) return std::nullopt;
  size_t start = buffer_pos_;
  if (ConvertLineEnd &&
      ((last_cr_ && buffer_[start] == '\n') || (last_lf_ && buffer_[start] == '\r'))) {
    ++start;  // the partner of the terminator that ended the line before
  }
  const size_t pos =
      ConvertLineEnd ? buffer_.find_first_of("\r\n", start) : buffer_.find("\r\n", start);
  // A terminator at the very end (its partner may follow) and a line over the limit are for
  // RecvString's general path to settle.
  if (pos == std::string::npos || pos + 1 >= buffer_.size()) return std::nullopt;
  if (MaxLineLength != 0 && pos - start > MaxLineLength) return std::nullopt;
  size_t term_len = 2;
  if (ConvertLineEnd) {
    const char c = buffer_[pos], next = buffer_[pos + 1];
    term_len = (c == '\r' && next == '\n') || (c == '\n' && next == '\r') ? 2 : 1;
  }
  last_cr_ = last_lf_ = false;
  std::string line = buffer_.substr(start, pos - start);
  buffer_pos_ = pos + term_len;
  return line;
}

std::string TTCPBlockSocket::RecvString(int timeout) {
  ResetLastError();
  // Lines are taken from the buffer in place: moving the rest of a large packet along for
  // every line would make a reply of many lines cost its length squared.
  if (std::optional<std::string> line = TakeBufferedLine()) return std::move(*line);
  std::string text;
  auto start = std::chrono::steady_clock::now();
  int limit = timeout;
  for (;;) {
    std::string packet = RecvPacket(limit);
    if (error_ != 0) {
      // A time-out keeps the partial line for a later read; other errors drop it.
      if (error_ == kSockErrTimedOut) {
        buffer_ = text + buffer_.substr(buffer_pos_);
        buffer_pos_ = 0;
      }
      return "";
    }
    text += packet;
    size_t pos = std::string::npos;
    size_t term_len = 0;
    if (ConvertLineEnd) {
      pos = text.find_first_of("\r\n");
      if (pos != std::string::npos) {
        char c = text[pos];
        if (pos + 1 < text.size()) {
          char next = text[pos + 1];
          term_len = ((c == '\r' && next == '\n') || (c == '\n' && next == '\r')) ? 2 : 1;
        } else {
          // At the very end: a lone terminator whose partner may open the next packet.
          term_len = 1;
          last_cr_ = c == '\r';
          last_lf_ = c == '\n';
        }
      }
    } else {
      pos = text.find("\r\n");
      if (pos != std::string::npos) term_len = 2;
    }
    size_t line_len = pos == std::string::npos ? text.size() : pos;
    if (MaxLineLength != 0 && line_len > MaxLineLength) {
      last_cr_ = last_lf_ = false;
      SetError(kSockErrLineTooLong);
      return "";
    }
    if (pos != std::string::npos) {
      buffer_ = text.substr(pos + term_len);
      buffer_pos_ = 0;
      text.resize(pos);
      return text;
    }
    if (!InterPacketTimeout && timeout >= 0) {
      auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - start)
                       .count();
      if (spent >= timeout) {
        buffer_ = std::move(text);
        buffer_pos_ = 0;
        SetError(kSockErrTimedOut);
        return "";
      }
      limit = timeout - static_cast<int>(spent);
    }
  }
}

void TTCPBlockSocket::RecvStreamRaw(std::ostream& stream, int timeout) {
  for (;;) {
    std::string packet = RecvPacket(timeout);
    if (error_ != 0) return;
    stream.write(packet.data(), static_cast<std::streamsize>(packet.size()));
  }
}

void TTCPBlockSocket::Purge() {
  buffer_.clear();
  buffer_pos_ = 0;
  if (fd_ >= 0) {
    // A peer that never stops sending would keep an unbounded loop here for ever; what
    // comes after kMaxPurgeBytes is left for the next read to choke on.
    char buf[4096];
    for (size_t dropped = 0; dropped < kMaxPurgeBytes;) {
      ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
      if (n <= 0) break;
      dropped += static_cast<size_t>(n);
    }
  }
  ResetLastError();
}

}  // namespace tessavo
