// Package signatures: ECDSA on curve P-256 over the SHA-256 of a file, with one contract for
// Windows (platform/win32, CNG and crypt32) and POSIX (platform/posix, OpenSSL libcrypto).
//
// Keys are PEM text: a public key is a "PUBLIC KEY" block (SubjectPublicKeyInfo), a private key a
// "PRIVATE KEY" block (PKCS#8, unencrypted). A signature is the DER encoding of ECDSA's (r, s).
// Failures of the file layer or the library are recorded in LastError() (platform/files.h).
#pragma once

#include <cstdint>
#include <string>

#include "platform/crypto.h"

namespace platform {

enum class SignatureStatus {
  kOk,                  // verified, or made
  kKeyNotPem,           // no PEM block of the expected kind that decodes to a key
  kKeyNotEcdsa,         // a key of another kind (RSA, Ed25519, ...)
  kKeyWrongCurve,       // an elliptic-curve key that does not name the curve P-256
  kSignatureMalformed,  // not exactly one DER-encoded ECDSA signature
  kMismatch,            // well-formed, but not made with this key over this file
  kFileUnreadable,      // the file could not be opened or read
  kLibraryFailure,      // the crypto library failed
  kUnavailable,         // this build cannot make keys or signatures (see SigningAvailable)
};

// Checks `signature` against the SHA-256 `digest` of a file under `publicKeyPem`. The signature
// must be exactly one DER encoding of the strict form of platform/der_signature.h, on every
// system alike.
[[nodiscard]] SignatureStatus VerifyDigestSignature(const std::string& publicKeyPem,
                                                    const std::string& signature,
                                                    const uint8_t (&digest)[kSha256Length]);

// Checks `signature` against the SHA-256 of the file at `path` under `publicKeyPem`. The file is
// read once, in 64 KB blocks, and may not be written by anyone meanwhile.
[[nodiscard]] SignatureStatus VerifyFileSignature(const std::string& publicKeyPem,
                                                  const std::string& signature,
                                                  const std::string& path);

// ---- The publisher's side -------------------------------------------------------------------

// Whether this build can make keys and signatures. The Windows build cannot: the PKCS#8 and EC
// private key encodings it would need are missing from the crypt32 it is tested with (Wine 8), and
// a path that cannot be tested is not shipped. It verifies like the other.
bool SigningAvailable();

struct SigningKeyPair {
  std::string PrivateKeyPem;
  std::string PublicKeyPem;
};

// Makes a new P-256 key pair: kOk, kLibraryFailure or kUnavailable.
[[nodiscard]] SignatureStatus GenerateSigningKeyPair(SigningKeyPair& pair);

// Signs the SHA-256 of the file at `path` (read once, in 64 KB blocks) with `privateKeyPem` and
// stores the DER signature in `signature`.
[[nodiscard]] SignatureStatus SignFile(const std::string& privateKeyPem, const std::string& path,
                                       std::string& signature);

}  // namespace platform
