// Package signatures: ECDSA on curve P-256 over the SHA-256 of a file, with one contract for
// Windows (platform/win32, CNG and crypt32) and POSIX (platform/posix, OpenSSL libcrypto).
//
// Keys are PEM text: a public key is a "PUBLIC KEY" block (SubjectPublicKeyInfo), a private key a
// "PRIVATE KEY" block (PKCS#8, unencrypted) or an "EC PRIVATE KEY" block (its ECPrivateKey alone)
// that holds its public point, as every key that update-sign keygen or openssl makes does. A
// signature is the DER encoding of ECDSA's (r, s). Failures of the file layer or the library are
// recorded in LastError() (platform/files.h).
#pragma once

#include <cstdint>
#include <string>

#include "platform/crypto.h"

namespace platform {

enum class SignatureStatus {
  kOk,                     // verified, or made
  kKeyNotPem,              // no PEM block of the expected kind that decodes to a key
  kKeyNotEcdsa,            // a key of another kind (RSA, Ed25519, ...)
  kKeyWrongCurve,          // an elliptic-curve key that does not name the curve P-256
  kKeyWithoutPublicPoint,  // a private key that holds no public point, or one not its own
  kSignatureMalformed,     // not exactly one DER-encoded ECDSA signature
  kMismatch,               // well-formed, but not made with this key over this file
  kFileUnreadable,         // the file could not be opened or read
  kLibraryFailure,         // the crypto library failed
};

// Checks `signature` against the SHA-256 `digest` of a file under `publicKeyPem`. The signature
// must be exactly one DER encoding of the strict form of platform/der_signature.h, on every
// system alike.
[[nodiscard]] SignatureStatus VerifyDigestSignature(const std::string& publicKeyPem,
                                                    const std::string& signature,
                                                    const uint8_t (&digest)[kSha256Length]);

// The SHA-256 of the file at `path`, read once and not written by anyone meanwhile: kOk,
// kFileUnreadable, or kLibraryFailure.
[[nodiscard]] SignatureStatus DigestOfFile(const std::string& path,
                                           uint8_t (&digest)[kSha256Length]);

// Checks `signature` against the SHA-256 of the file at `path` under `publicKeyPem`. The file is
// read once, in 64 KB blocks, and may not be written by anyone meanwhile.
[[nodiscard]] SignatureStatus VerifyFileSignature(const std::string& publicKeyPem,
                                                  const std::string& signature,
                                                  const std::string& path);

// ---- The publisher's side -------------------------------------------------------------------

struct SigningKeyPair {
  std::string PrivateKeyPem;
  std::string PublicKeyPem;
};

// Makes a new P-256 key pair, its private key as PKCS#8 with the public point: kOk or
// kLibraryFailure.
[[nodiscard]] SignatureStatus GenerateSigningKeyPair(SigningKeyPair& pair);

// Signs the SHA-256 of the file at `path` (read once, in 64 KB blocks) with `privateKeyPem` and
// stores the DER signature in `signature`, in the form that VerifyDigestSignature reads. The
// Windows build reads the key by platform/der_private_key.h and refuses one without its public
// point (kKeyWithoutPublicPoint: CNG needs it, and Wine's cannot compute it); OpenSSL computes a
// missing one.
[[nodiscard]] SignatureStatus SignFile(const std::string& privateKeyPem, const std::string& path,
                                       std::string& signature);

}  // namespace platform
