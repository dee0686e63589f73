// Marking entries that overlap the entry before them in the archive.
#include "unzip/overlapping_entries.h"

#include <algorithm>
#include <numeric>
#include <tuple>

#include "unzip/base/checked_math.h"

std::vector<bool> FindOverlappingEntries(const std::vector<TEntrySpan>& spans) {
  std::vector<size_t> order(spans.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(), [&spans](size_t a, size_t b) {
    return std::tie(spans[a].Part, spans[a].Offset, a) <
           std::tie(spans[b].Part, spans[b].Offset, b);
  });
  std::vector<bool> overlapping(spans.size(), false);
  for (size_t k = 1; k < order.size(); ++k) {
    const TEntrySpan& previous = spans[order[k - 1]];
    const TEntrySpan& current = spans[order[k]];
    // The end may pass 2^64 for a forged size; saturate instead of wrapping.
    const uint64_t end = SaturatingAdd(previous.Offset, previous.Length);
    if (current.Part == previous.Part && current.Offset < end) overlapping[order[k]] = true;
  }
  return overlapping;
}
