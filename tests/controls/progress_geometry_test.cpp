// The progress bar's filled fraction (single precision, no clamping) and its rounding of halves
// to the even neighbour.
#include "controls/progress_geometry.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct FractionCase {
  int min;
  int max;
  int position;
  float fraction;
};

const FractionCase kFractionCases[] = {
    {0, 100, 0, 0.0f},
    {0, 100, 51, 0.51f},
    {0, 100, 100, 1.0f},
    {10, 20, 15, 0.5f},
    {0, 3, 1, 1.0f / 3.0f},
    // Outside the range, or no usable range: an empty bar, never a clamped one.
    {0, 100, 150, 0.0f},
    {0, 100, -1, 0.0f},
    {-1, 100, 50, 0.0f},
    {-10, 10, 10, 0.0f},
    {50, 50, 50, 0.0f},
    {100, 0, 50, 0.0f},
    // Single precision: 1 - 1e-8 is 1, 1 - 1e-7 is not.
    {0, 100000000, 99999999, 1.0f},
    {0, 100000000, 99999990, 0.99999988f},
    // The largest range does not overflow.
    {0, INT_MAX, INT_MAX, 1.0f},
    {0, INT_MAX, 0, 0.0f},
    {INT_MAX - 1, INT_MAX, INT_MAX, 1.0f},
};

TEST(ProgressGeometryTest, FilledFraction) {
  for (const FractionCase& c : kFractionCases) {
    EXPECT_EQ(FilledFraction(c.min, c.max, c.position), c.fraction)
        << "range " << c.min << " to " << c.max << ", position " << c.position;
  }
}

TEST(ProgressGeometryTest, RoundsHalvesToEven) {
  EXPECT_EQ(RoundHalfEven(0.5L), 0);
  EXPECT_EQ(RoundHalfEven(1.5L), 2);
  EXPECT_EQ(RoundHalfEven(94.5L), 94);
  EXPECT_EQ(RoundHalfEven(91.5L), 92);
  EXPECT_EQ(RoundHalfEven(7.68L), 8);
  EXPECT_EQ(RoundHalfEven(-2.5L), -2);
}

}  // namespace
