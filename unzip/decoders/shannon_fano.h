// The Shannon-Fano codes of imploded data: codes made from stored bit lengths, and a two-level
// look-up table that decodes them from the bit reader.
#pragma once

#include <cstdint>
#include <memory_resource>
#include <span>
#include <vector>

#include "unzip/decoders/bit_reader.h"

// Makes the code of every value from its bit length (1 to 16; `codes` as long as `lengths`),
// each as its bits follow each other in the stream, the first one lowest. False when the lengths
// are not a complete prefix code, that is when the codes would overlap or leave some bit
// sequence without a value.
//
// The construction counts up from the longest codes, so each code is the bitwise inverse of
// the canonical code (shortest codes first, values in order within a length) of the same
// lengths: the stream holds these codes as they are, which is the canonical codes with every
// bit inverted.
bool MakeShannonFanoCodes(std::span<const uint8_t> lengths, std::span<uint16_t> codes);

class TShannonFanoTable {
 public:
  // The table's memory comes from `resource`, whose std::bad_alloc passes through Build.
  explicit TShannonFanoTable(std::pmr::memory_resource* resource) : FEntries(resource) {}

  // Builds the table for at most 256 values, looking up `rootBits` (1 to 9) bits at once.
  // False when MakeShannonFanoCodes refuses the lengths.
  bool Build(std::span<const uint8_t> lengths, int rootBits);

  // Reads the next code. Answers its value, or -1 for a bit sequence the table holds no value
  // for (nothing is then taken from the reader).
  int Decode(TBitReader& reader) const;

 private:
  // A value with its code length, or (Length 0) a link to the sub-table at Value, indexed by
  // SubBits more bits; Length and SubBits both 0 mark an invalid code.
  struct TEntry {
    uint32_t Value;
    uint8_t Length;
    uint8_t SubBits;
  };

  std::pmr::vector<TEntry> FEntries;
  int FRootBits = 0;
};
