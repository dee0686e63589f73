// Encoders of shrunk (method 1) and imploded (method 6) data, for benchmarks and tests only: they
// make the larger archives of the older methods that no tool on this machine writes any more.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// LZW with codes of 9 to 13 bits. The code size grows (control code 256, then 1) just before a
// code that needs the wider size. When the table is full, a partial clearing (256, then 2) follows
// the next code at once, since a decoder may refuse a step that finds no free code.
std::vector<uint8_t> Shrink(std::span<const uint8_t> data);

// Imploding choices; the entry's general-purpose flag must carry ImplodeFlags of them.
struct TImplodeOptions {
  bool BigDictionary = true;  // 8 KB distances (7 raw low bits) instead of 4 KB (6)
  bool LiteralTree = true;    // literals through a third tree (minimum match 3) instead of raw (2)
};

uint16_t ImplodeFlags(const TImplodeOptions& options);

// Greedy matching over hash chains, then one set of trees for the whole entry: bit lengths of at
// most 16 made for every value (each counted at least once, so the codes are complete), stored
// run-length coded, and each code written with its bits inverted as the decoder reads them.
std::vector<uint8_t> Implode(std::span<const uint8_t> data, const TImplodeOptions& options);
