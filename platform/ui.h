// The application framework of the updater: the application object with its message loop,
// termination flag, pump and standard error box; the main window; one-shot timers; and finding
// the window of a copy that runs already. One contract for every system.
//
// Without a display (no X server on Linux) the framework still runs: there is no window, timers
// and the loop work as with one, and message boxes print their text on stderr (platform/dialogs.h
// takes its safe answer).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform::ui {

// ---- The application ------------------------------------------------------------------------

// Sets the application up: `title` captions its message boxes (and its taskbar entry); installs
// the message pump and the message-box, file-open and directory-chooser handlers of
// platform/dialogs.h and platform/message_pump.h. True when a display is there.
bool InitializeApplication(const std::string& title);

// Asks the loop to end: the termination flag is set, and a loop waiting for events wakes up. The
// request is kept as the flag only: a message box shown afterwards stays until it is answered.
void RequestTermination();
bool TerminationRequested();

// The main loop: at least one cycle, then cycles until termination was requested. A cycle handles
// the events that are due (timers, window events) or waits for the next one; when termination is
// requested already, the cycle waits for nothing.
void RunMessageLoop();

// Handles every event that is due, then returns (the pump of long work).
void ProcessMessages();

// The framework's standard error report: a message box with an error icon, captioned with the
// application title; a full stop is appended when the text's last character sorts above ".".
void ShowErrorMessage(const std::string& text);

// True when the process was started with the show command "maximised" (Windows only; false
// elsewhere): the main window is then maximised when the loop starts.
bool StartedMaximized();

// ---- Windows --------------------------------------------------------------------------------

// An RGB picture, rows top to bottom, 3 bytes per pixel.
struct Picture {
  int width = 0;
  int height = 0;
  const uint8_t* pixels = nullptr;
};

// A fixed-size main window: centred on the screen, caption but no buttons in its title bar, of
// the class (WM_CLASS on X11) `className`. Hidden until Show.
//   - Windows: a close request (WM_CLOSE, the taskbar entry's Close) calls OnCloseRequest.
//   - Linux: the window offers the user nothing: Escape and the window manager's close are
//     ignored, and OnCloseRequest is never called.
class Window {
 public:
  Window(const std::string& className, const std::string& caption, int clientWidth,
         int clientHeight);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // The picture drawn at the top-left of the client area, at its natural size (not copied: it
  // must outlive the window).
  void SetBackground(const Picture& picture);
  // A rectangle of the client area painted by `paint`, which fills an RGB buffer of the
  // rectangle's size (3 bytes per pixel, rows top to bottom), drawn above the background.
  void AddPaintedArea(int x, int y, int width, int height,
                      std::function<void(uint8_t* rgb, int width, int height)> paint);
  // Paints the painted areas again at once.
  void RepaintAreas();
  void Show();
  bool Visible() const;
  // Maximises the window (the show command of a process started maximised).
  void Maximize();

  std::function<void()> OnCloseRequest;

  struct Impl;

 private:
  // The platform's other services (visual styles, the native progress bar) reach the window's
  // system object through it.
  friend struct WindowAccess;
  std::unique_ptr<Impl> impl_;
};

// ---- Timers ---------------------------------------------------------------------------------

// A timer that calls `onTimer` every `intervalMs` milliseconds from the message loop or a pump,
// while it is enabled. Created disabled.
class Timer {
 public:
  Timer(int intervalMs, std::function<void()> onTimer);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // Enabling (again) starts a full interval.
  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }

  // For the loop without a display: fires `timer` and plans its next tick.
  static void FireFromLoop(Timer* timer);

 private:
  static void Tick(void* self);
  int intervalMs_;
  std::function<void()> onTimer_;
  bool enabled_ = false;
};

// ---- Another copy ---------------------------------------------------------------------------

// Looks for a top-level window of class `className` that belongs to a process running the
// executable `executablePath` (the caller's own), other than the caller; brings the first one
// found to the front and gives it the focus. False when none was found or there is no display.
bool ActivateWindowOfOtherCopy(const std::string& className, const std::string& executablePath);

}  // namespace platform::ui
