// Time of one AES-256 entry's key derivation (PBKDF2-HMAC-SHA-1, 1,000 iterations, 66 bytes): the
// platform's Pbkdf2HmacSha1 against OpenSSL's PKCS5_PBKDF2_HMAC and against HMACs of pre-keyed EVP
// contexts copied for every iteration.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <cstring>

#include "platform/crypto.h"

namespace {

constexpr uint32_t kIterations = 1000;
constexpr size_t kOut = 66;
const uint8_t kPassword[] = {'S', 'E', 'C', 'R', 'E', 'T'};
const uint8_t kSalt[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

void BM_Platform(benchmark::State& state) {
  uint8_t out[kOut];
  for (auto _ : state) {
    platform::Pbkdf2HmacSha1(kPassword, sizeof kPassword, kSalt, sizeof kSalt, kIterations, out,
                             kOut);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_Platform)->Unit(benchmark::kMicrosecond);

void BM_OpenSslPkcs5(benchmark::State& state) {
  uint8_t out[kOut];
  for (auto _ : state) {
    PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(kPassword), sizeof kPassword, kSalt,
                      sizeof kSalt, kIterations, EVP_sha1(), kOut, out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_OpenSslPkcs5)->Unit(benchmark::kMicrosecond);

// The same derivation with EVP only: the inner and outer digests keyed once, copied per HMAC.
void BM_EvpCopiedContexts(benchmark::State& state) {
  EVP_MD* sha1 = EVP_MD_fetch(nullptr, "SHA1", nullptr);
  EVP_MD_CTX* inner = EVP_MD_CTX_new();
  EVP_MD_CTX* outer = EVP_MD_CTX_new();
  EVP_MD_CTX* work = EVP_MD_CTX_new();
  uint8_t ipad[64] = {}, opad[64] = {};
  std::memcpy(ipad, kPassword, sizeof kPassword);
  std::memcpy(opad, kPassword, sizeof kPassword);
  for (int i = 0; i < 64; ++i) {
    ipad[i] ^= 0x36;
    opad[i] ^= 0x5C;
  }
  EVP_DigestInit_ex(inner, sha1, nullptr);
  EVP_DigestUpdate(inner, ipad, 64);
  EVP_DigestInit_ex(outer, sha1, nullptr);
  EVP_DigestUpdate(outer, opad, 64);
  uint8_t out[80];
  for (auto _ : state) {
    for (uint32_t block = 1; block <= (kOut + 19) / 20; ++block) {
      const uint8_t index[4] = {0, 0, 0, static_cast<uint8_t>(block)};
      uint8_t u[20], t[20];
      unsigned int len = 0;
      EVP_MD_CTX_copy_ex(work, inner);
      EVP_DigestUpdate(work, kSalt, sizeof kSalt);
      EVP_DigestUpdate(work, index, 4);
      EVP_DigestFinal_ex(work, u, &len);
      EVP_MD_CTX_copy_ex(work, outer);
      EVP_DigestUpdate(work, u, 20);
      EVP_DigestFinal_ex(work, u, &len);
      std::memcpy(t, u, 20);
      for (uint32_t j = 1; j < kIterations; ++j) {
        EVP_MD_CTX_copy_ex(work, inner);
        EVP_DigestUpdate(work, u, 20);
        EVP_DigestFinal_ex(work, u, &len);
        EVP_MD_CTX_copy_ex(work, outer);
        EVP_DigestUpdate(work, u, 20);
        EVP_DigestFinal_ex(work, u, &len);
        for (int i = 0; i < 20; ++i) t[i] ^= u[i];
      }
      std::memcpy(out + 20 * (block - 1), t, 20);
    }
    benchmark::DoNotOptimize(out);
  }
  EVP_MD_CTX_free(work);
  EVP_MD_CTX_free(outer);
  EVP_MD_CTX_free(inner);
  EVP_MD_free(sha1);
}
BENCHMARK(BM_EvpCopiedContexts)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
