// The traditional PKWARE stream cipher of encrypted entries: three 32-bit keys set from the
// password, the 12-byte encryption header check, and byte-by-byte decryption.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

class TTraditionalCipher {
 public:
  static constexpr size_t kHeaderLength = 12;

  // The byte the last decrypted header byte must equal: the high byte of the time (bits 8 to 15
  // of `dosDateTime`) when `flags` has kFlagDataDescriptor, so that sizes and CRC follow the data
  // (the CRC is not known when the header is written), else the high byte of `crc`.
  static uint8_t CheckByte(uint16_t flags, uint32_t dosDateTime, uint32_t crc);

  // Sets the keys from `password` (its bytes in order) and decrypts the 12 `header` bytes,
  // which stay untouched. True when the password is accepted: it is not empty and the last
  // decrypted byte equals `checkByte`, or `skipCheck` (the component's Tag) asks for no
  // comparison. Whatever the answer, the keys are then ready for the first data byte.
  bool CheckHeader(std::string_view password, const uint8_t* header, uint8_t checkByte,
                   bool skipCheck);

  // Decrypts `n` bytes in place; blocks must come in order.
  void DecryptBlock(uint8_t* data, size_t n);

 private:
  uint32_t keys_[3] = {0x12345678, 0x23456789, 0x34567890};
};
