// The application framework on Linux: FLTK when an X display is there, else a headless loop of
// its own with the same timers and termination flag. Message boxes and choosers go through FLTK's
// dialogs, captioned with the application title.
#include <FL/Fl.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>
#include <FL/x.H>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/dialogs.h"
#include "platform/message_pump.h"
#include "platform/posix/ui/ui_state.h"
#include "platform/ui.h"

namespace platform::ui {
namespace {

using Clock = std::chrono::steady_clock;

struct HeadlessTimer {
  Timer* timer;
  Clock::time_point due;
};

std::vector<HeadlessTimer>& HeadlessTimers() {
  static auto* timers = new std::vector<HeadlessTimer>;
  return *timers;
}

// FLTK ends the process when it cannot open its display: open it ourselves and hand the
// connection over. Opening, closing and reopening would also race an X server that resets when
// its last client leaves.
bool OpenDisplay() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  fl_open_display(display);
  return true;
}

// Fires the headless timers that are due; true when one fired.
bool FireDueHeadlessTimers() {
  const Clock::time_point now = Clock::now();
  for (HeadlessTimer& entry : HeadlessTimers()) {
    if (entry.due <= now) {
      Timer* timer = entry.timer;
      Timer::FireFromLoop(timer);
      return true;  // the handler may have changed the list
    }
  }
  return false;
}

void WaitHeadless() {
  if (FireDueHeadlessTimers()) return;
  Clock::time_point next = Clock::now() + std::chrono::milliseconds(100);
  for (const HeadlessTimer& entry : HeadlessTimers()) next = std::min(next, entry.due);
  std::this_thread::sleep_until(next);
  FireDueHeadlessTimers();
}

int FltkMessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  fl_message_title(caption.empty() ? State().title.c_str() : caption.c_str());
  switch (flags & kMbButtonMask) {
    case kMbYesNo:
      return fl_choice("%s", "No", "Yes", nullptr, text.c_str()) == 1 ? kIdYes : kIdNo;
    case kMbYesNoCancel: {
      const int answer = fl_choice("%s", "Cancel", "Yes", "No", text.c_str());
      return answer == 1 ? kIdYes : answer == 2 ? kIdNo : kIdCancel;
    }
    case kMbOkCancel:
      return fl_choice("%s", "Cancel", "OK", nullptr, text.c_str()) == 1 ? kIdOk : kIdCancel;
    case kMbRetryCancel:
      return fl_choice("%s", "Cancel", "Retry", nullptr, text.c_str()) == 1 ? kIdRetry : kIdCancel;
    case kMbAbortRetryIgnore: {
      const int answer = fl_choice("%s", "Abort", "Retry", "Ignore", text.c_str());
      return answer == 1 ? kIdRetry : answer == 2 ? kIdIgnore : kIdAbort;
    }
    default:
      fl_message("%s", text.c_str());
      return kIdOk;
  }
}

}  // namespace

UiState& State() {
  static auto* state = new UiState;
  return *state;
}

bool InitializeApplication(const std::string& title) {
  UiState& state = State();
  state.title = title;
  state.display = OpenDisplay();
  if (!state.display) return false;
  // Makes Fl::awake work: it writes to a pipe that every wait watches.
  Fl::lock();
  Fl::scheme("gtk+");
  // Every window but the main one (which sets its own class) is a dialog of the framework.
  Fl_Window::default_xclass("TMessageForm");
  // The CJK font serves the Chinese texts of captions and boxes.
  Fl::set_font(FL_HELVETICA, "WenQuanYi Zen Hei");
  fl_message_title_default(title.c_str());
  SetMessageBoxHandler(FltkMessageBox);
  SetFileOpenHandler([](const std::string& dialogTitle, const std::string& filter,
                        const std::string& initialDir, std::string* fileName) {
    std::string pattern;  // "Name|*.ext|..." -> the patterns of FLTK, one per tab
    size_t start = 0;
    for (int field = 0; start <= filter.size(); ++field) {
      const size_t end = std::min(filter.find('|', start), filter.size());
      if (field % 2 == 1)
        pattern += (pattern.empty() ? "" : "\t") + filter.substr(start, end - start);
      start = end + 1;
    }
    const char* chosen = fl_file_chooser(dialogTitle.c_str(), pattern.c_str(), initialDir.c_str());
    if (chosen == nullptr) return false;
    *fileName = chosen;
    return true;
  });
  SetDirectoryChooserHandler(
      [](const std::string& dialogTitle, const std::string& initialDir, std::string* directory) {
        const char* chosen = fl_dir_chooser(dialogTitle.c_str(), initialDir.c_str(), 0);
        if (chosen == nullptr) return false;
        *directory = chosen;
        return true;
      });
  SetMessagePump([] {
    ProcessMessages();
    return TerminationRequested();
  });
  return true;
}

void RequestTermination() {
  State().terminated = true;
  // Wakes a wait that is about to begin (a request made inside a timer's callback would
  // otherwise be seen only at the next event).
  if (State().display) Fl::awake();
}

bool TerminationRequested() {
  return State().terminated;
}

void RunMessageLoop() {
  while (!State().terminated) {
    if (State().display) {
      Fl::wait(1e20);  // the form without a time-out spins while no window is shown
    } else {
      WaitHeadless();
    }
  }
}

void ProcessMessages() {
  if (State().display) {
    Fl::check();
  } else {
    FireDueHeadlessTimers();
  }
}

bool StartedMaximized() {
  return false;  // a show command is a Windows notion
}

void ShowErrorMessage(const std::string& text) {
  std::string message = text;
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') message += '.';
  if (!State().display) {
    std::fprintf(stderr, "%s: %s\n", State().title.c_str(), message.c_str());
    return;
  }
  fl_message_title(State().title.c_str());
  fl_alert("%s", message.c_str());
}

// ---- Timers ---------------------------------------------------------------------------------

Timer::Timer(int intervalMs, std::function<void()> onTimer)
    : intervalMs_(intervalMs), onTimer_(std::move(onTimer)) {}

Timer::~Timer() {
  SetEnabled(false);
}

void Timer::SetEnabled(bool enabled) {
  auto& timers = HeadlessTimers();
  timers.erase(std::remove_if(timers.begin(), timers.end(),
                              [this](const HeadlessTimer& entry) { return entry.timer == this; }),
               timers.end());
  if (State().display) Fl::remove_timeout(Tick, this);
  enabled_ = enabled;
  if (!enabled) return;
  if (State().display) {
    Fl::add_timeout(intervalMs_ / 1000.0, Tick, this);
  } else {
    timers.push_back({this, Clock::now() + std::chrono::milliseconds(intervalMs_)});
  }
}

void Timer::Tick(void* self) {
  auto* timer = static_cast<Timer*>(self);
  Fl::repeat_timeout(timer->intervalMs_ / 1000.0, Tick, self);
  timer->onTimer_();
}

void Timer::FireFromLoop(Timer* timer) {
  for (HeadlessTimer& entry : HeadlessTimers()) {
    if (entry.timer == timer) entry.due += std::chrono::milliseconds(timer->intervalMs_);
  }
  timer->onTimer_();
}

}  // namespace platform::ui
