// The pool: sharing identical pictures and byte blocks, counting and freeing them.
#include <gtest/gtest.h>

#include "stage/sprites/asset_pool.h"

namespace wintrel::stage {
namespace {

image::SpriteImage Picture(int32_t w, int32_t h, uint32_t pixel, int32_t frames = 1) {
  image::SpriteImage img;
  img.width = w;
  img.height = h;
  for (int32_t f = 0; f < frames; ++f)
    img.frames.push_back(image::ImageFrame{image::kNoColorKey, 0,
                                           std::vector<uint32_t>(static_cast<size_t>(w * h), pixel)});
  return img;
}

TEST(AssetPool, EqualPicturesAreStoredOnceAsACopy) {
  AssetPool pool;
  const image::SpriteImage a = Picture(3, 2, 0x11223344);
  const image::SpriteImage b = Picture(3, 2, 0x11223344);
  const image::SpriteImage* pa = pool.AcquireImage(&a);
  const image::SpriteImage* pb = pool.AcquireImage(&b);
  ASSERT_NE(pa, nullptr);
  EXPECT_NE(pa, &a) << "a copy is pooled, not the caller's picture";
  EXPECT_EQ(pa, pb);
  EXPECT_EQ(*pa, a);
  ASSERT_EQ(pool.Entries().size(), 1u);
  EXPECT_EQ(pool.Entries()[0].kind, AssetPool::Kind::kImage);
  EXPECT_EQ(pool.CountOf(pa), 2);
  // Acquiring the pooled picture itself counts one more.
  EXPECT_EQ(pool.AcquireImage(pa), pa);
  EXPECT_EQ(pool.CountOf(pa), 3);
}

TEST(AssetPool, PicturesDifferingAnywhereAreKeptApart) {
  const image::SpriteImage base = Picture(2, 2, 0x00000000, 2);
  struct Case {
    const char* what;
    image::SpriteImage other;
  };
  std::vector<Case> cases;
  cases.push_back({"one pixel byte", base});
  cases.back().other.frames[1].pixels[3] = 0x01000000;
  cases.push_back({"a frame's key", base});
  cases.back().other.frames[0].colorKey = 0;
  cases.push_back({"a frame's delay", base});
  cases.back().other.frames[1].delay = 10;
  cases.push_back({"frame count", Picture(2, 2, 0, 1)});
  cases.push_back({"shape with equal pixel count", Picture(4, 1, 0, 2)});
  for (const Case& c : cases) {
    AssetPool pool;
    const image::SpriteImage* p1 = pool.AcquireImage(&base);
    const image::SpriteImage* p2 = pool.AcquireImage(&c.other);
    EXPECT_NE(p1, p2) << c.what;
    EXPECT_EQ(pool.Entries().size(), 2u) << c.what;
  }
}

TEST(AssetPool, AdoptingSharesAnEqualPooledPicture) {
  AssetPool pool;
  const image::SpriteImage a = Picture(2, 2, 5);
  const image::SpriteImage* pooled = pool.AcquireImage(&a);
  const image::SpriteImage* adopted = pool.AdoptImage(std::make_unique<image::SpriteImage>(a));
  EXPECT_EQ(adopted, pooled) << "the new picture is freed and the pooled one shared";
  EXPECT_EQ(pool.CountOf(pooled), 2);
  auto fresh = std::make_unique<image::SpriteImage>(Picture(2, 2, 6));
  const image::SpriteImage* raw = fresh.get();
  EXPECT_EQ(pool.AdoptImage(std::move(fresh)), raw) << "a new picture is kept itself";
  EXPECT_EQ(pool.Entries().size(), 2u);
}

TEST(AssetPool, NothingToPoolGivesNone) {
  AssetPool pool;
  image::SpriteImage empty;
  image::SpriteImage noFrames;
  noFrames.width = 2;
  noFrames.height = 2;
  EXPECT_EQ(pool.AcquireImage(nullptr), nullptr);
  EXPECT_EQ(pool.AcquireImage(&empty), nullptr);
  EXPECT_EQ(pool.AcquireImage(&noFrames), nullptr);
  EXPECT_EQ(pool.AdoptImage(std::make_unique<image::SpriteImage>()), nullptr);
  EXPECT_EQ(pool.AcquireBytes({}), nullptr);
  EXPECT_EQ(pool.AdoptBytes(std::make_unique<ByteBlock>()), nullptr);
  EXPECT_TRUE(pool.Entries().empty());
}

TEST(AssetPool, ReleaseFreesAtTheLastReference) {
  AssetPool pool;
  const image::SpriteImage a = Picture(1, 1, 1);
  const image::SpriteImage* p = pool.AcquireImage(&a);
  pool.AcquireImage(&a);
  pool.Release(p);
  EXPECT_EQ(pool.CountOf(p), 1) << "one sprite still holds it";
  pool.Release(&a);  // not a pooled item: ignored
  pool.Release(nullptr);
  EXPECT_EQ(pool.CountOf(p), 1);
  pool.Release(p);
  EXPECT_TRUE(pool.Entries().empty());
}

TEST(AssetPool, ByteBlocksMatchOnLengthAndEveryByte) {
  AssetPool pool;
  const std::vector<uint8_t> sound = {1, 2, 3};
  const ByteBlock* a = pool.AcquireBytes(sound);
  ASSERT_NE(a, nullptr);
  EXPECT_NE(a->data(), sound.data());
  EXPECT_EQ(pool.AcquireBytes(std::vector<uint8_t>{1, 2, 3}), a);
  EXPECT_NE(pool.AcquireBytes(std::vector<uint8_t>{1, 2}), a) << "a prefix is another block";
  EXPECT_NE(pool.AcquireBytes(std::vector<uint8_t>{1, 2, 4}), a);
  EXPECT_EQ(pool.AcquireBytes(*a), a) << "the pooled block itself";
  EXPECT_EQ(pool.CountOf(a), 3);
  EXPECT_EQ(pool.Entries().size(), 3u);
  const auto& entry = pool.Entries()[0];
  EXPECT_EQ(entry.kind, AssetPool::Kind::kBytes);
  EXPECT_EQ(entry.length, 3);
  pool.Clear();
  EXPECT_TRUE(pool.Entries().empty());
}

}  // namespace
}  // namespace wintrel::stage
