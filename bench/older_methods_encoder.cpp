// Encoders of shrunk and imploded data for benchmarks and tests.
#include "bench/older_methods_encoder.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>
#include <functional>
#include <memory>
#include <queue>

namespace {

// Bits go out least significant first, as the decoders' bit reader takes them.
class TBitWriter {
 public:
  void Put(uint32_t bits, int n) {
    assert(n >= 0 && n <= 24 && (n == 24 || bits >> n == 0));
    FBuffer |= static_cast<uint64_t>(bits) << FCount;
    FCount += n;
    while (FCount >= 8) {
      FOut.push_back(static_cast<uint8_t>(FBuffer));
      FBuffer >>= 8;
      FCount -= 8;
    }
  }

  // Pads the last byte with zero bits.
  std::vector<uint8_t> Finish() {
    if (FCount > 0) FOut.push_back(static_cast<uint8_t>(FBuffer));
    FBuffer = 0;
    FCount = 0;
    return std::move(FOut);
  }

 private:
  std::vector<uint8_t> FOut;
  uint64_t FBuffer = 0;
  int FCount = 0;
};

// ---- Shrink ----

constexpr int kMaxCodeSize = 13;
constexpr uint16_t kControlCode = 256;
constexpr uint16_t kFirstFreeCode = 257;
constexpr uint16_t kCodeCount = 8192;
constexpr uint16_t kFree = 0xFFFF;

class TShrinker {
 public:
  TShrinker() : FChild(size_t{kCodeCount} * 256, 0) {
    std::fill(std::begin(FPrefix), std::end(FPrefix), kFree);
    for (int code = 0; code < 256; ++code) FPrefix[code] = 0;
  }

  std::vector<uint8_t> Run(std::span<const uint8_t> data) {
    if (data.empty()) return {};
    uint16_t current = data[0];
    for (size_t i = 1; i < data.size(); ++i) {
      const uint8_t next = data[i];
      uint16_t child = FChild[Key(current, next)];
      // While the table is full no string may end on its last code: the code entered after the
      // clearing would then have it as prefix, and it would survive the clearing. Freed at every
      // clearing, the last code is the last one filled again, so each clearing meets a table
      // whose highest code is also its most recently entered one: decoders that clear up to
      // either of them then free the same codes.
      if (child == kCodeCount - 1 && FNextFree == kCodeCount) child = 0;
      if (child != 0) {
        current = child;
        continue;
      }
      Emit(current);
      // The decoder clears before it enters the code that pairs `current` with `next`.
      if (FNextFree == kCodeCount) {
        Emit(kControlCode);
        Emit(2);
        PartialClear();
      }
      if (FNextFree < kCodeCount) {
        FPrefix[FNextFree] = current;
        FSuffix[FNextFree] = next;
        FChild[Key(current, next)] = FNextFree;
        FNextFree = LowestFreeFrom(static_cast<uint16_t>(FNextFree + 1));
      }
      current = next;
    }
    Emit(current);
    return FWriter.Finish();
  }

 private:
  static size_t Key(uint16_t prefix, uint8_t suffix) { return size_t{prefix} * 256 + suffix; }

  void Emit(uint16_t code) {
    while (code >= (1u << FCodeSize)) {
      assert(FCodeSize < kMaxCodeSize);
      FWriter.Put(kControlCode, FCodeSize);
      FWriter.Put(1, FCodeSize);
      ++FCodeSize;
    }
    FWriter.Put(code, FCodeSize);
  }

  uint16_t LowestFreeFrom(uint16_t code) const {
    while (code < kCodeCount && FPrefix[code] != kFree) ++code;
    return code;
  }

  // Frees every code that is no other code's prefix, as the decoder does.
  void PartialClear() {
    std::vector<bool> hasChild(kCodeCount, false);
    for (uint16_t code = kFirstFreeCode; code < FNextFree; ++code) {
      if (FPrefix[code] != kFree) hasChild[FPrefix[code]] = true;
    }
    for (uint16_t code = kFirstFreeCode; code < FNextFree; ++code) {
      if (FPrefix[code] != kFree && !hasChild[code]) {
        FChild[Key(FPrefix[code], FSuffix[code])] = 0;
        FPrefix[code] = kFree;
      }
    }
    FNextFree = LowestFreeFrom(kFirstFreeCode);
  }

  uint16_t FPrefix[kCodeCount];
  uint8_t FSuffix[kCodeCount] = {};
  std::vector<uint16_t> FChild;  // (prefix, suffix) -> code, 0 when there is none
  uint16_t FNextFree = kFirstFreeCode;
  int FCodeSize = 9;
  TBitWriter FWriter;
};

// ---- Implode ----

constexpr int kMaxBits = 16;
constexpr int kHashBits = 15;
constexpr int kMaxChain = 48;
constexpr int kLengthCodeWithExtraByte = 63;

struct TToken {
  uint16_t LiteralOrLength;  // a literal when Distance is 0
  uint16_t Distance;
};

// Bit lengths of at most kMaxBits for every value of `counts`, each value counted at least once
// so that all of them get a code and the code is complete.
std::vector<uint8_t> MakeBitLengths(const std::vector<uint32_t>& counts) {
  std::vector<uint64_t> weights(counts.begin(), counts.end());
  for (;;) {
    const size_t n = weights.size();
    // Huffman: nodes 0..n-1 are the values, the rest are merged pairs.
    std::vector<int> parent(2 * n, -1);
    using Node = std::pair<uint64_t, int>;
    std::priority_queue<Node, std::vector<Node>, std::greater<Node>> queue;
    for (size_t v = 0; v < n; ++v) queue.push({weights[v] + 1, static_cast<int>(v)});
    int next = static_cast<int>(n);
    while (queue.size() > 1) {
      const Node a = queue.top();
      queue.pop();
      const Node b = queue.top();
      queue.pop();
      parent[static_cast<size_t>(a.second)] = next;
      parent[static_cast<size_t>(b.second)] = next;
      queue.push({a.first + b.first, next++});
    }
    std::vector<uint8_t> lengths(n);
    bool fits = true;
    for (size_t v = 0; v < n; ++v) {
      int depth = 0;
      for (int p = parent[v]; p >= 0; p = parent[static_cast<size_t>(p)]) ++depth;
      fits = fits && depth <= kMaxBits;
      lengths[v] = static_cast<uint8_t>(depth);
    }
    if (fits) return lengths;
    for (uint64_t& w : weights) w /= 2;  // flatter counts give a shallower tree
  }
}

// The code of each value as the bit writer must put it: the canonical code (shorter codes
// first, values in order within a length) with every bit inverted, first bit lowest.
std::vector<uint16_t> MakeStreamCodes(const std::vector<uint8_t>& lengths) {
  std::array<uint32_t, kMaxBits + 2> count{};
  for (uint8_t l : lengths) ++count[l];
  std::array<uint32_t, kMaxBits + 2> next{};
  uint32_t code = 0;
  for (int l = 1; l <= kMaxBits; ++l) {
    code = (code + count[static_cast<size_t>(l - 1)]) << 1;
    next[static_cast<size_t>(l)] = code;
  }
  // The loop above starts the shortest length at 0 only when no shorter lengths exist; count[0]
  // is zero because every value has a length.
  std::vector<uint16_t> codes(lengths.size());
  for (size_t v = 0; v < lengths.size(); ++v) {
    const int l = lengths[v];
    const uint32_t canonical = next[static_cast<size_t>(l)]++;
    const uint32_t inverted = ~canonical & ((1u << l) - 1);
    uint32_t reversed = 0;
    for (int b = 0; b < l; ++b) reversed |= ((inverted >> b) & 1) << (l - 1 - b);
    codes[v] = static_cast<uint16_t>(reversed);
  }
  return codes;
}

// One byte with the number of following bytes - 1, then runs of equal lengths of at most 16:
// (run - 1) in the high 4 bits, (length - 1) in the low 4 bits.
void PutTree(TBitWriter& writer, const std::vector<uint8_t>& lengths) {
  std::vector<uint8_t> runs;
  for (size_t v = 0; v < lengths.size();) {
    size_t run = 1;
    while (v + run < lengths.size() && run < 16 && lengths[v + run] == lengths[v]) ++run;
    runs.push_back(static_cast<uint8_t>((run - 1) << 4 | (lengths[v] - 1)));
    v += run;
  }
  writer.Put(static_cast<uint32_t>(runs.size() - 1), 8);
  for (uint8_t r : runs) writer.Put(r, 8);
}

std::vector<TToken> FindMatches(std::span<const uint8_t> data, size_t window, size_t maxLength) {
  std::vector<TToken> tokens;
  std::vector<int32_t> head(size_t{1} << kHashBits, -1);
  std::vector<int32_t> previous(data.size(), -1);
  auto hashAt = [&](size_t i) {
    const uint32_t v = data[i] | data[i + 1] << 8 | data[i + 2] << 16;
    return (v * 2654435761u) >> (32 - kHashBits);
  };
  auto insert = [&](size_t i) {
    if (i + 3 > data.size()) return;
    const uint32_t h = hashAt(i);
    previous[i] = head[h];
    head[h] = static_cast<int32_t>(i);
  };
  for (size_t i = 0; i < data.size();) {
    size_t bestLength = 0;
    size_t bestDistance = 0;
    if (i + 3 <= data.size()) {
      const size_t limit = std::min(maxLength, data.size() - i);
      int chain = kMaxChain;
      for (int32_t j = head[hashAt(i)]; j >= 0 && chain-- > 0;
           j = previous[static_cast<size_t>(j)]) {
        const size_t distance = i - static_cast<size_t>(j);
        if (distance > window) break;
        size_t length = 0;
        while (length < limit && data[static_cast<size_t>(j) + length] == data[i + length]) {
          ++length;
        }
        if (length > bestLength) {
          bestLength = length;
          bestDistance = distance;
          if (length == limit) break;
        }
      }
    }
    if (bestLength >= 3) {
      tokens.push_back({static_cast<uint16_t>(bestLength), static_cast<uint16_t>(bestDistance)});
      for (size_t k = 0; k < bestLength; ++k) insert(i + k);
      i += bestLength;
    } else {
      tokens.push_back({data[i], 0});
      insert(i);
      ++i;
    }
  }
  return tokens;
}

}  // namespace

std::vector<uint8_t> Shrink(std::span<const uint8_t> data) {
  auto shrinker = std::make_unique<TShrinker>();
  return shrinker->Run(data);
}

uint16_t ImplodeFlags(const TImplodeOptions& options) {
  return static_cast<uint16_t>((options.BigDictionary ? 0x02 : 0) |
                               (options.LiteralTree ? 0x04 : 0));
}

std::vector<uint8_t> Implode(std::span<const uint8_t> data, const TImplodeOptions& options) {
  const int lowBits = options.BigDictionary ? 7 : 6;
  const size_t window = size_t{64} << lowBits;
  const size_t minMatch = options.LiteralTree ? 3 : 2;
  const size_t maxLength = minMatch + kLengthCodeWithExtraByte + 255;
  const std::vector<TToken> tokens = FindMatches(data, window, maxLength);

  std::vector<uint32_t> literalCounts(256, 0);
  std::vector<uint32_t> lengthCounts(64, 0);
  std::vector<uint32_t> distanceCounts(64, 0);
  for (const TToken& t : tokens) {
    if (t.Distance == 0) {
      ++literalCounts[t.LiteralOrLength];
    } else {
      ++lengthCounts[std::min<size_t>(t.LiteralOrLength - minMatch, kLengthCodeWithExtraByte)];
      ++distanceCounts[static_cast<size_t>(t.Distance - 1) >> lowBits];
    }
  }
  const std::vector<uint8_t> literalLengths = MakeBitLengths(literalCounts);
  const std::vector<uint8_t> lengthLengths = MakeBitLengths(lengthCounts);
  const std::vector<uint8_t> distanceLengths = MakeBitLengths(distanceCounts);
  const std::vector<uint16_t> literalCodes = MakeStreamCodes(literalLengths);
  const std::vector<uint16_t> lengthCodes = MakeStreamCodes(lengthLengths);
  const std::vector<uint16_t> distanceCodes = MakeStreamCodes(distanceLengths);

  TBitWriter writer;
  if (options.LiteralTree) PutTree(writer, literalLengths);
  PutTree(writer, lengthLengths);
  PutTree(writer, distanceLengths);
  for (const TToken& t : tokens) {
    if (t.Distance == 0) {
      writer.Put(1, 1);
      if (options.LiteralTree) {
        writer.Put(literalCodes[t.LiteralOrLength], literalLengths[t.LiteralOrLength]);
      } else {
        writer.Put(t.LiteralOrLength, 8);
      }
      continue;
    }
    writer.Put(0, 1);
    const uint32_t distance = t.Distance - 1u;
    writer.Put(distance & ((1u << lowBits) - 1), lowBits);
    const uint32_t high = distance >> lowBits;
    writer.Put(distanceCodes[high], distanceLengths[high]);
    const size_t length = t.LiteralOrLength - minMatch;
    const size_t code = std::min<size_t>(length, kLengthCodeWithExtraByte);
    writer.Put(lengthCodes[code], lengthLengths[code]);
    if (code == kLengthCodeWithExtraByte) {
      writer.Put(static_cast<uint32_t>(length - kLengthCodeWithExtraByte), 8);
    }
  }
  return writer.Finish();
}
