// The sliding window of the reduced and imploded decoders: decoded bytes and copies of earlier
// bytes go into it, and every time it fills up it goes to the run's output buffer in one piece.
#pragma once

#include <cstddef>
#include <cstdint>

#include "unzip/decoders/decoder_io.h"

// Over a window (not owned) that is all zeros at the start of an entry: those zeros are what a
// copy from before the start of the data yields, until the window has been filled once.
class TOutputWindow {
 public:
  TOutputWindow(TDecoderIO& io, uint8_t* window, size_t size)
      : FIO(io), FWindow(window), FSize(size) {}
  TOutputWindow(const TOutputWindow&) = delete;
  TOutputWindow& operator=(const TOutputWindow&) = delete;

  void Put(uint8_t b) {
    FWindow[FPos++] = b;
    if (FPos == FSize) Wrap();
  }

  // Appends `length` bytes copied from `distance` (1 to the window size) bytes back; a copy
  // that overlaps its own output repeats it, as a byte-by-byte copy does.
  void Copy(size_t distance, size_t length);

  // Hands the filled part of the window to the output buffer and flushes that.
  void Finish();

 private:
  void Wrap();

  TDecoderIO& FIO;
  uint8_t* FWindow;
  size_t FSize;
  size_t FPos = 0;
};
