// Small numeric helpers of the archive component, and the percentage behind every progress event.
#pragma once

#include <cstdint>

#include "unzip/base/checked_math.h"

inline int64_t Min64(int64_t a, int64_t b) {
  return a < b ? a : b;
}
inline int64_t Max64(int64_t a, int64_t b) {
  return a > b ? a : b;
}

// done * 100 / total rounded to the nearest integer with halves to even, at most 100; 0 when
// total <= 0. A negative `done` gives a negative result: nothing is raised to 0 from below.
int64_t PercentOf(int64_t done, int64_t total);
