// The visual-style way of drawing the progress bar: which of the platform's "Progress" parts go
// where. The platform draws the parts themselves behind TProgressVisualStyle.
#pragma once

#include "controls/progress_look.h"
#include "controls/rgb_canvas.h"

// The parts of the "Progress" visual-style class, by their numbers.
enum TProgressPart : int {
  ppBar = 1,        // frame of a horizontal bar
  ppBarVert = 2,    // frame of a vertical bar
  ppChunk = 3,      // filled share of a horizontal bar
  ppChunkVert = 4,  // filled share of a vertical bar
};

// Implemented by a platform that has visual styles. It owns the visual-style handle of the class
// "Progress" (opened on first use, closed when it is destroyed).
class TProgressVisualStyle {
 public:
  virtual ~TProgressVisualStyle() = default;
  // Draws `part` over `rect` of the control's off-screen buffer. `rect` is never empty; it may
  // reach beyond the canvas when the bar's BorderWidth is negative.
  virtual void DrawPart(TRgbCanvas& canvas, TProgressPart part, const TRect& rect) = 0;
};

// Paints the whole control into `canvas` (the control's size) through `style`: the frame part
// over the control when the border shows (else nothing is drawn below the bar, not even a
// background), then the chunk part over the filled share.
void PaintVisualStyleProgress(TRgbCanvas& canvas, const TProgressLook& look,
                              TProgressVisualStyle& style);
