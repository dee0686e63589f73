// The sliding window of the reduced and imploded decoders.
#include "unzip/decoders/output_window.h"

#include <algorithm>
#include <cassert>
#include <cstring>

void TOutputWindow::Copy(size_t distance, size_t length) {
  assert(distance >= 1 && distance <= FSize);
  size_t from = (FPos + FSize - distance) % FSize;
  while (length > 0) {
    const size_t run = std::min({length, FSize - FPos, FSize - from});
    if (from < FPos && FPos - from < run) {
      // The copy reads its own output: byte by byte, so that it repeats the last
      // `distance` bytes.
      for (size_t i = 0; i < run; ++i) FWindow[FPos + i] = FWindow[from + i];
    } else {
      // A source ahead of the destination (wrapped around) is only ever read before it is
      // overwritten, so one move gives what the byte-by-byte copy gives.
      std::memmove(FWindow + FPos, FWindow + from, run);
    }
    FPos += run;
    from += run;
    length -= run;
    if (from == FSize) from = 0;
    if (FPos == FSize) Wrap();
  }
}

void TOutputWindow::Finish() {
  FIO.PutOutput(FWindow, FPos);
  FPos = 0;
  FIO.FlushOutput();
}

void TOutputWindow::Wrap() {
  FIO.PutOutput(FWindow, FSize);
  FPos = 0;
}
