// What the Windows framework's pieces share: the application title and window, the termination
// flag, the hidden window that owns the timers, and the system window behind a Window.
#pragma once

#include <windows.h>

#include <string>

#include "platform/ui.h"

namespace platform::ui {

struct UiState {
  std::string title;
  bool terminated = false;
  // The application's own window: it carries the title on the taskbar and owns every Window.
  HWND applicationWindow = nullptr;
  // The first Window made while it exists: the application's main window.
  HWND mainWindow = nullptr;
};

UiState& State();

// The message-only window whose WM_TIMER messages drive every Timer (created on first use).
HWND TimerWindow();

// The system window of `window`; null when it has none.
HWND WindowHandle(const Window& window);

// The error box of the framework for an exception that reached a window procedure.
void ReportCallbackFailure(const char* what);

}  // namespace platform::ui
