// The adapters between the themed progress bar and the platform's visual styles, native progress
// bar and change reports.
#include "app/platform_progress.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace {

TRgbColor ToColor(const platform::ui::RgbValue& value) {
  return {value.r, value.g, value.b};
}

TSystemColors ToSystemColors(const platform::ui::SystemColorValues& colors) {
  return {.ButtonFace = ToColor(colors.buttonFace),
          .ButtonShadow = ToColor(colors.buttonShadow),
          .ButtonHighlight = ToColor(colors.buttonHighlight),
          .Highlight = ToColor(colors.highlight)};
}

// The native bar behind the control's interface. The control sets Min and Max one at a time;
// the native bar takes both at once.
class TPlatformHostedBar : public THostedProgressBar {
 public:
  explicit TPlatformHostedBar(std::unique_ptr<platform::ui::NativeProgressBar> bar)
      : FBar(std::move(bar)) {}

  void SetMin(int value) override {
    FMin = value;
    FBar->SetRange(FMin, FMax);
  }
  void SetMax(int value) override {
    FMax = value;
    FBar->SetRange(FMin, FMax);
  }
  void SetPosition(int value) override { FBar->SetPosition(value); }
  void SetStep(int value) override { FBar->SetStep(value); }
  void SetOrientation(TProgressOrientation value) override {
    FBar->SetVertical(value == poVertical);
  }
  void SetSmooth(bool value) override { FBar->SetSmooth(value); }
  void SetBorderWidth(int value) override { FBar->SetBorderWidth(value); }
  void SetVisible(bool value) override { FBar->SetVisible(value); }

 private:
  std::unique_ptr<platform::ui::NativeProgressBar> FBar;
  int FMin = 0;
  int FMax = 100;
};

}  // namespace

TThemeStartupFacts PlatformThemeStartupFacts() {
  const platform::ui::StyleFacts facts = platform::ui::DetectStyleFacts();
  return {.CompositorFound = facts.compositorFound, .VisualStylesInUse = facts.visualStylesInUse};
}

TSystemColors PlatformSystemColors() {
  platform::ui::SystemColorValues colors;
  return platform::ui::ReadSystemColors(&colors) ? ToSystemColors(colors) : kClassicSystemColors;
}

TPlatformProgressStyle::TPlatformProgressStyle(const platform::ui::Window* window)
    : FPainter(window) {}

void TPlatformProgressStyle::DrawPart(TRgbCanvas& canvas, TProgressPart part, const TRect& rect) {
  const int width = canvas.Width();
  const int height = canvas.Height();
  std::vector<uint8_t> rgb(canvas.Data(), canvas.Data() + canvas.RowBytes() * height);
  if (!FPainter.DrawPart(rgb.data(), width, height, part,
                         {rect.Left, rect.Top, rect.Right, rect.Bottom})) {
    return;
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* pixel = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
      canvas.SetPixel(x, y, {pixel[0], pixel[1], pixel[2]});
    }
  }
}

std::unique_ptr<THostedProgressBar> CreatePlatformHostedBar(platform::ui::Window& parent, int x,
                                                            int y, int width, int height) {
  auto bar = platform::ui::NativeProgressBar::Create(parent, x, y, width, height);
  if (bar == nullptr) return nullptr;
  return std::make_unique<TPlatformHostedBar>(std::move(bar));
}

void ConnectSystemChanges(platform::ui::Window& window, TThemeManager& manager,
                          TPlatformProgressStyle* style) {
  platform::ui::SystemChangeEvents events;
  events.visualStylesChanged = [&manager, style](bool visualStylesInUse) {
    if (style != nullptr) style->StylesChanged();
    manager.VisualStylesChanged(visualStylesInUse);
  };
  events.systemColorsChanged = [&manager](const platform::ui::SystemColorValues& colors) {
    manager.SystemColorsChanged(ToSystemColors(colors));
  };
  events.displayChanged = [&manager] { manager.DisplayChanged(); };
  platform::ui::SetSystemChangeEvents(window, std::move(events));
}
