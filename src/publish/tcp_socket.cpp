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

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

namespace tessavo {
namespace {

constexpr size_t kMaxPacket = 65536;
constexpr size_t kMaxPurgeBytes = 1 << 20;

bool IsAnyAddress(const std::string& ip) { return ip.empty() || ip == "0.0.0.0" || ip == "::"; }

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

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int MsUntil(int64_t deadline) {
  if (deadline < 0) return -1;
  int64_t left = deadline - NowMs();
  return left < 0 ? 0 : static_cast<int>(left);
}

void SetBlocking(int fd, bool blocking) {
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0) return;
  fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
}

// --- TLS ---------------------------------------------------------------------------------

// The socket layer under TLS: plain send and recv on the handle, with MSG_NOSIGNAL so that
// a peer gone away is an error code and never a SIGPIPE that ends the program.
int SocketFd(BIO* bio) { return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio))); }

bool WouldBlock(int err) { return err == EAGAIN || err == EWOULDBLOCK || err == EINTR; }

int BioWrite(BIO* bio, const char* data, int len) {
  BIO_clear_retry_flags(bio);
  ssize_t n = ::send(SocketFd(bio), data, static_cast<size_t>(len), MSG_NOSIGNAL);
  if (n < 0 && WouldBlock(errno)) BIO_set_retry_write(bio);
  return static_cast<int>(n);
}

int BioRead(BIO* bio, char* data, int len) {
  BIO_clear_retry_flags(bio);
  ssize_t n = ::recv(SocketFd(bio), data, static_cast<size_t>(len), 0);
  if (n < 0 && WouldBlock(errno)) BIO_set_retry_read(bio);
  return static_cast<int>(n);
}

long BioCtrl(BIO* /*bio*/, int cmd, long /*num*/, void* /*ptr*/) {
  return cmd == BIO_CTRL_FLUSH ? 1 : 0;
}

int BioCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

BIO_METHOD* SocketBioMethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "tessavo socket");
    BIO_meth_set_write(m, BioWrite);
    BIO_meth_set_read(m, BioRead);
    BIO_meth_set_ctrl(m, BioCtrl);
    BIO_meth_set_create(m, BioCreate);
    return m;
  }();
  return method;
}

// One client context for the process: TLS 1.2 or newer, the system's trust store (or
// SSL_CERT_FILE / SSL_CERT_DIR when set). Verification runs in every handshake; whether a
// failed one ends the connection is the caller's decision.
SSL_CTX* ClientContext() {
  static SSL_CTX* ctx = [] {
    SSL_CTX* c = SSL_CTX_new(TLS_client_method());
    if (c == nullptr) return c;
    SSL_CTX_set_min_proto_version(c, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(c);
    SSL_CTX_set_verify(c, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_mode(c, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // A server that ends a transfer without close_notify has not lost anything the
    // FTP reply would not tell; the reply decides.
    SSL_CTX_set_options(c, SSL_OP_IGNORE_UNEXPECTED_EOF);
    return c;
  }();
  return ctx;
}

bool IsIpLiteral(const std::string& host) {
  in6_addr a6;
  in_addr a4;
  return inet_pton(AF_INET, host.c_str(), &a4) == 1 || inet_pton(AF_INET6, host.c_str(), &a6) == 1;
}

std::string Sha256Fingerprint(X509* cert) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (cert == nullptr || X509_digest(cert, EVP_sha256(), md, &len) != 1) return "";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned int i = 0; i < len; ++i) {
    if (i > 0) out += ':';
    out += kHex[md[i] >> 4];
    out += kHex[md[i] & 0xF];
  }
  return out;
}

}  // namespace

TTCPBlockSocket::TTCPBlockSocket() = default;

TTCPBlockSocket::~TTCPBlockSocket() { CloseSocket(); }

void TTCPBlockSocket::SetError(int code) {
  error_ = code;
  switch (code) {
    case 0:
      error_text_.clear();
      break;
    case kSockErrClosed:
      error_text_ = "Connection reset by peer";
      break;
    case kSockErrLineTooLong:
      error_text_ = "Line too long";
      break;
    case kSockErrTimedOut:
      error_text_ = "Connection timed out";
      break;
    case kSockErrBadAddress:
      error_text_ = "Cannot resolve address";
      break;
    case kSockErrFamily:
      error_text_ = "Address family not supported";
      break;
    default:
      error_text_ = std::strerror(code);
      break;
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
  if (!Resolve(IsAnyAddress(ip) ? (ip == "::" ? "::" : "0.0.0.0") : ip, port, true, PreferIP4, addr,
               len)) {
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
  family_ =
      getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0 ? addr.ss_family : AF_INET;
  buffer_.clear();
  buffer_pos_ = 0;
  last_cr_ = last_lf_ = false;
  if (SendTimeout > 0) {
    timeval tv{SendTimeout / 1000, (SendTimeout % 1000) * 1000};
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  }
  ResetLastError();
}

void TTCPBlockSocket::SetTlsError(const std::string& what) {
  error_ = kSockErrTls;
  error_text_ = what;
  unsigned long e = ERR_get_error();
  if (e != 0) {
    char buf[256];
    ERR_error_string_n(e, buf, sizeof buf);
    const char* reason = ERR_reason_error_string(e);
    error_text_ += std::string(": ") + (reason != nullptr ? reason : buf);
  }
  ERR_clear_error();
}

void TTCPBlockSocket::FreeTls() {
  if (ssl_ == nullptr) return;
  SSL_free(ssl_);
  ssl_ = nullptr;
  if (fd_ >= 0) SetBlocking(fd_, true);
}

bool TTCPBlockSocket::WaitForTls(int ssl_error, int64_t deadline) {
  const int saved_errno = errno;
  short events = 0;
  switch (ssl_error) {
    case SSL_ERROR_WANT_READ:
      events = POLLIN;
      break;
    case SSL_ERROR_WANT_WRITE:
      events = POLLOUT;
      break;
    case SSL_ERROR_ZERO_RETURN:
      SetError(kSockErrClosed);
      return false;
    case SSL_ERROR_SYSCALL:
      ERR_clear_error();
      if (saved_errno == 0 || saved_errno == ECONNRESET || saved_errno == EPIPE) {
        SetError(kSockErrClosed);
      } else {
        SetSystemError(saved_errno);
      }
      return false;
    default:
      SetTlsError("TLS failed");
      return false;
  }
  pollfd p{fd_, events, 0};
  for (;;) {
    int rc = ::poll(&p, 1, MsUntil(deadline));
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0) {
      SetSystemError(errno);
      return false;
    }
    if (rc == 0) {
      SetError(kSockErrTimedOut);
      return false;
    }
    return true;
  }
}

bool TTCPBlockSocket::SSLDoConnect(const std::string& host, int timeout,
                                   const TTCPBlockSocket* resume_from) {
  ResetLastError();
  peer_ = TlsPeer{};
  if (fd_ < 0) {
    SetError(EBADF);
    return false;
  }
  FreeTls();
  ERR_clear_error();
  SSL_CTX* ctx = ClientContext();
  if (ctx == nullptr || (ssl_ = SSL_new(ctx)) == nullptr) {
    SetTlsError("TLS is not available");
    return false;
  }
  BIO* bio = BIO_new(SocketBioMethod());
  BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd_)));
  SSL_set_bio(ssl_, bio, bio);
  if (IsIpLiteral(host)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl_, host.c_str());
    SSL_set1_host(ssl_, host.c_str());
  }
  if (resume_from != nullptr && resume_from->ssl_ != nullptr) {
    if (SSL_SESSION* session = SSL_get1_session(resume_from->ssl_)) {
      SSL_set_session(ssl_, session);
      SSL_SESSION_free(session);
    }
  }
  SetBlocking(fd_, false);
  const int64_t deadline = timeout < 0 ? -1 : NowMs() + timeout;
  for (;;) {
    ERR_clear_error();
    errno = 0;
    int rc = SSL_connect(ssl_);
    if (rc == 1) break;
    int e = SSL_get_error(ssl_, rc);
    if ((e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) && WaitForTls(e, deadline)) {
      continue;
    }
    if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) WaitForTls(e, deadline);
    std::string why;
    if (error_ == kSockErrTls) {
      const size_t colon = error_text_.find(": ");
      why = colon == std::string::npos ? "" : error_text_.substr(colon + 2);
    } else if (error_ == kSockErrClosed) {
      why = "the server closed the connection";
    } else if (error_ == kSockErrTimedOut) {
      why = "no answer in time";
    } else {
      why = error_text_;
    }
    FreeTls();
    error_ = kSockErrTls;
    error_text_ = "TLS handshake failed" + (why.empty() ? std::string() : ": " + why);
    return false;
  }
  X509* cert = SSL_get1_peer_certificate(ssl_);
  const long verify = SSL_get_verify_result(ssl_);
  peer_.verified = cert != nullptr && verify == X509_V_OK;
  peer_.verify_error = cert == nullptr
                           ? "no certificate"
                           : (verify == X509_V_OK ? "" : X509_verify_cert_error_string(verify));
  peer_.fingerprint = Sha256Fingerprint(cert);
  X509_free(cert);
  peer_.version = SSL_get_version(ssl_);
  peer_.cipher = SSL_get_cipher_name(ssl_);
  peer_.session_reused = SSL_session_reused(ssl_) == 1;
  return true;
}

void TTCPBlockSocket::CloseGracefully(int timeout) {
  if (fd_ >= 0 && ssl_ != nullptr) {
    const int64_t deadline = timeout < 0 ? -1 : NowMs() + timeout;
    ERR_clear_error();
    int rc = SSL_shutdown(ssl_);
    if (rc < 0 && SSL_get_error(ssl_, rc) == SSL_ERROR_WANT_WRITE &&
        WaitForTls(SSL_ERROR_WANT_WRITE, deadline)) {
      SSL_shutdown(ssl_);
    }
    ERR_clear_error();
    FreeTls();
    ::shutdown(fd_, SHUT_WR);
    pollfd p{fd_, POLLIN, 0};
    char buf[4096];
    for (size_t dropped = 0; dropped < kMaxPurgeBytes;) {
      int rc2 = ::poll(&p, 1, MsUntil(deadline));
      if (rc2 < 0 && errno == EINTR) continue;
      if (rc2 <= 0) break;
      ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) break;
      dropped += static_cast<size_t>(n);
    }
  }
  CloseSocket();
}

void TTCPBlockSocket::CloseSocket() {
  if (ssl_ != nullptr) {
    // One try at close_notify; a peer that is gone or slow does not hold the close up.
    ERR_clear_error();
    SSL_shutdown(ssl_);
    ERR_clear_error();
    FreeTls();
  }
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
  if (ssl_ != nullptr) return SSL_pending(ssl_);
  int n = 0;
  if (ioctl(fd_, FIONREAD, &n) != 0) return 0;
  return n > static_cast<int>(kMaxPacket) ? static_cast<int>(kMaxPacket) : n;
}

bool TTCPBlockSocket::CanRead(int milliseconds) {
  if (fd_ < 0) {
    SetError(EBADF);
    return false;
  }
  if (ssl_ != nullptr && SSL_pending(ssl_) > 0) return true;
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
  if (ssl_ != nullptr) {
    SendTls(data);
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

void TTCPBlockSocket::SendTls(const std::string& data) {
  size_t chunk = SendMaxChunk == 0 ? kMaxPacket : SendMaxChunk;
  const int64_t deadline = SendTimeout > 0 ? NowMs() + SendTimeout : -1;
  size_t done = 0;
  while (done < data.size()) {
    const int piece = static_cast<int>(std::min(chunk, data.size() - done));
    ERR_clear_error();
    errno = 0;
    int n = SSL_write(ssl_, data.data() + done, piece);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (!WaitForTls(SSL_get_error(ssl_, n), deadline)) return;
  }
}

std::string TTCPBlockSocket::RecvTls(int timeout) {
  const int64_t deadline = timeout < 0 ? -1 : NowMs() + timeout;
  std::string out(kMaxPacket, '\0');
  for (;;) {
    ERR_clear_error();
    errno = 0;
    int n = SSL_read(ssl_, out.data(), static_cast<int>(out.size()));
    if (n > 0) {
      out.resize(static_cast<size_t>(n));
      return out;
    }
    if (!WaitForTls(SSL_get_error(ssl_, n), deadline)) return "";
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
    if (last_cr_ && packet[0] == '\n')
      packet.erase(0, 1);
    else if (last_lf_ && packet[0] == '\r')
      packet.erase(0, 1);
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
  if (ssl_ != nullptr) {
    std::string packet = RecvTls(timeout);
    if (error_ != 0) return "";
    return DropLineEndPartner(std::move(packet));
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
  if (fd_ >= 0 && ssl_ != nullptr) {
    // The socket is non-blocking under TLS: read what has arrived, whole records only.
    char buf[4096];
    for (size_t dropped = 0; dropped < kMaxPurgeBytes;) {
      ERR_clear_error();
      int n = SSL_read(ssl_, buf, sizeof buf);
      if (n <= 0) break;
      dropped += static_cast<size_t>(n);
    }
    ERR_clear_error();
  } else if (fd_ >= 0) {
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
