// Marking entries whose data overlaps data of an entry before them in the archive.
#include "unzip/overlapping_entries.h"

#include <algorithm>
#include <numeric>
#include <tuple>

#include "platform/checked_math.h"

std::vector<bool> FindOverlappingEntries(const std::vector<TEntrySpan>& spans) {
  std::vector<size_t> order(spans.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(), [&spans](size_t a, size_t b) {
    return std::tie(spans[a].Part, spans[a].Offset, a) <
           std::tie(spans[b].Part, spans[b].Offset, b);
  });
  std::vector<bool> overlapping(spans.size(), false);
  // The furthest end of the data seen so far in the current part. Comparing with the entry just
  // before is not enough: a small entry between two large overlapping ones would hide them.
  uint64_t furthestEnd = 0;
  for (size_t k = 0; k < order.size(); ++k) {
    const TEntrySpan& current = spans[order[k]];
    if (k > 0 && current.Part != spans[order[k - 1]].Part) furthestEnd = 0;
    if (current.Offset < furthestEnd) overlapping[order[k]] = true;
    // The end may pass 2^64 for a forged size; saturate instead of wrapping.
    furthestEnd = std::max(furthestEnd, platform::SaturatingAdd(current.Offset, current.Length));
  }
  return overlapping;
}
