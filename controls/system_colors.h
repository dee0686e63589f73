// The system colours the controls paint with, and the colours of the classic Windows scheme that
// stand in wherever the platform supplies none.
#pragma once

#include "controls/rgb_canvas.h"

struct TSystemColors {
  TRgbColor ButtonFace;       // control backgrounds
  TRgbColor ButtonShadow;     // the dark (upper and left) lines of a sunken frame
  TRgbColor ButtonHighlight;  // the light (lower and right) lines of a sunken frame
  TRgbColor Highlight;        // selections, and the filled share of a progress bar
};

// The default "Windows Standard" classic scheme.
inline constexpr TSystemColors kClassicSystemColors = {
    .ButtonFace = {212, 208, 200},
    .ButtonShadow = {128, 128, 128},
    .ButtonHighlight = {255, 255, 255},
    .Highlight = {10, 36, 106},
};
