// The native progress bar on Windows: a "msctls_progress32" child window of the common controls,
// its settings sent as the control's own messages and style bits, and read back the same way.
#include <windows.h>
// Needs the definitions of windows.h first.
#include <commctrl.h>

#include <algorithm>
#include <cstdint>

#include "platform/visual_styles.h"
#include "platform/win32/ui/ui_state.h"

namespace platform::ui {
namespace {

// Window coordinates beyond this are of no use to a child window and stay clear of overflow.
constexpr int64_t kCoordinateLimit = 1 << 20;

int Coordinate(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, -kCoordinateLimit, kCoordinateLimit));
}

bool RegisterProgressClass() {
  static const bool registered = [] {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    return InitCommonControlsEx(&controls) != FALSE;
  }();
  return registered;
}

}  // namespace

struct NativeProgressBar::Impl {
  HWND handle = nullptr;
  RECT area{};  // the area the bar fills, in its parent's client coordinates
  int borderWidth = 0;

  ~Impl() {
    if (handle != nullptr && IsWindow(handle)) DestroyWindow(handle);
  }

  LONG_PTR Style() const { return GetWindowLongPtrW(handle, GWL_STYLE); }

  // The control takes its style bits as they change: they are set on the same window, which
  // keeps its range, position and step; the frame is recomputed and the bar drawn again.
  void SetStyleBit(LONG_PTR bit, bool on) {
    const LONG_PTR style = Style();
    const LONG_PTR changed = on ? (style | bit) : (style & ~bit);
    if (changed == style) return;
    SetWindowLongPtrW(handle, GWL_STYLE, changed);
    SetWindowPos(handle, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(handle, nullptr, TRUE);
  }

  void Place() {
    const int64_t left = int64_t{area.left} + borderWidth;
    const int64_t top = int64_t{area.top} + borderWidth;
    const int64_t right = std::max(left, int64_t{area.right} - borderWidth);
    const int64_t bottom = std::max(top, int64_t{area.bottom} - borderWidth);
    const int x = Coordinate(left);
    const int y = Coordinate(top);
    SetWindowPos(handle, nullptr, x, y, Coordinate(right) - x, Coordinate(bottom) - y,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
};

std::unique_ptr<NativeProgressBar> NativeProgressBar::Create(Window& parent, int x, int y,
                                                             int width, int height) {
  HWND parentHandle = WindowHandle(parent);
  if (parentHandle == nullptr || !RegisterProgressClass()) return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->area = {x, y, Coordinate(int64_t{x} + std::max(width, 0)),
                Coordinate(int64_t{y} + std::max(height, 0))};
  impl->handle = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, x, y,
                                 impl->area.right - x, impl->area.bottom - y, parentHandle, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
  if (impl->handle == nullptr) return nullptr;
  // The common controls' own defaults, stated so that every version starts alike.
  SendMessageW(impl->handle, PBM_SETRANGE32, 0, 100);
  SendMessageW(impl->handle, PBM_SETSTEP, 10, 0);
  SendMessageW(impl->handle, PBM_SETPOS, 0, 0);
  return std::unique_ptr<NativeProgressBar>(new NativeProgressBar(std::move(impl)));
}

NativeProgressBar::NativeProgressBar(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

NativeProgressBar::~NativeProgressBar() = default;

void NativeProgressBar::SetRange(int min, int max) {
  SendMessageW(impl_->handle, PBM_SETRANGE32, static_cast<WPARAM>(min), static_cast<LPARAM>(max));
}

void NativeProgressBar::SetPosition(int value) {
  SendMessageW(impl_->handle, PBM_SETPOS, static_cast<WPARAM>(value), 0);
}

void NativeProgressBar::SetStep(int value) {
  SendMessageW(impl_->handle, PBM_SETSTEP, static_cast<WPARAM>(value), 0);
}

void NativeProgressBar::SetVertical(bool value) {
  impl_->SetStyleBit(PBS_VERTICAL, value);
}

void NativeProgressBar::SetSmooth(bool value) {
  impl_->SetStyleBit(PBS_SMOOTH, value);
}

void NativeProgressBar::SetBorderWidth(int value) {
  impl_->borderWidth = value;
  impl_->Place();
}

void NativeProgressBar::SetVisible(bool value) {
  ShowWindow(impl_->handle, value ? SW_SHOWNA : SW_HIDE);
}

int NativeProgressBar::Min() const {
  PBRANGE range{};
  SendMessageW(impl_->handle, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
  return range.iLow;
}

int NativeProgressBar::Max() const {
  PBRANGE range{};
  SendMessageW(impl_->handle, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
  return range.iHigh;
}

int NativeProgressBar::Position() const {
  return static_cast<int>(SendMessageW(impl_->handle, PBM_GETPOS, 0, 0));
}

int NativeProgressBar::Step() const {
  return static_cast<int>(SendMessageW(impl_->handle, PBM_GETSTEP, 0, 0));
}

bool NativeProgressBar::Vertical() const {
  return (impl_->Style() & PBS_VERTICAL) != 0;
}

bool NativeProgressBar::Smooth() const {
  return (impl_->Style() & PBS_SMOOTH) != 0;
}

bool NativeProgressBar::Visible() const {
  return (impl_->Style() & WS_VISIBLE) != 0;
}

PixelRect NativeProgressBar::Bounds() const {
  RECT rect{};
  GetWindowRect(impl_->handle, &rect);
  MapWindowPoints(nullptr, GetParent(impl_->handle), reinterpret_cast<POINT*>(&rect), 2);
  return {rect.left, rect.top, rect.right, rect.bottom};
}

}  // namespace platform::ui
