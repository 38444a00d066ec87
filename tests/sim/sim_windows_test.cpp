// Windows on the simulated desktop: creation and destruction in the window system's
// order, frames and client rectangles, positions and their messages, maximising,
// z-order, activation, focus, enabling and styles.
#include <gtest/gtest.h>

#include "tests/sim/sim_test_util.h"

namespace wintrel::sim::test {
namespace {

class SimWindows : public ::testing::Test {
 protected:
  void SetUp() override { Register(sim); }
  SimDesktop sim;
  Recorder rec;
};

TEST_F(SimWindows, CreationNeedsARegisteredClassAndSendsItsMessagesInOrder) {
  Recorder other;
  EXPECT_EQ(Make(sim, other, {0, 0, 10, 10}, WS_POPUP, 0, 0, "Nope"), 0u);
  EXPECT_TRUE(other.got.empty());
  const Hwnd h = Make(sim, rec, {5, 6, 105, 56}, WS_POPUP);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(rec.Messages(h), (std::vector<uint32_t>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
  EXPECT_EQ(rec.got[2].lParam, (50 << 16) | 100);
  EXPECT_EQ(rec.got[3].lParam, (6 << 16) | 5);
  EXPECT_TRUE(sim.IsWindow(h));
  EXPECT_FALSE(sim.IsWindowVisible(h));
  EXPECT_TRUE(sim.RegisterClass({"TestClass", 0, true}));  // already there: fine
}

TEST_F(SimWindows, FailedCreationMessagesFailTheCreation) {
  rec.hook = [](Hwnd, uint32_t m, std::uintptr_t, std::intptr_t) -> std::optional<std::intptr_t> {
    if (m == WM_NCCREATE) return 0;
    return std::nullopt;
  };
  EXPECT_EQ(Make(sim, rec, {0, 0, 10, 10}), 0u);
  EXPECT_EQ(rec.Messages(), (std::vector<uint32_t>{WM_NCCREATE, WM_NCDESTROY}));
  Recorder r2;
  r2.hook = [](Hwnd, uint32_t m, std::uintptr_t, std::intptr_t) -> std::optional<std::intptr_t> {
    if (m == WM_CREATE) return -1;
    return std::nullopt;
  };
  EXPECT_EQ(Make(sim, r2, {0, 0, 10, 10}), 0u);
  EXPECT_EQ(r2.Messages(), (std::vector<uint32_t>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
  EXPECT_TRUE(sim.TopLevelWindows().empty());
}

TEST_F(SimWindows, FaultSwitchFailsCreationForOneClass) {
  Register(sim, "Other");
  sim.FailCreateWindowForClass("Other");
  EXPECT_EQ(Make(sim, rec, {0, 0, 10, 10}, WS_POPUP, 0, 0, "Other"), 0u);
  EXPECT_NE(Make(sim, rec, {0, 0, 10, 10}), 0u);
  sim.FailCreateWindowForClass("Other", false);
  EXPECT_NE(Make(sim, rec, {0, 0, 10, 10}, WS_POPUP, 0, 0, "Other"), 0u);
}

TEST_F(SimWindows, DestructionFollowsTheWindowSystemsOrder) {
  Recorder rp, rc1, rc2, rg, ro;
  const Hwnd p = Make(sim, rp, {0, 0, 200, 200}, WS_POPUP | WS_VISIBLE);
  const Hwnd c1 = Make(sim, rc1, {0, 0, 50, 50}, WS_CHILD | WS_VISIBLE, 0, p);
  const Hwnd c2 = Make(sim, rc2, {60, 0, 110, 50}, WS_CHILD | WS_VISIBLE, 0, p);
  const Hwnd g = Make(sim, rg, {0, 0, 10, 10}, WS_CHILD | WS_VISIBLE, 0, c1);
  const Hwnd o = Make(sim, ro, {300, 300, 400, 400}, WS_POPUP | WS_VISIBLE, 0, p);
  ASSERT_TRUE(p && c1 && c2 && g && o);
  sim.SetTimer(p, 1, 100);
  sim.SetTimer(c1, 2, 100);
  sim.PumpPending();
  std::vector<std::pair<Hwnd, uint32_t>> order;
  for (Recorder* r : {&rp, &rc1, &rc2, &rg, &ro}) {
    r->got.clear();
    r->hook = [&order](Hwnd h, uint32_t m, std::uintptr_t,
                       std::intptr_t) -> std::optional<std::intptr_t> {
      if (m == WM_DESTROY || m == WM_NCDESTROY) order.emplace_back(h, m);
      return std::nullopt;
    };
  }
  EXPECT_TRUE(sim.DestroyWindow(p));
  // The owned window first; WM_DESTROY parent first, then the children from the top of
  // the z-order; WM_NCDESTROY children before their parent.
  const std::vector<std::pair<Hwnd, uint32_t>> expected = {
      {o, WM_DESTROY},  {o, WM_NCDESTROY},  {p, WM_DESTROY},    {c2, WM_DESTROY},
      {c1, WM_DESTROY}, {g, WM_DESTROY},    {c2, WM_NCDESTROY}, {g, WM_NCDESTROY},
      {c1, WM_NCDESTROY}, {p, WM_NCDESTROY}};
  EXPECT_EQ(order, expected);
  for (Hwnd h : {p, c1, c2, g, o}) EXPECT_FALSE(sim.IsWindow(h));
  EXPECT_EQ(sim.TimerCount(), 0u);
  EXPECT_FALSE(sim.DestroyWindow(p));
  // The top-level window was hidden before it was destroyed.
  EXPECT_EQ(rp.Count(WM_WINDOWPOSCHANGED), 1u);
}

TEST_F(SimWindows, PostedMessagesOfADestroyedWindowAreDiscarded) {
  const Hwnd h = Make(sim, rec, {0, 0, 10, 10});
  sim.PostMessage(h, WM_USER, 0, 0);
  sim.DestroyWindow(h);
  EXPECT_EQ(sim.PostedCount(), 0u);
  EXPECT_FALSE(sim.PostMessage(h, WM_USER, 0, 0));
  EXPECT_EQ(sim.SendMessage(h, WM_USER, 0, 0), 0);
}

TEST_F(SimWindows, FramesReduceTheClientArea) {
  struct Case {
    uint32_t style, ex;
    Rect insets;
  };
  const Case cases[] = {
      {WS_POPUP, 0, {0, 0, 0, 0}},
      {WS_POPUP | WS_BORDER, 0, {1, 1, 1, 1}},
      {WS_POPUP, WS_EX_CLIENTEDGE, {2, 2, 2, 2}},
      {WS_POPUP, WS_EX_STATICEDGE, {1, 1, 1, 1}},
      {WS_POPUP, WS_EX_DLGMODALFRAME, {3, 3, 3, 3}},
      {WS_POPUP, WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE, {5, 5, 5, 5}},
      {WS_POPUP | WS_CAPTION, 0, {3, 26, 3, 3}},
      {WS_POPUP | WS_THICKFRAME, 0, {8, 8, 8, 8}},
  };
  for (const Case& c : cases) {
    Recorder r;
    const Hwnd h = Make(sim, r, {10, 20, 210, 170}, c.style, c.ex);
    const auto info = sim.Info(h);
    ASSERT_TRUE(info);
    const Rect& cr = info->clientRectScreen;
    EXPECT_EQ(cr, (Rect{10 + c.insets.left, 20 + c.insets.top, 210 - c.insets.right,
                        170 - c.insets.bottom}))
        << std::hex << c.style << " " << c.ex;
    EXPECT_EQ(sim.GetClientRect(h), (Rect{0, 0, cr.Width(), cr.Height()}));
    sim.DestroyWindow(h);
  }
}

TEST_F(SimWindows, AnOverlappedTopLevelWindowGetsACaption) {
  const Hwnd h = Make(sim, rec, {0, 0, 100, 100}, WS_OVERLAPPED);
  EXPECT_EQ(sim.GetWindowLong(h, GWL_STYLE) & static_cast<int32_t>(WS_CAPTION),
            static_cast<int32_t>(WS_CAPTION));
}

TEST_F(SimWindows, FrameChangesApplyWithFrameChanged) {
  Recorder pr;
  const Hwnd p = Make(sim, pr, {0, 0, 300, 300}, WS_POPUP | WS_VISIBLE);
  const Hwnd c = Make(sim, rec, {0, 0, 100, 100}, WS_CHILD | WS_VISIBLE, 0, p);
  sim.SetWindowLong(c, GWL_EXSTYLE, sim.GetWindowLong(c, GWL_EXSTYLE) | WS_EX_CLIENTEDGE);
  EXPECT_EQ(sim.GetClientRect(c), (Rect{0, 0, 100, 100}));
  rec.got.clear();
  sim.SetWindowPos(c, 0, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  EXPECT_EQ(sim.GetClientRect(c), (Rect{0, 0, 96, 96}));
  EXPECT_EQ(rec.Only({WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}),
            (std::vector<uint32_t>{WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}));
  EXPECT_EQ(sim.GetWindowRectInParent(c), (Rect{0, 0, 100, 100}));
}

TEST_F(SimWindows, SetWindowPosSendsItsMessagesOnlyForRealChanges) {
  const Hwnd h = Make(sim, rec, {0, 0, 100, 100}, WS_POPUP | WS_VISIBLE);
  sim.PumpPending();
  rec.got.clear();
  EXPECT_TRUE(sim.MoveWindow(h, 0, 0, 100, 100, true));
  EXPECT_TRUE(rec.got.empty());
  sim.MoveWindow(h, 10, 0, 100, 100, true);
  EXPECT_EQ(rec.Messages(h), (std::vector<uint32_t>{WM_WINDOWPOSCHANGED, WM_MOVE}));
  rec.got.clear();
  sim.MoveWindow(h, 10, 0, 120, 80, true);
  ASSERT_EQ(rec.Messages(h), (std::vector<uint32_t>{WM_WINDOWPOSCHANGED, WM_SIZE}));
  EXPECT_EQ(rec.got[1].wParam, SIZE_RESTORED);
  EXPECT_EQ(rec.got[1].lParam, (80 << 16) | 120);
  EXPECT_EQ(sim.GetWindowRect(h), (Rect{10, 0, 130, 80}));
}

TEST_F(SimWindows, WithoutDefWindowProcThereIsNoSizeMessage) {
  rec.hook = [](Hwnd, uint32_t m, std::uintptr_t, std::intptr_t) -> std::optional<std::intptr_t> {
    if (m == WM_WINDOWPOSCHANGED) return 0;
    return std::nullopt;
  };
  const Hwnd h = Make(sim, rec, {0, 0, 100, 100}, WS_POPUP);
  rec.got.clear();
  sim.MoveWindow(h, 0, 0, 50, 50, true);
  EXPECT_EQ(rec.Messages(h), (std::vector<uint32_t>{WM_WINDOWPOSCHANGED}));
}

TEST_F(SimWindows, ShowMaximizedCoversTheWorkAreaAndActivates) {
  const Hwnd h = Make(sim, rec, {50, 50, 329, 267}, WS_POPUP | WS_CLIPCHILDREN);
  rec.got.clear();
  EXPECT_FALSE(sim.ShowWindow(h, SW_SHOWMAXIMIZED));
  EXPECT_EQ(sim.GetWindowRect(h), (Rect{0, 0, 1920, 1040}));
  EXPECT_TRUE(sim.IsZoomed(h));
  EXPECT_TRUE(sim.IsWindowVisible(h));
  EXPECT_EQ(sim.GetActiveWindow(), h);
  EXPECT_EQ(sim.Foreground(), h);
  EXPECT_EQ(sim.GetFocus(), h);
  bool sawMaxSize = false;
  for (const auto& g : rec.got)
    if (g.message == WM_SIZE && g.wParam == SIZE_MAXIMIZED && g.lParam == ((1040 << 16) | 1920))
      sawMaxSize = true;
  EXPECT_TRUE(sawMaxSize);
  EXPECT_EQ(rec.Only({WM_SHOWWINDOW, WM_ACTIVATE, WM_SETFOCUS, WM_WINDOWPOSCHANGED}),
            (std::vector<uint32_t>{WM_SHOWWINDOW, WM_ACTIVATE, WM_SETFOCUS, WM_WINDOWPOSCHANGED}));
  EXPECT_TRUE(sim.ShowWindow(h, SW_RESTORE));
  EXPECT_EQ(sim.GetWindowRect(h), (Rect{50, 50, 329, 267}));
  EXPECT_FALSE(sim.IsZoomed(h));
  sim.ShowWindow(h, SW_SHOWMINIMIZED);
  EXPECT_TRUE(sim.IsIconic(h));
  EXPECT_EQ(sim.GetClientRect(h), (Rect{0, 0, 0, 0}));
}

TEST_F(SimWindows, TopmostWindowsStayAboveOrdinaryOnesAndOwnedAboveOwners) {
  Recorder a, b, c, d;
  const Hwnd normal = Make(sim, a, {0, 0, 10, 10});
  const Hwnd top = Make(sim, b, {0, 0, 10, 10}, WS_POPUP | WS_VISIBLE, WS_EX_TOPMOST);
  const Hwnd later = Make(sim, c, {0, 0, 10, 10});
  EXPECT_EQ(sim.TopLevelWindows(), (std::vector<Hwnd>{top, later, normal}));
  sim.SetWindowPos(normal, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_EQ(sim.TopLevelWindows(), (std::vector<Hwnd>{normal, top, later}));
  EXPECT_TRUE(sim.Info(normal)->topmost);
  sim.SetWindowPos(normal, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_EQ(sim.TopLevelWindows(), (std::vector<Hwnd>{top, normal, later}));
  const Hwnd owned = Make(sim, d, {0, 0, 10, 10}, WS_POPUP | WS_VISIBLE, 0, later);
  sim.SetWindowPos(later, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  const auto order = sim.TopLevelWindows();
  const auto pos = [&](Hwnd h) { return std::find(order.begin(), order.end(), h) - order.begin(); };
  EXPECT_LT(pos(owned), pos(later));
  EXPECT_LT(pos(top), pos(later));
}

TEST_F(SimWindows, ActivationMovesWithShowingHidingAndDestroying) {
  Recorder ra, rb;
  const Hwnd a = Make(sim, ra, {0, 0, 100, 100});
  const Hwnd b = Make(sim, rb, {0, 0, 100, 100}, WS_POPUP | WS_VISIBLE, 0, a);
  EXPECT_EQ(sim.GetActiveWindow(), b);
  bool inactive = false;
  for (const auto& g : ra.got)
    if (g.message == WM_ACTIVATE && (g.wParam & 0xFFFF) == WA_INACTIVE &&
        static_cast<Hwnd>(g.lParam) == b)
      inactive = true;
  EXPECT_TRUE(inactive);
  sim.DestroyWindow(b);
  EXPECT_EQ(sim.GetActiveWindow(), a);  // back to the owner
  EXPECT_EQ(sim.GetFocus(), a);
  sim.ShowWindow(a, SW_HIDE);
  EXPECT_EQ(sim.GetActiveWindow(), 0u);
  EXPECT_EQ(sim.GetFocus(), 0u);
}

TEST_F(SimWindows, FocusMovesBetweenChildrenWithItsMessages) {
  Recorder rp, r1, r2;
  const Hwnd p = Make(sim, rp, {0, 0, 100, 100});
  const Hwnd c1 = Make(sim, r1, {0, 0, 10, 10}, WS_CHILD | WS_VISIBLE, 0, p);
  const Hwnd c2 = Make(sim, r2, {20, 0, 30, 10}, WS_CHILD | WS_VISIBLE, 0, p);
  EXPECT_EQ(sim.SetFocus(c1), p);
  EXPECT_EQ(sim.GetFocus(), c1);
  EXPECT_EQ(sim.SetFocus(c2), c1);
  EXPECT_EQ(r1.Count(WM_KILLFOCUS), 1u);
  EXPECT_EQ(r2.Count(WM_SETFOCUS), 1u);
  EXPECT_EQ(sim.GetParent(c2), p);
}

TEST_F(SimWindows, EnablingSendsWmEnableAndReportsThePreviousState) {
  const Hwnd h = Make(sim, rec, {0, 0, 10, 10});
  EXPECT_FALSE(sim.EnableWindow(h, false));
  EXPECT_FALSE(sim.IsWindowEnabled(h));
  EXPECT_TRUE(sim.GetWindowLong(h, GWL_STYLE) & static_cast<int32_t>(WS_DISABLED));
  EXPECT_TRUE(sim.EnableWindow(h, false));
  EXPECT_TRUE(sim.EnableWindow(h, true));
  EXPECT_EQ(rec.Count(WM_ENABLE), 2u);
  EXPECT_EQ(sim.GetFocus(), 0u);  // the focus left the disabled window
}

TEST_F(SimWindows, LayeredStyleAndAttributes) {
  const Hwnd h = Make(sim, rec, {0, 0, 10, 10});
  EXPECT_FALSE(sim.SetLayeredWindowAttributes(h, 0xF0F0F0, 255, LWA_COLORKEY));
  const int32_t ex = sim.GetWindowLong(h, GWL_EXSTYLE);
  EXPECT_EQ(sim.SetWindowLong(h, GWL_EXSTYLE, ex | static_cast<int32_t>(WS_EX_LAYERED)), ex);
  EXPECT_EQ(rec.Only({WM_STYLECHANGING, WM_STYLECHANGED}),
            (std::vector<uint32_t>{WM_STYLECHANGING, WM_STYLECHANGED}));
  EXPECT_FALSE(sim.Info(h)->layeredConfigured);
  EXPECT_TRUE(sim.SetLayeredWindowAttributes(h, 0xF0F0F0, 255, LWA_COLORKEY));
  const auto info = sim.Info(h);
  EXPECT_TRUE(info->layeredConfigured);
  EXPECT_EQ(info->colorKey, 0xF0F0F0u);
  EXPECT_EQ(info->layeredFlags, LWA_COLORKEY);
  // The topmost bit cannot be set with SetWindowLong.
  sim.SetWindowLong(h, GWL_EXSTYLE, sim.GetWindowLong(h, GWL_EXSTYLE) | WS_EX_TOPMOST);
  EXPECT_FALSE(sim.Info(h)->topmost);
}

TEST_F(SimWindows, RedrawStylesInvalidateTheWholeClientOnResize) {
  Register(sim, "Redraw", CS_HREDRAW | CS_VREDRAW);
  Recorder r;
  const Hwnd full = Make(sim, r, {0, 0, 100, 100}, WS_POPUP | WS_VISIBLE, 0, 0, "Redraw");
  const Hwnd plain = Make(sim, rec, {0, 0, 100, 100}, WS_POPUP | WS_VISIBLE);
  sim.PumpPending();
  sim.MoveWindow(full, 0, 0, 120, 100, true);
  sim.MoveWindow(plain, 0, 0, 120, 100, true);
  EXPECT_EQ(sim.PendingUpdateBounds(full), (Rect{0, 0, 120, 100}));
  EXPECT_EQ(sim.PendingUpdateBounds(plain), (Rect{100, 0, 120, 100}));
  sim.PumpPending();
  sim.MoveWindow(full, 0, 0, 100, 100, true);
  EXPECT_EQ(sim.PendingUpdateBounds(full), (Rect{0, 0, 100, 100}));
  sim.MoveWindow(plain, 0, 0, 100, 100, true);
  EXPECT_TRUE(sim.PendingUpdate(plain).empty());
}

TEST_F(SimWindows, ChildWindowsLiveInTheirParentsClientCoordinates) {
  Recorder rp;
  const Hwnd p = Make(sim, rp, {100, 100, 400, 400}, WS_POPUP | WS_VISIBLE | WS_BORDER);
  const Hwnd c = Make(sim, rec, {10, 20, 60, 70}, WS_CHILD | WS_VISIBLE, 0, p, "TestClass", 42);
  EXPECT_EQ(sim.GetWindowRectInParent(c), (Rect{10, 20, 60, 70}));
  EXPECT_EQ(sim.GetWindowRect(c), (Rect{111, 121, 161, 171}));
  EXPECT_EQ(sim.GetParent(c), p);
  EXPECT_EQ(sim.Children(p), (std::vector<Hwnd>{c}));
  EXPECT_EQ(sim.GetWindowLong(c, -12), 42);
  Recorder rq;
  const Hwnd q = Make(sim, rq, {0, 0, 50, 50}, WS_POPUP | WS_VISIBLE);
  EXPECT_EQ(sim.SetParent(c, q), p);
  EXPECT_EQ(sim.GetWindowRect(c), (Rect{10, 20, 60, 70}));
  EXPECT_EQ(sim.SetParent(q, c), 0u);  // no cycles
}

TEST_F(SimWindows, DefaultGuiFontIsRecorded) {
  const Hwnd h = Make(sim, rec, {0, 0, 10, 10});
  sim.SetDefaultGuiFont(h);
  EXPECT_EQ(sim.Info(h)->font, kDefaultGuiFont);
  ASSERT_EQ(rec.Count(WM_SETFONT), 1u);
  EXPECT_EQ(rec.got.back().wParam, kDefaultGuiFont);
}

TEST_F(SimWindows, CloseDestroysThroughDefWindowProc) {
  const Hwnd h = Make(sim, rec, {0, 0, 10, 10});
  sim.SendMessage(h, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(sim.IsWindow(h));
  EXPECT_EQ(rec.Only({WM_CLOSE, WM_DESTROY, WM_NCDESTROY}),
            (std::vector<uint32_t>{WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
}

TEST_F(SimWindows, DoubleClicksNeedTheClassStyle) {
  Register(sim, "Dbl", CS_DBLCLKS);
  Recorder dbl;
  const Hwnd a = Make(sim, dbl, {0, 0, 100, 100}, WS_POPUP | WS_VISIBLE, 0, 0, "Dbl");
  const Hwnd b = Make(sim, rec, {200, 0, 300, 100});
  sim.DoubleClick(50, 50);
  sim.DoubleClick(250, 50);
  sim.PumpPending();
  EXPECT_EQ(dbl.Only({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK}, a),
            (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}));
  EXPECT_EQ(rec.Only({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK}, b),
            (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP}));
}

TEST_F(SimWindows, AClickOnADisabledWindowIsRefused) {
  Recorder below;
  const Hwnd low = Make(sim, below, {0, 0, 100, 100});
  const Hwnd high = Make(sim, rec, {0, 0, 100, 100});
  sim.EnableWindow(high, false);
  EXPECT_EQ(sim.WindowFromPoint(50, 50), high);
  below.got.clear();
  rec.got.clear();
  sim.Click(50, 50);
  sim.PumpPending();
  EXPECT_EQ(below.Count(WM_LBUTTONDOWN), 0u);
  EXPECT_EQ(rec.Count(WM_LBUTTONDOWN), 0u);
  (void)low;
}

}  // namespace
}  // namespace wintrel::sim::test
