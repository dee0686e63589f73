// The RGB canvas: drawing is cut to the canvas whatever the coordinates, lines include both ends,
// copies work between canvases and inside one, and the pixel bytes are laid out as the GUI layer
// expects.
#include "controls/rgb_canvas.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

constexpr TRgbColor kBack = {1, 2, 3};
constexpr TRgbColor kInk = {200, 100, 50};

// The canvas as text, one row per line: '#' for kInk, '.' for anything else.
std::string Picture(const TRgbCanvas& canvas) {
  std::string text;
  for (int y = 0; y < canvas.Height(); ++y) {
    for (int x = 0; x < canvas.Width(); ++x) text += canvas.Pixel(x, y) == kInk ? '#' : '.';
    text += '\n';
  }
  return text;
}

TEST(RgbCanvasTest, StartsInItsBackgroundAndCountsNegativeSizesAsZero) {
  const TRgbCanvas canvas(3, 2, kBack);
  EXPECT_EQ(canvas.Width(), 3);
  EXPECT_EQ(canvas.Height(), 2);
  EXPECT_EQ(canvas.Pixel(2, 1), kBack);
  EXPECT_EQ(canvas.Bounds(), (TRect{0, 0, 3, 2}));

  const TRgbCanvas empty(-5, 4);
  EXPECT_EQ(empty.Width(), 0);
  EXPECT_EQ(empty.Height(), 4);
  EXPECT_FALSE(empty.Contains(0, 0));
}

TEST(RgbCanvasTest, DataIsRowsOfRedGreenBlue) {
  TRgbCanvas canvas(2, 2, kBack);
  canvas.SetPixel(1, 1, kInk);
  ASSERT_EQ(canvas.RowBytes(), 6u);
  const uint8_t* row1 = canvas.Data() + canvas.RowBytes();
  EXPECT_EQ(row1[0], 1);
  EXPECT_EQ(row1[3], 200);
  EXPECT_EQ(row1[4], 100);
  EXPECT_EQ(row1[5], 50);
}

struct FillCase {
  TRect rect;
  const char* picture;
};

const FillCase kFillCases[] = {
    {{1, 1, 3, 2}, "....\n.##.\n....\n"},
    {{-2, -5, 2, 1}, "##..\n....\n....\n"},  // cut at the top left
    {{3, 2, 99, 99}, "....\n....\n...#\n"},  // cut at the bottom right
    {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, "####\n####\n####\n"},
    {{2, 1, 2, 3}, "....\n....\n....\n"},  // no width
    {{3, 2, 1, 1}, "....\n....\n....\n"},  // inverted
    {{4, 0, 9, 3}, "....\n....\n....\n"},  // beside the canvas
};

TEST(RgbCanvasTest, FillRectIsCutToTheCanvas) {
  for (const FillCase& c : kFillCases) {
    TRgbCanvas canvas(4, 3, kBack);
    canvas.FillRect(c.rect, kInk);
    EXPECT_EQ(Picture(canvas), c.picture)
        << c.rect.Left << "," << c.rect.Top << " - " << c.rect.Right << "," << c.rect.Bottom;
  }
}

TEST(RgbCanvasTest, LinesIncludeBothEndsAndAreCut) {
  TRgbCanvas canvas(5, 4, kBack);
  canvas.HorizontalLine(0, 1, 3, kInk);
  canvas.VerticalLine(4, 1, INT_MAX, kInk);
  canvas.HorizontalLine(3, INT_MIN, 0, kInk);
  canvas.HorizontalLine(2, 3, 2, kInk);  // first end beyond the second: nothing
  canvas.VerticalLine(0, 2, 1, kInk);    // likewise
  canvas.HorizontalLine(INT_MAX, 0, 4, kInk);
  canvas.VerticalLine(INT_MIN, 0, 3, kInk);
  EXPECT_EQ(Picture(canvas),
            ".###.\n"
            "....#\n"
            "....#\n"
            "#...#\n");
}

TEST(RgbCanvasTest, CopyRectBetweenCanvasesIsCutOnBothSides) {
  TRgbCanvas source(3, 3, kBack);
  source.FillRect({0, 0, 3, 1}, kInk);  // the top row, which lands above the target
  source.SetPixel(0, 2, kInk);
  source.SetPixel(1, 2, kInk);  // lands right of the target

  TRgbCanvas target(4, 4, kBack);
  // The rectangle starts one column before the source; the copy one row above the target.
  target.CopyRect(2, -1, source, {-1, 0, 3, 3});
  EXPECT_EQ(Picture(target),
            "....\n"
            "...#\n"
            "....\n"
            "....\n");

  TRgbCanvas far(4, 4, kBack);
  far.CopyRect(INT_MAX, INT_MIN, source, {INT_MIN, INT_MIN, INT_MAX, INT_MAX});
  far.CopyRect(INT_MIN, INT_MAX, source, {INT_MIN, INT_MIN, INT_MAX, INT_MAX});
  EXPECT_EQ(Picture(far), "....\n....\n....\n....\n");
}

TEST(RgbCanvasTest, CopyRectWithinOneCanvasHandlesOverlap) {
  TRgbCanvas canvas(4, 4, kBack);
  canvas.FillRect({0, 0, 2, 1}, kInk);
  canvas.SetPixel(0, 1, kInk);
  // Down and right by one: the source rows overlap the rows they are copied to.
  canvas.CopyRect(1, 1, canvas, {0, 0, 3, 3});
  EXPECT_EQ(Picture(canvas),
            "##..\n"
            "###.\n"
            ".#..\n"
            "....\n");
  // Back up and left.
  canvas.CopyRect(0, 0, canvas, {1, 1, 4, 4});
  EXPECT_EQ(Picture(canvas),
            "##..\n"
            "#...\n"
            "....\n"
            "....\n");
}

}  // namespace
