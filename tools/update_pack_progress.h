// update-pack's progress line: the step under way and its share done, redrawn on the terminal a
// few times a second; nothing at all when standard error is not a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class TPackProgress {
 public:
  TPackProgress();
  TPackProgress(const TPackProgress&) = delete;
  TPackProgress& operator=(const TPackProgress&) = delete;

  // A new step ("comparing", "packing") over `totalBytes`.
  void Begin(const std::string& step, uint64_t totalBytes);
  void Advance(uint64_t bytes);
  // Clears the line, so that what follows starts on a clean one.
  void End();

 private:
  void Draw();

  bool shown_;
  bool drawn_ = false;
  std::string step_;
  uint64_t total_ = 0;
  uint64_t done_ = 0;
  std::chrono::steady_clock::time_point last_;
};
