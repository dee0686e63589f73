// AES entry decryption: keys and verifier from PBKDF2-HMAC-SHA-1, counter mode with a 64-bit
// little-endian block counter starting at 1, HMAC-SHA-1 over the encrypted bytes.
#include "unzip/crypto/aes_decryptor.h"

#include <algorithm>
#include <cassert>

bool TAesDecryptor::Verify(int strength, std::string_view password, const uint8_t* salt,
                           const uint8_t* verifier) {
  ready_ = false;
  finished_ = false;
  counter_ = 0;
  position_ = keyStream_.size();
  code_.fill(0);
  if (!IsValidStrength(strength) || password.empty() || password.size() > kMaxPasswordLength) {
    return false;
  }
  const size_t keyLength = KeyLength(strength);
  // AES key, HMAC key, verifier.
  std::array<uint8_t, 2 * 32 + kVerifierLength> derived{};
  const size_t derivedLength = 2 * keyLength + kVerifierLength;
  if (!platform::Pbkdf2HmacSha1(reinterpret_cast<const uint8_t*>(password.data()), password.size(),
                                salt, SaltLength(strength), kIterations, derived.data(),
                                derivedLength)) {
    return false;
  }
  const uint8_t* expected = derived.data() + 2 * keyLength;
  const bool verified = expected[0] == verifier[0] && expected[1] == verifier[1] &&
                        aes_.SetKey(derived.data(), keyLength) &&
                        hmac_.Init(derived.data() + keyLength, keyLength);
  derived.fill(0);
  ready_ = verified;
  return verified;
}

void TAesDecryptor::RefillKeyStream() {
  for (size_t i = 0; i < kStreamBlocks; ++i) {
    uint8_t* block = keyStream_.data() + 16 * i;
    ++counter_;
    for (int b = 0; b < 8; ++b) block[b] = static_cast<uint8_t>(counter_ >> (8 * b));
    std::fill(block + 8, block + 16, uint8_t{0});
  }
  aes_.EncryptBlocks(keyStream_.data(), keyStream_.data(), kStreamBlocks);
  position_ = 0;
}

void TAesDecryptor::DecryptBlock(uint8_t* data, size_t n) {
  assert(ready_ && !finished_);
  if (!ready_ || finished_) return;
  hmac_.Update(data, n);
  while (n > 0) {
    if (position_ == keyStream_.size()) RefillKeyStream();
    const size_t now = std::min(n, keyStream_.size() - position_);
    const uint8_t* stream = keyStream_.data() + position_;
    for (size_t i = 0; i < now; ++i) data[i] ^= stream[i];
    data += now;
    n -= now;
    position_ += now;
  }
}

std::array<uint8_t, TAesDecryptor::kAuthenticationCodeLength> TAesDecryptor::AuthenticationCode() {
  assert(ready_);
  if (ready_ && !finished_) {
    uint8_t full[platform::HmacSha1::kDigestLength];
    hmac_.Final(full);
    std::copy(full, full + kAuthenticationCodeLength, code_.begin());
    finished_ = true;
  }
  return code_;
}
