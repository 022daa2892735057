// THTTPSend: a blocking HTTP/1.x client for plain "http" addresses, on the same TCP socket
// as the FTP client.
//
// One call, HTTPMethod, sends a request without a body (GET or HEAD) and reads the whole
// reply: the status line, the header lines, and the body into Document, which is left
// positioned at its start. Every network wait is bounded by Timeout. Nothing throws on
// network or server errors: HTTPMethod returns false, ResultCode keeps the reply's code (0
// when no status line was read) and FailReason says what went wrong.
//
// The request is the request line (method, blank, path, " HTTP/", Protocol), "Host: " with
// ":port" only when the port is not 80, "User-Agent: ", and an empty line. The body of the
// reply is read by its Content-Length, by chunks (Transfer-Encoding: chunked, extensions
// after ";" ignored), or until the server closes; HEAD requests and the replies 204 and 304
// have none, and 1xx interim replies are skipped. Header lines are matched in upper case.
// The connection stays open for the next request only when Protocol is "1.1", KeepAlive is
// on and the reply carries no "Connection: close"; a request to the same host and port then
// goes over it (once more over a fresh connection when the server had closed it).
//
// Guarding against hostile servers and bad addresses:
// - The status line and headers may hold at most kMaxHttpHeaderBytes and must arrive within
//   Timeout as a whole; the body may hold at most MaxDocumentSize bytes. A body that would
//   pass the limit (announced or real) fails the transfer and leaves Document empty.
// - A Content-Length that is not a plain decimal number, two different ones, a chunk size
//   that is not hexadecimal, and chunk data not followed by a line end fail the transfer.
//   A reply with both Content-Length and chunked is read by its chunks.
// - A server that closes before the announced length or the last chunk fails the transfer;
//   Document then holds what arrived. Bytes beyond the announced length are not taken and
//   the connection is closed rather than kept.
// - Header lines without a colon are ignored. An address holding a control character or a
//   blank is never sent.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "publish/net_client.h"
#include "publish/tcp_socket.h"

namespace tessavo {

constexpr const char* kHttpUserAgent = "Mozilla/4.0 (compatible; Tessavo)";
// Limits on what a server may send (see above). The document limit is far above any update
// package (a few megabytes).
constexpr size_t kMaxHttpHeaderBytes = 256 * 1024;
constexpr int64_t kMaxHttpDocumentBytes = int64_t{64} << 20;

// The parts of an absolute "http" address.
struct HttpAddress {
  std::string host;  // without the brackets of an IPv6 literal
  std::string port;  // "80" when the address names none
  std::string path;  // from the first "/" on, with the query; "/" when empty
};

// Splits "http://[user@]host[:port][/path][?query][#fragment]" (scheme in any letter case;
// an IPv6 literal in brackets). False for another scheme, an empty host, a port that is
// not a number from 1 to 65535, or an address holding a control character or a blank.
bool ParseHttpAddress(const std::string& url, HttpAddress& out);

class THTTPSend;
// Status notification: called for every block the socket receives from the network (the
// status line and headers included), with the block's size in bytes.
using THTTPStatus = std::function<void(THTTPSend* sender, size_t bytes)>;

class THTTPSend : public TNetClient {
 public:
  // Port "80", Timeout 90000 ms, protocol "1.0", keep-alive on, the user agent above, and
  // socket pieces of 65536 bytes each way.
  THTTPSend();
  ~THTTPSend() override;
  THTTPSend(const THTTPSend&) = delete;
  THTTPSend& operator=(const THTTPSend&) = delete;

  // --- Settings ---------------------------------------------------------------------------
  std::string Protocol = "1.0";  // "1.0" or "1.1"
  bool KeepAlive = true;         // off: "Connection: close" is asked for on 1.1
  std::string UserAgent = kHttpUserAgent;
  int64_t MaxDocumentSize = kMaxHttpDocumentBytes;
  THTTPStatus OnStatus;

  // --- Results of the last request -------------------------------------------------------
  int ResultCode = 0;                // the status code; 0 when no status line was read
  std::string ResultString;          // the status line's text after the code
  std::vector<std::string> Headers;  // the reply's header lines, as received
  int64_t DownloadSize = 0;          // the reply's Content-Length; 0 when it gave none
  std::stringstream Document;        // the body, positioned at its start
  std::string FailReason;            // why HTTPMethod returned false; empty on success

  TTCPBlockSocket& Sock() { return sock_; }

  // Sends `method` (a token such as "GET" or "HEAD") for the absolute address `url` and
  // reads the reply. True when a whole reply was read, whatever its code. Clears the
  // results of the previous request, and an Abort that came before this call.
  bool HTTPMethod(const std::string& method, const std::string& url);

  // Stops a running HTTPMethod at the socket's next operation (each wait for data is cut
  // into short slices, so it never waits out Timeout); it then returns false. Safe from
  // another thread and from OnStatus.
  void Abort();

 private:
  // Opens the connection to TargetHost:TargetPort, or keeps the one that is open to it
  // (`reused` tells which). False on a socket error.
  bool Connect(bool& reused);
  // Sends the request and reads the status line and headers.
  bool SendRequest(const std::string& method, const HttpAddress& address);
  bool ReadHead();
  bool ReadHeaderLines();
  bool ReadBody();
  bool ReadByLength(int64_t length);
  bool ReadChunked();
  bool ReadUntilClose();

  // Waits for one block from the network, at most until `deadline_ms` (steady clock), and
  // appends it to in_. False on abort, time-out, the server's close (close_seen_) or an
  // error, with the reason in wait_failure_.
  bool Fill(int64_t deadline_ms);
  // One line ending in LF (a CR before it is dropped) of at most `max_bytes`.
  bool ReadLine(std::string& line, size_t max_bytes, int64_t deadline_ms);
  // Moves `count` bytes from the front of in_ into Document; fails the transfer (and
  // empties Document) when the document would pass MaxDocumentSize.
  bool TakeBody(size_t count);
  // Records a failure: the reason, and the connection is closed.
  bool Fail(const std::string& reason);
  void CloseConnection();

  TTCPBlockSocket sock_;
  std::atomic<bool> aborted_{false};
  std::string in_;               // received but not yet consumed
  bool close_seen_ = false;      // the last Fill ended on the server's close
  std::string wait_failure_;     // why the last Fill failed
  uint64_t bytes_received_ = 0;  // network bytes of the current request
  size_t head_bytes_ = 0;        // bytes of the status line and headers so far
  int64_t head_deadline_ = 0;
  bool head_request_ = false;
  bool has_length_ = false;
  bool chunked_ = false;
  bool server_wants_close_ = false;
  bool must_close_ = false;  // the reply cannot leave the connection in a known state
  int64_t document_bytes_ = 0;
  std::string connected_host_;  // the open connection's target
  std::string connected_port_;
};

}  // namespace tessavo
