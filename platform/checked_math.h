// Integer arithmetic that never overflows: sums and products checked, held at the ends of the
// type, or wrapped round. Every sum or product of untrusted numbers (an archive's sizes, offsets,
// counts and lengths) goes through here, so a forged value never overflows.
#pragma once

#include <cstdint>
#include <limits>

namespace platform {

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

}  // namespace platform
