// The update window's whole picture rendered off-screen, without a display: the background with
// the progress bar at a given position laid over it, as the window shows it.
#pragma once

#include "platform/jpeg_image.h"

// The client area (340 x 114) with pb_unzip at `position`; empty when the background cannot be
// decoded.
platform::RgbImage RenderWindowPicture(int position);
