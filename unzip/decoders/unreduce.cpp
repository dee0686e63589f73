// Decoder of reduced entries (methods 2 to 5).
#include "unzip/decoders/unreduce.h"

#include <algorithm>
#include <cassert>

#include "unzip/decoders/bit_reader.h"
#include "unzip/decoders/output_window.h"

namespace {

constexpr uint8_t kEscape = 144;

// The escape machine that the decoded characters drive: what it waits for from the next one.
enum class TEscapeState {
  kByte,         // a byte to output, or the escape byte that opens a copy
  kLengthCode,   // after the escape byte: 0 (the escape byte itself) or V of a copy
  kExtraLength,  // a byte added to the length when V's length bits are all ones
  kDistance,     // the low byte of the distance; the copy follows at once
};

struct TFactorTable {
  uint8_t LengthMask;
  uint8_t DistanceShift;
  uint8_t DistanceMask;
};
constexpr TFactorTable kFactors[4] = {
    {0x7F, 7, 0x01}, {0x3F, 6, 0x03}, {0x1F, 5, 0x07}, {0x0F, 4, 0x0F}};

// Bits of an index into a follower set of `count` (1 to 63) bytes.
int IndexBits(int count) {
  int bits = 1;
  while ((1 << bits) < count) ++bits;
  return bits;
}

}  // namespace

void Unreduce(TDecoderIO& io, TOlderMethodsMemory& memory, int factor, uint64_t uncompressedSize) {
  assert(factor >= 1 && factor <= 4);
  const TFactorTable& f = kFactors[factor - 1];
  TReduceTables& t = memory.Tables.emplace<TReduceTables>();
  TBitReader reader(io);

  // Reduce, in brief (factor f = method - 1, 1 to 4). The data opens with 256 follower sets, for
  // the byte values 255 down to 0: a 6-bit count N (0 to 63), then N bytes of 8 bits.
  // Each character then comes coded against the set of the one before it (0 before the first):
  // with an empty set, 8 bits; else 1 bit, where 1 means 8 literal bits follow and 0 an index into
  // the set of the fewest bits that count to N - 1, at least 1 (1 bit for N = 1 or 2, 2 for 3-4,
  // ... 6 for 33-63). The characters then drive the escape machine (escape byte 144):
  //   144, 0           the byte 144 itself;
  //   144, V, [L,] D   a copy. V's low 8 - f bits give the length - 3; when they are all ones, L
  //                    is added. V's high f bits are the distance's high bits over D, its low
  //                    byte: the copy comes from (high * 256 + D + 1) bytes back.
  // So the factor trades length for distance: f = 1 copies up to 385 bytes from up to 512 back,
  // f = 2 up to 321 from 1024, f = 3 up to 289 from 2048, f = 4 up to 273 from 4096. Bytes
  // before the start of the data read as zeros. The entry's size says where the data ends.
  for (int value = 255; value >= 0 && !reader.PastEnd(); --value) {
    const auto count = static_cast<uint8_t>(reader.ReadBits(6));
    t.FollowerCount[value] = count;
    for (int i = 0; i < count; ++i)
      t.Followers[value][i] = static_cast<uint8_t>(reader.ReadBits(8));
  }

  TOutputWindow window(io, t.Window, sizeof t.Window);
  uint64_t bytesLeft = uncompressedSize;
  uint8_t lastChar = 0;
  TEscapeState state = TEscapeState::kByte;
  unsigned lengthCode = 0;  // V of the escape sequence
  size_t length = 0;
  while (bytesLeft > 0 && !reader.PastEnd()) {
    uint8_t c;
    const int count = t.FollowerCount[lastChar];
    if (count == 0 || reader.ReadBits(1) == 1) {
      c = static_cast<uint8_t>(reader.ReadBits(8));
    } else {
      c = t.Followers[lastChar][reader.ReadBits(IndexBits(count))];
    }
    lastChar = c;

    switch (state) {
      case TEscapeState::kByte:
        if (c == kEscape) {
          state = TEscapeState::kLengthCode;
        } else {
          window.Put(c);
          --bytesLeft;
        }
        break;
      case TEscapeState::kLengthCode:
        if (c == 0) {
          window.Put(kEscape);
          --bytesLeft;
          state = TEscapeState::kByte;
        } else {
          lengthCode = c;
          length = c & f.LengthMask;
          state = length == f.LengthMask ? TEscapeState::kExtraLength : TEscapeState::kDistance;
        }
        break;
      case TEscapeState::kExtraLength:
        length += c;
        state = TEscapeState::kDistance;
        break;
      case TEscapeState::kDistance: {
        const size_t distance = ((lengthCode >> f.DistanceShift) & f.DistanceMask) * 256u + c + 1;
        const size_t total = length + 3;
        bytesLeft -= std::min<uint64_t>(bytesLeft, total);
        window.Copy(distance, total);
        state = TEscapeState::kByte;
        break;
      }
    }
  }
  window.Finish();
}
