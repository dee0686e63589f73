// The traditional PKWARE stream cipher: a key stream from three keys that every plain byte
// updates, so decryption has to run through the data strictly in order.
#include "unzip/crypto/traditional_cipher.h"

#include <cstring>

#include "unzip/base/crc32.h"
#include "unzip/base/zip_format.h"

namespace {

inline void UpdateKeys(uint32_t& k0, uint32_t& k1, uint32_t& k2, uint8_t plain) {
  k0 = Crc32Step(k0, plain);
  k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
  k2 = Crc32Step(k2, static_cast<uint8_t>(k1 >> 24));
}

}  // namespace

uint8_t TTraditionalCipher::CheckByte(uint16_t flags, uint32_t dosDateTime, uint32_t crc) {
  if (flags & kFlagDataDescriptor) return static_cast<uint8_t>(dosDateTime >> 8);
  return static_cast<uint8_t>(crc >> 24);
}

bool TTraditionalCipher::CheckHeader(std::string_view password, const uint8_t* header,
                                     uint8_t checkByte, bool skipCheck) {
  keys_[0] = 0x12345678;
  keys_[1] = 0x23456789;
  keys_[2] = 0x34567890;
  for (const char c : password) UpdateKeys(keys_[0], keys_[1], keys_[2], static_cast<uint8_t>(c));
  uint8_t plain[kHeaderLength];
  std::memcpy(plain, header, kHeaderLength);
  DecryptBlock(plain, kHeaderLength);
  if (password.empty()) return false;
  return skipCheck || plain[kHeaderLength - 1] == checkByte;
}

void TTraditionalCipher::DecryptBlock(uint8_t* data, size_t n) {
  // The keys live in locals here: stores through `data` could alias the members, which would
  // make the compiler reload them for every byte of this strictly serial loop.
  uint32_t k0 = keys_[0], k1 = keys_[1], k2 = keys_[2];
  for (size_t i = 0; i < n; ++i) {
    const uint32_t t = (k2 & 0xFFFF) | 2;
    const uint8_t plain = data[i] ^ static_cast<uint8_t>((t * (t ^ 1)) >> 8);
    data[i] = plain;
    UpdateKeys(k0, k1, k2, plain);
  }
  keys_[0] = k0;
  keys_[1] = k1;
  keys_[2] = k2;
}
