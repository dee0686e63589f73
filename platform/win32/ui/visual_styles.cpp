// Visual styles on Windows: the start-up facts from "dwmapi.dll" and "uxtheme.dll" (both looked up
// at run time, so that the program starts where either is missing), the system colours, and the
// "Progress" parts drawn through a 32-bit DIB section into an RGB buffer.
#include <windows.h>
// Needs the definitions of windows.h first; only its types are used.
#include <uxtheme.h>

#include <climits>
#include <cstdint>

#include "platform/visual_styles.h"
#include "platform/win32/ui/ui_state.h"

namespace platform::ui {
namespace {

using IsThemeActiveFunction = BOOL(WINAPI*)();
using IsAppThemedFunction = BOOL(WINAPI*)();
using OpenThemeDataFunction = HTHEME(WINAPI*)(HWND, LPCWSTR);
using CloseThemeDataFunction = HRESULT(WINAPI*)(HTHEME);
using DrawThemeBackgroundFunction = HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*,
                                                     const RECT*);

// The visual-style library, loaded once for the life of the process (every function found in it
// stays valid as long as it is loaded).
struct ThemeLibrary {
  IsThemeActiveFunction isThemeActive = nullptr;
  IsAppThemedFunction isAppThemed = nullptr;
  OpenThemeDataFunction openThemeData = nullptr;
  CloseThemeDataFunction closeThemeData = nullptr;
  DrawThemeBackgroundFunction drawThemeBackground = nullptr;

  bool CanDraw() const {
    return openThemeData != nullptr && closeThemeData != nullptr && drawThemeBackground != nullptr;
  }
};

template <typename Function>
Function Find(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const ThemeLibrary& Themes() {
  static const ThemeLibrary library = [] {
    ThemeLibrary found;
    HMODULE module = LoadLibraryExW(L"uxtheme.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) return found;
    found.isThemeActive = Find<IsThemeActiveFunction>(module, "IsThemeActive");
    found.isAppThemed = Find<IsAppThemedFunction>(module, "IsAppThemed");
    found.openThemeData = Find<OpenThemeDataFunction>(module, "OpenThemeData");
    found.closeThemeData = Find<CloseThemeDataFunction>(module, "CloseThemeData");
    found.drawThemeBackground = Find<DrawThemeBackgroundFunction>(module, "DrawThemeBackground");
    return found;
  }();
  return library;
}

// The compositor's library is only asked whether it loads; its two functions are looked up the
// way the controls' library always did, and kept with the library for the life of the process.
bool CompositorLoads() {
  static const bool found = [] {
    HMODULE module = LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) return false;
    GetProcAddress(module, "DwmIsCompositionEnabled");
    GetProcAddress(module, "DwmSetWindowAttribute");
    return true;
  }();
  return found;
}

RgbValue SystemColor(int index) {
  const COLORREF color = GetSysColor(index);
  return {GetRValue(color), GetGValue(color), GetBValue(color)};
}

// The state argument of every part: the parts of "Progress" drawn here have one state only.
constexpr int kPartState = 1;

}  // namespace

StyleFacts DetectStyleFacts() {
  StyleFacts facts;
  facts.compositorFound = CompositorLoads();
  facts.visualStylesInUse = VisualStylesInUse();
  return facts;
}

bool VisualStylesInUse() {
  const ThemeLibrary& themes = Themes();
  return themes.isThemeActive != nullptr && themes.isAppThemed != nullptr &&
         themes.isThemeActive() && themes.isAppThemed();
}

bool ReadSystemColors(SystemColorValues* colors) {
  colors->buttonFace = SystemColor(COLOR_BTNFACE);
  colors->buttonShadow = SystemColor(COLOR_BTNSHADOW);
  colors->buttonHighlight = SystemColor(COLOR_BTNHIGHLIGHT);
  colors->highlight = SystemColor(COLOR_HIGHLIGHT);
  return true;
}

struct ProgressStylePainter::Impl {
  HWND window = nullptr;
  HTHEME theme = nullptr;

  void Close() {
    if (theme != nullptr) Themes().closeThemeData(theme);
    theme = nullptr;
  }
};

ProgressStylePainter::ProgressStylePainter(const Window* window) : impl_(std::make_unique<Impl>()) {
  if (window != nullptr) impl_->window = WindowHandle(*window);
}

ProgressStylePainter::~ProgressStylePainter() {
  impl_->Close();
}

void ProgressStylePainter::Reset() {
  impl_->Close();
}

bool ProgressStylePainter::DrawPart(uint8_t* rgb, int width, int height, int part,
                                    const PixelRect& rect) {
  const ThemeLibrary& themes = Themes();
  if (part < 1 || part > 4 || rgb == nullptr || width <= 0 || height <= 0) return false;
  // A 32-bit DIB of this size must stay addressable in an int row stride and a size_t total.
  if (width > INT_MAX / 4 || static_cast<size_t>(width) * 4 > SIZE_MAX / height) return false;
  if (rect.right <= rect.left || rect.bottom <= rect.top || !themes.CanDraw()) return false;
  if (impl_->theme == nullptr) impl_->theme = themes.openThemeData(impl_->window, L"Progress");
  if (impl_->theme == nullptr) return false;

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down, like the RGB buffer
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) {
    if (bitmap != nullptr) DeleteObject(bitmap);
    return false;
  }
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) {
    DeleteObject(bitmap);
    return false;
  }
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  auto* bgra = static_cast<uint8_t*>(bits);
  // The part is blended over what the buffer holds already.
  for (size_t i = 0; i < pixels; ++i) {
    bgra[i * 4] = rgb[i * 3 + 2];
    bgra[i * 4 + 1] = rgb[i * 3 + 1];
    bgra[i * 4 + 2] = rgb[i * 3];
    bgra[i * 4 + 3] = 0xFF;
  }
  HGDIOBJ previous = SelectObject(dc, bitmap);
  const RECT target{rect.left, rect.top, rect.right, rect.bottom};
  const RECT clip{0, 0, width, height};
  const bool drawn =
      SUCCEEDED(themes.drawThemeBackground(impl_->theme, dc, part, kPartState, &target, &clip));
  GdiFlush();
  if (drawn) {
    for (size_t i = 0; i < pixels; ++i) {
      rgb[i * 3] = bgra[i * 4 + 2];
      rgb[i * 3 + 1] = bgra[i * 4 + 1];
      rgb[i * 3 + 2] = bgra[i * 4];
    }
  }
  SelectObject(dc, previous);
  DeleteDC(dc);
  DeleteObject(bitmap);
  return drawn;
}

}  // namespace platform::ui
