// Test-only encoders of shrunk, reduced and imploded streams.
#include "older_method_streams.h"

#include <algorithm>
#include <cassert>
#include <span>
#include <stdexcept>
#include <unordered_map>

#include "unzip/decoders/shannon_fano.h"

namespace test {
namespace {

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

// Greedy LZ77 parse: `match(distance, length)` for the longest copy from the most recent
// earlier place with the same next three bytes, `literal(b)` otherwise.
template <typename Literal, typename Match, typename Usable>
void Parse(std::string_view data, size_t maxDistance, size_t minLength, size_t maxLength,
           Usable usable, Literal literal, Match match) {
  std::unordered_map<uint32_t, size_t> recent;
  auto key = [&](size_t i) {
    return (uint32_t{static_cast<uint8_t>(data[i])} << 16) |
           (uint32_t{static_cast<uint8_t>(data[i + 1])} << 8) | static_cast<uint8_t>(data[i + 2]);
  };
  size_t i = 0;
  while (i < data.size()) {
    size_t length = 0;
    size_t distance = 0;
    if (i + 3 <= data.size()) {
      const auto it = recent.find(key(i));
      if (it != recent.end() && i - it->second <= maxDistance) {
        distance = i - it->second;
        const size_t limit = std::min(maxLength, data.size() - i);
        while (length < limit && data[i - distance + length] == data[i + length]) ++length;
      }
    }
    const size_t step = length >= minLength && usable(distance, length) ? length : 1;
    if (step == 1) {
      literal(static_cast<uint8_t>(data[i]));
    } else {
      match(distance, length);
    }
    for (size_t end = i + step; i < end; ++i) {
      if (i + 3 <= data.size()) recent[key(i)] = i;
    }
  }
}

}  // namespace

std::string ShrinkData(std::string_view data) {
  ShrinkWriter writer;
  if (data.empty()) return {};
  std::unordered_map<uint32_t, uint32_t> codes;  // (prefix code << 8 | byte) -> code
  uint32_t nextCode = 257;
  auto emit = [&](uint32_t code) {
    while (code >= (1u << writer.CodeSize())) writer.GrowCodeSize();
    writer.Code(code);
  };
  uint32_t current = static_cast<uint8_t>(data[0]);
  for (size_t i = 1; i < data.size(); ++i) {
    const auto b = static_cast<uint8_t>(data[i]);
    const uint32_t key = current << 8 | b;
    if (const auto it = codes.find(key); it != codes.end()) {
      current = it->second;
      continue;
    }
    emit(current);
    if (nextCode < 8192) codes[key] = nextCode++;
    current = b;
  }
  emit(current);
  return writer.Bytes();
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
  Parse(
      data, writer.MaxDistance(), 3, writer.MaxLength(),
      [](size_t distance, size_t length) { return length > 3 || distance > 256; },
      [&](uint8_t b) { writer.Literal(b); },
      [&](size_t distance, size_t length) { writer.Match(distance, length); });
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
  Tree tree{lengths, std::vector<uint16_t>(lengths.size())};
  if (!MakeShannonFanoCodes(tree.lengths, tree.codes)) {
    throw std::logic_error("the lengths are not a complete code");
  }
  return tree;
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
  assert(length >= MinMatch() && length <= MinMatch() + 63 + 255);
  bits_.Bits(0, 1);
  bits_.Bits(static_cast<uint32_t>((distance - 1) & ((1u << lowBits_) - 1)), lowBits_);
  Symbol(distances_, (distance - 1) >> lowBits_);
  const size_t code = length - MinMatch();
  if (code >= 63) {
    Symbol(lengths_, 63);
    bits_.Bits(static_cast<uint32_t>(code - 63), 8);
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
  Parse(
      data, writer.MaxDistance(), writer.MinMatch(), writer.MinMatch() + 63 + 255,
      [](size_t, size_t) { return true; }, [&](uint8_t b) { writer.Literal(b); },
      [&](size_t distance, size_t length) { writer.Match(distance, length); });
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
