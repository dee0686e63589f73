// A stand-in for a main program with a window, for the Windows end-to-end tests: it records how
// it was started, and with "-window" shows a top-level window until it is asked to close.
//
// Environment: UPDATE_CHILD_RECORD names the file that receives the arguments, one per line (it
// appears whole or not at all); UPDATE_CHILD_CLOSED names the file that receives "closed when
// asked" when WM_CLOSE came. Without "-window" it ends at once.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

void WriteWhole(const std::string& path, const std::string& text) {
  if (path.empty()) return;
  const std::string part = path + ".part";
  std::ofstream(part, std::ios::binary | std::ios::trunc) << text;
  MoveFileExA(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    WriteWhole(Variable("UPDATE_CHILD_CLOSED"), "closed when asked\n");
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) text += std::string(argv[i]) + "\n";
  const bool window = argc > 1 && std::string(argv[1]) == "-window";
  HWND shown = nullptr;
  if (window) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"UpdateTestProgram";
    RegisterClassW(&windowClass);
    shown = CreateWindowExW(0, L"UpdateTestProgram", L"update test program",
                            WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                            windowClass.hInstance, nullptr);
  }
  // Recorded once the window is there: whoever waits for the record may ask it to close.
  WriteWhole(Variable("UPDATE_CHILD_RECORD"), text);
  if (shown == nullptr) return window ? 1 : 0;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
