// Where the visual-style way puts the "Progress" parts: the frame part over the control when the
// border shows, the chunk part over the filled share, for either orientation.
#include "controls/visual_style_progress.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "controls/progress_geometry.h"

namespace {

using Drawn = std::vector<std::pair<TProgressPart, TRect>>;

class RecordingStyle : public TProgressVisualStyle {
 public:
  void DrawPart(TRgbCanvas&, TProgressPart part, const TRect& rect) override {
    drawn.push_back({part, rect});
  }
  Drawn drawn;
};

struct PartsCase {
  const char* what;
  int width;
  int height;
  int position;
  TProgressOrientation orientation;
  bool showBorder;
  int borderWidth;
  Drawn drawn;
};

const PartsCase kPartsCases[] = {
    {"empty: only the frame", 193, 16, 0, poHorizontal, true, 0, {{ppBar, {0, 0, 193, 16}}}},
    {"half: 94.5 pixels round to 94",
     193,
     16,
     50,
     poHorizontal,
     true,
     0,
     {{ppBar, {0, 0, 193, 16}}, {ppChunk, {2, 2, 96, 14}}}},
    {"full",
     193,
     16,
     100,
     poHorizontal,
     true,
     0,
     {{ppBar, {0, 0, 193, 16}}, {ppChunk, {2, 2, 191, 14}}}},
    {"vertical",
     16,
     193,
     51,
     poVertical,
     true,
     0,
     {{ppBarVert, {0, 0, 16, 193}}, {ppChunkVert, {2, 95, 14, 191}}}},
    {"no border: no frame, no background, the chunk from the control's edge",
     193,
     16,
     100,
     poHorizontal,
     false,
     0,
     {{ppChunk, {0, 0, 193, 16}}}},
    {"no border and empty: nothing at all", 193, 16, 0, poHorizontal, false, 0, {}},
    {"border width 3",
     193,
     16,
     50,
     poHorizontal,
     true,
     3,
     {{ppBar, {0, 0, 193, 16}}, {ppChunk, {5, 5, 97, 11}}}},
};

TEST(VisualStyleProgressTest, PartsAndTheirRectangles) {
  for (const PartsCase& c : kPartsCases) {
    SCOPED_TRACE(c.what);
    TRgbCanvas canvas(c.width, c.height);
    RecordingStyle style;
    const TProgressLook look = {.Fraction = FilledFraction(0, 100, c.position),
                                .Orientation = c.orientation,
                                .Smooth = false,
                                .ShowBorder = c.showBorder,
                                .BorderWidth = c.borderWidth};
    PaintVisualStyleProgress(canvas, look, style);
    ASSERT_EQ(style.drawn.size(), c.drawn.size());
    for (size_t i = 0; i < c.drawn.size(); ++i) {
      EXPECT_EQ(style.drawn[i].first, c.drawn[i].first) << "part " << i;
      EXPECT_EQ(style.drawn[i].second, c.drawn[i].second) << "part " << i;
    }
  }
}

}  // namespace
