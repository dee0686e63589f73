// A small RGB pixel canvas: the off-screen buffer the controls paint into, which the GUI layer
// copies to the screen in one step and tests read back pixel by pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct TRgbColor {
  uint8_t R = 0;
  uint8_t G = 0;
  uint8_t B = 0;

  friend bool operator==(const TRgbColor&, const TRgbColor&) = default;
};

// A rectangle (Left, Top)-(Right, Bottom) whose right and bottom edges are exclusive; it is empty
// when Right <= Left or Bottom <= Top.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

class TRgbCanvas {
 public:
  // A canvas of width x height pixels, every one `background`; a negative size counts as 0.
  TRgbCanvas(int width, int height, TRgbColor background = {});

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  TRect Bounds() const { return {0, 0, FWidth, FHeight}; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < FWidth && y < FHeight; }

  // Reading outside the canvas is a bug; it asserts, and gives black when asserts are off.
  TRgbColor Pixel(int x, int y) const;
  // Writes outside the canvas are dropped, here and in every drawing below.
  void SetPixel(int x, int y, TRgbColor color);

  void FillRect(const TRect& rect, TRgbColor color);
  // Lines with both ends included; nothing is drawn when the first end lies beyond the second.
  void HorizontalLine(int y, int xFrom, int xTo, TRgbColor color);
  void VerticalLine(int x, int yFrom, int yTo, TRgbColor color);
  // Copies `sourceRect` of `source` (which may be this canvas) so that its top-left pixel lands
  // on (destX, destY); the parts outside either canvas are left out.
  void CopyRect(int destX, int destY, const TRgbCanvas& source, const TRect& sourceRect);

  // Rows from top to bottom, 3 bytes per pixel in the order red, green, blue, no row padding.
  const uint8_t* Data() const { return FPixels.data(); }
  size_t RowBytes() const { return static_cast<size_t>(FWidth) * 3; }

 private:
  size_t Offset(int x, int y) const {
    return static_cast<size_t>(y) * RowBytes() + static_cast<size_t>(x) * 3;
  }
  // `rect` cut to the canvas.
  TRect Clip(const TRect& rect) const;

  int FWidth;
  int FHeight;
  std::vector<uint8_t> FPixels;
};
