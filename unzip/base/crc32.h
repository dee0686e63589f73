// CRC-32 of entry data (reflected polynomial 0xEDB88320) from the deflate library's own routine
// (crc32_isal.cpp or crc32_zlib.cpp, as UPDATE_INFLATE says), and the byte step that the
// traditional cipher's keys need.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace detail {

constexpr std::array<uint32_t, 256> MakeCrc32Table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    table[i] = c;
  }
  return table;
}

}  // namespace detail

// The standard table of the reflected polynomial: entry i is the register after shifting the
// byte i through it eight times.
inline constexpr std::array<uint32_t, 256> kCrc32Table = detail::MakeCrc32Table();

// One byte through the register, as the traditional cipher's key update needs it.
inline uint32_t Crc32Step(uint32_t crc, uint8_t b) {
  return kCrc32Table[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

// Feeds `n` bytes through the raw register and answers the new register. The caller starts with
// 0xFFFFFFFF and inverts the final register to obtain the checksum.
uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t n);
