// Certificates made by the tests, with OpenSSL: a certificate authority of the test run,
// server certificates signed by it (valid, for another name, expired) and self-signed ones,
// written as PEM files for the servers to use.
#pragma once

#include <filesystem>
#include <string>

namespace tessavo::testing {

struct CertificateFiles {
  std::filesystem::path cert;  // PEM certificate
  std::filesystem::path key;   // PEM private key (unencrypted)
};

struct CertificateSpec {
  std::string name = "127.0.0.1";  // common name and subject alternative name (IP or DNS)
  long valid_from_days = -1;       // relative to now
  long valid_to_days = 30;
  bool self_signed = false;  // else signed by the test authority
};

// The test authority's certificate (made once per process in `dir`).
std::filesystem::path TestAuthority(const std::filesystem::path& dir);

// Makes a server certificate and key in `dir` with file names starting with `stem`.
CertificateFiles MakeCertificate(const std::filesystem::path& dir, const std::string& stem,
                                 const CertificateSpec& spec);

// Trusts the test authority for TLS in this process (SSL_CERT_FILE), before the first
// handshake; every FTPS test does so, so that a verified certificate is possible without
// touching the system's trust store.
void TrustTestAuthority();

}  // namespace tessavo::testing
