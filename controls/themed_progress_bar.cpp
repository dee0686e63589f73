// The themed progress bar's setters, its choice of drawing and its theme notifications.
#include "controls/themed_progress_bar.h"

#include "controls/classic_progress_painter.h"
#include "controls/progress_geometry.h"

TProgressDrawing ChooseProgressDrawing(const TThemeStartupFacts& facts, bool hostedBarExists) {
  if (facts.CompositorFound && hostedBarExists) return pdHostedBar;
  if (facts.VisualStylesInUse) return pdVisualStyles;
  return pdClassic;
}

TThemedProgressBar::TThemedProgressBar(TThemeManager& manager,
                                       const THostedBarFactory& createHostedBar)
    : TThemedControl(manager, kInitialWidth, kInitialHeight) {
  if (!manager.Facts().CompositorFound || !createHostedBar) return;
  FHostedBar = createHostedBar();
  if (FHostedBar == nullptr) return;
  // A new platform bar has these values already; passing them on keeps the two in step even
  // where its defaults differ.
  FHostedBar->SetMin(FMin);
  FHostedBar->SetMax(FMax);
  FHostedBar->SetStep(FStep);
  FHostedBar->SetOrientation(FOrientation);
  FHostedBar->SetSmooth(FSmooth);
  FHostedBar->SetBorderWidth(FBorderWidth);
  FHostedBar->SetPosition(FPosition);
}

TThemedProgressBar::~TThemedProgressBar() {
  if (FThemeLink != nullptr) FThemeLink->RemoveObserver(this);
}

void TThemedProgressBar::SetMin(int value) {
  FMin = value;
  if (HostedBarInUse()) {
    FHostedBar->SetMin(value);
  } else {
    Invalidate();
  }
}

void TThemedProgressBar::SetMax(int value) {
  FMax = value;
  if (HostedBarInUse()) {
    FHostedBar->SetMax(value);
  } else {
    Invalidate();
  }
}

void TThemedProgressBar::SetPosition(int value) {
  if (value == FPosition) return;
  const float before = Fraction();
  FPosition = value;
  // Compared in single precision: positions closer than that precision cost no paint.
  if (Fraction() == before) return;
  if (HostedBarInUse()) {
    FHostedBar->SetPosition(value);
  } else {
    Repaint();
  }
}

void TThemedProgressBar::SetStep(int value) {
  FStep = FMax < value ? FMax : value;
  if (HostedBarInUse()) FHostedBar->SetStep(FStep);
}

void TThemedProgressBar::SetOrientation(TProgressOrientation value) {
  if (value == FOrientation) return;
  FOrientation = value;
  if (HostedBarInUse()) {
    FHostedBar->SetOrientation(value);
  } else {
    Invalidate();
  }
}

void TThemedProgressBar::SetSmooth(bool value) {
  if (value == FSmooth) return;
  FSmooth = value;
  if (HostedBarInUse()) {
    FHostedBar->SetSmooth(value);
  } else {
    Invalidate();
  }
}

void TThemedProgressBar::SetBorderWidth(int value) {
  if (value == FBorderWidth) return;
  FBorderWidth = value;
  if (HostedBarInUse()) {
    FHostedBar->SetBorderWidth(value);
  } else {
    Invalidate();
  }
}

void TThemedProgressBar::SetShowBorder(bool value) {
  if (value == FShowBorder) return;
  FShowBorder = value;
  if (!HostedBarInUse()) Invalidate();
}

void TThemedProgressBar::SetThemeObject(const std::string& value) {
  FThemeObject = value;
  if (value != kDefaultThemeObject) Invalidate();
}

void TThemedProgressBar::SetThemeLink(TCustomThemeLink* value) {
  if (value == FThemeLink) return;
  if (FThemeLink != nullptr) FThemeLink->RemoveObserver(this);
  FThemeLink = value;
  if (FThemeLink != nullptr) FThemeLink->AddObserver(this);
  Invalidate();
}

void TThemedProgressBar::ThemeLinkDestroyed(TCustomThemeLink* link) {
  if (link == FThemeLink) FThemeLink = nullptr;
}

float TThemedProgressBar::Fraction() const {
  return FilledFraction(FMin, FMax, FPosition);
}

TProgressLook TThemedProgressBar::Look() const {
  return {.Fraction = Fraction(),
          .Orientation = FOrientation,
          .Smooth = FSmooth,
          .ShowBorder = FShowBorder,
          .BorderWidth = FBorderWidth};
}

TProgressDrawing TThemedProgressBar::Drawing() const {
  return ChooseProgressDrawing(ThemeManager().Facts(), FHostedBar != nullptr);
}

void TThemedProgressBar::Paint(TRgbCanvas& canvas) {
  switch (Drawing()) {
    case pdHostedBar:
      return;
    case pdVisualStyles:
      if (FVisualStyle != nullptr) {
        PaintVisualStyleProgress(canvas, Look(), *FVisualStyle);
        return;
      }
      break;
    case pdClassic:
      break;
  }
  PaintClassicProgress(canvas, Look(), ThemeManager().Colors());
}

void TThemedProgressBar::ThemeNotify(int code) {
  switch (code) {
    case tnThemeChanged:
    case tnThemeRefresh:
      Invalidate();
      if (FHostedBar != nullptr) FHostedBar->SetVisible(HostedBarInUse());
      break;
    case tnThemeAttach:
      if (HostedBarInUse()) {
        FHostedBar->SetVisible(true);
      } else {
        Invalidate();
      }
      break;
    case tnSystemChanged:
      Invalidate();
      break;
    default:
      break;
  }
}
