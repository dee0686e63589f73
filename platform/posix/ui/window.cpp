// The main window on Linux: an FLTK double-buffered window of a fixed size, centred, with a
// title bar without buttons (Motif hints), a background picture and painted areas above it; it
// ignores Escape and close requests. Without a display it only remembers whether it was shown.
#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Widget.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <vector>

#include "platform/posix/ui/ui_state.h"
#include "platform/ui.h"

namespace platform::ui {
namespace {

// A rectangle painted from an RGB buffer that its owner fills.
class PaintedArea : public Fl_Widget {
 public:
  PaintedArea(int x, int y, int w, int h,
              std::function<void(uint8_t* rgb, int width, int height)> paint)
      : Fl_Widget(x, y, w, h), paint_(std::move(paint)), pixels_(static_cast<size_t>(w * h * 3)) {}

  void draw() override {
    paint_(pixels_.data(), w(), h());
    fl_draw_image(pixels_.data(), x(), y(), w(), h(), 3);
  }

 private:
  std::function<void(uint8_t*, int, int)> paint_;
  std::vector<uint8_t> pixels_;
};

class MainWindow : public Fl_Double_Window {
 public:
  MainWindow(int w, int h, const char* caption) : Fl_Double_Window(w, h, caption) {}

  void draw() override {
    if (background_.pixels != nullptr) {
      fl_draw_image(background_.pixels, 0, 0, background_.width, background_.height, 3);
    } else {
      fl_rectf(0, 0, w(), h(), FL_BACKGROUND_COLOR);
    }
    draw_children();
  }

  Picture background_;
};

// Title and border only: no close, minimise or maximise button, no resizing.
void RemoveTitleBarButtons(Fl_Window* window) {
  struct {
    unsigned long flags, functions, decorations;
    long inputMode;
    unsigned long status;
  } hints = {1 | 2, 4 /* move */, 2 | 8 /* border, title */, 0, 0};
  const Atom atom = XInternAtom(fl_display, "_MOTIF_WM_HINTS", False);
  XChangeProperty(fl_display, fl_xid(window), atom, atom, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&hints), 5);
}

}  // namespace

struct Window::Impl {
  std::unique_ptr<MainWindow> window;
  std::vector<PaintedArea*> areas;  // children of the window, which deletes them
  bool visible = false;
  std::string className;
};

Window::Window(const std::string& className, const std::string& caption, int clientWidth,
               int clientHeight)
    : impl_(std::make_unique<Impl>()) {
  impl_->className = className;
  if (!State().display) return;
  Fl::visual(FL_RGB);
  impl_->window = std::make_unique<MainWindow>(clientWidth, clientHeight, nullptr);
  impl_->window->copy_label(caption.c_str());
  impl_->window->xclass(impl_->className.c_str());
  impl_->window->size_range(clientWidth, clientHeight, clientWidth, clientHeight);
  impl_->window->position((Fl::w() - clientWidth) / 2, (Fl::h() - clientHeight) / 2);
  impl_->window->end();
  // FLTK calls a window's callback for Escape and for the window manager's close. The window
  // offers the user nothing, so neither may stop or shorten an update.
  impl_->window->callback([](Fl_Widget*, void*) {});
}

Window::~Window() = default;

void Window::SetBackground(const Picture& picture) {
  if (impl_->window) impl_->window->background_ = picture;
}

void Window::AddPaintedArea(int x, int y, int width, int height,
                            std::function<void(uint8_t* rgb, int width, int height)> paint) {
  if (!impl_->window) return;
  auto* area = new PaintedArea(x, y, width, height, std::move(paint));
  impl_->window->add(area);
  impl_->areas.push_back(area);
}

void Window::RepaintAreas() {
  if (!impl_->window || !impl_->visible) return;
  for (PaintedArea* area : impl_->areas) area->redraw();
  Fl::flush();
}

void Window::Show() {
  impl_->visible = true;
  if (!impl_->window) return;
  impl_->window->show();
  RemoveTitleBarButtons(impl_->window.get());
  XRaiseWindow(fl_display, fl_xid(impl_->window.get()));
  Fl::flush();
}

bool Window::Visible() const {
  return impl_->visible;
}

void Window::Maximize() {
  if (!impl_->window) return;
  impl_->window->size_range(1, 1);
  impl_->window->resize(Fl::x(), Fl::y(), Fl::w(), Fl::h());
}

}  // namespace platform::ui
