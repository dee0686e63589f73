// The platform's visual styles and its own progress bar, for the themed controls: what is found at
// start-up, the "Progress" visual-style parts drawn into an RGB buffer, the native progress bar
// hosted in a window, and the system's reports of style, colour and display changes.
//
// Windows has all of these. Elsewhere every answer is "none": nothing is found, no part is drawn,
// no native bar is made and no change is ever reported, so the controls paint the classic way.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/ui.h"

namespace platform::ui {

// ---- Start-up facts and system colours -------------------------------------------------------

struct StyleFacts {
  // The desktop-compositor library ("dwmapi.dll") loads.
  bool compositorFound = false;
  // The visual-style library ("uxtheme.dll") loads, and it says that styles are active and
  // applied to this application (IsThemeActive and IsAppThemed).
  bool visualStylesInUse = false;
};

// Looks at the system now; the libraries are looked up at run time, none is linked.
StyleFacts DetectStyleFacts();

// The fresh answer of StyleFacts::visualStylesInUse, for a report of changed styles.
bool VisualStylesInUse();

struct RgbValue {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;

  friend bool operator==(const RgbValue&, const RgbValue&) = default;
};

// The system colours the controls paint with.
struct SystemColorValues {
  RgbValue buttonFace;
  RgbValue buttonShadow;
  RgbValue buttonHighlight;
  RgbValue highlight;
};

// True, with the system's current colours, where the platform has system colours; false (and
// `colors` untouched) elsewhere.
bool ReadSystemColors(SystemColorValues* colors);

// ---- The "Progress" visual-style parts -------------------------------------------------------

// A rectangle (left, top)-(right, bottom), right and bottom edges exclusive.
struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Draws the parts of the visual-style class "Progress" (1 bar frame, 2 vertical bar frame,
// 3 chunk, 4 vertical chunk). The style data are opened on the first drawing (for `window`'s
// handle when one is given, else for none) and closed when the painter is destroyed. Needs no
// window and no message loop.
class ProgressStylePainter {
 public:
  explicit ProgressStylePainter(const Window* window = nullptr);
  ~ProgressStylePainter();
  ProgressStylePainter(const ProgressStylePainter&) = delete;
  ProgressStylePainter& operator=(const ProgressStylePainter&) = delete;

  // Draws `part` over `rect` of `rgb` (width x height pixels, 3 bytes per pixel, rows top to
  // bottom), blended over the pixels that are there; the parts of `rect` outside the buffer are
  // cut off. False, with `rgb` untouched, when the styles have no data for the part (styles off,
  // no such platform), the part number or the buffer is invalid, or drawing failed.
  bool DrawPart(uint8_t* rgb, int width, int height, int part, const PixelRect& rect);

  // The styles changed: the data are opened afresh on the next drawing.
  void Reset();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// ---- The native progress bar -----------------------------------------------------------------

// The platform's own progress bar as a child of a window: range 0 to 100, position 0, step 10,
// horizontal, not smooth, no border width and visible when made. Settings go straight to the
// native control; the getters read them back from it.
class NativeProgressBar {
 public:
  // A bar filling (x, y, width, height) of `parent`'s client area; null where the platform has
  // no such bar (everywhere but Windows) or `parent` has no system window (no display).
  static std::unique_ptr<NativeProgressBar> Create(Window& parent, int x, int y, int width,
                                                   int height);
  ~NativeProgressBar();
  NativeProgressBar(const NativeProgressBar&) = delete;
  NativeProgressBar& operator=(const NativeProgressBar&) = delete;

  // Min above Max is passed on as it is; the native bar decides what it shows then.
  void SetRange(int min, int max);
  void SetPosition(int value);
  void SetStep(int value);
  void SetVertical(bool value);  // fills from the bottom
  void SetSmooth(bool value);    // one continuous bar instead of blocks
  // A margin of that many pixels on every side of the area that the bar leaves to its parent
  // (negative: the bar reaches beyond the area).
  void SetBorderWidth(int value);
  void SetVisible(bool value);

  int Min() const;
  int Max() const;
  int Position() const;
  int Step() const;
  bool Vertical() const;
  bool Smooth() const;
  bool Visible() const;  // its own visibility, whatever its parent's
  // Where the bar lies in its parent's client area now.
  PixelRect Bounds() const;

  struct Impl;

 private:
  explicit NativeProgressBar(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// ---- Reports of system changes ---------------------------------------------------------------

// What a window hears when the system's visual styles, colours or display change. Unset
// functions are skipped.
struct SystemChangeEvents {
  // With the fresh answer of VisualStylesInUse.
  std::function<void(bool visualStylesInUse)> visualStylesChanged;
  // With the system's new colours.
  std::function<void(const SystemColorValues& colors)> systemColorsChanged;
  std::function<void()> displayChanged;
};

// Replaces what `window` reports to. Nothing is ever reported where the platform has no such
// notifications.
void SetSystemChangeEvents(Window& window, SystemChangeEvents events);

enum class SystemChange { visualStyles, systemColors, display };

// Hands `window` the system's notification of `change` as the system itself would, through the
// window's own message handling; where the platform has none, nothing happens.
void DeliverSystemChange(Window& window, SystemChange change);

}  // namespace platform::ui
