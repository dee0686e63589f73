// Entries whose stored data overlaps: a few kilobytes of archive whose entries all point into one
// shared compressed kernel expand to gigabytes. Such entries are never extracted.
#pragma once

#include <cstdint>
#include <vector>

// Where an entry lies in the archive, by the central directory's values.
struct TEntrySpan {
  uint32_t Part = 0;    // the part its local header is on
  uint64_t Offset = 0;  // its local header's offset in that part
  uint64_t Length = 0;  // the local header's fixed part + compressed size
};

// For each span, whether its local header lies inside the span of any entry before it in
// archive order (same part, sorted by offset), however many entries lie between them.
// O(n log n); nothing is read.
std::vector<bool> FindOverlappingEntries(const std::vector<TEntrySpan>& spans);
