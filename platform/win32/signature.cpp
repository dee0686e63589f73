// Package signatures on Windows: crypt32 decodes the PEM key, CNG (bcrypt.dll) verifies ECDSA
// P-256 over the file's SHA-256. Signing is not offered.
#include "platform/signature.h"

#include <windows.h>
// bcrypt.h and wincrypt.h need the base types of windows.h first.
#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/der_signature.h"
#include "platform/files.h"
#include "platform/files_internal.h"

namespace platform {
namespace {

constexpr NTSTATUS kInvalidSignature = static_cast<NTSTATUS>(0xC000A000);
constexpr char kBegin[] = "-----BEGIN PUBLIC KEY-----";
constexpr char kEnd[] = "-----END PUBLIC KEY-----";

SignatureStatus LibraryFailure(const char* operation, int code) {
  internal::RecordError(operation, std::string(), code);
  return SignatureStatus::kLibraryFailure;
}

// Memory that crypt32 allocated for a decoded structure (CRYPT_DECODE_ALLOC_FLAG).
template <typename T>
class Decoded {
 public:
  Decoded() = default;
  ~Decoded() {
    if (value_ != nullptr) LocalFree(value_);
  }
  Decoded(const Decoded&) = delete;
  Decoded& operator=(const Decoded&) = delete;

  // Decodes `size` bytes of DER as `structType`; false when they are not one.
  bool Decode(LPCSTR structType, const BYTE* data, size_t size) {
    DWORD length = 0;
    return CryptDecodeObjectEx(X509_ASN_ENCODING, structType, data, static_cast<DWORD>(size),
                               CRYPT_DECODE_ALLOC_FLAG, nullptr, &value_, &length) != FALSE;
  }
  T* operator->() const { return value_; }
  T* Get() const { return value_; }

 private:
  T* value_ = nullptr;
};

class KeyHandle {
 public:
  KeyHandle() = default;
  ~KeyHandle() {
    if (handle_ != nullptr) BCryptDestroyKey(handle_);
  }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  BCRYPT_KEY_HANDLE* Out() { return &handle_; }
  BCRYPT_KEY_HANDLE Get() const { return handle_; }

 private:
  BCRYPT_KEY_HANDLE handle_ = nullptr;
};

// The DER of the first "PUBLIC KEY" block of `pem`; false when there is none or it does not
// decode. Other blocks (a certificate, a private key) are not taken for the key.
bool PublicKeyDer(const std::string& pem, std::vector<BYTE>& der) {
  const size_t begin = pem.find(kBegin);
  if (begin == std::string::npos) return false;
  const size_t end = pem.find(kEnd, begin);
  if (end == std::string::npos) return false;
  const DWORD length = static_cast<DWORD>(end + std::strlen(kEnd) - begin);
  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.data() + begin, length, CRYPT_STRING_BASE64HEADER, nullptr, &size,
                            nullptr, nullptr) ||
      size == 0) {
    return false;
  }
  der.resize(size);
  return CryptStringToBinaryA(pem.data() + begin, length, CRYPT_STRING_BASE64HEADER, der.data(),
                              &size, nullptr, nullptr) != FALSE;
}

// Whether the algorithm parameters of an elliptic-curve key name the curve P-256.
bool NamesP256(const CRYPT_OBJID_BLOB& parameters) {
  Decoded<LPSTR> curve;
  return curve.Decode(X509_OBJECT_IDENTIFIER, parameters.pbData, parameters.cbData) &&
         std::strcmp(*curve.Get(), szOID_ECC_CURVE_P256) == 0;
}

}  // namespace

SignatureStatus VerifyDigestSignature(const std::string& publicKeyPem, const std::string& signature,
                                      const uint8_t (&digest)[kSha256Length]) {
  std::vector<BYTE> der;
  Decoded<CERT_PUBLIC_KEY_INFO> info;
  if (publicKeyPem.size() > MAXDWORD || !PublicKeyDer(publicKeyPem, der) ||
      !info.Decode(X509_PUBLIC_KEY_INFO, der.data(), der.size())) {
    return SignatureStatus::kKeyNotPem;
  }
  if (info->Algorithm.pszObjId == nullptr ||
      std::strcmp(info->Algorithm.pszObjId, szOID_ECC_PUBLIC_KEY) != 0) {
    return SignatureStatus::kKeyNotEcdsa;
  }
  if (!NamesP256(info->Algorithm.Parameters)) return SignatureStatus::kKeyWrongCurve;
  KeyHandle key;
  if (!CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, info.Get(), 0, nullptr, key.Out())) {
    return SignatureStatus::kKeyNotPem;
  }

  // CNG takes r and s as one big-endian string of twice the coordinate size.
  uint8_t rs[2 * kP256CoordinateSize];
  if (!ParseDerEcdsaSignature(signature, rs)) return SignatureStatus::kSignatureMalformed;

  const NTSTATUS status = BCryptVerifySignature(key.Get(), nullptr, const_cast<PUCHAR>(digest),
                                                kSha256Length, rs, sizeof rs, 0);
  if (status == 0) return SignatureStatus::kOk;
  if (status == kInvalidSignature) return SignatureStatus::kMismatch;
  return LibraryFailure("verify", static_cast<int>(status));
}

bool SigningAvailable() {
  return false;
}

SignatureStatus GenerateSigningKeyPair(SigningKeyPair& pair) {
  pair = SigningKeyPair();
  internal::RecordError("generate key", std::string(), ERROR_NOT_SUPPORTED);
  return SignatureStatus::kUnavailable;
}

SignatureStatus SignFile(const std::string&, const std::string& path, std::string& signature) {
  signature.clear();
  internal::RecordError("sign", path, ERROR_NOT_SUPPORTED);
  return SignatureStatus::kUnavailable;
}

}  // namespace platform
