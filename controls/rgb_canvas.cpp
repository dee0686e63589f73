// The RGB canvas: every drawing operation is cut to the canvas first, so no rectangle, however
// large or inverted, reaches outside the pixel buffer.
#include "controls/rgb_canvas.h"

#include <algorithm>
#include <cassert>
#include <cstring>

TRgbCanvas::TRgbCanvas(int width, int height, TRgbColor background)
    : FWidth(std::max(width, 0)), FHeight(std::max(height, 0)) {
  FPixels.resize(RowBytes() * static_cast<size_t>(FHeight));
  for (size_t i = 0; i < FPixels.size(); i += 3) {
    FPixels[i] = background.R;
    FPixels[i + 1] = background.G;
    FPixels[i + 2] = background.B;
  }
}

TRgbColor TRgbCanvas::Pixel(int x, int y) const {
  assert(Contains(x, y));
  if (!Contains(x, y)) return {};
  const uint8_t* p = &FPixels[Offset(x, y)];
  return {p[0], p[1], p[2]};
}

void TRgbCanvas::SetPixel(int x, int y, TRgbColor color) {
  if (!Contains(x, y)) return;
  uint8_t* p = &FPixels[Offset(x, y)];
  p[0] = color.R;
  p[1] = color.G;
  p[2] = color.B;
}

TRect TRgbCanvas::Clip(const TRect& rect) const {
  return {std::max(rect.Left, 0), std::max(rect.Top, 0), std::min(rect.Right, FWidth),
          std::min(rect.Bottom, FHeight)};
}

void TRgbCanvas::FillRect(const TRect& rect, TRgbColor color) {
  const TRect cut = Clip(rect);
  if (cut.IsEmpty()) return;
  for (int y = cut.Top; y < cut.Bottom; ++y) {
    uint8_t* p = &FPixels[Offset(cut.Left, y)];
    for (int x = cut.Left; x < cut.Right; ++x, p += 3) {
      p[0] = color.R;
      p[1] = color.G;
      p[2] = color.B;
    }
  }
}

void TRgbCanvas::HorizontalLine(int y, int xFrom, int xTo, TRgbColor color) {
  // Rows outside are left out first, so that the exclusive ends below cannot overflow.
  if (y < 0 || y >= FHeight || xFrom > xTo) return;
  FillRect({xFrom, y, std::min(xTo, FWidth - 1) + 1, y + 1}, color);
}

void TRgbCanvas::VerticalLine(int x, int yFrom, int yTo, TRgbColor color) {
  if (x < 0 || x >= FWidth || yFrom > yTo) return;
  FillRect({x, yFrom, x + 1, std::min(yTo, FHeight - 1) + 1}, color);
}

void TRgbCanvas::CopyRect(int destX, int destY, const TRgbCanvas& source, const TRect& sourceRect) {
  // 64-bit, so that far-away destinations and rectangles cannot overflow.
  int64_t left = std::max(sourceRect.Left, 0);
  int64_t top = std::max(sourceRect.Top, 0);
  const int64_t right = std::min(sourceRect.Right, source.FWidth);
  const int64_t bottom = std::min(sourceRect.Bottom, source.FHeight);
  int64_t toX = int64_t{destX} + (left - sourceRect.Left);
  int64_t toY = int64_t{destY} + (top - sourceRect.Top);
  if (toX < 0) {
    left -= toX;
    toX = 0;
  }
  if (toY < 0) {
    top -= toY;
    toY = 0;
  }
  const int64_t width = std::min(right - left, FWidth - toX);
  const int64_t height = std::min(bottom - top, FHeight - toY);
  if (width <= 0 || height <= 0) return;

  const size_t rowBytes = static_cast<size_t>(width) * 3;
  // Overlapping rows of one canvas: copy top-down when moving up, bottom-up when moving down;
  // memmove takes care of the overlap inside a row.
  const bool downwards = &source == this && toY > top;
  for (int64_t i = 0; i < height; ++i) {
    const int64_t row = downwards ? height - 1 - i : i;
    std::memmove(
        &FPixels[Offset(static_cast<int>(toX), static_cast<int>(toY + row))],
        &source.FPixels[source.Offset(static_cast<int>(left), static_cast<int>(top + row))],
        rowBytes);
  }
}
