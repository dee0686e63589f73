// Rendering the update window's picture off-screen, with the same background and bar painting as
// the window.
#include "app/window_picture.h"

#include <algorithm>

#include "controls/theme_manager.h"
#include "controls/themed_progress_bar.h"
#include "resources/background_picture.h"
#include "resources/window_layout.h"

platform::RgbImage RenderWindowPicture(int position) {
  platform::RgbImage picture;
  if (!platform::DecodeJpeg(resources::kBackgroundJpeg, resources::kBackgroundJpegSize, picture)) {
    return {};
  }
  namespace bar = resources::pb_unzip;
  TThemeManager manager{TThemeStartupFacts{}};
  TRgbCanvas canvas(bar::kWidth, bar::kHeight);
  {
    TThemedProgressBar progress(manager);
    progress.SetSize(bar::kWidth, bar::kHeight);
    progress.SetSmooth(bar::kSmooth);
    progress.SetShowBorder(bar::kShowBorder);
    progress.SetBorderWidth(bar::kBorderWidth);
    progress.SetPosition(position);
    progress.Paint(canvas);
  }
  for (int y = 0; y < bar::kHeight; ++y) {
    const uint8_t* row = canvas.Data() + canvas.RowBytes() * static_cast<size_t>(y);
    uint8_t* target =
        picture.pixels.data() +
        (static_cast<size_t>(bar::kTop + y) * static_cast<size_t>(picture.width) + bar::kLeft) * 3;
    std::copy(row, row + canvas.RowBytes(), target);
  }
  return picture;
}
