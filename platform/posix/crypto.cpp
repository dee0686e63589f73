// The crypto services on POSIX, from OpenSSL's libcrypto: EVP AES-ECB without padding, the EVP_MAC
// HMAC with SHA-1, and PKCS5_PBKDF2_HMAC.
#include "platform/crypto.h"

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <cassert>
#include <climits>
#include <memory>
#include <vector>

#include "platform/files.h"
#include "platform/files_internal.h"

namespace platform {
namespace {

void Record(const char* operation) {
  internal::RecordError(operation, std::string(), static_cast<int>(ERR_get_error() & INT_MAX));
  ERR_clear_error();
}

// The HMAC implementation, fetched from the default provider once per process.
EVP_MAC* HmacAlgorithm() {
  struct Holder {
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    ~Holder() { EVP_MAC_free(mac); }
  };
  static Holder holder;
  return holder.mac;
}

}  // namespace

// ---- AesEncryptor ---------------------------------------------------------------------------

struct AesEncryptor::State {
  EVP_CIPHER_CTX* ctx = nullptr;
  bool keyed = false;
  ~State() { EVP_CIPHER_CTX_free(ctx); }
};

AesEncryptor::AesEncryptor() : state_(std::make_unique<State>()) {}
AesEncryptor::~AesEncryptor() = default;
AesEncryptor::AesEncryptor(AesEncryptor&& other) noexcept = default;
AesEncryptor& AesEncryptor::operator=(AesEncryptor&& other) noexcept = default;

bool AesEncryptor::SetKey(const uint8_t* key, size_t keyLength) {
  if (!state_) state_ = std::make_unique<State>();
  state_->keyed = false;
  const EVP_CIPHER* cipher = keyLength == 16   ? EVP_aes_128_ecb()
                             : keyLength == 24 ? EVP_aes_192_ecb()
                             : keyLength == 32 ? EVP_aes_256_ecb()
                                               : nullptr;
  if (cipher == nullptr) {
    internal::RecordError("aes key", std::string(), 0);
    return false;
  }
  if (state_->ctx == nullptr) state_->ctx = EVP_CIPHER_CTX_new();
  if (state_->ctx == nullptr ||
      EVP_EncryptInit_ex(state_->ctx, cipher, nullptr, key, nullptr) != 1 ||
      EVP_CIPHER_CTX_set_padding(state_->ctx, 0) != 1) {
    Record("aes key");
    return false;
  }
  state_->keyed = true;
  return true;
}

bool AesEncryptor::HasKey() const {
  return state_ && state_->keyed;
}

void AesEncryptor::EncryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) {
  assert(HasKey());
  // EVP counts in int: hand it the blocks in slices that fit.
  constexpr size_t kMaxBlocks = (INT_MAX / 16) & ~size_t{15};
  while (blocks > 0) {
    const size_t now = blocks < kMaxBlocks ? blocks : kMaxBlocks;
    int written = 0;
    const int ok = EVP_EncryptUpdate(state_->ctx, out, &written, in, static_cast<int>(now * 16));
    assert(ok == 1 && written == static_cast<int>(now * 16));
    (void)ok;
    in += now * 16;
    out += now * 16;
    blocks -= now;
  }
}

// ---- HmacSha1 -------------------------------------------------------------------------------

struct HmacSha1::State {
  EVP_MAC_CTX* ctx = nullptr;
  ~State() { EVP_MAC_CTX_free(ctx); }
};

HmacSha1::HmacSha1() : state_(std::make_unique<State>()) {}
HmacSha1::~HmacSha1() = default;
HmacSha1::HmacSha1(HmacSha1&& other) noexcept = default;
HmacSha1& HmacSha1::operator=(HmacSha1&& other) noexcept = default;

bool HmacSha1::Init(const uint8_t* key, size_t keyLength) {
  if (!state_) state_ = std::make_unique<State>();
  if (state_->ctx == nullptr) {
    EVP_MAC* mac = HmacAlgorithm();
    if (mac != nullptr) state_->ctx = EVP_MAC_CTX_new(mac);
    if (state_->ctx == nullptr) {
      Record("hmac");
      return false;
    }
  }
  char digest[] = "SHA1";
  const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                               OSSL_PARAM_END};
  // OpenSSL refuses a null key pointer even for length 0.
  static const uint8_t kNoKey = 0;
  if (EVP_MAC_init(state_->ctx, keyLength == 0 ? &kNoKey : key, keyLength, params) != 1) {
    Record("hmac");
    return false;
  }
  return true;
}

void HmacSha1::Update(const uint8_t* data, size_t n) {
  if (n == 0) return;
  const int ok = EVP_MAC_update(state_->ctx, data, n);
  assert(ok == 1);
  (void)ok;
}

void HmacSha1::Final(uint8_t* out) {
  size_t written = 0;
  const int ok = EVP_MAC_final(state_->ctx, out, &written, kDigestLength);
  assert(ok == 1 && written == kDigestLength);
  (void)ok;
}

// ---- PBKDF2 ---------------------------------------------------------------------------------

bool Pbkdf2HmacSha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt,
                    size_t saltLength, uint32_t iterations, uint8_t* out, size_t outLength) {
  if (iterations == 0 || iterations > INT_MAX || outLength == 0 || outLength > INT_MAX ||
      passwordLength > INT_MAX || saltLength > INT_MAX) {
    internal::RecordError("pbkdf2", std::string(), 0);
    return false;
  }
  static const uint8_t kEmpty = 0;
  if (PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(passwordLength ? password : &kEmpty),
                        static_cast<int>(passwordLength), saltLength ? salt : &kEmpty,
                        static_cast<int>(saltLength), static_cast<int>(iterations), EVP_sha1(),
                        static_cast<int>(outLength), out) != 1) {
    Record("pbkdf2");
    return false;
  }
  return true;
}

// ---- SHA-256 of a file ----------------------------------------------------------------------

bool Sha256OfFile(const std::string& path, uint8_t (&digest)[kSha256Length]) {
  File file = File::Open(path, kOpenRead | kShareDenyWrite);
  if (!file.IsOpen()) return false;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) {
    Record("sha-256");
    return false;
  }
  std::vector<uint8_t> block(64 * 1024);
  for (;;) {
    const int32_t got = file.Read(block.data(), static_cast<int32_t>(block.size()));
    if (got < 0) return false;
    if (got == 0) break;
    if (EVP_DigestUpdate(ctx.get(), block.data(), static_cast<size_t>(got)) != 1) {
      Record("sha-256");
      return false;
    }
  }
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1 || length != kSha256Length) {
    Record("sha-256");
    return false;
  }
  return true;
}

}  // namespace platform
