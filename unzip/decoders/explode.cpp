// Decoder of imploded entries (method 6).
#include "unzip/decoders/explode.h"

#include <algorithm>
#include <array>
#include <new>
#include <span>

#include "unzip/base/messages.h"
#include "unzip/base/zip_format.h"
#include "unzip/decoders/bit_reader.h"
#include "unzip/decoders/output_window.h"
#include "unzip/decoders/shannon_fano.h"

namespace {

constexpr int kLengthCodeWithExtraByte = 63;
// Look-up widths: speed only, any width decodes the same.
constexpr int kLiteralRootBits = 9;
constexpr int kLengthRootBits = 7;
constexpr int kDistanceRootBits = 8;

// What the decoder waits for next, once the trees are read.
enum class TExplodeState {
  kFlag,      // the bit that opens a symbol: 1 for a literal, 0 for a copy
  kLiteral,   // a literal: a code of the literal tree, or 8 raw bits without one
  kDistance,  // a copy's distance: its low bits raw, its high 6 bits through the distance tree
  kLength,    // a copy's length through the length tree (code 63: 8 raw bits more), then the copy
};

// Reads a stored tree: a byte holding the number of following bytes - 1, each following byte a
// bit length (low 4 bits + 1) repeated (high 4 bits + 1) times. False unless the lengths fill
// `lengths` exactly.
bool ReadTreeLengths(TBitReader& reader, std::span<uint8_t> lengths) {
  const uint32_t bytes = reader.TakeBits(8) + 1;
  size_t filled = 0;
  for (uint32_t i = 0; i < bytes; ++i) {
    if (reader.PastEnd()) return false;
    const uint32_t b = reader.TakeBits(8);
    const auto length = static_cast<uint8_t>((b & 0x0F) + 1);
    const size_t repeat = (b >> 4) + 1;
    if (repeat > lengths.size() - filled) return false;
    std::fill_n(lengths.begin() + static_cast<ptrdiff_t>(filled), repeat, length);
    filled += repeat;
  }
  return filled == lengths.size();
}

}  // namespace

void Explode(TDecoderIO& io, TOlderMethodsMemory& memory, uint16_t flags, uint64_t uncompressedSize,
             std::pmr::memory_resource* tableMemory) {
  // Implode, in brief. Flag bit 1 (0x02) of the entry selects the 8 KB dictionary: distances
  // have 7 low bits read raw instead of 6 (4 KB). Flag bit 2 (0x04) says a literal tree is
  // present: three trees then open the data (literal, 256 values; length, 64; distance, 64) and
  // the minimum match length is 3; without it two (length, distance) and the minimum is 2.
  // A stored tree is a byte holding the number of bytes that follow - 1; each of those holds a
  // bit length - 1 in its low 4 bits and how many values in a row have it - 1 in its high 4
  // bits, for the values 0, 1, 2, ... in order. The codes are the canonical code of those
  // lengths (shorter codes first, values in order within a length) with every bit inverted, as
  // MakeShannonFanoCodes makes them; a tree whose lengths do not form a complete code is corrupt.
  // Then, until the entry's size is reached, symbols, each opened by one bit:
  //   1  a literal byte: a literal-tree code, or 8 raw bits without that tree;
  //   0  a copy: the distance's low bits raw, its high 6 bits through the distance tree, then a
  //      length code through the length tree (code 63 adds the next 8 raw bits); the copy is
  //      code + minimum match length bytes long, from distance + 1 bytes back.
  // Bytes before the start of the data read as zeros.
  const bool hasLiteralTree = (flags & kFlagImplodeLiteralTree) != 0;
  const int lowDistanceBits = (flags & kFlagImplodeBigDictionary) != 0 ? 7 : 6;
  const size_t minMatch = hasLiteralTree ? 3 : 2;

  TBitReader reader(io);
  TShannonFanoTable literals(tableMemory);
  TShannonFanoTable lengths(tableMemory);
  TShannonFanoTable distances(tableMemory);
  std::array<uint8_t, 256> literalLengths;
  std::array<uint8_t, 64> lengthLengths;
  std::array<uint8_t, 64> distanceLengths;
  // Only the tables' allocation is guarded: the run's errors from reading pass unchanged.
  bool outOfMemory = false;
  auto readTree = [&](std::span<uint8_t> bitLengths, int rootBits, TShannonFanoTable& table) {
    if (!ReadTreeLengths(reader, bitLengths)) return false;
    try {
      return table.Build(bitLengths, rootBits);
    } catch (const std::bad_alloc&) {
      outOfMemory = true;
      return false;
    }
  };
  const bool treesGood =
      (!hasLiteralTree || readTree(literalLengths, kLiteralRootBits, literals)) &&
      readTree(lengthLengths, kLengthRootBits, lengths) &&
      readTree(distanceLengths, kDistanceRootBits, distances);
  if (outOfMemory) {
    // The tables built so far go with their owners when this function returns.
    io.HandleMessage(kMsgInflateOutOfMemory, MessageText(kMsgInflateOutOfMemory), "Error", 0);
    return;
  }
  if (!treesGood) return;

  TExplodeTables& t = memory.Tables.emplace<TExplodeTables>();
  TOutputWindow window(io, t.Window, sizeof t.Window);
  uint64_t bytesLeft = uncompressedSize;
  TExplodeState state = TExplodeState::kFlag;
  size_t distance = 0;
  for (;;) {
    switch (state) {
      case TExplodeState::kFlag:
        if (bytesLeft == 0 || reader.PastEnd()) {
          window.Finish();
          return;
        }
        state = reader.TakeBits(1) == 1 ? TExplodeState::kLiteral : TExplodeState::kDistance;
        break;
      case TExplodeState::kLiteral: {
        int literal;
        if (hasLiteralTree) {
          literal = literals.Decode(reader);
          if (literal < 0) return;
        } else {
          literal = static_cast<int>(reader.TakeBits(8));
        }
        window.Put(static_cast<uint8_t>(literal));
        --bytesLeft;
        state = TExplodeState::kFlag;
        break;
      }
      case TExplodeState::kDistance: {
        const uint32_t low = reader.TakeBits(lowDistanceBits);
        const int high = distances.Decode(reader);
        if (high < 0) return;
        distance = ((static_cast<size_t>(high) << lowDistanceBits) | low) + 1;
        state = TExplodeState::kLength;
        break;
      }
      case TExplodeState::kLength: {
        const int lengthCode = lengths.Decode(reader);
        if (lengthCode < 0) return;
        size_t length = static_cast<size_t>(lengthCode);
        if (lengthCode == kLengthCodeWithExtraByte) length += reader.TakeBits(8);
        length += minMatch;
        bytesLeft -= std::min<uint64_t>(bytesLeft, length);
        window.Copy(distance, length);
        state = TExplodeState::kFlag;
        break;
      }
    }
  }
}
