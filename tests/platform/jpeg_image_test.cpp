// Tests of the platform's JPEG decoder on the window's embedded background picture and on a tiny
// grey progressive picture: what it decodes, and that damaged, truncated and foreign data is
// refused without harm. The same cases run on both implementations.
#include "platform/jpeg_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "platform/files.h"
#include "resources/background_picture.h"
#include "resources/window_layout.h"

namespace {

using platform::DecodeJpeg;
using platform::RgbImage;

std::vector<uint8_t> Background() {
  return std::vector<uint8_t>(resources::kBackgroundJpeg,
                              resources::kBackgroundJpeg + resources::kBackgroundJpegSize);
}

// 16 x 8 grey, progressive, without a JFIF segment: the left 8 x 8 block is 64 throughout, the
// right one 192. Flat blocks carry only their DC value, so every decoder must give them exactly.
const uint8_t kGreyProgressive[] = {
    0xff, 0xd8, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x03, 0x02, 0x02, 0x03, 0x02, 0x02, 0x03, 0x03, 0x03,
    0x03, 0x04, 0x03, 0x03, 0x04, 0x05, 0x08, 0x05, 0x05, 0x04, 0x04, 0x05, 0x0a, 0x07, 0x07, 0x06,
    0x08, 0x0c, 0x0a, 0x0c, 0x0c, 0x0b, 0x0a, 0x0b, 0x0b, 0x0d, 0x0e, 0x12, 0x10, 0x0d, 0x0e, 0x11,
    0x0e, 0x0b, 0x0b, 0x10, 0x16, 0x10, 0x11, 0x13, 0x14, 0x15, 0x15, 0x15, 0x0c, 0x0f, 0x17, 0x18,
    0x16, 0x14, 0x18, 0x12, 0x14, 0x15, 0x14, 0xff, 0xc2, 0x00, 0x0b, 0x08, 0x00, 0x08, 0x00, 0x10,
    0x01, 0x01, 0x11, 0x00, 0xff, 0xc4, 0x00, 0x15, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x08, 0xff, 0xda, 0x00, 0x08, 0x01,
    0x01, 0x00, 0x00, 0x00, 0x01, 0x29, 0xaa, 0xff, 0x00, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0xff,
    0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x01, 0x05, 0x02, 0x3f, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10,
    0xff, 0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x06, 0x3f, 0x02, 0x3f, 0xff, 0xc4, 0x00, 0x14, 0x10,
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x10, 0xff, 0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x01, 0x3f, 0x21, 0x3f, 0xff, 0xda, 0x00, 0x08,
    0x01, 0x01, 0x00, 0x00, 0x00, 0x10, 0xff, 0x00, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0xff, 0xda,
    0x00, 0x08, 0x01, 0x01, 0x00, 0x01, 0x3f, 0x10, 0x3f, 0xff, 0xd9,
};
// Where the frame header (SOF2) of kGreyProgressive keeps its height and width, 16 bits each.
constexpr size_t kGreyHeightOffset = 76;
constexpr size_t kGreyWidthOffset = 78;

std::vector<uint8_t> GreyProgressive() {
  return std::vector<uint8_t>(std::begin(kGreyProgressive), std::end(kGreyProgressive));
}

// Pixels of `image` inside [x0, x1) x [y0, y1) for which `test` holds.
template <typename Test>
int CountPixels(const RgbImage& image, int x0, int y0, int x1, int y1, Test test) {
  int n = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      const uint8_t* p = image.Pixel(x, y);
      if (test(p[0], p[1], p[2])) ++n;
    }
  }
  return n;
}

bool NearWhite(int r, int g, int b) {
  return r >= 245 && g >= 245 && b >= 245;
}

bool Green(int r, int g, int b) {
  return g > r + 50 && g > b + 50;
}

bool Black(int r, int g, int b) {
  return r < 60 && g < 60 && b < 60;
}

// A light neutral grey, the gear's metal: clearly darker than the page, not coloured.
bool MetalGrey(int r, int g, int b) {
  const int lo = std::min({r, g, b});
  const int hi = std::max({r, g, b});
  return lo >= 120 && hi <= 240 && hi - lo <= 16;
}

class BackgroundPicture : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<uint8_t> bytes = Background();
    ASSERT_TRUE(DecodeJpeg(bytes.data(), bytes.size(), image_));
  }
  RgbImage image_;
};

// The picture fills the window's client area without scaling.
TEST_F(BackgroundPicture, HasTheWindowsClientSize) {
  EXPECT_EQ(image_.width, resources::form1::kClientWidth);
  EXPECT_EQ(image_.height, resources::form1::kClientHeight);
  EXPECT_EQ(image_.width, resources::image1::kWidth);
  EXPECT_EQ(image_.height, resources::image1::kHeight);
  EXPECT_EQ(image_.pixels.size(), size_t{340} * 114 * 3);
}

// The progress bar lies on blank page; around it, everything right of x 130 and above y 90 is
// blank too.
TEST_F(BackgroundPicture, BlankWhereTheProgressBarLies) {
  namespace bar = resources::pb_unzip;
  ASSERT_LE(bar::kLeft + bar::kWidth, image_.width);
  ASSERT_LE(bar::kTop + bar::kHeight, image_.height);
  EXPECT_EQ(CountPixels(image_, bar::kLeft, bar::kTop, bar::kLeft + bar::kWidth,
                        bar::kTop + bar::kHeight, NearWhite),
            bar::kWidth * bar::kHeight);
  EXPECT_EQ(CountPixels(image_, 130, 0, 340, 90, NearWhite), 210 * 90);
}

TEST_F(BackgroundPicture, GearArrowAndTextWhereTheyBelong) {
  // The arrow's band crosses y 41 at about x 41..54; its centre is white.
  const uint8_t* band = image_.Pixel(48, 41);
  EXPECT_TRUE(Green(band[0], band[1], band[2]))
      << int{band[0]} << "," << int{band[1]} << "," << int{band[2]};
  const uint8_t* centre = image_.Pixel(74, 41);
  EXPECT_TRUE(NearWhite(centre[0], centre[1], centre[2]));
  EXPECT_GT(CountPixels(image_, 33, 8, 121, 73, Green), 1500);
  EXPECT_EQ(CountPixels(image_, 130, 0, 340, 114, Green), 0);

  EXPECT_GT(CountPixels(image_, 0, 0, 130, 114, MetalGrey), 3000);

  // The bold text line at the bottom right.
  EXPECT_GT(CountPixels(image_, 120, 90, 331, 114, Black), 400);
}

TEST(DecodeJpeg, GreyProgressiveComesOutAsRgb) {
  const std::vector<uint8_t> bytes = GreyProgressive();
  RgbImage image;
  ASSERT_TRUE(DecodeJpeg(bytes.data(), bytes.size(), image));
  ASSERT_EQ(image.width, 16);
  ASSERT_EQ(image.height, 8);
  ASSERT_EQ(image.pixels.size(), size_t{16} * 8 * 3);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      const int want = x < 8 ? 64 : 192;
      const uint8_t* p = image.Pixel(x, y);
      ASSERT_EQ(p[0], want) << x << "," << y;
      ASSERT_EQ(p[1], want) << x << "," << y;
      ASSERT_EQ(p[2], want) << x << "," << y;
    }
  }
}

struct RefusedCase {
  const char* name;
  std::vector<uint8_t> bytes;
};

std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t keep) {
  bytes.resize(keep);
  return bytes;
}

std::vector<uint8_t> Patched(std::vector<uint8_t> bytes, size_t at,
                             std::initializer_list<uint8_t> with) {
  for (uint8_t b : with) bytes.at(at++) = b;
  return bytes;
}

std::vector<uint8_t> Garbage(size_t n) {
  std::vector<uint8_t> v(n);
  uint32_t x = 12345;
  for (uint8_t& b : v) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 24);
  }
  return v;
}

std::vector<RefusedCase> RefusedCases() {
  const std::vector<uint8_t> bg = Background();
  const std::vector<uint8_t> grey = GreyProgressive();
  std::vector<uint8_t> soiThenGarbage = Garbage(4000);
  soiThenGarbage[0] = 0xff;
  soiThenGarbage[1] = 0xd8;
  return {
      {"empty", {}},
      {"start marker only", {0xff, 0xd8}},
      {"cut in the headers", Cut(bg, 100)},
      {"cut at a quarter", Cut(bg, bg.size() / 4)},
      {"cut in half", Cut(bg, bg.size() / 2)},
      {"cut before the end marker", Cut(bg, bg.size() - 2)},
      {"cut inside the end marker", Cut(bg, bg.size() - 1)},
      {"progressive cut after its first scan", Cut(grey, 130)},
      {"progressive without its end marker", Cut(grey, grey.size() - 2)},
      {"garbage", Garbage(4000)},
      {"zeros", std::vector<uint8_t>(4000, 0)},
      {"text", {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'}},
      {"start marker then garbage", soiThenGarbage},
      // A header segment whose length runs past the end of the file.
      {"segment longer than the file", Patched(grey, 4, {0xff, 0xf0})},
      // Dimensions that would need gigabytes: refused before anything is spent on them.
      {"65535 x 65535 pixels",
       Patched(Patched(grey, kGreyHeightOffset, {0xff, 0xff}), kGreyWidthOffset, {0xff, 0xff})},
      {"zero height", Patched(grey, kGreyHeightOffset, {0x00, 0x00})},
      {"zero width", Patched(grey, kGreyWidthOffset, {0x00, 0x00})},
  };
}

TEST(DecodeJpeg, RefusesDamagedTruncatedAndForeignData) {
  for (const RefusedCase& c : RefusedCases()) {
    SCOPED_TRACE(c.name);
    RgbImage image;
    image.width = 1;  // a stale result must not survive a failure
    image.height = 1;
    image.pixels.assign(3, 7);
    EXPECT_FALSE(DecodeJpeg(c.bytes.empty() ? nullptr : c.bytes.data(), c.bytes.size(), image));
    EXPECT_TRUE(image.Empty());
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(image.height, 0);
    EXPECT_EQ(platform::LastError().operation, "decode jpeg");
    EXPECT_EQ(platform::LastError().path, "");
  }
}

// Damage inside the compressed data: a decoder may or may not notice it, but whatever it returns
// is whole and nothing is read or written out of bounds.
TEST(DecodeJpeg, DamagedPictureDataNeverHarms) {
  const std::vector<uint8_t> bg = Background();
  for (size_t at = 600; at < bg.size() - 2; at += 97) {
    std::vector<uint8_t> bytes = bg;
    bytes[at] ^= 0x5a;
    RgbImage image;
    if (DecodeJpeg(bytes.data(), bytes.size(), image)) {
      EXPECT_EQ(image.width, 340) << at;
      EXPECT_EQ(image.height, 114) << at;
      EXPECT_EQ(image.pixels.size(), size_t{340} * 114 * 3) << at;
    } else {
      EXPECT_TRUE(image.Empty()) << at;
    }
  }
}

// Every length of the small picture short of the whole: none decodes, none harms the process.
TEST(DecodeJpeg, RefusesEveryTruncationOfASmallPicture) {
  const std::vector<uint8_t> grey = GreyProgressive();
  for (size_t keep = 0; keep < grey.size(); ++keep) {
    RgbImage image;
    EXPECT_FALSE(DecodeJpeg(grey.data(), keep, image)) << keep;
    EXPECT_TRUE(image.Empty()) << keep;
  }
}

}  // namespace
