// Tests of the entry checksum: published check values, the byte table, and the library's routine
// against the byte step over every length, alignment and split.
#include "unzip/base/crc32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

uint32_t Crc(const std::string& s) {
  return ~Crc32Update(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

uint32_t ByteByByte(const uint8_t* data, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) crc = Crc32Step(crc, data[i]);
  return ~crc;
}

std::vector<uint8_t> Noise(size_t n) {
  std::vector<uint8_t> v(n);
  uint32_t x = 0x9E3779B9u;
  for (uint8_t& b : v) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x);
  }
  return v;
}

TEST(Crc32, PublishedCheckValues) {
  const struct {
    std::string text;
    uint32_t crc;
  } cases[] = {
      {"", 0x00000000u},
      {"a", 0xE8B7BE43u},
      {"abc", 0x352441C2u},
      {"123456789", 0xCBF43926u},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
      {std::string(32, '\0'), 0x190A55ADu},
      {std::string(32, '\xFF'), 0xFF6CAB0Bu},
  };
  for (const auto& c : cases) EXPECT_EQ(Crc(c.text), c.crc) << '"' << c.text << '"';
}

TEST(Crc32, ByteTableIsTheReflectedPolynomialTable) {
  EXPECT_EQ(kCrc32Table[0], 0x00000000u);
  EXPECT_EQ(kCrc32Table[1], 0x77073096u);
  EXPECT_EQ(kCrc32Table[128], 0xEDB88320u);
  EXPECT_EQ(kCrc32Table[255], 0x2D02EF8Du);
}

TEST(Crc32, SlicedLoopMatchesByteStepAtEveryLengthAndAlignment) {
  const std::vector<uint8_t> data = Noise(300);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t n = 0; offset + n <= data.size(); ++n) {
      ASSERT_EQ(~Crc32Update(0xFFFFFFFFu, data.data() + offset, n),
                ByteByByte(data.data() + offset, n))
          << "offset " << offset << " length " << n;
    }
  }
}

TEST(Crc32, RegisterCarriesAcrossPieces) {
  const std::vector<uint8_t> data = Noise(1 << 20);
  const uint32_t whole = ~Crc32Update(0xFFFFFFFFu, data.data(), data.size());
  EXPECT_EQ(whole, ByteByByte(data.data(), data.size()));
  for (const size_t piece : {size_t{1}, size_t{7}, size_t{15}, size_t{17}, size_t{32768}}) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t at = 0; at < data.size(); at += piece) {
      crc = Crc32Update(crc, data.data() + at, std::min(piece, data.size() - at));
    }
    EXPECT_EQ(~crc, whole) << "pieces of " << piece;
  }
}

}  // namespace
