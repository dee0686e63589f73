// The update window's background picture (340 x 114, baseline JPEG), embedded in the program by
// the build from resources/background.jpg.
#pragma once

#include <cstddef>

namespace resources {

extern const unsigned char kBackgroundJpeg[];
extern const std::size_t kBackgroundJpegSize;

}  // namespace resources
