// The progress bar's geometry. Fractions are single precision and products with them are taken
// in extended precision, so the same fraction gives the same pixels on every build.
#include "controls/progress_geometry.h"

#include <algorithm>
#include <cmath>

float FilledFraction(int min, int max, int position) {
  if (min < 0 || position < min || position > max || min == max) return 0;
  // min >= 0 here, so neither difference can overflow.
  const long double done = static_cast<long double>(position) - min;
  const long double range = static_cast<long double>(max) - min;
  return static_cast<float>(done / range);
}

int64_t RoundHalfEven(long double value) {
  // The default rounding mode rounds halves to the even neighbour.
  return static_cast<int64_t>(std::nearbyint(value));
}

TBarRect ProgressBarRect(int width, int height, bool showBorder, int borderWidth) {
  const int64_t inset = (showBorder ? 2 : 0) + int64_t{borderWidth};
  return {inset, inset, int64_t{width} - inset, int64_t{height} - inset};
}

namespace {

// A look is also built by hand (the painters can be called directly): a fraction outside 0 to 1,
// or not a number, must not turn into an out-of-range integer.
float SaneFraction(float fraction) {
  if (!(fraction >= 0)) return 0;
  return std::min(fraction, 1.0f);
}

// The bar's length along its orientation, and its thickness across it.
int64_t Extent(const TBarRect& bar, TProgressOrientation orientation) {
  return orientation == poVertical ? bar.Height() : bar.Width();
}
int64_t Thickness(const TBarRect& bar, TProgressOrientation orientation) {
  return orientation == poVertical ? bar.Width() : bar.Height();
}

}  // namespace

TBarRect ProgressFilledRect(const TBarRect& bar, TProgressOrientation orientation, float fraction) {
  const long double share = SaneFraction(fraction);
  const int64_t length = RoundHalfEven(share * Extent(bar, orientation));
  TBarRect filled = bar;
  if (orientation == poVertical) {
    filled.Top = bar.Bottom - length;
  } else {
    filled.Right = bar.Left + length;
  }
  return filled;
}

TProgressBlocks ProgressBlocks(const TBarRect& bar, TProgressOrientation orientation,
                               float fraction) {
  TProgressBlocks blocks;
  // An empty bar has no room for a block, and its thickness would give no usable pitch.
  if (bar.IsEmpty()) return blocks;
  blocks.Size = RoundHalfEven(Thickness(bar, orientation) * 0.64L);
  blocks.Pitch = blocks.Size + 2;
  // 1/100 in single precision lies just below 0.01, so 1 per cent shows no block.
  const long double share = SaneFraction(fraction);
  if (share < 0.01L) return blocks;
  const int64_t wholePitches = Extent(bar, orientation) / blocks.Pitch;
  // One block more than the rounded product: this is how the bar has always looked.
  blocks.Count = RoundHalfEven(share * wholePitches) + 1;
  return blocks;
}

TBarRect ProgressBlockRect(const TBarRect& bar, TProgressOrientation orientation,
                           const TProgressBlocks& blocks, int64_t k) {
  TBarRect block = bar;
  if (orientation == poVertical) {
    block.Bottom = bar.Bottom - k * blocks.Pitch;
    block.Top = block.Bottom - blocks.Size;
  } else {
    block.Left = bar.Left + k * blocks.Pitch;
    block.Right = block.Left + blocks.Size;
  }
  return block;
}

TRect ClipBarRect(const TBarRect& rect, const TRect& bounds) {
  // The cut values lie between the bounds' own edges, so they fit an int.
  const auto cut = [](int64_t value, int low, int high) {
    return static_cast<int>(std::clamp<int64_t>(value, low, std::max(low, high)));
  };
  return {cut(rect.Left, bounds.Left, bounds.Right), cut(rect.Top, bounds.Top, bounds.Bottom),
          cut(rect.Right, bounds.Left, bounds.Right), cut(rect.Bottom, bounds.Top, bounds.Bottom)};
}
