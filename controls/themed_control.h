// TThemedControl, the base of the themed controls: custom-drawn and opaque, painted into an
// off-screen buffer that the GUI layer shows, registered with the theme manager.
#pragma once

#include <cstdint>

#include "controls/rgb_canvas.h"
#include "controls/theme_manager.h"

// How the GUI layer buffers a paint: pbDoubleBuffer draws into an off-screen buffer of the
// control's size, made for each paint and copied to the screen in one step; pbSharedBuffer uses
// one buffer shared by all controls instead; pbNoBuffer draws straight to the screen.
enum TPaintBuffering : uint8_t { pbNoBuffer = 0, pbSharedBuffer = 1, pbDoubleBuffer = 2 };

// The control's window as the GUI layer shows it: it takes the control's requests to be drawn
// again, and paints by calling the control's Paint.
class TControlSurface {
 public:
  virtual ~TControlSurface() = default;
  // The whole control is to be painted again when the message loop next paints.
  virtual void Invalidate() = 0;
  // The whole control is to be painted again now, before the call returns.
  virtual void Repaint() = 0;
};

class TThemedControl {
 public:
  // Registers the control with `manager`, which must outlive it.
  TThemedControl(TThemeManager& manager, int width, int height);
  virtual ~TThemedControl();
  TThemedControl(const TThemedControl&) = delete;
  TThemedControl& operator=(const TThemedControl&) = delete;

  TThemeManager& ThemeManager() const { return FManager; }

  // Where repaint requests go (not owned); without a surface they are dropped.
  TControlSurface* Surface() const { return FSurface; }
  void SetSurface(TControlSurface* surface) { FSurface = surface; }

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // A negative size counts as 0. A new size invalidates the control.
  void SetSize(int width, int height);

  // Only visible controls hear of changes of the system's colours, display or visual styles.
  bool Visible() const { return FVisible; }
  void SetVisible(bool value) { FVisible = value; }

  TPaintBuffering Performance() const { return FPerformance; }
  void SetPerformance(TPaintBuffering value) { FPerformance = value; }

  // Paints the whole control into `canvas`, the off-screen buffer of the control's size.
  virtual void Paint(TRgbCanvas& canvas) = 0;
  // The theme manager's notification (message kThemeNotifyMessage) with its code.
  virtual void ThemeNotify(int code) = 0;

 protected:
  void Invalidate();
  void Repaint();

 private:
  TThemeManager& FManager;
  TControlSurface* FSurface = nullptr;
  int FWidth;
  int FHeight;
  bool FVisible = true;
  TPaintBuffering FPerformance = pbDoubleBuffer;
};
