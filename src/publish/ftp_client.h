// TFTPSend: a blocking FTP client (RFC 959, with EPSV/EPRT from RFC 2428 tried before
// PASV/PORT). One control connection; a fresh data connection for every transfer.
//
// Every operation runs to completion on the calling thread, each network wait bounded by
// Timeout, and reports success as a bool (or an empty text / -1). Nothing throws on
// network or server errors: the last reply stays in ResultCode, ResultString and
// FullResult for the caller's report, and the socket keeps its error code.
//
// Typical use: set the fields, LogOn(), operations, LogOff(). Releasing the client closes
// any open connection without sending QUIT.
//
// FTPS (explicit, RFC 4217): with AutoTLS on, LogOn asks "AUTH TLS" after the greeting,
// runs the TLS handshake on the control connection and hands the certificate to
// OnTlsPeer, which decides whether to go on; after the logon it sends "PBSZ 0" and, with
// TLSonData, "PROT P", and every data connection then runs TLS too, resuming the control
// connection's session (servers such as vsftpd insist on that) and showing the same
// certificate.
//
// Guarding against bad names and hostile servers:
// - A command whose text holds CR, LF or NUL is never sent (it would smuggle a second
//   command to the server): the operation fails at once with ResultCode 0 and the reason
//   as the one line of FullResult; the connection stays as it was.
// - Failures that happen before anything reaches the server (a local file that cannot be
//   read) are reported the same way.
// - A reply must arrive within Timeout as a whole and may hold at most kMaxReplyLines
//   lines and kMaxReplyBytes bytes; a longer one closes the control connection, with the
//   reason as the last line of FullResult. Every later command then fails at once with
//   that reason as its FullResult, until the next LogOn.
// - A listing may hold at most kMaxListingBytes and must arrive within Timeout; a
//   transfer into DataStream may hold at most kMaxMemoryTransferBytes.
#pragma once

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "publish/net_client.h"
#include "publish/tcp_socket.h"

namespace tessavo {

// Limits on what a server may send (see above).
constexpr size_t kMaxReplyLines = 10000;
constexpr size_t kMaxReplyBytes = 1 << 20;
constexpr int kMaxPreliminaryReplies = 100;  // 1xx replies before the greeting
constexpr int64_t kMaxListingBytes = int64_t{16} << 20;
constexpr int64_t kMaxMemoryTransferBytes = int64_t{64} << 20;

class TFTPSend;
// Status notification: sender, true for a reply line / false for a command, the text.
using TFTPStatus = std::function<void(TFTPSend* sender, bool response, const std::string& text)>;

class TFTPSend : public TNetClient {
 public:
  TFTPSend();
  ~TFTPSend() override;
  TFTPSend(const TFTPSend&) = delete;
  TFTPSend& operator=(const TFTPSend&) = delete;

  // --- Results of the last reply ---------------------------------------------------------
  int ResultCode = 0;                   // 0 when no code could be read
  std::string ResultString;             // last line of the last reply
  std::vector<std::string> FullResult;  // every line of the last reply

  // --- Settings ---------------------------------------------------------------------------
  std::string Account;
  std::string FWHost;
  std::string FWPort = "ftp";
  std::string FWUsername;
  std::string FWPassword;
  int FWMode = 0;  // only the plain logon (mode 0) is provided
  bool PassiveMode = true;
  bool ForceDefaultPort = false;  // active mode: listen on ftp-data instead of any port
  bool ForceOldPort = false;      // skip EPSV/EPRT
  bool BinaryMode = true;
  bool DirectFile = false;  // transfer from/into DirectFileName instead of DataStream
  std::string DirectFileName;
  TFTPStatus OnStatus;
  // Uploads send only what a transfer needs (EPSV or PASV, STOR, and TYPE I only when a
  // listing switched to TYPE A), instead of TYPE, ALLO and REST before every STOR. For
  // parallel publishing over slow links, where every command costs a round trip.
  bool LeanStore = false;

  // --- TLS ------------------------------------------------------------------------------
  bool AutoTLS = false;   // explicit FTPS: AUTH TLS at logon, then PBSZ 0 and PROT P
  bool TLSonData = true;  // protect the data connections too (PROT P)
  // Called once the control connection's handshake is done; false ends LogOn (the
  // certificate is not trusted). Without it only a verified certificate is accepted.
  std::function<bool(const TlsPeer& peer)> OnTlsPeer;

  // --- State --------------------------------------------------------------------------
  bool CanResume = false;  // set by LogOn when the server accepts REST
  bool IsTLS = false;      // the control connection runs TLS
  bool IsDataTLS = false;  // data connections run TLS (PROT P accepted)
  std::string DataIP;      // address and port of the last data connection
  std::string DataPort;
  std::stringstream DataStream;  // source or target when DirectFile is off

  TTCPBlockSocket& Sock() { return sock_; }
  TTCPBlockSocket& DSock() { return dsock_; }

  // --- Operations -------------------------------------------------------------------------
  // Connects, reads the greeting (1xx lines, then 2xx), runs the logon sequence, sends
  // TYPE I, STRU F, MODE S and probes REST (sets CanResume).
  virtual bool LogOn();
  // QUIT, then closes the control connection; true on 2xx.
  virtual bool LogOff();
  // Sends `command` and CR LF (after purging late input) and returns the reply code.
  virtual int SendCommand(const std::string& command);
  // Reads one (possibly multi-line) reply; returns its code.
  virtual int ReadReply();
  // PWD: the text between the first two double quotes of a 2xx reply, trimmed; else "".
  virtual std::string AskCurrentDirectory();
  virtual bool EnterDirectory(const std::string& path);    // CWD
  virtual bool ParentDirectory();                          // CDUP
  virtual bool MakeDirectory(const std::string& path);     // MKD
  virtual bool DropDirectory(const std::string& path);     // RMD
  virtual bool DeleteRemoteFile(const std::string& name);  // DELE
  virtual bool RenameRemote(const std::string& old_name, const std::string& new_name);
  // SIZE: the size on 2xx, else -1.
  virtual int64_t RemoteFileSize(const std::string& name);
  virtual bool KeepAlive();  // NOOP
  // Stores the source (DirectFileName or DataStream) under `name`; with `resume` and
  // CanResume, continues after the remote size.
  virtual bool PutFile(const std::string& name, bool resume);
  virtual bool PutUniqueFile();                        // STOU
  virtual bool AppendToFile(const std::string& name);  // APPE
  // Retrieves `name` into DirectFileName or DataStream.
  virtual bool GetFile(const std::string& name, bool resume);
  // NLST (names only) or LIST into DataStream.
  virtual bool ListDirectory(const std::string& path, bool names_only);
  // MLSD (RFC 3659: one "fact=value;... name" line per entry) into DataStream.
  virtual bool ListMachineDirectory(const std::string& path);
  // Stop a running transfer; safe from another thread.
  virtual void AbortTransfer();
  virtual void TelnetAbortTransfer();

  // The parsers of the passive replies (public for their tests).
  virtual void ParsePassiveReply(const std::string& line);
  virtual void ParseExtendedPassiveReply(const std::string& line);

 protected:
  virtual bool RunLogonSequence();
  virtual bool ConnectControl();
  virtual bool StoreFrom(const std::string& command, int64_t offset);
  virtual bool OpenDataChannel();
  virtual bool AcceptDataChannel();
  virtual void NotifyStatus(bool response, const std::string& text);
  // Receives until the server closes the data connection. `max_bytes` (< 0: no limit)
  // bounds the size and `max_ms` (< 0: no limit) the whole transfer; more fails it.
  virtual bool ReceiveData(std::ostream& stream, int64_t max_bytes, int max_ms);
  virtual bool SendData(std::istream& stream);

 private:
  // Reads one reply that must be complete by `deadline_ms` (a steady-clock time in ms,
  // < 0 for no limit).
  int ReadReplyUntil(int64_t deadline_ms);
  // Closes the control connection after a server sent more than a reply may hold, with
  // `reason` as the last line of FullResult and ResultCode 0.
  void CloseForRunawayServer(const std::string& reason);
  // Sets the results for a failure of the client's own, before anything was sent.
  void FailLocally(const std::string& reason);
  // True (after FailLocally) when `command` holds CR, LF or NUL.
  bool RefuseUnsafeCommand(const std::string& command);
  // A listing command (LIST, NLST, MLSD) with `path`, received into DataStream.
  bool ListWith(const std::string& verb, const std::string& path);
  // AUTH TLS and the handshake on the control connection, then the trust decision.
  bool StartControlTls();
  // The handshake on a data connection that is in place.
  bool StartDataTls();
  // The upload of LeanStore, once the data connection is set up.
  bool StoreLean(const std::string& command, std::istream& source);
  // Closes the data connection at the end of an upload (TLS: close_notify and the peer's).
  void FinishDataConnection();

  TTCPBlockSocket sock_;
  TTCPBlockSocket dsock_;
  std::string dropped_because_;  // why the client closed the control connection, if it did
  bool type_ascii_ = false;      // the last TYPE sent was TYPE A (LeanStore)
};

}  // namespace tessavo
