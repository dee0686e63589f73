// The theme manager's registry and its notifications.
#include "controls/theme_manager.h"

#include <algorithm>
#include <cassert>

#include "controls/themed_control.h"

TThemeManager::TThemeManager(const TThemeStartupFacts& facts, const TSystemColors& colors)
    : FFacts(facts), FColors(colors) {}

TThemeManager::~TThemeManager() {
  assert(FControls.empty());
}

void TThemeManager::Register(TThemedControl* control) {
  if (std::find(FControls.begin(), FControls.end(), control) == FControls.end()) {
    FControls.push_back(control);
  }
}

void TThemeManager::Unregister(TThemedControl* control) {
  FControls.erase(std::remove(FControls.begin(), FControls.end(), control), FControls.end());
}

void TThemeManager::SystemColorsChanged(const TSystemColors& colors) {
  FColors = colors;
  NotifyVisibleControls(tnSystemChanged);
}

void TThemeManager::DisplayChanged() {
  NotifyVisibleControls(tnSystemChanged);
}

void TThemeManager::VisualStylesChanged(bool visualStylesInUse) {
  FFacts.VisualStylesInUse = visualStylesInUse;
  NotifyVisibleControls(tnSystemChanged);
}

void TThemeManager::NotifyVisibleControls(int code) {
  // By index: a control's answer only asks for painting, but the list must stay valid even if
  // one of them unregistered another.
  for (size_t i = 0; i < FControls.size(); ++i) {
    if (FControls[i]->Visible()) FControls[i]->ThemeNotify(code);
  }
}
