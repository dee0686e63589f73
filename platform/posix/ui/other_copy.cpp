// Finding and activating the window of a copy that runs already, on X11: a top-level client of
// the given class (WM_CLASS) whose _NET_WM_PID names another process running the same executable.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/ui.h"

namespace platform::ui {
namespace {

std::string ExecutableOf(long pid) {
  char target[4096];
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

long WindowPid(Display* display, ::Window window) {
  const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
  if (pidAtom == None) return 0;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  long pid = 0;
  if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                         &after, &data) == Success &&
      data != nullptr && format == 32 && count == 1) {
    pid = *reinterpret_cast<long*>(data);
  }
  if (data != nullptr) XFree(data);
  return pid;
}

bool HasClass(Display* display, ::Window window, const std::string& className) {
  XClassHint hint{};
  if (XGetClassHint(display, window, &hint) == 0) return false;
  const bool same = hint.res_class != nullptr && className == hint.res_class;
  if (hint.res_name != nullptr) XFree(hint.res_name);
  if (hint.res_class != nullptr) XFree(hint.res_class);
  return same;
}

// The top-level clients: below the root, and one level further below a window manager's frames.
std::vector<::Window> Candidates(Display* display) {
  std::vector<::Window> result;
  ::Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, root, &root, &parent, &children, &count) == 0) return result;
  for (unsigned int i = 0; i < count; ++i) {
    result.push_back(children[i]);
    ::Window* inner = nullptr;
    unsigned int innerCount = 0;
    ::Window innerRoot = 0, innerParent = 0;
    if (XQueryTree(display, children[i], &innerRoot, &innerParent, &inner, &innerCount) != 0) {
      for (unsigned int k = 0; k < innerCount; ++k) result.push_back(inner[k]);
      if (inner != nullptr) XFree(inner);
    }
  }
  if (children != nullptr) XFree(children);
  return result;
}

}  // namespace

bool ActivateWindowOfOtherCopy(const std::string& className, const std::string& executablePath) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  std::string executable = executablePath;
  for (char& c : executable) {
    if (c == '\\') c = '/';
  }
  bool found = false;
  for (::Window window : Candidates(display)) {
    if (!HasClass(display, window, className)) continue;
    const long pid = WindowPid(display, window);
    if (pid <= 0 || pid == getpid() || ExecutableOf(pid) != executable) continue;
    XMapRaised(display, window);
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    // Under a window manager the request goes through it.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // from a pager-like source: honoured by most managers
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    found = true;
    break;
  }
  XSync(display, False);
  XCloseDisplay(display);
  return found;
}

}  // namespace platform::ui
