// The themed controls' base: registration, size and repaint requests.
#include "controls/themed_control.h"

#include <algorithm>

TThemedControl::TThemedControl(TThemeManager& manager, int width, int height)
    : FManager(manager), FWidth(std::max(width, 0)), FHeight(std::max(height, 0)) {
  FManager.Register(this);
}

TThemedControl::~TThemedControl() {
  FManager.Unregister(this);
}

void TThemedControl::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == FWidth && height == FHeight) return;
  FWidth = width;
  FHeight = height;
  Invalidate();
}

void TThemedControl::Invalidate() {
  if (FSurface != nullptr) FSurface->Invalidate();
}

void TThemedControl::Repaint() {
  if (FSurface != nullptr) FSurface->Repaint();
}
