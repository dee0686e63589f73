// Marking entries that overlap the entry before them in the archive.
#include "unzip/overlapping_entries.h"

#include <algorithm>
#include <numeric>
#include <tuple>

std::vector<bool> FindOverlappingEntries(const std::vector<TEntrySpan>& spans) {
  std::vector<size_t> order(spans.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(), [&spans](size_t a, size_t b) {
    return std::tie(spans[a].part, spans[a].offset, a) <
           std::tie(spans[b].part, spans[b].offset, b);
  });
  std::vector<bool> overlapping(spans.size(), false);
  for (size_t k = 1; k < order.size(); ++k) {
    const TEntrySpan& previous = spans[order[k - 1]];
    const TEntrySpan& current = spans[order[k]];
    // The end may pass 2^64 for a forged size; saturate instead of wrapping.
    const uint64_t end = previous.offset + std::min(previous.length, UINT64_MAX - previous.offset);
    if (current.part == previous.part && current.offset < end) overlapping[order[k]] = true;
  }
  return overlapping;
}
