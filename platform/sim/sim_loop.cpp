// The virtual clock, the message queue in the window system's order, timers, scheduled
// test actions, the loops that drive them, keyboard and mouse input, and the end of the
// process.
#include <algorithm>
#include <cctype>

#include "platform/sim/sim_internal.h"

namespace wintrel::sim {
namespace {

using namespace ws;

constexpr uint64_t kMinTimerUs = 10000;  // USER_TIMER_MINIMUM
constexpr uint64_t kMaxTimerUs = 0x7FFFFFFFull * 1000;
constexpr int32_t VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_MBUTTON = 0x04;

uint32_t ScanCode(int32_t vk) {
  switch (vk) {
    case VK_ESCAPE: return 0x01;
    case VK_TAB: return 0x0F;
    case VK_RETURN: return 0x1C;
    case VK_CONTROL: return 0x1D;
    case VK_SHIFT: return 0x2A;
    case VK_MENU: return 0x38;
    case 0x20: return 0x39;
    case VK_F1: return 0x3B;
    case VK_F4: return 0x3E;
    default: break;
  }
  static const char* rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
  static const uint32_t starts[] = {0x10, 0x1E, 0x2C};
  for (int r = 0; r < 3; ++r)
    for (const char* p = rows[r]; *p; ++p)
      if (*p == vk) return starts[r] + static_cast<uint32_t>(p - rows[r]);
  if (vk >= '1' && vk <= '9') return 0x02 + static_cast<uint32_t>(vk - '1');
  if (vk == '0') return 0x0B;
  return 0;
}

}  // namespace

// ---------------------------------------------------------------- the clock

uint32_t SimDesktop::TickCount() { return static_cast<uint32_t>(impl_->nowUs / 1000); }
uint64_t SimDesktop::NowUs() const { return impl_->nowUs; }
uint64_t SimDesktop::ElapsedUs() const { return impl_->nowUs - impl_->startUs; }
uint32_t SimDesktop::ElapsedMs() const {
  return static_cast<uint32_t>((impl_->nowUs - impl_->startUs) / 1000);
}
void SimDesktop::AdvanceBy(uint32_t ms) { impl_->AdvanceTo(impl_->nowUs + uint64_t{ms} * 1000); }
void SimDesktop::AdvanceByUs(uint64_t us) { impl_->AdvanceTo(impl_->nowUs + us); }

uint64_t SimDesktop::Impl::Boundary(uint64_t t) const {
  const uint64_t g = config.timerGranularityUs;
  return (t + g - 1) / g * g;
}

void SimDesktop::Impl::AdvanceTo(uint64_t t) {
  if (t <= nowUs) return;
  nowUs = t;
  for (auto& [key, tm] : timers) {
    if (tm.fireUs > nowUs) continue;
    if (!tm.pending) {
      tm.pending = true;
      tm.pendingSince = tm.fireUs;
    }
    // Re-armed from its expiry; expiries while a message waits are merged into it.
    int guard = 0;
    while (tm.fireUs <= nowUs) {
      tm.fireUs = Boundary(tm.fireUs + tm.elapseUs);
      if (++guard > 4096) {
        tm.fireUs = Boundary(nowUs + tm.elapseUs);
        break;
      }
    }
  }
}

// ---------------------------------------------------------------- scheduled actions

void SimDesktop::At(uint32_t elapsedMs, std::function<void()> action) {
  impl_->actions.emplace(impl_->startUs + uint64_t{elapsedMs} * 1000, ScheduledAction{std::move(action)});
}

void SimDesktop::AtTick(uint32_t tick, std::function<void()> action) {
  const uint32_t now = TickCount();
  const uint64_t at = (impl_->nowUs / 1000 + static_cast<uint32_t>(tick - now)) * 1000;
  impl_->actions.emplace(std::max(at, impl_->nowUs), ScheduledAction{std::move(action)});
}

void SimDesktop::After(uint32_t ms, std::function<void()> action) {
  impl_->actions.emplace(impl_->nowUs + uint64_t{ms} * 1000, ScheduledAction{std::move(action)});
}

size_t SimDesktop::PendingActions() const { return impl_->actions.size(); }

bool SimDesktop::Impl::RunDueActions() {
  bool ran = false;
  while (!ended && !actions.empty() && actions.begin()->first <= nowUs) {
    auto fn = std::move(actions.begin()->second.fn);
    actions.erase(actions.begin());
    ran = true;
    if (fn) fn();
  }
  return ran;
}

std::optional<uint64_t> SimDesktop::Impl::NextDue() const {
  std::optional<uint64_t> due;
  auto take = [&](uint64_t t) {
    if (!due || t < *due) due = t;
  };
  for (auto& [key, tm] : timers) take(tm.fireUs);
  if (!actions.empty()) take(actions.begin()->first);
  if (limitUs) take(*limitUs);
  return due;
}

// ---------------------------------------------------------------- limits

void SimDesktop::SetTimeLimit(std::optional<uint32_t> elapsedMs) {
  Impl& I = *impl_;
  I.limitUs = elapsedMs ? std::optional<uint64_t>(I.startUs + uint64_t{*elapsedMs} * 1000)
                        : std::nullopt;
  if (I.stop == StopReason::Limit) I.stop = StopReason::None;
}
bool SimDesktop::StoppedByLimit() const { return impl_->stop == StopReason::Limit; }
bool SimDesktop::Stalled() const { return impl_->stalled; }
void SimDesktop::ClearStop() {
  impl_->stop = StopReason::None;
  impl_->stalled = false;
}

// ---------------------------------------------------------------- the queue

void SimDesktop::Impl::RunSent() {
  while (!ended && !sentFromOutside.empty()) {
    auto fn = std::move(sentFromOutside.front());
    sentFromOutside.pop_front();
    if (fn) fn();
  }
}

Window* SimDesktop::Impl::FindPaintIn(Window* w) {
  if (!(w->style & WS_VISIBLE) || (w->style & WS_MINIMIZE)) return nullptr;
  if (!w->update.Empty()) return w;
  for (Hwnd k : w->children)
    if (Window* found = FindPaintIn(Find(k))) return found;
  return nullptr;
}

Window* SimDesktop::Impl::FindPaintWindow() {
  for (Hwnd h : topLevel)
    if (Window* found = FindPaintIn(Find(h))) return found;
  return nullptr;
}

bool SimDesktop::Impl::FilterInput(const InputEvent& ev) {
  if (trackStack.empty() || !ev.key) return false;
  // The open menu takes the keyboard: Esc closes it, other keys are swallowed.
  if ((ev.msg.message == WM_KEYDOWN || ev.msg.message == WM_SYSKEYDOWN) &&
      static_cast<int32_t>(ev.msg.wParam) == VK_ESCAPE)
    CloseMenu(false, 0);
  return true;
}

Step SimDesktop::Impl::NextMessage(Message& msg, bool remove, bool wait,
                                   std::optional<uint64_t> deadline, bool returnAfterActions,
                                   bool honourStop) {
  for (;;) {
    if (ended) return Step::Ended;
    if (honourStop && stop != StopReason::None) return Step::Stopped;
    if (wait && limitUs && nowUs >= *limitUs) {
      stop = StopReason::Limit;
      return Step::Stopped;
    }
    const bool ran = RunDueActions();
    if (ended) return Step::Ended;
    if (ran && returnAfterActions) return Step::Actions;
    RunSent();
    if (ended) return Step::Ended;
    const uint32_t tick = static_cast<uint32_t>(nowUs / 1000);

    if (!posted.empty()) {
      msg = posted.front();
      if (remove) posted.pop_front();
      return Step::Message;
    }
    if (!input.empty()) {
      InputEvent ev = input.front();
      if (remove) input.pop_front();
      keyState = ev.keyState;
      if (ev.key) {
        Hwnd target = focus;
        if (!target && active) {
          target = active;
          if (ev.msg.message == WM_KEYDOWN) ev.msg.message = WM_SYSKEYDOWN;
          if (ev.msg.message == WM_KEYUP) ev.msg.message = WM_SYSKEYUP;
        }
        ev.msg.hwnd = target;
      }
      if (remove && FilterInput(ev)) continue;
      if (ev.msg.hwnd == 0 || !Find(ev.msg.hwnd)) {
        if (!remove) input.pop_front();  // undeliverable: drop it
        continue;
      }
      if (remove && ev.activates) {
        Window* t = TopLevelOf(Find(ev.msg.hwnd));
        if (t && t->hwnd != active && !(t->style & WS_DISABLED)) Activate(t->hwnd, WA_CLICKACTIVE);
        if (!Find(ev.msg.hwnd)) continue;
      }
      msg = ev.msg;
      msg.time = tick;
      return Step::Message;
    }
    if (quitPending) {
      msg = {0, WM_QUIT, static_cast<std::uintptr_t>(static_cast<uint32_t>(quitCode)), 0, tick};
      if (remove) {
        quitPending = false;
        lastQuitCode = quitCode;
      }
      return Step::Message;
    }
    if (Window* p = FindPaintWindow()) {
      msg = {p->hwnd, WM_PAINT, 0, 0, tick};
      return Step::Message;
    }
    {
      Timer* best = nullptr;
      for (auto& [key, tm] : timers)
        if (tm.pending && (!best || tm.pendingSince < best->pendingSince ||
                           (tm.pendingSince == best->pendingSince && tm.seq < best->seq)))
          best = &tm;
      if (best) {
        msg = {best->hwnd, WM_TIMER, best->id, 0, tick};
        if (remove) best->pending = false;
        return Step::Message;
      }
    }
    if (!wait) return Step::None;

    // Idle: time passes up to the next thing that is due.
    // What falls due exactly at a deadline still runs before the loop returns.
    const std::optional<uint64_t> due = NextDue();
    if (deadline && (!due || *due > *deadline)) {
      AdvanceTo(*deadline);
      return Step::Deadline;
    }
    if (!due) {
      stalled = true;
      stop = StopReason::Stall;
      return Step::Stopped;
    }
    if (limitUs && *due >= *limitUs) {
      AdvanceTo(*limitUs);
      stop = StopReason::Limit;
      return Step::Stopped;
    }
    AdvanceTo(std::max(*due, nowUs));
  }
}

std::intptr_t SimDesktop::Impl::Dispatch(const Message& msg) {
  if (ended || msg.hwnd == 0) return 0;
  Window* w = Find(msg.hwnd);
  if (!w) return 0;
  if (msg.message == WM_PAINT) {
    DispatchPaint(w);
    return 0;
  }
  Record(msg.hwnd, msg.message, msg.wParam, msg.lParam, false);
  if (!w->proc) return self.DefWindowProc(msg.hwnd, msg.message, msg.wParam, msg.lParam);
  return w->proc(w->context, msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

void SimDesktop::Impl::DispatchPaint(Window* w) {
  const Hwnd h = w->hwnd;
  const int32_t before = w->paintCount;
  Record(h, WM_PAINT, 0, 0, false);
  if (w->proc)
    w->proc(w->context, h, WM_PAINT, 0, 0);
  else
    self.DefWindowProc(h, WM_PAINT, 0, 0);
  Window* again = Find(h);
  if (again && again->paintCount == before && !again->update.Empty()) {
    // The procedure neither painted nor validated: the real system would send WM_PAINT
    // again and again; count it and validate so that the loop goes on.
    ++unvalidatedPaints;
    again->update.Clear();
    again->erasePending = false;
  }
}

bool SimDesktop::Impl::NestedLoop(const std::function<bool()>& closed) {
  Message m;
  while (!closed()) {
    const Step s = NextMessage(m, true, true, std::nullopt, true, true);
    if (s == Step::Actions) continue;
    if (s != Step::Message) return false;
    if (m.message == WM_QUIT) {
      // A modal loop ends at the quit message and leaves it for the outer loop.
      quitPending = true;
      quitCode = static_cast<int32_t>(m.wParam);
      return false;
    }
    self.TranslateMessage(m);
    Dispatch(m);
  }
  return true;
}

std::intptr_t SimDesktop::SendMessage(Hwnd hwnd, uint32_t message, std::uintptr_t wParam,
                                      std::intptr_t lParam) {
  Impl& I = *impl_;
  if (I.ended) return 0;
  Window* w = I.Find(hwnd);
  if (!w) return 0;
  if (message == WM_PAINT) {
    I.DispatchPaint(w);
    return 0;
  }
  return I.Send(hwnd, message, wParam, lParam);
}

bool SimDesktop::PostMessage(Hwnd hwnd, uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) {
  Impl& I = *impl_;
  if (I.ended) return false;
  const uint32_t tick = TickCount();
  if (hwnd == 0xFFFF) {  // HWND_BROADCAST
    for (Hwnd h : I.topLevel) I.posted.push_back({h, message, wParam, lParam, tick});
    return true;
  }
  if (hwnd != 0 && !I.Find(hwnd)) return false;
  I.posted.push_back({hwnd, message, wParam, lParam, tick});
  return true;
}

void SimDesktop::PostQuitMessage(int32_t exitCode) {
  if (impl_->ended) return;
  impl_->quitPending = true;
  impl_->quitCode = exitCode;
}

bool SimDesktop::GetMessage(Message& msg) {
  Impl& I = *impl_;
  if (I.ended || I.stop != StopReason::None) {
    msg = {};
    return false;
  }
  const Step s = I.NextMessage(msg, true, true, std::nullopt, false, true);
  if (s == Step::Message) return msg.message != WM_QUIT;
  msg = {};
  return false;
}

bool SimDesktop::PeekMessage(Message& msg, bool remove) {
  Impl& I = *impl_;
  if (I.ended) return false;
  return I.NextMessage(msg, remove, false, std::nullopt, false, false) == Step::Message;
}

void SimDesktop::TranslateMessage(const Message& msg) {
  Impl& I = *impl_;
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return;
  const int32_t vk = static_cast<int32_t>(msg.wParam);
  const bool shift = (I.keyState[VK_SHIFT] & 0x80) != 0;
  const bool ctrl = (I.keyState[VK_CONTROL] & 0x80) != 0;
  int32_t ch = -1;
  if (vk >= 'A' && vk <= 'Z') {
    ch = ctrl ? vk - 'A' + 1 : (shift ? vk : vk - 'A' + 'a');
  } else if (vk >= '0' && vk <= '9') {
    static const char shifted[] = ")!@#$%^&*(";
    ch = shift ? shifted[vk - '0'] : vk;
  } else if (vk == 0x20 || vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_TAB || vk == 0x08) {
    ch = vk == VK_RETURN ? '\r' : vk;
  }
  if (ch < 0) return;
  const uint32_t m = msg.message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
  I.posted.push_front({msg.hwnd, m, static_cast<std::uintptr_t>(ch), msg.lParam, msg.time});
}

std::intptr_t SimDesktop::DispatchMessage(const Message& msg) { return impl_->Dispatch(msg); }

int16_t SimDesktop::GetKeyState(int32_t virtualKey) {
  const uint8_t s = impl_->keyState[static_cast<size_t>(virtualKey) & 0xFF];
  int16_t r = (s & 0x80) ? static_cast<int16_t>(0xFF80) : 0;
  if (s & 1) r = static_cast<int16_t>(r | 1);
  return r;
}

uint32_t SimDesktop::RegisterWindowMessage(std::string_view name) {
  Impl& I = *impl_;
  if (name.empty()) return 0;
  std::string key(name);
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  auto it = I.registeredMessages.find(key);
  if (it != I.registeredMessages.end()) return it->second;
  const uint32_t id = 0xC000 + static_cast<uint32_t>(I.registeredMessages.size());
  I.registeredMessages[key] = id;
  return id;
}

// ---------------------------------------------------------------- timers

bool SimDesktop::SetTimer(Hwnd hwnd, std::uintptr_t id, uint32_t milliseconds) {
  Impl& I = *impl_;
  if (I.ended) return false;
  if (hwnd != 0 && !I.Find(hwnd)) return false;
  uint64_t elapse = uint64_t{milliseconds} * 1000;
  elapse = std::clamp(elapse, kMinTimerUs, kMaxTimerUs);
  Timer t;
  t.hwnd = hwnd;
  t.id = id;
  t.elapseUs = elapse;
  t.fireUs = I.Boundary(I.nowUs + elapse);
  t.seq = ++I.timerSeq;
  I.timers[{hwnd, id}] = t;  // setting it again restarts it
  return true;
}

bool SimDesktop::KillTimer(Hwnd hwnd, std::uintptr_t id) {
  return impl_->timers.erase({hwnd, id}) > 0;
}

bool SimDesktop::HasTimer(Hwnd hwnd, std::uintptr_t id) const {
  return impl_->timers.count({hwnd, id}) > 0;
}
size_t SimDesktop::TimerCount() const { return impl_->timers.size(); }
size_t SimDesktop::PostedCount() const { return impl_->posted.size(); }

// ---------------------------------------------------------------- loops for tests

void SimDesktop::PumpFor(uint32_t ms) {
  Impl& I = *impl_;
  const uint64_t deadline = I.nowUs + uint64_t{ms} * 1000;
  Message m;
  for (;;) {
    const Step s = I.NextMessage(m, true, true, deadline, false, false);
    if (s != Step::Message) break;
    if (m.message == WM_QUIT) {
      I.quitPending = true;
      I.quitCode = static_cast<int32_t>(m.wParam);
      break;
    }
    TranslateMessage(m);
    I.Dispatch(m);
  }
}

bool SimDesktop::PumpUntil(const std::function<bool()>& done, uint32_t deadlineMs) {
  Impl& I = *impl_;
  const uint64_t deadline = I.nowUs + uint64_t{deadlineMs} * 1000;
  Message m;
  for (;;) {
    if (done()) return true;
    const Step s = I.NextMessage(m, true, true, deadline, true, false);
    if (s == Step::Actions) continue;
    if (s != Step::Message) return done();
    if (m.message == WM_QUIT) {
      I.quitPending = true;
      I.quitCode = static_cast<int32_t>(m.wParam);
      return done();
    }
    TranslateMessage(m);
    I.Dispatch(m);
  }
}

void SimDesktop::PumpPending() {
  Impl& I = *impl_;
  Message m;
  for (int guard = 0; guard < 1000000; ++guard) {
    const Step s = I.NextMessage(m, true, false, std::nullopt, false, false);
    if (s != Step::Message) break;
    if (m.message == WM_QUIT) {
      I.quitPending = true;
      I.quitCode = static_cast<int32_t>(m.wParam);
      break;
    }
    TranslateMessage(m);
    I.Dispatch(m);
  }
}

// ---------------------------------------------------------------- keyboard

void SimDesktop::Impl::QueueKey(int32_t vk, bool down) {
  const size_t k = static_cast<size_t>(vk) & 0xFF;
  const bool wasDown = (asyncKeys[k] & 0x80) != 0;
  if (down) {
    asyncKeys[k] = static_cast<uint8_t>((asyncKeys[k] & 1) ^ 1) | 0x80;
  } else {
    asyncKeys[k] &= 1;
  }
  const bool alt = (asyncKeys[VK_MENU] & 0x80) != 0 || (vk == VK_MENU && !down);
  const bool ctrl = (asyncKeys[VK_CONTROL] & 0x80) != 0;
  const bool sys = alt && !ctrl;
  InputEvent ev;
  ev.key = true;
  ev.msg.message = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  ev.msg.wParam = static_cast<std::uintptr_t>(vk);
  uint32_t lp = 1 | (ScanCode(vk) << 16);
  if (alt && vk != VK_MENU) lp |= 1u << 29;
  if (!down || wasDown) lp |= 1u << 30;
  if (!down) lp |= 1u << 31;
  ev.msg.lParam = static_cast<std::intptr_t>(lp);
  ev.keyState = asyncKeys;
  input.push_back(std::move(ev));
}

void SimDesktop::KeyDown(int32_t virtualKey) {
  if (!impl_->ended) impl_->QueueKey(virtualKey, true);
}
void SimDesktop::KeyUp(int32_t virtualKey) {
  if (!impl_->ended) impl_->QueueKey(virtualKey, false);
}

void SimDesktop::PressKey(int32_t virtualKey, uint32_t modifiers) {
  Impl& I = *impl_;
  if (I.ended) return;
  std::vector<int32_t> mods;
  if (modifiers & kCtrl) mods.push_back(VK_CONTROL);
  if (modifiers & kShift) mods.push_back(VK_SHIFT);
  if (modifiers & kAlt) mods.push_back(VK_MENU);
  for (int32_t m : mods) I.QueueKey(m, true);
  I.QueueKey(virtualKey, true);
  I.QueueKey(virtualKey, false);
  for (auto it = mods.rbegin(); it != mods.rend(); ++it) I.QueueKey(*it, false);
}

// ---------------------------------------------------------------- mouse

void SimDesktop::Impl::QueueMouse(Hwnd target, uint32_t message, int32_t sx, int32_t sy,
                                  bool activates) {
  Window* w = Find(target);
  if (!w) return;
  switch (message) {
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: asyncKeys[VK_LBUTTON] |= 0x80; break;
    case WM_RBUTTONDOWN: case WM_RBUTTONDBLCLK: asyncKeys[VK_RBUTTON] |= 0x80; break;
    case WM_MBUTTONDOWN: case WM_MBUTTONDBLCLK: asyncKeys[VK_MBUTTON] |= 0x80; break;
    case WM_LBUTTONUP: asyncKeys[VK_LBUTTON] &= 1; break;
    case WM_RBUTTONUP: asyncKeys[VK_RBUTTON] &= 1; break;
    case WM_MBUTTONUP: asyncKeys[VK_MBUTTON] &= 1; break;
    default: break;
  }
  uint32_t mk = 0;
  if (asyncKeys[VK_LBUTTON] & 0x80) mk |= MK_LBUTTON;
  if (asyncKeys[VK_RBUTTON] & 0x80) mk |= MK_RBUTTON;
  if (asyncKeys[VK_MBUTTON] & 0x80) mk |= MK_MBUTTON;
  if (asyncKeys[VK_SHIFT] & 0x80) mk |= MK_SHIFT;
  if (asyncKeys[VK_CONTROL] & 0x80) mk |= MK_CONTROL;
  const Rect cs = ClientScreenRect(w);
  InputEvent ev;
  ev.msg = {target, message, mk, static_cast<std::intptr_t>(PackLParam(sx - cs.left, sy - cs.top)),
            0};
  ev.keyState = asyncKeys;
  ev.activates = activates;
  input.push_back(std::move(ev));
}

void SimDesktop::SetCursorPos(int32_t x, int32_t y) { impl_->cursor = {x, y}; }
Point SimDesktop::GetCursorPos() { return impl_->cursor; }

void SimDesktop::MoveMouse(int32_t x, int32_t y) {
  Impl& I = *impl_;
  if (I.ended) return;
  if (I.cursor == Point{x, y}) return;
  I.cursor = {x, y};
  if (!I.trackStack.empty()) return;
  const auto hit = I.HitTest(x, y);
  if (hit.hwnd && !hit.disabled) I.QueueMouse(hit.hwnd, WM_MOUSEMOVE, x, y, false);
}

namespace {
struct ButtonMessages {
  uint32_t down, up, dbl;
};
ButtonMessages MessagesFor(MouseButton b) {
  switch (b) {
    case MouseButton::Right: return {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK};
    case MouseButton::Middle: return {WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK};
    case MouseButton::Left:
    default: return {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK};
  }
}
}  // namespace

void SimDesktop::Click(int32_t x, int32_t y, MouseButton button) {
  Impl& I = *impl_;
  if (I.ended) return;
  if (!I.trackStack.empty()) {
    I.cursor = {x, y};
    I.MenuClick(x, y);
    return;
  }
  for (size_t i = 0; i < I.tray.size(); ++i)
    if (Contains(I.TrayIconRect(i), x, y)) {
      const TrayClick kind = button == MouseButton::Left    ? TrayClick::Left
                             : button == MouseButton::Right ? TrayClick::Right
                                                            : TrayClick::Middle;
      I.ClickTray(i, {x, y}, kind);
      return;
    }
  const bool moved = !(I.cursor == Point{x, y});
  I.cursor = {x, y};
  const auto hit = I.HitTest(x, y);
  if (!hit.hwnd) {
    I.Activate(0, WA_ACTIVE);  // the desktop takes the activation
    return;
  }
  if (hit.disabled) {
    // Refused; the window that keeps it disabled (an owned pop-up) comes forward.
    for (Hwnd h : I.topLevel)
      if (Window* o = I.Find(h);
          o && o->owner == hit.topLevel && (o->style & WS_VISIBLE) && !(o->style & WS_DISABLED)) {
        I.Activate(h, WA_ACTIVE);
        break;
      }
    return;
  }
  const ButtonMessages m = MessagesFor(button);
  if (moved) I.QueueMouse(hit.hwnd, WM_MOUSEMOVE, x, y, false);
  I.QueueMouse(hit.hwnd, m.down, x, y, true);
  I.QueueMouse(hit.hwnd, m.up, x, y, false);
}

void SimDesktop::DoubleClick(int32_t x, int32_t y, MouseButton button) {
  Impl& I = *impl_;
  if (I.ended) return;
  if (!I.trackStack.empty()) {
    Click(x, y, button);
    return;
  }
  for (size_t i = 0; i < I.tray.size(); ++i)
    if (Contains(I.TrayIconRect(i), x, y)) {
      I.ClickTray(i, {x, y}, TrayClick::Double);
      return;
    }
  Click(x, y, button);
  const auto hit = I.HitTest(x, y);
  if (!hit.hwnd || hit.disabled) return;
  Window* w = I.Find(hit.hwnd);
  const ButtonMessages m = MessagesFor(button);
  I.QueueMouse(hit.hwnd, (w->classStyle & CS_DBLCLKS) ? m.dbl : m.down, x, y, true);
  I.QueueMouse(hit.hwnd, m.up, x, y, false);
}

// ---------------------------------------------------------------- the end of the process

void SimDesktop::ExitProcess(uint32_t code) {
  Impl& I = *impl_;
  if (I.ended) return;
  I.ended = true;
  I.exitCode = code;
  for (TrackState* t : I.trackStack) t->closed = true;
  for (BoxState* b : I.boxStack) b->closed = true;
  // The process's windows vanish without further messages; its tray icons stay
  // behind until the shell notices (as ghosts).
  for (auto& [h, w] : I.windows) {
    w->alive = false;
    w->surface.clear();
  }
  I.windows.clear();
  I.topLevel.clear();
  I.timers.clear();
  I.posted.clear();
  I.input.clear();
  I.sentFromOutside.clear();
  I.paints.clear();
  I.quitPending = false;
  I.active = I.focus = I.foreground = 0;
}

bool SimDesktop::ProcessEnded() const { return impl_->ended; }
std::optional<uint32_t> SimDesktop::ExitCode() const { return impl_->exitCode; }
std::optional<int32_t> SimDesktop::QuitCode() const { return impl_->lastQuitCode; }

}  // namespace wintrel::sim
