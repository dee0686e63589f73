// Decoder of reduced entries (methods 2 to 5).
#include "unzip/decoders/unreduce.h"

#include <algorithm>
#include <cassert>

#include "unzip/decoders/bit_reader.h"
#include "unzip/decoders/output_window.h"

namespace {

constexpr uint8_t kEscape = 144;

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

  for (int value = 255; value >= 0 && !reader.PastEnd(); --value) {
    const auto count = static_cast<uint8_t>(reader.ReadBits(6));
    t.FollowerCount[value] = count;
    for (int i = 0; i < count; ++i)
      t.Followers[value][i] = static_cast<uint8_t>(reader.ReadBits(8));
  }

  TOutputWindow window(io, t.Window, sizeof t.Window);
  uint64_t bytesLeft = uncompressedSize;
  uint8_t lastChar = 0;
  int state = 0;
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
      case 0:
        if (c == kEscape) {
          state = 1;
        } else {
          window.Put(c);
          --bytesLeft;
        }
        break;
      case 1:
        if (c == 0) {
          window.Put(kEscape);
          --bytesLeft;
          state = 0;
        } else {
          lengthCode = c;
          length = c & f.LengthMask;
          state = length == f.LengthMask ? 2 : 3;
        }
        break;
      case 2:
        length += c;
        state = 3;
        break;
      default: {
        const size_t distance = ((lengthCode >> f.DistanceShift) & f.DistanceMask) * 256u + c + 1;
        const size_t total = length + 3;
        bytesLeft -= std::min<uint64_t>(bytesLeft, total);
        window.Copy(distance, total);
        state = 0;
        break;
      }
    }
  }
  window.Finish();
}
