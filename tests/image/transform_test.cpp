// The transforms applied to a sprite's picture: copy, flip, rotate, scale, trend, light.
#include <gtest/gtest.h>

#include <cmath>

#include "stage/image/sprite_image.h"
#include "tests/image/fixtures.h"

namespace wintrel::image {
namespace {

using testing::MakeImage;
using testing::Pixel;

TEST(MulDiv, RoundsHalvesAwayFromZeroAndReportsFailureAsMinusOne) {
  struct Case { int32_t a, b, c, expected; };
  const Case cases[] = {
      {5, 1, 2, 3},     {-5, 1, 2, -3},   {5, -1, 2, -3},   {-5, -1, 2, 3},
      {7, 1, 3, 2},     {8, 1, 3, 3},     {326, 50, 1000, 16}, {286, 50, 1000, 14},
      {100, 1, 200, 1}, {99, 1, 200, 0},  {1, 1, 0, -1},
      {0x40000000, 4, 1, -1},                    // does not fit
      {0x40000000, 4, 2, -1},                    // 2^31 is one past the largest
      {-0x40000000, 4, 2, INT32_MIN},            // fits exactly on the negative side
      {0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << " * " << c.b << " / " << c.c;
  }
}

TEST(CloneImage, CopiesDeeplyAndRefusesUnusableImages) {
  const SpriteImage image = MakeImage(3, 2, 2, 0x00F0F0F0);
  SpriteImage copy;
  ASSERT_TRUE(CloneImage(image, copy));
  EXPECT_EQ(copy, image);

  SpriteImage out = MakeImage(1, 1);
  EXPECT_FALSE(CloneImage(SpriteImage{}, out));
  EXPECT_FALSE(out.Usable());
  SpriteImage broken = MakeImage(3, 2);
  broken.frames[0].pixels.pop_back();  // a frame shorter than width * height
  out = MakeImage(1, 1);
  EXPECT_FALSE(CloneImage(broken, out));
  EXPECT_FALSE(out.Usable());
}

TEST(FlipImage, ModesMirrorColumnsRowsOrBoth) {
  // 3 x 2:  a b c
  //         d e f
  SpriteImage base;
  base.width = 3;
  base.height = 2;
  base.frames.push_back({kNoColorKey, 0, {1, 2, 3, 4, 5, 6}});
  base.frames.push_back({kNoColorKey, 0, {7, 8, 9, 10, 11, 12}});
  struct Case { int32_t mode; std::vector<uint32_t> first, second; };
  const Case cases[] = {
      {0, {1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}},
      {1, {3, 2, 1, 6, 5, 4}, {9, 8, 7, 12, 11, 10}},
      {2, {4, 5, 6, 1, 2, 3}, {10, 11, 12, 7, 8, 9}},
      {3, {6, 5, 4, 3, 2, 1}, {12, 11, 10, 9, 8, 7}},
      {4, {1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}},
      {-1, {1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}},
  };
  for (const Case& c : cases) {
    SpriteImage image = base;
    FlipImage(image, c.mode);
    EXPECT_EQ(image.frames[0].pixels, c.first) << "mode " << c.mode;
    EXPECT_EQ(image.frames[1].pixels, c.second) << "mode " << c.mode;
  }
  SpriteImage tall;  // an odd number of rows keeps its middle row
  tall.width = 1;
  tall.height = 3;
  tall.frames.push_back({kNoColorKey, 0, {1, 2, 3}});
  FlipImage(tall, 2);
  EXPECT_EQ(tall.frames[0].pixels, (std::vector<uint32_t>{3, 2, 1}));
}

TEST(RotateImage, WholeTurnsCopyAndNegativeAnglesCountBackwards) {
  const SpriteImage image = MakeImage(5, 3, 2, 0x00F0F0F0);
  for (int32_t angle : {0, 360, -360, 720}) {
    SpriteImage out;
    ASSERT_TRUE(RotateImage(image, angle, out)) << angle;
    EXPECT_EQ(out, image) << angle;
  }
  const std::pair<int32_t, int32_t> same[] = {{-90, 270}, {-270, 90}, {450, 90}, {-180, 180}, {-100, 260}};
  for (auto [a, b] : same) {
    SpriteImage x, y;
    ASSERT_TRUE(RotateImage(image, a, x));
    ASSERT_TRUE(RotateImage(image, b, y));
    EXPECT_EQ(x, y) << a << " vs " << b;
  }
}

TEST(RotateImage, QuarterAndHalfTurnsMoveEveryPixel) {
  // 3 x 2 with pixels numbered row by row.
  SpriteImage image;
  image.width = 3;
  image.height = 2;
  image.frames.push_back({0x00123456, 70, {0, 1, 2, 3, 4, 5}});
  SpriteImage out;
  ASSERT_TRUE(RotateImage(image, 180, out));
  EXPECT_EQ(out.width, 3);
  EXPECT_EQ(out.height, 2);
  EXPECT_EQ(out.frames[0].pixels, (std::vector<uint32_t>{5, 4, 3, 2, 1, 0}));

  // Clockwise a quarter: the left column, read bottom-up, becomes the top row.
  ASSERT_TRUE(RotateImage(image, 90, out));
  EXPECT_EQ(out.width, 2);
  EXPECT_EQ(out.height, 3);
  EXPECT_EQ(out.frames[0].pixels, (std::vector<uint32_t>{3, 0, 4, 1, 5, 2}));
  EXPECT_EQ(out.frames[0].colorKey, 0x00123456u);
  EXPECT_EQ(out.frames[0].delay, 70);

  ASSERT_TRUE(RotateImage(image, 270, out));
  EXPECT_EQ(out.width, 2);
  EXPECT_EQ(out.height, 3);
  EXPECT_EQ(out.frames[0].pixels, (std::vector<uint32_t>{2, 5, 1, 4, 0, 3}));
}

TEST(RotateImage, BoundingBoxOfTheTurnedPicture) {
  struct Case { int32_t w, h, angle, ow, oh; };
  const Case cases[] = {
      {326, 286, 100, 339, 371}, {326, 286, 150, 426, 411}, {326, 286, 45, 433, 433},
      {1, 1, 45, 2, 2},
  };
  for (const Case& c : cases) {
    SpriteImage out;
    ASSERT_TRUE(RotateImage(MakeImage(c.w, c.h), c.angle, out));
    EXPECT_EQ(out.width, c.ow) << c.angle;
    EXPECT_EQ(out.height, c.oh) << c.angle;
    EXPECT_EQ(out.frames[0].pixels.size(), static_cast<size_t>(c.ow) * c.oh);
  }
}

TEST(RotateImage, TurnsClockwiseAndFillsTheCornersWithEmptyPixels) {
  // An opaque picture with one marked pixel in the middle of its top edge.
  const int32_t n = 41;
  SpriteImage image;
  image.width = image.height = n;
  image.frames.push_back({kNoColorKey, 0, std::vector<uint32_t>(n * n, Pixel(10, 10, 10))});
  const uint32_t mark = Pixel(255, 0, 0);
  image.frames[0].pixels[n / 2] = mark;
  const SpriteImage before = image;

  SpriteImage out;
  ASSERT_TRUE(RotateImage(image, 45, out));
  EXPECT_EQ(image, before);  // the input is left alone
  int marks = 0, markX = 0, markY = 0, empty = 0, other = 0;
  for (int32_t y = 0; y < out.height; ++y) {
    for (int32_t x = 0; x < out.width; ++x) {
      const uint32_t p = out.frames[0].pixels[y * out.width + x];
      if (p == mark) {
        ++marks;
        markX += x;
        markY += y;
      } else if (p == kEmptyPixel) {
        ++empty;
      } else {
        ++other;
        EXPECT_EQ(p, Pixel(10, 10, 10));
      }
    }
  }
  ASSERT_GT(marks, 0);
  // Up turned clockwise by 45 degrees points to the upper right.
  EXPECT_GT(markX / marks, out.width * 3 / 5);
  EXPECT_LT(markY / marks, out.height * 2 / 5);
  EXPECT_EQ(out.frames[0].pixels[0], kEmptyPixel);
  EXPECT_EQ(out.frames[0].pixels.back(), kEmptyPixel);
  EXPECT_GT(empty, out.width * out.height / 4);  // four corner triangles
  EXPECT_GT(other, n * n / 2);
}

TEST(RotateImage, SourceCoordinatesAreTruncatedTowardZero) {
  // 10 x 10 turned by 45 degrees: along the top output row the source column is
  // (k - 7.07) * 0.707 and the source row its negative. Columns 6 and 7 land just left
  // of the picture (-0.76, -0.05), and truncation toward zero takes them into column 0;
  // column 5 (-1.46) stays outside.
  SpriteImage image = MakeImage(10, 10);
  SpriteImage out;
  ASSERT_TRUE(RotateImage(image, 45, out));
  const uint32_t topLeft = image.frames[0].pixels[0];
  EXPECT_EQ(out.frames[0].pixels[5], kEmptyPixel);
  EXPECT_EQ(out.frames[0].pixels[6], topLeft);
  EXPECT_EQ(out.frames[0].pixels[7], topLeft);
  EXPECT_NE(out.frames[0].pixels[8], kEmptyPixel);
}

TEST(RotateImage, UnusableImagesGiveNone) {
  SpriteImage out = MakeImage(2, 2);
  EXPECT_FALSE(RotateImage(SpriteImage{}, 30, out));
  EXPECT_FALSE(out.Usable());
  SpriteImage noFrames;
  noFrames.width = noFrames.height = 4;
  EXPECT_FALSE(RotateImage(noFrames, 0, out));
}

TEST(ScaleImage, SizesFollowMulDivAndKeysAreClearedByAnyRealScaling) {
  struct Case { int32_t w, h, zx, zy, ow, oh; };
  const Case cases[] = {
      {326, 286, 50, 50, 16, 14},  {339, 371, 50, 50, 17, 19}, {339, 371, 80, 80, 27, 30},
      {326, 286, 1000, 500, 326, 143}, {10, 10, 999, 1000, 10, 10}, {3, 3, 2500, 1000, 8, 3},
  };
  for (const Case& c : cases) {
    SpriteImage image = MakeImage(c.w, c.h, 2, 0x00F0F0F0);
    ScaleImage(image, c.zx, c.zy);
    EXPECT_EQ(image.width, c.ow) << c.zx << "x" << c.zy;
    EXPECT_EQ(image.height, c.oh) << c.zx << "x" << c.zy;
    for (const ImageFrame& f : image.frames) {
      EXPECT_EQ(f.colorKey, kNoColorKey);
      EXPECT_EQ(f.pixels.size(), static_cast<size_t>(c.ow) * c.oh);
    }
    EXPECT_EQ(image.frames[1].delay, 10);
  }
}

TEST(ScaleImage, TheSpritesOfTheFirstSnowflake) {
  const SpriteImage base = MakeImage(326, 286, 1, 0x00F0F0F0);
  struct Case { int32_t angle, zoom, w, h; };
  const Case cases[] = {{180, 50, 16, 14}, {100, 50, 17, 19}, {100, 80, 27, 30}};
  for (const Case& c : cases) {
    SpriteImage sprite;
    ASSERT_TRUE(RotateImage(base, c.angle, sprite));
    ScaleImage(sprite, c.zoom, c.zoom);
    EXPECT_EQ(sprite.width, c.w) << c.angle << " at " << c.zoom;
    EXPECT_EQ(sprite.height, c.h) << c.angle << " at " << c.zoom;
  }
}

TEST(ScaleImage, NoChangeAtOwnSizeOrWithFactorsOfZeroOrLess) {
  const SpriteImage image = MakeImage(7, 5, 1, 0x00F0F0F0);
  for (auto [zx, zy] : {std::pair{1000, 1000}, {0, 500}, {500, 0}, {-5, 2000}, {2000, -1}}) {
    SpriteImage copy = image;
    ScaleImage(copy, zx, zy);
    EXPECT_EQ(copy, image) << zx << "x" << zy;
  }
}

TEST(ScaleImage, SidesRoundedToNothingEmptyTheImage) {
  for (auto [zx, zy] : {std::pair{1, 1000}, {1000, 1}, {1, 2000}, {2000, 1}, {1, 1}}) {
    SpriteImage image = MakeImage(300, 300);
    ScaleImage(image, zx, zy);
    EXPECT_FALSE(image.Usable()) << zx << "x" << zy;
    EXPECT_TRUE(image.frames.empty());
  }
  SpriteImage huge = MakeImage(300, 300);  // past what any frame may hold
  ScaleImage(huge, 100000000, 100000000);
  EXPECT_FALSE(huge.Usable());
}

TEST(ScaleImage, NearestNeighbourCopiesWholePixels) {
  SpriteImage image;
  image.width = 4;
  image.height = 2;
  image.frames.push_back({kNoColorKey, 0, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0xFF000080}});
  SpriteImage down = image;
  ScaleImage(down, 500, 500);
  EXPECT_EQ(down.frames[0].pixels, (std::vector<uint32_t>{0x10, 0x30}));
  SpriteImage up = image;
  ScaleImage(up, 1500, 1000);  // 6 wide: step 256 * 4 / 6 = 170
  EXPECT_EQ(up.frames[0].pixels,
            (std::vector<uint32_t>{0x10, 0x10, 0x20, 0x20, 0x30, 0x40, 0x50, 0x50, 0x60, 0x60, 0x70,
                                   0xFF000080}));
}

TEST(ScaleImage, MixedFactorsRunAsTwoPassesXFirst) {
  const SpriteImage image = MakeImage(37, 23, 2, 0x00F0F0F0);
  for (auto [zx, zy] : {std::pair{2000, 500}, {500, 2000}, {1300, 700}, {650, 1900}}) {
    SpriteImage both = image;
    ScaleImage(both, zx, zy);
    SpriteImage passes = image;
    ScaleImage(passes, zx, 1000);
    ScaleImage(passes, 1000, zy);
    EXPECT_EQ(both, passes) << zx << "x" << zy;
  }
}

// Trend and light share the colour-key rule: a pixel equal to the key with T = 0 is left
// alone; the same colour with any other T is changed; no key excludes nothing.
struct ColourCase {
  const char* name;
  uint32_t key;
  uint32_t before;
  uint32_t trend;  // after TrendImage(0x00FF8000, 50)
  uint32_t light;  // after LightImage(50)
};

TEST(TrendAndLight, ColourKeyExcludesOnlyOpaqueKeyPixels) {
  const ColourCase cases[] = {
      // key 0x00F0F0F0 is the pixel value Pixel(F0, F0, F0)
      {"key pixel, opaque", 0x00F0F0F0, Pixel(0xF0, 0xF0, 0xF0), Pixel(0xF0, 0xF0, 0xF0), Pixel(0xF0, 0xF0, 0xF0)},
      {"key colour, T=1", 0x00F0F0F0, Pixel(0xF0, 0xF0, 0xF0, 1), Pixel(0x78, 0xB8, 0xF8, 1), Pixel(0xFF, 0xFF, 0xFF, 1)},
      {"other pixel", 0x00F0F0F0, Pixel(0x10, 0x20, 0x30, 0x40), Pixel(0x08, 0x50, 0x98, 0x40), Pixel(0x18, 0x30, 0x48, 0x40)},
      {"no key", kNoColorKey, Pixel(0xF0, 0xF0, 0xF0), Pixel(0x78, 0xB8, 0xF8), Pixel(0xFF, 0xFF, 0xFF)},
      {"key is BGR order", 0x00302010, Pixel(0x10, 0x20, 0x30), Pixel(0x10, 0x20, 0x30), Pixel(0x10, 0x20, 0x30)},
  };
  for (const ColourCase& c : cases) {
    SpriteImage image;
    image.width = image.height = 1;
    image.frames.push_back({c.key, 0, {c.before}});
    SpriteImage trended = image;
    TrendImage(trended, 0x00FF8000, 50);  // towards R 0x00, G 0x80, B 0xFF
    EXPECT_EQ(trended.frames[0].pixels[0], c.trend) << c.name;
    SpriteImage lit = image;
    LightImage(lit, 50);
    EXPECT_EQ(lit.frames[0].pixels[0], c.light) << c.name;
  }
}

TEST(TrendImage, DepthBoundsAndRounding) {
  const SpriteImage image = [] {
    SpriteImage i;
    i.width = 3;
    i.height = 1;
    i.frames.push_back({kNoColorKey, 0, {Pixel(0, 255, 100, 7), Pixel(1, 2, 3, 0), Pixel(255, 0, 128, 255)}});
    return i;
  }();
  struct Case { int32_t depth; std::vector<uint32_t> expected; };
  const Case cases[] = {
      {0, image.frames[0].pixels},
      {-5, image.frames[0].pixels},
      {100, {Pixel(0x11, 0x22, 0x33, 7), Pixel(0x11, 0x22, 0x33, 0), Pixel(0x11, 0x22, 0x33, 255)}},
      {250, {Pixel(0x11, 0x22, 0x33, 7), Pixel(0x11, 0x22, 0x33, 0), Pixel(0x11, 0x22, 0x33, 255)}},
      // 50 %: 0 -> 17 is 8.5 -> 9; 255 -> 34 is -110.5 -> -111; 100 -> 51 is -24.5 -> -25
      {50, {Pixel(9, 144, 75, 7), Pixel(9, 18, 27, 0), Pixel(136, 17, 89, 255)}},
  };
  for (const Case& c : cases) {
    SpriteImage copy = image;
    TrendImage(copy, 0x00332211, c.depth);
    EXPECT_EQ(copy.frames[0].pixels, c.expected) << "depth " << c.depth;
  }
}

TEST(LightImage, BoundsDoubleOrBlackenAndSaturate) {
  const std::vector<uint32_t> pixels = {Pixel(0, 100, 200, 9), Pixel(3, 127, 128, 0), Pixel(255, 1, 0, 255)};
  SpriteImage image;
  image.width = 3;
  image.height = 1;
  image.frames.push_back({kNoColorKey, 0, pixels});
  struct Case { int32_t light; std::vector<uint32_t> expected; };
  const Case cases[] = {
      {0, pixels},
      {100, {Pixel(0, 200, 255, 9), Pixel(6, 254, 255, 0), Pixel(255, 2, 0, 255)}},
      {-100, {Pixel(0, 0, 0, 9), Pixel(0, 0, 0, 0), Pixel(0, 0, 0, 255)}},
      {-50, {Pixel(0, 50, 100, 9), Pixel(1, 63, 64, 0), Pixel(127, 0, 0, 255)}},  // halves away from zero
      {INT32_MAX, {Pixel(0, 255, 255, 9), Pixel(255, 255, 255, 0), Pixel(255, 255, 0, 255)}},
      {INT32_MIN, {Pixel(0, 0, 0, 9), Pixel(0, 0, 0, 0), Pixel(0, 0, 0, 255)}},
  };
  for (const Case& c : cases) {
    SpriteImage copy = image;
    LightImage(copy, c.light);
    EXPECT_EQ(copy.frames[0].pixels, c.expected) << "light " << c.light;
  }
}

TEST(Transforms, LeaveUnusableImagesAlone) {
  SpriteImage broken = MakeImage(4, 4, 2);
  broken.frames[1].pixels.resize(3);
  const SpriteImage before = broken;
  FlipImage(broken, 3);
  ScaleImage(broken, 500, 500);
  TrendImage(broken, 0, 100);
  LightImage(broken, 100);
  EXPECT_EQ(broken, before);
  SpriteImage out;
  EXPECT_FALSE(RotateImage(broken, 33, out));
}

}  // namespace
}  // namespace wintrel::image

namespace wintrel::image {
namespace {

TEST(DegreeSineCosine, AreTheCorrectlyRoundedValuesForEveryWholeDegree) {
  for (int32_t a = 0; a < 360; ++a) {
    const double r = a * 0.017453292519444445;
    // An independent, more precise evaluation rounded once to double.
    const double s = static_cast<double>(std::sin(static_cast<long double>(r)));
    const double c = static_cast<double>(std::cos(static_cast<long double>(r)));
    EXPECT_EQ(DegreeSine(a), s) << a;
    EXPECT_EQ(DegreeCosine(a), c) << a;
    EXPECT_EQ(DegreeSine(a - 360), DegreeSine(a));
    EXPECT_EQ(DegreeCosine(a + 720), DegreeCosine(a));
  }
}

}  // namespace
}  // namespace wintrel::image
