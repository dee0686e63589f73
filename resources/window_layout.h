// The update window's description: its frame, its picture and the design-time values of the
// components laid on it, as plain constants that the application maps onto its own types.
#pragma once

#include <string_view>

namespace resources {

// The application's title: the taskbar entry and the caption of its error message boxes.
inline constexpr std::string_view kApplicationTitle = "软件升级器";

// The window itself. Sizes and positions here and below are pixels at kPixelsPerInch.
namespace form1 {
inline constexpr std::string_view kClassName = "TForm1";
inline constexpr std::string_view kCaption = "文件正在升级中...";
inline constexpr int kPixelsPerInch = 96;
// The client area is exactly the background picture's size.
inline constexpr int kClientWidth = 340;
inline constexpr int kClientHeight = 114;
// A single fixed frame with a title bar, not resizable, with no system menu and no minimise,
// maximise or close button: the user has nothing to click.
inline constexpr bool kFixedSingleBorder = true;
inline constexpr bool kBorderIcons = false;
// Centred on the screen when shown; the design-time position is not used.
inline constexpr bool kCentredOnScreen = true;
}  // namespace form1

// The background picture control, bottom of the stacking order: fills the whole client area and
// draws the picture at its natural size from the top-left corner.
namespace image1 {
inline constexpr int kLeft = 0;
inline constexpr int kTop = 0;
inline constexpr int kWidth = 340;
inline constexpr int kHeight = 114;
inline constexpr bool kAlignClient = true;
inline constexpr bool kStretch = false;
inline constexpr bool kCenter = false;
}  // namespace image1

// The themed progress bar over the picture's blank right-hand part (its rectangle, from (134, 64)
// to (327, 80), is plain white in the picture).
namespace pb_unzip {
inline constexpr int kLeft = 134;
inline constexpr int kTop = 64;
inline constexpr int kWidth = 193;
inline constexpr int kHeight = 16;
inline constexpr int kBorderWidth = 0;
inline constexpr int kPosition = 0;
// Orientation poHorizontal: the bar fills from left to right.
inline constexpr bool kOrientationHorizontal = true;
inline constexpr std::string_view kThemeObject = "default";
inline constexpr bool kShowBorder = true;
// Not smooth: the classic look draws separate blocks.
inline constexpr bool kSmooth = false;
// Min and Max are not set in the description: these are the bar's own defaults.
inline constexpr int kMin = 0;
inline constexpr int kMax = 100;
}  // namespace pb_unzip

// The archive component's settings; every other property keeps the component's default.
namespace unzip {
inline constexpr bool kRecreateDirs = true;
// OverwriteMode Always: existing files are overwritten without asking.
inline constexpr bool kOverwriteAlways = true;
// DoAll: every entry of the archive is extracted, no wildcard selection.
inline constexpr bool kDoAll = true;
inline constexpr bool kReplaceReadOnly = true;
inline constexpr bool kFlushFilesOnClose = true;
}  // namespace unzip

// The timer that starts the update; neither value is set in the description, so these are the
// timer's defaults.
namespace timer1 {
inline constexpr bool kEnabled = true;
inline constexpr int kIntervalMs = 1000;
}  // namespace timer1

}  // namespace resources
