// Package signatures on Windows: crypt32 decodes the PEM key and the DER signature, CNG
// (bcrypt.dll) hashes the file with SHA-256 and verifies ECDSA P-256. Signing is not offered.
#include "platform/signature.h"

#include <windows.h>
// bcrypt.h and wincrypt.h need the base types of windows.h first.
#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/files_internal.h"

namespace platform {
namespace {

constexpr int32_t kBlockSize = 64 * 1024;
constexpr size_t kCoordinateSize = 32;  // P-256: r and s are 32-byte numbers
constexpr size_t kSha256Size = 32;
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

class HashHandle {
 public:
  HashHandle() = default;
  ~HashHandle() {
    if (handle_ != nullptr) BCryptDestroyHash(handle_);
  }
  HashHandle(const HashHandle&) = delete;
  HashHandle& operator=(const HashHandle&) = delete;
  BCRYPT_HASH_HANDLE* Out() { return &handle_; }
  BCRYPT_HASH_HANDLE Get() const { return handle_; }

 private:
  BCRYPT_HASH_HANDLE handle_ = nullptr;
};

// The SHA-256 provider, opened once per process.
struct Sha256Provider {
  BCRYPT_ALG_HANDLE handle = nullptr;
  NTSTATUS status = BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
  ~Sha256Provider() {
    if (handle != nullptr) BCryptCloseAlgorithmProvider(handle, 0);
  }
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

// A little-endian number of crypt32 as `kCoordinateSize` big-endian bytes at `out`; false when
// it does not fit (then it is no coordinate of P-256, and the signature cannot match).
bool BigEndianCoordinate(const CRYPT_UINT_BLOB& number, BYTE* out) {
  size_t length = number.cbData;
  while (length > 0 && number.pbData[length - 1] == 0) --length;
  if (length > kCoordinateSize) return false;
  std::memset(out, 0, kCoordinateSize);
  std::reverse_copy(number.pbData, number.pbData + length, out + kCoordinateSize - length);
  return true;
}

// crypt32 ignores bytes after an encoding. A signature of P-256 is shorter than 128 bytes, so its
// outer SEQUENCE has a one-byte length, which must span the rest of the file.
bool SpansWhole(const std::string& der) {
  return der.size() >= 2 && static_cast<BYTE>(der[0]) == 0x30 && static_cast<BYTE>(der[1]) < 0x80 &&
         der.size() == 2 + static_cast<size_t>(static_cast<BYTE>(der[1]));
}

// SHA-256 of the file at `path`, read in blocks.
SignatureStatus HashFile(const std::string& path, BYTE* digest) {
  static const Sha256Provider provider;
  if (provider.status < 0) return LibraryFailure("sha-256", static_cast<int>(provider.status));
  File file = File::Open(path, kOpenRead | kShareDenyWrite);
  if (!file.IsOpen()) return SignatureStatus::kFileUnreadable;
  HashHandle hash;
  NTSTATUS status = BCryptCreateHash(provider.handle, hash.Out(), nullptr, 0, nullptr, 0, 0);
  if (status < 0) return LibraryFailure("sha-256", static_cast<int>(status));
  std::vector<BYTE> block(kBlockSize);
  for (;;) {
    const int32_t got = file.Read(block.data(), kBlockSize);
    if (got < 0) return SignatureStatus::kFileUnreadable;
    if (got == 0) break;
    status = BCryptHashData(hash.Get(), block.data(), static_cast<ULONG>(got), 0);
    if (status < 0) return LibraryFailure("sha-256", static_cast<int>(status));
  }
  status = BCryptFinishHash(hash.Get(), digest, kSha256Size, 0);
  if (status < 0) return LibraryFailure("sha-256", static_cast<int>(status));
  return SignatureStatus::kOk;
}

}  // namespace

SignatureStatus VerifyFileSignature(const std::string& publicKeyPem, const std::string& signature,
                                    const std::string& path) {
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

  Decoded<CERT_ECC_SIGNATURE> decoded;
  if (!SpansWhole(signature) ||
      !decoded.Decode(X509_ECC_SIGNATURE, reinterpret_cast<const BYTE*>(signature.data()),
                      signature.size())) {
    return SignatureStatus::kSignatureMalformed;
  }
  // CNG takes r and s as one big-endian string of twice the coordinate size.
  BYTE rs[2 * kCoordinateSize];
  if (!BigEndianCoordinate(decoded->r, rs) ||
      !BigEndianCoordinate(decoded->s, rs + kCoordinateSize)) {
    return SignatureStatus::kMismatch;
  }

  BYTE digest[kSha256Size];
  if (const SignatureStatus hashed = HashFile(path, digest); hashed != SignatureStatus::kOk) {
    return hashed;
  }
  const NTSTATUS status =
      BCryptVerifySignature(key.Get(), nullptr, digest, sizeof digest, rs, sizeof rs, 0);
  if (status >= 0) return SignatureStatus::kOk;
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
