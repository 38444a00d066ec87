// The simulated screen: composition of windows and children, colour keys and alpha,
// hit-testing through keyed pixels, output clipped to the paint, and screen changes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/sim/sim_test_util.h"

namespace wintrel::sim::test {
namespace {

constexpr uint32_t kDesk = 0x00102030;  // 0x00RRGGBB

SimConfig SmallScreen() {
  SimConfig c;
  c.screenWidth = 640;
  c.screenHeight = 480;
  return c;
}

class SimScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    Register(sim);
    PixelBlock desk{4, 4, std::vector<uint32_t>(16, kDesk)};
    sim.SetDesktopPicture(desk);
  }
  SimDesktop sim{SmallScreen()};
};

// A scene: an ordinary red window below, a colour-keyed overlay over most of the screen
// whose background is the key and which shows a blue square through a child window.
struct Scene {
  Recorder below, overlay, child;
  Hwnd belowH = 0, overlayH = 0, childH = 0;

  void Build(SimDesktop& sim) {
    below.color = 0x000000FF;  // red
    belowH = Make(sim, below, {40, 40, 240, 200}, WS_POPUP | WS_VISIBLE);
    overlay.color = 0x00F0F0F0;
    overlayH = Make(sim, overlay, {0, 0, 640, 440}, WS_POPUP | WS_CLIPCHILDREN, WS_EX_TOPMOST);
    child.color = 0x00F0F0F0;
    child.hook = [&sim, this](Hwnd h, uint32_t m, std::uintptr_t,
                              std::intptr_t) -> std::optional<std::intptr_t> {
      if (m != WM_PAINT) return std::nullopt;
      PaintContext pc = sim.BeginPaint(h);
      sim.FillRect(pc, pc.clip, 0x00F0F0F0);
      const Rect sq{100, 100, 140, 140};
      sim.FillRect(pc, sq, 0x00FF0000);  // blue
      sim.EndPaint(pc);
      return 0;
    };
    childH = Make(sim, child, {0, 0, 640, 440}, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0,
                  overlayH);
    sim.SetWindowLong(overlayH, GWL_EXSTYLE,
                      sim.GetWindowLong(overlayH, GWL_EXSTYLE) | WS_EX_LAYERED);
    sim.SetLayeredWindowAttributes(overlayH, 0x00F0F0F0, 255, LWA_COLORKEY);
    sim.ShowWindow(overlayH, SW_SHOW);
    sim.PumpPending();
  }
};

TEST_F(SimScreen, ColourKeyShowsWhatLiesBelow) {
  Scene s;
  s.Build(sim);
  EXPECT_EQ(sim.ScreenPixel(120, 120), 0x000000FFu);  // the blue square (0x00RRGGBB)
  EXPECT_EQ(sim.ScreenPixel(50, 50), 0x00FF0000u);    // the red window through the key
  EXPECT_EQ(sim.ScreenPixel(300, 300), kDesk);        // the desktop through the key
  EXPECT_EQ(sim.ScreenPixel(300, 460), 0x00202020u);  // the taskbar
  const PixelBlock shot = sim.CaptureScreen();
  ASSERT_EQ(shot.width, 640);
  for (auto [x, y] : {std::pair{120, 120}, {50, 50}, {300, 300}, {639, 479}, {0, 0}})
    EXPECT_EQ(shot.pixels[static_cast<size_t>(y) * 640 + x], sim.ScreenPixel(x, y));
  if (const char* dir = std::getenv("WINTREL_SHOTS")) sim.SaveScreenPng(std::string(dir) + "/colour_key.png");
}

TEST_F(SimScreen, ClicksGoThroughKeyedPixelsToTheWindowBelow) {
  Scene s;
  s.Build(sim);
  EXPECT_EQ(sim.WindowFromPoint(120, 120), s.childH);
  EXPECT_EQ(sim.WindowFromPoint(50, 50), s.belowH);
  EXPECT_EQ(sim.WindowFromPoint(300, 300), 0u);
  s.below.got.clear();
  s.child.got.clear();
  sim.Click(50, 60);
  sim.Click(110, 130, MouseButton::Right);
  sim.PumpPending();
  ASSERT_EQ(s.below.Only({WM_LBUTTONDOWN, WM_LBUTTONUP}),
            (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
  for (const auto& g : s.below.got)
    if (g.message == WM_LBUTTONDOWN) {
      EXPECT_EQ(g.lParam, (20 << 16) | 10);  // client coordinates
      EXPECT_EQ(g.wParam, MK_LBUTTON);
    }
  EXPECT_EQ(s.child.Only({WM_RBUTTONDOWN, WM_RBUTTONUP}),
            (std::vector<uint32_t>{WM_RBUTTONDOWN, WM_RBUTTONUP}));
  EXPECT_EQ(sim.GetActiveWindow(), s.overlayH);  // the last click activated the overlay
  EXPECT_EQ(sim.GetCursorPos(), (Point{110, 130}));
}

TEST_F(SimScreen, AClickOnTheDesktopDeactivates) {
  Recorder r;
  const Hwnd h = Make(sim, r, {0, 0, 100, 100});
  ASSERT_EQ(sim.GetActiveWindow(), h);
  sim.Click(300, 300);
  EXPECT_EQ(sim.GetActiveWindow(), 0u);
}

TEST_F(SimScreen, ALayeredWindowIsInvisibleUntilItsAttributesAreSet) {
  Recorder r;
  r.color = 0x0000FF00;
  const Hwnd h = Make(sim, r, {0, 0, 100, 100}, WS_POPUP | WS_VISIBLE, WS_EX_LAYERED);
  sim.PumpPending();
  EXPECT_EQ(sim.ScreenPixel(10, 10), kDesk);
  EXPECT_EQ(sim.WindowFromPoint(10, 10), 0u);
  sim.SetLayeredWindowAttributes(h, 0, 128, LWA_ALPHA);
  const uint32_t p = sim.ScreenPixel(10, 10);
  EXPECT_EQ((p >> 8) & 0xFF, (0xFFu * 128 + 0x20 * 127 + 127) / 255);
  EXPECT_EQ(sim.WindowFromPoint(10, 10), h);
}

TEST_F(SimScreen, ChildrenAreComposedOverTheirParentWithinItsClient) {
  Recorder rp, rc;
  rp.color = 0x00FFFFFF;
  rc.color = 0x00000000;
  const Hwnd p = Make(sim, rp, {100, 100, 200, 200}, WS_POPUP | WS_VISIBLE | WS_BORDER);
  Make(sim, rc, {80, 80, 150, 150}, WS_CHILD | WS_VISIBLE, 0, p);
  sim.PumpPending();
  EXPECT_EQ(sim.ScreenPixel(100, 100), 0x00646464u);  // the border
  EXPECT_EQ(sim.ScreenPixel(150, 150), 0x00FFFFFFu);  // the parent's client
  EXPECT_EQ(sim.ScreenPixel(185, 185), 0x00000000u);  // the child
  EXPECT_EQ(sim.ScreenPixel(199, 199), 0x00646464u);  // the child is clipped to the client
  EXPECT_EQ(sim.ScreenPixel(205, 205), kDesk);
}

TEST_F(SimScreen, OutputIsClippedToThePaintsRegion) {
  Recorder r;
  const Hwnd h = Make(sim, r, {0, 0, 100, 100});
  r.color = 0x00000000;
  sim.PumpPending();  // all black
  const Rect a{0, 0, 10, 10}, b{50, 50, 60, 60};
  sim.InvalidateRect(h, &a, false);
  sim.InvalidateRect(h, &b, false);
  PaintContext pc = sim.BeginPaint(h);
  EXPECT_EQ(pc.clip, (Rect{0, 0, 60, 60}));
  std::vector<uint32_t> white(60 * 60, 0x00FFFFFF);
  sim.SetDIBitsToDevice(pc, 0, 0, 60, 60, white.data(), 60);
  sim.EndPaint(pc);
  const PixelBlock px = sim.ClientPixels(h);
  EXPECT_EQ(px.pixels[5 * 100 + 5], 0x00FFFFFFu);
  EXPECT_EQ(px.pixels[55 * 100 + 55], 0x00FFFFFFu);
  EXPECT_EQ(px.pixels[30 * 100 + 30], 0x00000000u);  // inside the box, outside the region
  ASSERT_FALSE(sim.OutputLog().empty());
  EXPECT_EQ(sim.OutputLog().back().rect, (Rect{0, 0, 60, 60}));
  // After EndPaint nothing more reaches the window.
  sim.SetDIBitsToDevice(pc, 0, 0, 60, 60, white.data(), 60);
  EXPECT_EQ(sim.ClientPixels(h).pixels[30 * 100 + 30], 0x00000000u);
}

TEST_F(SimScreen, OutputTakesEachRowFromItsStride) {
  Recorder r;
  const Hwnd h = Make(sim, r, {0, 0, 100, 100});
  r.color = 0x00000000;
  sim.PumpPending();
  sim.InvalidateRect(h, nullptr, false);
  PaintContext pc = sim.BeginPaint(h);
  // A 4 x 3 output at (20, 30) out of rows 7 pixels apart: each pixel names its column
  // and row; the three extra pixels of every row must not show.
  constexpr int32_t kStride = 7;
  std::vector<uint32_t> block(kStride * 3, 0x00FF00FF);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) block[y * kStride + x] = 0xAB000000u | (y << 8) | x;
  sim.SetDIBitsToDevice(pc, 20, 30, 4, 3, block.data(), kStride);
  // A stride shorter than the width is refused.
  sim.SetDIBitsToDevice(pc, 60, 60, 4, 3, block.data(), 3);
  sim.EndPaint(pc);
  const PixelBlock px = sim.ClientPixels(h);
  for (int32_t y = 29; y < 34; ++y)
    for (int32_t x = 19; x < 25; ++x) {
      const bool inside = x >= 20 && x < 24 && y >= 30 && y < 33;
      const uint32_t want = inside ? static_cast<uint32_t>(((y - 30) << 8) | (x - 20)) : 0u;
      EXPECT_EQ(px.pixels[y * 100 + x], want) << x << "," << y;
    }
  EXPECT_EQ(px.pixels[60 * 100 + 60], 0x00000000u);
}

TEST_F(SimScreen, ScreenChangesAreBroadcastAndMaximisedWindowsFollow) {
  Recorder r;
  const Hwnd h = Make(sim, r, {0, 0, 100, 100});
  sim.ShowWindow(h, SW_SHOWMAXIMIZED);
  EXPECT_EQ(sim.GetWindowRect(h), (Rect{0, 0, 640, 440}));
  r.got.clear();
  sim.SetScreenSize(800, 600);
  EXPECT_EQ(sim.GetSystemMetrics(SM_CXSCREEN), 800);
  EXPECT_EQ(sim.GetSystemMetrics(SM_CYSCREEN), 600);
  EXPECT_EQ(sim.WorkAreaNearest(h), (Rect{0, 0, 800, 560}));
  sim.PumpPending();
  EXPECT_EQ(r.Count(WM_DISPLAYCHANGE), 1u);
  EXPECT_EQ(sim.GetWindowRect(h), (Rect{0, 0, 800, 560}));
  sim.SetWorkArea({0, 30, 800, 600});
  sim.PumpPending();
  EXPECT_EQ(r.Count(WM_SETTINGCHANGE), 1u);
  EXPECT_EQ(sim.GetWindowRect(h), (Rect{0, 30, 800, 600}));
}

TEST_F(SimScreen, SystemColoursAndMetrics) {
  EXPECT_EQ(sim.GetSysColor(COLOR_BTNFACE), 0x00F0F0F0u);
  sim.SetSysColor(COLOR_BTNFACE, 0x00E0D0C0);
  EXPECT_EQ(sim.GetSysColor(COLOR_BTNFACE), 0x00E0D0C0u);
  EXPECT_EQ(sim.DisplayBitsPerPixel(), 32);
  sim.SetDisplayBitsPerPixel(std::nullopt);
  EXPECT_FALSE(sim.DisplayBitsPerPixel());
  SimDesktop other;
  EXPECT_EQ(other.GetSystemMetrics(SM_CXSCREEN), 1920);
  EXPECT_EQ(other.WorkArea(), (Rect{0, 0, 1920, 1040}));
}

TEST_F(SimScreen, TheDefaultDesktopHasNoKeyColouredPixel) {
  SimDesktop plain;
  const PixelBlock shot = plain.CaptureScreen();
  ASSERT_EQ(shot.pixels.size(), size_t{1920} * 1080);
  for (uint32_t p : shot.pixels) ASSERT_NE(p, 0x00F0F0F0u);
  EXPECT_NE(shot.pixels[0], shot.pixels[1000 * 1920 + 1900]);
}

}  // namespace
}  // namespace wintrel::sim::test
