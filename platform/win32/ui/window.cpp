// The main window on Windows: a fixed client size, centred, caption and border without buttons,
// owned by the application's window (which carries the title on the taskbar), its picture and
// painted areas composed off-screen and drawn in one SetDIBitsToDevice; the system's reports of
// changed styles, colours and displays go to its SystemChangeEvents.
#include <windows.h>

#include <algorithm>
#include <exception>
#include <vector>

#include "platform/ui.h"
#include "platform/visual_styles.h"
#include "platform/win32/ui/ui_state.h"
#include "platform/win32/wide_text.h"

namespace platform::ui {
namespace {

// Caption and border only: no system menu, so no close, minimise or maximise button. Child
// windows (the native progress bar) are left out of the window's own painting.
constexpr DWORD kStyle = WS_CAPTION | WS_BORDER | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = 0;
constexpr int kIconResource = 1;

struct Area {
  RECT rect;
  std::function<void(uint8_t*, int, int)> paint;
  std::vector<uint8_t> rgb;
};

}  // namespace

struct Window::Impl {
  Window* owner = nullptr;
  HWND handle = nullptr;
  Picture background;
  std::vector<Area> areas;
  std::vector<uint8_t> canvas;  // the client area as a bottom-up 24-bit DIB
  bool visible = false;
  SystemChangeEvents systemChanges;

  void Paint(HDC dc);
};

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* impl = reinterpret_cast<Window::Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (impl == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  try {
    switch (message) {
      case WM_ERASEBKGND:
        return 1;  // the paint covers every pixel
      case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        impl->Paint(dc);
        EndPaint(window, &paint);
        return 0;
      }
      case WM_THEMECHANGED:
        if (impl->systemChanges.visualStylesChanged) {
          impl->systemChanges.visualStylesChanged(VisualStylesInUse());
        }
        break;
      case WM_SYSCOLORCHANGE: {
        // The common controls among the children hear of it only from their top-level window.
        EnumChildWindows(
            window,
            [](HWND child, LPARAM) -> BOOL {
              SendMessageW(child, WM_SYSCOLORCHANGE, 0, 0);
              return TRUE;
            },
            0);
        SystemColorValues colors;
        if (impl->systemChanges.systemColorsChanged && ReadSystemColors(&colors)) {
          impl->systemChanges.systemColorsChanged(colors);
        }
        break;
      }
      case WM_DISPLAYCHANGE:
        if (impl->systemChanges.displayChanged) impl->systemChanges.displayChanged();
        break;
      case WM_CLOSE:
        // Closing is the owner's decision: the window itself stays until it is destroyed.
        if (impl->owner->OnCloseRequest) impl->owner->OnCloseRequest();
        return 0;
      case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
      default:
        break;
    }
  } catch (const std::exception& e) {
    ReportCallbackFailure(e.what());
    return 0;
  } catch (...) {
    ReportCallbackFailure("Unknown error");
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterWindowClass(const std::wstring& className) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  if (GetClassInfoExW(GetModuleHandleW(nullptr), className.c_str(), &windowClass)) return;
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hIcon = LoadIconW(windowClass.hInstance, MAKEINTRESOURCEW(kIconResource));
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = className.c_str();
  RegisterClassExW(&windowClass);
}

// Copies an RGB block (rows top to bottom) into the bottom-up BGR canvas at (x, y), clipped.
void Blit(std::vector<uint8_t>& canvas, int canvasWidth, int canvasHeight, const uint8_t* rgb,
          int x, int y, int width, int height) {
  const size_t stride = (static_cast<size_t>(canvasWidth) * 3 + 3) & ~size_t{3};
  for (int row = 0; row < height; ++row) {
    const int cy = y + row;
    if (cy < 0 || cy >= canvasHeight) continue;
    uint8_t* line = canvas.data() + static_cast<size_t>(canvasHeight - 1 - cy) * stride;
    const uint8_t* source = rgb + static_cast<size_t>(row) * width * 3;
    for (int column = 0; column < width; ++column) {
      const int cx = x + column;
      if (cx < 0 || cx >= canvasWidth) continue;
      uint8_t* pixel = line + static_cast<size_t>(cx) * 3;
      pixel[0] = source[column * 3 + 2];
      pixel[1] = source[column * 3 + 1];
      pixel[2] = source[column * 3];
    }
  }
}

}  // namespace

struct WindowAccess {
  static HWND Handle(const Window& window) { return window.impl_->handle; }
  static Window::Impl& Of(Window& window) { return *window.impl_; }
};

HWND WindowHandle(const Window& window) {
  return WindowAccess::Handle(window);
}

void SetSystemChangeEvents(Window& window, SystemChangeEvents events) {
  WindowAccess::Of(window).systemChanges = std::move(events);
}

void DeliverSystemChange(Window& window, SystemChange change) {
  HWND handle = WindowHandle(window);
  if (handle == nullptr) return;
  switch (change) {
    case SystemChange::visualStyles:
      SendMessageW(handle, WM_THEMECHANGED, 0, 0);
      break;
    case SystemChange::systemColors:
      SendMessageW(handle, WM_SYSCOLORCHANGE, 0, 0);
      break;
    case SystemChange::display: {
      HDC screen = GetDC(nullptr);
      const int bitsPerPixel = GetDeviceCaps(screen, BITSPIXEL);
      ReleaseDC(nullptr, screen);
      SendMessageW(handle, WM_DISPLAYCHANGE, static_cast<WPARAM>(bitsPerPixel),
                   MAKELPARAM(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));
      break;
    }
  }
}

void Window::Impl::Paint(HDC dc) {
  RECT client;
  GetClientRect(handle, &client);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  if (width <= 0 || height <= 0) return;
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  // Outside the picture the window shows its button-face colour.
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  canvas.assign(stride * static_cast<size_t>(height), 0);
  for (int row = 0; row < height; ++row) {
    uint8_t* line = canvas.data() + static_cast<size_t>(row) * stride;
    for (int column = 0; column < width; ++column) {
      line[column * 3] = GetBValue(face);
      line[column * 3 + 1] = GetGValue(face);
      line[column * 3 + 2] = GetRValue(face);
    }
  }
  if (background.pixels != nullptr) {
    Blit(canvas, width, height, background.pixels, 0, 0, background.width, background.height);
  }
  for (Area& area : areas) {
    const int areaWidth = area.rect.right - area.rect.left;
    const int areaHeight = area.rect.bottom - area.rect.top;
    area.paint(area.rgb.data(), areaWidth, areaHeight);
    Blit(canvas, width, height, area.rgb.data(), area.rect.left, area.rect.top, areaWidth,
         areaHeight);
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                    static_cast<UINT>(height), canvas.data(), &info, DIB_RGB_COLORS);
}

Window::Window(const std::string& className, const std::string& caption, int clientWidth,
               int clientHeight)
    : impl_(std::make_unique<Impl>()) {
  impl_->owner = this;
  std::wstring wideClass, wideCaption;
  internal::ToWide(className, &wideClass);
  internal::ToWide(caption, &wideCaption);
  RegisterWindowClass(wideClass);
  RECT frame{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  // Owned by the application's window: the taskbar then shows that window's title, and not
  // this caption.
  impl_->handle = CreateWindowExW(
      kExStyle, wideClass.c_str(), wideCaption.c_str(), kStyle, std::max(x, 0), std::max(y, 0),
      width, height, State().applicationWindow, nullptr, GetModuleHandleW(nullptr), impl_.get());
  if (State().mainWindow == nullptr) State().mainWindow = impl_->handle;
}

Window::~Window() {
  if (State().mainWindow == impl_->handle) State().mainWindow = nullptr;
  if (impl_->handle != nullptr) DestroyWindow(impl_->handle);
}

void Window::SetBackground(const Picture& picture) {
  impl_->background = picture;
  if (impl_->handle != nullptr) InvalidateRect(impl_->handle, nullptr, FALSE);
}

void Window::AddPaintedArea(int x, int y, int width, int height,
                            std::function<void(uint8_t* rgb, int width, int height)> paint) {
  if (width <= 0 || height <= 0) return;
  impl_->areas.push_back({RECT{x, y, x + width, y + height}, std::move(paint),
                          std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)});
  if (impl_->handle != nullptr) InvalidateRect(impl_->handle, &impl_->areas.back().rect, FALSE);
}

void Window::RepaintAreas() {
  if (impl_->handle == nullptr || !impl_->visible) return;
  for (const Area& area : impl_->areas) InvalidateRect(impl_->handle, &area.rect, FALSE);
  UpdateWindow(impl_->handle);
}

void Window::Show() {
  impl_->visible = true;
  if (impl_->handle == nullptr) return;
  // The taskbar entry appears with the first window shown.
  HWND application = State().applicationWindow;
  if (application != nullptr && !IsWindowVisible(application)) {
    ShowWindow(application, SW_SHOWNOACTIVATE);
  }
  ShowWindow(impl_->handle, SW_SHOW);
  SetForegroundWindow(impl_->handle);
  UpdateWindow(impl_->handle);
}

bool Window::Visible() const {
  return impl_->visible;
}

void Window::Maximize() {
  if (impl_->handle != nullptr) ShowWindow(impl_->handle, SW_SHOWMAXIMIZED);
}

}  // namespace platform::ui
