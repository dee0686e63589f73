// Test program: compares the update window on the X display with its picture rendered
// off-screen. Usage: window_picture_check POSITION [OUTPUT.ppm]. Exit 0 when every pixel of the
// client area matches (within 2 levels per channel), 1 otherwise (the screenshot is written to
// OUTPUT.ppm when given), 2 when there is no display or no window.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/window_picture.h"

namespace {

// The first top-level window of class TForm1.
::Window FindForm(Display* display) {
  ::Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
  unsigned int count = 0;
  ::Window found = 0;
  if (XQueryTree(display, root, &root, &parent, &children, &count) == 0) return 0;
  for (unsigned int i = 0; i < count && found == 0; ++i) {
    XClassHint hint{};
    if (XGetClassHint(display, children[i], &hint) != 0) {
      if (hint.res_class != nullptr && std::string(hint.res_class) == "TForm1") found = children[i];
      if (hint.res_name != nullptr) XFree(hint.res_name);
      if (hint.res_class != nullptr) XFree(hint.res_class);
    }
  }
  if (children != nullptr) XFree(children);
  return found;
}

int Channel(unsigned long pixel, unsigned long mask) {
  int shift = 0;
  while (mask != 0 && (mask & 1) == 0) {
    mask >>= 1;
    ++shift;
  }
  return static_cast<int>((pixel >> shift) & mask) * 255 / static_cast<int>(mask == 0 ? 1 : mask);
}

}  // namespace

int main(int argc, char** argv) {
  const int position = argc > 1 ? std::atoi(argv[1]) : 0;
  const platform::RgbImage expected = RenderWindowPicture(position);
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr || expected.Empty()) return 2;
  const ::Window form = FindForm(display);
  if (form == 0) return 2;
  XImage* shot = XGetImage(display, form, 0, 0, static_cast<unsigned>(expected.width),
                           static_cast<unsigned>(expected.height), AllPlanes, ZPixmap);
  if (shot == nullptr) return 2;
  int mismatches = 0;
  std::string ppm =
      "P6\n" + std::to_string(expected.width) + " " + std::to_string(expected.height) + "\n255\n";
  for (int y = 0; y < expected.height; ++y) {
    for (int x = 0; x < expected.width; ++x) {
      const unsigned long pixel = XGetPixel(shot, x, y);
      const int rgb[3] = {Channel(pixel, shot->red_mask), Channel(pixel, shot->green_mask),
                          Channel(pixel, shot->blue_mask)};
      const uint8_t* want = expected.Pixel(x, y);
      bool same = true;
      for (int c = 0; c < 3; ++c) {
        same = same && std::abs(rgb[c] - want[c]) <= 2;
        ppm += static_cast<char>(rgb[c]);
      }
      if (!same) ++mismatches;
    }
  }
  XDestroyImage(shot);
  XCloseDisplay(display);
  if (mismatches != 0 && argc > 2) {
    if (FILE* out = std::fopen(argv[2], "wb")) {
      std::fwrite(ppm.data(), 1, ppm.size(), out);
      std::fclose(out);
    }
  }
  std::printf("%d of %d pixels differ\n", mismatches, expected.width * expected.height);
  return mismatches == 0 ? 0 : 1;
}
