// The DER encodings of a P-256 key pair, read by one strict rule and written as OpenSSL writes
// them, for a system whose library reads no private key files (Windows: Wine's crypt32 has no
// decoder for them). Private keys are PKCS#8 PrivateKeyInfo around an ECPrivateKey, or that
// ECPrivateKey alone (the traditional "EC PRIVATE KEY" block); public keys SubjectPublicKeyInfo.
// Every length is bounds-checked against the bytes given; nothing is read beyond them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/der_signature.h"
#include "platform/signature.h"

namespace platform {

// A key pair as big-endian numbers: what CNG's ECC key blobs hold.
struct P256KeyPair {
  uint8_t Scalar[kP256CoordinateSize] = {};
  uint8_t Point[2 * kP256CoordinateSize] = {};  // X, then Y
};

// Reads a private key: PKCS#8 when `pkcs8`, else a lone ECPrivateKey. kOk with `key` filled;
// kKeyNotEcdsa for a PKCS#8 key of another algorithm; kKeyWrongCurve when the curve named is not
// P-256 or no curve is named; kKeyWithoutPublicPoint when the key holds no uncompressed public
// point (signing needs it, and it is not computed here); kKeyNotPem for anything else, a scalar
// outside 1..n-1 among it.
[[nodiscard]] SignatureStatus ReadDerPrivateKey(const std::string& der, bool pkcs8,
                                                P256KeyPair* key);

// The PKCS#8 encoding of `key` (its ECPrivateKey with the public point and without parameters),
// and the SubjectPublicKeyInfo of its public point: byte for byte what OpenSSL writes.
std::string DerPkcs8PrivateKey(const P256KeyPair& key);
std::string DerPublicKeyInfo(const P256KeyPair& key);

}  // namespace platform
