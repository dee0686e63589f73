// The crypto services on Windows, from CNG (bcrypt.dll): AES in ECB chaining mode, SHA-1 opened
// for HMAC, and BCryptDeriveKeyPBKDF2 on that HMAC provider.
#include "platform/crypto.h"

#include <windows.h>
// bcrypt.h needs the base types of windows.h first.
#include <bcrypt.h>

#include <cassert>
#include <climits>
#include <vector>

#include "platform/files.h"
#include "platform/files_internal.h"

namespace platform {
namespace {

bool Succeeded(NTSTATUS status) {
  return status >= 0;
}

void Record(const char* operation, NTSTATUS status) {
  internal::RecordError(operation, std::string(), static_cast<int>(status));
}

// A provider handle opened once per process: opening one is the expensive part of CNG.
class Provider {
 public:
  Provider(const wchar_t* algorithm, ULONG flags, const wchar_t* chainingMode) {
    status_ = BCryptOpenAlgorithmProvider(&handle_, algorithm, nullptr, flags);
    if (Succeeded(status_) && chainingMode != nullptr) {
      status_ =
          BCryptSetProperty(handle_, BCRYPT_CHAINING_MODE,
                            reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(chainingMode)),
                            static_cast<ULONG>((wcslen(chainingMode) + 1) * sizeof(wchar_t)), 0);
    }
    if (!Succeeded(status_) && handle_ != nullptr) {
      BCryptCloseAlgorithmProvider(handle_, 0);
      handle_ = nullptr;
    }
  }
  ~Provider() {
    if (handle_ != nullptr) BCryptCloseAlgorithmProvider(handle_, 0);
  }
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;

  BCRYPT_ALG_HANDLE Handle() const { return handle_; }
  NTSTATUS Status() const { return status_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
  NTSTATUS status_ = 0;
};

const Provider& AesEcb() {
  static const Provider provider(BCRYPT_AES_ALGORITHM, 0, BCRYPT_CHAIN_MODE_ECB);
  return provider;
}

const Provider& HmacSha1Provider() {
  static const Provider provider(BCRYPT_SHA1_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG, nullptr);
  return provider;
}

// HMAC pads a short key with zero bytes to the hash's block, so an empty key is the same key as a
// single zero byte. CNG is handed the latter: it may treat a zero-length secret as no key at all.
constexpr UCHAR kZeroKey = 0;

}  // namespace

// ---- AesEncryptor ---------------------------------------------------------------------------

struct AesEncryptor::State {
  BCRYPT_KEY_HANDLE key = nullptr;
  void Drop() {
    if (key != nullptr) BCryptDestroyKey(key);
    key = nullptr;
  }
  ~State() { Drop(); }
};

AesEncryptor::AesEncryptor() : state_(std::make_unique<State>()) {}
AesEncryptor::~AesEncryptor() = default;
AesEncryptor::AesEncryptor(AesEncryptor&& other) noexcept = default;
AesEncryptor& AesEncryptor::operator=(AesEncryptor&& other) noexcept = default;

bool AesEncryptor::SetKey(const uint8_t* key, size_t keyLength) {
  if (!state_) state_ = std::make_unique<State>();
  state_->Drop();
  if (keyLength != 16 && keyLength != 24 && keyLength != 32) {
    Record("aes key", static_cast<NTSTATUS>(0xC000000DL));  // STATUS_INVALID_PARAMETER
    return false;
  }
  const Provider& provider = AesEcb();
  if (provider.Handle() == nullptr) {
    Record("aes key", provider.Status());
    return false;
  }
  const NTSTATUS status =
      BCryptGenerateSymmetricKey(provider.Handle(), &state_->key, nullptr, 0,
                                 const_cast<PUCHAR>(key), static_cast<ULONG>(keyLength), 0);
  if (!Succeeded(status)) {
    state_->key = nullptr;
    Record("aes key", status);
    return false;
  }
  return true;
}

bool AesEncryptor::HasKey() const {
  return state_ && state_->key != nullptr;
}

void AesEncryptor::EncryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) {
  assert(HasKey());
  constexpr size_t kMaxBlocks = ULONG_MAX / 16;
  while (blocks > 0) {
    const size_t now = blocks < kMaxBlocks ? blocks : kMaxBlocks;
    ULONG written = 0;
    const NTSTATUS status =
        BCryptEncrypt(state_->key, const_cast<PUCHAR>(in), static_cast<ULONG>(now * 16), nullptr,
                      nullptr, 0, out, static_cast<ULONG>(now * 16), &written, 0);
    assert(Succeeded(status) && written == now * 16);
    (void)status;
    in += now * 16;
    out += now * 16;
    blocks -= now;
  }
}

// ---- HmacSha1 -------------------------------------------------------------------------------

struct HmacSha1::State {
  BCRYPT_HASH_HANDLE hash = nullptr;
  void Drop() {
    if (hash != nullptr) BCryptDestroyHash(hash);
    hash = nullptr;
  }
  ~State() { Drop(); }
};

HmacSha1::HmacSha1() : state_(std::make_unique<State>()) {}
HmacSha1::~HmacSha1() = default;
HmacSha1::HmacSha1(HmacSha1&& other) noexcept = default;
HmacSha1& HmacSha1::operator=(HmacSha1&& other) noexcept = default;

bool HmacSha1::Init(const uint8_t* key, size_t keyLength) {
  if (!state_) state_ = std::make_unique<State>();
  state_->Drop();
  const Provider& provider = HmacSha1Provider();
  if (provider.Handle() == nullptr) {
    Record("hmac", provider.Status());
    return false;
  }
  if (keyLength > ULONG_MAX) {
    Record("hmac", static_cast<NTSTATUS>(0xC000000DL));
    return false;
  }
  if (keyLength == 0) {
    key = &kZeroKey;
    keyLength = 1;
  }
  const NTSTATUS status =
      BCryptCreateHash(provider.Handle(), &state_->hash, nullptr, 0, const_cast<PUCHAR>(key),
                       static_cast<ULONG>(keyLength), 0);
  if (!Succeeded(status)) {
    state_->hash = nullptr;
    Record("hmac", status);
    return false;
  }
  return true;
}

void HmacSha1::Update(const uint8_t* data, size_t n) {
  assert(state_->hash != nullptr);
  while (n > 0) {
    const ULONG now = n < ULONG_MAX ? static_cast<ULONG>(n) : ULONG_MAX;
    const NTSTATUS status = BCryptHashData(state_->hash, const_cast<PUCHAR>(data), now, 0);
    assert(Succeeded(status));
    (void)status;
    data += now;
    n -= now;
  }
}

void HmacSha1::Final(uint8_t* out) {
  assert(state_->hash != nullptr);
  const NTSTATUS status = BCryptFinishHash(state_->hash, out, kDigestLength, 0);
  assert(Succeeded(status));
  (void)status;
  state_->Drop();
}

// ---- PBKDF2 ---------------------------------------------------------------------------------

bool Pbkdf2HmacSha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt,
                    size_t saltLength, uint32_t iterations, uint8_t* out, size_t outLength) {
  constexpr NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000DL);
  if (iterations == 0 || outLength == 0 || outLength > ULONG_MAX || passwordLength > ULONG_MAX ||
      saltLength > ULONG_MAX) {
    Record("pbkdf2", kInvalidParameter);
    return false;
  }
  const Provider& provider = HmacSha1Provider();
  if (provider.Handle() == nullptr) {
    Record("pbkdf2", provider.Status());
    return false;
  }
  // The password is the HMAC key: the same zero-padding argument as in HmacSha1::Init.
  if (passwordLength == 0) {
    password = &kZeroKey;
    passwordLength = 1;
  }
  const NTSTATUS status = BCryptDeriveKeyPBKDF2(
      provider.Handle(), const_cast<PUCHAR>(password), static_cast<ULONG>(passwordLength),
      const_cast<PUCHAR>(saltLength ? salt : &kZeroKey), static_cast<ULONG>(saltLength), iterations,
      out, static_cast<ULONG>(outLength), 0);
  if (!Succeeded(status)) {
    Record("pbkdf2", status);
    return false;
  }
  return true;
}

// ---- SHA-256 of a file ----------------------------------------------------------------------

bool Sha256OfOpenFile(File& file, uint8_t (&digest)[kSha256Length]) {
  static const Provider provider(BCRYPT_SHA256_ALGORITHM, 0, nullptr);
  if (!Succeeded(provider.Status())) {
    Record("sha-256", provider.Status());
    return false;
  }
  BCRYPT_HASH_HANDLE hash = nullptr;
  NTSTATUS status = BCryptCreateHash(provider.Handle(), &hash, nullptr, 0, nullptr, 0, 0);
  if (!Succeeded(status)) {
    Record("sha-256", status);
    return false;
  }
  std::vector<uint8_t> block(64 * 1024);
  bool read = true;
  for (;;) {
    const int32_t got = file.Read(block.data(), static_cast<int32_t>(block.size()));
    if (got <= 0) {
      read = got == 0;
      break;
    }
    status = BCryptHashData(hash, block.data(), static_cast<ULONG>(got), 0);
    if (!Succeeded(status)) break;
  }
  if (read && Succeeded(status)) {
    status = BCryptFinishHash(hash, digest, static_cast<ULONG>(kSha256Length), 0);
  }
  BCryptDestroyHash(hash);
  if (read && !Succeeded(status)) Record("sha-256", status);
  return read && Succeeded(status);
}

}  // namespace platform
