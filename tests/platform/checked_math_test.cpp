// The arithmetic that never overflows: sums and products that fit, and the ends where they do not.
#include "platform/checked_math.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace platform {
namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr uint64_t kUMax = std::numeric_limits<uint64_t>::max();

TEST(CheckedMath, CheckedSumsAndProductsReportWhatDoesNotFit) {
  struct Case {
    int64_t a, b;
    bool sumFits, productFits;
  } cases[] = {
      {1, 2, true, true},
      {kMax - 16, 16, true, false},
      {kMax, 16, false, false},
      {kMin, -1, false, false},
      {kMin, 1, true, true},
      {-3, 4, true, true},
      {1LL << 32, 1LL << 31, true, false},
      {0, kMax, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " " << c.b);
    int64_t sum = 7;
    EXPECT_EQ(CheckedAdd(c.a, c.b, &sum), c.sumFits);
    if (c.sumFits) {
      EXPECT_EQ(sum, c.a + c.b);
    } else {
      EXPECT_EQ(sum, 7);  // unchanged
    }
    int64_t product = 7;
    EXPECT_EQ(CheckedMultiply(c.a, c.b, &product), c.productFits);
    if (c.productFits) {
      EXPECT_EQ(product, c.a * c.b);
    } else {
      EXPECT_EQ(product, 7);
    }
  }
  uint64_t usum = 7;
  EXPECT_TRUE(CheckedAdd(uint64_t{1}, kUMax - 1, &usum));
  EXPECT_EQ(usum, kUMax);
  EXPECT_FALSE(CheckedAdd(uint64_t{2}, kUMax - 1, &usum));
  EXPECT_EQ(usum, kUMax);
}

TEST(CheckedMath, SaturatingResultsStopAtTheEnds) {
  EXPECT_EQ(SaturatingAdd(kMax - 1, int64_t{16}), kMax);
  EXPECT_EQ(SaturatingAdd(kMin + 1, int64_t{-16}), kMin);
  EXPECT_EQ(SaturatingAdd(int64_t{40}, int64_t{2}), 42);
  EXPECT_EQ(SaturatingAdd(kUMax - 2, uint64_t{30}), kUMax);
  EXPECT_EQ(SaturatingAdd(uint64_t{12}, uint64_t{30}), 42u);
  EXPECT_EQ(SaturatingSubtract(kMin + 1, int64_t{2}), kMin);
  EXPECT_EQ(SaturatingSubtract(kMax - 1, int64_t{-2}), kMax);
  EXPECT_EQ(SaturatingSubtract(int64_t{50}, int64_t{8}), 42);
  EXPECT_EQ(SaturatingMultiply(kMax / 2, int64_t{3}), kMax);
  EXPECT_EQ(SaturatingMultiply(kMax / 2, int64_t{-3}), kMin);
  EXPECT_EQ(SaturatingMultiply(int64_t{-6}, int64_t{-7}), 42);
}

TEST(CheckedMath, WrappingAndClampingAreDefinedForEveryValue) {
  EXPECT_EQ(WrappingAdd(kMax, 1), kMin);
  EXPECT_EQ(WrappingSubtract(kMin, 1), kMax);
  EXPECT_EQ(ClampToInt64(kUMax), kMax);
  EXPECT_EQ(ClampToInt64(uint64_t{1} << 63), kMax);
  EXPECT_EQ(ClampToInt64(42), 42);
}

}  // namespace
}  // namespace platform
