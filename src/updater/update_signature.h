// Signatures of update packages: a detached Ed25519 signature (libsodium) of the package's
// bytes, published beside the package as updater_200701.sig (64 bytes).
//
// The version file and the package come from the same unauthenticated server, so their
// checksums only guard against damage in transit; the signature is what shows that a
// package was released by us. Nothing downloaded is ever started or handed to the
// installer unless its signature verifies against the release key below.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessavo {

constexpr size_t kUpdatePublicKeyBytes = 32;
constexpr size_t kUpdateSecretKeyBytes = 64;  // libsodium's form: seed, then public key
constexpr size_t kUpdateSeedBytes = 32;
constexpr size_t kUpdateSignatureBytes = 64;

using UpdatePublicKey = std::array<uint8_t, kUpdatePublicKeyBytes>;

// The public half of the release key.
//
// How releases are signed: the release manager keeps the secret half offline and signs
// each package with
//     scripts/sign-update SECRET_KEY_HEX updater_200701.dat
// which writes updater_200701.sig beside it; both files go onto the update server together
// with the version file. A new key pair comes from `scripts/sign-update --new-key`; its
// public half (64 hexadecimal digits) replaces the value below, and packages signed with
// the old key are then refused by the new program.
//
// Only tests and the [Updater] PublicKey setting of the settings file supply another key.
extern const UpdatePublicKey kReleasePublicKey;

// True when `signature` is a valid Ed25519 signature of `package` by `key`. A signature
// that is not exactly kUpdateSignatureBytes long is refused.
bool VerifyUpdateSignature(std::string_view package, std::string_view signature,
                           const UpdatePublicKey& key);

// The detached signature of `package` made with `secret_key` (kUpdateSecretKeyBytes).
// REQUIRES: secret_key.size() == kUpdateSecretKeyBytes.
std::string SignUpdate(std::string_view package, std::string_view secret_key);

// A new key pair: the secret key (kUpdateSecretKeyBytes) and its public key.
void NewUpdateKeyPair(std::string& secret_key, UpdatePublicKey& public_key);

// The secret key that belongs to a 32-byte seed or a whole 64-byte secret key given as
// hexadecimal digits; nothing when the text is neither (or the key halves disagree).
std::optional<std::string> SecretKeyFromHex(std::string_view hex);

// 64 hexadecimal digits (either letter case) read as a public key; nothing otherwise.
std::optional<UpdatePublicKey> PublicKeyFromHex(std::string_view hex);

// Lower-case hexadecimal digits of `bytes`.
std::string ToHex(std::string_view bytes);

}  // namespace tessavo
