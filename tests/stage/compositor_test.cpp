// The compositor's pixel operations: clipping, colour keys and transparency.
#include <gtest/gtest.h>

#include <vector>

#include "stage/render/compositor.h"

namespace wintrel::stage {
namespace {

constexpr uint32_t kNoKey = 0xFF000000u;

uint32_t Px(uint32_t t, uint32_t r, uint32_t g, uint32_t b) { return (t << 24) | (r << 16) | (g << 8) | b; }

uint32_t BlendOne(uint32_t dst, uint32_t src, int32_t percent, uint32_t key = kNoKey) {
  BlendImage(&dst, 1, 1, &src, 1, 1, 0, 0, 0, 0, 1, 1, percent, key);
  return dst;
}

TEST(BlendImage, OnePixelCases) {
  const uint32_t bg = Px(0x5A, 240, 240, 240);
  struct Case {
    const char* what;
    uint32_t src;
    int32_t percent;
    uint32_t key;
    uint32_t expected;
  } cases[] = {
      {"opaque, alpha 0: copied, all four bytes", Px(0, 1, 2, 3), 0, kNoKey, Px(0, 1, 2, 3)},
      {"fully transparent: background stays", Px(255, 1, 2, 3), 0, kNoKey, bg},
      {"alpha 100 hides even an opaque pixel", Px(0, 1, 2, 3), 100, kNoKey, bg},
      {"alpha 50 over 240 with 0: 120, fourth byte kept", Px(0, 0, 0, 0), 50, kNoKey,
       Px(0x5A, 120, 120, 120)},
      {"T 127 + alpha 50 reaches 255: nothing", Px(127, 0, 0, 0), 50, kNoKey, bg},
      {"T 128: half way, each channel by MulDiv", Px(128, 0, 100, 255), 0, kNoKey,
       Px(0x5A, 120, 170, 247)},
      {"key colour skipped even when opaque (key is BBGGRR)", Px(0, 0x10, 0x20, 0x30), 0,
       0x00302010u, bg},
      {"key compares the low 24 bits only", Px(77, 0x10, 0x20, 0x30), 0, 0x00302010u, bg},
      {"key with red and blue not exchanged does not match", Px(0, 0x10, 0x20, 0x30), 0,
       0x00102030u, Px(0, 0x10, 0x20, 0x30)},
  };
  for (const Case& c : cases) EXPECT_EQ(BlendOne(bg, c.src, c.percent, c.key), c.expected) << c.what;
}

// A 4 x 3 destination of marks 100.. and a 2 x 2 source of marks 1..4.
struct Grid {
  std::vector<uint32_t> dst = std::vector<uint32_t>(12);
  const std::vector<uint32_t> src = {1, 2, 3, 4};
  Grid() {
    for (uint32_t i = 0; i < 12; ++i) dst[i] = 100 + i;
  }
  std::vector<uint32_t> Copy(int dx, int dy, int sx, int sy, int w, int h) {
    CopyPixelRect(dst.data(), 4, 3, src.data(), 2, 2, dx, dy, sx, sy, w, h);
    return dst;
  }
  std::vector<uint32_t> Blend(int dx, int dy, int sx, int sy, int w, int h) {
    BlendImage(dst.data(), 4, 3, src.data(), 2, 2, dx, dy, sx, sy, w, h, 0, kNoKey);
    return dst;
  }
};

struct ClipCase {
  const char* what;
  int dx, dy, sx, sy, w, h;
  std::vector<uint32_t> expected;
};

std::vector<ClipCase> ClipCases() {
  return {
      {"inside", 1, 1, 0, 0, 2, 2, {100, 101, 102, 103, 104, 1, 2, 107, 108, 3, 4, 111}},
      {"negative x cuts the left column", -1, 0, 0, 0, 2, 2,
       {2, 101, 102, 103, 4, 105, 106, 107, 108, 109, 110, 111}},
      {"negative y cuts the top row", 0, -1, 0, 0, 2, 2,
       {3, 4, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111}},
      {"right edge clips", 3, 0, 0, 0, 2, 2, {100, 101, 102, 1, 104, 105, 106, 3, 108, 109, 110, 111}},
      {"bottom edge clips", 0, 2, 0, 0, 2, 2, {100, 101, 102, 103, 104, 105, 106, 107, 1, 2, 110, 111}},
      {"source rectangle outside the source: nothing", 0, 0, 1, 0, 2, 2,
       {100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111}},
      {"negative source position: nothing", 0, 0, -1, 0, 1, 1,
       {100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111}},
      {"wholly right of the destination: nothing", 4, 0, 0, 0, 2, 2,
       {100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111}},
      {"wholly above: nothing", 0, -2, 0, 0, 2, 2,
       {100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111}},
      {"zero width: nothing", 0, 0, 0, 0, 0, 2,
       {100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111}},
      {"source offset", 0, 0, 1, 1, 1, 1, {4, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111}},
  };
}

TEST(CopyPixelRect, ClipsOnEverySide) {
  for (const ClipCase& c : ClipCases())
    EXPECT_EQ(Grid().Copy(c.dx, c.dy, c.sx, c.sy, c.w, c.h), c.expected) << c.what;
}

TEST(BlendImage, ClipsLikeCopyPixelRect) {
  // Marks 1..4 are opaque pixels (T = 0), so blending places them as a copy would.
  for (const ClipCase& c : ClipCases())
    EXPECT_EQ(Grid().Blend(c.dx, c.dy, c.sx, c.sy, c.w, c.h), c.expected) << c.what;
}

}  // namespace
}  // namespace wintrel::stage
