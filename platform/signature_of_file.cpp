// Signatures of files and the SHA-256 of a file by path, the same on every system over the
// system's digest and verification.
#include "platform/crypto.h"
#include "platform/files.h"
#include "platform/signature.h"

namespace platform {

bool Sha256OfFile(const std::string& path, uint8_t (&digest)[kSha256Length]) {
  File file = File::Open(path, kOpenRead | kShareDenyWrite);
  return file.IsOpen() && Sha256OfOpenFile(file, digest);
}

SignatureStatus DigestOfFile(const std::string& path, uint8_t (&digest)[kSha256Length]) {
  File file = File::Open(path, kOpenRead | kShareDenyWrite);
  if (!file.IsOpen()) return SignatureStatus::kFileUnreadable;
  if (!Sha256OfOpenFile(file, digest)) {
    return LastError().operation == "sha-256" ? SignatureStatus::kLibraryFailure
                                              : SignatureStatus::kFileUnreadable;
  }
  return SignatureStatus::kOk;
}

SignatureStatus VerifyFileSignature(const std::string& publicKeyPem, const std::string& signature,
                                    const std::string& path) {
  uint8_t digest[kSha256Length];
  const SignatureStatus read = DigestOfFile(path, digest);
  if (read != SignatureStatus::kOk) return read;
  return VerifyDigestSignature(publicKeyPem, signature, digest);
}

}  // namespace platform
