// Visual styles on Linux: there are none, no native progress bar and no reports of changed
// styles, colours or displays; the themed controls paint the classic way.
#include "platform/visual_styles.h"

namespace platform::ui {

StyleFacts DetectStyleFacts() {
  return {};
}

bool VisualStylesInUse() {
  return false;
}

bool ReadSystemColors(SystemColorValues*) {
  return false;
}

struct ProgressStylePainter::Impl {};

ProgressStylePainter::ProgressStylePainter(const Window*) {}

ProgressStylePainter::~ProgressStylePainter() = default;

bool ProgressStylePainter::DrawPart(uint8_t*, int, int, int, const PixelRect&) {
  return false;
}

void ProgressStylePainter::Reset() {}

struct NativeProgressBar::Impl {};

std::unique_ptr<NativeProgressBar> NativeProgressBar::Create(Window&, int, int, int, int) {
  return nullptr;
}

NativeProgressBar::NativeProgressBar(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
NativeProgressBar::~NativeProgressBar() = default;

// Never called: no bar is ever made here.
void NativeProgressBar::SetRange(int, int) {}
void NativeProgressBar::SetPosition(int) {}
void NativeProgressBar::SetStep(int) {}
void NativeProgressBar::SetVertical(bool) {}
void NativeProgressBar::SetSmooth(bool) {}
void NativeProgressBar::SetBorderWidth(int) {}
void NativeProgressBar::SetVisible(bool) {}
int NativeProgressBar::Min() const {
  return 0;
}
int NativeProgressBar::Max() const {
  return 0;
}
int NativeProgressBar::Position() const {
  return 0;
}
int NativeProgressBar::Step() const {
  return 0;
}
bool NativeProgressBar::Vertical() const {
  return false;
}
bool NativeProgressBar::Smooth() const {
  return false;
}
bool NativeProgressBar::Visible() const {
  return false;
}
PixelRect NativeProgressBar::Bounds() const {
  return {};
}

void SetSystemChangeEvents(Window&, SystemChangeEvents) {}

void DeliverSystemChange(Window&, SystemChange) {}

}  // namespace platform::ui
