// Test program of the Windows build: writes the update window's picture rendered off-screen, with
// the background decoded as update.exe decodes it, to a binary PPM file for the screenshot test.
// Usage: window_picture_file POSITION OUTPUT.ppm. Exit 0 when written, 1 otherwise.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/window_picture.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: window_picture_file POSITION OUTPUT.ppm\n");
    return 1;
  }
  const platform::RgbImage picture = RenderWindowPicture(std::atoi(argv[1]));
  if (picture.Empty()) {
    std::fprintf(stderr, "the background picture cannot be decoded\n");
    return 1;
  }
  const std::string header =
      "P6\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) + "\n255\n";
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  const bool written =
      std::fwrite(header.data(), 1, header.size(), out) == header.size() &&
      std::fwrite(picture.pixels.data(), 1, picture.pixels.size(), out) == picture.pixels.size();
  return std::fclose(out) == 0 && written ? 0 : 1;
}
