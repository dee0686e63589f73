// The classic progress bar painting: frame and background first, then the filled share.
#include "controls/classic_progress_painter.h"

#include <algorithm>
#include <cstdint>

#include "controls/progress_geometry.h"

namespace {

// Each drawn part is cut to the bar, then to the canvas.
void FillInBar(TRgbCanvas& canvas, const TBarRect& part, const TBarRect& bar, TRgbColor color) {
  const TBarRect inBar = {std::max(part.Left, bar.Left), std::max(part.Top, bar.Top),
                          std::min(part.Right, bar.Right), std::min(part.Bottom, bar.Bottom)};
  canvas.FillRect(ClipBarRect(inBar, canvas.Bounds()), color);
}

void PaintBlocks(TRgbCanvas& canvas, const TProgressLook& look, const TBarRect& bar,
                 TRgbColor color) {
  const TProgressBlocks blocks = ProgressBlocks(bar, look.Orientation, look.Fraction);
  // The pitch grows with the bar's thickness, and BorderWidth moves the bar's edges as much
  // across as along: whatever its value, there are at most about a third as many blocks as the
  // control is long.
  for (int64_t k = 0; k < blocks.Count; ++k) {
    FillInBar(canvas, ProgressBlockRect(bar, look.Orientation, blocks, k), bar, color);
  }
}

}  // namespace

void PaintClassicProgress(TRgbCanvas& canvas, const TProgressLook& look,
                          const TSystemColors& colors) {
  TRect r = canvas.Bounds();
  if (look.ShowBorder) {
    // Sunken: shadow on the left and top, highlight on the right and bottom. The shadow lines
    // stop one pixel short, so the corners at the top right and bottom left are light.
    canvas.VerticalLine(r.Left, r.Top, r.Bottom - 2, colors.ButtonShadow);
    canvas.HorizontalLine(r.Top, r.Left, r.Right - 2, colors.ButtonShadow);
    canvas.VerticalLine(r.Right - 1, r.Top, r.Bottom - 2, colors.ButtonHighlight);
    canvas.HorizontalLine(r.Bottom - 1, r.Left, r.Right - 1, colors.ButtonHighlight);
    r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
  }
  canvas.FillRect(r, colors.ButtonFace);

  const TBarRect bar =
      ProgressBarRect(canvas.Width(), canvas.Height(), look.ShowBorder, look.BorderWidth);
  if (look.Smooth) {
    FillInBar(canvas, ProgressFilledRect(bar, look.Orientation, look.Fraction), bar,
              colors.Highlight);
  } else {
    PaintBlocks(canvas, look, bar, colors.Highlight);
  }
}
