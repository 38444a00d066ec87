// Bad bytes reaching the running program where outside bytes come in: pictures written
// into the template (as the spawner writes its snowflakes) and icon files handed to the
// tray. Each gets what a user sees: a flake that is never drawn, or no tray icon, and
// the program runs on.
#include <gtest/gtest.h>

#include <zlib.h>

#include "assets/assets.h"
#include "tests/app/program_fixture.h"
#include "tests/image/fixtures.h"

namespace wintrel::app {
namespace {

using Bytes = std::vector<uint8_t>;
namespace t = image::testing;

Bytes Of(std::span<const uint8_t> s) { return Bytes(s.begin(), s.end()); }
Bytes First(std::span<const uint8_t> s, std::size_t n) { return Bytes(s.begin(), s.begin() + n); }

void Be32(Bytes& b, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
void Le32(Bytes& b, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The first snowflake with its header saying width x height, the header's checksum made
// right again.
Bytes FlakeClaiming(uint32_t width, uint32_t height) {
  Bytes b = Of(assets::Flake(1));
  Be32(b, 16, width);
  Be32(b, 20, height);
  Be32(b, 29, static_cast<uint32_t>(crc32(0, b.data() + 12, 17)));
  return b;
}

t::GifFrame Filled(uint8_t index) {
  t::GifFrame f;
  f.width = f.height = 40;
  f.indices.assign(1600, index);
  return f;
}

// A GIF of 40 x 40 (large enough to keep a pixel or two at a flake's zoom) whose image
// number `broken` (from 0) has a code stream that starts with a code no encoder writes.
Bytes GifBrokenAt(std::size_t broken) {
  t::GifLayout layout;
  layout.width = layout.height = 40;
  layout.globalTable = {{0, 0, 0}, {200, 220, 255}, {255, 0, 0}, {0, 0, 255}};
  layout.frames = {Filled(1), Filled(2)};
  t::GifLayout before = layout;
  before.frames.resize(broken);
  Bytes out = t::WriteGif(before);
  out.pop_back();  // the trailer
  // The image descriptor, a graphic control extension first, then a stream of code 7
  // (minimum code size 2: clear is 4, so a first code of 7 cannot be).
  out.insert(out.end(), {0x21, 0xF9, 4, 0, 10, 0, 0, 0});
  out.insert(out.end(), {0x2C, 0, 0, 0, 0, 8, 0, 8, 0, 0, 2, 1, 0x07, 0, 0x3B});
  return out;
}

// A 4 x 2 BMP of 8 bits with run-length compression.
Bytes RunLengthBitmap() {
  Bytes b(14 + 40 + 4 * 2 + 6, 0);
  b[0] = 'B';
  b[1] = 'M';
  Le32(b, 2, static_cast<uint32_t>(b.size()));
  Le32(b, 10, 14 + 40 + 8);
  Le32(b, 14, 40);
  Le32(b, 18, 4);
  Le32(b, 22, 2);
  b[26] = 1;
  b[28] = 8;
  Le32(b, 30, 1);  // BI_RLE8
  Le32(b, 46, 2);
  const uint8_t rows[] = {4, 1, 0, 0, 0, 1};  // four of colour 1, end of line, end
  std::copy(std::begin(rows), std::end(rows), b.begin() + 14 + 40 + 8);
  return b;
}

class BadInputs : public ProgramOnSim {
 protected:
  void SetUp() override {
    ProgramOnSim::SetUp();
    desk.SetTimeLimit(60000);
  }
};

TEST_F(BadInputs, PicturesThatDoNotDecodeGiveFlakesThatAreNeverDrawn) {
  Bytes random(64);
  for (std::size_t i = 0; i < random.size(); ++i) random[i] = static_cast<uint8_t>(i * 151 + 7);
  Bytes badChecksum = Of(assets::Flake(1));
  badChecksum[29] ^= 0xFF;
  Bytes zeroScreen = Of(assets::DesignGif());
  std::fill(zeroScreen.begin() + 6, zeroScreen.begin() + 10, 0);
  const Bytes cutBitmap = [] {
    Bytes b(69, 0);
    b[0] = 'B';
    b[1] = 'M';
    Le32(b, 14, 108);  // a BITMAPV4HEADER, cut short
    Le32(b, 18, 2);
    Le32(b, 22, 1);
    b[26] = 1;
    b[28] = 32;
    Le32(b, 30, 3);
    return b;
  }();

  struct Case {
    const char* what;
    Bytes bytes;
    bool drawn;
  };
  const std::vector<Case> cases = {
      {"no bytes", {}, false},
      {"five bytes", {'G', 'I', 'F', '8', '9'}, false},
      {"a PNG signature alone", First(assets::Flake(1), 8), false},
      {"a PNG whose header checksum is wrong", badChecksum, false},
      {"a PNG 20000 pixels wide", FlakeClaiming(20000, 300), false},
      {"a PNG of 16384 x 16384 pixels", FlakeClaiming(16384, 16384), false},
      {"a PNG cut inside its image data", First(assets::Flake(1), 2000), false},
      {"a GIF header and screen alone", First(assets::DesignGif(), 13), false},
      {"a GIF screen of 0 x 0", zeroScreen, false},
      {"a GIF whose first code stream breaks", GifBrokenAt(0), false},
      {"a GIF whose second code stream breaks", GifBrokenAt(1), true},
      {"a BMP whose larger header is cut short", cutBitmap, false},
      {"a BMP with run-length compression", RunLengthBitmap(), false},
      {"64 bytes of no format", random, false},
  };
  std::vector<stage::ObjectId> ids;
  std::vector<bool> drawn;
  std::size_t flakesDrawnAfter = 0;
  bool stillRunning = false;
  desk.At(500, [&] {
    for (const Case& c : cases) {
      gRt->WriteUnitProperty(kWindowId, kFlakeTemplate, kPropPicture, runtime::PropertyValue::Bytes(c.bytes));
      const stage::ObjectId id = Box()->CreateObject(Template(), 600, 300);
      ids.push_back(id);
      const stage::Sprite* s = Box()->FindObject(id);
      drawn.push_back(s != nullptr && stage::Usable(s->prepared));
    }
  });
  // The spawner's next pictures are good again, and their flakes are drawn.
  desk.At(2000, [&] {
    stillRunning = desk.IsWindow(gRt->GetWindowHandle(kWindowId, kWindowUnit));
    for (const auto& s : Box()->Sprites()) flakesDrawnAfter += stage::Usable(s->prepared) ? 1 : 0;
    desk.PressKey(ws::VK_ESCAPE);
  });
  EXPECT_EQ(runtime::RunProcess(desk, image), 0u);
  ASSERT_EQ(ids.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].what);
    EXPECT_GT(ids[i], 0);  // a sprite all the same, with an id of its own
    EXPECT_EQ(drawn[i], cases[i].drawn);
  }
  EXPECT_TRUE(stillRunning);
  EXPECT_GE(flakesDrawnAfter, 5u);
  EXPECT_EQ(desk.MessageBoxCount(), 0);
  EXPECT_EQ(desk.LiveBitmaps(), 0u);
}

TEST_F(BadInputs, IconBytesThatGiveNoIconLeaveTheTrayEmptyAndTheRunGoesOn) {
  const Bytes good = Of(assets::Icon());
  auto with = [&](std::size_t at, std::initializer_list<uint8_t> bytes) {
    Bytes b = good;
    std::copy(bytes.begin(), bytes.end(), b.begin() + at);
    return b;
  };
  struct Case {
    const char* what;
    Bytes bytes;
    bool icon;
  };
  const std::vector<Case> cases = {
      {"no bytes", {}, false},
      {"five bytes", First(good, 5), false},
      {"type 3", with(2, {3, 0}), false},
      {"no images", with(4, {0, 0}), false},
      // The second entry is read from the image's header and points nowhere; the
      // 32-pixel choice still finds the first image.
      {"two images listed, one there", with(4, {2, 0}), true},
      {"the image's offset past the end", with(18, {0xFF, 0xFF, 0, 0}), false},
      {"the image's size past the end", with(14, {0xFF, 0xFF, 0, 0}), false},
      {"an image header of width 0", with(22 + 4, {0, 0, 0, 0}), false},
      {"an image header 2000 pixels wide", with(22 + 4, {0xD0, 0x07, 0, 0}), false},
      {"an image header twice as tall as its rows", with(22 + 8, {128, 0, 0, 0}), false},
      {"an image of 7 bits per pixel", with(22 + 14, {7, 0}), false},
  };
  std::vector<std::size_t> iconsAfter;
  std::size_t iconsRestored = 0;
  desk.At(500, [&] {
    for (const Case& c : cases) {
      gRt->SetTrayIcon(kWindowId, c.bytes, kTooltip);
      iconsAfter.push_back(desk.TrayIcons().size());
      gRt->SetTrayIcon(kWindowId, good, kTooltip);  // back for the next case
      iconsRestored += desk.TrayIcons().size();
    }
  });
  desk.At(1000, [&] { desk.PressKey(ws::VK_ESCAPE); });
  EXPECT_EQ(runtime::RunProcess(desk, image), 0u);
  ASSERT_EQ(iconsAfter.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].what);
    // Without an icon from the bytes the one that was there is taken away.
    EXPECT_EQ(iconsAfter[i], cases[i].icon ? 1u : 0u);
  }
  EXPECT_EQ(iconsRestored, cases.size());
  EXPECT_EQ(desk.MessageBoxCount(), 0);
  EXPECT_EQ(desk.LiveIcons(), 0u);
}

}  // namespace
}  // namespace wintrel::app
