#include "updater/update_signature.h"

#include <sodium.h>

#include <cstdlib>
#include <cstring>

namespace tessavo {
namespace {

static_assert(kUpdatePublicKeyBytes == crypto_sign_PUBLICKEYBYTES);
static_assert(kUpdateSecretKeyBytes == crypto_sign_SECRETKEYBYTES);
static_assert(kUpdateSeedBytes == crypto_sign_SEEDBYTES);
static_assert(kUpdateSignatureBytes == crypto_sign_BYTES);

// sodium_init may run any number of times and from any thread; it fails only when the
// system offers no randomness, which the program cannot do without.
void EnsureSodium() {
  if (sodium_init() < 0) std::abort();
}

std::optional<std::string> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string out(hex.size() / 2, '\0');
  size_t written = 0;
  if (sodium_hex2bin(reinterpret_cast<unsigned char*>(out.data()), out.size(), hex.data(),
                     hex.size(), nullptr, &written, nullptr) != 0 ||
      written != out.size()) {
    return std::nullopt;
  }
  return out;
}

}  // namespace

// See the header for how this key is used and replaced.
const UpdatePublicKey kReleasePublicKey = {
    0x08, 0xc2, 0xdc, 0x70, 0x74, 0xc8, 0x45, 0x06, 0x73, 0x65, 0xd4, 0x54, 0x71, 0xe5, 0x25, 0x79,
    0x07, 0xd1, 0xb3, 0x11, 0xfb, 0xbc, 0x0f, 0xa9, 0xc9, 0x9c, 0x59, 0x80, 0x02, 0x73, 0x87, 0x8d};

bool VerifyUpdateSignature(std::string_view package, std::string_view signature,
                           const UpdatePublicKey& key) {
  if (signature.size() != kUpdateSignatureBytes) return false;
  EnsureSodium();
  return crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.data()),
                                     reinterpret_cast<const unsigned char*>(package.data()),
                                     package.size(), key.data()) == 0;
}

std::string SignUpdate(std::string_view package, std::string_view secret_key) {
  EnsureSodium();
  std::string signature(kUpdateSignatureBytes, '\0');
  crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                       reinterpret_cast<const unsigned char*>(package.data()), package.size(),
                       reinterpret_cast<const unsigned char*>(secret_key.data()));
  return signature;
}

void NewUpdateKeyPair(std::string& secret_key, UpdatePublicKey& public_key) {
  EnsureSodium();
  secret_key.assign(kUpdateSecretKeyBytes, '\0');
  crypto_sign_keypair(public_key.data(), reinterpret_cast<unsigned char*>(secret_key.data()));
}

std::optional<std::string> SecretKeyFromHex(std::string_view hex) {
  std::optional<std::string> bytes = FromHex(hex);
  if (!bytes) return std::nullopt;
  EnsureSodium();
  std::string secret(kUpdateSecretKeyBytes, '\0');
  UpdatePublicKey pk;
  if (bytes->size() == kUpdateSeedBytes || bytes->size() == kUpdateSecretKeyBytes) {
    crypto_sign_seed_keypair(pk.data(), reinterpret_cast<unsigned char*>(secret.data()),
                             reinterpret_cast<const unsigned char*>(bytes->data()));
    // A whole secret key carries its public half: it must be the one its seed gives.
    if (bytes->size() == kUpdateSecretKeyBytes && *bytes != secret) return std::nullopt;
    return secret;
  }
  return std::nullopt;
}

std::optional<UpdatePublicKey> PublicKeyFromHex(std::string_view hex) {
  std::optional<std::string> bytes = FromHex(hex);
  if (!bytes || bytes->size() != kUpdatePublicKeyBytes) return std::nullopt;
  UpdatePublicKey key;
  std::memcpy(key.data(), bytes->data(), key.size());
  return key;
}

std::string ToHex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    auto u = static_cast<unsigned char>(c);
    out += kDigits[u >> 4];
    out += kDigits[u & 15];
  }
  return out;
}

}  // namespace tessavo
