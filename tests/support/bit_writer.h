// Builds bit streams for the decoders' tests and the benchmark's encoders: values appended least
// significant bit first, the way the older ZIP methods pack their codes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

namespace test {

class BitWriter {
 public:
  // Appends the `n` (at most 32) low bits of `value`, lowest first.
  void Bits(uint32_t value, int n) {
    for (int done = 0; done < n;) {
      const int used = static_cast<int>(bitCount_ % 8);
      if (used == 0) bytes_ += '\0';
      const int take = std::min(8 - used, n - done);
      const uint32_t part = (value >> done) & ((1u << take) - 1);
      bytes_.back() = static_cast<char>(static_cast<uint8_t>(bytes_.back()) | part << used);
      done += take;
      bitCount_ += static_cast<uint64_t>(take);
    }
  }
  // The stream so far; its last byte is padded with zero bits.
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  uint64_t bitCount_ = 0;
};

}  // namespace test
