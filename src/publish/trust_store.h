// Trust in servers whose proof of identity could not be verified.
//
// A TLS certificate that does not verify against the system's trust store (self-signed,
// expired, for another name) or an SSH host key seen for the first time is not accepted
// silently: the person is asked, with the SHA-256 fingerprint, whether to trust it for this
// host, and a Yes is remembered in a small file in the program folder. A later, different
// proof for the same host is refused with a red log line naming both fingerprints, since
// that is exactly what a man in the middle looks like.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tessavo {

class Host;

// One file of "host fingerprint" lines, one per host. Written atomically with mode 0600.
class TrustStore {
 public:
  explicit TrustStore(std::filesystem::path file) : file_(std::move(file)) {}

  // The fingerprint trusted for `host`, if any. A missing or unreadable file knows none.
  std::optional<std::string> Find(const std::string& host) const;
  // Remembers `fingerprint` for `host`, replacing what was there. Throws Error when the
  // file cannot be written.
  void Remember(const std::string& host, const std::string& fingerprint);

  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
};

// The two trust files of the program folder: TLS certificates (FTPS) and SSH host keys
// (SFTP).
std::filesystem::path CertificateTrustFile();
std::filesystem::path SshKnownHostsFile();

// How a server is named in the trust files and questions: "host:port", or "[host]:port"
// for a numeric IPv6 address.
std::string TrustName(const std::string& host, const std::string& port);

// A server's proof of identity, as the connection found it.
struct PeerProof {
  std::string what;         // "certificate" or "host key"
  std::string server;       // TrustName of the server
  std::string fingerprint;  // SHA-256, as shown to the person
  bool verified = false;    // checked out against the system's trust (certificates only)
  std::string reason;       // why it did not verify
};

// Decides whether to go on with a server: a verified proof passes; an unverified one
// passes when exactly its fingerprint was trusted for the server before; a different one
// is refused with a red log line naming both fingerprints; an unknown one is put to the
// person (ConfirmYesNo), and a Yes is remembered. Host calls only: run it on the thread
// that owns `host`.
bool DecideTrust(Host& host, TrustStore& store, const PeerProof& proof);

// The same decision without a person, for further connections to a server whose proof
// was settled already: true when the proof is verified or equals `settled_fingerprint`.
bool SameProof(const PeerProof& proof, const std::string& settled_fingerprint);

}  // namespace tessavo
