// Crc32Update on zlib's crc32.
#include <zlib.h>

#include <algorithm>

#include "unzip/base/crc32.h"

uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t n) {
  // zlib takes and answers the checksum (the inverted register), in slices its uInt can count.
  uLong sum = ~crc;
  while (n > 0) {
    const size_t now = std::min<size_t>(n, 1u << 30);
    sum = crc32(sum, data, static_cast<uInt>(now));
    data += now;
    n -= now;
  }
  return ~static_cast<uint32_t>(sum);
}
