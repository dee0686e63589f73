// What the progress bar's painters need to know of the bar: its filled fraction and the settings
// that shape it. The control's rectangle is the canvas the painters are given.
#pragma once

#include <cstdint>

// Horizontal bars fill from the left, vertical ones from the bottom.
enum TProgressOrientation : uint8_t { poHorizontal = 0, poVertical = 1 };

struct TProgressLook {
  float Fraction = 0;  // the filled fraction, 0 to 1, in single precision
  TProgressOrientation Orientation = poHorizontal;
  bool Smooth = false;     // one continuous bar instead of blocks
  bool ShowBorder = true;  // a frame, and a 2-pixel margin inside the control
  int BorderWidth = 0;     // further margin between frame and bar on every side
};
