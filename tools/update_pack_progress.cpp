// update-pack's progress line on the terminal.
#include "tools/update_pack_progress.h"

#include <algorithm>
#include <cstdio>

#include "platform/terminal.h"

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kLineWidth = 40;

}  // namespace

TPackProgress::TPackProgress() : shown_(platform::StderrIsTerminal()) {}

void TPackProgress::Begin(const std::string& step, uint64_t totalBytes) {
  step_ = step;
  total_ = totalBytes;
  done_ = 0;
  last_ = std::chrono::steady_clock::now();
  Draw();
}

void TPackProgress::Advance(uint64_t bytes) {
  done_ += bytes;
  if (!shown_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ < kRedrawInterval) return;
  last_ = now;
  Draw();
}

void TPackProgress::End() {
  if (!drawn_) return;
  std::fprintf(stderr, "\r%*s\r", kLineWidth, "");
  std::fflush(stderr);
  drawn_ = false;
}

void TPackProgress::Draw() {
  if (!shown_) return;
  const unsigned percent =
      total_ == 0 ? 100 : static_cast<unsigned>(std::min<uint64_t>(done_, total_) * 100 / total_);
  std::fprintf(stderr, "\rupdate-pack: %s %3u%%", step_.c_str(), percent);
  std::fflush(stderr);
  drawn_ = true;
}
