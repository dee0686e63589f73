// The bit reader of the shrunk, reduced and imploded decoders: bits are taken least significant
// first from whole bytes of the entry's input.
#pragma once

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>

#include "unzip/decoders/decoder_io.h"

// Entry n holds the n low bits: 2^n - 1.
inline constexpr std::array<uint32_t, 17> MaskBits = {
    0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F, 0x00FF,
    0x01FF, 0x03FF, 0x07FF, 0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};

// One per entry. Once the input is used up, reads go on and yield zero bits; MissingBits counts
// how many of those were handed out, so that a decoder can tell a stream that ended early.
// The input arrives in spans (TDecoderIO::ReadInput) and is taken from the current span a byte at
// a time, inline: the decoders read a code every few output bytes, so the reads are the hot path.
//
// Which decoder reads how, and what tells it that its input has ended:
//  - unshrink: ReadBits, which tops the buffer up to 25 bits or more whenever a code needs more
//    than it holds. End: InputExhausted right after a code, set when the refill for that code
//    found no byte at all; decoding ends there without that code (shrink has no end code: the
//    data ends with the input).
//  - unreduce: ReadBits as well. End: PastEnd, checked before each follower set and each
//    character, beside the entry's size.
//  - explode: PeekBits and DropBits for the Shannon-Fano codes (TShannonFanoTable::Decode peeks
//    16 bits and drops the code's length), TakeBits for raw bits. End: PastEnd, checked before
//    each symbol and each byte of a stored tree, beside the entry's size.
// Peeked bits beyond the input are zeros that count as missing only once they are dropped, so a
// short last code decodes from the padding without passing the end.
class TBitReader {
 public:
  explicit TBitReader(TDecoderIO& io) : FIO(io) {}
  TBitReader(const TBitReader&) = delete;
  TBitReader& operator=(const TBitReader&) = delete;

  // Reading of shrunk and reduced data: when fewer than `n` (at most 16) bits are held, whole
  // bytes are added while fewer than 25 bits are held and the input has one.
  uint32_t ReadBits(int n) {
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

  // Reading of imploded data: PeekBits adds bytes one by one until at least `n` (at most 16) bits
  // are held or the input is used up, and shows the next `n` bits without taking them;
  // DropBits takes them.
  uint32_t PeekBits(int n) {
    assert(n >= 0 && n <= 16);
    if (BitCount < n) {
      InputExhausted = true;
      while (BitCount < n && AddByte()) {
      }
    }
    // Bits past the end of the input read as zeros: BitBuffer is zero above BitCount.
    return BitBuffer & MaskBits[n];
  }

  void DropBits(int n) {
    assert(n >= 0 && n <= 16);
    const auto count = static_cast<uint16_t>(n);
    if (count > BitCount) {
      DropPastEnd(count);
      return;
    }
    BitBuffer >>= count;
    BitCount = static_cast<uint16_t>(BitCount - count);
  }

  uint32_t TakeBits(int n) {
    const uint32_t bits = PeekBits(n);
    DropBits(n);
    return bits;
  }

  uint64_t MissingBits() const { return FMissingBits; }
  // True once the data has reached past the end of the input by more than a few bits. The
  // encoder pads its last byte, so a complete stream never needs a missing bit; the few
  // tolerated cost nothing, and the decoders stop at this point instead of running on zeros
  // up to a size the entry merely claims.
  bool PastEnd() const { return FMissingBits > kSlackBits; }
  static constexpr uint64_t kSlackBits = 16;

  uint32_t BitBuffer = 0;  // unused bits, the next one lowest
  uint16_t BitCount = 0;   // valid bits in BitBuffer
  // True after a refill that found no byte; false again as soon as one arrives.
  bool InputExhausted = false;

 private:
  bool AddByte() {
    if (FNext == FEnd && !NextSpan()) return false;
    BitBuffer |= static_cast<uint32_t>(*FNext++) << BitCount;
    BitCount = static_cast<uint16_t>(BitCount + 8);
    InputExhausted = false;
    return true;
  }
  // Asks the run for the next span of input; false when there is none.
  bool NextSpan();
  // Drops `count` bits of which only BitCount are held: the rest count as missing.
  void DropPastEnd(uint16_t count);

  TDecoderIO& FIO;
  const uint8_t* FNext = nullptr;  // the current span of input, [FNext, FEnd)
  const uint8_t* FEnd = nullptr;
  uint64_t FMissingBits = 0;
};
