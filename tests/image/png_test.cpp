// PNG pictures of every kind, written by libpng on the spot, decoded by DecodePicture.
#include <png.h>

#include <gtest/gtest.h>

#include "stage/image/sprite_image.h"
#include "tests/image/fixtures.h"

namespace wintrel::image {
namespace {

using testing::Bytes;
using testing::FakeServices;
using testing::Pixel;
using testing::PngLayout;
using testing::WritePng;

SpriteImage Decode(const Bytes& bytes, uint32_t key = 0x00F0F0F0, bool autoKey = false) {
  FakeServices services;
  SpriteImage image = DecodePicture(services, bytes, key, autoKey);
  EXPECT_EQ(services.liveBitmaps, 0);
  return image;
}

// 3 x 2 RGBA: opaque red, half-transparent green, clear blue / grey levels.
PngLayout Rgba(bool interlaced = false) {
  PngLayout s;
  s.width = 3;
  s.height = 2;
  s.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
  s.interlaced = interlaced;
  s.samples = {255, 0, 0, 255,   0, 255, 0, 128,   0, 0, 255, 0,
               10, 20, 30, 1,    200, 100, 50, 254, 240, 240, 240, 255};
  return s;
}

TEST(PngDecode, RgbaBecomesBgrWithTransparency) {
  const SpriteImage image = Decode(WritePng(Rgba()));
  ASSERT_TRUE(image.Usable());
  EXPECT_EQ(image.width, 3);
  EXPECT_EQ(image.height, 2);
  ASSERT_EQ(image.FrameCount(), 1);
  EXPECT_EQ(image.frames[0].delay, 0);
  EXPECT_EQ(image.frames[0].colorKey, 0x00F0F0F0u);
  EXPECT_EQ(image.frames[0].pixels,
            (std::vector<uint32_t>{Pixel(255, 0, 0, 0), Pixel(0, 255, 0, 127), Pixel(0, 0, 255, 255),
                                   Pixel(10, 20, 30, 254), Pixel(200, 100, 50, 1), Pixel(240, 240, 240, 0)}));
  // Read as bytes: B, G, R, T.
  EXPECT_EQ(image.frames[0].pixels[4], 0x01C86432u);
}

TEST(PngDecode, ColourKeyIsGivenOrTakenFromTheTopLeftPixel) {
  const Bytes png = WritePng(Rgba());
  EXPECT_EQ(Decode(png, kNoColorKey).frames[0].colorKey, kNoColorKey);
  EXPECT_EQ(Decode(png, 0x00F0F0F0, true).frames[0].colorKey, 0x000000FFu);  // red, BGR order
  PngLayout clearCorner = Rgba();
  clearCorner.samples[0] = 0x12;  // top-left: (0x12, 0, 0), alpha 255
  clearCorner.samples[2] = 0x34;
  clearCorner.samples[3] = 0;     // fully transparent: the colour still counts
  EXPECT_EQ(Decode(WritePng(clearCorner), 0, true).frames[0].colorKey, 0x00340012u);
}

TEST(PngDecode, RgbIsOpaque) {
  PngLayout s;
  s.width = 2;
  s.height = 1;
  s.colorType = PNG_COLOR_TYPE_RGB;
  s.samples = {1, 2, 3, 250, 251, 252};
  EXPECT_EQ(Decode(WritePng(s)).frames[0].pixels,
            (std::vector<uint32_t>{Pixel(1, 2, 3), Pixel(250, 251, 252)}));
}

TEST(PngDecode, GreyDepthsUseAnEvenRamp) {
  struct Case { int depth; std::vector<uint32_t> samples; std::vector<uint8_t> levels; };
  const Case cases[] = {
      {1, {0, 1, 1, 0}, {0, 255, 255, 0}},
      {2, {0, 1, 2, 3}, {0, 85, 170, 255}},
      {4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
       {0, 17, 34, 51, 68, 85, 102, 119, 136, 153, 170, 187, 204, 221, 238, 255}},
      {8, {0, 7, 128, 255}, {0, 7, 128, 255}},
      {16, {0x0000, 0x12FF, 0x8000, 0xFFFF}, {0x00, 0x12, 0x80, 0xFF}},  // reduced to 8 bits
  };
  for (const Case& c : cases) {
    PngLayout s;
    s.width = static_cast<uint32_t>(c.samples.size());
    s.height = 1;
    s.colorType = PNG_COLOR_TYPE_GRAY;
    s.bitDepth = c.depth;
    s.samples = c.samples;
    const SpriteImage image = Decode(WritePng(s));
    ASSERT_TRUE(image.Usable()) << c.depth;
    std::vector<uint32_t> expected;
    for (uint8_t v : c.levels) expected.push_back(Pixel(v, v, v));
    EXPECT_EQ(image.frames[0].pixels, expected) << "depth " << c.depth;
  }
}

TEST(PngDecode, PaletteWithTransparencyChunkDecodesOpaque) {
  for (int depth : {1, 2, 4, 8}) {
    PngLayout s;
    s.width = 4;
    s.height = 2;
    s.colorType = PNG_COLOR_TYPE_PALETTE;
    s.bitDepth = depth;
    s.palette = {{10, 20, 30}, {200, 0, 100}};
    s.trns = {0, 128};
    s.samples = {0, 1, 1, 0, 1, 0, 0, 1};
    const SpriteImage image = Decode(WritePng(s));
    ASSERT_TRUE(image.Usable()) << depth;
    const uint32_t a = Pixel(10, 20, 30), b = Pixel(200, 0, 100);
    EXPECT_EQ(image.frames[0].pixels, (std::vector<uint32_t>{a, b, b, a, b, a, a, b})) << depth;
  }
}

TEST(PngDecode, InterlacedEqualsNonInterlaced) {
  // Odd sizes, so that some passes are empty for some rows and columns.
  PngLayout rgba;
  rgba.width = 13;
  rgba.height = 11;
  rgba.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
  for (uint32_t i = 0; i < rgba.width * rgba.height; ++i) {
    rgba.samples.insert(rgba.samples.end(), {i % 256, (i * 7) % 256, (i * 13) % 256, (i * 29) % 256});
  }
  PngLayout palette;
  palette.width = 9;
  palette.height = 10;
  palette.colorType = PNG_COLOR_TYPE_PALETTE;
  palette.bitDepth = 2;
  palette.palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  for (uint32_t i = 0; i < 90; ++i) palette.samples.push_back((i * 5 + i / 9) % 4);
  for (PngLayout s : {rgba, palette, Rgba()}) {
    const SpriteImage plain = Decode(WritePng(s));
    s.interlaced = true;
    const Bytes interlacedBytes = WritePng(s);
    ASSERT_EQ(interlacedBytes[28], 1);  // the header's interlace method
    const SpriteImage interlaced = Decode(interlacedBytes);
    ASSERT_TRUE(plain.Usable());
    EXPECT_EQ(interlaced, plain) << s.width << "x" << s.height;
  }
}

TEST(PngDecode, SixteenBitColourIsReducedAndGreyAlphaKeepsItsAlpha) {
  PngLayout s;
  s.width = 2;
  s.height = 1;
  s.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
  s.bitDepth = 16;
  s.samples = {0xFF00, 0x1234, 0x0001, 0xFFFF, 0x8080, 0x0000, 0xABCD, 0x0100};
  EXPECT_EQ(Decode(WritePng(s)).frames[0].pixels,
            (std::vector<uint32_t>{Pixel(0xFF, 0x12, 0x00, 0), Pixel(0x80, 0x00, 0xAB, 0xFE)}));

  PngLayout ga;
  ga.width = 2;
  ga.height = 1;
  ga.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
  ga.samples = {50, 255, 200, 55};
  EXPECT_EQ(Decode(WritePng(ga)).frames[0].pixels,
            (std::vector<uint32_t>{Pixel(50, 50, 50, 0), Pixel(200, 200, 200, 200)}));
}

TEST(PngDecode, BackgroundChunkComposesTransparencyAway) {
  PngLayout s = Rgba();
  s.background = std::array<uint16_t, 3>{0, 0, 0};
  const SpriteImage image = Decode(WritePng(s));
  ASSERT_TRUE(image.Usable());
  const auto& p = image.frames[0].pixels;
  EXPECT_EQ(p[0], Pixel(255, 0, 0));  // opaque stays
  EXPECT_EQ(p[2], Pixel(0, 0, 0));    // clear takes the background
  EXPECT_EQ(p[1] >> 24, 0u);          // partly transparent is composed, opaque
  EXPECT_GT((p[1] >> 8) & 0xFF, 100u);
  EXPECT_LT((p[1] >> 8) & 0xFF, 160u);
}

TEST(PngDecode, BrokenOrOversizedPicturesAreEmpty) {
  const Bytes good = WritePng(Rgba());
  ASSERT_TRUE(Decode(good).Usable());

  std::vector<std::pair<const char*, Bytes>> cases;
  cases.push_back({"signature only", Bytes(good.begin(), good.begin() + 8)});
  cases.push_back({"cut in the header", Bytes(good.begin(), good.begin() + 20)});
  cases.push_back({"cut before the end", Bytes(good.begin(), good.end() - 20)});
  Bytes badCrc = good;
  badCrc[29] ^= 0xFF;  // inside IHDR: a critical chunk with a wrong checksum
  cases.push_back({"header checksum", badCrc});
  cases.push_back({"16385 wide", testing::PngWithHeaderOnly(16385, 1)});
  cases.push_back({"16385 high", testing::PngWithHeaderOnly(1, 16385)});
  cases.push_back({"2^26 + 1 pixels", testing::PngWithHeaderOnly(8193, 8192)});
  cases.push_back({"far more pixels than the data holds", testing::PngWithHeaderOnly(16000, 4000)});
  cases.push_back({"zero wide", testing::PngWithHeaderOnly(0, 5)});
  for (const auto& [name, bytes] : cases) {
    const SpriteImage image = Decode(bytes);
    EXPECT_FALSE(image.Usable()) << name;
    EXPECT_TRUE(image.frames.empty()) << name;
  }
  // The same kind of file with all its data decodes.
  const SpriteImage line = Decode(testing::PngWithHeaderOnly(16, 1));
  EXPECT_EQ(line.width, 16);
}

}  // namespace
}  // namespace wintrel::image
