// The AES context of one encrypted entry: password verification through PBKDF2-HMAC-SHA-1, and
// decryption in counter mode with HMAC-SHA-1 authentication over the stored bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/crypto.h"
#include "unzip/base/zip_format.h"

// An AES entry's data: salt, 2-byte password verifier, encrypted bytes, 10-byte authentication
// code. Sizes follow from the strength code m of the AES extra field (1 = AES-128, 2 = AES-192,
// 3 = AES-256); every other code is refused.
class TAesDecryptor {
 public:
  static constexpr size_t kVerifierLength = 2;
  static constexpr size_t kAuthenticationCodeLength = 10;
  // Longer passwords are refused before anything is derived.
  static constexpr size_t kMaxPasswordLength = 128;
  static constexpr uint32_t kIterations = 1000;

  static constexpr bool IsValidStrength(int strength) {
    return strength >= kAesStrength128 && strength <= kAesStrength256;
  }
  // 4m + 4: 8, 12 or 16 bytes; 0 for a code that is not valid.
  static constexpr size_t SaltLength(int strength) {
    return IsValidStrength(strength) ? 4 * static_cast<size_t>(strength) + 4 : 0;
  }
  // 8m + 8 for the AES key and for the HMAC key alike; 0 for a code that is not valid.
  static constexpr size_t KeyLength(int strength) {
    return IsValidStrength(strength) ? 8 * static_cast<size_t>(strength) + 8 : 0;
  }
  // What the encryption adds to the compressed size: salt, verifier and authentication code
  // (20, 24 or 28 bytes); 0 for a code that is not valid.
  static constexpr size_t Overhead(int strength) {
    return IsValidStrength(strength)
               ? SaltLength(strength) + kVerifierLength + kAuthenticationCodeLength
               : 0;
  }

  TAesDecryptor() = default;
  TAesDecryptor(const TAesDecryptor&) = delete;
  TAesDecryptor& operator=(const TAesDecryptor&) = delete;

  // Clears the context and checks `password` against the entry's `salt` (SaltLength bytes) and
  // stored 2-byte `verifier`. True when the strength code is valid, the password is 1 to 128
  // bytes long and the derived verifier equals the stored one; the context is then ready to
  // decrypt the entry's first byte. After false, nothing may be decrypted.
  bool Verify(int strength, std::string_view password, const uint8_t* salt,
              const uint8_t* verifier);

  // Decrypts `n` stored bytes in place, after adding them to the authentication code. Blocks
  // must come in order; their sizes do not matter. Requires a successful Verify.
  void DecryptBlock(uint8_t* data, size_t n);

  // Finishes the authentication code over every byte given to DecryptBlock and answers its
  // first 10 bytes (the same ones again on a later call, until the next Verify).
  std::array<uint8_t, kAuthenticationCodeLength> AuthenticationCode();

 private:
  // Key-stream blocks made per call of the cipher: one call for many counter blocks is far
  // cheaper than one per 16 bytes, and the stream is the same.
  static constexpr size_t kStreamBlocks = 512;

  void RefillKeyStream();

  platform::AesEncryptor aes_;
  platform::HmacSha1 hmac_;
  bool ready_ = false;
  bool finished_ = false;
  // The little-endian counter of the first 8 bytes of a counter block (the other 8 stay zero);
  // it counts blocks already made, so the first block of an entry gets 1.
  uint64_t counter_ = 0;
  std::array<uint8_t, kStreamBlocks * 16> keyStream_{};
  size_t position_ = kStreamBlocks * 16;
  std::array<uint8_t, kAuthenticationCodeLength> code_{};
};
