// Pictures and text on the simulated desktop: BMP decoding, surfaces, fonts and icons.
#include <gtest/gtest.h>

#include "tests/sim/sim_test_util.h"

namespace wintrel::sim::test {
namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A BMP file of w x h with `bpp` bits; `pixel(x, y)` gives 0x00RRGGBB (or a palette index
// for 8 bits); rows top-down in the file when topDown.
std::vector<uint8_t> Bmp(int32_t w, int32_t h, int bpp, bool topDown,
                         const std::function<uint32_t(int, int)>& pixel,
                         const std::vector<uint32_t>& palette = {}) {
  const size_t stride = ((static_cast<size_t>(w) * bpp + 31) / 32) * 4;
  const size_t offBits = 14 + 40 + palette.size() * 4;
  std::vector<uint8_t> b(offBits + stride * h, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  Put32(b, 10, static_cast<uint32_t>(offBits));
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<uint32_t>(w));
  Put32(b, 22, static_cast<uint32_t>(topDown ? -h : h));
  Put16(b, 26, 1);
  Put16(b, 28, static_cast<uint32_t>(bpp));
  Put32(b, 46, static_cast<uint32_t>(palette.size()));
  for (size_t i = 0; i < palette.size(); ++i) Put32(b, 54 + i * 4, palette[i]);
  for (int y = 0; y < h; ++y) {
    const size_t row = offBits + stride * static_cast<size_t>(topDown ? y : h - 1 - y);
    for (int x = 0; x < w; ++x) {
      const uint32_t p = pixel(x, y);
      if (bpp == 8) b[row + x] = static_cast<uint8_t>(p);
      if (bpp == 24) {
        b[row + x * 3] = static_cast<uint8_t>(p);
        b[row + x * 3 + 1] = static_cast<uint8_t>(p >> 8);
        b[row + x * 3 + 2] = static_cast<uint8_t>(p >> 16);
      }
      if (bpp == 32) Put32(b, row + x * 4, p);
    }
  }
  return b;
}

uint32_t Pattern(int x, int y) { return static_cast<uint32_t>((x * 40) << 16 | (y * 30) << 8 | 7); }

TEST(SimPictures, DecodesBmpOfSeveralDepthsAndDirections) {
  SimDesktop sim;
  for (int bpp : {24, 32})
    for (bool topDown : {false, true}) {
      const auto bytes = Bmp(5, 3, bpp, topDown, Pattern);
      const Hbitmap b = sim.PictureToBitmap(bytes);
      ASSERT_NE(b, 0u) << bpp << topDown;
      EXPECT_EQ(sim.BitmapSize(b)->width, 5);
      EXPECT_EQ(sim.BitmapSize(b)->height, 3);
      const auto px = sim.BitmapToPixels(b);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
          EXPECT_EQ(px->pixels[static_cast<size_t>(y) * 5 + x] & 0x00FFFFFF, Pattern(x, y));
      sim.DeleteBitmap(b);
    }
  const auto pal = Bmp(4, 2, 8, false, [](int x, int) { return static_cast<uint32_t>(x % 2); },
                       {0x00112233, 0x00445566});
  const Hbitmap p = sim.PictureToBitmap(pal);
  ASSERT_NE(p, 0u);
  const auto px = sim.BitmapToPixels(p);
  EXPECT_EQ(px->pixels[0], 0x00112233u);
  EXPECT_EQ(px->pixels[1], 0x00445566u);
  EXPECT_EQ(sim.LiveBitmaps(), 1u);
}

TEST(SimPictures, RejectsWhatIsNotABmp) {
  SimDesktop sim;
  const uint8_t junk[] = {'G', 'I', 'F', '8', '9', 'a', 0, 0};
  EXPECT_EQ(sim.PictureToBitmap(junk), 0u);
  auto truncated = Bmp(10, 10, 24, false, Pattern);
  truncated.resize(truncated.size() - 20);
  EXPECT_EQ(sim.PictureToBitmap(truncated), 0u);
  EXPECT_FALSE(sim.BitmapSize(12345));
}

TEST(SimPictures, SurfacesFillCopyAndStretch) {
  SimDesktop sim;
  uint32_t* mem = nullptr;
  const Hsurface s = sim.CreateSurface(8, 6, &mem);
  ASSERT_NE(s, 0u);
  ASSERT_NE(mem, nullptr);
  EXPECT_EQ(mem[0], 0u);
  sim.FillSurface(s, {-5, -5, 4, 3}, 0x00332211);  // 0x00BBGGRR
  EXPECT_EQ(mem[0], 0x00112233u);
  EXPECT_EQ(mem[2 * 8 + 3], 0x00112233u);
  EXPECT_EQ(mem[3 * 8 + 3], 0u);
  const Hbitmap b = sim.PictureToBitmap(Bmp(2, 2, 24, true, Pattern));
  sim.DrawBitmap(s, b, 7, 5);  // clipped to one pixel
  EXPECT_EQ(mem[5 * 8 + 7], Pattern(0, 0));
  sim.StretchBitmap(s, b, {0, 0, 8, 6}, false);
  EXPECT_EQ(mem[0], Pattern(0, 0));
  EXPECT_EQ(mem[5 * 8 + 7], Pattern(1, 1));
  EXPECT_EQ(mem[0 * 8 + 4], Pattern(1, 0));
  EXPECT_EQ(sim.CreateSurface(0, 5, &mem), 0u);
  EXPECT_EQ(mem, nullptr);
  sim.DestroySurface(s);
  EXPECT_EQ(sim.LiveSurfaces(), 0u);
}

TEST(SimPictures, TextIsMeasuredAndDrawnWithTheBuiltInFont) {
  SimDesktop sim;
  EXPECT_EQ(sim.MeasureText(0, "Wintrel").width, 7 * 6);
  EXPECT_EQ(sim.MeasureText(0, "Wintrel").height, 13);
  EXPECT_EQ(sim.MeasureText(0, "").width, 0);
  EXPECT_EQ(sim.MeasureText(0, "\xB9\xD8\xD3\xDA").width, 24);  // two GBK characters
  std::vector<uint8_t> lf(60, 0);
  Put32(lf, 0, static_cast<uint32_t>(-26));
  const Hfont big = sim.CreateFontFromLogFont(lf);
  ASSERT_NE(big, 0u);
  EXPECT_EQ(sim.MeasureText(big, "ab").width, 24);
  EXPECT_EQ(sim.MeasureText(big, "ab").height, 26);
  EXPECT_EQ(sim.CreateFontFromLogFont(std::span<const uint8_t>(lf.data(), 59)), 0u);
  const GbkText lines[] = {"Hi", "\xB9\xD8"};
  const int32_t tops[] = {0, 13};
  const PixelBlock p = sim.DrawTextLines(0, lines, tops, 0x000000FF, 0x00F0F0F0, 20, 26);
  ASSERT_EQ(p.pixels.size(), 20u * 26u);
  size_t red = 0, bg = 0;
  for (uint32_t px : p.pixels) {
    if (px == 0x00FF0000) ++red;
    if (px == 0x00F0F0F0) ++bg;
  }
  EXPECT_GT(red, 20u);
  EXPECT_EQ(red + bg, p.pixels.size());
  sim.DeleteFont(big);
  EXPECT_EQ(sim.LiveFonts(), 0u);
}

TEST(SimPictures, IconsFromAnIconImage) {
  SimDesktop sim;
  std::vector<uint8_t> img(40 + 16 * 16 * 4 + 16 * 4, 0);
  Put32(img, 0, 40);
  Put32(img, 4, 16);
  Put32(img, 8, 32);
  Put16(img, 12, 1);
  Put16(img, 14, 32);
  for (size_t i = 0; i < 16 * 16; ++i) Put32(img, 40 + i * 4, i < 16 ? 0xFF0000FF : 0x00000000);
  const Hicon ic = sim.CreateIconFromResourceEx(img, 32, 32);
  ASSERT_NE(ic, 0u);
  const auto px = sim.IconPixels(ic);
  ASSERT_TRUE(px);
  EXPECT_EQ(px->width, 32);
  // The first colour row is the bottom row: opaque blue there, transparent above.
  EXPECT_EQ(px->pixels[31 * 32 + 0], 0xFF0000FFu);
  EXPECT_EQ(px->pixels[0] >> 24, 0u);
  EXPECT_TRUE(sim.DestroyIcon(ic));
  EXPECT_FALSE(sim.DestroyIcon(ic));
  const uint8_t junk[] = {1, 2, 3};
  EXPECT_EQ(sim.CreateIconFromResourceEx(junk, 32, 32), 0u);
}

}  // namespace
}  // namespace wintrel::sim::test
