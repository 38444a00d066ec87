// Recognising the format, the window system's bitmap path, captions and the template image.
#include <gtest/gtest.h>

#include <cstring>

#include "stage/image/sprite_image.h"
#include "tests/image/fixtures.h"

namespace wintrel::image {
namespace {

using testing::Bytes;
using testing::FakeServices;
using testing::Pixel;

TEST(DecodePicture, BytesOfNoKnownFormatAreEmpty) {
  const std::vector<Bytes> cases = {
      {},
      {'G', 'I', 'F', '8', '9'},                       // five bytes: not yet a GIF signature
      {'G', 'I', 'F', '8', '9', 'a'},                  // the signature and nothing else
      {'G', 'I', 'F', '8', '8', 'a', 0, 0, 0, 0, 0, 0, 0, 0},  // no such version
      {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A},         // seven bytes
      {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A},   // the signature alone
      {'h', 'e', 'l', 'l', 'o', ',', ' ', 'w', 'o', 'r', 'l', 'd'},
      {'B', 'M', 1, 2, 3},
  };
  for (const Bytes& bytes : cases) {
    FakeServices services;
    const SpriteImage image = DecodePicture(services, bytes, 0x00F0F0F0, false);
    EXPECT_FALSE(image.Usable()) << bytes.size();
    EXPECT_TRUE(image.frames.empty());
    EXPECT_EQ(services.liveBitmaps, 0);
  }
}

TEST(DecodePicture, OtherFormatsGoThroughTheSystemBitmap) {
  const std::vector<uint32_t> pixels = {Pixel(1, 2, 3, 0), Pixel(4, 5, 6, 7), Pixel(7, 8, 9, 0xFF),
                                        Pixel(10, 11, 12, 0)};
  for (int bits : {24, 32}) {
    for (bool topDown : {false, true}) {
      FakeServices services;
      const Bytes bmp = testing::WriteBmp(2, 2, bits, pixels, topDown);
      const SpriteImage image = DecodePicture(services, bmp, 0x00F0F0F0, false);
      ASSERT_TRUE(image.Usable());
      EXPECT_EQ(services.liveBitmaps, 0);  // the bitmap is deleted once read
      EXPECT_EQ(image.width, 2);
      EXPECT_EQ(image.height, 2);
      ASSERT_EQ(image.FrameCount(), 1);
      EXPECT_EQ(image.frames[0].delay, 0);
      EXPECT_EQ(image.frames[0].colorKey, 0x00F0F0F0u);
      std::vector<uint32_t> expected = pixels;
      if (bits == 24) {
        for (uint32_t& p : expected) p &= 0x00FFFFFF;  // no alpha: opaque
      }
      EXPECT_EQ(image.frames[0].pixels, expected) << bits << " bits";  // T as delivered
      EXPECT_EQ(DecodePicture(services, bmp, 0, true).frames[0].colorKey, 0x00030201u);
    }
  }
}

TEST(DecodePicture, SystemBitmapThatCannotBeReadIsEmptyAndStillDeleted) {
  const Bytes bmp = testing::WriteBmp(3, 1, 24, {1, 2, 3});
  for (bool shortBlock : {false, true}) {
    FakeServices services;
    services.failPixels = !shortBlock;
    services.shortPixels = shortBlock;
    EXPECT_FALSE(DecodePicture(services, bmp, 0, false).Usable());
    EXPECT_EQ(services.liveBitmaps, 0);
  }
}

TEST(RenderText, LinesAreSplitMeasuredAndStackedWithTwoPixelGaps) {
  struct Case { const char* text; std::vector<int32_t> tops; int32_t width, height; };
  const int32_t h = FakeServices::kDefaultHeight, w = FakeServices::kCellWidth;
  const Case cases[] = {
      {"AB\r\nC", {0, h + 2}, 2 * w, 2 * h + 2},
      {"AB\nCDE\n", {0, h + 2}, 3 * w, 2 * h + 2},     // nothing after the last line feed
      {"X\n\nY", {0, h + 2, 2 * h + 4}, w, 3 * h + 4},  // an empty line in between counts
      {"one line\r", {0}, 9 * w, h},                  // a lone carriage return is text
  };
  for (const Case& c : cases) {
    FakeServices services;
    const SpriteImage image = RenderText(services, c.text, {}, 0x000000FF);
    ASSERT_TRUE(image.Usable()) << c.text;
    EXPECT_EQ(services.lastTops, c.tops) << c.text;
    EXPECT_EQ(image.width, c.width) << c.text;
    EXPECT_EQ(image.height, c.height) << c.text;
    EXPECT_EQ(image.FrameCount(), 1);
    EXPECT_EQ(image.frames[0].delay, 0);
  }
}

TEST(RenderText, BackgroundIsTheKeyAndSmoothedEdgesBecomeSolid) {
  struct Case { uint32_t color; uint32_t background; };
  const Case cases[] = {{0x00FFFFFF, 0x00000000}, {0x000000FF, 0x00FFFFFF}, {0x00000000, 0x00FFFFFF},
                        {0x00FFFFFE, 0x00FFFFFF}};
  for (const Case& c : cases) {
    FakeServices services;
    const SpriteImage image = RenderText(services, "AB\r\nC", {}, c.color);
    ASSERT_TRUE(image.Usable());
    EXPECT_EQ(services.lastBackground, c.background);
    EXPECT_EQ(image.frames[0].colorKey, c.background);
    const uint32_t text = KeyToPixel(c.color), back = KeyToPixel(c.background);
    int textPixels = 0;
    for (uint32_t p : image.frames[0].pixels) {
      ASSERT_TRUE(p == text || p == back) << std::hex << p;
      textPixels += p == text;
    }
    // Three cells of 5 columns (the smoothed first column included) by the line height.
    EXPECT_EQ(textPixels, 3 * 5 * FakeServices::kDefaultHeight) << std::hex << c.color;
    // The gap between the lines is background.
    const int32_t gapRow = FakeServices::kDefaultHeight;
    for (int32_t x = 0; x < image.width; ++x) EXPECT_EQ(image.frames[0].pixels[gapRow * image.width + x], back);
  }
}

TEST(RenderText, UsesTheLogFontAndFreesIt) {
  const auto font = testing::LogFont(-20);
  FakeServices services;
  const SpriteImage image = RenderText(services, "AB", font, 0);
  EXPECT_EQ(image.height, 20);
  EXPECT_EQ(services.fontsCreated, 1);
  EXPECT_EQ(services.liveFonts, 0);
  // A block of another length is no font: the default one is used.
  const SpriteImage fallback = RenderText(services, "AB", std::span(font).first(59), 0);
  EXPECT_EQ(fallback.height, FakeServices::kDefaultHeight);
  EXPECT_EQ(services.fontsCreated, 1);
}

TEST(RenderText, NothingToMeasureIsEmpty) {
  const auto zeroHigh = testing::LogFont(0);
  for (const char* text : {"", "\n", "\r\n", "\n\n"}) {
    FakeServices services;
    EXPECT_FALSE(RenderText(services, text, {}, 0).Usable()) << text;
  }
  FakeServices services;
  EXPECT_FALSE(RenderText(services, "abc", zeroHigh, 0).Usable());
  EXPECT_EQ(services.liveFonts, 0);
}

TEST(BuildTemplateImage, CaptionWinsOverPictureAndFailureLeavesItEmpty) {
  FakeServices services;
  const Bytes bmp = testing::WriteBmp(5, 4, 24, std::vector<uint32_t>(20, 0x123456));
  TemplateInputs in;
  in.picture = bmp;
  in.transparentColor = 0x00F0F0F0;
  SpriteImage image;
  BuildTemplateImage(services, image, in);
  EXPECT_EQ(image.width, 5);
  EXPECT_EQ(image.frames.at(0).colorKey, 0x00F0F0F0u);

  in.text = "Hi";
  in.textColor = 0x00FFFFFF;
  BuildTemplateImage(services, image, in);
  EXPECT_EQ(image.width, 2 * FakeServices::kCellWidth);
  EXPECT_EQ(image.frames.at(0).colorKey, 0u);

  const Bytes junk = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  in.text.clear();
  in.picture = junk;
  BuildTemplateImage(services, image, in);
  EXPECT_FALSE(image.Usable());
  EXPECT_TRUE(image.frames.empty());
  EXPECT_EQ(image.width, 0);
}

}  // namespace
}  // namespace wintrel::image
