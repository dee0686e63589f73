// Decoding of a JPEG picture held in memory into RGB pixels, with one contract for POSIX
// (platform/posix, libjpeg-turbo) and Windows (platform/win32, the OLE picture loader).
//
// A failing call records the operation "decode jpeg" in LastError() of the calling thread
// (platform/files.h), with an empty path and the decoder's own error code (libjpeg's message
// code, or the HRESULT on Windows; 0 when the data was refused before decoding).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// A decoded picture: 3 bytes per pixel (red, green, blue), rows from top to bottom, no padding.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // width * height * 3 bytes

  bool Empty() const { return pixels.empty(); }
  // The pixel at (x, y), counted from the top-left corner; both must lie inside the picture.
  const uint8_t* Pixel(int x, int y) const {
    return pixels.data() + (static_cast<size_t>(y) * static_cast<size_t>(width) + x) * 3;
  }
};

// The largest picture DecodeJpeg accepts: a header may claim up to 65535 x 65535 pixels, and the
// memory for them is only spent on a picture of a sensible size.
inline constexpr int64_t kMaxJpegPixels = int64_t{4096} * 4096;

// Decodes a complete JPEG file of `size` bytes at `data` (grey or colour, baseline or
// progressive) into `image`. Returns false, with `image` empty, when the data is not a JPEG, ends
// before its end-of-image marker (a truncated file, which a lenient decoder would paint grey and
// accept), has a broken marker structure, cannot be decoded, or claims more than kMaxJpegPixels
// pixels. Damage inside the compressed data is refused as far as the decoder notices it: libjpeg
// reports bad codes and misplaced markers, the OLE loader on Windows paints over them. Never ends
// the process, whatever the bytes.
bool DecodeJpeg(const uint8_t* data, size_t size, RgbImage& image);

}  // namespace platform
