// The pictures the program carries: their formats as the rest of the program relies on
// them, and a golden check of the prepared snowflake sprites.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "assets/assets.h"
#include "stage/image/sprite_image.h"
#include "tests/image/fixtures.h"

namespace wintrel::image {
namespace {

using testing::FakeServices;

struct FlakeSize {
  int32_t width, height;
};
constexpr FlakeSize kSizes[8] = {{326, 286}, {288, 328}, {288, 328}, {288, 330},
                                 {288, 328}, {326, 280}, {329, 306}, {333, 288}};

std::vector<std::string> ChunkTypes(std::span<const uint8_t> png) {
  std::vector<std::string> types;
  for (size_t pos = 8; pos + 12 <= png.size();) {
    const uint32_t length = (uint32_t{png[pos]} << 24) | (uint32_t{png[pos + 1]} << 16) |
                            (uint32_t{png[pos + 2]} << 8) | png[pos + 3];
    types.emplace_back(reinterpret_cast<const char*>(png.data() + pos + 4), 4);
    pos += 12 + static_cast<size_t>(length);
  }
  return types;
}

uint32_t Le(std::span<const uint8_t> b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + i];
  return v;
}

TEST(Assets, SnowflakesAreEightBitRgbaWithTheirChunks) {
  EXPECT_TRUE(assets::Flake(0).empty());
  EXPECT_TRUE(assets::Flake(9).empty());
  for (int k = 1; k <= 8; ++k) {
    const std::span<const uint8_t> png = assets::Flake(k);
    ASSERT_GT(png.size(), 33u) << k;
    const uint8_t* ihdr = png.data() + 16;
    EXPECT_EQ((uint32_t{ihdr[0]} << 24 | uint32_t{ihdr[1]} << 16 | uint32_t{ihdr[2]} << 8 | ihdr[3]),
              static_cast<uint32_t>(kSizes[k - 1].width)) << k;
    EXPECT_EQ(ihdr[8], 8) << k;   // bits per sample
    EXPECT_EQ(ihdr[9], 6) << k;   // RGBA
    EXPECT_EQ(ihdr[12], 0) << k;  // not interlaced
    const std::vector<std::string> types = ChunkTypes(png);
    for (const char* wanted : {"pHYs", "iCCP", "iTXt", "cHRM"}) {
      EXPECT_NE(std::find(types.begin(), types.end(), wanted), types.end()) << k << " " << wanted;
    }
    for (const char* unwanted : {"bKGD", "gAMA", "tRNS"}) {
      EXPECT_EQ(std::find(types.begin(), types.end(), unwanted), types.end()) << k << " " << unwanted;
    }
    EXPECT_EQ(types.back(), "IEND");
  }
}

TEST(Assets, SnowflakesDecodeOnAClearGroundWithSoftEdges) {
  FakeServices services;
  for (int k = 1; k <= 8; ++k) {
    const SpriteImage image = DecodePicture(services, assets::Flake(k), 0x00F0F0F0, false);
    ASSERT_TRUE(image.Usable()) << k;
    EXPECT_EQ(image.width, kSizes[k - 1].width);
    EXPECT_EQ(image.height, kSizes[k - 1].height);
    ASSERT_EQ(image.FrameCount(), 1);
    EXPECT_EQ(image.frames[0].colorKey, 0x00F0F0F0u);
    int clear = 0, partial = 0, solid = 0;
    for (uint32_t p : image.frames[0].pixels) {
      const uint32_t t = p >> 24;
      clear += t == 255;
      partial += t != 255 && t > 10;
      solid += t <= 10;
    }
    const int all = image.width * image.height;
    EXPECT_EQ(image.frames[0].pixels[0] >> 24, 255u) << k;  // the corners are clear
    EXPECT_GT(clear, all / 3) << k;
    EXPECT_GT(partial, all / 50) << k;  // smoothed edges and see-through ice
    EXPECT_GT(solid, all / 100) << k;   // bright rims
  }
}

TEST(Assets, IconIsOneThirtyTwoPixelImageWithAlphaAndMask) {
  const std::span<const uint8_t> ico = assets::Icon();
  ASSERT_EQ(ico.size(), 4286u);
  EXPECT_EQ(Le(ico, 0, 2), 0u);
  EXPECT_EQ(Le(ico, 2, 2), 1u);
  EXPECT_EQ(Le(ico, 4, 2), 1u);
  EXPECT_EQ(ico[6], 32);
  EXPECT_EQ(ico[7], 32);
  EXPECT_EQ(ico[8], 0);
  EXPECT_EQ(Le(ico, 10, 2), 0u);   // planes
  EXPECT_EQ(Le(ico, 12, 2), 32u);  // bits
  EXPECT_EQ(Le(ico, 14, 4), 4264u);
  EXPECT_EQ(Le(ico, 18, 4), 22u);
  const size_t h = 22;
  EXPECT_EQ(Le(ico, h, 4), 40u);
  EXPECT_EQ(Le(ico, h + 4, 4), 32u);
  EXPECT_EQ(Le(ico, h + 8, 4), 64u);
  EXPECT_EQ(Le(ico, h + 12, 2), 1u);
  EXPECT_EQ(Le(ico, h + 14, 2), 32u);
  EXPECT_EQ(Le(ico, h + 16, 4), 0u);
  EXPECT_EQ(Le(ico, h + 20, 4), 4096u);
  int opaque = 0, clear = 0;
  for (int row = 0; row < 32; ++row) {
    for (int x = 0; x < 32; ++x) {
      const uint8_t* p = ico.data() + h + 40 + (row * 32 + x) * 4;
      const bool masked = (ico[h + 40 + 4096 + row * 4 + x / 8] >> (7 - x % 8)) & 1;
      EXPECT_EQ(masked, p[3] == 0) << row << "," << x;
      opaque += p[3] == 255;
      clear += p[3] == 0;
      if (p[3] == 255) {
        EXPECT_GT(p[0], p[2]);  // light blue: more blue than red
      }
    }
  }
  EXPECT_GT(opaque, 100);
  EXPECT_GT(clear, 400);
  EXPECT_LT(opaque + clear, 1024);  // smoothed edges
}

TEST(Assets, DesignGifTurnsInSixFrames) {
  FakeServices services;
  const SpriteImage image = DecodePicture(services, assets::DesignGif(), 0x00F0F0F0, false);
  ASSERT_EQ(image.FrameCount(), 6);
  EXPECT_EQ(image.width, 100);
  EXPECT_EQ(image.height, 100);
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(image.frames[k].delay, 100);
    EXPECT_EQ(image.frames[k].pixels[0], kEmptyPixel);  // the corners stay clear
    if (k > 0) {
      EXPECT_NE(image.frames[k].pixels, image.frames[k - 1].pixels);
    }
  }
}

// The sprite the stage draws for each flake at one angle and zoom. A change here means
// the decoder, the rotation, the scaling or the pictures changed: look at the flakes
// (wintrel-image --prepare) before updating the values.
TEST(Assets, PreparedSnowflakesMatchTheirGoldenHashes) {
  const uint64_t golden[8] = {
      0xa75d3236b879e5cdull, 0x354f98ae78771802ull, 0x07dc0b4501ec8d01ull, 0xec344b999182c342ull,
      0xf5fd45cd2ab9b266ull, 0xd2aff28c3806de57ull, 0x6906993ccd6f9b36ull, 0xe6064563a4387170ull,
  };
  FakeServices services;
  for (int k = 1; k <= 8; ++k) {
    const SpriteImage base = DecodePicture(services, assets::Flake(k), 0x00F0F0F0, false);
    SpriteImage sprite;
    ASSERT_TRUE(RotateImage(base, 130, sprite)) << k;
    ScaleImage(sprite, 65, 65);
    ASSERT_TRUE(sprite.Usable());
    EXPECT_EQ(testing::Fnv1a(sprite), golden[k - 1]) << "flake " << k << " (" << sprite.width << "x"
                                                     << sprite.height << "): 0x" << std::hex
                                                     << testing::Fnv1a(sprite);
  }
}

}  // namespace
}  // namespace wintrel::image
