// GIF pictures made by the test encoder, decoded frame by frame over one canvas.
#include <gtest/gtest.h>

#include "stage/image/sprite_image.h"
#include "tests/image/fixtures.h"

namespace wintrel::image {
namespace {

using testing::Bytes;
using testing::FakeServices;
using testing::GifFrame;
using testing::GifLayout;
using testing::Pixel;
using testing::WriteGif;

const std::vector<std::array<uint8_t, 3>> kColours = {
    {0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
constexpr uint32_t kBlack = Pixel(0, 0, 0), kRed = Pixel(255, 0, 0), kGreen = Pixel(0, 255, 0),
                   kBlue = Pixel(0, 0, 255);

SpriteImage Decode(const Bytes& bytes, uint32_t key = 0x00F0F0F0, bool autoKey = false) {
  FakeServices services;
  return DecodePicture(services, bytes, key, autoKey);
}

GifFrame Fill(uint16_t left, uint16_t top, uint16_t w, uint16_t h, uint8_t index) {
  GifFrame f;
  f.left = left;
  f.top = top;
  f.width = w;
  f.height = h;
  f.indices.assign(static_cast<size_t>(w) * h, index);
  return f;
}

uint32_t At(const SpriteImage& image, int frame, int x, int y) {
  return image.frames.at(frame).pixels.at(static_cast<size_t>(y) * image.width + x);
}

TEST(GifDecode, SixFramesOfTheDesignTimeKind) {
  GifLayout layout;
  layout.width = layout.height = 100;
  layout.globalTable = kColours;
  layout.loopExtension = true;
  for (int k = 0; k < 6; ++k) {
    GifFrame f = Fill(0, 0, 100, 100, static_cast<uint8_t>(k % 4));
    f.delay = 10;
    layout.frames.push_back(f);
  }
  const SpriteImage image = Decode(WriteGif(layout));
  ASSERT_EQ(image.FrameCount(), 6);
  EXPECT_EQ(image.width, 100);
  EXPECT_EQ(image.height, 100);
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(image.frames[k].delay, 100);
    EXPECT_EQ(image.frames[k].colorKey, 0x00F0F0F0u);
    const uint32_t colours[4] = {kBlack, kRed, kGreen, kBlue};
    EXPECT_EQ(image.frames[k].pixels, std::vector<uint32_t>(10000, colours[k % 4])) << k;
  }
}

TEST(GifDecode, DelaysAreHundredthsAndZeroMeansFiftyMilliseconds) {
  GifLayout layout;
  layout.width = layout.height = 2;
  layout.globalTable = kColours;
  for (uint16_t delay : {10, 0, 1, 655}) {
    GifFrame f = Fill(0, 0, 2, 2, 1);
    f.delay = delay;
    layout.frames.push_back(f);
  }
  GifFrame bare = Fill(0, 0, 2, 2, 1);
  bare.control = false;
  layout.frames.push_back(bare);  // keeps the last extension's delay
  GifLayout none = layout;
  none.frames = {Fill(0, 0, 2, 2, 1)};
  none.frames[0].control = false;
  const SpriteImage image = Decode(WriteGif(layout));
  ASSERT_EQ(image.FrameCount(), 5);
  const int32_t expected[] = {100, 50, 10, 6550, 6550};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(image.frames[k].delay, expected[k]) << k;
  EXPECT_EQ(Decode(WriteGif(none)).frames.at(0).delay, 50);
}

TEST(GifDecode, UncoveredPixelsStayEmptyAndImagesAreClipped) {
  GifLayout layout;
  layout.width = 6;
  layout.height = 5;
  layout.globalTable = kColours;
  layout.frames = {Fill(1, 1, 2, 2, 1), Fill(4, 3, 5, 5, 2)};  // the second runs off the canvas
  const SpriteImage image = Decode(WriteGif(layout));
  ASSERT_EQ(image.FrameCount(), 2);
  EXPECT_EQ(At(image, 0, 0, 0), kEmptyPixel);
  EXPECT_EQ(At(image, 0, 1, 1), kRed);
  EXPECT_EQ(At(image, 0, 2, 2), kRed);
  EXPECT_EQ(At(image, 0, 3, 3), kEmptyPixel);
  EXPECT_EQ(At(image, 1, 1, 1), kRed);  // disposal 0 keeps the first image
  EXPECT_EQ(At(image, 1, 4, 3), kGreen);
  EXPECT_EQ(At(image, 1, 5, 4), kGreen);
  EXPECT_EQ(At(image, 1, 3, 4), kEmptyPixel);
}

TEST(GifDecode, DisposalTwoAndThreeRestoreWhatWasUnder) {
  for (int disposal : {0, 1, 2, 3}) {
    GifLayout layout;
    layout.width = 4;
    layout.height = 4;
    layout.globalTable = kColours;
    GifFrame under = Fill(0, 0, 4, 2, 3);  // blue over the top half, kept
    under.disposal = 1;
    GifFrame over = Fill(1, 1, 2, 2, 1);   // red square across both halves
    over.disposal = disposal;
    GifFrame after = Fill(3, 3, 1, 1, 2);  // a green pixel elsewhere
    after.disposal = 0;
    layout.frames = {under, over, after};
    const SpriteImage image = Decode(WriteGif(layout));
    ASSERT_EQ(image.FrameCount(), 3) << disposal;
    EXPECT_EQ(At(image, 1, 1, 1), kRed);
    const bool restored = disposal == 2 || disposal == 3;
    EXPECT_EQ(At(image, 2, 1, 1), restored ? kBlue : kRed) << disposal;
    EXPECT_EQ(At(image, 2, 2, 2), restored ? kEmptyPixel : kRed) << disposal;
    EXPECT_EQ(At(image, 2, 3, 3), kGreen);
    EXPECT_EQ(At(image, 2, 0, 0), kBlue);
  }
}

TEST(GifDecode, TransparentColourLeavesTheCanvas) {
  GifLayout layout;
  layout.width = 3;
  layout.height = 1;
  // Entries 1 and 4 share a colour: the colour, not the index, is transparent.
  layout.globalTable = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}};
  GifFrame first = Fill(0, 0, 3, 1, 3);
  first.disposal = 1;
  GifFrame second;
  second.width = 3;
  second.height = 1;
  second.indices = {1, 2, 4};
  second.transparent = true;
  second.transparentIndex = 1;
  layout.frames = {first, second};
  const SpriteImage image = Decode(WriteGif(layout));
  ASSERT_EQ(image.FrameCount(), 2);
  EXPECT_EQ(image.frames[1].pixels, (std::vector<uint32_t>{kBlue, kGreen, kBlue}));
}

TEST(GifDecode, LocalTablesInterlaceAndFullCodeTables) {
  // A noisy picture fills the code table; with and without the early clear, and
  // interlaced or not, it decodes to the same pixels.
  const uint16_t w = 61, h = 37;
  std::vector<std::array<uint8_t, 3>> table;
  for (int i = 0; i < 256; ++i) table.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 3)});
  GifFrame noisy;
  noisy.width = w;
  noisy.height = h;
  uint32_t seed = 12345;
  for (int i = 0; i < w * h; ++i) {
    seed = seed * 1103515245u + 12345u;
    noisy.indices.push_back(static_cast<uint8_t>((seed >> 16) % ((i / 200) % 3 == 0 ? 256 : 5)));
  }
  std::vector<uint32_t> expected;
  for (uint8_t i : noisy.indices) expected.push_back(Pixel(table[i][0], table[i][1], table[i][2]));

  for (bool local : {false, true}) {
    for (bool interlaced : {false, true}) {
      for (bool deferred : {false, true}) {
        GifLayout layout;
        layout.width = w;
        layout.height = h;
        layout.deferredClear = deferred;
        layout.comment = true;
        GifFrame f = noisy;
        f.interlaced = interlaced;
        if (local) {
          layout.globalTable = kColours;
          f.localTable = table;
        } else {
          layout.globalTable = table;
        }
        layout.frames = {f};
        const SpriteImage image = Decode(WriteGif(layout));
        ASSERT_EQ(image.FrameCount(), 1) << local << interlaced << deferred;
        EXPECT_EQ(image.frames[0].pixels, expected) << local << interlaced << deferred;
      }
    }
  }
}

TEST(GifDecode, AutoKeyIsEachFramesTopLeftPixel) {
  GifLayout layout;
  layout.width = layout.height = 3;
  layout.globalTable = kColours;
  layout.frames = {Fill(1, 1, 1, 1, 1), Fill(0, 0, 1, 1, 2)};
  const SpriteImage image = Decode(WriteGif(layout), 0, true);
  ASSERT_EQ(image.FrameCount(), 2);
  EXPECT_EQ(image.frames[0].colorKey, 0x00FFFFFFu);  // still the empty canvas
  EXPECT_EQ(image.frames[1].colorKey, 0x0000FF00u);
}

// Where a picture breaks off, the frames before it are kept.
TEST(GifDecode, BrokenDataEndsThePictureAndKeepsEarlierFrames) {
  GifLayout layout;
  layout.width = layout.height = 8;
  layout.globalTable = kColours;
  layout.frames = {Fill(0, 0, 8, 8, 1), Fill(0, 0, 8, 8, 2), Fill(0, 0, 8, 8, 3)};
  const Bytes whole = WriteGif(layout);
  ASSERT_EQ(Decode(whole).FrameCount(), 3);
  const GifLayout firstOnly = [&] { GifLayout s = layout; s.frames.resize(1); return s; }();
  const size_t firstEnd = WriteGif(firstOnly).size() - 1;  // up to the trailer
  const GifLayout firstTwo = [&] { GifLayout s = layout; s.frames.resize(2); return s; }();
  const size_t secondEnd = WriteGif(firstTwo).size() - 1;

  struct Case { const char* name; Bytes bytes; int frames; };
  std::vector<Case> cases;
  cases.push_back({"cut inside the second image", Bytes(whole.begin(), whole.begin() + firstEnd + 22), 1});
  cases.push_back({"cut after the second image", Bytes(whole.begin(), whole.begin() + secondEnd), 2});
  cases.push_back({"no trailer", Bytes(whole.begin(), whole.end() - 1), 3});
  Bytes unknown(whole.begin(), whole.begin() + secondEnd);
  unknown.insert(unknown.end(), {0x21, 0x99, 1, 0, 0});
  unknown.insert(unknown.end(), whole.begin() + secondEnd, whole.end());
  cases.push_back({"unknown extension", unknown, 2});
  Bytes stray(whole.begin(), whole.begin() + firstEnd);
  stray.push_back(0x42);
  stray.insert(stray.end(), whole.begin() + firstEnd, whole.end());
  cases.push_back({"unknown block", stray, 1});
  Bytes plainText(whole.begin(), whole.begin() + firstEnd);
  plainText.insert(plainText.end(), {0x21, 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 1, 1, 0, 0, 2, 'h', 'i', 0});
  plainText.insert(plainText.end(), whole.begin() + firstEnd, whole.end());
  cases.push_back({"plain-text extension skipped", plainText, 3});
  for (const Case& c : cases) {
    const SpriteImage image = Decode(c.bytes);
    EXPECT_EQ(image.FrameCount(), c.frames) << c.name;
    if (c.frames > 0) {
      EXPECT_EQ(image.frames[0].pixels, std::vector<uint32_t>(64, kRed)) << c.name;
    }
  }
}

// Code streams that no encoder writes.
TEST(GifDecode, MalformedCodeStreams) {
  auto picture = [](const Bytes& imageData) {
    Bytes out = {'G', 'I', 'F', '8', '7', 'a', 4, 0, 1, 0, 0x81, 0, 0};
    for (const auto& c : kColours) out.insert(out.end(), c.begin(), c.end());
    out.insert(out.end(), {0x2C, 0, 0, 0, 0, 4, 0, 1, 0, 0});
    out.insert(out.end(), imageData.begin(), imageData.end());
    out.push_back(0x3B);
    return out;
  };
  // Codes are 3 bits wide at the start (minimum size 2): clear 4, end 5, first free 6.
  auto codes = [](std::initializer_list<int> list) {
    Bytes out;
    uint32_t buffer = 0;
    int bits = 0;
    for (int c : list) {
      buffer |= static_cast<uint32_t>(c) << bits;
      bits += 3;
      while (bits >= 8) { out.push_back(static_cast<uint8_t>(buffer)); buffer >>= 8; bits -= 8; }
    }
    if (bits) out.push_back(static_cast<uint8_t>(buffer));
    return testing::ImageData(2, out);
  };
  struct Case { const char* name; Bytes data; int frames; std::vector<uint32_t> pixels; };
  const Case cases[] = {
      {"well formed", codes({4, 1, 6, 2, 5}), 1, {kRed, kRed, kRed, kGreen}},
      {"repeat of the previous string", codes({4, 1, 6, 5}), 1, {kRed, kRed, kRed, kEmptyPixel}},
      {"ends early", codes({4, 3, 5}), 1, {kBlue, kEmptyPixel, kEmptyPixel, kEmptyPixel}},
      {"no clear code first", codes({2, 2, 6, 5}), 1, {kGreen, kGreen, kGreen, kGreen}},
      {"code past the table", codes({4, 1, 7, 5}), 0, {}},
      {"starts with a string code", codes({4, 6, 5}), 0, {}},
      {"minimum code size 0", testing::ImageData(0, Bytes{0x01}), 0, {}},
      {"minimum code size 12", testing::ImageData(12, Bytes{0x01}), 0, {}},
      {"no data at all", Bytes{2, 0}, 1, {kEmptyPixel, kEmptyPixel, kEmptyPixel, kEmptyPixel}},
  };
  for (const Case& c : cases) {
    const SpriteImage image = Decode(picture(c.data));
    ASSERT_EQ(image.FrameCount(), c.frames) << c.name;
    if (c.frames) {
      EXPECT_EQ(image.frames[0].pixels, c.pixels) << c.name;
    }
  }
}

TEST(GifDecode, ScreensOutsideTheLimitsAreEmpty) {
  struct Case { uint16_t w, h; bool usable; };
  const Case cases[] = {{0, 10, false}, {10, 0, false}, {16385, 1, false}, {1, 16385, false},
                        {16384, 1, true}, {1, 16384, true}};
  for (const Case& c : cases) {
    GifLayout layout;
    layout.width = c.w;
    layout.height = c.h;
    layout.globalTable = kColours;
    layout.frames = {Fill(0, 0, 1, 1, 1)};
    EXPECT_EQ(Decode(WriteGif(layout)).Usable(), c.usable) << c.w << "x" << c.h;
  }
  // 2^26 + 1 pixels cannot be said with 16-bit sides above 16384 alone: 8193 x 8192.
  GifLayout big;
  big.width = 8193;
  big.height = 8192;
  big.globalTable = kColours;
  big.frames = {Fill(0, 0, 1, 1, 1)};
  EXPECT_FALSE(Decode(WriteGif(big)).Usable());
  // A colour table that does not fit, or 13 bytes in all.
  GifLayout small;
  small.width = small.height = 4;
  small.globalTable = kColours;
  small.frames = {Fill(0, 0, 1, 1, 1)};
  Bytes cut = WriteGif(small);
  ASSERT_TRUE(Decode(cut).Usable());
  cut.resize(13 + 5);
  EXPECT_FALSE(Decode(cut).Usable());
  cut.resize(13);
  EXPECT_FALSE(Decode(cut).Usable());
}

TEST(GifDecode, FramesStopAtThePixelBudget) {
  // 2^24 pixels a frame: four frames fit the budget of 2^26, the fifth does not.
  GifLayout layout;
  layout.width = 4096;
  layout.height = 4096;
  layout.globalTable = kColours;
  for (int k = 0; k < 6; ++k) layout.frames.push_back(Fill(static_cast<uint16_t>(k), 0, 1, 1, 1));
  const SpriteImage image = Decode(WriteGif(layout));
  EXPECT_EQ(image.FrameCount(), 4);
  EXPECT_EQ(At(image, 3, 3, 0), kRed);
}

}  // namespace
}  // namespace wintrel::image
