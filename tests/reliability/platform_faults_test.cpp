// The snowfall program on the simulated desktop while the platform fails under it: the
// notification area refusing the icon or restarting, the screen and the work area
// changing, and stored data that cannot be read.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/app/program_fixture.h"
#include "app/handlers.h"
#include "app/ids.h"
#include "app/program.h"
#include "app/window_definition.h"
#include "platform/sim/sim_desktop.h"
#include "stage/render/cartoon_box.h"
#include "stage/render/stage_settings.h"
#include "stage/sprites/template_settings.h"

namespace wintrel::app {
namespace {

using sim::SimDesktop;

class PlatformFaults : public ProgramOnSim {
 protected:
  // Sprites whose picture is drawn.
  std::size_t DrawnFlakes() {
    std::size_t n = 0;
    for (const auto& s : Box()->Sprites()) n += stage::Usable(s->prepared) ? 1 : 0;
    return n;
  }
};

// ---------------------------------------------------------------- notification area

TEST_F(PlatformFaults, RefusedTrayIconLeavesTheSnowFallingAndComesWithTheNextShell) {
  desk.SetShellNotifyIconFails(true);
  std::size_t iconsWhileRefused = 9, flakesWhileRefused = 0, iconsAfterRestart = 0;
  std::optional<sim::TrayIconInfo> icon;
  bool menuOpened = false;
  desk.At(3000, [&] {
    iconsWhileRefused = desk.TrayIcons().size();
    flakesWhileRefused = DrawnFlakes();
  });
  // The shell comes back and accepts icons again: its restart message brings the icon.
  desk.At(3500, [&] {
    desk.SetShellNotifyIconFails(false);
    desk.RestartShell();
  });
  desk.At(3600, [&] {
    iconsAfterRestart = desk.TrayIcons().size();
    icon = desk.FindTrayIcon(Window(), 100);
    desk.ClickTrayIcon(sim::TrayClick::Right);
  });
  desk.At(3700, [&] {
    menuOpened = desk.MenuOpen();
    desk.ChooseMenuItemByText(kTextExit);
  });
  EXPECT_EQ(Run(), 0u);
  EXPECT_GE(desk.ShellNotifyIconCalls(), 1);
  EXPECT_EQ(iconsWhileRefused, 0u);
  EXPECT_GE(flakesWhileRefused, 5u);
  EXPECT_EQ(iconsAfterRestart, 1u);
  ASSERT_TRUE(icon.has_value());
  EXPECT_EQ(icon->tip, kTooltip);
  EXPECT_EQ(icon->callbackMessage, ws::WM_TRAYNOTIFY);
  EXPECT_TRUE(menuOpened);
  EXPECT_TRUE(desk.TrayIcons().empty());
  EXPECT_EQ(desk.LiveIcons(), 0u);
  EXPECT_EQ(desk.MessageBoxCount(), 0);
}

TEST_F(PlatformFaults, RefusedTrayIconForTheWholeRunStillEndsCleanly) {
  desk.SetShellNotifyIconFails(true);
  desk.At(2000, [&] { desk.PressKey(ws::VK_ESCAPE); });
  EXPECT_EQ(Run(), 0u);
  EXPECT_TRUE(desk.TrayIcons().empty());
  EXPECT_EQ(desk.LiveIcons(), 0u);  // the icon handle made for it is destroyed all the same
  EXPECT_TRUE(desk.TopLevelWindows().empty());
}

TEST_F(PlatformFaults, TrayIconComesBackAfterEveryRestartOfTheNotificationArea) {
  std::vector<std::size_t> icons;
  std::vector<sim::TrayIconInfo> seen;
  for (uint32_t t : {1000u, 2000u, 3000u}) {
    desk.At(t, [&] { desk.RestartShell(); });
    desk.At(t + 100, [&] {
      const auto all = desk.TrayIcons();
      icons.push_back(all.size());
      if (!all.empty()) seen.push_back(all[0]);
    });
  }
  std::vector<int32_t> tray;
  desk.At(3200, [&] { desk.ClickTrayIcon(sim::TrayClick::Right); });
  desk.At(3300, [&] { desk.ChooseMenuItemByText(kTextExit); });
  EXPECT_EQ(Run(), 0u);
  EXPECT_EQ(icons, (std::vector<std::size_t>{1, 1, 1}));
  ASSERT_EQ(seen.size(), 3u);
  for (const auto& s : seen) {
    EXPECT_EQ(s.tip, kTooltip);
    EXPECT_EQ(s.id, 100u);
    EXPECT_EQ(s.icon, seen[0].icon);  // the same handle, shown again
  }
  EXPECT_TRUE(desk.TrayIcons().empty());
  EXPECT_EQ(desk.LiveIcons(), 0u);
}

// ---------------------------------------------------------------- screen and work area

struct Placement {
  ws::Rect window, stage, work;
  int32_t backgroundW = 0, backgroundH = 0;
  int32_t screenW = 0;
};

TEST_F(PlatformFaults, WindowAndStageFollowTheWorkAreaAndTheScreen) {
  std::vector<Placement> seen;
  auto look = [&] {
    Placement p;
    p.window = desk.GetWindowRect(Window());
    p.stage = desk.GetWindowRect(Box()->Window());
    p.work = desk.WorkArea();
    p.backgroundW = Box()->Background().width;
    p.backgroundH = Box()->Background().height;
    p.screenW = gRt->ScreenWidth();
    seen.push_back(p);
  };
  stage::ObjectId firstOnSmallScreen = 0;
  std::vector<int32_t> newFlakesX;
  desk.At(1000, look);
  desk.At(1500, [&] {
    desk.SetScreenSize(1280, 720);  // a smaller screen
    firstOnSmallScreen = Box()->NextId();
  });
  desk.At(2000, look);
  desk.At(2100, [&] {
    for (const auto& s : Box()->Sprites())
      if (s->id >= firstOnSmallScreen) newFlakesX.push_back(static_cast<int32_t>(s->x));
  });
  desk.At(2500, [&] { desk.SetScreenSize(2560, 1440); });  // a larger one
  desk.At(3000, look);
  desk.At(3500, [&] { desk.SetWorkArea({0, 60, 2560, 1440}); });  // the taskbar moves to the top
  desk.At(4000, look);
  desk.At(4100, [&] { Close(); });
  EXPECT_EQ(Run(), 0u);
  ASSERT_EQ(seen.size(), 4u);
  const ws::Rect expected[] = {{0, 0, 1920, 1040}, {0, 0, 1280, 680}, {0, 0, 2560, 1400}, {0, 60, 2560, 1440}};
  for (std::size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(seen[i].work, expected[i]);
    EXPECT_EQ(seen[i].window, expected[i]);
    EXPECT_EQ(seen[i].stage, expected[i]);
    EXPECT_EQ(seen[i].backgroundW, expected[i].Width());
    EXPECT_EQ(seen[i].backgroundH, expected[i].Height());
  }
  EXPECT_EQ(seen[1].screenW, 1280);
  EXPECT_EQ(seen[2].screenW, 2560);
  // Flakes released after the change start on the new screen's top edge (and have had
  // half a second to drift at most a few pixels a tick sideways).
  ASSERT_GE(newFlakesX.size(), 2u);
  for (int32_t x : newFlakesX) EXPECT_LE(x, 1280 + 200);
}

// The system may leave a window it no longer counts as maximised where it was; the
// runtime places the window over the new work area all the same.
TEST_F(PlatformFaults, WorkAreaChangeReplacesTheWindowEvenWhenTheSystemLeavesItAlone) {
  ws::Rect window, stage;
  desk.At(1000, [&] {
    const ws::Hwnd h = Window();
    desk.SetWindowLong(h, ws::GWL_STYLE, desk.GetWindowLong(h, ws::GWL_STYLE) & ~static_cast<int32_t>(ws::WS_MAXIMIZE));
    ASSERT_FALSE(desk.IsZoomed(h));
    desk.SetWorkArea({100, 0, 1920, 1080});  // the taskbar moves to the left
  });
  desk.At(1500, [&] {
    window = desk.GetWindowRect(Window());
    stage = desk.GetWindowRect(Box()->Window());
    desk.SetScreenSize(1024, 768);
  });
  ws::Rect windowAfterScreen;
  desk.At(2000, [&] {
    windowAfterScreen = desk.GetWindowRect(Window());
    Close();
  });
  EXPECT_EQ(Run(), 0u);
  EXPECT_EQ(window, (ws::Rect{100, 0, 1920, 1080}));
  EXPECT_EQ(stage, window);
  EXPECT_EQ(windowAfterScreen, (ws::Rect{100, 0, 1024, 768}));
}

// ---------------------------------------------------------------- stored data

TEST_F(PlatformFaults, StoredDataThatCannotBeReadIsAFatalErrorWithCodeZero) {
  auto withUnitData = [](uint32_t unitId, std::vector<uint8_t> data) {
    runtime::WindowDefinitions defs = WintrelDefinitions();
    for (auto& u : defs.windows[0].units)
      if (u.id == unitId) u.unit.unitData = std::move(data);
    return runtime::WriteWindowDefinitions(defs);
  };
  std::vector<uint8_t> templateV4 = FlakeTemplateBlock();
  templateV4[0] = 4;
  std::vector<uint8_t> templateShort = FlakeTemplateBlock();
  templateShort.resize(templateShort.size() - 1);  // the last sound's length cut
  std::vector<uint8_t> stageV3 = StageBlock();
  stageV3[0] = 3;
  std::vector<uint8_t> stageShort = StageBlock();
  stageShort.resize(30);
  runtime::WindowSettings window7 = OverlaySettings();
  window7.version = 7;
  std::vector<uint8_t> windowShort = runtime::WriteWindowSettings(OverlaySettings());
  windowShort.resize(windowShort.size() - 2);
  const auto program = WintrelDefinitionBytes();
  std::vector<uint8_t> truncated(program.begin(), program.end() - 100);
  std::vector<uint8_t> badOffset(program.begin(), program.end());
  // The unit table's first record offset, pointing far past the table.
  const std::size_t firstOffset = 4 + 8 + 8 + 4 + 4 + 4 + 4 + 7 * 4;
  badOffset[firstOffset + 3] = 0x7F;

  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"definitions cut short", truncated},
      {"a record offset past its table", badOffset},
      {"template data of version 4", withUnitData(kFlakeTemplate, templateV4)},
      {"template data cut short", withUnitData(kFlakeTemplate, templateShort)},
      {"stage data of version 3", withUnitData(kStage, stageV3)},
      {"stage data cut short", withUnitData(kStage, stageShort)},
      {"window settings of version 7", withUnitData(kWindowUnit, runtime::WriteWindowSettings(window7))},
      {"window settings cut short", withUnitData(kWindowUnit, windowShort)},
      {"timer settings of version 2", withUnitData(kSpawnTimer, runtime::WriteTimerSettings({2, 200}))},
      {"timer settings of one byte", withUnitData(kSpawnTimer, {1})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // A fresh desktop and program for each.
    SimDesktop fresh;
    fresh.SetTimeLimit(60000);
    fresh.SetMessageBoxAutoClose(ws::IDOK);
    runtime::ProgramImage broken = image;
    broken.windowDefinitions = c.bytes;
    gRt = nullptr;
    EXPECT_EQ(runtime::RunProcess(fresh, broken), 0xFFFFFFFFu);
    EXPECT_EQ(fresh.ExitCode(), std::optional<uint32_t>(0xFFFFFFFFu));
    ASSERT_EQ(fresh.MessageBoxCount(), 1);
    EXPECT_EQ(fresh.MessageBoxes()[0].owner, 0u);
    EXPECT_NE(fresh.MessageBoxes()[0].text.find("error 0"), std::string::npos);
    EXPECT_EQ(gRt, nullptr);  // no handler ran
    EXPECT_TRUE(fresh.TopLevelWindows().empty());
    EXPECT_TRUE(fresh.TrayIcons().empty());
    EXPECT_EQ(fresh.LiveSurfaces(), 0u);
    // A fatal error ends the process without the exit routines, so the globals' block
    // (there when the definitions were read) is left to the end of the process.
    std::free(FlakeSlots);
    FlakeSlots = nullptr;
  }
}

}  // namespace
}  // namespace wintrel::app
