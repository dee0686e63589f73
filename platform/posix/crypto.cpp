// The crypto services on POSIX, from OpenSSL's libcrypto: EVP AES-ECB without padding, the EVP_MAC
// HMAC with SHA-1, and PBKDF2 on libcrypto's SHA-1 block function (SHA1_Transform).
#include "platform/crypto.h"

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/sha.h>

#include <cassert>
#include <climits>
#include <cstring>
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

namespace {

// PBKDF2 spends its time in HMACs of 20-byte messages. With the key's inner and outer SHA-1 states
// computed once, each of them is two SHA-1 block computations on a block padded by hand; EVP
// would rebuild contexts and pad on every call, some ten times the work. The low-level SHA-1
// calls are deprecated in OpenSSL 3 but stay the one way to reach the block function itself
// (SHA extensions or AVX2 as the CPU allows).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

constexpr size_t kShaBlock = 64;
constexpr size_t kShaDigest = SHA_DIGEST_LENGTH;

struct Sha1Words {
  uint32_t h[5];
};

Sha1Words WordsOf(const SHA_CTX& ctx) {
  return {{ctx.h0, ctx.h1, ctx.h2, ctx.h3, ctx.h4}};
}

void SetWords(SHA_CTX& ctx, const Sha1Words& w) {
  ctx.h0 = w.h[0];
  ctx.h1 = w.h[1];
  ctx.h2 = w.h[2];
  ctx.h3 = w.h[3];
  ctx.h4 = w.h[4];
}

void PutDigest(const Sha1Words& w, uint8_t* out) {
  for (int i = 0; i < 5; ++i) {
    out[4 * i] = static_cast<uint8_t>(w.h[i] >> 24);
    out[4 * i + 1] = static_cast<uint8_t>(w.h[i] >> 16);
    out[4 * i + 2] = static_cast<uint8_t>(w.h[i] >> 8);
    out[4 * i + 3] = static_cast<uint8_t>(w.h[i]);
  }
}

// The key's states after its padded block XOR ipad and XOR opad.
struct HmacKeyStates {
  SHA_CTX inner;
  SHA_CTX outer;
};

HmacKeyStates KeyStates(const uint8_t* key, size_t keyLength) {
  uint8_t block[kShaBlock] = {};
  if (keyLength > kShaBlock) {
    SHA1(key, keyLength, block);
  } else if (keyLength > 0) {
    std::memcpy(block, key, keyLength);
  }
  HmacKeyStates states;
  uint8_t pad[kShaBlock];
  for (size_t i = 0; i < kShaBlock; ++i) pad[i] = block[i] ^ 0x36;
  SHA1_Init(&states.inner);
  SHA1_Update(&states.inner, pad, kShaBlock);
  for (size_t i = 0; i < kShaBlock; ++i) pad[i] = block[i] ^ 0x5C;
  SHA1_Init(&states.outer);
  SHA1_Update(&states.outer, pad, kShaBlock);
  OPENSSL_cleanse(block, sizeof block);
  OPENSSL_cleanse(pad, sizeof pad);
  return states;
}

// U1 of output block `index`: HMAC(salt || index), the block's first link.
void FirstLink(const HmacKeyStates& key, const uint8_t* salt, size_t saltLength, uint32_t index,
               uint8_t* u) {
  SHA_CTX ctx = key.inner;
  SHA1_Update(&ctx, salt, saltLength);
  const uint8_t be[4] = {static_cast<uint8_t>(index >> 24), static_cast<uint8_t>(index >> 16),
                         static_cast<uint8_t>(index >> 8), static_cast<uint8_t>(index)};
  SHA1_Update(&ctx, be, sizeof be);
  SHA1_Final(u, &ctx);
  ctx = key.outer;
  SHA1_Update(&ctx, u, kShaDigest);
  SHA1_Final(u, &ctx);
  OPENSSL_cleanse(&ctx, sizeof ctx);
}

// Output blocks of PBKDF2 made side by side: for each, U1 = HMAC(salt || index), Uj = HMAC(Uj-1),
// and the XOR of all. One chain of SHA-1 blocks is bound by the latency of the SHA instructions;
// the blocks' chains are independent, and stepping them in turn lets the CPU overlap one chain's
// rounds with the next one's (an AES-256 key takes four blocks; twice as fast as one at a time).
constexpr size_t kLanes = 4;

void Pbkdf2Blocks(const HmacKeyStates& key, const uint8_t* salt, size_t saltLength,
                  uint32_t firstIndex, size_t lanes, uint32_t iterations,
                  uint8_t (*out)[kShaDigest]) {
  assert(lanes >= 1 && lanes <= kLanes);
  // The message of every later HMAC is one 20-byte digest: after the 64-byte key block it fills a
  // single block with its padding, 0x80 and the bit length (64 + 20) * 8 = 672 at the end. The
  // XOR of the Uj is kept in words and turned into bytes once.
  uint8_t block[kLanes][kShaBlock] = {};
  Sha1Words t[kLanes];
  SHA_CTX work[kLanes];
  for (size_t l = 0; l < lanes; ++l) {
    FirstLink(key, salt, saltLength, firstIndex + static_cast<uint32_t>(l), block[l]);
    block[l][kShaDigest] = 0x80;
    block[l][kShaBlock - 2] = 672 >> 8;
    block[l][kShaBlock - 1] = 672 & 0xFF;
    t[l] = {};
    for (int i = 0; i < 5; ++i) {
      t[l].h[i] = static_cast<uint32_t>(block[l][4 * i]) << 24 |
                  static_cast<uint32_t>(block[l][4 * i + 1]) << 16 |
                  static_cast<uint32_t>(block[l][4 * i + 2]) << 8 | block[l][4 * i + 3];
    }
    work[l] = key.inner;
  }
  const Sha1Words inner = WordsOf(key.inner);
  const Sha1Words outer = WordsOf(key.outer);
  for (uint32_t j = 1; j < iterations; ++j) {
    for (size_t l = 0; l < lanes; ++l) {
      SetWords(work[l], inner);
      SHA1_Transform(&work[l], block[l]);
    }
    for (size_t l = 0; l < lanes; ++l) {
      PutDigest(WordsOf(work[l]), block[l]);
      SetWords(work[l], outer);
      SHA1_Transform(&work[l], block[l]);
    }
    for (size_t l = 0; l < lanes; ++l) {
      const Sha1Words w = WordsOf(work[l]);
      PutDigest(w, block[l]);
      for (int i = 0; i < 5; ++i) t[l].h[i] ^= w.h[i];
    }
  }
  for (size_t l = 0; l < lanes; ++l) PutDigest(t[l], out[l]);
  OPENSSL_cleanse(work, sizeof work);
  OPENSSL_cleanse(block, sizeof block);
  OPENSSL_cleanse(t, sizeof t);
}

#pragma GCC diagnostic pop

}  // namespace

bool Pbkdf2HmacSha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt,
                    size_t saltLength, uint32_t iterations, uint8_t* out, size_t outLength) {
  // The limits of the former PKCS5_PBKDF2_HMAC call, kept as the contract's bad arguments.
  if (iterations == 0 || iterations > INT_MAX || outLength == 0 || outLength > INT_MAX ||
      passwordLength > INT_MAX || saltLength > INT_MAX) {
    internal::RecordError("pbkdf2", std::string(), 0);
    return false;
  }
  HmacKeyStates key = KeyStates(password, passwordLength);
  uint8_t blocks[kLanes][kShaDigest];
  uint32_t index = 1;
  for (size_t done = 0; done < outLength;) {
    const size_t left = (outLength - done + kShaDigest - 1) / kShaDigest;
    const size_t lanes = left < kLanes ? left : kLanes;
    Pbkdf2Blocks(key, salt, saltLength, index, lanes, iterations, blocks);
    for (size_t l = 0; l < lanes; ++l, ++index, done += kShaDigest) {
      const size_t now = outLength - done < kShaDigest ? outLength - done : kShaDigest;
      std::memcpy(out + done, blocks[l], now);
    }
  }
  OPENSSL_cleanse(&key, sizeof key);
  OPENSSL_cleanse(blocks, sizeof blocks);
  return true;
}

// ---- SHA-256 of a file ----------------------------------------------------------------------

bool Sha256OfOpenFile(File& file, uint8_t (&digest)[kSha256Length]) {
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
