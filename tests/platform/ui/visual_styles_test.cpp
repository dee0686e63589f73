// The platform's visual styles, native progress bar and change reports through their contract.
// Windows (here: Wine) has them all; elsewhere each answer is "none", and the same tests check
// that. Which of the two applies is told by the system colours, which only Windows has.
#include "platform/visual_styles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using platform::ui::NativeProgressBar;
using platform::ui::PixelRect;
using platform::ui::ProgressStylePainter;
using platform::ui::StyleFacts;
using platform::ui::SystemChange;
using platform::ui::SystemColorValues;
using platform::ui::Window;

constexpr char kClassName[] = "TStyleTestForm";
constexpr uint8_t kMagenta[3] = {255, 0, 255};

bool PlatformHasStyles() {
  SystemColorValues colors;
  return platform::ui::ReadSystemColors(&colors);
}

std::vector<uint8_t> MagentaCanvas(int width, int height) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < rgb.size(); i += 3) std::copy(kMagenta, kMagenta + 3, rgb.begin() + i);
  return rgb;
}

TEST(VisualStyles, StartUpFactsAreSteadyAndMatchThePlatform) {
  const StyleFacts facts = platform::ui::DetectStyleFacts();
  const StyleFacts again = platform::ui::DetectStyleFacts();
  EXPECT_EQ(facts.compositorFound, again.compositorFound);
  EXPECT_EQ(facts.visualStylesInUse, again.visualStylesInUse);
  EXPECT_EQ(facts.visualStylesInUse, platform::ui::VisualStylesInUse());
  // Every supported Windows (and Wine) ships the compositor's library; nothing else has one.
  EXPECT_EQ(facts.compositorFound, PlatformHasStyles());
  if (!PlatformHasStyles()) {
    EXPECT_FALSE(facts.visualStylesInUse);
  }
}

TEST(VisualStyles, EachPartLandsInsideItsRectangleOrNothingChanges) {
  constexpr int kWidth = 60, kHeight = 20;
  const PixelRect rect{10, 4, 50, 16};
  ProgressStylePainter painter;  // no window: drawn for none
  for (int part = 1; part <= 4; ++part) {
    std::vector<uint8_t> rgb = MagentaCanvas(kWidth, kHeight);
    const bool drawn = painter.DrawPart(rgb.data(), kWidth, kHeight, part, rect);
    if (!platform::ui::VisualStylesInUse()) {
      EXPECT_FALSE(drawn) << part;
    }
    bool changedInside = false;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const uint8_t* pixel = rgb.data() + (static_cast<size_t>(y) * kWidth + x) * 3;
        const bool magenta = std::equal(pixel, pixel + 3, kMagenta);
        const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
        if (!inside) {
          EXPECT_TRUE(magenta) << "part " << part << " at " << x << "," << y;
        }
        if (inside && !magenta) changedInside = true;
      }
    }
    EXPECT_EQ(changedInside, drawn) << part;
  }
}

TEST(VisualStyles, InvalidRequestsDrawNothing) {
  constexpr int kWidth = 8, kHeight = 4;
  ProgressStylePainter painter;
  struct Case {
    const char* what;
    int part;
    int width;
    int height;
    PixelRect rect;
  };
  const Case cases[] = {
      {"part 0", 0, kWidth, kHeight, {0, 0, 8, 4}},
      {"part 5", 5, kWidth, kHeight, {0, 0, 8, 4}},
      {"empty rectangle", 3, kWidth, kHeight, {5, 0, 5, 4}},
      {"turned rectangle", 3, kWidth, kHeight, {6, 3, 2, 1}},
      {"no pixels", 3, 0, kHeight, {0, 0, 8, 4}},
      {"negative height", 3, kWidth, -4, {0, 0, 8, 4}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> rgb = MagentaCanvas(kWidth, kHeight);
    EXPECT_FALSE(painter.DrawPart(rgb.data(), c.width, c.height, c.part, c.rect)) << c.what;
    EXPECT_EQ(rgb, MagentaCanvas(kWidth, kHeight)) << c.what;
  }
  EXPECT_FALSE(painter.DrawPart(nullptr, kWidth, kHeight, 1, {0, 0, 8, 4}));
  // A rectangle far beyond the buffer is cut to it.
  std::vector<uint8_t> rgb = MagentaCanvas(kWidth, kHeight);
  painter.DrawPart(rgb.data(), kWidth, kHeight, 1, {-100000, -100000, 100000, 100000});
  painter.Reset();
  painter.DrawPart(rgb.data(), kWidth, kHeight, 3, {-5, -5, 3, 3});
}

TEST(NativeProgressBar, TakesEverySettingAndKeepsTheOthers) {
  platform::ui::InitializeApplication("UI test");
  Window window(kClassName, "caption", 340, 114);
  window.Show();
  auto bar = NativeProgressBar::Create(window, 134, 64, 193, 16);
  if (!PlatformHasStyles()) {
    EXPECT_EQ(bar, nullptr);
    return;
  }
  ASSERT_NE(bar, nullptr);
  // As made.
  EXPECT_EQ(bar->Min(), 0);
  EXPECT_EQ(bar->Max(), 100);
  EXPECT_EQ(bar->Position(), 0);
  EXPECT_EQ(bar->Step(), 10);
  EXPECT_FALSE(bar->Vertical());
  EXPECT_FALSE(bar->Smooth());
  EXPECT_TRUE(bar->Visible());
  EXPECT_EQ(bar->Bounds(), (PixelRect{134, 64, 327, 80}));

  bar->SetRange(-5, 250);
  bar->SetPosition(42);
  bar->SetStep(7);
  // The style bits change on the same control, which keeps range, position and step.
  bar->SetVertical(true);
  bar->SetSmooth(true);
  EXPECT_EQ(bar->Min(), -5);
  EXPECT_EQ(bar->Max(), 250);
  EXPECT_EQ(bar->Position(), 42);
  EXPECT_EQ(bar->Step(), 7);
  EXPECT_TRUE(bar->Vertical());
  EXPECT_TRUE(bar->Smooth());
  bar->SetVertical(false);
  EXPECT_FALSE(bar->Vertical());
  EXPECT_TRUE(bar->Smooth());
  EXPECT_EQ(bar->Position(), 42);

  bar->SetVisible(false);
  EXPECT_FALSE(bar->Visible());
  bar->SetVisible(true);
  EXPECT_TRUE(bar->Visible());
  platform::ui::ProcessMessages();  // paints with every setting without complaint
}

TEST(NativeProgressBar, BorderWidthIsAMarginInsideTheArea) {
  platform::ui::InitializeApplication("UI test");
  Window window(kClassName, "caption", 340, 114);
  auto bar = NativeProgressBar::Create(window, 134, 64, 193, 16);
  if (!PlatformHasStyles()) {
    EXPECT_EQ(bar, nullptr);
    return;
  }
  ASSERT_NE(bar, nullptr);
  struct Case {
    int borderWidth;
    PixelRect bounds;
  };
  const Case cases[] = {
      {3, {137, 67, 324, 77}},          {-2, {132, 62, 329, 82}},  // beyond the area
      {8, {142, 72, 319, 72}},                                     // no height left
      {1000, {1134, 1064, 1134, 1064}}, {0, {134, 64, 327, 80}},
  };
  for (const Case& c : cases) {
    bar->SetBorderWidth(c.borderWidth);
    EXPECT_EQ(bar->Bounds(), c.bounds) << c.borderWidth;
  }
}

TEST(SystemChanges, EachNotificationReachesItsEvent) {
  platform::ui::InitializeApplication("UI test");
  Window window(kClassName, "caption", 340, 114);
  int styleReports = 0, colorReports = 0, displayReports = 0;
  bool reportedStyles = false;
  SystemColorValues reportedColors;
  platform::ui::SetSystemChangeEvents(window, {.visualStylesChanged =
                                                   [&](bool inUse) {
                                                     ++styleReports;
                                                     reportedStyles = inUse;
                                                   },
                                               .systemColorsChanged =
                                                   [&](const SystemColorValues& colors) {
                                                     ++colorReports;
                                                     reportedColors = colors;
                                                   },
                                               .displayChanged = [&] { ++displayReports; }});
  platform::ui::DeliverSystemChange(window, SystemChange::visualStyles);
  platform::ui::DeliverSystemChange(window, SystemChange::systemColors);
  platform::ui::DeliverSystemChange(window, SystemChange::display);
  platform::ui::DeliverSystemChange(window, SystemChange::display);
  if (!PlatformHasStyles()) {
    EXPECT_EQ(styleReports + colorReports + displayReports, 0);
    return;
  }
  EXPECT_EQ(styleReports, 1);
  EXPECT_EQ(reportedStyles, platform::ui::VisualStylesInUse());
  EXPECT_EQ(colorReports, 1);
  SystemColorValues now;
  ASSERT_TRUE(platform::ui::ReadSystemColors(&now));
  EXPECT_TRUE(reportedColors.buttonFace == now.buttonFace);
  EXPECT_TRUE(reportedColors.buttonShadow == now.buttonShadow);
  EXPECT_TRUE(reportedColors.buttonHighlight == now.buttonHighlight);
  EXPECT_TRUE(reportedColors.highlight == now.highlight);
  EXPECT_EQ(displayReports, 2);

  // Without events nothing is reported, and nothing fails.
  platform::ui::SetSystemChangeEvents(window, {});
  platform::ui::DeliverSystemChange(window, SystemChange::visualStyles);
  EXPECT_EQ(styleReports, 1);
}

}  // namespace
