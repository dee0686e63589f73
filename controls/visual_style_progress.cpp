// Placement of the "Progress" visual-style parts; the drawing of each part is the platform's.
#include "controls/visual_style_progress.h"

#include <algorithm>
#include <climits>

#include "controls/progress_geometry.h"

namespace {

// The part's rectangle is handed on whole (a part stretched over a cut rectangle would look
// different), so it is only kept inside the range of an int.
TRect SaturatedRect(const TBarRect& rect) {
  const auto fit = [](int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
  };
  return {fit(rect.Left), fit(rect.Top), fit(rect.Right), fit(rect.Bottom)};
}

}  // namespace

void PaintVisualStyleProgress(TRgbCanvas& canvas, const TProgressLook& look,
                              TProgressVisualStyle& style) {
  const bool vertical = look.Orientation == poVertical;
  const TRect control = canvas.Bounds();
  if (look.ShowBorder && !control.IsEmpty()) {
    style.DrawPart(canvas, vertical ? ppBarVert : ppBar, control);
  }
  const TBarRect bar =
      ProgressBarRect(canvas.Width(), canvas.Height(), look.ShowBorder, look.BorderWidth);
  const TRect filled = SaturatedRect(ProgressFilledRect(bar, look.Orientation, look.Fraction));
  if (filled.IsEmpty()) return;
  style.DrawPart(canvas, vertical ? ppChunkVert : ppChunk, filled);
}
