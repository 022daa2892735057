// TTCPBlockSocket: one TCP socket used through blocking calls with explicit time limits,
// line reads with a carry-over buffer, and error codes instead of exceptions.
//
// Every operation sets LastError(): 0 on success, otherwise the system's errno value or
// one of the socket's own codes below, which callers test by number. Nothing here throws.
// The FTP client uses one socket for its control connection and one for its data
// connections.
//
// A connected socket can be switched to TLS (SSLDoConnect, as the client): from then on
// the same line and block operations read and write through TLS, and closing sends
// close_notify. The handshake checks the peer's certificate chain and host name against
// the system's trust store (or the file named by SSL_CERT_FILE) but does not refuse a
// certificate that fails: it reports the outcome in Peer(), and the caller decides
// whether to go on (a person may trust a self-signed certificate for one host).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>

struct ssl_st;

namespace tessavo {

// The socket's own error codes (the numbers callers test).
constexpr int kSockErrClosed = 10054;       // the peer closed the connection
constexpr int kSockErrLineTooLong = 10055;  // a line read exceeded MaxLineLength
constexpr int kSockErrTimedOut = 10060;     // a wait passed its time limit
constexpr int kSockErrBadAddress = 10049;   // a name or port could not be resolved
constexpr int kSockErrFamily = 10047;       // address family differs from the socket's
constexpr int kSockErrTls = 10110;          // TLS handshake or record failed

// What a TLS handshake found out about the peer.
struct TlsPeer {
  bool verified = false;     // chain and host name check out against the trust store
  std::string verify_error;  // why not, when not verified
  std::string fingerprint;   // SHA-256 of the peer's certificate, "AB:CD:..." (32 pairs)
  std::string version;       // "TLSv1.3"
  std::string cipher;        // "TLS_AES_256_GCM_SHA384"
  bool session_reused = false;
};

class TTCPBlockSocket {
 public:
  TTCPBlockSocket();
  ~TTCPBlockSocket();
  TTCPBlockSocket(const TTCPBlockSocket&) = delete;
  TTCPBlockSocket& operator=(const TTCPBlockSocket&) = delete;

  // Binds to a local address and port; "0.0.0.0" (or "") and "0" mean any. Binding to the
  // any-address with port 0 creates no socket yet: connect then creates one of the
  // target's family, so an IPv6 target still works after an any-bind.
  void Bind(const std::string& ip, const std::string& port);
  // Resolves `host` (name or numeric address, IPv4 preferred) and `port` (number or
  // service name such as "ftp"), creates the socket if needed and connects. Blocking,
  // limited only by the system's own connect time-out. Clears the receive buffer and the
  // remembered line end.
  void Connect(const std::string& host, const std::string& port);
  void Listen();
  // Accepts one incoming connection and returns its handle (-1 on error).
  int Accept();
  // Makes this object use `handle` (from Accept) instead of its own, which is closed.
  void TakeOver(int handle);
  // Closes the handle if valid (in TLS mode after sending close_notify, without waiting for
  // the peer's). Safe to call twice.
  void CloseSocket();
  bool IsOpen() const { return fd_ >= 0; }

  // --- TLS --------------------------------------------------------------------------------
  // Runs the TLS handshake as the client on the connected socket, each wait bounded by
  // `timeout` ms. `host` is sent as the server name and checked against the certificate.
  // When `resume_from` is a socket in TLS mode, its session is offered for resumption (the
  // data connections of FTPS must reuse the control connection's session). False with
  // kSockErrTls (the reason in LastErrorDesc) when the handshake fails; the socket is then
  // left connected without TLS for the caller to close.
  bool SSLDoConnect(const std::string& host, int timeout,
                    const TTCPBlockSocket* resume_from = nullptr);
  bool IsTls() const { return ssl_ != nullptr; }
  // The outcome of the last handshake.
  const TlsPeer& Peer() const { return peer_; }
  // Ends a TLS connection completely before the handle is closed: sends close_notify, ends
  // the sending direction and reads until the peer closes or `timeout` ms pass, so that
  // nothing the peer still sends (a session ticket, its own close_notify) turns the close
  // into a reset that could cost the peer the last bytes it has not read yet. Then closes.
  void CloseGracefully(int timeout);

  // Numeric local and remote address and port of the connected or bound socket.
  std::string GetLocalSinIP() const;
  int GetLocalSinPort() const;
  std::string GetRemoteSinIP() const;
  int GetRemoteSinPort() const;
  // True when the socket runs over IPv6.
  bool IsIPv6() const;

  // Sets SO_LINGER; the time is given in milliseconds and applied in whole seconds,
  // rounded up, so that a linger never turns into an abortive close that drops data.
  void SetLinger(bool enable, int milliseconds);
  // Bytes the system holds unread, capped at 65536.
  int WaitingData() const;
  // Waits until data or a closed connection can be read; -1 waits without limit.
  // False on time-out or error.
  bool CanRead(int milliseconds);

  // Sends every byte in pieces of at most SendMaxChunk; nothing when StopFlag is set;
  // stops at the first error.
  void SendString(const std::string& data);
  // Sends `stream` from its current position to its end in pieces of at most
  // SendMaxChunk; stops at the first error, when StopFlag is set, or when the stream
  // yields nothing.
  void SendStreamRaw(std::istream& stream);

  // The receive buffer if it holds anything, else what the system holds, else waits up
  // to `timeout` ms for a packet. The peer's close gives kSockErrClosed, the time limit
  // kSockErrTimedOut; the result is then empty.
  std::string RecvPacket(int timeout);
  // Reads one line ending in CR LF (with ConvertLineEnd: CR LF, LF CR, CR or LF) and
  // returns it without its terminator; whatever follows stays buffered for the next
  // read. Empty on error.
  std::string RecvString(int timeout);
  // Writes every packet to `stream` until an error ends the loop (normally the peer's
  // close, which leaves kSockErrClosed).
  void RecvStreamRaw(std::ostream& stream, int timeout);
  // Throws away the receive buffer and whatever the system holds, without waiting (at
  // most 1 MB of it, so that a peer that never stops sending cannot hold it up), then
  // clears the error code.
  void Purge();

  int LastError() const { return error_; }
  const std::string& LastErrorDesc() const { return error_text_; }
  void ResetLastError() { SetError(0); }

  bool ConvertLineEnd = false;
  size_t MaxLineLength = 0;        // 0: no limit
  bool InterPacketTimeout = true;  // a line read's limit applies to each wait
  size_t SendMaxChunk = 65536;
  std::atomic<bool> StopFlag{false};
  bool PreferIP4 = true;
  // Limit of each blocking send in ms; 0 waits as long as the system lets it.
  int SendTimeout = 0;

 private:
  void SetError(int code);
  void SetSystemError(int err);
  void SetTlsError(const std::string& what);
  bool CreateSocket(int family);
  std::string DropLineEndPartner(std::string packet);
  // Waits for the TLS layer's wish after a call that could not finish (`ssl_error` is
  // SSL_get_error's answer) for at most `deadline` (steady ms, < 0 none); false with the
  // error code set when the wait fails or the connection broke.
  bool WaitForTls(int ssl_error, int64_t deadline);
  void SendTls(const std::string& data);
  std::string RecvTls(int timeout);
  void FreeTls();
  // The next line when it lies whole in the buffer; nothing (and no change) otherwise.
  std::optional<std::string> TakeBufferedLine();

  int fd_ = -1;
  int family_ = 0;
  ssl_st* ssl_ = nullptr;
  TlsPeer peer_;
  int error_ = 0;
  std::string error_text_;
  std::string buffer_;  // received and not read yet: the bytes from buffer_pos_ on
  size_t buffer_pos_ = 0;
  bool last_cr_ = false;
  bool last_lf_ = false;
};

}  // namespace tessavo
