// The themed controls' theme manager: the start-up facts that decide how the controls draw, the
// system colours they draw with, and the notifications every registered control receives.
#pragma once

#include <vector>

#include "controls/system_colors.h"

class TThemedControl;

// The private control message that carries a theme notification; its first parameter is the
// code, one of TThemeNotification.
inline constexpr int kThemeNotifyMessage = 2048;

// Theme notification codes; how a control answers each is documented with the control.
enum TThemeNotification : int {
  tnThemeChanged = 0,
  tnThemeRefresh = 3,
  tnThemeAttach = 4,
  tnSystemChanged = 5,  // system colours, the display or the visual styles changed
};

// What the platform finds once at start-up, before any window is created.
struct TThemeStartupFacts {
  // The desktop-compositor library loaded ("dwmapi.dll" on Windows).
  bool CompositorFound = false;
  // The visual-style library loaded and says that styles are active and applied to this
  // application ("uxtheme.dll", IsThemeActive and IsAppThemed on Windows).
  bool VisualStylesInUse = false;
};

class TThemeManager {
 public:
  explicit TThemeManager(const TThemeStartupFacts& facts,
                         const TSystemColors& colors = kClassicSystemColors);
  // Every control must have unregistered by now.
  ~TThemeManager();
  TThemeManager(const TThemeManager&) = delete;
  TThemeManager& operator=(const TThemeManager&) = delete;

  const TThemeStartupFacts& Facts() const { return FFacts; }
  const TSystemColors& Colors() const { return FColors; }

  // Controls register themselves when they are created and unregister when destroyed.
  void Register(TThemedControl* control);
  void Unregister(TThemedControl* control);

  // The platform's reports of a change. Each sends tnSystemChanged to every registered control
  // that is visible; a change of the visual styles also brings the fresh answer to whether they
  // are in use.
  void SystemColorsChanged(const TSystemColors& colors);
  void DisplayChanged();
  void VisualStylesChanged(bool visualStylesInUse);

 private:
  void NotifyVisibleControls(int code);

  TThemeStartupFacts FFacts;
  TSystemColors FColors;
  std::vector<TThemedControl*> FControls;
};
