// The Shannon-Fano codes of imploded data.
#include "unzip/decoders/shannon_fano.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace {

constexpr int kMaxLength = 16;
constexpr size_t kMaxValues = 256;
constexpr int kMaxRootBits = 9;

uint16_t Reverse16(uint16_t v) {
  v = static_cast<uint16_t>(((v & 0x5555) << 1) | ((v >> 1) & 0x5555));
  v = static_cast<uint16_t>(((v & 0x3333) << 2) | ((v >> 2) & 0x3333));
  v = static_cast<uint16_t>(((v & 0x0F0F) << 4) | ((v >> 4) & 0x0F0F));
  return static_cast<uint16_t>((v << 8) | (v >> 8));
}

}  // namespace

bool MakeShannonFanoCodes(std::span<const uint8_t> lengths, std::span<uint16_t> codes) {
  assert(codes.size() == lengths.size() && lengths.size() <= kMaxValues);
  // A complete code fills the 16-bit code space exactly. That also keeps every code aligned to
  // its length below, so no two codes share a prefix.
  uint32_t space = 0;
  for (uint8_t length : lengths) {
    if (length < 1 || length > kMaxLength) return false;
    space += 1u << (kMaxLength - length);
  }
  if (space != 1u << kMaxLength) return false;

  // Values by length, shortest first, in stored order among equal lengths; the codes are then
  // counted up from the end of that list, as left-aligned 16-bit numbers.
  std::array<uint16_t, kMaxValues> order;
  size_t count = 0;
  for (int length = 1; length <= kMaxLength; ++length) {
    for (size_t v = 0; v < lengths.size(); ++v) {
      if (lengths[v] == length) order[count++] = static_cast<uint16_t>(v);
    }
  }
  uint32_t code = 0;
  uint32_t increment = 0;
  int lastLength = 0;
  for (size_t i = count; i-- > 0;) {
    const uint16_t v = order[i];
    code += increment;
    if (lengths[v] != lastLength) {
      lastLength = lengths[v];
      increment = 1u << (kMaxLength - lastLength);
    }
    codes[v] = Reverse16(static_cast<uint16_t>(code));
  }
  return true;
}

bool TShannonFanoTable::Build(std::span<const uint8_t> lengths, int rootBits) {
  assert(rootBits >= 1 && rootBits <= kMaxRootBits && lengths.size() <= kMaxValues);
  std::array<uint16_t, kMaxValues> codes;
  if (!MakeShannonFanoCodes(lengths, std::span(codes.data(), lengths.size()))) return false;

  // Codes longer than the root share a root entry by their first rootBits bits; that entry
  // links to a sub-table wide enough for the longest of them.
  const size_t rootSize = size_t{1} << rootBits;
  std::array<uint8_t, size_t{1} << kMaxRootBits> longest{};
  for (size_t v = 0; v < lengths.size(); ++v) {
    if (lengths[v] > rootBits) {
      uint8_t& l = longest[codes[v] & MaskBits[rootBits]];
      l = std::max(l, lengths[v]);
    }
  }
  size_t size = rootSize;
  for (size_t p = 0; p < rootSize; ++p) {
    if (longest[p] != 0) size += size_t{1} << (longest[p] - rootBits);
  }
  FEntries.assign(size, TEntry{0, 0, 0});
  FRootBits = rootBits;

  size_t next = rootSize;
  for (size_t p = 0; p < rootSize; ++p) {
    if (longest[p] == 0) continue;
    const auto subBits = static_cast<uint8_t>(longest[p] - rootBits);
    FEntries[p] = TEntry{static_cast<uint32_t>(next), 0, subBits};
    next += size_t{1} << subBits;
  }
  for (size_t v = 0; v < lengths.size(); ++v) {
    const int length = lengths[v];
    const TEntry entry{static_cast<uint32_t>(v), static_cast<uint8_t>(length), 0};
    if (length <= rootBits) {
      for (size_t i = codes[v]; i < rootSize; i += size_t{1} << length) FEntries[i] = entry;
    } else {
      const TEntry& link = FEntries[codes[v] & MaskBits[rootBits]];
      const size_t subSize = size_t{1} << link.SubBits;
      for (size_t i = codes[v] >> rootBits; i < subSize; i += size_t{1} << (length - rootBits)) {
        FEntries[link.Value + i] = entry;
      }
    }
  }
  return true;
}

int TShannonFanoTable::Decode(TBitReader& reader) const {
  if (FEntries.empty()) return -1;
  const uint32_t bits = reader.PeekBits(kMaxLength);
  TEntry entry = FEntries[bits & MaskBits[FRootBits]];
  if (entry.Length == 0 && entry.SubBits != 0) {
    entry = FEntries[entry.Value + ((bits >> FRootBits) & MaskBits[entry.SubBits])];
  }
  if (entry.Length == 0) return -1;
  reader.DropBits(entry.Length);
  return static_cast<int>(entry.Value);
}
