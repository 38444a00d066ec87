// The production picture and pixel operations give exactly what the literal ones give.
#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "assets/assets.h"
#include "platform/sim/sim_desktop.h"
#include "stage/image/fast_paths.h"
#include "stage/image/render_path.h"
#include "stage/image/sprite_image.h"
#include "stage/render/compositor.h"

namespace wintrel::image {
namespace {

// The runtime's generator formula, for seeded tables.
struct Lcg {
  uint32_t state;
  uint32_t Next() {
    state = state * 214013u + 2531011u;
    return state;
  }
  int32_t Between(int32_t lo, int32_t hi) {
    return lo + static_cast<int32_t>((Next() >> 8) % static_cast<uint32_t>(hi - lo + 1));
  }
};

SpriteImage Flake(int k) {
  sim::SimDesktop services;
  return DecodePicture(services, assets::Flake(k), 0x00F0F0F0, false);
}

// Pixels of every kind: clear, opaque, partly transparent, the key colour.
SpriteImage Noise(int32_t w, int32_t h, int32_t frames, uint32_t seed, uint32_t key) {
  Lcg g{seed};
  SpriteImage img;
  img.width = w;
  img.height = h;
  for (int32_t f = 0; f < frames; ++f) {
    ImageFrame frame{key, 10 * f, std::vector<uint32_t>(static_cast<size_t>(w) * h)};
    for (uint32_t& p : frame.pixels) {
      switch (g.Next() >> 29) {
        case 0: p = kEmptyPixel; break;
        case 1: p = KeyToPixel(key == kNoColorKey ? 0 : key); break;
        case 2: p = g.Next() & 0x00FFFFFFu; break;
        default: p = g.Next(); break;
      }
    }
    img.frames.push_back(std::move(frame));
  }
  return img;
}

SpriteImage Literal(const SpriteImage& in, int32_t angle, int32_t zx, int32_t zy) {
  SpriteImage out;
  RotateImage(in, angle, out);
  ScaleImage(out, zx, zy);
  return out;
}

void ExpectSame(const SpriteImage& in, int32_t angle, int32_t zx, int32_t zy, const std::string& what) {
  const SpriteImage expected = Literal(in, angle, zx, zy);
  SpriteImage got;
  const bool made = RotateScaleImage(in, angle, zx, zy, got);
  EXPECT_EQ(made, expected.Usable()) << what;
  ASSERT_EQ(got.width, expected.width) << what;
  ASSERT_EQ(got.height, expected.height) << what;
  ASSERT_EQ(got.frames.size(), expected.frames.size()) << what;
  for (size_t f = 0; f < got.frames.size(); ++f) {
    EXPECT_EQ(got.frames[f].colorKey, expected.frames[f].colorKey) << what;
    EXPECT_EQ(got.frames[f].delay, expected.frames[f].delay) << what;
    ASSERT_TRUE(got.frames[f].pixels == expected.frames[f].pixels) << what << " frame " << f;
  }
}

std::string Name(const char* picture, int32_t angle, int32_t zx, int32_t zy) {
  return std::string(picture) + " angle " + std::to_string(angle) + " zoom " + std::to_string(zx) +
         "x" + std::to_string(zy);
}

TEST(TurnAndZoomInOneGo, GivesTheSnowflakesAsTurningThenZooming) {
  // Every picture at the spawner's angles and zooms, the right angles, the whole turns
  // and the wrap of the sine table, and a few zooms that keep, enlarge or mix.
  const int32_t angles[] = {0,   1,   45,  89,  90,  91,  100, 135, 150, 179, 180, 181, 200,
                            234, 259, 260, 263, 270, 277, 300, 359, 360, -90, -360, 720, 1000};
  const std::array<int32_t, 2> zooms[] = {{50, 50},   {65, 65},     {80, 80},    {1000, 1000},
                                          {999, 999}, {1001, 1001}, {2000, 500}, {500, 2000},
                                          {1, 1},     {0, 65},      {65, -5},    {3000, 3000}};
  for (int k = 1; k <= assets::kFlakeCount; ++k) {
    const SpriteImage flake = Flake(k);
    ASSERT_TRUE(flake.Usable());
    const std::string picture = "flake " + std::to_string(k);
    for (int32_t angle : angles)
      for (const auto& z : zooms) {
        if (z[0] == 3000 && angle % 90 != 0) continue;  // keep the table quick
        ExpectSame(flake, angle, z[0], z[1], Name(picture.c_str(), angle, z[0], z[1]));
      }
  }
}

TEST(TurnAndZoomInOneGo, GivesTheSpawnersSeededDrawsAlike) {
  std::vector<SpriteImage> flakes;
  for (int k = 1; k <= assets::kFlakeCount; ++k) flakes.push_back(Flake(k));
  Lcg g{20241211};
  for (int i = 0; i < 400; ++i) {
    const int k = g.Between(1, 8);
    const int32_t zoom = g.Between(50, 80);
    const int32_t angle = g.Between(100, 260);
    ExpectSame(flakes[static_cast<size_t>(k - 1)], angle, zoom, zoom, Name("flake", angle, zoom, zoom));
  }
}

TEST(TurnAndZoomInOneGo, GivesOddSizesFramesAndKeysAlike) {
  struct Shape {
    int32_t w, h, frames;
    uint32_t key;
  } shapes[] = {{1, 1, 1, kNoColorKey}, {1, 7, 1, 0x00F0F0F0}, {7, 1, 2, kNoColorKey},
                {3, 5, 3, 0x00123456},   {17, 11, 2, 0x00F0F0F0}, {64, 3, 1, kNoColorKey},
                {2, 99, 1, kNoColorKey}};
  Lcg g{77};
  for (const Shape& s : shapes) {
    const SpriteImage img = Noise(s.w, s.h, s.frames, g.Next(), s.key);
    const std::string what = std::to_string(s.w) + "x" + std::to_string(s.h);
    for (int32_t angle : {0, 33, 90, 180, 217, 270, 359})
      for (int32_t zoom : {50, 333, 1000, 1500, 4000}) ExpectSame(img, angle, zoom, zoom, Name(what.c_str(), angle, zoom, zoom));
    for (int i = 0; i < 20; ++i) {
      const int32_t angle = g.Between(-400, 400), zx = g.Between(-10, 3000), zy = g.Between(-10, 3000);
      ExpectSame(img, angle, zx, zy, Name(what.c_str(), angle, zx, zy));
    }
  }
}

TEST(TurnAndZoomInOneGo, RefusesWhatTheLiteralOperationsRefuse) {
  SpriteImage empty;
  SpriteImage out;
  EXPECT_FALSE(RotateScaleImage(empty, 30, 50, 50, out));
  SpriteImage broken = Noise(4, 4, 2, 5, kNoColorKey);
  broken.frames[1].pixels.pop_back();  // a frame that does not cover the picture
  EXPECT_FALSE(RotateScaleImage(broken, 30, 50, 50, out));
  EXPECT_FALSE(out.Usable());
  ExpectSame(broken, 30, 50, 50, "a frame short of pixels");
  // Zooms that round a side to nothing empty the picture on both paths.
  ExpectSame(Noise(300, 2, 1, 9, kNoColorKey), 0, 1, 1, "1 per mille of a 2-pixel side");
  ExpectSame(Noise(300, 2, 1, 9, kNoColorKey), 0, 2000, 100, "the second of two passes");
}

TEST(ImageDigest, FollowsEveryFieldOfThePicture) {
  const SpriteImage base = Noise(9, 6, 2, 3, 0x00F0F0F0);
  const uint64_t d = ImageDigest(base);
  EXPECT_EQ(ImageDigest(SpriteImage(base)), d);
  SpriteImage other = base;
  other.frames[1].pixels[53] ^= 0x01000000u;
  EXPECT_NE(ImageDigest(other), d) << "one transparency bit of the last pixel";
  other = base;
  other.frames[0].colorKey = kNoColorKey;
  EXPECT_NE(ImageDigest(other), d) << "a key";
  other = base;
  other.frames[1].delay = 11;
  EXPECT_NE(ImageDigest(other), d) << "a delay";
  other = base;
  std::swap(other.width, other.height);
  EXPECT_NE(ImageDigest(other), d) << "the same pixels in another shape";
  other = base;
  other.frames.pop_back();
  EXPECT_NE(ImageDigest(other), d) << "a frame fewer";
}

TEST(PictureCache, GivesWhatDecodingGivesAndKeepsItByBytesAndKeys) {
  sim::SimDesktop services;
  PictureCache cache(3, std::size_t{1} << 22);
  const auto first = cache.Decode(services, assets::Flake(1), 0x00F0F0F0, false);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(*first, DecodePicture(services, assets::Flake(1), 0x00F0F0F0, false));
  EXPECT_EQ(cache.Decode(services, assets::Flake(1), 0x00F0F0F0, false), first) << "kept";
  const std::vector<uint8_t> copy(assets::Flake(1).begin(), assets::Flake(1).end());
  EXPECT_EQ(cache.Decode(services, copy, 0x00F0F0F0, false), first) << "by content, not address";

  const auto keyed = cache.Decode(services, assets::Flake(1), 0x00000000, false);
  EXPECT_NE(keyed, first);
  EXPECT_EQ(*keyed, DecodePicture(services, assets::Flake(1), 0x00000000, false));
  const auto automatic = cache.Decode(services, assets::Flake(1), 0x00F0F0F0, true);
  EXPECT_EQ(*automatic, DecodePicture(services, assets::Flake(1), 0x00F0F0F0, true));
  EXPECT_EQ(cache.Size(), 3u);

  // A fourth picture pushes out the least recently used (the keyed one).
  EXPECT_EQ(cache.Decode(services, assets::Flake(1), 0x00F0F0F0, false), first);
  cache.Decode(services, assets::Flake(2), 0x00F0F0F0, false);
  EXPECT_EQ(cache.Size(), 3u);
  EXPECT_EQ(cache.Decode(services, assets::Flake(1), 0x00F0F0F0, false), first);
  EXPECT_NE(cache.Decode(services, assets::Flake(1), 0x00000000, false), keyed) << "decoded again";

  // A broken picture is kept as the empty image it decodes to; bytes of other formats
  // are the window system's to decode and are not kept at all.
  std::vector<uint8_t> cut(copy.begin(), copy.begin() + 100);
  const auto broken = cache.Decode(services, cut, 0x00F0F0F0, false);
  ASSERT_NE(broken, nullptr);
  EXPECT_FALSE(broken->Usable());
  const std::vector<uint8_t> bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(cache.Decode(services, bmp, 0x00F0F0F0, false), nullptr);
  EXPECT_EQ(cache.Decode(services, {}, 0x00F0F0F0, false), nullptr);
}

TEST(PictureCache, KeepsNoPictureAboveItsPixelLimit) {
  sim::SimDesktop services;
  PictureCache cache(8, 1000);  // fewer pixels than any snowflake has
  const auto a = cache.Decode(services, assets::Flake(3), 0x00F0F0F0, false);
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(a->Usable());
  EXPECT_EQ(cache.Size(), 0u);
  EXPECT_NE(cache.Decode(services, assets::Flake(3), 0x00F0F0F0, false), a);
}

}  // namespace
}  // namespace wintrel::image

namespace wintrel::stage {
namespace {

// BlendImageFast over BlendImage: random pictures over random destinations, at every
// kind of percentage, with and without a key, clipped on every side.
TEST(BlendImageFast, LaysPixelsAsBlendImageDoes) {
  image::Lcg g{4242};
  const int32_t percents[] = {-300, -50, -1, 0, 1, 2, 50, 99, 100, 101, 1000};
  const uint32_t keys[] = {image::kNoColorKey, 0x00F0F0F0, 0x00000000};
  for (int32_t percent : percents)
    for (uint32_t key : keys)
      for (int round = 0; round < 6; ++round) {
        const int32_t sw = g.Between(1, 40), sh = g.Between(1, 30);
        const int32_t dw = g.Between(1, 50), dh = g.Between(1, 40);
        const image::SpriteImage src = image::Noise(sw, sh, 1, g.Next(), key);
        std::vector<uint32_t> dst(static_cast<size_t>(dw) * dh);
        for (uint32_t& p : dst) p = g.Next();
        std::vector<uint32_t> fast = dst;
        const int32_t dx = g.Between(-10, dw), dy = g.Between(-10, dh);
        const int32_t sx = g.Between(-2, sw), sy = g.Between(-2, sh);
        const int32_t w = g.Between(0, sw + 5), h = g.Between(0, sh + 5);
        BlendImage(dst.data(), dw, dh, src.frames[0].pixels.data(), sw, sh, dx, dy, sx, sy, w, h,
                   percent, key);
        BlendImageFast(fast.data(), dw, dh, src.frames[0].pixels.data(), sw, sh, dx, dy, sx, sy, w, h,
                       percent, key);
        ASSERT_TRUE(fast == dst) << "percent " << percent << " key " << key << " round " << round;
      }
}

}  // namespace
}  // namespace wintrel::stage
