// The snowfall program on the simulated desktop, driven as a user would drive it.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "tests/app/program_fixture.h"
#include "app/handlers.h"
#include "app/ids.h"
#include "app/program.h"
#include "platform/sim/sim_desktop.h"
#include "stage/render/cartoon_box.h"
#include "stage/sprites/cartoon_object.h"

namespace wintrel::app {
namespace {

using sim::SimDesktop;

// The desktop below: a picture no flake pixel can match by chance.
ws::PixelBlock DesktopPicture(int32_t w, int32_t h) {
  ws::PixelBlock p;
  p.width = w;
  p.height = h;
  p.pixels.resize(static_cast<std::size_t>(w) * h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      p.pixels[static_cast<std::size_t>(y) * w + x] =
          0x00204000u | static_cast<uint32_t>((x * 7 + y * 3) & 0x3F);
  return p;
}

using Program = ProgramOnSim;

TEST_F(Program, SlotsFillInOrderAndWrapAround) {
  // Poll often enough to see every tick: each one advances the cursor by one.
  std::vector<std::pair<int32_t, int32_t>> seen;  // (cursor, id in that slot)
  std::optional<uint32_t> expiryOf101, created101;
  for (uint32_t t = 10; t < 20600; t += 10)
    desk.At(t, [&] {
      if (FlakeSlots == nullptr || FlakeCursor == 0) return;
      if (!seen.empty() && seen.back().first == FlakeCursor) return;
      seen.emplace_back(FlakeCursor, FlakeSlots->Elements()[FlakeCursor - 1]);
      if (seen.size() == 101) {
        const stage::Sprite* s = Box()->FindObject(seen.back().second);
        ASSERT_NE(s, nullptr);
        expiryOf101 = s->expiry;
        created101 = desk.TickCount();
      }
    });
  desk.At(20600, [&] { Close(); });
  EXPECT_EQ(Run(), 0u);
  ASSERT_GE(seen.size(), 101u);
  for (std::size_t k = 0; k < 100; ++k) {
    EXPECT_EQ(seen[k].first, static_cast<int32_t>(k + 1));
    EXPECT_EQ(seen[k].second, static_cast<int32_t>(k + 1));  // ids 1, 2, 3, ...
  }
  EXPECT_EQ(seen[100].first, 1);
  EXPECT_EQ(seen[100].second, 101);
  ASSERT_TRUE(expiryOf101.has_value());
  // The lifetime went to the flake of the same tick: ten seconds from its creation.
  EXPECT_LE(static_cast<int32_t>(*expiryOf101 - *created101), 10000);
  EXPECT_GT(static_cast<int32_t>(*expiryOf101 - *created101), 10000 - 20);
}

TEST_F(Program, FirstSpawnAbout200msAfterCreationAndStageFollowsTheWindow) {
  bool noneAt190 = false, oneAt230 = false;
  ws::Rect stageRect, windowRect;
  desk.At(190, [&] { noneAt190 = Box()->NextId() == 1; });
  desk.At(230, [&] { oneAt230 = Box()->NextId() == 2; });
  desk.At(1000, [&] {
    stageRect = desk.GetWindowRect(Box()->Window());
    windowRect = desk.GetWindowRect(Window());
    Close();
  });
  EXPECT_EQ(Run(), 0u);
  EXPECT_TRUE(noneAt190);
  EXPECT_TRUE(oneAt230);
  EXPECT_EQ(windowRect, desk.WorkArea());
  EXPECT_EQ(stageRect, windowRect);
}

TEST_F(Program, MoveControlToTheCurrentRectangleNeitherMovesNorRepaints) {
  int32_t paintsBefore = 0, paintsAfter = 0;
  std::size_t moves = 0;
  desk.At(500, [&] {
    desk.UpdateWindow(Box()->Window());
    desk.SetTrace(true);
    paintsBefore = desk.PaintCount(Box()->Window());
    const ws::Rect r = desk.GetWindowRectInParent(Box()->Window());
    gRt->MoveControl(kWindowId, kStage, r.left, r.top, r.Width(), r.Height());
    for (const auto& m : desk.Trace())
      if (m.hwnd == Box()->Window() && (m.message == ws::WM_WINDOWPOSCHANGED || m.message == ws::WM_SIZE))
        ++moves;
    desk.SetTrace(false);
    paintsAfter = desk.PaintCount(Box()->Window());
    Close();
  });
  EXPECT_EQ(Run(), 0u);
  EXPECT_EQ(moves, 0u);
  EXPECT_EQ(paintsAfter, paintsBefore);
}

TEST_F(Program, TemplateKeepsTheLastZoomAndSpritesTakeIt) {
  int32_t templateZoom = 0;
  int32_t spriteZoomX = 0, spriteZoomY = 0;
  desk.At(1010, [&] {
    templateZoom = gRt->ReadUnitProperty(kWindowId, kFlakeTemplate, kPropZoom).value;
    const stage::Sprite* last = Box()->FindObject(Box()->NextId() - 1);
    ASSERT_NE(last, nullptr);
    spriteZoomX = last->zoomX;
    spriteZoomY = last->zoomY;
    Close();
  });
  EXPECT_EQ(Run(), 0u);
  EXPECT_GE(templateZoom, 50);
  EXPECT_LE(templateZoom, 80);
  EXPECT_EQ(spriteZoomX, templateZoom);
  EXPECT_EQ(spriteZoomY, templateZoom);
}

TEST_F(Program, AfterTenSecondsFlakesFallAndEverythingElseShowsTheDesktop) {
  const ws::PixelBlock desktop = DesktopPicture(1920, 1080);
  desk.SetDesktopPicture(desktop);
  // A plain window below the overlay that records the clicks reaching it.
  struct Probe {
    SimDesktop* desk = nullptr;
    int32_t clicks = 0;
  } probe{&desk};
  ws::ClassDesc cls{"Probe", 0, true};
  desk.RegisterClass(cls);
  ws::CreateDesc d;
  d.className = "Probe";
  d.style = ws::WS_POPUP | ws::WS_VISIBLE;
  d.x = 0;
  d.y = 0;
  d.width = 1920;
  d.height = 1040;
  d.context = &probe;
  d.proc = [](void* ctx, ws::Hwnd h, uint32_t m, std::uintptr_t wp, std::intptr_t lp) -> std::intptr_t {
    auto* self = static_cast<Probe*>(ctx);
    if (m == ws::WM_LBUTTONDOWN) ++self->clicks;
    return self->desk->DefWindowProc(h, m, wp, lp);
  };
  const ws::Hwnd probeWindow = desk.CreateWindow(d);
  ASSERT_NE(probeWindow, 0u);

  std::size_t flakes = 0, mismatches = 0, checked = 0;
  int32_t clicksOnClear = -1;
  ws::Hwnd hitClear = 0, hitFlake = 0, stageWindow = 0;
  desk.At(10000, [&] {
    stage::CartoonBox* box = Box();
    desk.UpdateWindow(box->Window());
    const ws::PixelBlock screen = desk.CaptureScreen();
    const ws::PixelBlock probePixels = desk.ClientPixels(probeWindow);
    // Where each flake draws something: an opaque or partly transparent pixel.
    std::vector<uint8_t> covered(static_cast<std::size_t>(screen.width) * screen.height, 0);
    std::optional<ws::Point> opaque;
    const ws::Rect client = desk.GetWindowRect(box->Window());
    for (const auto& s : box->Sprites()) {
      if (!stage::Usable(s->prepared)) continue;
      ++flakes;
      const auto& img = *s->prepared;
      const int32_t x0 = static_cast<int32_t>(s->x) + client.left;
      const int32_t y0 = static_cast<int32_t>(s->y) + client.top;
      for (int32_t y = 0; y < img.height; ++y)
        for (int32_t x = 0; x < img.width; ++x) {
          const int32_t sx = x0 + x, sy = y0 + y;
          if (sx < client.left || sy < client.top || sx >= client.right || sy >= client.bottom) continue;
          const uint32_t p = img.frames[s->frame].pixels[static_cast<std::size_t>(y) * img.width + x];
          if ((p >> 24) == 255) continue;
          covered[static_cast<std::size_t>(sy) * screen.width + sx] = 1;
          if ((p >> 24) == 0 && !opaque) opaque = ws::Point{sx, sy};
        }
    }
    std::optional<ws::Point> clear;
    for (int32_t y = client.top; y < client.bottom; ++y)
      for (int32_t x = client.left; x < client.right; ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * screen.width + x;
        if (covered[i]) continue;
        ++checked;
        // What lies below the overlay shows through: here the probe window's surface.
        if (screen.pixels[i] != probePixels.pixels[i]) ++mismatches;
        if (!clear && x > 10 && y > 10) clear = ws::Point{x, y};
      }
    ASSERT_TRUE(clear.has_value());
    ASSERT_TRUE(opaque.has_value());
    // Hit-testing: the clear point belongs to the window below, the flake pixel to the stage.
    hitClear = desk.WindowFromPoint(clear->x, clear->y);
    hitFlake = desk.WindowFromPoint(opaque->x, opaque->y);
    stageWindow = box->Window();
    // And a real click on the clear point reaches the probe.
    desk.Click(clear->x, clear->y);
  });
  desk.At(10100, [&] {
    clicksOnClear = probe.clicks;
    Close();
  });
  EXPECT_EQ(Run(), 0u);
  // Five a second for ten seconds, less the fast ones that have already landed.
  EXPECT_GE(flakes, 30u);
  EXPECT_LE(flakes, 55u);
  EXPECT_GT(checked, 1000000u);
  EXPECT_EQ(mismatches, 0u);
  EXPECT_EQ(hitClear, probeWindow);
  EXPECT_EQ(hitFlake, stageWindow);
  EXPECT_EQ(clicksOnClear, 1);
}

TEST_F(Program, TrayMenuAboutBoxAndExit) {
  std::vector<std::string> items;
  std::vector<uint32_t> itemFlags;
  ws::Rect menuRect;
  ws::Point cursor, requested;
  std::optional<sim::MessageBoxInfo> box;
  bool windowDisabled = false;
  int32_t idsBeforeBox = 0, idsAfterBox = 0;
  desk.At(1000, [&] {
    desk.ClickTrayIcon(sim::TrayClick::Right);
  });
  desk.At(1100, [&] {
    auto menu = desk.OpenMenu();
    ASSERT_TRUE(menu.has_value());
    for (const auto& i : menu->items) {
      items.push_back(i.text);
      itemFlags.push_back(i.flags);
    }
    menuRect = menu->screenRect;
    requested = menu->requested;
    cursor = desk.GetCursorPos();
    desk.ChooseMenuItemByText(kTextAbout);
  });
  desk.At(1200, [&] {
    box = desk.OpenMessageBox();
    windowDisabled = !desk.IsWindowEnabled(Window());
    idsBeforeBox = Box()->NextId();
  });
  desk.At(3200, [&] {
    idsAfterBox = Box()->NextId();
    desk.CloseMessageBox();
  });
  desk.At(3400, [&] { desk.ClickTrayIcon(sim::TrayClick::Right); });
  desk.At(3500, [&] { desk.ChooseMenuItemByText(kTextExit); });
  EXPECT_EQ(Run(), 0u);
  EXPECT_EQ(items, (std::vector<std::string>{kTextAbout, kTextExit}));
  EXPECT_EQ(itemFlags, (std::vector<uint32_t>{ws::MF_STRING, ws::MF_STRING}));
  EXPECT_EQ(requested, (ws::Point{cursor.x - 5, cursor.y - 5}));
  EXPECT_EQ(menuRect.right, requested.x);  // right-aligned at the cursor less 5
  EXPECT_LE(menuRect.bottom, 1080);         // kept within the screen
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->title, kAboutTitle);
  EXPECT_EQ(box->text, kAboutText);
  EXPECT_EQ(box->flags, 0x2040u);
  EXPECT_EQ(box->owner, 0u);
  EXPECT_TRUE(windowDisabled);
  EXPECT_GE(idsAfterBox - idsBeforeBox, 8);  // snow kept falling while the box was open
  EXPECT_TRUE(desk.TrayIcons().empty());
  EXPECT_LT(desk.ElapsedMs(), 4000u);
}

}  // namespace
}  // namespace wintrel::app
