// The platform's own progress bar, hosted by the themed bar when the desktop-compositor library
// was found: it fills the control's client area, and the control passes its settings on to it.
#pragma once

#include "controls/progress_look.h"

// Implemented by a platform that has such a bar. A new one is visible and has the bar's initial
// settings (range 0 to 100, position 0, step 10, horizontal, not smooth, no border width); the
// control passes on its own settings right after creating it all the same.
class THostedProgressBar {
 public:
  virtual ~THostedProgressBar() = default;
  virtual void SetMin(int value) = 0;
  virtual void SetMax(int value) = 0;
  virtual void SetPosition(int value) = 0;
  virtual void SetStep(int value) = 0;
  virtual void SetOrientation(TProgressOrientation value) = 0;
  virtual void SetSmooth(bool value) = 0;
  virtual void SetBorderWidth(int value) = 0;
  virtual void SetVisible(bool value) = 0;
};
