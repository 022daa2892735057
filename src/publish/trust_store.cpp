#include "publish/trust_store.h"

#include <fstream>
#include <map>
#include <sstream>

#include "util/error.h"
#include "util/file_io.h"
#include "util/host.h"
#include "util/program_folder.h"

namespace tessavo {
namespace {

std::map<std::string, std::string> ReadEntries(const std::filesystem::path& file) {
  std::map<std::string, std::string> entries;
  std::ifstream in(file, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t blank = line.find(' ');
    if (line.empty() || line[0] == '#' || blank == std::string::npos) continue;
    entries[line.substr(0, blank)] = line.substr(blank + 1);
  }
  return entries;
}

}  // namespace

std::optional<std::string> TrustStore::Find(const std::string& host) const {
  auto entries = ReadEntries(file_);
  auto it = entries.find(host);
  if (it == entries.end()) return std::nullopt;
  return it->second;
}

void TrustStore::Remember(const std::string& host, const std::string& fingerprint) {
  auto entries = ReadEntries(file_);
  entries[host] = fingerprint;
  std::ostringstream out;
  out << "# Servers trusted by hand: name, then the SHA-256 fingerprint.\n";
  for (const auto& [name, print] : entries) out << name << ' ' << print << '\n';
  std::error_code ec;
  std::filesystem::create_directories(file_.parent_path(), ec);
  WritePrivateFileAtomic(file_, out.str());
}

std::filesystem::path CertificateTrustFile() {
  return ProgramFolder() / "trusted_certificates.txt";
}

std::filesystem::path SshKnownHostsFile() { return ProgramFolder() / "known_hosts.txt"; }

std::string TrustName(const std::string& host, const std::string& port) {
  const bool ipv6 = host.find(':') != std::string::npos;
  return (ipv6 ? "[" + host + "]" : host) + ":" + port;
}

bool DecideTrust(Host& host, TrustStore& store, const PeerProof& proof) {
  if (proof.verified) return true;
  const std::optional<std::string> known = store.Find(proof.server);
  if (known && *known == proof.fingerprint) return true;
  if (known) {
    host.PublishLogLineColored(LogColor::kRed, "*** The " + proof.what + " of " + proof.server +
                                                   " has changed: trusted SHA-256 " + *known +
                                                   ", now " + proof.fingerprint +
                                                   ". Connection refused.");
    return false;
  }
  const std::string why = proof.reason.empty() ? "" : " (" + proof.reason + ")";
  const bool yes =
      host.ConfirmYesNo("The " + proof.what + " of " + proof.server + " could not be verified" +
                        why + ".\n\nSHA-256 fingerprint:\n" + proof.fingerprint +
                        "\n\nTrust this " + proof.what + " for " + proof.server + "?");
  if (!yes) return false;
  try {
    store.Remember(proof.server, proof.fingerprint);
  } catch (const Error& e) {
    host.PublishLogLineColored(LogColor::kRed, std::string("*** ") + e.what());
  }
  return true;
}

bool SameProof(const PeerProof& proof, const std::string& settled_fingerprint) {
  return proof.verified ||
         (!settled_fingerprint.empty() && proof.fingerprint == settled_fingerprint);
}

}  // namespace tessavo
