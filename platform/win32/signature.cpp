// Package signatures on Windows: crypt32 decodes the PEM text and the public key, CNG (bcrypt.dll)
// makes keys and verifies and makes ECDSA P-256 signatures over the file's SHA-256. Private keys
// are read and written by platform/der_private_key.h: Wine's crypt32, which the build is tested
// with, has no private-key encodings.
#include "platform/signature.h"

#include <windows.h>
// bcrypt.h and wincrypt.h need the base types of windows.h first.
#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/der_private_key.h"
#include "platform/der_signature.h"
#include "platform/files.h"
#include "platform/files_internal.h"

namespace platform {
namespace {

constexpr NTSTATUS kInvalidSignature = static_cast<NTSTATUS>(0xC000A000);
constexpr NTSTATUS kInvalidBufferSize = static_cast<NTSTATUS>(0xC0000206);
constexpr char kPublicKeyLabel[] = "PUBLIC KEY";
constexpr char kPkcs8Label[] = "PRIVATE KEY";
constexpr char kEcPrivateKeyLabel[] = "EC PRIVATE KEY";
constexpr ULONG kSignatureSize = 2 * kP256CoordinateSize;

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

// The DER of the first block of `pem` labelled `label` ("PUBLIC KEY": "-----BEGIN PUBLIC
// KEY-----" ... "-----END PUBLIC KEY-----"); false when there is none or it does not decode. Blocks
// of other labels (a certificate, the other kind of key) are passed over.
bool PemBlockDer(const std::string& pem, const char* label, std::vector<BYTE>& der) {
  const std::string begin = std::string("-----BEGIN ") + label + "-----";
  const std::string end = std::string("-----END ") + label + "-----";
  const size_t first = pem.find(begin);
  if (first == std::string::npos || pem.size() > MAXDWORD) return false;
  const size_t last = pem.find(end, first);
  if (last == std::string::npos) return false;
  const DWORD length = static_cast<DWORD>(last + end.size() - first);
  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.data() + first, length, CRYPT_STRING_BASE64HEADER, nullptr, &size,
                            nullptr, nullptr) ||
      size == 0) {
    return false;
  }
  der.resize(size);
  if (!CryptStringToBinaryA(pem.data() + first, length, CRYPT_STRING_BASE64HEADER, der.data(),
                            &size, nullptr, nullptr)) {
    return false;
  }
  der.resize(size);
  return true;
}

// `der` as a PEM block labelled `label`: base64 in lines of 64 characters, LF line ends.
bool PemBlock(const std::string& der, const char* label, std::string& pem) {
  DWORD size = 0;
  const auto* data = reinterpret_cast<const BYTE*>(der.data());
  const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCR;
  if (!CryptBinaryToStringA(data, static_cast<DWORD>(der.size()), flags, nullptr, &size)) {
    return false;
  }
  std::string text(size, '\0');
  if (!CryptBinaryToStringA(data, static_cast<DWORD>(der.size()), flags, text.data(), &size)) {
    return false;
  }
  text.resize(size);
  if (text.empty() || text.back() != '\n') text += '\n';
  pem = std::string("-----BEGIN ") + label + "-----\n" + text + "-----END " + label + "-----\n";
  return true;
}

// Whether the algorithm parameters of an elliptic-curve key name the curve P-256.
bool NamesP256(const CRYPT_OBJID_BLOB& parameters) {
  Decoded<LPSTR> curve;
  return curve.Decode(X509_OBJECT_IDENTIFIER, parameters.pbData, parameters.cbData) &&
         std::strcmp(*curve.Get(), szOID_ECC_CURVE_P256) == 0;
}

// The ECDSA P-256 algorithm of CNG, opened for one use.
class Provider {
 public:
  Provider() = default;
  ~Provider() {
    if (handle_ != nullptr) BCryptCloseAlgorithmProvider(handle_, 0);
  }
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;
  NTSTATUS Open() {
    return BCryptOpenAlgorithmProvider(&handle_, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
  }
  BCRYPT_ALG_HANDLE Get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

// The private key of `pem`: the first "PRIVATE KEY" block (PKCS#8), else the first "EC PRIVATE
// KEY" block. An encrypted key ("ENCRYPTED PRIVATE KEY") is neither.
SignatureStatus ReadPrivateKey(const std::string& pem, P256KeyPair& pair) {
  std::vector<BYTE> der;
  const bool pkcs8 = PemBlockDer(pem, kPkcs8Label, der);
  if (!pkcs8 && !PemBlockDer(pem, kEcPrivateKeyLabel, der)) return SignatureStatus::kKeyNotPem;
  std::string bytes(der.begin(), der.end());
  const SignatureStatus status = ReadDerPrivateKey(bytes, pkcs8, &pair);
  SecureZeroMemory(bytes.data(), bytes.size());
  SecureZeroMemory(der.data(), der.size());
  return status;
}

// The key pair as CNG's private blob: the header, X, Y, the scalar. False when CNG refuses it (a
// point that is not on the curve).
bool ImportPrivateKey(const Provider& provider, const P256KeyPair& pair, KeyHandle& key) {
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + sizeof pair.Point + sizeof pair.Scalar);
  auto* header = reinterpret_cast<BCRYPT_ECCKEY_BLOB*>(blob.data());
  header->dwMagic = BCRYPT_ECDSA_PRIVATE_P256_MAGIC;
  header->cbKey = kP256CoordinateSize;
  UCHAR* numbers = blob.data() + sizeof(BCRYPT_ECCKEY_BLOB);
  std::memcpy(numbers, pair.Point, sizeof pair.Point);
  std::memcpy(numbers + sizeof pair.Point, pair.Scalar, sizeof pair.Scalar);
  const NTSTATUS status =
      BCryptImportKeyPair(provider.Get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, key.Out(), blob.data(),
                          static_cast<ULONG>(blob.size()), 0);
  SecureZeroMemory(blob.data(), blob.size());
  return status == 0;
}

}  // namespace

SignatureStatus VerifyDigestSignature(const std::string& publicKeyPem, const std::string& signature,
                                      const uint8_t (&digest)[kSha256Length]) {
  std::vector<BYTE> der;
  Decoded<CERT_PUBLIC_KEY_INFO> info;
  if (!PemBlockDer(publicKeyPem, kPublicKeyLabel, der) ||
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

SignatureStatus GenerateSigningKeyPair(SigningKeyPair& pair) {
  pair = SigningKeyPair();
  Provider provider;
  KeyHandle key;
  if (const NTSTATUS status = provider.Open(); status != 0) {
    return LibraryFailure("generate key", static_cast<int>(status));
  }
  NTSTATUS status = BCryptGenerateKeyPair(provider.Get(), key.Out(), 256, 0);
  if (status == 0) status = BCryptFinalizeKeyPair(key.Get(), 0);
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 3 * kP256CoordinateSize);
  ULONG length = 0;
  if (status == 0) {
    status = BCryptExportKey(key.Get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(),
                             static_cast<ULONG>(blob.size()), &length, 0);
  }
  if (status != 0) return LibraryFailure("generate key", static_cast<int>(status));
  const auto* header = reinterpret_cast<const BCRYPT_ECCKEY_BLOB*>(blob.data());
  if (length != blob.size() || header->cbKey != kP256CoordinateSize) {
    return LibraryFailure("generate key", ERROR_INVALID_DATA);
  }
  // The blob holds X, Y and then the scalar, each big-endian.
  P256KeyPair made;
  const UCHAR* numbers = blob.data() + sizeof(BCRYPT_ECCKEY_BLOB);
  std::memcpy(made.Point, numbers, sizeof made.Point);
  std::memcpy(made.Scalar, numbers + sizeof made.Point, sizeof made.Scalar);
  std::string der = DerPkcs8PrivateKey(made);
  const bool written = PemBlock(der, kPkcs8Label, pair.PrivateKeyPem) &&
                       PemBlock(DerPublicKeyInfo(made), kPublicKeyLabel, pair.PublicKeyPem);
  const DWORD error = GetLastError();
  SecureZeroMemory(blob.data(), blob.size());
  SecureZeroMemory(made.Scalar, sizeof made.Scalar);
  SecureZeroMemory(der.data(), der.size());
  if (written) return SignatureStatus::kOk;
  pair = SigningKeyPair();
  return LibraryFailure("generate key", static_cast<int>(error));
}

SignatureStatus SignFile(const std::string& privateKeyPem, const std::string& path,
                         std::string& signature) {
  signature.clear();
  P256KeyPair pair;
  const SignatureStatus read = ReadPrivateKey(privateKeyPem, pair);
  if (read != SignatureStatus::kOk) return read;
  Provider provider;
  KeyHandle key;
  if (const NTSTATUS status = provider.Open(); status != 0) {
    return LibraryFailure("sign", static_cast<int>(status));
  }
  const bool imported = ImportPrivateKey(provider, pair, key);
  SecureZeroMemory(pair.Scalar, sizeof pair.Scalar);
  if (!imported) return SignatureStatus::kKeyWithoutPublicPoint;

  uint8_t digest[kSha256Length];
  if (const SignatureStatus digested = DigestOfFile(path, digest);
      digested != SignatureStatus::kOk) {
    return digested;
  }
  // The size is not asked first: Wine answers 32 bytes, where r and s take 64.
  uint8_t rs[kSignatureSize];
  ULONG length = 0;
  NTSTATUS status =
      BCryptSignHash(key.Get(), nullptr, digest, kSha256Length, rs, kSignatureSize, &length, 0);
  if (status == 0 && length != kSignatureSize) status = kInvalidBufferSize;
  if (status != 0) return LibraryFailure("sign", static_cast<int>(status));
  // Checked under the public point the key file holds, which its update.pub was made from: a
  // point that is not the scalar's would sign updates that no installation verifies.
  status = BCryptVerifySignature(key.Get(), nullptr, digest, kSha256Length, rs, kSignatureSize, 0);
  if (status == kInvalidSignature) return SignatureStatus::kKeyWithoutPublicPoint;
  if (status != 0) return LibraryFailure("sign", static_cast<int>(status));
  signature = DerEcdsaSignature(rs);
  return SignatureStatus::kOk;
}

}  // namespace platform
