// Any bytes at all give an image or an empty image: truncations and byte changes of good
// PNG and GIF files must neither crash nor produce a malformed image. Best run under the
// sanitizer preset.
#include <png.h>

#include <gtest/gtest.h>

#include "stage/image/sprite_image.h"
#include "tests/image/fixtures.h"

namespace wintrel::image {
namespace {

using testing::Bytes;

void ExpectSound(const SpriteImage& image, int32_t width, int32_t height, const char* what, size_t at) {
  if (image.frames.empty()) {
    EXPECT_EQ(image.width, 0) << what << " " << at;
    return;
  }
  ASSERT_EQ(image.width, width) << what << " " << at;
  ASSERT_EQ(image.height, height) << what << " " << at;
  for (const ImageFrame& f : image.frames) {
    ASSERT_EQ(f.pixels.size(), static_cast<size_t>(width) * height) << what << " " << at;
  }
}

Bytes SamplePng(bool interlaced) {
  testing::PngLayout s;
  s.width = 9;
  s.height = 7;
  s.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
  s.interlaced = interlaced;
  for (uint32_t i = 0; i < 9 * 7 * 4; ++i) s.samples.push_back((i * 37) % 256);
  return testing::WritePng(s);
}

Bytes SampleGif() {
  testing::GifLayout layout;
  layout.width = 12;
  layout.height = 10;
  layout.loopExtension = true;
  layout.comment = true;
  for (int i = 0; i < 8; ++i) layout.globalTable.push_back({static_cast<uint8_t>(i * 30), 0, static_cast<uint8_t>(255 - i)});
  for (int k = 0; k < 3; ++k) {
    testing::GifFrame f;
    f.left = static_cast<uint16_t>(k);
    f.top = static_cast<uint16_t>(k);
    f.width = 9;
    f.height = 8;
    f.interlaced = k == 1;
    f.disposal = k + 1;
    f.transparent = k == 2;
    for (int i = 0; i < 72; ++i) f.indices.push_back(static_cast<uint8_t>((i * (k + 3)) % 8));
    layout.frames.push_back(f);
  }
  return testing::WriteGif(layout);
}

TEST(Robustness, EveryTruncationDecodesSoundly) {
  testing::FakeServices services;
  const std::pair<const char*, Bytes> samples[] = {
      {"png", SamplePng(false)}, {"interlaced png", SamplePng(true)}, {"gif", SampleGif()}};
  for (const auto& [name, bytes] : samples) {
    const int32_t w = name[0] == 'g' ? 12 : 9, h = name[0] == 'g' ? 10 : 7;
    ASSERT_TRUE(DecodePicture(services, bytes, 0, false).Usable()) << name;
    for (size_t n = 0; n < bytes.size(); ++n) {
      const SpriteImage image = DecodePicture(services, std::span(bytes).first(n), 0, false);
      ExpectSound(image, w, h, name, n);
    }
  }
  EXPECT_EQ(services.liveBitmaps, 0);
}

TEST(Robustness, ChangedBytesDecodeSoundly) {
  testing::FakeServices services;
  const std::pair<const char*, Bytes> samples[] = {{"png", SamplePng(true)}, {"gif", SampleGif()}};
  uint32_t seed = 2024;
  auto next = [&seed] { seed = seed * 1664525u + 1013904223u; return seed >> 8; };
  for (const auto& [name, original] : samples) {
    for (int round = 0; round < 3000; ++round) {
      Bytes bytes = original;
      const int changes = 1 + static_cast<int>(next() % 4);
      for (int c = 0; c < changes; ++c) {
        // Keep the signature, so the format's own decoder sees the damage.
        const size_t at = 8 + next() % (bytes.size() - 8);
        bytes[at] = static_cast<uint8_t>(next());
      }
      const SpriteImage image = DecodePicture(services, bytes, 0, false);
      if (!image.frames.empty()) {
        ASSERT_GT(image.width, 0);
        ASSERT_GT(image.height, 0);
        ASSERT_LE(static_cast<int64_t>(image.width) * image.height, kMaxPicturePixels);
        for (const ImageFrame& f : image.frames) {
          ASSERT_EQ(f.pixels.size(), static_cast<size_t>(image.width) * image.height) << name << round;
        }
      }
    }
  }
}

TEST(Robustness, RandomCodeStreamsEndOrFillTheImage) {
  // A GIF header, a 16 x 16 image and random bytes as its code stream.
  uint32_t seed = 7;
  auto next = [&seed] { seed = seed * 1664525u + 1013904223u; return seed >> 8; };
  testing::FakeServices services;
  for (int round = 0; round < 2000; ++round) {
    Bytes out = {'G', 'I', 'F', '8', '9', 'a', 16, 0, 16, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255};
    out.insert(out.end(), {0x2C, 0, 0, 0, 0, 16, 0, 16, 0, static_cast<uint8_t>(round % 2 ? 0x40 : 0)});
    Bytes stream(1 + next() % 600);
    for (uint8_t& b : stream) b = static_cast<uint8_t>(next());
    const Bytes data = testing::ImageData(2 + static_cast<int>(next() % 10), stream);
    out.insert(out.end(), data.begin(), data.end());
    out.push_back(0x3B);
    ExpectSound(DecodePicture(services, out, 0, false), 16, 16, "stream", static_cast<size_t>(round));
  }
}

}  // namespace
}  // namespace wintrel::image
