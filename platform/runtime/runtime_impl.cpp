#include "platform/runtime/runtime_impl.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/runtime/ico.h"

namespace wintrel::runtime {

using namespace wintrel::ws;

namespace {

constexpr const char* kWindowClass = "WintrelWindow";
constexpr const char* kTimerClass = "WintrelTimer";
constexpr const char* kOwnerClass = "WintrelOwner";
constexpr uint32_t kTrayIconId = 100;
constexpr uint32_t kFirstMenuCommand = 1000;
constexpr std::uintptr_t kTimerId = 1;

// Event numbers of the window unit.
constexpr int32_t kEventCreated = 0;
constexpr int32_t kEventCloseQuery = 1;
constexpr int32_t kEventDestroyed = 2;
constexpr int32_t kEventMoved = 3;
constexpr int32_t kEventSizeChanged = 4;
constexpr int32_t kEventTray = 9;
constexpr int32_t kEventQueryClose = 12;
// Event of the timer unit.
constexpr int32_t kEventTimer = 0;

// The screen's size or the work area changed (the work area: WM_SETTINGCHANGE with
// SPI_SETWORKAREA).
constexpr uint32_t kWmDisplayChange = 0x007E;
constexpr uint32_t kWmSettingChange = 0x001A;
constexpr std::uintptr_t kSpiSetWorkArea = 0x002F;

bool KeyDown(WindowSystem& ws, int32_t vk) { return (ws.GetKeyState(vk) & 0x8000) != 0; }

int32_t TrayCode(std::intptr_t mouseMessage) {
  switch (static_cast<uint32_t>(mouseMessage & 0xFFFF)) {
    case WM_LBUTTONUP: return 1;
    case WM_LBUTTONDBLCLK: return 2;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU: return 3;
    default: return 0;
  }
}

}  // namespace

std::string ShortcutName(int32_t shortcut) {
  if (shortcut >= 1 && shortcut <= 26) return std::string("Ctrl+") + static_cast<char>('A' + shortcut - 1);
  if (shortcut >= 27 && shortcut <= 38) return "F" + std::to_string(shortcut - 26);
  if (shortcut >= 39 && shortcut <= 50) return "Ctrl+F" + std::to_string(shortcut - 38);
  if (shortcut >= 51 && shortcut <= 62) return "Shift+F" + std::to_string(shortcut - 50);
  if (shortcut >= 63 && shortcut <= 74) return "Ctrl+Shift+F" + std::to_string(shortcut - 62);
  switch (shortcut) {
    case 75: return "Ins";
    case 76: return "Del";
    case 77: return "Alt+Bksp";
    default: return "";
  }
}

LiveUnit* LiveWindow::Unit(uint32_t unitId) {
  for (auto& u : units)
    if (u->stored->id == unitId) return u.get();
  return nullptr;
}

RuntimeImpl::RuntimeImpl(WindowSystem& windows, const ProgramImage& program)
    : ws_(windows), program_(program) {
  for (const auto& b : program.handlers) handlers_[b.offset] = b.handler;
  externals_.assign(program.externals.size(), 0);
}

RuntimeImpl::~RuntimeImpl() = default;

// ---------------------------------------------------------------- life cycle

void RuntimeImpl::StartRuntime() {
  if (ended_) return;
  defs_ = ReadWindowDefinitions(program_.windowDefinitions);
  if (!defs_) return Fatal(kErrorGeneral);
  // Every binding must name a handler of the program.
  auto known = [&](int32_t offset) { return offset == kNoHandler || handlers_.count(offset) != 0; };
  for (const auto& w : defs_->windows)
    for (const auto& u : w.units) {
      if (u.isMenu ? !known(u.menu.handler)
                   : !std::all_of(u.unit.events.begin(), u.unit.events.end(),
                                  [&](const EventBinding& e) { return known(e.handler); }))
        return Fatal(kErrorGeneral);
    }

  ws_.RegisterClass({kWindowClass, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, true});
  ws_.RegisterClass({kTimerClass, 0, true});
  ws_.RegisterClass({kOwnerClass, 0, true});
  CreateDesc owner;
  owner.exStyle = WS_EX_TOOLWINDOW;
  owner.className = kOwnerClass;
  owner.style = WS_POPUP;
  owner.proc = &RuntimeImpl::OwnerProc;
  owner.context = this;
  owner_ = ws_.CreateWindow(owner);
  if (owner_ == 0) return Fatal(kErrorGeneral);
  taskbarCreated_ = ws_.RegisterWindowMessage("TaskbarCreated");
}

void RuntimeImpl::AddExitRoutine(ExitRoutine routine) {
  if (ended_ || routine == nullptr) return;
  if (std::find(exitRoutines_.begin(), exitRoutines_.end(), routine) == exitRoutines_.end())
    exitRoutines_.push_back(routine);
}

void* RuntimeImpl::Allocate(std::size_t bytes) {
  if (ended_) return nullptr;
  void* p = std::malloc(bytes == 0 ? 1 : bytes);
  if (p == nullptr) Fatal(kErrorGeneral);
  return p;
}

void RuntimeImpl::Free(void* block) { std::free(block); }

void RuntimeImpl::RaiseRuntimeError(int32_t code) { Fatal(code); }

void RuntimeImpl::Fatal(int32_t code) {
  if (ended_ || failed_) return;
  failed_ = true;
  ++suppression_;
  const std::string text = "Run-time error " + std::to_string(code);
  ws_.MessageBox(0, text, "Wintrel", MB_OK | MB_ICONERROR | MB_TASKMODAL);
  exitRoutines_.clear();
  ExitProcessing();
  ended_ = true;
  exitCode_ = 0xFFFFFFFFu;
  ws_.ExitProcess(exitCode_);
}

void RuntimeImpl::ExitProcessing() {
  ++suppression_;
  std::vector<ExitRoutine> routines;
  routines.swap(exitRoutines_);
  for (ExitRoutine r : routines) r(*this);
  ws_.FreeExternalLibraries();
  for (auto& w : windows_)
    if (w->open && w->hwnd != 0) ws_.DestroyWindow(w->hwnd);
  if (owner_ != 0) ws_.DestroyWindow(owner_);
  owner_ = 0;
}

uint32_t RuntimeImpl::FinishProcess() {
  if (ended_) return exitCode_;
  ExitProcessing();
  ended_ = true;
  exitCode_ = quitCode_;
  ws_.ExitProcess(exitCode_);
  return exitCode_;
}

void RuntimeImpl::DispatchPending() {
  Message m;
  while (!ended_ && ws_.PeekMessage(m, true)) {
    if (m.message == WM_QUIT) {
      ws_.PostQuitMessage(static_cast<int32_t>(m.wParam));
      return;
    }
    if (PreTranslate(m)) continue;
    ws_.TranslateMessage(m);
    ws_.DispatchMessage(m);
  }
}

bool RuntimeImpl::AnyWindowOpen() const {
  return std::any_of(windows_.begin(), windows_.end(), [](const auto& w) { return w->open; });
}

void RuntimeImpl::RunMessageLoop() {
  if (ended_ || !AnyWindowOpen()) return;
  loopRunning_ = true;
  Message m;
  while (ws_.GetMessage(m)) {
    if (PreTranslate(m)) continue;
    ws_.TranslateMessage(m);
    ws_.DispatchMessage(m);
  }
  loopRunning_ = false;
  if (m.message == WM_QUIT) quitCode_ = static_cast<uint32_t>(m.wParam);
}

bool RuntimeImpl::PreTranslate(const Message& msg) {
  if (msg.message != WM_KEYDOWN || suppression_ > 0) return false;
  for (auto& w : windows_) {
    if (!w->open) continue;
    bool ours = false;
    for (Hwnd h = msg.hwnd; h != 0; h = ws_.GetParent(h))
      if (h == w->hwnd) {
        ours = true;
        break;
      }
    if (!ours) continue;
    const int32_t vk = static_cast<int32_t>(msg.wParam);
    const bool modifiers = KeyDown(ws_, VK_CONTROL) || KeyDown(ws_, VK_SHIFT) || KeyDown(ws_, VK_MENU);
    if (vk == VK_ESCAPE && w->settings.escCloses != 0 && !modifiers) {
      ws_.SendMessage(w->hwnd, WM_CLOSE, 0, 0);
      return true;
    }
    if (vk == VK_TAB && !KeyDown(ws_, VK_CONTROL) && !KeyDown(ws_, VK_MENU)) {
      MoveFocus(*w);
      return true;
    }
    if (vk == VK_RETURN && w->settings.enterMovesFocus != 0) {
      MoveFocus(*w);
      return true;
    }
    return false;
  }
  return false;
}

void RuntimeImpl::MoveFocus(LiveWindow& w) {
  std::vector<Hwnd> stops;
  for (auto& u : w.units)
    if (!u->stored->isMenu && u.get() != w.units[0].get() && u->hwnd != 0 &&
        (u->stored->unit.flags & kUnitTabStop) != 0 && ws_.IsWindowVisible(u->hwnd) &&
        ws_.IsWindowEnabled(u->hwnd))
      stops.push_back(u->hwnd);
  if (stops.empty()) return;
  const Hwnd focus = ws_.GetFocus();
  auto it = std::find(stops.begin(), stops.end(), focus);
  ws_.SetFocus(it == stops.end() || std::next(it) == stops.end() ? stops.front() : *std::next(it));
}

// ---------------------------------------------------------------- loading

LiveWindow* RuntimeImpl::FindWindow(uint32_t windowId) {
  for (auto& w : windows_)
    if (w->stored->id == windowId && w->open) return w.get();
  return nullptr;
}

void RuntimeImpl::LoadStartupWindow(uint32_t windowId) {
  if (ended_) return;
  const StoredWindow* stored = nullptr;
  if (defs_)
    for (const auto& w : defs_->windows)
      if (w.id == windowId) stored = &w;
  if (stored == nullptr || stored->units.empty() || stored->units[0].isMenu ||
      UnitClass(stored->units[0].id) != kUnitClassWindow)
    return Fatal(kErrorGeneral);

  DispatchPending();
  ++suppression_;
  auto live = std::make_unique<LiveWindow>();
  live->runtime = this;
  live->stored = stored;
  for (const auto& su : stored->units) {
    auto u = std::make_unique<LiveUnit>();
    u->runtime = this;
    u->window = live.get();
    u->stored = &su;
    live->units.push_back(std::move(u));
  }
  LiveWindow& w = *live;
  windows_.push_back(std::move(live));
  if (!BuildWindow(w)) {
    // Discard what was built, then report.
    if (w.hwnd != 0) ws_.DestroyWindow(w.hwnd);
    if (w.menuBar != 0) ws_.DestroyMenu(w.menuBar);
    w.menuBar = 0;
    w.open = false;
    return Fatal(kErrorGeneral);
  }
  DispatchPending();
  if (ended_) return;
  --suppression_;

  LiveUnit& self = *w.units[0];
  RaiseEvent(w, self, kEventCreated, {});
  if (ended_ || !w.open) return;
  RaiseEvent(w, self, kEventMoved, {});
  if (ended_ || !w.open) return;
  RaiseEvent(w, self, kEventSizeChanged, {});
  if (ended_ || !w.open) return;
  if ((self.stored->unit.flags & kUnitVisible) != 0) ShowInStartState(w);
}

bool RuntimeImpl::BuildWindow(LiveWindow& w) {
  BuildMenuBar(w);
  if (!CreateWindowUnit(w)) return false;
  // Controls in the reverse of their stored order.
  for (std::size_t k = w.units.size(); k-- > 1;) {
    LiveUnit& u = *w.units[k];
    if (u.stored->isMenu) continue;
    if (!CreateControl(w, u)) return false;
  }
  // Parents, stacking order, visibility.
  for (std::size_t k = 1; k < w.units.size(); ++k) {
    LiveUnit& u = *w.units[k];
    if (u.stored->isMenu || u.hwnd == 0) continue;
    Hwnd parent = w.hwnd;
    if (u.stored->unit.parent != 0) {
      LiveUnit* p = w.Unit(u.stored->unit.parent);
      if (p == nullptr || p->hwnd == 0) return false;
      parent = p->hwnd;
    }
    if (ws_.GetParent(u.hwnd) != parent) ws_.SetParent(u.hwnd, parent);
    ws_.SetWindowPos(u.hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  for (std::size_t k = 1; k < w.units.size(); ++k) {
    LiveUnit& u = *w.units[k];
    if (u.stored->isMenu || u.hwnd == 0) continue;
    ws_.ShowWindow(u.hwnd, (u.stored->unit.flags & kUnitVisible) != 0 ? SW_SHOWNA : SW_HIDE);
  }
  return true;
}

bool RuntimeImpl::CreateWindowUnit(LiveWindow& w) {
  LiveUnit& self = *w.units[0];
  const UnitRecord& rec = self.stored->unit;
  if (rec.unitType != kTypeWindow) return false;
  auto settings = ReadWindowSettings(rec.unitData);
  if (!settings) return false;
  w.settings = *settings;
  const WindowSettings& s = w.settings;

  uint32_t style = WS_CLIPCHILDREN;
  if (s.borderStyle == 0) {
    style |= WS_POPUP;
  } else {
    style |= WS_OVERLAPPED | WS_CAPTION | WS_BORDER;
    if (s.controlBox != 0) style |= WS_SYSMENU;
    if (s.minButton != 0) style |= WS_MINIMIZEBOX;
    if (s.maxButton != 0) style |= WS_MAXIMIZEBOX;
    if (s.borderStyle == 2) style |= WS_THICKFRAME;
  }
  if ((rec.flags & kUnitDisabled) != 0) style |= WS_DISABLED;

  CreateDesc d;
  d.className = kWindowClass;
  d.title = s.title;
  d.style = style;
  d.x = rec.left;
  d.y = rec.top;
  d.width = rec.width;
  d.height = rec.height;
  d.parentOrOwner = s.showInTaskbar == 0 ? owner_ : 0;
  d.menuOrId = w.menuBar;
  d.proc = &RuntimeImpl::WindowUnitProc;
  d.context = &w;
  w.hwnd = ws_.CreateWindow(d);
  if (w.hwnd == 0) return false;
  self.hwnd = w.hwnd;
  w.open = true;

  if (s.borderStyle == 0 && (ws_.GetWindowLong(w.hwnd, GWL_STYLE) & static_cast<int32_t>(WS_CAPTION)) != 0) {
    ws_.SetWindowLong(w.hwnd, GWL_STYLE,
                      ws_.GetWindowLong(w.hwnd, GWL_STYLE) & ~static_cast<int32_t>(WS_CAPTION));
    ws_.SetWindowPos(w.hwnd, 0, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  const Rect r = ws_.GetWindowRect(w.hwnd);
  if (r.Width() != rec.width || r.Height() != rec.height)
    ws_.MoveWindow(w.hwnd, rec.left, rec.top, rec.width, rec.height, true);
  ws_.SetDefaultGuiFont(w.hwnd);
  if (s.alwaysOnTop != 0)
    ws_.SetWindowPos(w.hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  return true;
}

bool RuntimeImpl::CreateControl(LiveWindow& w, LiveUnit& u) {
  const UnitRecord& rec = u.stored->unit;
  if (UnitClass(u.stored->id) != kUnitClassControl) return false;
  uint32_t style = WS_CHILD;
  if ((rec.flags & kUnitDisabled) != 0) style |= WS_DISABLED;
  if ((rec.flags & kUnitTabStop) != 0) style |= WS_TABSTOP;
  const int32_t controlId = static_cast<int32_t>(u.stored->id & 0xFFFF);

  if (rec.unitType == kTypeTimer) {
    auto settings = ReadTimerSettings(rec.unitData);
    if (!settings) return false;
    CreateDesc d;
    d.className = kTimerClass;
    d.style = style;
    d.x = rec.left;
    d.y = rec.top;
    d.width = rec.width;
    d.height = rec.height;
    d.parentOrOwner = w.hwnd;
    d.menuOrId = static_cast<std::uintptr_t>(controlId);
    d.proc = &RuntimeImpl::TimerUnitProc;
    d.context = &u;
    u.hwnd = ws_.CreateWindow(d);
    if (u.hwnd == 0) return false;
    SetTimerPeriod(u, settings->period);
    return true;
  }
  for (LibraryUnitType* type : program_.libraryTypes) {
    if (type == nullptr || type->TypeId() != rec.unitType) continue;
    UnitCreateParams p;
    p.stored = rec.unitData;
    p.style = style;
    p.parent = w.hwnd;
    p.controlId = controlId;
    p.left = rec.left;
    p.top = rec.top;
    p.width = rec.width;
    p.height = rec.height;
    p.windowId = w.stored->id;
    p.unitId = u.stored->id;
    p.designer = false;
    u.library = type->CreateUnit(*this, p);
    if (u.library == nullptr) return false;
    u.hwnd = u.library->Window();
    return true;
  }
  return false;
}

void RuntimeImpl::BuildMenuBar(LiveWindow& w) {
  uint32_t next = kFirstMenuCommand;
  for (auto& u : w.units)
    if (u->stored->isMenu) u->commandId = next++;
  w.menuBar = ws_.CreateMenu();
  bool any = false;
  for (std::size_t k = 0; k < w.units.size(); ++k) {
    const StoredUnit& su = *w.units[k]->stored;
    if (!su.isMenu || su.menu.level != 0 || (su.menu.flags & kMenuHidden) != 0) continue;
    MenuItem item;
    item.text = su.menu.text;
    item.id = w.units[k]->commandId;
    const bool hasChildren = k + 1 < w.units.size() && w.units[k + 1]->stored->isMenu &&
                             w.units[k + 1]->stored->menu.level > su.menu.level;
    if (hasChildren) {
      item.flags |= MF_POPUP;
      item.submenu = BuildPopup(w, k);
    }
    if ((su.menu.flags & kMenuDisabled) != 0) item.flags |= MF_GRAYED;
    ws_.AppendMenu(w.menuBar, item);
    any = true;
  }
  // A bar without entries is kept but not attached: an empty bar would still take a
  // strip of the window.
  if (!any) {
    ws_.DestroyMenu(w.menuBar);
    w.menuBar = 0;
  }
}

Hmenu RuntimeImpl::BuildPopup(LiveWindow& w, std::size_t index) {
  Hmenu popup = ws_.CreatePopupMenu();
  const int32_t level = w.units[index]->stored->menu.level;
  std::size_t j = index + 1;
  while (j < w.units.size() && w.units[j]->stored->isMenu && w.units[j]->stored->menu.level > level) {
    std::size_t next = j + 1;
    const int32_t childLevel = w.units[j]->stored->menu.level;
    while (next < w.units.size() && w.units[next]->stored->isMenu &&
           w.units[next]->stored->menu.level > childLevel)
      ++next;
    const MenuRecord& m = w.units[j]->stored->menu;
    if ((m.flags & kMenuHidden) == 0) {
      MenuItem item;
      item.id = w.units[j]->commandId;
      if (m.text == "-") {
        item.flags = MF_SEPARATOR;
      } else {
        item.text = m.text;
        const std::string shortcut = ShortcutName(m.shortcut);
        if (!shortcut.empty()) item.text += "\t" + shortcut;
        if ((m.flags & kMenuDisabled) != 0) item.flags |= MF_GRAYED;
        if ((m.flags & kMenuChecked) != 0) item.flags |= MF_CHECKED;
        if (next > j + 1) {
          item.flags |= MF_POPUP;
          item.submenu = BuildPopup(w, j);
        }
      }
      ws_.AppendMenu(popup, item);
    }
    j = next;
  }
  return popup;
}

void RuntimeImpl::ShowInStartState(LiveWindow& w) {
  switch (w.settings.startState) {
    case 3: {
      if (ws_.IsIconic(w.hwnd) || ws_.IsZoomed(w.hwnd)) ws_.ShowWindow(w.hwnd, SW_RESTORE);
      if (!w.open) return;
      ws_.ShowWindow(w.hwnd, SW_SHOWMAXIMIZED);
      if (!w.open) return;
      const Rect area = ws_.WorkAreaNearest(w.hwnd);
      ws_.SetWindowPos(w.hwnd, 0, area.left, area.top, area.Width(), area.Height(), SWP_NOZORDER);
      if (!w.open) return;
      ws_.ShowWindow(w.hwnd, SW_SHOW);
      break;
    }
    case 2:
      ws_.ShowWindow(w.hwnd, SW_SHOWMINIMIZED);
      break;
    default:
      ws_.ShowWindow(w.hwnd, SW_SHOW);
      break;
  }
}

// A window shown maximised over the work area goes on covering it when the screen or the
// work area changes: the system re-fits a maximised window by its own rules (one without
// a caption may get the whole monitor, or be left where it was), so it is placed over
// the new work area of its monitor again. Its size change raises the size-changed event,
// and the handlers make the controls follow.
void RuntimeImpl::FollowWorkArea(LiveWindow& w) {
  if (!w.open || w.hwnd == 0 || w.settings.startState != 3) return;
  if (!ws_.IsWindowVisible(w.hwnd) || ws_.IsIconic(w.hwnd)) return;
  const Rect area = ws_.WorkAreaNearest(w.hwnd);
  if (area.Empty() || ws_.GetWindowRect(w.hwnd) == area) return;
  ws_.SetWindowPos(w.hwnd, 0, area.left, area.top, area.Width(), area.Height(),
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------- events

EventOutcome RuntimeImpl::RaiseEvent(LiveWindow& w, const LiveUnit& u, int32_t eventNumber,
                                     std::span<const int32_t> args) {
  if (suppression_ > 0 || ended_ || u.stored->isMenu) return {};
  const UnitRecord* rec = &u.stored->unit;
  if (rec->sharedEvents != 0) {
    LiveUnit* shared = w.Unit(rec->sharedEvents);
    if (shared == nullptr || shared->stored->isMenu) return {};
    rec = &shared->stored->unit;
  }
  for (const auto& b : rec->events) {
    if (b.eventNumber != eventNumber) continue;
    if (b.handler == kNoHandler) return {};
    auto it = handlers_.find(b.handler);
    if (it == handlers_.end()) return {};
    const int32_t result = it->second(*this, args);
    return {true, result != 0};
  }
  return {};
}

void RuntimeImpl::RaiseMenuSelected(LiveWindow&, const LiveUnit& menu) {
  if (suppression_ > 0 || ended_ || !menu.stored->isMenu) return;
  auto it = handlers_.find(menu.stored->menu.handler);
  if (it != handlers_.end()) it->second(*this, {});
}

EventOutcome RuntimeImpl::RaiseUnitEvent(uint32_t windowId, uint32_t unitId, int32_t eventNumber,
                                         std::span<const int32_t> args) {
  if (program_.unitEventObserver) program_.unitEventObserver(windowId, unitId, eventNumber, args);
  LiveWindow* w = FindWindow(windowId);
  if (w == nullptr) return {};
  LiveUnit* u = w->Unit(unitId);
  if (u == nullptr) return {};
  return RaiseEvent(*w, *u, eventNumber, args);
}

void RuntimeImpl::PlaySound(std::span<const uint8_t> bytes) {
  if (!bytes.empty()) ws_.PlaySoundFromMemory(bytes);
}

void RuntimeImpl::UnitGone(uint32_t windowId, uint32_t unitId) {
  for (auto& w : windows_)
    if (w->stored->id == windowId)
      if (LiveUnit* u = w->Unit(unitId)) {
        u->library = nullptr;
        u->hwnd = 0;
      }
}

LibraryUnit* RuntimeImpl::FindLibraryUnit(uint32_t windowId, uint32_t unitId) {
  LiveWindow* w = FindWindow(windowId);
  if (w == nullptr) return nullptr;
  LiveUnit* u = w->Unit(unitId);
  return u == nullptr ? nullptr : u->library;
}

// ---------------------------------------------------------------- window procedures

std::intptr_t RuntimeImpl::WindowUnitProc(void* context, Hwnd hwnd, uint32_t message,
                                          std::uintptr_t wParam, std::intptr_t lParam) {
  auto* w = static_cast<LiveWindow*>(context);
  return w->runtime->HandleWindowMessage(*w, hwnd, message, wParam, lParam);
}

uint32_t RuntimeImpl::BackgroundColor(const LiveWindow& w) {
  return w.settings.backgroundColor == 0xFF000000u ? ws_.GetSysColor(COLOR_BTNFACE)
                                                    : w.settings.backgroundColor & 0x00FFFFFFu;
}

std::intptr_t RuntimeImpl::HandleWindowMessage(LiveWindow& w, Hwnd hwnd, uint32_t message,
                                               std::uintptr_t wParam, std::intptr_t lParam) {
  LiveUnit& self = *w.units[0];
  switch (message) {
    case WM_PAINT: {
      PaintContext pc = ws_.BeginPaint(hwnd);
      if (!pc.clip.Empty()) ws_.FillRect(pc, pc.clip, BackgroundColor(w));
      ws_.EndPaint(pc);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      ws_.DefWindowProc(hwnd, message, wParam, lParam);
      if (w.open) RaiseEvent(w, self, kEventSizeChanged, {});
      return 0;
    case WM_MOVE:
      ws_.DefWindowProc(hwnd, message, wParam, lParam);
      if (w.open) RaiseEvent(w, self, kEventMoved, {});
      return 0;
    case WM_CLOSE: {
      // Close queries: a handler answering true keeps the window.
      const EventOutcome first = RaiseEvent(w, self, kEventQueryClose, {});
      if ((first.handled && first.result) || !w.open) return 0;
      const EventOutcome second = RaiseEvent(w, self, kEventCloseQuery, {});
      if ((second.handled && second.result) || !w.open) return 0;
      if (w.open) ws_.DestroyWindow(hwnd);
      return 0;
    }
    case WM_DESTROY:
      RaiseEvent(w, self, kEventDestroyed, {});
      if (w.menuBar != 0) {
        ws_.SetMenu(hwnd, 0);
        ws_.DestroyMenu(w.menuBar);
        w.menuBar = 0;
      }
      RemoveTrayIcon(w);
      return 0;
    case WM_NCDESTROY: {
      const std::intptr_t r = ws_.DefWindowProc(hwnd, message, wParam, lParam);
      w.open = false;
      w.hwnd = 0;
      for (auto& u : w.units) u->hwnd = 0;
      if (!AnyWindowOpen() && loopRunning_) ws_.PostQuitMessage(0);
      return r;
    }
    case WM_TRAYNOTIFY: {
      const int32_t code = TrayCode(lParam);
      if (code != 0) {
        const int32_t args[] = {code};
        RaiseEvent(w, self, kEventTray, args);
      }
      return 0;
    }
    case kWmDisplayChange:
    case kWmSettingChange:
      if (message == kWmDisplayChange || wParam == kSpiSetWorkArea) FollowWorkArea(w);
      return ws_.DefWindowProc(hwnd, message, wParam, lParam);
    case WM_DEFERREDCLOSE:
      if (w.closing) {
        w.closing = false;
        ws_.DestroyWindow(hwnd);
      }
      return 0;
    case WM_COMMAND:
      if (((wParam >> 16) & 0xFFFF) == 0 && lParam == 0) {
        const uint32_t id = static_cast<uint32_t>(wParam & 0xFFFF);
        for (auto& u : w.units)
          if (u->stored->isMenu && u->commandId == id) {
            RaiseMenuSelected(w, *u);
            return 0;
          }
      }
      return 0;
    default:
      break;
  }
  if (message == taskbarCreated_ && taskbarCreated_ != 0) {
    // The notification area came back: show the icon again.
    if (w.trayIcon != 0) w.trayShown = ws_.ShellNotifyIcon(NIM_ADD, w.trayData);
    return 0;
  }
  return ws_.DefWindowProc(hwnd, message, wParam, lParam);
}

std::intptr_t RuntimeImpl::OwnerProc(void* context, Hwnd hwnd, uint32_t message,
                                      std::uintptr_t wParam, std::intptr_t lParam) {
  return static_cast<RuntimeImpl*>(context)->ws_.DefWindowProc(hwnd, message, wParam, lParam);
}

std::intptr_t RuntimeImpl::TimerUnitProc(void* context, Hwnd hwnd, uint32_t message,
                                         std::uintptr_t wParam, std::intptr_t lParam) {
  auto* u = static_cast<LiveUnit*>(context);
  RuntimeImpl& rt = *u->runtime;
  if (message == WM_TIMER && wParam == kTimerId) {
    if (u->window->open) rt.RaiseEvent(*u->window, *u, kEventTimer, {});
    return 0;
  }
  if (message == WM_DESTROY && u->period > 0) rt.ws_.KillTimer(hwnd, kTimerId);
  return rt.ws_.DefWindowProc(hwnd, message, wParam, lParam);
}

void RuntimeImpl::SetTimerPeriod(LiveUnit& timer, int32_t period) {
  if (period < 0) period = 0;
  if (period == timer.period) return;
  if (timer.period > 0 && timer.hwnd != 0) ws_.KillTimer(timer.hwnd, kTimerId);
  timer.period = period;
  if (period > 0 && timer.hwnd != 0) ws_.SetTimer(timer.hwnd, kTimerId, static_cast<uint32_t>(period));
}

// ---------------------------------------------------------------- commands

int32_t* RuntimeImpl::ArrayElement(ArrayBlock* block, int32_t index) {
  if (ended_) return nullptr;
  if (block == nullptr) {
    Fatal(kErrorGeneral);
    return nullptr;
  }
  if (index < 1) {
    Fatal(kErrorIndexBelowOne);
    return nullptr;
  }
  if (index > block->size) {
    Fatal(kErrorIndexAboveSize);
    return nullptr;
  }
  return block->Elements() + (index - 1);
}

LiveUnit* RuntimeImpl::FindUnitOrFail(uint32_t windowId, uint32_t unitId) {
  if (ended_) return nullptr;
  LiveWindow* w = FindWindow(windowId);
  LiveUnit* u = w == nullptr ? nullptr : w->Unit(unitId);
  if (u == nullptr || u->stored->isMenu || u->hwnd == 0) {
    Fatal(kErrorGeneral);
    return nullptr;
  }
  return u;
}

Hwnd RuntimeImpl::GetWindowHandle(uint32_t windowId, uint32_t unitId) {
  LiveUnit* u = FindUnitOrFail(windowId, unitId);
  return u == nullptr ? 0 : u->hwnd;
}

std::intptr_t RuntimeImpl::CallExternalRoutine(int32_t number, std::span<const std::intptr_t> args) {
  if (ended_) return 0;
  if (number < 0 || static_cast<std::size_t>(number) >= program_.externals.size()) {
    Fatal(kErrorGeneral);
    return 0;
  }
  const ExternalDeclaration& decl = program_.externals[static_cast<std::size_t>(number)];
  if (static_cast<int32_t>(args.size()) != decl.argumentCount) {
    Fatal(kErrorExternalArguments);
    return 0;
  }
  std::uintptr_t& routine = externals_[static_cast<std::size_t>(number)];
  if (routine == 0) routine = ws_.ResolveExternalRoutine(decl.name);
  if (routine == 0) {
    Fatal(kErrorGeneral);
    return 0;
  }
  const ExternalCallResult r = ws_.CallExternalRoutine(routine, args);
  if (r.consumed != decl.argumentCount) {
    Fatal(kErrorExternalArguments);
    return 0;
  }
  return r.result;
}

PropertyValue RuntimeImpl::ReadUnitProperty(uint32_t windowId, uint32_t unitId, int32_t property) {
  LiveUnit* u = FindUnitOrFail(windowId, unitId);
  if (u == nullptr) return {};
  const bool isWindow = u == u->window->units[0].get();
  const Rect r = isWindow ? ws_.GetWindowRect(u->hwnd) : ws_.GetWindowRectInParent(u->hwnd);
  switch (property) {
    case 0: return PropertyValue::Int(r.left);
    case 1: return PropertyValue::Int(r.top);
    case 2: return PropertyValue::Int(r.Width());
    case 3: return PropertyValue::Int(r.Height());
    case 4: return PropertyValue::Bytes(std::span(
                reinterpret_cast<const uint8_t*>(u->stored->unit.tag.data()), u->stored->unit.tag.size()));
    case 5: return PropertyValue::Int(ws_.IsWindowVisible(u->hwnd) ? 1 : 0);
    case 6: return PropertyValue::Int(ws_.IsWindowEnabled(u->hwnd) ? 0 : 1);
    case 7: return PropertyValue::Int(0);
    default: break;
  }
  if (u->stored->unit.unitType == kTypeTimer) return PropertyValue::Int(property == 8 ? u->period : 0);
  if (u->library != nullptr) {
    PropertyValue out;
    u->library->ReadProperty(property - 8, out);
    return out;
  }
  return {};
}

void RuntimeImpl::WriteUnitProperty(uint32_t windowId, uint32_t unitId, int32_t property,
                                    const PropertyValue& value) {
  LiveUnit* u = FindUnitOrFail(windowId, unitId);
  if (u == nullptr) return;
  switch (property) {
    case 0: return MoveControl(windowId, unitId, value.value, std::nullopt, std::nullopt, std::nullopt);
    case 1: return MoveControl(windowId, unitId, std::nullopt, value.value, std::nullopt, std::nullopt);
    case 2: return MoveControl(windowId, unitId, std::nullopt, std::nullopt, value.value, std::nullopt);
    case 3: return MoveControl(windowId, unitId, std::nullopt, std::nullopt, std::nullopt, value.value);
    case 5: ws_.ShowWindow(u->hwnd, value.value != 0 ? SW_SHOWNA : SW_HIDE); return;
    case 6: ws_.EnableWindow(u->hwnd, value.value == 0); return;
    default: break;
  }
  if (property < 8) return;
  if (u->stored->unit.unitType == kTypeTimer) {
    if (property == 8) SetTimerPeriod(*u, value.value);
    return;
  }
  if (u->library != nullptr) u->library->PropertyChanged(property - 8, value);
}

void RuntimeImpl::MoveControl(uint32_t windowId, uint32_t unitId, std::optional<int32_t> left,
                              std::optional<int32_t> top, std::optional<int32_t> width,
                              std::optional<int32_t> height) {
  LiveUnit* u = FindUnitOrFail(windowId, unitId);
  if (u == nullptr) return;
  const bool isWindow = u == u->window->units[0].get();
  const Rect current = isWindow ? ws_.GetWindowRect(u->hwnd) : ws_.GetWindowRectInParent(u->hwnd);
  Rect r = current;
  if (left) {
    r.right = *left + current.Width();
    r.left = *left;
  }
  if (top) {
    r.bottom = *top + current.Height();
    r.top = *top;
  }
  if (width && *width != -1) r.right = r.left + *width;
  if (height && *height != -1) r.bottom = r.top + *height;
  if (r == current) return;
  ws_.MoveWindow(u->hwnd, r.left, r.top, r.Width(), r.Height(), true);
}

void RuntimeImpl::SetRandomSeed(std::optional<uint32_t> seed) {
  if (seed) {
    randomState_ = *seed;
    return;
  }
  const uint32_t value = ws_.TickCount() + seedCounter_;
  randomState_ = value;
  seedCounter_ += (value % 256) + 100;
}

int32_t RuntimeImpl::RandomNumber(int32_t lo, int32_t hi) {
  if (lo < 0) lo = 0;
  if (hi < 0) hi = 0;
  if (lo > hi) std::swap(lo, hi);
  if (lo == hi) return lo;
  int64_t range = static_cast<int64_t>(hi) - lo;
  if (range > 2147483646) range = 2147483646;
  randomState_ = randomState_ * 214013u + 2531011u;
  const int64_t r = (randomState_ >> 16) & 0x7FFF;
  return static_cast<int32_t>(lo + r % (range + 1));
}

int32_t RuntimeImpl::ScreenWidth() { return ws_.GetSystemMetrics(SM_CXSCREEN); }
int32_t RuntimeImpl::ScreenHeight() { return ws_.GetSystemMetrics(SM_CYSCREEN); }

// ---------------------------------------------------------------- tray, menus, boxes

void RuntimeImpl::RemoveTrayIcon(LiveWindow& w) {
  if (w.trayIcon == 0) return;
  NotifyIconData d;
  d.hwnd = w.hwnd;
  d.id = kTrayIconId;
  ws_.ShellNotifyIcon(NIM_DELETE, d);
  ws_.DestroyIcon(w.trayIcon);
  w.trayIcon = 0;
  w.trayShown = false;
}

void RuntimeImpl::SetTrayIcon(uint32_t windowId, std::span<const uint8_t> icon,
                              const GbkText& tooltip) {
  if (ended_) return;
  LiveWindow* w = FindWindow(windowId);
  if (w == nullptr) return Fatal(kErrorGeneral);

  Hicon handle = 0;
  if (auto image = PickIcoImage(icon, 16))
    handle = ws_.CreateIconFromResourceEx(image->bytes, image->width, image->height);
  if (handle == 0)
    if (auto image = PickIcoImage(icon, 32))
      handle = ws_.CreateIconFromResourceEx(image->bytes, image->width, image->height);
  if (handle == 0) {
    RemoveTrayIcon(*w);
    return;
  }
  NotifyIconData d;
  d.hwnd = w->hwnd;
  d.id = kTrayIconId;
  d.flags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  d.callbackMessage = WM_TRAYNOTIFY;
  d.icon = handle;
  std::memcpy(d.tip, tooltip.data(), std::min<std::size_t>(tooltip.size(), 62));
  const Hicon previous = w->trayIcon;
  if (w->trayShown)
    w->trayShown = ws_.ShellNotifyIcon(NIM_MODIFY, d);
  else
    w->trayShown = ws_.ShellNotifyIcon(NIM_ADD, d);
  if (previous != 0) ws_.DestroyIcon(previous);
  w->trayIcon = handle;
  w->trayData = d;
}

void RuntimeImpl::PopupTrayMenu(uint32_t windowId, uint32_t menuUnitId) {
  if (ended_) return;
  LiveWindow* w = FindWindow(windowId);
  if (w == nullptr) return;
  std::size_t k = 0;
  while (k < w->units.size() && w->units[k]->stored->id != menuUnitId) ++k;
  if (k >= w->units.size() || !w->units[k]->stored->isMenu) return;
  if (k + 1 >= w->units.size() || !w->units[k + 1]->stored->isMenu ||
      w->units[k + 1]->stored->menu.level <= w->units[k]->stored->menu.level)
    return;
  const Hmenu popup = BuildPopup(*w, k);
  const Point cursor = ws_.GetCursorPos();
  const Hwnd hwnd = w->hwnd;
  ws_.SetForegroundWindow(hwnd);
  ws_.TrackPopupMenu(popup, TPM_RIGHTALIGN, cursor.x - 5, cursor.y - 5, hwnd);
  if (ws_.IsWindow(hwnd)) ws_.PostMessage(hwnd, WM_NULL, 0, 0);
  ws_.DestroyMenu(popup);
}

int32_t RuntimeImpl::ShowMessageBox(const GbkText& text, uint32_t flags, const GbkText& title,
                                    std::optional<uint32_t> ownerWindowId) {
  if (ended_) return 0;
  if ((flags & MB_SYSTEMMODAL) == 0) flags |= MB_TASKMODAL;
  Hwnd owner = 0;
  if (ownerWindowId)
    if (LiveWindow* w = FindWindow(*ownerWindowId)) owner = w->hwnd;
  return ws_.MessageBox(owner, text, title, flags);
}

void RuntimeImpl::RequestDestroy(uint32_t windowId, bool immediately) {
  if (ended_) return;
  LiveWindow* w = FindWindow(windowId);
  if (w == nullptr) return;
  if (immediately) {
    ws_.DestroyWindow(w->hwnd);
    return;
  }
  w->closing = true;
  ws_.PostMessage(w->hwnd, WM_DEFERREDCLOSE, 0, 0);
}

// ---------------------------------------------------------------- the process

uint32_t RunProcess(WindowSystem& windows, const ProgramImage& program) {
  if (program.processStart != nullptr) program.processStart();
  RuntimeImpl rt(windows, program);
  if (program.entry != nullptr) program.entry(rt);
  return rt.FinishProcess();
}

}  // namespace wintrel::runtime
