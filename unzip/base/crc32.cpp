// CRC-32 by slicing: fifteen more tables derived from the byte table let one step fold sixteen
// input bytes into the register with independent lookups instead of one dependent lookup per byte.
#include "unzip/base/crc32.h"

namespace {

using Tables = std::array<std::array<uint32_t, 256>, 16>;

constexpr Tables MakeTables() {
  Tables t{};
  t[0] = kCrc32Table;
  // t[k][i]: the register contribution of byte i followed by k zero bytes.
  for (size_t k = 1; k < t.size(); ++k) {
    for (uint32_t i = 0; i < 256; ++i) t[k][i] = t[0][t[k - 1][i] & 0xFF] ^ (t[k - 1][i] >> 8);
  }
  return t;
}

constexpr Tables kTables = MakeTables();

// Assembled byte by byte so the result does not depend on the host's byte order; compilers turn
// it into a single load on little-endian machines.
inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t n) {
  const Tables& t = kTables;
  while (n >= 16) {
    const uint32_t a = Load32(data) ^ crc;
    const uint32_t b = Load32(data + 4);
    const uint32_t c = Load32(data + 8);
    const uint32_t d = Load32(data + 12);
    crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
          t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
          t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
          t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
    data += 16;
    n -= 16;
  }
  while (n-- > 0) crc = t[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
  return crc;
}
