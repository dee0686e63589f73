// A top-level window of the test's own, to hold the foreground before something else takes it.
#pragma once

#include <windows.h>

namespace test {

class OwnWindow {
 public:
  OwnWindow();  // created visible
  ~OwnWindow();
  OwnWindow(const OwnWindow&) = delete;
  OwnWindow& operator=(const OwnWindow&) = delete;

  HWND Handle() const { return window_; }
  // Makes this window the foreground window; true when the system then reports it as such.
  bool TakeForeground();

 private:
  HWND window_ = nullptr;
};

// Dispatches the messages waiting for this thread's windows.
void PumpOwnMessages();

}  // namespace test
