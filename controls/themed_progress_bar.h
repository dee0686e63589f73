// TThemedProgressBar: the themed progress bar's published properties and their setters' rules,
// its choice of a way to draw itself, and the hosted platform bar it passes its settings on to.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "controls/hosted_progress_bar.h"
#include "controls/progress_look.h"
#include "controls/theme_link.h"
#include "controls/themed_control.h"
#include "controls/visual_style_progress.h"

// The ways the bar draws itself, in the order of preference. A skin drawn by the library's
// current theme would come first, but no theme is ever installed in this system: the lookup of
// ThemeObject finds nothing, so that way is never taken.
enum TProgressDrawing : uint8_t { pdHostedBar = 0, pdVisualStyles = 1, pdClassic = 2 };

// The hosted bar when the compositor library was found and the bar exists, else the visual
// styles when they are in use, else the classic painting.
TProgressDrawing ChooseProgressDrawing(const TThemeStartupFacts& facts, bool hostedBarExists);

class TThemedProgressBar : public TThemedControl, private TThemeLinkObserver {
 public:
  // Makes the platform's hosted bar; empty on a platform that has none.
  using THostedBarFactory = std::function<std::unique_ptr<THostedProgressBar>()>;

  static constexpr int kInitialWidth = 140;
  static constexpr int kInitialHeight = 16;
  static constexpr const char* kDefaultThemeObject = "default";

  // The hosted bar is made only when the manager's start-up facts say that the compositor library
  // was found; it lives as long as the control.
  explicit TThemedProgressBar(TThemeManager& manager,
                              const THostedBarFactory& createHostedBar = {});
  ~TThemedProgressBar() override;

  // ---- Published properties ---------------------------------------------------------------
  // A repaint request below goes to the surface: "invalidated" asks for a paint later,
  // "repainted" for one before the setter returns. Whenever a setter passes a value on to the
  // hosted bar, it asks for no paint of its own.

  int Min() const { return FMin; }
  int Max() const { return FMax; }
  // Stored without any check (also when unchanged, and also Min > Max); passed on to the hosted
  // bar when it is in use, else the control is invalidated.
  void SetMin(int value);
  void SetMax(int value);

  int Position() const { return FPosition; }
  // Nothing happens for the current value. Otherwise it is stored, and when the filled fraction
  // changes with it, it is passed on to the hosted bar when that is in use, else the control is
  // repainted. A position outside the range is stored as it is and shows an empty bar.
  void SetPosition(int value);

  int Step() const { return FStep; }
  // Stored, but never greater than Max (Max is stored instead); passed on to the hosted bar when
  // it is in use. The control itself does not use it and is not painted again.
  void SetStep(int value);

  // These three: nothing when unchanged; else stored and passed on to the hosted bar when it is
  // in use, else the control is invalidated.
  TProgressOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TProgressOrientation value);
  bool Smooth() const { return FSmooth; }
  void SetSmooth(bool value);
  int BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(int value);

  bool ShowBorder() const { return FShowBorder; }
  // Nothing when unchanged; else stored, and the control invalidated unless the hosted bar is
  // in use (which has no such setting).
  void SetShowBorder(bool value);

  const std::string& ThemeObject() const { return FThemeObject; }
  // Stored; the control is invalidated when the new name is anything but exactly "default".
  void SetThemeObject(const std::string& value);

  TCustomThemeLink* ThemeLink() const { return FThemeLink; }
  // When changed, stored and the control invalidated. Cleared when the link is destroyed.
  void SetThemeLink(TCustomThemeLink* value);

  // ---- Drawing ------------------------------------------------------------------------------
  // The platform's visual-style parts (not owned); without them the classic painting stands in
  // for the visual-style way.
  void SetVisualStyle(TProgressVisualStyle* style) { FVisualStyle = style; }

  // The filled fraction of Position in the current range.
  float Fraction() const;
  // What the painters need of the bar.
  TProgressLook Look() const;
  // The way chosen now, from the manager's facts and whether the hosted bar exists.
  TProgressDrawing Drawing() const;
  bool HostedBarInUse() const { return Drawing() == pdHostedBar; }
  // The hosted bar, or null when none was made.
  THostedProgressBar* HostedBar() const { return FHostedBar.get(); }

  // Draws nothing while the hosted bar is in use (the canvas is left as it is); else paints the
  // visual-style way or the classic way.
  void Paint(TRgbCanvas& canvas) override;
  // tnSystemChanged: invalidate. tnThemeChanged, tnThemeRefresh: invalidate, then show the hosted
  // bar if it is in use or hide it otherwise. tnThemeAttach: show the hosted bar if it is in use,
  // else invalidate. Other codes: nothing.
  void ThemeNotify(int code) override;

 private:
  void ThemeLinkDestroyed(TCustomThemeLink* link) override;

  int FMin = 0;
  int FMax = 100;
  int FPosition = 0;
  int FStep = 10;
  TProgressOrientation FOrientation = poHorizontal;
  bool FSmooth = false;
  bool FShowBorder = true;
  int FBorderWidth = 0;
  std::string FThemeObject = kDefaultThemeObject;
  TCustomThemeLink* FThemeLink = nullptr;
  TProgressVisualStyle* FVisualStyle = nullptr;
  std::unique_ptr<THostedProgressBar> FHostedBar;
};
