// Builds bit streams for decoder tests: values appended least significant bit first, the way the
// older ZIP methods pack their codes.
#pragma once

#include <cstdint>
#include <string>

namespace test {

class BitWriter {
 public:
  // Appends the `n` (at most 32) low bits of `value`, lowest first.
  void Bits(uint32_t value, int n) {
    for (int i = 0; i < n; ++i) {
      if (bitCount_ % 8 == 0) bytes_ += '\0';
      if ((value >> i) & 1)
        bytes_.back() = static_cast<char>(bytes_.back() | (1 << (bitCount_ % 8)));
      ++bitCount_;
    }
  }
  // Appends the `n` low bits of `value`, highest first.
  void BitsHighFirst(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) Bits((value >> i) & 1, 1);
  }
  // The stream so far; its last byte is padded with zero bits.
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  uint64_t bitCount_ = 0;
};

}  // namespace test
