// The simulated shell: the notification area, pop-up menus with their nested loop,
// message boxes and their modality, sounds and the external routines.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "tests/sim/sim_test_util.h"

namespace wintrel::sim::test {
namespace {

NotifyIconData Icon(Hwnd h, uint32_t id, const char* tip, Hicon icon = 0) {
  NotifyIconData d;
  d.hwnd = h;
  d.id = id;
  d.flags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  d.callbackMessage = WM_TRAYNOTIFY;
  d.icon = icon;
  std::strncpy(d.tip, tip, sizeof(d.tip) - 1);
  return d;
}

// A 32 x 32 icon image: a bitmap header, 32-bit colour rows with alpha, mask rows.
std::vector<uint8_t> IconImage(uint32_t bgra) {
  std::vector<uint8_t> b(40 + 32 * 32 * 4 + 32 * 4, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(0, 40);
  put32(4, 32);
  put32(8, 64);
  b[12] = 1;
  b[14] = 32;
  for (size_t i = 0; i < 32 * 32; ++i) put32(40 + i * 4, bgra);
  return b;
}

class SimShell : public ::testing::Test {
 protected:
  void SetUp() override {
    Register(sim);
    win = Make(sim, rec, {0, 0, 300, 200});
  }
  SimDesktop sim;
  Recorder rec;
  Hwnd win = 0;
};

TEST_F(SimShell, TrayIconsAreAddedModifiedAndDeletedByWindowAndId) {
  const Hicon ic = sim.CreateIconFromResourceEx(IconImage(0xFF80C0E0), 32, 32);
  ASSERT_NE(ic, 0u);
  EXPECT_TRUE(sim.ShellNotifyIcon(NIM_ADD, Icon(win, 100, "Wintrel", ic)));
  EXPECT_FALSE(sim.ShellNotifyIcon(NIM_ADD, Icon(win, 100, "again")));
  EXPECT_FALSE(sim.ShellNotifyIcon(NIM_MODIFY, Icon(win, 101, "missing")));
  ASSERT_EQ(sim.TrayIcons().size(), 1u);
  EXPECT_EQ(sim.TrayIcons()[0].tip, "Wintrel");
  EXPECT_EQ(sim.TrayIcons()[0].icon, ic);
  EXPECT_EQ(sim.TrayIcons()[0].callbackMessage, WM_TRAYNOTIFY);
  EXPECT_TRUE(sim.ShellNotifyIcon(NIM_MODIFY, Icon(win, 100, "Other")));
  EXPECT_EQ(sim.FindTrayIcon(win, 100)->tip, "Other");
  EXPECT_TRUE(sim.ShellNotifyIcon(NIM_DELETE, Icon(win, 100, "")));
  EXPECT_FALSE(sim.ShellNotifyIcon(NIM_DELETE, Icon(win, 100, "")));
  EXPECT_TRUE(sim.TrayIcons().empty());
  sim.SetShellNotifyIconFails(true);
  EXPECT_FALSE(sim.ShellNotifyIcon(NIM_ADD, Icon(win, 100, "x")));
  EXPECT_TRUE(sim.TrayIcons().empty());
  EXPECT_EQ(sim.ShellNotifyIconCalls(), 7);
}

TEST_F(SimShell, ClicksOnTheIconArriveAsCallbackMessages) {
  sim.ShellNotifyIcon(NIM_ADD, Icon(win, 100, "Wintrel"));
  auto tray = [&] {
    std::vector<std::intptr_t> r;
    for (const auto& g : rec.got)
      if (g.message == WM_TRAYNOTIFY) {
        EXPECT_EQ(g.wParam, 100u);
        r.push_back(g.lParam);
      }
    rec.got.clear();
    return r;
  };
  sim.PumpPending();
  rec.got.clear();
  EXPECT_TRUE(sim.ClickTrayIcon(win, 100, TrayClick::Right));
  EXPECT_TRUE(tray().empty());  // the shell's notifications arrive through the queue
  sim.PumpPending();
  EXPECT_EQ(tray(), (std::vector<std::intptr_t>{WM_MOUSEMOVE, WM_RBUTTONDOWN, WM_RBUTTONUP}));
  sim.ClickTrayIcon(TrayClick::Left);
  sim.PumpPending();
  EXPECT_EQ(tray(), (std::vector<std::intptr_t>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
  sim.ClickTrayIcon(TrayClick::Double);
  sim.PumpPending();
  EXPECT_EQ(tray(), (std::vector<std::intptr_t>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK,
                                                WM_LBUTTONUP}));
  const Rect r = sim.TrayIcons()[0].screenRect;
  EXPECT_EQ(sim.GetCursorPos(), (Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2}));
  EXPECT_GE(r.top, 1040);  // in the taskbar
  // A click at the icon's place on the screen is the same.
  sim.Click(r.left + 3, r.top + 3, MouseButton::Right);
  sim.PumpPending();
  EXPECT_EQ(tray(), (std::vector<std::intptr_t>{WM_MOUSEMOVE, WM_RBUTTONDOWN, WM_RBUTTONUP}));
  EXPECT_FALSE(sim.ClickTrayIcon(win, 7));
}

TEST_F(SimShell, RestartingTheShellLosesIconsAndAnnouncesTheTaskbar) {
  Recorder other;
  const Hwnd second = Make(sim, other, {0, 0, 10, 10}, WS_POPUP);
  sim.ShellNotifyIcon(NIM_ADD, Icon(win, 100, "Wintrel"));
  sim.RestartShell();
  EXPECT_TRUE(sim.TrayIcons().empty());
  sim.PumpPending();
  const uint32_t created = sim.RegisterWindowMessage("TaskbarCreated");
  EXPECT_EQ(rec.Count(created, win), 1u);
  EXPECT_EQ(other.Count(created, second), 1u);
  EXPECT_TRUE(sim.ShellNotifyIcon(NIM_ADD, Icon(win, 100, "Wintrel")));
}

// The tray menu as the runtime shows it: foreground, then the menu near the cursor.
struct TrayMenu {
  SimDesktop& sim;
  Hwnd owner;
  Hmenu menu = 0;
  void Show() {
    menu = sim.CreatePopupMenu();
    sim.AppendMenu(menu, {MF_STRING, 1, 0, "About"});
    sim.AppendMenu(menu, {MF_STRING, 2, 0, "Exit"});
    const Point c = sim.GetCursorPos();
    sim.SetForegroundWindow(owner);
    sim.TrackPopupMenu(menu, TPM_RIGHTALIGN, c.x - 5, c.y - 5, owner);
    sim.PostMessage(owner, WM_NULL, 0, 0);
    sim.DestroyMenu(menu);
  }
};

TEST_F(SimShell, AChosenMenuItemArrivesAsACommandAfterTheMenuCloses) {
  TrayMenu tm{sim, win};
  sim.ShellNotifyIcon(NIM_ADD, Icon(win, 100, "Wintrel"));
  sim.SetTimer(win, 5, 50);
  bool returned = false;
  rec.hook = [&](Hwnd, uint32_t m, std::uintptr_t, std::intptr_t l) -> std::optional<std::intptr_t> {
    if (m == WM_TRAYNOTIFY && l == WM_RBUTTONUP) {
      tm.Show();
      returned = true;
      return 0;
    }
    if (m == WM_COMMAND) {
      EXPECT_TRUE(returned);
    }
    return std::nullopt;
  };
  std::optional<OpenMenuInfo> seen;
  size_t timersDuringMenu = 0;
  const uint32_t t0 = sim.ElapsedMs();
  sim.At(t0 + 100, [&] { sim.ClickTrayIcon(win, 100, TrayClick::Right); });
  sim.At(t0 + 600, [&] {
    seen = sim.OpenMenu();
    timersDuringMenu = rec.Count(WM_TIMER);
    if (const char* dir = std::getenv("WINTREL_SHOTS")) sim.SaveScreenPng(std::string(dir) + "/menu.png");
    EXPECT_TRUE(sim.ChooseMenuItem(2));
  });
  sim.PumpFor(1000);
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->owner, win);
  ASSERT_EQ(seen->items.size(), 2u);
  EXPECT_EQ(seen->items[0].text, "About");
  EXPECT_EQ(seen->items[1].text, "Exit");
  EXPECT_EQ(seen->flags, TPM_RIGHTALIGN);
  // The right edge at x; kept within the screen, so it opens upwards from y.
  const Point c = seen->requested;
  EXPECT_EQ(seen->screenRect.right, c.x);
  EXPECT_EQ(seen->screenRect.bottom, c.y);
  EXPECT_GT(timersDuringMenu, 5u);  // timers kept running in the menu's loop
  EXPECT_FALSE(sim.MenuOpen());
  ASSERT_EQ(rec.Count(WM_COMMAND), 1u);
  for (const auto& g : rec.got)
    if (g.message == WM_COMMAND) {
      EXPECT_EQ(g.wParam, 2u);
    }
  EXPECT_EQ(sim.MenusShown(), 1);
  EXPECT_EQ(sim.LiveMenus(), 0u);
}

TEST_F(SimShell, ClickingOutsideOrEscDismissesTheMenuSilently) {
  TrayMenu tm{sim, win};
  sim.At(100, [&] { sim.SetCursorPos(500, 500); });
  sim.At(200, [&] { tm.Show(); });
  sim.At(300, [&] {
    ASSERT_TRUE(sim.MenuOpen());
    sim.Click(1000, 100);  // far outside
  });
  sim.At(400, [&] { tm.Show(); });
  sim.At(500, [&] { sim.PressKey(VK_ESCAPE); });
  sim.PumpFor(1000);
  EXPECT_EQ(sim.MenusShown(), 2);
  EXPECT_FALSE(sim.MenuOpen());
  EXPECT_EQ(rec.Count(WM_COMMAND), 0u);
  EXPECT_EQ(rec.Count(WM_KEYDOWN), 0u);  // the menu took the key
  EXPECT_EQ(rec.Count(WM_LBUTTONDOWN), 0u);
}

TEST_F(SimShell, AMenuOfAWindowNotInTheForegroundStaysOpenOnOutsideClicks) {
  const Hmenu m = sim.CreatePopupMenu();
  sim.AppendMenu(m, {MF_STRING, 9, 0, "Item"});
  sim.AppendMenu(m, {MF_SEPARATOR, 0, 0, ""});
  sim.AppendMenu(m, {MF_GRAYED, 10, 0, "Grey"});
  sim.Click(1500, 900);  // the desktop becomes the foreground
  ASSERT_EQ(sim.Foreground(), 0u);
  bool stillOpen = false;
  sim.At(100, [&] {
    sim.Click(1000, 100);
    stillOpen = sim.MenuOpen();
    EXPECT_FALSE(sim.ChooseMenuItem(10));  // greyed
    const auto open = sim.OpenMenu();
    ASSERT_TRUE(open);
    const Rect item = open->items[0].screenRect;
    sim.Click(item.left + 5, item.top + 5);  // a click on the item chooses it
  });
  EXPECT_TRUE(sim.TrackPopupMenu(m, 0, 600, 300, win));
  EXPECT_TRUE(stillOpen);
  sim.PumpPending();
  EXPECT_EQ(rec.Count(WM_COMMAND), 1u);
}

TEST_F(SimShell, ATaskModalBoxDisablesTheProgramsWindowsWhileItIsOpen) {
  Recorder other;
  const Hwnd second = Make(sim, other, {400, 0, 500, 100});
  sim.SetTimer(win, 1, 100);
  bool bothDisabled = false;
  std::optional<MessageBoxInfo> open;
  sim.At(500, [&] {
    open = sim.OpenMessageBox();
    bothDisabled = !sim.IsWindowEnabled(win) && !sim.IsWindowEnabled(second);
    if (const char* dir = std::getenv("WINTREL_SHOTS")) sim.SaveScreenPng(std::string(dir) + "/box.png");
    sim.CloseMessageBox(IDOK);
  });
  const int32_t r = sim.MessageBox(0, "Line one\r\nLine two", "Title", MB_ICONINFORMATION | MB_TASKMODAL);
  EXPECT_EQ(r, IDOK);
  ASSERT_TRUE(open);
  EXPECT_EQ(open->text, "Line one\r\nLine two");
  EXPECT_EQ(open->title, "Title");
  EXPECT_EQ(open->flags, MB_ICONINFORMATION | MB_TASKMODAL);
  EXPECT_EQ(open->owner, 0u);
  EXPECT_TRUE(bothDisabled);
  EXPECT_TRUE(sim.IsWindowEnabled(win));
  EXPECT_TRUE(sim.IsWindowEnabled(second));
  EXPECT_GE(rec.Count(WM_TIMER), 4u);  // the loop kept timers running
  EXPECT_EQ(sim.MessageBoxCount(), 1);
  EXPECT_EQ(sim.MessageBoxes()[0].result, IDOK);
  EXPECT_FALSE(sim.MessageBoxOpen());
  EXPECT_EQ(sim.TopLevelWindows(true).size(), 2u);  // the box's window is gone
}

TEST_F(SimShell, ABoxClosesWithEnterOrAClickOnItsButton) {
  sim.At(100, [&] { sim.PressKey(VK_RETURN); });
  EXPECT_EQ(sim.MessageBox(win, "a", "b", MB_OK), IDOK);
  EXPECT_TRUE(sim.IsWindowEnabled(win));
  EXPECT_EQ(sim.GetActiveWindow(), win);
  sim.After(100, [&] { sim.PressKey(VK_ESCAPE); });
  EXPECT_EQ(sim.MessageBox(win, "a", "b", 4 /* MB_YESNO: Esc does nothing */ | 0x100), 7)
      << "closed by the guard with the default button";
  EXPECT_TRUE(sim.MessageBoxes()[1].closedByGuard);
  sim.ClearStop();
  sim.After(100, [&] {
    const auto windows = sim.TopLevelWindows(true);
    const auto box = sim.Info(windows.front());
    ASSERT_TRUE(box && box->system);
    // OK sits at the bottom right of the client.
    const Rect c = box->clientRectScreen;
    sim.Click(c.right - 20, c.bottom - 20);
  });
  EXPECT_EQ(sim.MessageBox(0, "a", "b", MB_OK), IDOK);
}

TEST_F(SimShell, AutoCloseAndTheEndOfTheProcess) {
  sim.SetMessageBoxAutoClose(IDOK);
  EXPECT_EQ(sim.MessageBox(0, "x", "y", MB_OK), IDOK);
  sim.SetMessageBoxAutoClose(std::nullopt);
  sim.At(100, [&] { sim.ExitProcess(1); });
  EXPECT_EQ(sim.MessageBox(0, "x", "y", MB_OK | MB_TASKMODAL), 0);
  EXPECT_TRUE(sim.ProcessEnded());
  EXPECT_EQ(sim.MessageBoxCount(), 2);
}

TEST_F(SimShell, ExternalRoutinesActOnTheSimulatedWindows) {
  const std::uintptr_t get = sim.ResolveExternalRoutine("GetWindowLongA");
  const std::uintptr_t set = sim.ResolveExternalRoutine("SetWindowLongA");
  const std::uintptr_t layered = sim.ResolveExternalRoutine("SetLayeredWindowAttributes");
  ASSERT_TRUE(get && set && layered);
  EXPECT_EQ(sim.ResolveExternalRoutine("NoSuchRoutine"), 0u);
  const std::intptr_t h = static_cast<std::intptr_t>(win);
  const std::intptr_t a1[] = {h, GWL_EXSTYLE};
  auto r = sim.CallExternalRoutine(get, a1);
  EXPECT_EQ(r.consumed, 2);
  const std::intptr_t a2[] = {h, GWL_EXSTYLE, r.result | static_cast<std::intptr_t>(WS_EX_LAYERED)};
  EXPECT_EQ(sim.CallExternalRoutine(set, a2).consumed, 3);
  const std::intptr_t a3[] = {h, 0xF0F0F0, 255, LWA_COLORKEY};
  r = sim.CallExternalRoutine(layered, a3);
  EXPECT_EQ(r.consumed, 4);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(sim.Info(win)->colorKey, 0xF0F0F0u);
  sim.AddExternalRoutine("GetWindowLongA", 3, [](std::span<const std::intptr_t>) { return 7; });
  r = sim.CallExternalRoutine(get, a1);
  EXPECT_EQ(r.consumed, 3);
  EXPECT_EQ(r.result, 7);
  EXPECT_EQ(sim.ExternalCalls().size(), 4u);
  sim.FreeExternalLibraries();
  EXPECT_EQ(sim.FreeExternalLibrariesCalls(), 1);
}

TEST_F(SimShell, SoundsAreRecorded) {
  const uint8_t bytes[] = {'R', 'I', 'F', 'F'};
  sim.PlaySoundFromMemory(bytes);
  ASSERT_EQ(sim.PlayedSounds().size(), 1u);
  EXPECT_EQ(sim.PlayedSounds()[0], (std::vector<uint8_t>{'R', 'I', 'F', 'F'}));
}

TEST_F(SimShell, MenusAndTheirItems) {
  const Hmenu bar = sim.CreateMenu();
  const Hmenu sub = sim.CreatePopupMenu();
  EXPECT_TRUE(sim.AppendMenu(sub, {MF_CHECKED, 3, 0, "Inner\tCtrl+I"}));
  EXPECT_TRUE(sim.AppendMenu(bar, {MF_POPUP, 0, sub, "Top"}));
  EXPECT_FALSE(sim.AppendMenu(bar, {MF_POPUP, 0, 12345, "Bad"}));
  const auto items = sim.MenuItems(bar);
  ASSERT_EQ(items.size(), 1u);
  ASSERT_EQ(items[0].subItems.size(), 1u);
  EXPECT_EQ(items[0].subItems[0].text, "Inner\tCtrl+I");
  const Rect before = sim.GetClientRect(win);
  EXPECT_TRUE(sim.SetMenu(win, bar));
  EXPECT_EQ(sim.GetMenu(win), bar);
  EXPECT_EQ(sim.GetClientRect(win).Height(), before.Height() - 20);  // a menu bar
  const Hmenu empty = sim.CreateMenu();
  EXPECT_TRUE(sim.SetMenu(win, empty));
  EXPECT_EQ(sim.GetClientRect(win), before);  // an empty menu shows no bar
  EXPECT_TRUE(sim.DestroyMenu(bar));
  EXPECT_EQ(sim.MenuItems(sub).size(), 0u);  // destroyed with its parent
  sim.DestroyWindow(win);
  EXPECT_EQ(sim.LiveMenus(), 0u);  // a window's menu goes with it
}

}  // namespace
}  // namespace wintrel::sim::test
