// Timers on Windows: SetTimer on a hidden message-only window, the timer's address as its id, so
// the ticks arrive through the message loop or a pump like every other message.
#include <windows.h>

#include <exception>
#include <set>

#include "platform/ui.h"
#include "platform/win32/ui/ui_state.h"

namespace platform::ui {
namespace {

constexpr wchar_t kTimerWindowClass[] = L"UpdateTimerWindow";

// KillTimer leaves a tick that is already queued: only live timers may be fired.
std::set<Timer*>& LiveTimers() {
  static auto* timers = new std::set<Timer*>;
  return *timers;
}

LRESULT CALLBACK TimerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_TIMER) return DefWindowProcW(window, message, wParam, lParam);
  auto* timer = reinterpret_cast<Timer*>(wParam);
  if (LiveTimers().count(timer) == 0 || !timer->Enabled()) return 0;
  try {
    Timer::FireFromLoop(timer);
  } catch (const std::exception& e) {
    ReportCallbackFailure(e.what());
  } catch (...) {
    ReportCallbackFailure("Unknown error");
  }
  return 0;
}

}  // namespace

HWND TimerWindow() {
  static HWND window = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = TimerWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kTimerWindowClass;
    RegisterClassExW(&windowClass);
    return CreateWindowExW(0, kTimerWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  }();
  return window;
}

Timer::Timer(int intervalMs, std::function<void()> onTimer)
    : intervalMs_(intervalMs), onTimer_(std::move(onTimer)) {
  LiveTimers().insert(this);
}

Timer::~Timer() {
  SetEnabled(false);
  LiveTimers().erase(this);
}

void Timer::SetEnabled(bool enabled) {
  const auto id = reinterpret_cast<UINT_PTR>(this);
  if (enabled_) KillTimer(TimerWindow(), id);
  enabled_ = enabled;
  // Setting the timer again starts a full interval.
  if (enabled)
    SetTimer(TimerWindow(), id, static_cast<UINT>(intervalMs_ > 0 ? intervalMs_ : 1), nullptr);
}

void Timer::Tick(void* self) {
  auto* timer = static_cast<Timer*>(self);
  if (timer->onTimer_) timer->onTimer_();
}

void Timer::FireFromLoop(Timer* timer) {
  // The system plans the next tick itself.
  Tick(timer);
}

}  // namespace platform::ui
