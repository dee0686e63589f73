// The bit reader of the shrunk, reduced and imploded decoders: the rare paths.
#include "unzip/decoders/bit_reader.h"

bool TBitReader::NextSpan() {
  const uint8_t* data = nullptr;
  const size_t n = FIO.ReadInput(data);
  if (n == 0) return false;
  FNext = data;
  FEnd = data + n;
  return true;
}

void TBitReader::DropPastEnd(uint16_t count) {
  FMissingBits += count - BitCount;
  BitBuffer = 0;
  BitCount = 0;
}
