// The classic painting of the progress bar, read back pixel by pixel: the sunken frame, the
// margins, the blocks of the update window's bar position by position, the smooth bar, vertical
// bars, and bars cut by their rectangle.
#include "controls/classic_progress_painter.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

#include "controls/progress_geometry.h"

namespace {

// Colours that tell every part apart, and a canvas colour that shows what was left unpainted.
constexpr TSystemColors kColors = {
    .ButtonFace = {200, 200, 200},
    .ButtonShadow = {100, 100, 100},
    .ButtonHighlight = {250, 250, 250},
    .Highlight = {0, 0, 255},
};
constexpr TRgbColor kUnpainted = {7, 7, 7};

TProgressLook Look(int position, TProgressOrientation orientation = poHorizontal,
                   bool smooth = false, bool showBorder = true, int borderWidth = 0) {
  return {.Fraction = FilledFraction(0, 100, position),
          .Orientation = orientation,
          .Smooth = smooth,
          .ShowBorder = showBorder,
          .BorderWidth = borderWidth};
}

TRgbCanvas Paint(int width, int height, const TProgressLook& look) {
  TRgbCanvas canvas(width, height, kUnpainted);
  PaintClassicProgress(canvas, look, kColors);
  return canvas;
}

bool IsBar(const TRgbCanvas& canvas, int x, int y) {
  return canvas.Pixel(x, y) == kColors.Highlight;
}

// Inclusive runs of bar colour along row y (or column x for a vertical scan), in the order met
// from the bar's starting edge: left to right, or bottom to top.
using Runs = std::vector<std::pair<int, int>>;
Runs BarRunsAlongRow(const TRgbCanvas& canvas, int y) {
  Runs runs;
  for (int x = 0; x < canvas.Width(); ++x) {
    if (!IsBar(canvas, x, y)) continue;
    if (!runs.empty() && runs.back().second == x - 1) {
      runs.back().second = x;
    } else {
      runs.push_back({x, x});
    }
  }
  return runs;
}
Runs BarRunsUpColumn(const TRgbCanvas& canvas, int x) {
  Runs runs;
  for (int y = canvas.Height() - 1; y >= 0; --y) {
    if (!IsBar(canvas, x, y)) continue;
    if (!runs.empty() && runs.back().first == y + 1) {
      runs.back().first = y;
    } else {
      runs.push_back({y, y});
    }
  }
  return runs;
}

// Every pixel inside `filled` is bar colour and none outside it.
void ExpectBarExactly(const TRgbCanvas& canvas, const TRect& filled) {
  int wrong = 0;
  for (int y = 0; y < canvas.Height(); ++y) {
    for (int x = 0; x < canvas.Width(); ++x) {
      const bool inside =
          x >= filled.Left && x < filled.Right && y >= filled.Top && y < filled.Bottom;
      if (IsBar(canvas, x, y) != inside && ++wrong <= 3) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") " << (inside ? "not " : "")
                      << "in the bar colour";
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

// The update window's bar: 193 x 16, border, range 0 to 100, blocks 8 pixels wide every 10.
struct BlocksByPosition {
  int position;
  int blocks;
};
const BlocksByPosition kWindowBarBlocks[] = {
    {0, 0},   {1, 0},   {2, 1},   {3, 2},   {9, 3},   {14, 4},  {20, 5},   {26, 6},
    {31, 7},  {37, 8},  {42, 9},  {48, 10}, {53, 11}, {59, 12}, {64, 13},  {70, 14},
    {75, 15}, {81, 16}, {87, 17}, {92, 18}, {98, 19}, {99, 19}, {100, 19},
};

TEST(ClassicProgressPainterTest, UpdateWindowBarBlocksByPosition) {
  for (const BlocksByPosition& c : kWindowBarBlocks) {
    SCOPED_TRACE(testing::Message() << "position " << c.position);
    const TRgbCanvas canvas = Paint(193, 16, Look(c.position));
    Runs expected;
    for (int k = 0; k < c.blocks; ++k) expected.push_back({2 + 10 * k, 9 + 10 * k});
    EXPECT_EQ(BarRunsAlongRow(canvas, 8), expected);
    // Each block fills the bar's whole height, rows 2 to 13, and nothing above or below it.
    for (const auto& [left, right] : expected) {
      for (int x = left; x <= right; ++x) {
        EXPECT_FALSE(IsBar(canvas, x, 1));
        EXPECT_TRUE(IsBar(canvas, x, 2));
        EXPECT_TRUE(IsBar(canvas, x, 13));
        EXPECT_FALSE(IsBar(canvas, x, 14));
      }
    }
  }
}

TEST(ClassicProgressPainterTest, SunkenFrameAndBackground) {
  const TRgbCanvas canvas = Paint(193, 16, Look(0));
  // Shadow: the left column down to y 14, the top row across to x 191.
  EXPECT_EQ(canvas.Pixel(0, 0), kColors.ButtonShadow);
  EXPECT_EQ(canvas.Pixel(0, 14), kColors.ButtonShadow);
  EXPECT_EQ(canvas.Pixel(191, 0), kColors.ButtonShadow);
  // Highlight: the right column and the whole bottom row, with both light corners.
  EXPECT_EQ(canvas.Pixel(192, 0), kColors.ButtonHighlight);
  EXPECT_EQ(canvas.Pixel(192, 14), kColors.ButtonHighlight);
  EXPECT_EQ(canvas.Pixel(0, 15), kColors.ButtonHighlight);
  EXPECT_EQ(canvas.Pixel(192, 15), kColors.ButtonHighlight);
  // Background inside, from (1, 1) to (191, 14), the bar's margin included.
  EXPECT_EQ(canvas.Pixel(1, 1), kColors.ButtonFace);
  EXPECT_EQ(canvas.Pixel(191, 14), kColors.ButtonFace);
  EXPECT_EQ(canvas.Pixel(96, 8), kColors.ButtonFace);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 193; ++x) ASSERT_NE(canvas.Pixel(x, y), kUnpainted) << x << "," << y;
  }
}

TEST(ClassicProgressPainterTest, WithoutBorderNoFrameIsDrawn) {
  const TRgbCanvas canvas = Paint(193, 16, Look(0, poHorizontal, true, false));
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 193; ++x)
      ASSERT_EQ(canvas.Pixel(x, y), kColors.ButtonFace) << x << "," << y;
  }
}

struct SmoothCase {
  const char* what;
  int width;
  int height;
  TProgressLook look;
  TRect filled;
};

const SmoothCase kSmoothCases[] = {
    {"empty", 193, 16, Look(0, poHorizontal, true), {}},
    {"51 of 189 pixels: 96.39", 193, 16, Look(51, poHorizontal, true), {2, 2, 98, 14}},
    {"full", 193, 16, Look(100, poHorizontal, true), {2, 2, 191, 14}},
    {"no border: the whole control",
     193,
     16,
     Look(100, poHorizontal, true, false),
     {0, 0, 193, 16}},
    {"94.5 rounds to 94", 189, 16, Look(50, poHorizontal, true, false), {0, 0, 94, 16}},
    {"border width 3, 91.5 rounds to 92",
     193,
     16,
     Look(50, poHorizontal, true, true, 3),
     {5, 5, 97, 11}},
    {"vertical, from the bottom", 16, 193, Look(51, poVertical, true), {2, 95, 14, 191}},
    {"vertical, full", 16, 193, Look(100, poVertical, true), {2, 2, 14, 191}},
    {"border width eats the bar", 16, 16, Look(100, poHorizontal, true, true, 6), {}},
    {"negative border width: the bar covers the frame",
     20,
     10,
     Look(100, poHorizontal, true, true, -2),
     {0, 0, 20, 10}},
    // The bar starts 2^31 - 2 pixels left of the control and is 2^32 + 16 wide: half of it ends
    // at x 10.
    {"huge negative border width",
     20,
     10,
     Look(50, poHorizontal, true, true, INT_MIN),
     {0, 0, 10, 10}},
    {"huge border width", 20, 10, Look(100, poHorizontal, true, true, INT_MAX), {}},
};

TEST(ClassicProgressPainterTest, SmoothBar) {
  for (const SmoothCase& c : kSmoothCases) {
    SCOPED_TRACE(c.what);
    ExpectBarExactly(Paint(c.width, c.height, c.look), c.filled);
  }
}

struct BlockCase {
  const char* what;
  int width;
  int height;
  TProgressLook look;
  Runs runs;  // along the middle row, or up the middle column of a vertical bar
  int from;   // first and last pixel across the bar
  int to;
};

const BlockCase kBlockCases[] = {
    {"vertical: blocks from the bottom", 16, 193, Look(100, poVertical),
     [] {
       Runs runs;
       for (int k = 0; k <= 18; ++k) runs.push_back({183 - 10 * k, 190 - 10 * k});
       return runs;
     }(),
     2, 13},
    {"vertical at 2 per cent", 16, 193, Look(2, poVertical), {{183, 190}}, 2, 13},
    {"the last block is cut to the bar", 187, 16, Look(100),
     [] {
       Runs runs;
       for (int k = 0; k < 18; ++k) runs.push_back({2 + 10 * k, 9 + 10 * k});
       runs.push_back({182, 184});
       return runs;
     }(),
     2, 13},
    // Border width 1: bar (3, 3)-(190, 13), 10 thick, so blocks of round(6.4) = 6 every 8.
    {"border width 1", 193, 16, Look(100, poHorizontal, false, true, 1),
     [] {
       Runs runs;
       for (int k = 0; k < 23; ++k) runs.push_back({3 + 8 * k, 8 + 8 * k});
       runs.push_back({187, 189});
       return runs;
     }(),
     3, 12},
    // No border: bar (0, 0)-(50, 20), blocks of round(12.8) = 13 every 15, 3 whole pitches,
    // round(0.5 x 3) = 2, so 3 blocks.
    {"no border",
     50,
     20,
     Look(50, poHorizontal, false, false),
     {{0, 12}, {15, 27}, {30, 42}},
     0,
     19},
};

TEST(ClassicProgressPainterTest, Blocks) {
  for (const BlockCase& c : kBlockCases) {
    SCOPED_TRACE(c.what);
    const TRgbCanvas canvas = Paint(c.width, c.height, c.look);
    const bool vertical = c.look.Orientation == poVertical;
    if (vertical) {
      EXPECT_EQ(BarRunsUpColumn(canvas, c.width / 2), c.runs);
    } else {
      EXPECT_EQ(BarRunsAlongRow(canvas, c.height / 2), c.runs);
    }
    // Across the bar, each block spans exactly from..to.
    for (const auto& [first, last] : c.runs) {
      for (int along = first; along <= last; ++along) {
        for (int across = 0; across < (vertical ? c.width : c.height); ++across) {
          const int x = vertical ? across : along;
          const int y = vertical ? along : across;
          ASSERT_EQ(IsBar(canvas, x, y), across >= c.from && across <= c.to)
              << "pixel (" << x << ", " << y << ")";
        }
      }
    }
  }
}

TEST(ClassicProgressPainterTest, TinyAndEmptyCanvasesPaintWithoutHarm) {
  for (int width = 0; width <= 5; ++width) {
    for (int height = 0; height <= 5; ++height) {
      for (const bool smooth : {false, true}) {
        for (const bool showBorder : {false, true}) {
          const TRgbCanvas canvas =
              Paint(width, height, Look(100, poHorizontal, smooth, showBorder));
          for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) ASSERT_NE(canvas.Pixel(x, y), kUnpainted);
          }
        }
      }
    }
  }
}

}  // namespace
