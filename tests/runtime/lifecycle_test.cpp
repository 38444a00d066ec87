// The runtime's life cycle driven on the simulated desktop with a small test program:
// one window like the overlay, a spawn-like timer and a tray menu, but no stage.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/runtime/definition.h"
#include "platform/runtime/runtime.h"
#include "platform/sim/sim_desktop.h"

namespace wintrel::runtime {
namespace {

using sim::SimDesktop;

constexpr uint32_t kWin = 0x52010001;
constexpr uint32_t kWinUnit = 0x06010000;
constexpr uint32_t kMenuTop = 0x260100E6;
constexpr uint32_t kMenuAbout = 0x260100E7;
constexpr uint32_t kMenuExit = 0x260100E8;
constexpr uint32_t kTimer = 0x16010025;
const std::string kExitText = "\xCD\xCB\xB3\xF6";

enum Offsets : int32_t { kCreated = 1, kSize, kTray, kExit, kTick, kAbout, kQuery };

// What the handlers saw, reset for every process.
struct Log {
  std::vector<std::string> events;
  uint32_t createdAtMs = 0;
  std::vector<uint32_t> tickTimesMs;
  int32_t freeCalls = 0;
  bool windowAliveAtFree = false;
  size_t topLevelAtFree = 0;
  ws::Hwnd window = 0;
  Runtime* rt = nullptr;
  // Behaviour switches.
  bool setPeriod = true;
  bool trayIcon = true;
  bool destroyInCreated = false;
  int32_t errorInCreated = -1;
  int32_t errorInTick = -1;
  bool registerTwice = false;
  int32_t badExternal = -1;  // external routine number to call in the created handler
  std::vector<std::intptr_t> externalArgs;
};
Log g;
SimDesktop* gDesk = nullptr;

std::vector<uint8_t> TestIco() {
  // One 32 x 32 32-bit image with an all-zero mask.
  ByteWriter w;
  w.Data() = {0, 0, 1, 0, 1, 0};
  const uint32_t imageSize = 40 + 32 * 32 * 4 + 32 * 4;
  w.Data().insert(w.Data().end(), {32, 32, 0, 0, 0, 0, 32, 0});
  w.U32(imageSize);
  w.U32(22);
  w.U32(40);
  w.I32(32);
  w.I32(64);
  w.Data().insert(w.Data().end(), {1, 0, 32, 0});
  w.U32(0);
  w.U32(32 * 32 * 4);
  w.Zeros(16);
  for (int i = 0; i < 32 * 32; ++i) w.U32(0xFF80C0FF);
  w.Zeros(32 * 4);
  return std::move(w.Data());
}

int32_t OnCreated(Runtime& rt, std::span<const int32_t>) {
  g.events.push_back("created");
  g.rt = &rt;
  g.createdAtMs = gDesk->ElapsedMs();
  g.window = rt.GetWindowHandle(kWin, kWinUnit);
  if (g.badExternal >= 0) rt.CallExternalRoutine(g.badExternal, g.externalArgs);
  if (g.setPeriod) rt.WriteUnitProperty(kWin, kTimer, 8, PropertyValue::Int(200));
  if (g.trayIcon) {
    static const std::vector<uint8_t> ico = TestIco();
    rt.SetTrayIcon(kWin, ico, "Test");
  }
  if (g.errorInCreated >= 0) rt.RaiseRuntimeError(g.errorInCreated);
  if (g.destroyInCreated) rt.RequestDestroy(kWin, true);
  return 0;
}

int32_t OnSize(Runtime& rt, std::span<const int32_t>) {
  const int32_t w = rt.ReadUnitProperty(kWin, kWinUnit, 2).value;
  const int32_t h = rt.ReadUnitProperty(kWin, kWinUnit, 3).value;
  g.events.push_back("size " + std::to_string(w) + "x" + std::to_string(h));
  return 0;
}

int32_t OnTray(Runtime& rt, std::span<const int32_t> args) {
  g.events.push_back("tray " + std::to_string(args.empty() ? -1 : args[0]));
  if (!args.empty() && args[0] == 3) rt.PopupTrayMenu(kWin, kMenuTop);
  return 0;
}

int32_t OnExit(Runtime& rt, std::span<const int32_t>) {
  g.events.push_back("exit selected");
  rt.RequestDestroy(kWin);
  g.events.push_back("exit handler returns");
  return 0;
}

int32_t OnAbout(Runtime& rt, std::span<const int32_t>) {
  g.events.push_back("about");
  rt.ShowMessageBox("text", 64, "title");
  return 0;
}

int32_t OnTick(Runtime& rt, std::span<const int32_t>) {
  g.events.push_back("tick");
  g.tickTimesMs.push_back(gDesk->ElapsedMs());
  if (g.errorInTick >= 0) rt.RaiseRuntimeError(g.errorInTick);
  return 0;
}

int32_t OnQuery(Runtime&, std::span<const int32_t>) {
  g.events.push_back("query");
  return 0;
}

void FreeRoutine(Runtime&) {
  ++g.freeCalls;
  g.windowAliveAtFree = gDesk->IsWindow(g.window);
  // Only the runtime's hidden owner window may still be there.
  for (ws::Hwnd h : gDesk->TopLevelWindows())
    if (gDesk->Info(h)->className != "WintrelOwner") ++g.topLevelAtFree;
}

int32_t Entry(Runtime& rt) {
  rt.StartRuntime();
  rt.AddExitRoutine(&FreeRoutine);
  if (g.registerTwice) rt.AddExitRoutine(&FreeRoutine);
  rt.LoadStartupWindow(kWin);
  rt.RunMessageLoop();
  return 0;
}

WindowSettings OverlayLike() {
  WindowSettings s;
  s.borderStyle = 0;
  s.backgroundColor = 0x00F0F0F0;
  s.maxButton = 0;
  s.minButton = 0;
  s.startState = 3;
  s.escCloses = 1;
  s.showInTaskbar = 0;
  s.alwaysOnTop = 1;
  return s;
}

WindowDefinitions TestDefinitions(WindowSettings settings = OverlayLike(),
                                  std::vector<uint8_t> timerData = {}) {
  StoredWindow w;
  w.id = kWin;
  w.units.push_back(ControlUnit(kWinUnit, kTypeWindow, "", 50, 50, 279, 217, kUnitVisible,
                            {{0, kCreated}, {4, kSize}, {9, kTray}, {12, kQuery}},
                            WriteWindowSettings(settings)));
  w.units.push_back(MenuUnit(kMenuTop, "\xB2\xCB\xB5\xA5", 0, kMenuHidden, kNoHandler));
  w.units.push_back(MenuUnit(kMenuAbout, "\xB9\xD8\xD3\xDA", 1, 0, kAbout));
  w.units.push_back(MenuUnit(kMenuExit, kExitText, 1, 0, kExit));
  w.units.push_back(ControlUnit(kTimer, kTypeTimer, "", 168, 144, 56, 48, 0, {{0, kTick}}, std::move(timerData)));
  WindowDefinitions d;
  d.windows.push_back(std::move(w));
  return d;
}

class Lifecycle : public ::testing::Test {
 protected:
  // A fresh desktop and log for every process the test runs.
  void SetUp() override {
    g = Log{};
    deskPtr = std::make_unique<SimDesktop>();
    gDesk = deskPtr.get();
    desk().SetTimeLimit(60000);  // a guard: every scenario ends well before
  }
  void TearDown() override { gDesk = nullptr; }

  uint32_t Run(const WindowDefinitions& defs) { return Run(WriteWindowDefinitions(defs)); }
  uint32_t Run(std::vector<uint8_t> bytes) {
    stored = std::move(bytes);
    image.entry = &Entry;
    image.windowDefinitions = stored;
    image.handlers = {{kCreated, &OnCreated}, {kSize, &OnSize},   {kTray, &OnTray},
                      {kExit, &OnExit},       {kTick, &OnTick},   {kAbout, &OnAbout},
                      {kQuery, &OnQuery}};
    image.externals = {{"GetWindowLongA", "", 2}, {"Mismatched", "", 2}, {"Missing", "", 1}};
    return RunProcess(desk(), image);
  }

  SimDesktop& desk() { return *deskPtr; }
  std::unique_ptr<SimDesktop> deskPtr;
  std::vector<uint8_t> stored;
  ProgramImage image;
};

bool Before(const std::vector<std::string>& ev, const std::string& a, const std::string& b) {
  auto ia = std::find(ev.begin(), ev.end(), a);
  auto ib = std::find(ev.begin(), ev.end(), b);
  return ia != ev.end() && ib != ev.end() && ia < ib;
}

TEST_F(Lifecycle, EveryEndingGivesTheSameEnd) {
  struct Ending {
    const char* name;
    std::function<void(SimDesktop&)> act;
  };
  const Ending endings[] = {
      {"Esc", [](SimDesktop& d) { d.PressKey(ws::VK_ESCAPE); }},
      {"system close",
       [](SimDesktop& d) { d.PostMessage(g.window, ws::WM_SYSCOMMAND, ws::SC_CLOSE, 0); }},
      {"tray exit",
       [](SimDesktop& d) {
         d.ClickTrayIcon(ws::Hwnd{g.window}, 100, sim::TrayClick::Right);
       }},
  };
  for (const Ending& e : endings) {
    SCOPED_TRACE(e.name);
    SetUp();
    desk().At(1000, [&] { e.act(desk()); });
    // The tray menu opens inside the handler; choose its exit item once it is up.
    desk().At(1200, [&] {
      if (desk().MenuOpen()) desk().ChooseMenuItemByText(kExitText);
    });
    const uint32_t code = Run(TestDefinitions());
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(desk().ExitCode(), std::optional<uint32_t>(0));
    EXPECT_EQ(g.freeCalls, 1);
    EXPECT_FALSE(g.windowAliveAtFree);
    EXPECT_EQ(g.topLevelAtFree, 0u);
    EXPECT_TRUE(desk().TrayIcons().empty());
    EXPECT_FALSE(desk().StoppedByLimit());
    EXPECT_LT(desk().ElapsedMs(), 2000u);
  }
}

TEST_F(Lifecycle, ExitHandlerReturnsBeforeTheWindowGoes) {
  desk().At(500, [&] { desk().ClickTrayIcon(ws::Hwnd{g.window}, 100, sim::TrayClick::Right); });
  desk().At(600, [&] {
    ASSERT_TRUE(desk().MenuOpen());
    desk().ChooseMenuItemByText(kExitText);
  });
  desk().SetTrace(true);
  EXPECT_EQ(Run(TestDefinitions()), 0u);
  ASSERT_GE(g.events.size(), 2u);
  EXPECT_TRUE(Before(g.events, "exit selected", "exit handler returns"));
  EXPECT_EQ(g.events.back(), "exit handler returns");
  EXPECT_FALSE(desk().IsWindow(g.window));
}

TEST_F(Lifecycle, CreatedRunsOnceBeforeTheFirstSizeChangeAtTheStoredSize) {
  desk().At(1000, [&] { desk().PressKey(ws::VK_ESCAPE); });
  Run(TestDefinitions());
  ASSERT_GE(g.events.size(), 3u);
  EXPECT_EQ(std::count(g.events.begin(), g.events.end(), "created"), 1);
  EXPECT_EQ(g.events[0], "created");
  EXPECT_EQ(g.events[1], "size 279x217");
  const ws::Rect area = desk().WorkArea();
  const std::string shown = "size " + std::to_string(area.Width()) + "x" + std::to_string(area.Height());
  EXPECT_NE(std::find(g.events.begin(), g.events.end(), shown), g.events.end());
}

TEST_F(Lifecycle, WindowCoversTheWorkAreaWithoutFrameOrTaskbarButton) {
  ws::Rect seen;
  sim::WindowInfo info;
  desk().At(500, [&] {
    info = *desk().Info(g.window);
    desk().PressKey(ws::VK_ESCAPE);
  });
  Run(TestDefinitions());
  EXPECT_EQ(info.windowRect, desk().WorkArea());
  EXPECT_EQ(info.style & ws::WS_CAPTION, 0u);
  EXPECT_NE(info.style & ws::WS_POPUP, 0u);
  EXPECT_TRUE(info.topmost);
  EXPECT_NE(info.owner, 0u);  // owned by the hidden owner: no taskbar button
  EXPECT_EQ(info.menu, 0u);   // no menu bar entries, so no bar
}

TEST_F(Lifecycle, NoTickBeforeThePeriodIsSetAndTheFirstComesAfter200ms) {
  desk().At(1000, [&] { desk().PressKey(ws::VK_ESCAPE); });
  Run(TestDefinitions());
  ASSERT_FALSE(g.tickTimesMs.empty());
  EXPECT_TRUE(Before(g.events, "created", "tick"));
  EXPECT_GE(g.tickTimesMs[0], g.createdAtMs + 200);
  EXPECT_LT(g.tickTimesMs[0], g.createdAtMs + 200 + 20);
  // Five ticks a second, give or take the timer's granularity.
  EXPECT_GE(g.tickTimesMs.size(), 4u);
  EXPECT_LE(g.tickTimesMs.size(), 5u);
}

TEST_F(Lifecycle, TimerStoredStoppedNeverTicksWithoutAPeriod) {
  g.setPeriod = false;
  desk().At(2000, [&] { desk().PressKey(ws::VK_ESCAPE); });
  Run(TestDefinitions());
  EXPECT_TRUE(g.tickTimesMs.empty());
}

TEST_F(Lifecycle, RegisteringAnExitRoutineTwiceCallsItOnce) {
  g.registerTwice = true;
  desk().At(300, [&] { desk().PressKey(ws::VK_ESCAPE); });
  EXPECT_EQ(Run(TestDefinitions()), 0u);
  EXPECT_EQ(g.freeCalls, 1);
}

TEST_F(Lifecycle, WindowDestroyedDuringCreationEndsTheRunAtOnce) {
  g.destroyInCreated = true;
  EXPECT_EQ(Run(TestDefinitions()), 0u);
  EXPECT_EQ(g.freeCalls, 1);
  EXPECT_EQ(g.events, std::vector<std::string>{"created"});
  EXPECT_LT(desk().ElapsedMs(), 100u);
  EXPECT_TRUE(desk().TrayIcons().empty());
}

TEST_F(Lifecycle, FatalErrorShowsOneBoxRunsNoHandlerAndExitsMinusOne) {
  g.errorInCreated = 1;
  uint32_t ticksWhileOpen = 0;
  desk().At(1500, [&] {
    ticksWhileOpen = static_cast<uint32_t>(g.tickTimesMs.size());
    EXPECT_TRUE(desk().MessageBoxOpen());
    desk().CloseMessageBox();
  });
  EXPECT_EQ(Run(TestDefinitions()), 0xFFFFFFFFu);
  EXPECT_EQ(desk().ExitCode(), std::optional<uint32_t>(0xFFFFFFFFu));
  EXPECT_EQ(desk().MessageBoxCount(), 1);
  EXPECT_EQ(desk().MessageBoxes()[0].owner, 0u);
  EXPECT_EQ(ticksWhileOpen, 0u);
  EXPECT_TRUE(g.tickTimesMs.empty());
  EXPECT_EQ(g.freeCalls, 0);
  EXPECT_TRUE(desk().TopLevelWindows().empty());
  EXPECT_TRUE(desk().TrayIcons().empty());
}

TEST_F(Lifecycle, FatalErrorInARunningHandlerEndsTheRun) {
  g.errorInTick = 4;
  desk().At(3000, [&] { desk().CloseMessageBox(); });
  EXPECT_EQ(Run(TestDefinitions()), 0xFFFFFFFFu);
  EXPECT_EQ(g.tickTimesMs.size(), 1u);  // the one that raised it; none while the box was open
  EXPECT_EQ(desk().MessageBoxCount(), 1);
  EXPECT_EQ(g.freeCalls, 0);
}

TEST_F(Lifecycle, ExternalRoutineArgumentsAreChecked) {
  struct Case {
    const char* what;
    int32_t routine;
    std::vector<std::intptr_t> args;
    uint32_t exitCode;
  };
  const Case cases[] = {
      {"consumes what it is passed", 0, {0, -20}, 0u},
      {"consumes more than passed", 1, {0, 0}, 0xFFFFFFFFu},
      {"passed fewer than declared", 0, {0}, 0xFFFFFFFFu},
      {"no library provides it", 2, {0}, 0xFFFFFFFFu},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    desk().AddExternalRoutine("Mismatched", 3, [](std::span<const std::intptr_t>) { return 0; });
    g.badExternal = c.routine;
    g.externalArgs = c.args;
    desk().At(500, [&] { desk().PressKey(ws::VK_ESCAPE); });
    desk().SetMessageBoxAutoClose(ws::IDOK);
    EXPECT_EQ(Run(TestDefinitions()), c.exitCode);
    EXPECT_EQ(desk().MessageBoxCount(), c.exitCode == 0 ? 0 : 1);
  }
}

TEST_F(Lifecycle, DefinitionsThatCannotBeLoadedAreFatal) {
  WindowSettings seven = OverlayLike();
  seven.version = 7;
  WindowDefinitions badWindow = TestDefinitions(seven);
  WindowDefinitions badTimer = TestDefinitions(OverlayLike(), WriteTimerSettings({2, 100}));
  WindowDefinitions unknownType = TestDefinitions();
  unknownType.windows[0].units[4].unit.unitType = 0x00030001;
  WindowDefinitions otherId = TestDefinitions();
  otherId.windows[0].id = 0x52010009;
  WindowDefinitions unknownHandler = TestDefinitions();
  unknownHandler.windows[0].units[0].unit.events.push_back({7, 0x7777});
  std::vector<uint8_t> truncated = WriteWindowDefinitions(TestDefinitions());
  truncated.resize(truncated.size() - 10);

  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"window settings above version 6", WriteWindowDefinitions(badWindow)},
      {"timer settings above version 1", WriteWindowDefinitions(badTimer)},
      {"unknown unit type", WriteWindowDefinitions(unknownType)},
      {"start-up window missing", WriteWindowDefinitions(otherId)},
      {"binding to no handler", WriteWindowDefinitions(unknownHandler)},
      {"truncated definitions", truncated},
      {"empty definitions", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    desk().SetMessageBoxAutoClose(ws::IDOK);
    EXPECT_EQ(Run(c.bytes), 0xFFFFFFFFu);
    EXPECT_EQ(desk().MessageBoxCount(), 1);
    EXPECT_EQ(g.freeCalls, 0);
    EXPECT_TRUE(g.events.empty());
    EXPECT_TRUE(desk().TopLevelWindows().empty());
  }
}

TEST_F(Lifecycle, EscWithModifiersDoesNotClose) {
  const uint32_t mods[] = {sim::kCtrl, sim::kShift, sim::kAlt};
  uint32_t when = 300;
  for (uint32_t m : mods) {
    desk().At(when, [this, m] { desk().PressKey(ws::VK_ESCAPE, m); });
    when += 100;
  }
  bool aliveAfterModifiers = false;
  desk().At(when, [&] {
    aliveAfterModifiers = desk().IsWindow(g.window);
    desk().PressKey(ws::VK_ESCAPE);
  });
  EXPECT_EQ(Run(TestDefinitions()), 0u);
  EXPECT_TRUE(aliveAfterModifiers);
  EXPECT_FALSE(desk().IsWindow(g.window));
}

TEST_F(Lifecycle, TrayEventCodesAndMenuDismissal) {
  std::vector<std::string> shown;
  desk().At(300, [&] { desk().ClickTrayIcon(ws::Hwnd{g.window}, 100, sim::TrayClick::Left); });
  desk().At(400, [&] { desk().ClickTrayIcon(ws::Hwnd{g.window}, 100, sim::TrayClick::Double); });
  desk().At(500, [&] { desk().ClickTrayIcon(ws::Hwnd{g.window}, 100, sim::TrayClick::Right); });
  desk().At(600, [&] {
    auto menu = desk().OpenMenu();
    ASSERT_TRUE(menu.has_value());
    for (const auto& item : menu->items) shown.push_back(item.text);
    EXPECT_EQ(menu->flags, ws::TPM_RIGHTALIGN);
    desk().DismissMenu();
  });
  desk().At(800, [&] { desk().PressKey(ws::VK_ESCAPE); });
  EXPECT_EQ(Run(TestDefinitions()), 0u);
  EXPECT_EQ(shown, (std::vector<std::string>{"\xB9\xD8\xD3\xDA", kExitText}));
  std::vector<std::string> tray;
  for (const auto& e : g.events)
    if (e.rfind("tray", 0) == 0) tray.push_back(e);
  // A double click also releases the button twice.
  EXPECT_EQ(tray, (std::vector<std::string>{"tray 1", "tray 1", "tray 2", "tray 1", "tray 3"}));
  EXPECT_EQ(std::count(g.events.begin(), g.events.end(), "about"), 0);
  EXPECT_EQ(std::count(g.events.begin(), g.events.end(), "exit selected"), 0);
}

TEST_F(Lifecycle, TrayIconComesBackWhenTheNotificationAreaRestarts) {
  size_t afterRestart = 0;
  desk().At(300, [&] { desk().RestartShell(); });
  desk().At(400, [&] {
    afterRestart = desk().TrayIcons().size();
    desk().PressKey(ws::VK_ESCAPE);
  });
  Run(TestDefinitions());
  EXPECT_EQ(afterRestart, 1u);
}

TEST_F(Lifecycle, TimerPeriodRules) {
  // Writes from outside any handler, through the runtime the created handler saw.
  auto period = [&](int32_t v) {
    g.rt->WriteUnitProperty(kWin, kTimer, 8, PropertyValue::Int(v));
  };
  desk().At(100, [&] { period(200); });   // equal: keeps counting from creation
  desk().At(500, [&] { period(300); });   // restarts from now
  desk().At(1000, [&] { period(-5); });   // stops
  desk().At(1500, [&] { desk().PressKey(ws::VK_ESCAPE); });
  Run(TestDefinitions());
  ASSERT_GE(g.tickTimesMs.size(), 3u);
  const uint32_t c = g.createdAtMs;
  EXPECT_LT(g.tickTimesMs[0], c + 220);            // not pushed back by the equal write
  EXPECT_LT(g.tickTimesMs[1], c + 420);
  EXPECT_GE(g.tickTimesMs[2], 800u);               // the restart at 500 counts 300 from there
  EXPECT_LT(g.tickTimesMs[2], 820u);
  for (uint32_t t : g.tickTimesMs) EXPECT_LT(t, 1000u);
}

// Random numbers follow the C run-time generator and its bound rules.
struct RandomCase {
  int32_t lo, hi;
};

int32_t DrawOnce(Runtime& rt, int32_t lo, int32_t hi) { return rt.RandomNumber(lo, hi); }

std::vector<int32_t> gDraws;
int32_t RandomEntry(Runtime& rt) {
  rt.SetRandomSeed(1u);
  for (int i = 0; i < 5; ++i) gDraws.push_back(DrawOnce(rt, 0, 32767));
  // Equal bounds consume no draw; swapped bounds are exchanged; negatives become 0.
  rt.SetRandomSeed(1u);
  gDraws.push_back(rt.RandomNumber(7, 7));
  gDraws.push_back(rt.RandomNumber(32767, 0));  // the first draw of seed 1 again: 41
  gDraws.push_back(rt.RandomNumber(-5, -1));    // both 0: no draw
  gDraws.push_back(rt.RandomNumber(1, 8));      // 18467 % 8 + 1
  return 0;
}

TEST(RandomNumber, MatchesTheCRuntimeGeneratorAndItsBoundRules) {
  SimDesktop desk;
  ProgramImage image;
  image.entry = &RandomEntry;
  gDraws.clear();
  EXPECT_EQ(RunProcess(desk, image), 0u);
  // The C run-time's rand() after srand(1).
  EXPECT_EQ(gDraws, (std::vector<int32_t>{41, 18467, 6334, 26500, 19169, 7, 41, 0, 18467 % 8 + 1}));
}

}  // namespace
}  // namespace wintrel::runtime
