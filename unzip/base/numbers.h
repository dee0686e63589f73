// Small numeric helpers of the archive component: part numbers, and the percentage behind every
// progress event.
#pragma once

#include <cstdint>
#include <limits>

inline int64_t Min64(int64_t a, int64_t b) {
  return a < b ? a : b;
}
inline int64_t Max64(int64_t a, int64_t b) {
  return a > b ? a : b;
}

// done * 100 / total rounded to the nearest integer with halves to even, at most 100; 0 when
// total <= 0. A negative `done` gives a negative result: nothing is raised to 0 from below.
int64_t PercentOf(int64_t done, int64_t total);

// The 1-based part number of a 0-based disk number (INT_MAX for the largest disk numbers, which
// no set has): the number that part lookups take.
inline int PartNumberOfDisk(uint32_t disk) {
  const int64_t part = static_cast<int64_t>(disk) + 1;
  return part > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                : static_cast<int>(part);
}
// The 1-based number of the part after the 0-based part `current`, held at INT_MAX.
inline int PartNumberAfter(int current) {
  return current < std::numeric_limits<int>::max() - 1 ? current + 2
                                                       : std::numeric_limits<int>::max();
}
