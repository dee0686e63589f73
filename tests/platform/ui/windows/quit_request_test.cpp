// The Windows framework and its quit requests: once the application has taken one (the taskbar
// entry's close, a quit message), a message box shown later stays until the user answers it.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/ui.h"

namespace {

constexpr wchar_t kClassName[] = L"TUiQuitTestForm";

HWND FindThreadWindow(DWORD threadId, const wchar_t* className) {
  struct Search {
    const wchar_t* className;
    HWND found;
  } search{className, nullptr};
  EnumThreadWindows(
      threadId,
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (wcscmp(name, s->className) != 0) return TRUE;
        s->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

enum class Request { kCloseTheTaskbarEntry, kCloseTheWindow, kQuitMessage, kOwnRequest };

// One case per process: the termination flag lasts for the process (CTest runs each alone).
class UiQuitRequest : public ::testing::TestWithParam<Request> {};

TEST_P(UiQuitRequest, ABoxShownAfterwardsStaysUntilItIsAnswered) {
  ASSERT_TRUE(platform::ui::InitializeApplication("UI test"));
  platform::ui::Window window("TUiQuitTestForm", "caption", 340, 114);
  window.OnCloseRequest = [] { platform::ui::RequestTermination(); };
  window.Show();
  platform::ui::ProcessMessages();
  ASSERT_FALSE(platform::ui::TerminationRequested());
  const DWORD thread = GetCurrentThreadId();
  const HWND form = FindThreadWindow(thread, kClassName);
  ASSERT_NE(form, nullptr);
  switch (GetParam()) {
    case Request::kCloseTheTaskbarEntry:
      PostMessageW(GetWindow(form, GW_OWNER), WM_CLOSE, 0, 0);
      break;
    case Request::kCloseTheWindow:
      PostMessageW(form, WM_CLOSE, 0, 0);
      break;
    case Request::kQuitMessage:
      PostQuitMessage(0);
      break;
    case Request::kOwnRequest:  // not pumped before the box
      platform::ui::RequestTermination();
      break;
  }
  if (GetParam() != Request::kOwnRequest) {
    // The taskbar entry passes its close on with a message of its own: two rounds.
    platform::ui::ProcessMessages();
    platform::ui::ProcessMessages();
  }
  EXPECT_TRUE(platform::ui::TerminationRequested());

  // A user who reads the box for two seconds before answering it.
  std::atomic<bool> returned{false};
  std::atomic<bool> answered{false};
  std::thread user([&] {
    HWND box = nullptr;
    while (!returned && box == nullptr) {
      box = FindThreadWindow(thread, L"#32770");
      if (box == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (box == nullptr) return;
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const HWND ok = GetDlgItem(box, IDOK);
    if (returned || !IsWindow(box) || ok == nullptr) return;
    answered = true;
    PostMessageW(ok, BM_CLICK, 0, 0);
  });
  platform::ui::ShowErrorMessage("The update was not applied");
  returned = true;
  user.join();
  EXPECT_TRUE(answered) << "the box ended before the user answered it";
  // The loop still ends at once: the request was kept as the flag.
  platform::ui::RunMessageLoop();
}

std::string RequestName(const ::testing::TestParamInfo<Request>& info) {
  const char* const names[] = {"TaskbarEntryClose", "WindowClose", "QuitMessage",
                               "OwnRequestNotPumped"};
  return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Requests, UiQuitRequest,
                         ::testing::Values(Request::kCloseTheTaskbarEntry, Request::kCloseTheWindow,
                                           Request::kQuitMessage, Request::kOwnRequest),
                         RequestName);

}  // namespace
