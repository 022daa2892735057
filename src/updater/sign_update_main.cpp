// tessavo-sign-update: makes release keys and signs update packages (see
// update_signature.h for how releases are signed).
//
//   tessavo-sign-update --new-key
//   tessavo-sign-update SECRET_KEY_HEX PACKAGE [SIGNATURE]
//   tessavo-sign-update --verify PUBLIC_KEY_HEX PACKAGE [SIGNATURE]
//
// SIGNATURE defaults to updater_200701.sig in the package's folder. Exit status 0 on
// success, 1 when the package cannot be read, the signature not written or not valid,
// 2 on a usage error.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "updater/update_check.h"
#include "updater/update_signature.h"
#include "util/file_io.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: tessavo-sign-update --new-key\n"
               "       tessavo-sign-update SECRET_KEY_HEX PACKAGE [SIGNATURE]\n"
               "       tessavo-sign-update --verify PUBLIC_KEY_HEX PACKAGE [SIGNATURE]\n");
  return 2;
}

std::filesystem::path SignatureFor(const std::filesystem::path& package, int argc, char** argv,
                                   int index) {
  if (index < argc) return argv[index];
  return package.parent_path() / tessavo::kSignatureFileName;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tessavo;
  try {
    std::string first = argc > 1 ? argv[1] : "";
    if (first == "--new-key" && argc == 2) {
      std::string secret;
      UpdatePublicKey pub;
      NewUpdateKeyPair(secret, pub);
      std::printf("secret %s\npublic %s\n", ToHex(secret).c_str(),
                  ToHex(std::string(pub.begin(), pub.end())).c_str());
      return 0;
    }
    if (first == "--verify" && (argc == 4 || argc == 5)) {
      auto key = PublicKeyFromHex(argv[2]);
      if (!key) {
        std::fprintf(stderr, "tessavo-sign-update: the public key is not 64 hexadecimal digits\n");
        return 2;
      }
      std::filesystem::path package = argv[3];
      bool ok = VerifyUpdateSignature(ReadWholeFile(package),
                                      ReadWholeFile(SignatureFor(package, argc, argv, 4)), *key);
      std::printf("%s\n", ok ? "valid" : "NOT valid");
      return ok ? 0 : 1;
    }
    if (argc != 3 && argc != 4) return Usage();
    if (first.rfind("--", 0) == 0) return Usage();
    auto secret = SecretKeyFromHex(first);
    if (!secret) {
      std::fprintf(stderr,
                   "tessavo-sign-update: the secret key must be 64 or 128 hexadecimal digits\n");
      return 2;
    }
    std::filesystem::path package = argv[2];
    std::filesystem::path signature = SignatureFor(package, argc, argv, 3);
    WriteFileAtomic(signature, SignUpdate(ReadWholeFile(package), *secret));
    std::printf("%s\n", signature.c_str());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tessavo-sign-update: %s\n", e.what());
    return 1;
  }
}
