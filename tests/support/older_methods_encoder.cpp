// Encoders of shrunk, reduced and imploded streams, for tests and benchmarks only.
#include "support/older_methods_encoder.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <functional>
#include <memory>
#include <queue>
#include <stdexcept>
#include <utility>

namespace test {
namespace {

// ---- Matching ----

constexpr int kHashBits = 15;
constexpr int kMaxChain = 48;

struct Token {
  uint16_t literalOrLength;  // a literal when distance is 0
  uint16_t distance;
};

// Greedy LZ77 parse over hash chains of three bytes: the longest copy of at least three bytes
// among the kMaxChain most recent places within `window`, when `usable(distance, length)`
// accepts it, else a literal.
std::vector<Token> FindMatches(std::string_view text, size_t window, size_t maxLength,
                               const std::function<bool(size_t, size_t)>& usable) {
  const auto* data = reinterpret_cast<const uint8_t*>(text.data());
  const size_t size = text.size();
  std::vector<Token> tokens;
  std::vector<int32_t> head(size_t{1} << kHashBits, -1);
  std::vector<int32_t> previous(size, -1);
  auto hashAt = [&](size_t i) {
    const uint32_t v = data[i] | data[i + 1] << 8 | data[i + 2] << 16;
    return (v * 2654435761u) >> (32 - kHashBits);
  };
  auto insert = [&](size_t i) {
    if (i + 3 > size) return;
    const uint32_t h = hashAt(i);
    previous[i] = head[h];
    head[h] = static_cast<int32_t>(i);
  };
  for (size_t i = 0; i < size;) {
    size_t bestLength = 0;
    size_t bestDistance = 0;
    if (i + 3 <= size) {
      const size_t limit = std::min(maxLength, size - i);
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
    if (bestLength >= 3 && usable(bestDistance, bestLength)) {
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

// ---- Shrink ----

constexpr int kMaxCodeSize = 13;
constexpr uint16_t kFirstFreeCode = 257;
constexpr uint16_t kCodeCount = 8192;
constexpr uint16_t kFree = 0xFFFF;

class Shrinker {
 public:
  Shrinker() : child_(size_t{kCodeCount} * 256, 0) {
    std::fill(std::begin(prefix_), std::end(prefix_), kFree);
    for (int code = 0; code < 256; ++code) prefix_[code] = 0;
  }

  std::string Run(std::string_view text) {
    if (text.empty()) return {};
    uint16_t current = static_cast<uint8_t>(text[0]);
    for (size_t i = 1; i < text.size(); ++i) {
      const auto next = static_cast<uint8_t>(text[i]);
      uint16_t child = child_[Key(current, next)];
      // While the table is full no string may end on its last code: the code entered after the
      // clearing would then have it as prefix, and it would survive the clearing. Freed at every
      // clearing, the last code is the last one filled again, so each clearing meets a table
      // whose highest code is also its most recently entered one: decoders that clear up to
      // either of them then free the same codes.
      if (child == kCodeCount - 1 && nextFree_ == kCodeCount) child = 0;
      if (child != 0) {
        current = child;
        continue;
      }
      Emit(current);
      // The decoder clears before it enters the code that pairs `current` with `next`.
      if (nextFree_ == kCodeCount) {
        writer_.PartialClear();
        PartialClear();
      }
      if (nextFree_ < kCodeCount) {
        prefix_[nextFree_] = current;
        suffix_[nextFree_] = next;
        child_[Key(current, next)] = nextFree_;
        nextFree_ = LowestFreeFrom(static_cast<uint16_t>(nextFree_ + 1));
      }
      current = next;
    }
    Emit(current);
    return writer_.Bytes();
  }

 private:
  static size_t Key(uint16_t prefix, uint8_t suffix) { return size_t{prefix} * 256 + suffix; }

  void Emit(uint16_t code) {
    while (code >= (1u << writer_.CodeSize())) {
      assert(writer_.CodeSize() < kMaxCodeSize);
      writer_.GrowCodeSize();
    }
    writer_.Code(code);
  }

  uint16_t LowestFreeFrom(uint16_t code) const {
    while (code < kCodeCount && prefix_[code] != kFree) ++code;
    return code;
  }

  // Frees every code that is no other code's prefix, as the decoder does.
  void PartialClear() {
    std::vector<bool> hasChild(kCodeCount, false);
    for (uint16_t code = kFirstFreeCode; code < nextFree_; ++code) {
      if (prefix_[code] != kFree) hasChild[prefix_[code]] = true;
    }
    for (uint16_t code = kFirstFreeCode; code < nextFree_; ++code) {
      if (prefix_[code] != kFree && !hasChild[code]) {
        child_[Key(prefix_[code], suffix_[code])] = 0;
        prefix_[code] = kFree;
      }
    }
    nextFree_ = LowestFreeFrom(kFirstFreeCode);
  }

  uint16_t prefix_[kCodeCount];
  uint8_t suffix_[kCodeCount] = {};
  std::vector<uint16_t> child_;  // (prefix, suffix) -> code, 0 when there is none
  uint16_t nextFree_ = kFirstFreeCode;
  ShrinkWriter writer_;
};

// ---- Reduce ----

struct FactorTable {
  uint32_t lengthMask;
  int distanceShift;
  uint32_t distanceMask;
};
constexpr FactorTable kFactors[4] = {
    {0x7F, 7, 0x01}, {0x3F, 6, 0x03}, {0x1F, 5, 0x07}, {0x0F, 4, 0x0F}};

int IndexBits(size_t count) {
  int bits = 1;
  while ((size_t{1} << bits) < count) ++bits;
  return bits;
}

// ---- Implode ----

constexpr int kMaxBits = 16;
constexpr size_t kLengthCodeWithExtraByte = 63;

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
// first, values in order within a length) with every bit inverted, first bit lowest. Made
// without the decoder's own construction, so that round trips check that one.
std::vector<uint16_t> MakeStreamCodes(const std::vector<uint8_t>& lengths) {
  uint32_t space = 0;
  for (uint8_t l : lengths) {
    if (l < 1 || l > kMaxBits) throw std::logic_error("a bit length outside 1 to 16");
    space += 1u << (kMaxBits - l);
  }
  if (space != 1u << kMaxBits) throw std::logic_error("the lengths are not a complete code");
  std::array<uint32_t, kMaxBits + 2> count{};
  for (uint8_t l : lengths) ++count[l];
  std::array<uint32_t, kMaxBits + 2> next{};
  uint32_t code = 0;
  for (int l = 1; l <= kMaxBits; ++l) {
    code = (code + count[static_cast<size_t>(l - 1)]) << 1;
    next[static_cast<size_t>(l)] = code;
  }
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

template <typename Writer>
void WriteTokens(Writer& writer, const std::vector<Token>& tokens) {
  for (const Token& t : tokens) {
    if (t.distance == 0) {
      writer.Literal(static_cast<uint8_t>(t.literalOrLength));
    } else {
      writer.Match(t.distance, t.literalOrLength);
    }
  }
}

}  // namespace

std::string ShrinkData(std::string_view data) {
  return std::make_unique<Shrinker>()->Run(data);
}

ReduceWriter::ReduceWriter(int factor, const std::array<std::string, 256>& followers)
    : factor_(factor), followers_(followers) {
  for (int value = 255; value >= 0; --value) {
    const std::string& set = followers_[value];
    assert(set.size() <= 63);
    bits_.Bits(static_cast<uint32_t>(set.size()), 6);
    for (char c : set) bits_.Bits(static_cast<uint8_t>(c), 8);
  }
}

void ReduceWriter::Char(uint8_t c) {
  const std::string& set = followers_[last_];
  const size_t index = set.find(static_cast<char>(c));
  if (set.empty()) {
    bits_.Bits(c, 8);
  } else if (index == std::string::npos) {
    bits_.Bits(1, 1);
    bits_.Bits(c, 8);
  } else {
    bits_.Bits(0, 1);
    bits_.Bits(static_cast<uint32_t>(index), IndexBits(set.size()));
  }
  last_ = c;
}

void ReduceWriter::Literal(uint8_t b) {
  Char(b);
  if (b == 144) Char(0);
}

void ReduceWriter::Match(size_t distance, size_t length) {
  const FactorTable& f = kFactors[factor_ - 1];
  assert(distance >= 1 && distance <= MaxDistance() && length >= 3 && length <= MaxLength());
  const auto extra = static_cast<uint32_t>(length - 3);
  const auto lengthField = std::min(extra, f.lengthMask);
  const auto v = static_cast<uint32_t>((distance - 1) >> 8) << f.distanceShift | lengthField;
  if (v == 0) throw std::logic_error("a 3-byte copy from at most 256 back has no code");
  Char(144);
  Char(static_cast<uint8_t>(v));
  if (lengthField == f.lengthMask) Char(static_cast<uint8_t>(extra - f.lengthMask));
  Char(static_cast<uint8_t>((distance - 1) & 0xFF));
}

size_t ReduceWriter::MaxDistance() const {
  return (kFactors[factor_ - 1].distanceMask + 1) * 256;
}
size_t ReduceWriter::MaxLength() const {
  return kFactors[factor_ - 1].lengthMask + 255 + 3;
}

std::string ReduceData(std::string_view data, int factor) {
  ReduceWriter writer(factor);
  // A 3-byte copy from at most 256 back has no code.
  WriteTokens(writer, FindMatches(data, writer.MaxDistance(), writer.MaxLength(),
                                  [](size_t distance, size_t length) {
                                    return length > 3 || distance > 256;
                                  }));
  return writer.Bytes();
}

ImplodeWriter::ImplodeWriter(uint16_t flags, const std::vector<uint8_t>& literalLengths,
                             const std::vector<uint8_t>& lengthLengths,
                             const std::vector<uint8_t>& distanceLengths)
    : flags_(flags), lowBits_((flags & 2) != 0 ? 7 : 6) {
  auto putTree = [&](const std::vector<uint8_t>& lengths) {
    for (char c : TreeBytes(lengths)) bits_.Bits(static_cast<uint8_t>(c), 8);
    return MakeTree(lengths);
  };
  if ((flags & 4) != 0) literals_ = putTree(literalLengths);
  lengths_ = putTree(lengthLengths);
  distances_ = putTree(distanceLengths);
}

ImplodeWriter::Tree ImplodeWriter::MakeTree(const std::vector<uint8_t>& lengths) {
  return Tree{lengths, MakeStreamCodes(lengths)};
}

void ImplodeWriter::Symbol(const Tree& tree, size_t value) {
  const int length = tree.lengths.at(value);
  bits_.Bits(tree.codes[value], length);
}

void ImplodeWriter::Literal(uint8_t b) {
  bits_.Bits(1, 1);
  if ((flags_ & 4) != 0) {
    Symbol(literals_, b);
  } else {
    bits_.Bits(b, 8);
  }
}

void ImplodeWriter::Match(size_t distance, size_t length) {
  assert(distance >= 1 && distance <= MaxDistance());
  assert(length >= MinMatch() && length <= MaxLength());
  bits_.Bits(0, 1);
  bits_.Bits(static_cast<uint32_t>((distance - 1) & ((1u << lowBits_) - 1)), lowBits_);
  Symbol(distances_, (distance - 1) >> lowBits_);
  const size_t code = length - MinMatch();
  if (code >= kLengthCodeWithExtraByte) {
    Symbol(lengths_, kLengthCodeWithExtraByte);
    bits_.Bits(static_cast<uint32_t>(code - kLengthCodeWithExtraByte), 8);
  } else {
    Symbol(lengths_, code);
  }
}

std::string ImplodeWriter::TreeBytes(const std::vector<uint8_t>& lengths) {
  std::string runs;
  for (size_t i = 0; i < lengths.size();) {
    size_t run = 1;
    while (run < 16 && i + run < lengths.size() && lengths[i + run] == lengths[i]) ++run;
    runs += static_cast<char>((run - 1) << 4 | (lengths[i] - 1u));
    i += run;
  }
  return static_cast<char>(runs.size() - 1) + runs;
}

std::vector<uint8_t> SkewedLengths(size_t count) {
  // Start from `count` codes of one length; turn one of them into a staircase of longer codes
  // down to two of 16 bits, and merge pairs of the rest into shorter codes to keep the count.
  const uint8_t base = count == 256 ? 8 : 6;
  std::vector<uint8_t> sorted;
  const size_t longer = 16 - base;
  sorted.insert(sorted.end(), longer, static_cast<uint8_t>(base - 1));
  sorted.insert(sorted.end(), count - 1 - 2 * longer, base);
  for (uint8_t length = base + 1; length <= 16; ++length) sorted.push_back(length);
  sorted.push_back(16);
  assert(sorted.size() == count);
  std::vector<uint8_t> lengths(count);
  const size_t stride = count == 256 ? 97 : 37;
  for (size_t i = 0; i < count; ++i) lengths[i * stride % count] = sorted[i];
  return lengths;
}

std::vector<uint8_t> FlatLengths(size_t count) {
  return std::vector<uint8_t>(count, count == 256 ? 8 : 6);
}

std::string ImplodeData(std::string_view data, uint16_t flags,
                        const std::vector<uint8_t>& literalLengths,
                        const std::vector<uint8_t>& lengthLengths,
                        const std::vector<uint8_t>& distanceLengths) {
  ImplodeWriter writer(flags, literalLengths, lengthLengths, distanceLengths);
  WriteTokens(writer, FindMatches(data, writer.MaxDistance(), writer.MaxLength(),
                                  [](size_t, size_t) { return true; }));
  return writer.Bytes();
}

std::string ImplodeData(std::string_view data, uint16_t flags) {
  const int lowBits = (flags & 2) != 0 ? 7 : 6;
  const size_t minMatch = (flags & 4) != 0 ? 3 : 2;
  const std::vector<Token> tokens =
      FindMatches(data, size_t{64} << lowBits, minMatch + kLengthCodeWithExtraByte + 255,
                  [](size_t, size_t) { return true; });
  std::vector<uint32_t> literalCounts(256, 0);
  std::vector<uint32_t> lengthCounts(64, 0);
  std::vector<uint32_t> distanceCounts(64, 0);
  for (const Token& t : tokens) {
    if (t.distance == 0) {
      ++literalCounts[t.literalOrLength];
    } else {
      ++lengthCounts[std::min<size_t>(t.literalOrLength - minMatch, kLengthCodeWithExtraByte)];
      ++distanceCounts[static_cast<size_t>(t.distance - 1) >> lowBits];
    }
  }
  ImplodeWriter writer(flags, MakeBitLengths(literalCounts), MakeBitLengths(lengthCounts),
                       MakeBitLengths(distanceCounts));
  WriteTokens(writer, tokens);
  return writer.Bytes();
}

std::string SampleData(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"alpha",     "beta",   "gamma",  "delta",  "update",
                                       "archive",   "window", "shrink", "reduce", "implode",
                                       "the",       "of",     "and",    "entry",  "progress",
                                       "directory", "a",      "is",     "code"};
  uint32_t state = seed;
  auto next = [&]() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  std::string data;
  while (data.size() < size) {
    const uint32_t pick = next() % 100;
    if (pick < 80) {
      data += kWords[next() % std::size(kWords)];
      data += next() % 9 == 0 ? '\n' : ' ';
    } else if (pick < 85) {
      data.append(20 + next() % 400, static_cast<char>('a' + next() % 26));
    } else if (pick < 92) {
      const char special[] = {'\0', '\x90', '\xff', '\x90'};
      data += special[next() % 4];
    } else if (pick < 97) {
      data += static_cast<char>(next());
    } else if (data.size() > 9000) {
      const size_t from = data.size() - 3000 - next() % 6000;
      data += data.substr(from, 30 + next() % 200);
    }
  }
  data.resize(size);
  return data;
}

}  // namespace test
