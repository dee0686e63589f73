// Crc32Update on ISA-L's crc32_gzip_refl, which folds the data with carry-less multiplication.
#include <isa-l/crc.h>

#include "unzip/base/crc32.h"

uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t n) {
  // ISA-L takes and answers the checksum (the inverted register).
  return ~crc32_gzip_refl(~crc, data, n);
}
