// The classic way of drawing the progress bar, used when neither a hosted platform bar nor the
// platform's visual styles are: a sunken frame, the background, and blocks or one smooth bar.
#pragma once

#include "controls/progress_look.h"
#include "controls/rgb_canvas.h"
#include "controls/system_colors.h"

// Paints the whole control into `canvas`, whose size is the control's size.
void PaintClassicProgress(TRgbCanvas& canvas, const TProgressLook& look,
                          const TSystemColors& colors);
