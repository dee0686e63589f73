// The bit reader of the shrunk, reduced and imploded decoders.
#include "unzip/decoders/bit_reader.h"

#include <cassert>

bool TBitReader::AddByte() {
  uint8_t b = 0;
  if (FIO.ReadInputByte(b) == 0) return false;
  BitBuffer |= static_cast<uint32_t>(b) << BitCount;
  BitCount += 8;
  InputExhausted = false;
  return true;
}

uint32_t TBitReader::ReadBits(int n) {
  assert(n >= 0 && n <= 16);
  if (BitCount < n) {
    InputExhausted = true;
    while (BitCount < 25 && AddByte()) {
    }
  }
  const uint32_t bits = BitBuffer & MaskBits[n];
  DropBits(n);
  return bits;
}

uint32_t TBitReader::PeekBits(int n) {
  assert(n >= 0 && n <= 16);
  if (BitCount < n) {
    InputExhausted = true;
    while (BitCount < n && AddByte()) {
    }
  }
  // Bits past the end of the input read as zeros: BitBuffer is zero above BitCount.
  return BitBuffer & MaskBits[n];
}

void TBitReader::DropBits(int n) {
  assert(n >= 0 && n <= 16);
  const auto count = static_cast<uint16_t>(n);
  if (count > BitCount) {
    FMissingBits += count - BitCount;
    BitBuffer = 0;
    BitCount = 0;
    return;
  }
  BitBuffer >>= count;
  BitCount = static_cast<uint16_t>(BitCount - count);
}
