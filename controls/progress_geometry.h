// Geometry shared by the progress bar's ways of painting: the filled fraction of a position, the
// bar rectangle, the filled rectangle and the row of blocks.
#pragma once

#include <cstdint>

#include "controls/progress_look.h"
#include "controls/rgb_canvas.h"

// (position - min) / (max - min), rounded to single precision; 0 when min < 0, position < min,
// position > max or min = max. A position outside the range gives an empty bar: nothing is
// clamped.
float FilledFraction(int min, int max, int position);

// The nearest integer, halves going to the even neighbour.
int64_t RoundHalfEven(long double value);

// A rectangle of the bar's geometry, edges as in TRect. 64-bit, because BorderWidth is taken as
// it is and may push the bar's edges past the range of an int.
struct TBarRect {
  int64_t Left = 0;
  int64_t Top = 0;
  int64_t Right = 0;
  int64_t Bottom = 0;

  int64_t Width() const { return Right - Left; }
  int64_t Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  friend bool operator==(const TBarRect&, const TBarRect&) = default;
};

// The bar rectangle B of a control of width x height: shrunk by 2 pixels on every side when the
// border shows, then by borderWidth pixels.
TBarRect ProgressBarRect(int width, int height, bool showBorder, int borderWidth);

// The part of `bar` that the fraction fills: round(fraction x extent) pixels from the left of a
// horizontal bar or from the bottom of a vertical one.
TBarRect ProgressFilledRect(const TBarRect& bar, TProgressOrientation orientation, float fraction);

// The blocks of the classic bar. Blocks 0 to Count - 1 are drawn; each is Size pixels thick
// along the bar, and block k starts k x Pitch pixels from the bar's starting edge.
struct TProgressBlocks {
  int64_t Size = 0;
  int64_t Pitch = 0;
  int64_t Count = 0;
};
TProgressBlocks ProgressBlocks(const TBarRect& bar, TProgressOrientation orientation,
                               float fraction);
// Block k before it is cut to the bar (the last one may reach beyond it).
TBarRect ProgressBlockRect(const TBarRect& bar, TProgressOrientation orientation,
                           const TProgressBlocks& blocks, int64_t k);

// `rect` cut to `bounds`.
TRect ClipBarRect(const TBarRect& rect, const TRect& bounds);
