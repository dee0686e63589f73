// The extraction run as the older-method fuzz targets see it: compressed bytes from the fuzz
// input, decoded bytes through a 32768-byte output buffer that refuses to grow past a limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "unzip/decoders/decoder_io.h"

class TFuzzDecoderIO : public TDecoderIO {
 public:
  // Raised when the output would pass the limit, as the run refuses more output than an entry's
  // uncompressed size.
  struct EOutputLimit : std::runtime_error {
    EOutputLimit() : std::runtime_error("output limit") {}
  };

  TFuzzDecoderIO(const uint8_t* data, size_t size, uint64_t outputLimit)
      : FData(data), FSize(size), FOutputLimit(outputLimit) {}

  // The whole input in one span, then nothing.
  size_t ReadInput(const uint8_t*& data) override {
    if (FPos >= FSize) return 0;
    data = FData + FPos;
    const size_t n = FSize - FPos;
    FPos = FSize;
    return n;
  }

  void PutOutput(const uint8_t* data, size_t n) override {
    while (n > 0) {
      const size_t take = n < sizeof FBuffer - FCount ? n : sizeof FBuffer - FCount;
      std::memcpy(FBuffer + FCount, data, take);
      FCount += take;
      data += take;
      n -= take;
      if (FCount == sizeof FBuffer) FlushOutput();
    }
  }

  void FlushOutput() override {
    if (FCount == 0) return;
    if (FWritten + FCount > FOutputLimit) throw EOutputLimit();
    FWritten += FCount;
    FCount = 0;
  }

  int HandleMessage(int, const std::string&, const std::string&, uint32_t) override { return 0; }

  uint64_t Written() const { return FWritten; }

 private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
  uint64_t FOutputLimit;
  uint8_t FBuffer[32768];
  size_t FCount = 0;
  uint64_t FWritten = 0;
};

// The four bytes at `data`, least significant first.
inline uint32_t FuzzLe32(const uint8_t* data) {
  return uint32_t{data[0]} | uint32_t{data[1]} << 8 | uint32_t{data[2]} << 16 |
         uint32_t{data[3]} << 24;
}
