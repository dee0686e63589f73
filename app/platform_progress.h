// The themed progress bar on the platform: the start-up facts and system colours for the theme
// manager, the visual-style parts, the hosted native bar, and the system's change reports.
#pragma once

#include <memory>

#include "controls/hosted_progress_bar.h"
#include "controls/system_colors.h"
#include "controls/theme_manager.h"
#include "controls/visual_style_progress.h"
#include "platform/ui.h"
#include "platform/visual_styles.h"

// What the platform finds now; to be asked once, before any window is made.
TThemeStartupFacts PlatformThemeStartupFacts();

// The system's colours, or the classic scheme where the platform has none.
TSystemColors PlatformSystemColors();

// The "Progress" parts as the platform's visual styles draw them. A part the styles cannot draw
// leaves the canvas as it is.
class TPlatformProgressStyle : public TProgressVisualStyle {
 public:
  // `window` (may be null) is the window the style data are opened for.
  explicit TPlatformProgressStyle(const platform::ui::Window* window = nullptr);

  void DrawPart(TRgbCanvas& canvas, TProgressPart part, const TRect& rect) override;
  // The styles changed: their data are opened afresh on the next drawing.
  void StylesChanged() { FPainter.Reset(); }

 private:
  platform::ui::ProgressStylePainter FPainter;
};

// The platform's own bar filling (x, y, width, height) of `parent`'s client area; null where the
// platform has none.
std::unique_ptr<THostedProgressBar> CreatePlatformHostedBar(platform::ui::Window& parent, int x,
                                                            int y, int width, int height);

// Reports the window's notifications of changed visual styles, system colours and display to
// `manager`; `style` (may be null) drops its style data when the styles change. Both must live
// as long as the window reports.
void ConnectSystemChanges(platform::ui::Window& window, TThemeManager& manager,
                          TPlatformProgressStyle* style);
