#include "publish/ftp_client.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace tessavo {
namespace {

std::string Trim(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

// Decimal value of `s`, or 0 when it is not a plain number.
int64_t ToNumber(const std::string& s) {
  std::string t = Trim(s);
  if (t.empty() || t.size() > 18) return 0;
  int64_t v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + (c - '0');
  }
  return v;
}

std::string LocalHostName() {
  char name[256] = {0};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

// Lines of a runaway reply kept in FullResult, ahead of the line that says what happened.
constexpr size_t kShownReplyLines = 20;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The moment `ms` from now, or -1 (no limit) when `ms` is negative.
int64_t DeadlineAfter(int ms) { return ms < 0 ? -1 : NowMs() + ms; }

// Milliseconds until `deadline`, at least 0; -1 when there is no deadline.
int MsLeft(int64_t deadline) {
  if (deadline < 0) return -1;
  return static_cast<int>(std::max<int64_t>(0, deadline - NowMs()));
}

// The shorter of two waits, -1 meaning no limit.
int ShorterWait(int a, int b) {
  if (a < 0) return b;
  if (b < 0) return a;
  return std::min(a, b);
}

// Why the local file `path` cannot be sent; empty when it is a regular file that opens.
std::string UnreadableReason(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  std::ifstream probe(path, std::ios::binary);
  if (!probe) return std::strerror(errno != 0 ? errno : EACCES);
  return "";
}

// While a reply is read, a line's time limit counts for the whole line rather than for
// each wait (a server dripping one byte at a time must not stretch a reply for ever), and
// a line may not be longer than what is left of the reply's size limit.
class ReplyLineLimits {
 public:
  explicit ReplyLineLimits(TTCPBlockSocket& sock)
      : sock_(sock), inter_packet_(sock.InterPacketTimeout), max_line_(sock.MaxLineLength) {
    sock_.InterPacketTimeout = false;
  }
  ~ReplyLineLimits() {
    sock_.InterPacketTimeout = inter_packet_;
    sock_.MaxLineLength = max_line_;
  }
  ReplyLineLimits(const ReplyLineLimits&) = delete;
  ReplyLineLimits& operator=(const ReplyLineLimits&) = delete;

 private:
  TTCPBlockSocket& sock_;
  bool inter_packet_;
  size_t max_line_;
};

bool IsIPv4Address(const std::string& ip) {
  int dots = 0;
  for (char c : ip) {
    if (c == '.')
      ++dots;
    else if (c < '0' || c > '9')
      return false;
  }
  return dots == 3;
}

}  // namespace

TFTPSend::TFTPSend() {
  Timeout = 300000;
  TargetPort = "ftp";
  UserName = "anonymous";
  Password = "anonymous@" + LocalHostName();
  sock_.ConvertLineEnd = true;
}

TFTPSend::~TFTPSend() {
  dsock_.CloseSocket();
  sock_.CloseSocket();
}

void TFTPSend::NotifyStatus(bool response, const std::string& text) {
  if (OnStatus) OnStatus(this, response, text);
}

int TFTPSend::ReadReply() { return ReadReplyUntil(DeadlineAfter(Timeout)); }

int TFTPSend::ReadReplyUntil(int64_t deadline_ms) {
  FullResult.clear();
  ResultString.clear();
  std::string code;
  size_t bytes = 0;
  bool runaway = false;
  {
    ReplyLineLimits limits(sock_);
    for (;;) {
      sock_.MaxLineLength = kMaxReplyBytes - bytes;
      std::string line = sock_.RecvString(MsLeft(deadline_ms));
      if (sock_.LastError() == kSockErrLineTooLong) {
        runaway = true;
        break;
      }
      if (code.empty() && line.size() > 3 && (line[3] == ' ' || line[3] == '-')) {
        code = line.substr(0, 3);
      }
      ResultString = line;
      FullResult.push_back(line);
      NotifyStatus(true, line);
      if (sock_.LastError() != 0) break;
      if (!code.empty() && line.size() >= 4 && line.compare(0, 3, code) == 0 && line[3] == ' ') {
        break;
      }
      bytes += line.size() + 2;
      if (FullResult.size() >= kMaxReplyLines || bytes >= kMaxReplyBytes) {
        runaway = true;
        break;
      }
    }
  }
  if (runaway) {
    CloseForRunawayServer("Reply longer than " + std::to_string(kMaxReplyLines) + " lines or " +
                          std::to_string(kMaxReplyBytes) + " bytes: connection closed.");
    return 0;
  }
  ResultCode = static_cast<int>(code.size() == 3 ? ToNumber(code) : 0);
  return ResultCode;
}

void TFTPSend::CloseForRunawayServer(const std::string& reason) {
  sock_.CloseSocket();
  dropped_because_ = reason;
  if (FullResult.size() > kShownReplyLines) FullResult.resize(kShownReplyLines);
  FullResult.push_back(reason);
  ResultString = reason;
  ResultCode = 0;
}

void TFTPSend::FailLocally(const std::string& reason) {
  ResultCode = 0;
  ResultString = reason;
  FullResult.assign(1, reason);
}

bool TFTPSend::RefuseUnsafeCommand(const std::string& command) {
  constexpr std::string_view kLineBreaksAndNul("\r\n\0", 3);
  if (command.find_first_of(kLineBreaksAndNul) == std::string::npos) return false;
  const std::string verb = command.substr(0, command.find_first_of(" \r\n", 0));
  FailLocally(verb.substr(0, verb.find('\0')) +
              " not sent: its argument holds a CR, LF or NUL character.");
  return true;
}

int TFTPSend::SendCommand(const std::string& command) {
  if (RefuseUnsafeCommand(command)) return 0;
  if (!sock_.IsOpen() && !dropped_because_.empty()) {
    // Every later failure tells why the connection is gone.
    FailLocally(dropped_because_);
    return 0;
  }
  sock_.Purge();
  sock_.SendString(command + "\r\n");
  NotifyStatus(false, command);
  return ReadReply();
}

bool TFTPSend::ConnectControl() {
  sock_.CloseSocket();
  dropped_because_.clear();
  sock_.SendTimeout = Timeout;
  sock_.Bind(IPInterface, "0");
  if (sock_.LastError() == 0) {
    if (!FWHost.empty())
      sock_.Connect(FWHost, FWPort);
    else
      sock_.Connect(TargetHost, TargetPort);
  }
  return sock_.LastError() == 0;
}

bool TFTPSend::RunLogonSequence() {
  // The plain logon: USER, then PASS when asked (3xx), then ACCT when asked again.
  // Each step: the command, then what a 2xx and a 3xx reply lead to
  // (the next step's index, kDone for success, kFail for failure).
  constexpr int kDone = -1;
  constexpr int kFail = -2;
  struct Step {
    std::string command;
    int on2;
    int on3;
  };
  const Step steps[] = {
      {"USER " + UserName, kDone, 1},
      {"PASS " + Password, kDone, 2},
      {"ACCT " + Account, kDone, kFail},
  };
  int at = 0;
  while (at >= 0) {
    int cls = SendCommand(steps[at].command) / 100;
    if (cls == 2)
      at = steps[at].on2;
    else if (cls == 3)
      at = steps[at].on3;
    else
      at = kFail;
  }
  return at == kDone;
}

bool TFTPSend::StartControlTls() {
  if (SendCommand("AUTH TLS") / 100 != 2) return false;
  if (!sock_.SSLDoConnect(TargetHost, Timeout)) {
    FailLocally(sock_.LastErrorDesc());
    sock_.CloseSocket();
    return false;
  }
  IsTLS = true;
  const bool trusted = OnTlsPeer ? OnTlsPeer(sock_.Peer()) : sock_.Peer().verified;
  if (!trusted) {
    FailLocally("The certificate of " + TargetHost + " is not trusted: connection closed.");
    sock_.CloseSocket();
    IsTLS = false;
    return false;
  }
  return true;
}

bool TFTPSend::StartDataTls() {
  if (!dsock_.SSLDoConnect(TargetHost, Timeout, &sock_)) {
    FailLocally(dsock_.LastErrorDesc());
    return false;
  }
  // The data connection must come from the server the person trusted.
  const TlsPeer& data = dsock_.Peer();
  if (!data.verified && data.fingerprint != sock_.Peer().fingerprint) {
    FailLocally("The data connection showed another certificate than the control connection.");
    return false;
  }
  return true;
}

void TFTPSend::FinishDataConnection() {
  if (dsock_.IsTls()) {
    dsock_.CloseGracefully(Timeout);
  } else {
    dsock_.CloseSocket();
  }
}

bool TFTPSend::LogOn() {
  CanResume = false;
  IsTLS = false;
  IsDataTLS = false;
  type_ascii_ = false;
  if (!ConnectControl()) return false;
  // The whole greeting, preliminary replies included, within one Timeout.
  const int64_t deadline = DeadlineAfter(Timeout);
  int code = ReadReplyUntil(deadline);
  for (int preliminary = 1; code / 100 == 1; ++preliminary) {
    if (preliminary > kMaxPreliminaryReplies) {
      CloseForRunawayServer("More than " + std::to_string(kMaxPreliminaryReplies) +
                            " preliminary replies: connection closed.");
      return false;
    }
    code = ReadReplyUntil(deadline);
  }
  if (code / 100 != 2) return false;
  if (AutoTLS && !StartControlTls()) return false;
  if (!RunLogonSequence()) return false;
  if (IsTLS) {
    if (SendCommand("PBSZ 0") / 100 != 2) return false;
    if (TLSonData) {
      if (SendCommand("PROT P") / 100 != 2) return false;
      IsDataTLS = true;
    }
  }
  SendCommand("TYPE I");
  SendCommand("STRU F");
  SendCommand("MODE S");
  if (SendCommand("REST 0") == 350) {
    if (SendCommand("REST 1") == 350) {
      SendCommand("REST 0");
      CanResume = true;
    }
  }
  return true;
}

bool TFTPSend::LogOff() {
  bool ok = SendCommand("QUIT") / 100 == 2;
  sock_.CloseSocket();
  return ok;
}

std::string TFTPSend::AskCurrentDirectory() {
  if (SendCommand("PWD") / 100 != 2) return "";
  size_t first = ResultString.find('"');
  if (first == std::string::npos) return "";
  size_t second = ResultString.find('"', first + 1);
  if (second == std::string::npos) return "";
  return Trim(ResultString.substr(first + 1, second - first - 1));
}

bool TFTPSend::EnterDirectory(const std::string& path) {
  return SendCommand("CWD " + path) / 100 == 2;
}

bool TFTPSend::ParentDirectory() { return SendCommand("CDUP") / 100 == 2; }

bool TFTPSend::MakeDirectory(const std::string& path) {
  return SendCommand("MKD " + path) / 100 == 2;
}

bool TFTPSend::DropDirectory(const std::string& path) {
  return SendCommand("RMD " + path) / 100 == 2;
}

bool TFTPSend::DeleteRemoteFile(const std::string& name) {
  return SendCommand("DELE " + name) / 100 == 2;
}

bool TFTPSend::RenameRemote(const std::string& old_name, const std::string& new_name) {
  // Both names are checked before the first command, so no rename is left half begun.
  if (RefuseUnsafeCommand("RNFR " + old_name) || RefuseUnsafeCommand("RNTO " + new_name)) {
    return false;
  }
  if (SendCommand("RNFR " + old_name) / 100 != 3) return false;
  return SendCommand("RNTO " + new_name) / 100 == 2;
}

int64_t TFTPSend::RemoteFileSize(const std::string& name) {
  if (SendCommand("SIZE " + name) / 100 != 2) return -1;
  // The first word after the code.
  std::string rest = ResultString.size() > 4 ? ResultString.substr(4) : "";
  rest = Trim(rest);
  size_t end = rest.find(' ');
  std::string word = rest.substr(0, end);
  if (word.empty()) return -1;
  for (char c : word) {
    if (c < '0' || c > '9') return -1;
  }
  return ToNumber(word);
}

bool TFTPSend::KeepAlive() { return SendCommand("NOOP") / 100 == 2; }

void TFTPSend::ParsePassiveReply(const std::string& line) {
  std::string s = Trim(line);
  size_t open = s.find('(');
  size_t close = open == std::string::npos ? std::string::npos : s.find(')', open + 1);
  if (open != std::string::npos && close != std::string::npos) {
    s = s.substr(open + 1, close - open - 1);
  } else {
    size_t blank = s.rfind(' ');
    if (blank != std::string::npos) s = s.substr(blank + 1);
  }
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t comma = s.find(',', start);
    fields.push_back(
        Trim(s.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  fields.resize(std::max<size_t>(fields.size(), 6));
  DataIP = fields[0] + "." + fields[1] + "." + fields[2] + "." + fields[3];
  int64_t port = ToNumber(fields[4]) * 256 + ToNumber(fields[5]);
  DataPort = std::to_string(port);
}

void TFTPSend::ParseExtendedPassiveReply(const std::string& line) {
  std::string s;
  size_t open = line.find('(');
  if (open != std::string::npos) {
    size_t close = line.find(')', open + 1);
    s = Trim(
        line.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1));
  }
  if (!s.empty()) s.pop_back();  // the closing delimiter
  size_t digits = s.size();
  while (digits > 0 && s[digits - 1] >= '0' && s[digits - 1] <= '9') --digits;
  DataPort = std::to_string(ToNumber(s.substr(digits)));
  DataIP = TargetHost;
}

bool TFTPSend::OpenDataChannel() {
  dsock_.StopFlag = false;
  dsock_.SendTimeout = Timeout;
  if (PassiveMode) {
    bool have_address = false;
    if (!ForceOldPort) {
      std::string cmd = sock_.IsIPv6() ? "EPSV 2" : "EPSV 1";
      if (SendCommand(cmd) / 100 == 2) {
        ParseExtendedPassiveReply(ResultString);
        have_address = true;
      }
    }
    if (!have_address) {
      if (sock_.IsIPv6()) return false;
      if (SendCommand("PASV") / 100 != 2) return false;
      ParsePassiveReply(ResultString);
      // The data connection only ever goes to the host we are talking to: a reply naming
      // another address would let the server point us at a third host.
      std::string peer = sock_.GetRemoteSinIP();
      if (!peer.empty() && DataIP != peer) DataIP = peer;
    }
    dsock_.CloseSocket();
    dsock_.Bind(IPInterface, "0");
    if (dsock_.LastError() != 0) return false;
    dsock_.Connect(DataIP, DataPort);
    return dsock_.LastError() == 0;
  }

  dsock_.CloseSocket();
  dsock_.Bind(sock_.GetLocalSinIP(), ForceDefaultPort ? "ftp-data" : "0");
  if (dsock_.LastError() != 0) return false;
  // A short linger as the classic client asks for it; the socket rounds it up to a whole
  // second so that closing never resets the connection and loses the file's tail.
  dsock_.SetLinger(true, 10);
  dsock_.Listen();
  if (dsock_.LastError() != 0) return false;
  DataIP = dsock_.GetLocalSinIP();
  DataPort = std::to_string(dsock_.GetLocalSinPort());
  if (!ForceOldPort) {
    std::string cmd =
        std::string("EPRT |") + (dsock_.IsIPv6() ? "2" : "1") + "|" + DataIP + "|" + DataPort + "|";
    if (SendCommand(cmd) / 100 == 2) return true;
  }
  if (!IsIPv4Address(DataIP)) return false;
  std::string numbers = DataIP;
  for (char& c : numbers) {
    if (c == '.') c = ',';
  }
  int port = std::stoi(DataPort);
  std::string cmd =
      "PORT " + numbers + "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
  return SendCommand(cmd) / 100 == 2;
}

bool TFTPSend::AcceptDataChannel() {
  if (!PassiveMode) {
    if (!dsock_.CanRead(Timeout)) return false;
    int handle = dsock_.Accept();
    if (handle < 0) return false;
    dsock_.TakeOver(handle);
  }
  // The server starts TLS on the data connection once it has answered the transfer
  // command, in either mode; we are the TLS client in both.
  return !IsDataTLS || StartDataTls();
}

bool TFTPSend::SendData(std::istream& stream) {
  if (!AcceptDataChannel()) {
    dsock_.CloseSocket();
    return false;
  }
  dsock_.SendStreamRaw(stream);
  bool send_error = dsock_.LastError() != 0;
  FinishDataConnection();  // tells the server that the file is complete
  int code = ReadReply();
  return !send_error && code / 100 == 2;
}

bool TFTPSend::ReceiveData(std::ostream& stream, int64_t max_bytes, int max_ms) {
  if (!AcceptDataChannel()) {
    dsock_.CloseSocket();
    return false;
  }
  const int64_t deadline = DeadlineAfter(max_ms);
  int64_t received = 0;
  bool complete = false;
  bool too_much = false;
  for (;;) {
    std::string packet = dsock_.RecvPacket(ShorterWait(Timeout, MsLeft(deadline)));
    if (dsock_.LastError() != 0) {
      // The server's close ends a complete transfer; anything else (a time-out) does not.
      complete = dsock_.LastError() == kSockErrClosed;
      break;
    }
    received += static_cast<int64_t>(packet.size());
    if (max_bytes >= 0 && received > max_bytes) {
      too_much = true;
      break;
    }
    stream.write(packet.data(), static_cast<std::streamsize>(packet.size()));
  }
  dsock_.CloseSocket();
  int code = ReadReply();
  if (too_much) {
    const std::string reason =
        "Transfer stopped: more than " + std::to_string(max_bytes) + " bytes.";
    FullResult.push_back(reason);
    ResultString = reason;
  }
  return complete && code / 100 == 2;
}

bool TFTPSend::StoreFrom(const std::string& command, int64_t offset) {
  if (RefuseUnsafeCommand(command)) return false;
  std::ifstream file;
  std::istream* source = &DataStream;
  int64_t size = 0;
  if (DirectFile) {
    const std::string unreadable = UnreadableReason(DirectFileName);
    if (!unreadable.empty()) {
      FailLocally("Cannot read " + DirectFileName + ": " + unreadable);
      return false;
    }
    file.open(DirectFileName, std::ios::binary);
    if (!file) {
      FailLocally("Cannot read " + DirectFileName);
      return false;
    }
    file.seekg(0, std::ios::end);
    size = static_cast<int64_t>(file.tellg());
    file.seekg(0);
    source = &file;
  } else {
    DataStream.clear();
    size = static_cast<int64_t>(DataStream.str().size());
  }
  if (!OpenDataChannel()) {
    dsock_.CloseSocket();
    return false;
  }
  if (LeanStore && offset == 0) return StoreLean(command, *source);
  SendCommand(BinaryMode ? "TYPE I" : "TYPE A");
  type_ascii_ = !BinaryMode;
  if (!CanResume) offset = 0;
  if (size > 0 && size == offset) {
    dsock_.CloseSocket();
    return true;
  }
  if (size < offset) offset = 0;
  SendCommand("ALLO " + std::to_string(size - offset));
  if (CanResume && SendCommand("REST " + std::to_string(offset)) / 100 != 3) {
    dsock_.CloseSocket();
    return false;
  }
  source->clear();
  source->seekg(offset);
  if (SendCommand(command) / 100 != 1) {
    dsock_.CloseSocket();
    return false;
  }
  return SendData(*source);
}

bool TFTPSend::StoreLean(const std::string& command, std::istream& source) {
  const bool want_ascii = !BinaryMode;
  if (want_ascii != type_ascii_) {
    if (SendCommand(want_ascii ? "TYPE A" : "TYPE I") / 100 != 2) {
      dsock_.CloseSocket();
      return false;
    }
    type_ascii_ = want_ascii;
  }
  source.clear();
  source.seekg(0);
  if (SendCommand(command) / 100 != 1) {
    dsock_.CloseSocket();
    return false;
  }
  return SendData(source);
}

bool TFTPSend::PutFile(const std::string& name, bool resume) {
  int64_t offset = 0;
  if (resume && CanResume) {
    offset = RemoteFileSize(name);
    if (offset < 0) offset = 0;
  }
  return StoreFrom("STOR " + name, offset);
}

bool TFTPSend::PutUniqueFile() { return StoreFrom("STOU", 0); }

bool TFTPSend::AppendToFile(const std::string& name) { return StoreFrom("APPE " + name, 0); }

bool TFTPSend::GetFile(const std::string& name, bool resume) {
  if (RefuseUnsafeCommand("RETR " + name)) return false;
  if (!OpenDataChannel()) {
    dsock_.CloseSocket();
    return false;
  }
  SendCommand(BinaryMode ? "TYPE I" : "TYPE A");
  type_ascii_ = !BinaryMode;
  int64_t local_size = 0;
  if (resume) {
    if (DirectFile) {
      std::error_code ec;
      auto s = std::filesystem::file_size(DirectFileName, ec);
      local_size = ec ? 0 : static_cast<int64_t>(s);
    } else {
      local_size = static_cast<int64_t>(DataStream.str().size());
    }
    if (SendCommand("REST " + std::to_string(local_size)) / 100 != 3) {
      dsock_.CloseSocket();
      return false;
    }
  }
  if (SendCommand("RETR " + name) / 100 != 1) {
    dsock_.CloseSocket();
    return false;
  }
  if (DirectFile) {
    std::ofstream out(DirectFileName,
                      std::ios::binary | (resume ? std::ios::app : std::ios::trunc));
    if (!out) {
      dsock_.CloseSocket();
      return false;
    }
    bool ok = ReceiveData(out, -1, -1);
    out.close();
    return ok && !out.fail();
  }
  if (!resume) DataStream.str("");
  DataStream.clear();
  DataStream.seekp(0, std::ios::end);
  return ReceiveData(DataStream, kMaxMemoryTransferBytes, -1);
}

bool TFTPSend::ListDirectory(const std::string& path, bool names_only) {
  return ListWith(names_only ? "NLST" : "LIST", path);
}

bool TFTPSend::ListMachineDirectory(const std::string& path) { return ListWith("MLSD", path); }

bool TFTPSend::ListWith(const std::string& verb, const std::string& path) {
  DataStream.str("");
  DataStream.clear();
  std::string cmd = verb;
  if (!path.empty()) cmd += " " + path;
  if (RefuseUnsafeCommand(cmd)) return false;
  SendCommand("TYPE A");
  type_ascii_ = true;
  if (!OpenDataChannel()) {
    dsock_.CloseSocket();
    return false;
  }
  if (SendCommand(cmd) / 100 != 1) {
    dsock_.CloseSocket();
    return false;
  }
  // A listing is text for a person or a parser: a server that never ends it is cut off.
  bool ok = ReceiveData(DataStream, kMaxListingBytes, Timeout);
  DataStream.seekg(0);
  return ok;
}

void TFTPSend::AbortTransfer() {
  sock_.SendString("ABOR\r\n");
  dsock_.StopFlag = true;
}

void TFTPSend::TelnetAbortTransfer() {
  sock_.SendString(std::string("\xFF\xF4\xFF\xF2", 4));
  AbortTransfer();
}

}  // namespace tessavo
