// Arithmetic on the numbers an archive supplies (sizes, offsets, counts, lengths, part numbers):
// every sum or product of such values goes through here, so a forged value never overflows.
#pragma once

#include <cstdint>
#include <limits>

// a + b in *sum; false, and *sum unchanged, when the result does not fit.
[[nodiscard]] inline bool CheckedAdd(int64_t a, int64_t b, int64_t* sum) {
  int64_t result;
  if (__builtin_add_overflow(a, b, &result)) return false;
  *sum = result;
  return true;
}
[[nodiscard]] inline bool CheckedAdd(uint64_t a, uint64_t b, uint64_t* sum) {
  uint64_t result;
  if (__builtin_add_overflow(a, b, &result)) return false;
  *sum = result;
  return true;
}

// a * b in *product; false, and *product unchanged, when the result does not fit.
[[nodiscard]] inline bool CheckedMultiply(int64_t a, int64_t b, int64_t* product) {
  int64_t result;
  if (__builtin_mul_overflow(a, b, &result)) return false;
  *product = result;
  return true;
}

// a + b, a - b and a * b held at the nearest end of the type when they do not fit.
inline int64_t SaturatingAdd(int64_t a, int64_t b) {
  int64_t sum;
  if (CheckedAdd(a, b, &sum)) return sum;
  return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}
inline uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  uint64_t sum;
  return CheckedAdd(a, b, &sum) ? sum : std::numeric_limits<uint64_t>::max();
}
inline int64_t SaturatingSubtract(int64_t a, int64_t b) {
  int64_t difference;
  if (!__builtin_sub_overflow(a, b, &difference)) return difference;
  return b < 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}
inline int64_t SaturatingMultiply(int64_t a, int64_t b) {
  int64_t product;
  if (CheckedMultiply(a, b, &product)) return product;
  return (a < 0) == (b < 0) ? std::numeric_limits<int64_t>::max()
                            : std::numeric_limits<int64_t>::min();
}

// Stream position arithmetic that wraps round instead of overflowing: a nonsense target is
// handed to the stream as it is, and the stream refuses what it cannot reach.
inline int64_t WrappingAdd(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
inline int64_t WrappingSubtract(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}

// An untrusted 64-bit size as a signed value: INT64_MAX for anything above it.
inline int64_t ClampToInt64(uint64_t value) {
  return value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
             ? std::numeric_limits<int64_t>::max()
             : static_cast<int64_t>(value);
}

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
