#include "test_certificates.h"

#include <arpa/inet.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>

namespace tessavo::testing {
namespace fs = std::filesystem;
namespace {

EVP_PKEY* NewKey() { return EVP_EC_gen("P-256"); }

void WritePem(const fs::path& path, X509* cert, EVP_PKEY* key) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) throw std::runtime_error("cannot write " + path.string());
  if (cert != nullptr) PEM_write_X509(f, cert);
  if (key != nullptr) PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr);
  std::fclose(f);
}

void AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  if (ext != nullptr) {
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
  }
}

X509* NewCert(EVP_PKEY* key, const std::string& cn, long from_days, long to_days, long serial) {
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert), from_days * 86400);
  X509_gmtime_adj(X509_getm_notAfter(cert), to_days * 86400);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
  return cert;
}

struct Authority {
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  fs::path file;
};

Authority& TheAuthority(const fs::path& dir) {
  static Authority ca;
  static std::once_flag once;
  std::call_once(once, [&] {
    ca.key = NewKey();
    ca.cert = NewCert(ca.key, "Tessavo Test Authority", -1, 365, 1);
    X509_set_issuer_name(ca.cert, X509_get_subject_name(ca.cert));
    AddExtension(ca.cert, ca.cert, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(ca.cert, ca.cert, NID_key_usage, "critical,keyCertSign,cRLSign");
    AddExtension(ca.cert, ca.cert, NID_subject_key_identifier, "hash");
    X509_sign(ca.cert, ca.key, EVP_sha256());
    fs::create_directories(dir);
    ca.file = dir / "test-authority.pem";
    WritePem(ca.file, ca.cert, nullptr);
  });
  return ca;
}

bool IsIp(const std::string& name) {
  unsigned char buf[16];
  return inet_pton(AF_INET, name.c_str(), buf) == 1 || inet_pton(AF_INET6, name.c_str(), buf) == 1;
}

}  // namespace

fs::path TestAuthority(const fs::path& dir) { return TheAuthority(dir).file; }

CertificateFiles MakeCertificate(const fs::path& dir, const std::string& stem,
                                 const CertificateSpec& spec) {
  static long serial = 100;
  EVP_PKEY* key = NewKey();
  X509* cert = NewCert(key, spec.name, spec.valid_from_days, spec.valid_to_days, ++serial);
  X509* issuer = cert;
  EVP_PKEY* signer = key;
  if (!spec.self_signed) {
    Authority& ca = TheAuthority(dir);
    issuer = ca.cert;
    signer = ca.key;
  }
  X509_set_issuer_name(cert, X509_get_subject_name(issuer));
  AddExtension(cert, issuer, NID_subject_alt_name, (IsIp(spec.name) ? "IP:" : "DNS:") + spec.name);
  AddExtension(cert, issuer, NID_basic_constraints, "CA:FALSE");
  AddExtension(cert, issuer, NID_ext_key_usage, "serverAuth");
  X509_sign(cert, signer, EVP_sha256());
  fs::create_directories(dir);
  CertificateFiles files{dir / (stem + "-cert.pem"), dir / (stem + "-key.pem")};
  WritePem(files.cert, cert, nullptr);
  WritePem(files.key, nullptr, key);
  X509_free(cert);
  EVP_PKEY_free(key);
  return files;
}

void TrustTestAuthority() {
  // The folder goes when the process ends.
  struct Folder {
    fs::path path;
    ~Folder() {
      std::error_code ec;
      if (!path.empty()) fs::remove_all(path, ec);
    }
  };
  static Folder folder;
  static std::once_flag once;
  std::call_once(once, [] {
    char tmpl[] = "/tmp/tessavo-test-ca-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (dir == nullptr) return;
    folder.path = dir;
    setenv("SSL_CERT_FILE", TestAuthority(dir).c_str(), 1);
  });
}

}  // namespace tessavo::testing
