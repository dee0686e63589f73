// Encoders of shrunk, reduced and imploded streams, for tests and benchmarks only: writers for
// hand-made streams, code by code, and whole-data encoders for round trips through the decoders
// and for the benchmark's archive of the older methods, which no tool here writes any more.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/bit_writer.h"

namespace test {

// Shrunk streams: codes of the current code size (9 bits at first).
class ShrinkWriter {
 public:
  void Code(uint32_t code) { bits_.Bits(code, codeSize_); }
  // The control pairs: 256,1 (then the size grows) and 256,2.
  void GrowCodeSize() {
    Code(256);
    Code(1);
    ++codeSize_;
  }
  void PartialClear() {
    Code(256);
    Code(2);
  }
  int CodeSize() const { return codeSize_; }
  const std::string& Bytes() const { return bits_.Bytes(); }

 private:
  BitWriter bits_;
  int codeSize_ = 9;
};

// LZW with the decoder's own table rules: each new code in the lowest free slot; the code size
// grows (256, 1) just before the first code that needs it; when the table is full, a partial
// clearing (256, 2) follows the next code at once, since a decoder may refuse a step that finds
// no free code.
std::string ShrinkData(std::string_view data);

// Reduced streams of compression factor 1 to 4.
class ReduceWriter {
 public:
  // Writes the follower sets (at most 63 bytes each, indexed by the preceding character).
  explicit ReduceWriter(int factor, const std::array<std::string, 256>& followers = {});
  // One character as the follower sets code it after the previous one.
  void Char(uint8_t c);
  // A literal byte (the escape byte 144 as 144, 0).
  void Literal(uint8_t b);
  // A copy of `length` (3 to MaxLength()) bytes from `distance` (1 to MaxDistance()) back. A
  // copy of 3 bytes from at most 256 back has no code (it would read as a literal 144).
  void Match(size_t distance, size_t length);
  size_t MaxDistance() const;
  size_t MaxLength() const;
  const std::string& Bytes() const { return bits_.Bytes(); }

 private:
  int factor_;
  std::array<std::string, 256> followers_;
  uint8_t last_ = 0;
  BitWriter bits_;
};

// Greedy matching over hash chains of the next three bytes (the longest of the 48 most recent).
std::string ReduceData(std::string_view data, int factor);

// Imploded streams for general-purpose `flags` (bit 1: 8 KB dictionary, bit 2: literal tree),
// with trees of the bit lengths given (each a complete code; the literal lengths are ignored
// without bit 2).
class ImplodeWriter {
 public:
  ImplodeWriter(uint16_t flags, const std::vector<uint8_t>& literalLengths,
                const std::vector<uint8_t>& lengthLengths,
                const std::vector<uint8_t>& distanceLengths);
  void Literal(uint8_t b);
  // A copy of `length` (MinMatch() to MaxLength()) bytes from `distance` back.
  void Match(size_t distance, size_t length);
  size_t MaxDistance() const { return size_t{64} << lowBits_; }
  size_t MinMatch() const { return (flags_ & 4) != 0 ? 3 : 2; }
  size_t MaxLength() const { return MinMatch() + 63 + 255; }
  const std::string& Bytes() const { return bits_.Bytes(); }

  // The stored form of a tree: (number of bytes - 1), then (repeat - 1, length - 1) nibbles.
  static std::string TreeBytes(const std::vector<uint8_t>& lengths);

 private:
  struct Tree {
    std::vector<uint8_t> lengths;
    std::vector<uint16_t> codes;
  };
  Tree MakeTree(const std::vector<uint8_t>& lengths);
  void Symbol(const Tree& tree, size_t value);

  uint16_t flags_;
  int lowBits_;
  Tree literals_, lengths_, distances_;
  BitWriter bits_;
};

// A complete set of `count` (64 or 256) bit lengths reaching from 5 or 7 bits up to 16, spread
// over the values, so that decoding tables need their second level.
std::vector<uint8_t> SkewedLengths(size_t count);
// `count` lengths of log2(count) bits: every code as long as the others.
std::vector<uint8_t> FlatLengths(size_t count);

// Greedy matching as ReduceData, through an ImplodeWriter of the trees given.
std::string ImplodeData(std::string_view data, uint16_t flags,
                        const std::vector<uint8_t>& literalLengths,
                        const std::vector<uint8_t>& lengthLengths,
                        const std::vector<uint8_t>& distanceLengths);
// The same with one set of trees made for the data: bit lengths of at most 16 from Huffman's
// construction with every value counted at least once, so that the codes are complete.
std::string ImplodeData(std::string_view data, uint16_t flags);

// Text-like sample data of `size` bytes with repeats near and far, runs, and the bytes 0, 144
// and 255 here and there.
std::string SampleData(size_t size, uint32_t seed);

}  // namespace test
