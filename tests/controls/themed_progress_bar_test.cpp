// TThemedProgressBar: initial values, every property write with the repaint it asks for (with
// and without a hosted bar), repaints only when the filled share changes, the choice of a way to
// draw, theme notifications, and a theme link that goes away.
#include "controls/themed_progress_bar.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

class RecordingSurface : public TControlSurface {
 public:
  void Invalidate() override { ++invalidates; }
  void Repaint() override { ++repaints; }
  int invalidates = 0;
  int repaints = 0;
};

// Writes every call into a log that outlives it (the bar owns its hosted bar).
class RecordingHostedBar : public THostedProgressBar {
 public:
  explicit RecordingHostedBar(std::vector<std::string>& log) : FLog(log) {}
  void SetMin(int value) override { Note("Min", value); }
  void SetMax(int value) override { Note("Max", value); }
  void SetPosition(int value) override { Note("Position", value); }
  void SetStep(int value) override { Note("Step", value); }
  void SetOrientation(TProgressOrientation value) override { Note("Orientation", value); }
  void SetSmooth(bool value) override { Note("Smooth", value); }
  void SetBorderWidth(int value) override { Note("BorderWidth", value); }
  void SetVisible(bool value) override { Note("Visible", value); }

 private:
  void Note(const char* what, int value) { FLog.push_back(what + (" " + std::to_string(value))); }
  std::vector<std::string>& FLog;
};

class RecordingStyle : public TProgressVisualStyle {
 public:
  void DrawPart(TRgbCanvas&, TProgressPart part, const TRect&) override { parts.push_back(part); }
  std::vector<int> parts;
};

constexpr TThemeStartupFacts kClassicFacts = {.CompositorFound = false, .VisualStylesInUse = false};
constexpr TThemeStartupFacts kCompositorFacts = {.CompositorFound = true,
                                                 .VisualStylesInUse = false};

// A bar with its surface; with `hosted`, a manager that found the compositor and a hosted bar
// whose log starts empty after the control's creation.
struct Fixture {
  explicit Fixture(bool hosted)
      : manager(hosted ? kCompositorFacts : kClassicFacts),
        bar(manager, [this] { return std::make_unique<RecordingHostedBar>(log); }) {
    bar.SetSurface(&surface);
    log.clear();
  }
  std::vector<std::string> log;
  TThemeManager manager;
  RecordingSurface surface;
  TThemedProgressBar bar;
};

TEST(ThemedProgressBarTest, InitialValues) {
  TThemeManager manager(kClassicFacts);
  const TThemedProgressBar bar(manager);
  EXPECT_EQ(bar.Min(), 0);
  EXPECT_EQ(bar.Max(), 100);
  EXPECT_EQ(bar.Position(), 0);
  EXPECT_EQ(bar.Step(), 10);
  EXPECT_EQ(bar.Orientation(), poHorizontal);
  EXPECT_FALSE(bar.Smooth());
  EXPECT_TRUE(bar.ShowBorder());
  EXPECT_EQ(bar.BorderWidth(), 0);
  EXPECT_EQ(bar.ThemeObject(), "default");
  EXPECT_EQ(bar.ThemeLink(), nullptr);
  EXPECT_EQ(bar.Performance(), pbDoubleBuffer);
  EXPECT_EQ(bar.Width(), 140);
  EXPECT_EQ(bar.Height(), 16);
  EXPECT_TRUE(bar.Visible());
  EXPECT_EQ(bar.HostedBar(), nullptr);
}

TEST(ThemedProgressBarTest, HostedBarStartsWithTheControlsSettings) {
  std::vector<std::string> log;
  TThemeManager manager(kCompositorFacts);
  const TThemedProgressBar bar(manager,
                               [&log] { return std::make_unique<RecordingHostedBar>(log); });
  EXPECT_NE(bar.HostedBar(), nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"Min 0", "Max 100", "Step 10", "Orientation 0",
                                           "Smooth 0", "BorderWidth 0", "Position 0"}));
}

TCustomThemeLink gLink;

struct WriteCase {
  const char* what;
  std::function<void(TThemedProgressBar&)> write;
  // Without a hosted bar.
  int invalidates;
  int repaints;
  // With the hosted bar in use: what it receives, and the invalidations still asked for.
  std::vector<std::string> forwarded;
  int hostedInvalidates;
};

const WriteCase kWriteCases[] = {
    {"Min unchanged", [](auto& b) { b.SetMin(0); }, 1, 0, {"Min 0"}, 0},
    {"Min 20", [](auto& b) { b.SetMin(20); }, 1, 0, {"Min 20"}, 0},
    {"Max unchanged", [](auto& b) { b.SetMax(100); }, 1, 0, {"Max 100"}, 0},
    {"Max 50", [](auto& b) { b.SetMax(50); }, 1, 0, {"Max 50"}, 0},
    {"Position unchanged", [](auto& b) { b.SetPosition(0); }, 0, 0, {}, 0},
    {"Position 1", [](auto& b) { b.SetPosition(1); }, 0, 1, {"Position 1"}, 0},
    {"Position 150: still empty", [](auto& b) { b.SetPosition(150); }, 0, 0, {}, 0},
    {"Position -5: still empty", [](auto& b) { b.SetPosition(-5); }, 0, 0, {}, 0},
    {"Step 5", [](auto& b) { b.SetStep(5); }, 0, 0, {"Step 5"}, 0},
    {"Step 200", [](auto& b) { b.SetStep(200); }, 0, 0, {"Step 100"}, 0},
    {"Orientation unchanged", [](auto& b) { b.SetOrientation(poHorizontal); }, 0, 0, {}, 0},
    {"Orientation vertical",
     [](auto& b) { b.SetOrientation(poVertical); },
     1,
     0,
     {"Orientation 1"},
     0},
    {"Smooth unchanged", [](auto& b) { b.SetSmooth(false); }, 0, 0, {}, 0},
    {"Smooth", [](auto& b) { b.SetSmooth(true); }, 1, 0, {"Smooth 1"}, 0},
    {"BorderWidth unchanged", [](auto& b) { b.SetBorderWidth(0); }, 0, 0, {}, 0},
    {"BorderWidth 3", [](auto& b) { b.SetBorderWidth(3); }, 1, 0, {"BorderWidth 3"}, 0},
    {"ShowBorder unchanged", [](auto& b) { b.SetShowBorder(true); }, 0, 0, {}, 0},
    {"ShowBorder off: the hosted bar has no such setting",
     [](auto& b) { b.SetShowBorder(false); },
     1,
     0,
     {},
     0},
    {"ThemeObject \"default\"", [](auto& b) { b.SetThemeObject("default"); }, 0, 0, {}, 0},
    {"ThemeObject \"Default\"", [](auto& b) { b.SetThemeObject("Default"); }, 1, 0, {}, 1},
    {"ThemeObject \"bar\"", [](auto& b) { b.SetThemeObject("bar"); }, 1, 0, {}, 1},
    {"ThemeObject empty", [](auto& b) { b.SetThemeObject(""); }, 1, 0, {}, 1},
    {"ThemeLink unchanged", [](auto& b) { b.SetThemeLink(nullptr); }, 0, 0, {}, 0},
    {"ThemeLink", [](auto& b) { b.SetThemeLink(&gLink); }, 1, 0, {}, 1},
};

TEST(ThemedProgressBarTest, WritesAskForPaintWithoutHostedBar) {
  for (const WriteCase& c : kWriteCases) {
    SCOPED_TRACE(c.what);
    Fixture f(false);
    ASSERT_EQ(f.bar.Drawing(), pdClassic);
    c.write(f.bar);
    EXPECT_EQ(f.surface.invalidates, c.invalidates);
    EXPECT_EQ(f.surface.repaints, c.repaints);
  }
}

TEST(ThemedProgressBarTest, WritesReachTheHostedBarInsteadOfPainting) {
  for (const WriteCase& c : kWriteCases) {
    SCOPED_TRACE(c.what);
    Fixture f(true);
    ASSERT_EQ(f.bar.Drawing(), pdHostedBar);
    c.write(f.bar);
    EXPECT_EQ(f.log, c.forwarded);
    EXPECT_EQ(f.surface.invalidates, c.hostedInvalidates);
    EXPECT_EQ(f.surface.repaints, 0);
  }
}

TEST(ThemedProgressBarTest, ValuesAreStoredAsWrittenExceptStep) {
  Fixture f(false);
  f.bar.SetMin(200);  // above Max: no check
  f.bar.SetPosition(-7);
  f.bar.SetBorderWidth(-4);
  f.bar.SetThemeObject("bar");
  EXPECT_EQ(f.bar.Min(), 200);
  EXPECT_EQ(f.bar.Max(), 100);
  EXPECT_EQ(f.bar.Position(), -7);
  EXPECT_EQ(f.bar.BorderWidth(), -4);
  EXPECT_EQ(f.bar.ThemeObject(), "bar");
  EXPECT_EQ(f.bar.Fraction(), 0.0f);

  struct StepCase {
    int max;
    int step;
    int stored;
  };
  for (const StepCase c : {StepCase{100, 200, 100}, StepCase{100, 100, 100}, StepCase{100, 99, 99},
                           StepCase{100, -3, -3}, StepCase{-5, 0, -5}}) {
    f.bar.SetMax(c.max);
    f.bar.SetStep(c.step);
    EXPECT_EQ(f.bar.Step(), c.stored) << "Max " << c.max << ", Step " << c.step;
  }
  // Step keeps its value when Max drops below it later.
  f.bar.SetMax(100);
  f.bar.SetStep(50);
  f.bar.SetMax(10);
  EXPECT_EQ(f.bar.Step(), 50);
}

struct PositionRun {
  const char* what;
  int min;
  int max;
  std::vector<int> positions;
  int repaints;
};

const PositionRun kPositionRuns[] = {
    {"the same position twice repaints once", 0, 100, {5, 5}, 1},
    {"every change of percentage repaints", 0, 100, {1, 2, 3, 2}, 4},
    {"out of range stays empty", 0, 100, {150, 200, -3, 0}, 0},
    {"back into the range", 0, 100, {150, 50, 150}, 2},
    {"Min below 0 never fills", -10, 10, {5, 10, -10}, 0},
    {"Min equal to Max never fills", 50, 50, {49, 50, 51}, 0},
    {"Min above Max never fills", 100, 0, {50, 0, 100}, 0},
    // 1 - 1e-8 is 1 in single precision; 1 - 1e-7 is not.
    {"single precision decides", 0, 100000000, {100000000, 99999999, 99999990}, 2},
};

TEST(ThemedProgressBarTest, PositionRepaintsOnlyWhenTheFilledShareChanges) {
  for (const PositionRun& run : kPositionRuns) {
    SCOPED_TRACE(run.what);
    Fixture f(false);
    f.bar.SetMin(run.min);
    f.bar.SetMax(run.max);
    f.surface = {};
    for (const int position : run.positions) f.bar.SetPosition(position);
    EXPECT_EQ(f.surface.repaints, run.repaints);
    EXPECT_EQ(f.surface.invalidates, 0);
    EXPECT_EQ(f.bar.Position(), run.positions.back());
  }
}

TEST(ThemedProgressBarTest, HostedBarReceivesOnlyPositionsThatChangeTheShare) {
  Fixture f(true);
  // 200 empties the bar, so it is passed on; 0 after it leaves the share empty, so it is not
  // (the hosted bar keeps 200 and shows whatever it makes of it).
  for (const int position : {150, 50, 50, 200, 0}) f.bar.SetPosition(position);
  EXPECT_EQ(f.log, (std::vector<std::string>{"Position 50", "Position 200"}));
}

struct DrawingCase {
  TThemeStartupFacts facts;
  bool factoryMakesBar;
  TProgressDrawing drawing;
  bool factoryCalled;
};

TEST(ThemedProgressBarTest, ChoiceOfDrawing) {
  const DrawingCase cases[] = {
      {{true, false}, true, pdHostedBar, true},     {{true, true}, true, pdHostedBar, true},
      {{true, true}, false, pdVisualStyles, true},  {{true, false}, false, pdClassic, true},
      {{false, true}, true, pdVisualStyles, false}, {{false, false}, true, pdClassic, false},
  };
  for (const DrawingCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "compositor " << c.facts.CompositorFound << ", visual styles "
                 << c.facts.VisualStylesInUse << ", factory makes a bar " << c.factoryMakesBar);
    std::vector<std::string> log;
    bool called = false;
    TThemeManager manager(c.facts);
    const TThemedProgressBar bar(manager, [&]() -> std::unique_ptr<THostedProgressBar> {
      called = true;
      if (!c.factoryMakesBar) return nullptr;
      return std::make_unique<RecordingHostedBar>(log);
    });
    EXPECT_EQ(bar.Drawing(), c.drawing);
    EXPECT_EQ(called, c.factoryCalled);
    EXPECT_EQ(ChooseProgressDrawing(c.facts, bar.HostedBar() != nullptr), c.drawing);
  }
  // A platform without a hosted bar passes no factory.
  TThemeManager manager(kCompositorFacts);
  EXPECT_EQ(TThemedProgressBar(manager).Drawing(), pdClassic);
}

TEST(ThemedProgressBarTest, PaintFollowsTheChosenWay) {
  constexpr TRgbColor kUntouched = {1, 2, 3};

  // Hosted: the control draws nothing.
  Fixture hosted(true);
  hosted.bar.SetPosition(50);
  TRgbCanvas untouched(hosted.bar.Width(), hosted.bar.Height(), kUntouched);
  hosted.bar.Paint(untouched);
  for (int x = 0; x < untouched.Width(); ++x) ASSERT_EQ(untouched.Pixel(x, 8), kUntouched);

  // Visual styles: the platform's parts.
  TThemeManager styled(TThemeStartupFacts{.CompositorFound = false, .VisualStylesInUse = true});
  TThemedProgressBar bar(styled);
  RecordingStyle style;
  bar.SetVisualStyle(&style);
  bar.SetPosition(50);
  TRgbCanvas canvas(bar.Width(), bar.Height(), kUntouched);
  bar.Paint(canvas);
  EXPECT_EQ(style.parts, (std::vector<int>{ppBar, ppChunk}));
  EXPECT_EQ(canvas.Pixel(70, 8), kUntouched);

  // Visual styles without the platform's parts, and classic: the classic painting in the
  // manager's colours (block 0 starts at (2, 2)).
  bar.SetVisualStyle(nullptr);
  bar.Paint(canvas);
  EXPECT_EQ(canvas.Pixel(0, 0), kClassicSystemColors.ButtonShadow);
  EXPECT_EQ(canvas.Pixel(2, 2), kClassicSystemColors.Highlight);
}

TEST(ThemedProgressBarTest, EmptyBarsPaintLikePositionZero) {
  TThemeManager manager(kClassicFacts);
  TThemedProgressBar reference(manager);
  TRgbCanvas expected(reference.Width(), reference.Height());
  reference.Paint(expected);
  const std::vector<uint8_t> expectedBytes(expected.Data(),
                                           expected.Data() + expected.RowBytes() * 16);

  const std::function<void(TThemedProgressBar&)> emptyBars[] = {
      [](auto& b) { b.SetPosition(150); },
      [](auto& b) {
        b.SetMin(-1);
        b.SetPosition(50);
      },
      [](auto& b) {
        b.SetMin(100);
        b.SetPosition(100);
      },
  };
  for (const auto& makeEmpty : emptyBars) {
    TThemedProgressBar bar(manager);
    makeEmpty(bar);
    TRgbCanvas canvas(bar.Width(), bar.Height());
    bar.Paint(canvas);
    EXPECT_EQ(std::vector<uint8_t>(canvas.Data(), canvas.Data() + canvas.RowBytes() * 16),
              expectedBytes)
        << "position " << bar.Position() << ", range " << bar.Min() << " to " << bar.Max();
  }
}

struct NotifyCase {
  int code;
  int invalidates;
  int hostedInvalidates;
  std::vector<std::string> hostedLog;
};

TEST(ThemedProgressBarTest, ThemeNotifications) {
  const NotifyCase cases[] = {
      {tnThemeChanged, 1, 1, {"Visible 1"}},
      {tnThemeRefresh, 1, 1, {"Visible 1"}},
      {tnThemeAttach, 1, 0, {"Visible 1"}},
      {tnSystemChanged, 1, 1, {}},
      {1, 0, 0, {}},
      {2, 0, 0, {}},
      {6, 0, 0, {}},
      {-1, 0, 0, {}},
  };
  for (const NotifyCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "code " << c.code);
    Fixture classic(false);
    classic.bar.ThemeNotify(c.code);
    EXPECT_EQ(classic.surface.invalidates, c.invalidates);

    Fixture hosted(true);
    hosted.bar.ThemeNotify(c.code);
    EXPECT_EQ(hosted.surface.invalidates, c.hostedInvalidates);
    EXPECT_EQ(hosted.log, c.hostedLog);
  }
  EXPECT_EQ(kThemeNotifyMessage, 2048);
}

TEST(ThemedProgressBarTest, ManagerNotifiesVisibleControlsOfSystemChanges) {
  TThemeManager manager(kClassicFacts);
  RecordingSurface shownSurface;
  RecordingSurface hiddenSurface;
  TThemedProgressBar shown(manager);
  TThemedProgressBar hidden(manager);
  shown.SetSurface(&shownSurface);
  hidden.SetSurface(&hiddenSurface);
  hidden.SetVisible(false);

  TSystemColors colors = kClassicSystemColors;
  colors.Highlight = {0, 128, 0};
  manager.SystemColorsChanged(colors);
  manager.DisplayChanged();
  EXPECT_EQ(shownSurface.invalidates, 2);
  EXPECT_EQ(hiddenSurface.invalidates, 0);

  shown.SetPosition(100);
  TRgbCanvas canvas(shown.Width(), shown.Height());
  shown.Paint(canvas);
  EXPECT_EQ(canvas.Pixel(2, 2), colors.Highlight);

  // A change of visual styles brings the fresh answer, which the next paint follows.
  manager.VisualStylesChanged(true);
  EXPECT_EQ(shownSurface.invalidates, 3);
  EXPECT_EQ(shown.Drawing(), pdVisualStyles);
  {
    // A control that is gone hears nothing more.
    RecordingSurface goneSurface;
    TThemedProgressBar gone(manager);
    gone.SetSurface(&goneSurface);
  }
  manager.DisplayChanged();
  EXPECT_EQ(shownSurface.invalidates, 4);
}

TEST(ThemedProgressBarTest, SizeChangesInvalidate) {
  Fixture f(false);
  f.bar.SetSize(193, 16);
  f.bar.SetSize(193, 16);
  EXPECT_EQ(f.surface.invalidates, 1);
  f.bar.SetSize(-5, -1);
  EXPECT_EQ(f.bar.Width(), 0);
  EXPECT_EQ(f.bar.Height(), 0);
  TRgbCanvas canvas(f.bar.Width(), f.bar.Height());
  f.bar.Paint(canvas);
}

TEST(ThemedProgressBarTest, ThemeLinkIsClearedWhenTheLinkGoes) {
  TThemeManager manager(kClassicFacts);
  TThemedProgressBar bar(manager);
  {
    TCustomThemeLink link;
    bar.SetThemeLink(&link);
    EXPECT_EQ(bar.ThemeLink(), &link);
  }
  EXPECT_EQ(bar.ThemeLink(), nullptr);

  // The other way round: a bar that goes first leaves nothing behind in the link.
  TCustomThemeLink link;
  {
    TThemedProgressBar shortLived(manager);
    shortLived.SetThemeLink(&link);
  }
  bar.SetThemeLink(&link);
  bar.SetThemeLink(nullptr);
}

}  // namespace
