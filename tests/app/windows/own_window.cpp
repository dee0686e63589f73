// The test's own top-level window.
#include "app/windows/own_window.h"

namespace test {

OwnWindow::OwnWindow() {
  // A predefined class: nothing to register, and DefWindowProc answers everything.
  window_ = CreateWindowExW(0, L"STATIC", L"update test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                            200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  PumpOwnMessages();
}

OwnWindow::~OwnWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
  PumpOwnMessages();
}

bool OwnWindow::TakeForeground() {
  SetForegroundWindow(window_);
  PumpOwnMessages();
  return window_ != nullptr && GetForegroundWindow() == window_;
}

void PumpOwnMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace test
