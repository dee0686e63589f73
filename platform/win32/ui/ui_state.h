// What the Windows framework's pieces share: the application title, the termination flag and the
// hidden window that owns the timers.
#pragma once

#include <windows.h>

#include <string>

namespace platform::ui {

struct UiState {
  std::string title;
  bool terminated = false;
};

UiState& State();

// The message-only window whose WM_TIMER messages drive every Timer (created on first use).
HWND TimerWindow();

// The error box of the framework for an exception that reached a window procedure.
void ReportCallbackFailure(const char* what);

}  // namespace platform::ui
