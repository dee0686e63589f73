// The application framework through its contract, the same on both systems: a window that is
// shown, timers driving the message loop until termination, the pump, and the search for another
// copy's window. The loop's termination flag lasts for the process: CTest runs each test alone.
#include "platform/ui.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/message_pump.h"

namespace {

using platform::ui::Timer;
using platform::ui::Window;

constexpr char kClassName[] = "TUiTestForm";

TEST(UiWindow, IsVisibleOnlyAfterShow) {
  platform::ui::InitializeApplication("UI test");
  Window window(kClassName, "文件正在升级中...", 340, 114);
  EXPECT_FALSE(window.Visible());
  window.Show();
  EXPECT_TRUE(window.Visible());
  platform::ui::ProcessMessages();  // nothing is due: returns at once
  EXPECT_TRUE(window.Visible());
  EXPECT_FALSE(platform::ui::TerminationRequested());
}

TEST(UiTimer, DrivesTheLoopUntilTerminationIsRequested) {
  platform::ui::InitializeApplication("UI test");
  Window window(kClassName, "caption", 340, 114);
  int ticks = 0, disabledTicks = 0;
  Timer never(1, [&] { ++disabledTicks; });
  Timer main(5, [&] {
    if (++ticks == 3) platform::ui::RequestTermination();
  });
  EXPECT_FALSE(main.Enabled());  // created disabled
  main.SetEnabled(true);
  EXPECT_TRUE(main.Enabled());
  never.SetEnabled(true);
  never.SetEnabled(false);
  window.Show();
  platform::ui::RunMessageLoop();
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(disabledTicks, 0);
  EXPECT_TRUE(platform::ui::TerminationRequested());
}

TEST(UiTimer, DisabledFromItsOwnHandlerFiresNoMore) {
  platform::ui::InitializeApplication("UI test");
  int ticks = 0, endTicks = 0;
  Timer* self = nullptr;
  Timer once(1, [&] {
    ++ticks;
    self->SetEnabled(false);
  });
  self = &once;
  // A slower timer ends the loop after several of the first timer's intervals.
  Timer end(50, [&] {
    if (++endTicks == 2) platform::ui::RequestTermination();
  });
  once.SetEnabled(true);
  end.SetEnabled(true);
  platform::ui::RunMessageLoop();
  EXPECT_EQ(ticks, 1);
  EXPECT_FALSE(once.Enabled());
}

TEST(UiLoop, RunsOneCycleWhenTerminationWasRequestedBefore) {
  platform::ui::InitializeApplication("UI test");
  int ticks = 0;
  Timer timer(1, [&] { ++ticks; });
  timer.SetEnabled(true);
  platform::ui::RequestTermination();
  EXPECT_TRUE(platform::ui::TerminationRequested());
  platform::ui::RunMessageLoop();  // returns instead of waiting for the timer
  EXPECT_TRUE(platform::ui::TerminationRequested());
}

TEST(UiLoop, ThePumpReportsATerminationRequest) {
  if (!platform::ui::InitializeApplication("UI test")) {
    GTEST_SKIP() << "no display: the application installs no pump";
  }
  EXPECT_FALSE(platform::PumpMessages());
  platform::ui::RequestTermination();
  EXPECT_TRUE(platform::PumpMessages());
  // The request stays for the loop, which sees it and returns.
  EXPECT_TRUE(platform::PumpMessages());
  platform::ui::RunMessageLoop();
}

TEST(UiOtherCopy, FindsNeitherItsOwnWindowNorAnUnknownClass) {
  platform::ui::InitializeApplication("UI test");
  Window window(kClassName, "caption", 340, 114);
  window.Show();
  platform::ui::ProcessMessages();
  struct Case {
    std::string className;
    std::string executable;
  };
  const Case cases[] = {
      {kClassName, "update.exe"},         // our own window: the caller is not another copy
      {"TUiTestFormNone", "update.exe"},  // no window of this class
      {"tuitestform", "update.exe"},      // letter case counts
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(platform::ui::ActivateWindowOfOtherCopy(c.className, c.executable)) << c.className;
  }
}

}  // namespace
