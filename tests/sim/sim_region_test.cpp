// A window's update region: whatever is added, its rectangles stay disjoint, cover
// exactly what was added, and come sorted; checked pixel by pixel against a plain grid.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "platform/sim/sim_internal.h"

namespace wintrel::sim::test {
namespace {

constexpr int32_t kW = 96, kH = 72;

struct Grid {
  std::vector<uint8_t> cells = std::vector<uint8_t>(kW * kH, 0);
  void Set(const Rect& r) {
    for (int32_t y = std::max(r.top, 0); y < std::min(r.bottom, kH); ++y)
      for (int32_t x = std::max(r.left, 0); x < std::min(r.right, kW); ++x) cells[y * kW + x] = 1;
  }
};

// Disjoint, sorted, exactly the grid's cells, and bounded by Bounds().
void ExpectMatches(const Region& region, const Grid& want, const std::string& where) {
  SCOPED_TRACE(where);
  Grid got;
  Rect bounds;
  const std::vector<Rect> rects = region.Rects();
  for (size_t i = 0; i < rects.size(); ++i) {
    const Rect& r = rects[i];
    ASSERT_FALSE(r.Empty());
    if (i > 0) {
      const Rect& p = rects[i - 1];
      ASSERT_TRUE(p.top < r.top || (p.top == r.top && p.left < r.left)) << "not sorted at " << i;
    }
    for (int32_t y = r.top; y < r.bottom; ++y)
      for (int32_t x = r.left; x < r.right; ++x) {
        ASSERT_TRUE(x >= 0 && x < kW && y >= 0 && y < kH);
        ASSERT_EQ(got.cells[y * kW + x], 0) << "rectangles overlap at " << x << "," << y;
        got.cells[y * kW + x] = 1;
      }
    bounds = Union(bounds, r);
  }
  ASSERT_EQ(got.cells, want.cells);
  EXPECT_EQ(region.Bounds(), bounds);
  EXPECT_EQ(region.Empty(), rects.empty());
}

// Sprites' old and new places, as a tick marks them: small rectangles that move a little
// and overlap their last place, now and then a large or very tall one, and empty ones.
TEST(SimRegion, StaysDisjointAndExactThroughManyOverlappingAdds) {
  for (uint32_t seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
    std::mt19937 rng(seed);
    auto Between = [&](int32_t lo, int32_t hi) {
      return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
    };
    Region region;
    Grid want;
    for (int step = 0; step < 600; ++step) {
      Rect r;
      switch (Between(0, 9)) {
        case 0:  // a large block
          r = {Between(0, kW / 2), Between(0, kH / 2), Between(kW / 2, kW), Between(kH / 2, kH)};
          break;
        case 1:  // a column as tall as the area
          r = {Between(0, kW - 2), 0, 0, kH};
          r.right = r.left + Between(1, 3);
          break;
        case 2:  // nothing
          r = {10, 10, 10, 20};
          break;
        default: {  // a sprite-sized one
          const int32_t x = Between(0, kW - 8), y = Between(0, kH - 8);
          r = {x, y, x + Between(1, 8), y + Between(1, 8)};
        }
      }
      region.Add(r);
      want.Set(r);
      ExpectMatches(region, want, "seed " + std::to_string(seed) + " step " + std::to_string(step));
      if (HasFatalFailure()) return;
      if (step % 150 == 149) {  // a paint takes the region and empties it
        region.Clear();
        want = Grid{};
        ExpectMatches(region, want, "cleared");
      }
    }
  }
}

TEST(SimRegion, ClippingKeepsOnlyWhatLiesInside) {
  Region region;
  Grid want;
  const Rect adds[] = {{0, 0, 40, 30}, {30, 20, 90, 60}, {5, 50, 15, 72}, {80, 0, 96, 10}};
  for (const Rect& r : adds) region.Add(r);
  const Rect clip{10, 5, 85, 55};
  region.ClipTo(clip);
  for (const Rect& r : adds) want.Set(Intersect(r, clip));
  ExpectMatches(region, want, "clipped");
  // Added to after clipping, the region still merges correctly.
  region.Add({0, 0, 20, 20});
  want.Set({0, 0, 20, 20});
  ExpectMatches(region, want, "added after clipping");
  region.ClipTo({200, 200, 300, 300});
  ExpectMatches(region, Grid{}, "clipped away");
}

}  // namespace
}  // namespace wintrel::sim::test
