// The simulated desktop's clock, queue order, timers, scheduled actions, loops, keys and
// the end of the process.
#include <gtest/gtest.h>

#include "tests/sim/sim_test_util.h"

namespace wintrel::sim::test {
namespace {

class SimLoop : public ::testing::Test {
 protected:
  void SetUp() override { Register(sim); }
  SimDesktop sim;
  Recorder rec;
};

TEST_F(SimLoop, PostedBeforeInputBeforePaintBeforeTimer) {
  const Hwnd h = Make(sim, rec, {100, 100, 300, 300});
  ASSERT_NE(h, 0u);
  sim.PumpPending();  // the first paint
  ASSERT_TRUE(sim.SetTimer(h, 7, 10));
  sim.AdvanceBy(50);  // the timer is due; nothing has run
  sim.InvalidateRect(h, nullptr, false);
  sim.Click(150, 150);
  sim.PostMessage(h, WM_USER + 1, 0, 0);
  sim.PostMessage(h, WM_USER + 2, 0, 0);
  rec.got.clear();
  sim.PumpPending();
  EXPECT_EQ(rec.Only({WM_USER + 1, WM_USER + 2, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_PAINT, WM_TIMER}),
            (std::vector<uint32_t>{WM_USER + 1, WM_USER + 2, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_PAINT,
                                   WM_TIMER}));
}

TEST_F(SimLoop, QuitComesAfterPostedMessagesAndBeforePaint) {
  const Hwnd h = Make(sim, rec, {0, 0, 50, 50});
  sim.PostQuitMessage(3);
  sim.PostMessage(h, WM_USER, 0, 0);
  Message m;
  ASSERT_TRUE(sim.GetMessage(m));
  EXPECT_EQ(m.message, WM_USER);
  EXPECT_FALSE(sim.GetMessage(m));
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 3u);
  EXPECT_EQ(sim.QuitCode(), 3);
  // The window's first paint is still waiting.
  EXPECT_FALSE(sim.PendingUpdate(h).empty());
}

TEST_F(SimLoop, FiveMillisecondTimerFiresAtTheClockGranularity) {
  const Hwnd h = Make(sim, rec, {0, 0, 10, 10});
  sim.PumpPending();
  sim.SetTimer(h, 1, 5);
  rec.got.clear();
  sim.PumpFor(1000);
  const size_t n = rec.Count(WM_TIMER);
  EXPECT_GE(n, 63u);
  EXPECT_LE(n, 65u);
  EXPECT_EQ(sim.ElapsedMs(), 1000u);
}

TEST_F(SimLoop, TwoHundredMillisecondTimerFiresAtTheNextBoundary) {
  const Hwnd h = Make(sim, rec, {0, 0, 10, 10});
  sim.PumpPending();
  // Start on a boundary of the 15.625 ms clock.
  const uint64_t g = 15625;
  sim.AdvanceByUs((g - sim.NowUs() % g) % g);
  const uint64_t start = sim.NowUs();
  sim.SetTimer(h, 1, 200);
  std::vector<uint64_t> fired;
  rec.hook = [&](Hwnd, uint32_t m, std::uintptr_t, std::intptr_t) -> std::optional<std::intptr_t> {
    if (m == WM_TIMER) fired.push_back(sim.NowUs() - start);
    return std::nullopt;
  };
  sim.PumpFor(1000);
  ASSERT_GE(fired.size(), 4u);
  EXPECT_EQ(fired[0], 203125u);
  EXPECT_EQ(fired[1] - fired[0], 203125u);
}

TEST_F(SimLoop, ShortElapseCountsAsTenMilliseconds) {
  SimConfig c;
  c.timerGranularityUs = 1000;
  SimDesktop fine(c);
  Register(fine);
  Recorder r;
  const Hwnd h = Make(fine, r, {0, 0, 10, 10});
  fine.PumpPending();
  fine.SetTimer(h, 1, 1);
  fine.PumpFor(100);
  EXPECT_EQ(r.Count(WM_TIMER), 10u);
}

TEST_F(SimLoop, ResettingATimerRestartsItAndKillingStopsIt) {
  const Hwnd h = Make(sim, rec, {0, 0, 10, 10});
  sim.PumpPending();
  const uint32_t t0 = sim.ElapsedMs();
  sim.SetTimer(h, 1, 100);
  sim.At(t0 + 60, [&] { sim.SetTimer(h, 1, 100); });
  std::vector<uint32_t> at;
  rec.hook = [&](Hwnd, uint32_t m, std::uintptr_t, std::intptr_t) -> std::optional<std::intptr_t> {
    if (m == WM_TIMER) at.push_back(sim.ElapsedMs() - t0);
    return std::nullopt;
  };
  sim.PumpFor(200);
  ASSERT_EQ(at.size(), 1u);
  EXPECT_GE(at[0], 160u);
  EXPECT_TRUE(sim.KillTimer(h, 1));
  EXPECT_FALSE(sim.KillTimer(h, 1));
  sim.PumpFor(500);
  EXPECT_EQ(at.size(), 1u);
}

TEST_F(SimLoop, ExpiriesWhileBusyAreMergedIntoOneMessage) {
  const Hwnd h = Make(sim, rec, {0, 0, 10, 10});
  sim.PumpPending();
  sim.SetTimer(h, 1, 10);
  sim.AdvanceBy(1000);
  rec.got.clear();
  sim.PumpPending();
  EXPECT_EQ(rec.Count(WM_TIMER), 1u);
}

TEST_F(SimLoop, SeveralInvalidationsGiveOnePaintWithTheirBoundingBox) {
  const Hwnd h = Make(sim, rec, {0, 0, 400, 300});
  sim.PumpPending();
  rec.paints.clear();
  const Rect a{10, 10, 20, 20}, b{100, 50, 130, 60}, c{15, 15, 25, 25};
  sim.InvalidateRect(h, &a, true);
  sim.InvalidateRect(h, &b, true);
  sim.InvalidateRect(h, &c, true);
  sim.PumpPending();
  ASSERT_EQ(rec.paints.size(), 1u);
  EXPECT_EQ(rec.paints[0].clip, (Rect{10, 10, 130, 60}));
  // The rectangles cover exactly the union, without overlap.
  int64_t area = 0;
  for (const Rect& r : rec.paints[0].rects) area += int64_t{r.Width()} * r.Height();
  EXPECT_EQ(area, 100 + 300 + 100 - 25);
  EXPECT_TRUE(sim.PendingUpdate(h).empty());
}

TEST_F(SimLoop, InvalidationIsClippedToTheClientAndUpdateWindowPaintsAtOnce) {
  const Hwnd h = Make(sim, rec, {0, 0, 100, 100});
  sim.PumpPending();
  const Rect r{90, 90, 200, 200};
  sim.InvalidateRect(h, &r, false);
  EXPECT_EQ(sim.PendingUpdateBounds(h), (Rect{90, 90, 100, 100}));
  rec.paints.clear();
  EXPECT_TRUE(sim.UpdateWindow(h));
  ASSERT_EQ(rec.paints.size(), 1u);
  EXPECT_EQ(rec.paints[0].clip, (Rect{90, 90, 100, 100}));
  EXPECT_TRUE(sim.UpdateWindow(h));  // nothing pending: no paint
  EXPECT_EQ(rec.paints.size(), 1u);
}

TEST_F(SimLoop, AWindowThatDoesNotValidateIsNotPaintedForever) {
  const Hwnd h = Make(sim, rec, {0, 0, 100, 100});
  rec.hook = [](Hwnd, uint32_t m, std::uintptr_t, std::intptr_t) -> std::optional<std::intptr_t> {
    if (m == WM_PAINT) return 0;  // neither BeginPaint nor DefWindowProc
    return std::nullopt;
  };
  sim.PumpPending();
  EXPECT_EQ(rec.Count(WM_PAINT, h), 1u);
  EXPECT_EQ(sim.UnvalidatedPaints(), 1);
}

TEST_F(SimLoop, TickCountWrapsAroundThirtyTwoBits) {
  SimConfig c;
  c.startTick = 0xFFFFFFFFu - 59999;
  SimDesktop soak(c);
  EXPECT_EQ(soak.TickCount(), 0xFFFFFFFFu - 59999);
  soak.AdvanceBy(60000);
  EXPECT_EQ(soak.TickCount(), 0u);
  soak.AdvanceBy(5);
  EXPECT_EQ(soak.TickCount(), 5u);
  EXPECT_EQ(soak.ElapsedMs(), 60005u);
}

TEST_F(SimLoop, ScheduledActionsRunInsideGetMessageAndTheLoopEndsWhenNothingIsLeft) {
  const Hwnd h = Make(sim, rec, {0, 0, 10, 10});
  std::vector<uint32_t> ran;
  sim.At(500, [&] { ran.push_back(sim.ElapsedMs()); });
  sim.At(1500, [&] {
    ran.push_back(sim.ElapsedMs());
    sim.PostMessage(h, WM_USER, 0, 0);
  });
  Message m;
  int users = 0;
  while (sim.GetMessage(m)) {
    if (m.message == WM_USER) ++users;
    sim.DispatchMessage(m);
  }
  EXPECT_EQ(ran, (std::vector<uint32_t>{500, 1500}));
  EXPECT_EQ(users, 1);
  EXPECT_TRUE(sim.Stalled());
  EXPECT_FALSE(sim.StoppedByLimit());
  EXPECT_EQ(m.message, WM_NULL);
}

TEST_F(SimLoop, TheTimeLimitStopsGetMessage) {
  const Hwnd h = Make(sim, rec, {0, 0, 10, 10});
  sim.SetTimer(h, 1, 100);
  sim.SetTimeLimit(2000);
  Message m;
  while (sim.GetMessage(m)) sim.DispatchMessage(m);
  EXPECT_TRUE(sim.StoppedByLimit());
  EXPECT_EQ(sim.ElapsedMs(), 2000u);
  EXPECT_FALSE(sim.GetMessage(m));
  EXPECT_GE(rec.Count(WM_TIMER), 9u);
}

TEST_F(SimLoop, AtTickAndAfter) {
  bool a = false, b = false;
  const uint32_t t = sim.TickCount();
  sim.AtTick(t + 250, [&] { a = sim.TickCount() == t + 250; });
  sim.After(300, [&] { b = true; });
  sim.PumpFor(400);
  EXPECT_TRUE(a);
  EXPECT_TRUE(b);
  EXPECT_EQ(sim.PendingActions(), 0u);
}

TEST_F(SimLoop, PumpUntilStopsWhenThePredicateHolds) {
  bool flag = false;
  sim.At(120, [&] { flag = true; });
  EXPECT_TRUE(sim.PumpUntil([&] { return flag; }, 1000));
  EXPECT_EQ(sim.ElapsedMs(), 120u);
  EXPECT_FALSE(sim.PumpUntil([] { return false; }, 50));
  EXPECT_EQ(sim.ElapsedMs(), 170u);
}

TEST_F(SimLoop, ExitProcessEndsEveryLoop) {
  const Hwnd h = Make(sim, rec, {0, 0, 10, 10});
  sim.SetTimer(h, 1, 50);
  sim.At(300, [&] { sim.ExitProcess(0xFFFFFFFFu); });
  Message m;
  while (sim.GetMessage(m)) sim.DispatchMessage(m);
  EXPECT_TRUE(sim.ProcessEnded());
  EXPECT_EQ(sim.ExitCode(), 0xFFFFFFFFu);
  EXPECT_FALSE(sim.IsWindow(h));
  EXPECT_EQ(sim.MessageBox(0, "x", "y", MB_OK), 0);
  EXPECT_FALSE(sim.PostMessage(0, WM_USER, 0, 0));
  EXPECT_EQ(sim.ElapsedMs(), 300u);
}

TEST_F(SimLoop, KeysReachTheFocusWithTheirModifiersHeld) {
  const Hwnd h = Make(sim, rec, {0, 0, 100, 100});
  ASSERT_EQ(sim.GetActiveWindow(), h);
  ASSERT_EQ(sim.GetFocus(), h);
  rec.got.clear();
  sim.PressKey(VK_ESCAPE, kCtrl);
  sim.PumpPending();
  std::vector<std::pair<uint32_t, std::uintptr_t>> keys;
  int16_t ctrlAtEsc = 0;
  for (const auto& g : rec.got)
    if (g.message == WM_KEYDOWN || g.message == WM_KEYUP) {
      keys.emplace_back(g.message, g.wParam);
      if (g.message == WM_KEYDOWN && g.wParam == VK_ESCAPE) ctrlAtEsc = g.ctrl;
    }
  EXPECT_EQ(keys, (std::vector<std::pair<uint32_t, std::uintptr_t>>{{WM_KEYDOWN, VK_CONTROL},
                                                                   {WM_KEYDOWN, VK_ESCAPE},
                                                                   {WM_KEYUP, VK_ESCAPE},
                                                                   {WM_KEYUP, VK_CONTROL}}));
  EXPECT_LT(ctrlAtEsc, 0);
  EXPECT_GE(sim.GetKeyState(VK_CONTROL), 0);
  // TranslateMessage turns a plain Esc into the character 0x1B.
  rec.got.clear();
  sim.PressKey(VK_ESCAPE);
  sim.PumpPending();
  ASSERT_EQ(rec.Count(WM_CHAR), 1u);
  for (const auto& g : rec.got)
    if (g.message == WM_CHAR) {
      EXPECT_EQ(g.wParam, 0x1Bu);
    }
}

TEST_F(SimLoop, AltMakesSystemKeys) {
  Make(sim, rec, {0, 0, 100, 100});
  rec.got.clear();
  sim.PressKey('X', kAlt);
  sim.PumpPending();
  EXPECT_EQ(rec.Only({WM_SYSKEYDOWN, WM_SYSKEYUP, WM_KEYDOWN, WM_KEYUP}),
            (std::vector<uint32_t>{WM_SYSKEYDOWN, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_SYSKEYUP}));
  EXPECT_EQ(rec.Count(WM_SYSCHAR), 1u);
}

TEST_F(SimLoop, AltF4ClosesTheWindow) {
  const Hwnd h = Make(sim, rec, {0, 0, 100, 100});
  sim.PressKey(VK_F4, kAlt);
  sim.PumpPending();
  EXPECT_EQ(rec.Count(WM_CLOSE, h), 1u);
  EXPECT_FALSE(sim.IsWindow(h));
}

TEST_F(SimLoop, RegisteredMessagesAreStable) {
  const uint32_t a = sim.RegisterWindowMessage("TaskbarCreated");
  EXPECT_GE(a, 0xC000u);
  EXPECT_EQ(sim.RegisterWindowMessage("TaskbarCreated"), a);
  EXPECT_EQ(sim.RegisterWindowMessage("taskbarcreated"), a);
  EXPECT_NE(sim.RegisterWindowMessage("Other"), a);
}

TEST_F(SimLoop, TraceRecordsSentAndDispatchedMessages) {
  sim.SetTrace(true);
  const Hwnd h = Make(sim, rec, {0, 0, 10, 10});
  sim.PostMessage(h, WM_USER, 1, 2);
  sim.PumpPending();
  bool sentCreate = false, postedUser = false;
  for (const auto& t : sim.Trace()) {
    if (t.message == WM_CREATE && t.sent) sentCreate = true;
    if (t.message == WM_USER && !t.sent && t.wParam == 1) postedUser = true;
  }
  EXPECT_TRUE(sentCreate);
  EXPECT_TRUE(postedUser);
}

}  // namespace
}  // namespace wintrel::sim::test
