// Windows of the simulated desktop: classes, creation and destruction, rectangles and
// frames, z-order, visibility, activation and focus.
#include <algorithm>
#include <cctype>

#include "platform/sim/sim_internal.h"

namespace wintrel::sim {
namespace {

using namespace ws;

std::string Upper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

constexpr int32_t kCaptionHeight = 23;
constexpr int32_t kMenuBarHeight = 20;
constexpr int32_t kSizingFrame = 8;
constexpr int32_t kDialogFrame = 3;
constexpr int32_t kCwUseDefault = static_cast<int32_t>(0x80000000u);
// Window positions and sizes are kept within these bounds, far beyond any screen, so
// that no sum or difference of them overflows.
constexpr int32_t kCoordLimit = int32_t{1} << 28;
int32_t ClampPosition(int32_t v) { return std::clamp(v, -kCoordLimit, kCoordLimit); }
int32_t ClampSize(int32_t v) { return std::clamp(v, 0, kCoordLimit); }
constexpr uint32_t WS_EX_TRANSPARENT_ = 0x20;
// Internal: send WM_SIZE although the client size stayed (a change of the show state).
constexpr uint32_t kForceSizeMessage = 0x00100000;

}  // namespace

// ---------------------------------------------------------------- rectangles

Rect Intersect(const Rect& a, const Rect& b) {
  Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.Empty()) return {};
  return r;
}

Rect Union(const Rect& a, const Rect& b) {
  if (a.Empty()) return b.Empty() ? Rect{} : b;
  if (b.Empty()) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

bool Contains(const Rect& r, int32_t x, int32_t y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

Rect Offset(const Rect& r, int32_t dx, int32_t dy) {
  return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

// ---------------------------------------------------------------- construction

SimDesktop::Impl::Impl(SimDesktop& s, SimConfig c) : self(s), config(std::move(c)) {
  startUs = static_cast<uint64_t>(config.startTick) * 1000;
  nowUs = startUs;
  if (config.timeLimitMs) limitUs = startUs + static_cast<uint64_t>(*config.timeLimitMs) * 1000;
  if (config.timerGranularityUs == 0) config.timerGranularityUs = 1;
  screenW = std::max(1, config.screenWidth);
  screenH = std::max(1, config.screenHeight);
  if (config.workArea) {
    workArea = *config.workArea;
    defaultWorkArea = false;
  } else {
    workArea = {0, 0, screenW, std::max(0, screenH - 40)};
  }
  cursor = {screenW / 2, screenH / 2};
  sysColors = {{COLOR_BTNFACE, config.buttonFaceColor},
               {1, 0x00000000},   // COLOR_DESKTOP
               {2, 0x00D1B499},   // COLOR_ACTIVECAPTION
               {3, 0x00DBCDBF},   // COLOR_INACTIVECAPTION
               {4, 0x00F0F0F0},   // COLOR_MENU
               {5, 0x00FFFFFF},   // COLOR_WINDOW
               {6, 0x00646464},   // COLOR_WINDOWFRAME
               {7, 0x00000000},   // COLOR_MENUTEXT
               {8, 0x00000000},   // COLOR_WINDOWTEXT
               {9, 0x00000000},   // COLOR_CAPTIONTEXT
               {13, 0x00D77800},  // COLOR_HIGHLIGHT
               {14, 0x00FFFFFF},  // COLOR_HIGHLIGHTTEXT
               {16, 0x00A0A0A0},  // COLOR_BTNSHADOW
               {17, 0x006D6D6D},  // COLOR_GRAYTEXT
               {18, 0x00000000},  // COLOR_BTNTEXT
               {20, 0x00FFFFFF}}; // COLOR_BTNHIGHLIGHT
  routines.push_back({"GetWindowLongA", 2, [this](std::span<const std::intptr_t> a) {
                        return static_cast<std::intptr_t>(self.GetWindowLong(
                            static_cast<Hwnd>(a[0]), static_cast<int32_t>(a[1])));
                      }});
  routines.push_back({"SetWindowLongA", 3, [this](std::span<const std::intptr_t> a) {
                        return static_cast<std::intptr_t>(
                            self.SetWindowLong(static_cast<Hwnd>(a[0]), static_cast<int32_t>(a[1]),
                                               static_cast<int32_t>(a[2])));
                      }});
  routines.push_back({"SetLayeredWindowAttributes", 4, [this](std::span<const std::intptr_t> a) {
                        return static_cast<std::intptr_t>(self.SetLayeredWindowAttributes(
                            static_cast<Hwnd>(a[0]), static_cast<uint32_t>(a[1]),
                            static_cast<uint8_t>(a[2]), static_cast<uint32_t>(a[3])));
                      }});
  // The system's own window classes (message boxes and menus).
  classes["#32770"] = {"#32770", 0, true};
  classes["#32768"] = {"#32768", 0, true};
}

SimDesktop::SimDesktop(SimConfig config) : impl_(std::make_unique<Impl>(*this, std::move(config))) {}
SimDesktop::~SimDesktop() = default;

// ---------------------------------------------------------------- lookups

Window* SimDesktop::Impl::Find(Hwnd h) const {
  auto it = windows.find(h);
  return it == windows.end() ? nullptr : it->second;
}

Window* SimDesktop::Impl::TopLevelOf(Window* w) const {
  while (w && w->parent != 0) w = Find(w->parent);
  return w;
}

bool SimDesktop::Impl::Visible(const Window* w) const {
  while (w) {
    if (!(w->style & WS_VISIBLE)) return false;
    if (w->parent == 0) return true;
    w = Find(w->parent);
  }
  return false;
}

Rect SimDesktop::Impl::ScreenRect(const Window* w) const {
  Rect r = w->rect;
  if (w->parent != 0) {
    if (const Window* p = Find(w->parent)) {
      const Rect pc = ClientScreenRect(p);
      r = Offset(r, pc.left, pc.top);
    }
  }
  return r;
}

Rect SimDesktop::Impl::ClientScreenRect(const Window* w) const {
  const Rect s = ScreenRect(w);
  if (w->style & WS_MINIMIZE) return {s.left, s.top, s.left, s.top};
  Rect c{s.left + w->insets.left, s.top + w->insets.top, s.right - w->insets.right,
         s.bottom - w->insets.bottom};
  if (c.right < c.left) c.right = c.left;
  if (c.bottom < c.top) c.bottom = c.top;
  return c;
}

Rect SimDesktop::Impl::ClientRect(const Window* w) const {
  // The size of ClientScreenRect, which does not depend on where the window is.
  if (w->style & WS_MINIMIZE) return {};
  const Rect& r = w->rect;
  return {0, 0, std::max(0, r.Width() - w->insets.left - w->insets.right),
          std::max(0, r.Height() - w->insets.top - w->insets.bottom)};
}

Rect SimDesktop::Impl::ComputeInsets(const Window* w) const {
  int32_t b = 0;
  const uint32_t s = w->style, x = w->exStyle;
  if (s & WS_THICKFRAME)
    b += kSizingFrame;
  else if ((s & WS_DLGFRAME) || (x & WS_EX_DLGMODALFRAME))
    b += kDialogFrame;
  else if (s & WS_BORDER)
    b += 1;
  if (x & WS_EX_CLIENTEDGE) b += 2;
  if (x & WS_EX_STATICEDGE) b += 1;
  int32_t top = b;
  if ((s & WS_CAPTION) == WS_CAPTION) top += kCaptionHeight;
  if (w->parent == 0 && !(s & WS_CHILD) && w->menu != 0) {
    auto it = menus.find(w->menu);
    if (it != menus.end() && !it->second.items.empty()) top += kMenuBarHeight;
  }
  return {b, top, b, b};
}

void SimDesktop::Impl::ResizeSurface(Window* w) {
  const Rect c = ClientRect(w);
  if (c.Width() == w->surfaceW && c.Height() == w->surfaceH) return;
  std::vector<uint32_t> next(static_cast<size_t>(c.Width()) * c.Height(), 0);
  const int32_t cw = std::min(c.Width(), w->surfaceW), ch = std::min(c.Height(), w->surfaceH);
  for (int32_t y = 0; y < ch; ++y)
    std::copy_n(w->surface.begin() + static_cast<size_t>(y) * w->surfaceW, cw,
                next.begin() + static_cast<size_t>(y) * c.Width());
  w->surface.swap(next);
  w->surfaceW = c.Width();
  w->surfaceH = c.Height();
}

// ---------------------------------------------------------------- z-order

std::vector<Hwnd>& SimDesktop::Impl::SiblingList(Window* w) {
  if (w->parent != 0)
    if (Window* p = Find(w->parent)) return p->children;
  return topLevel;
}

void SimDesktop::Impl::Unlink(Window* w) {
  auto& list = SiblingList(w);
  list.erase(std::remove(list.begin(), list.end(), w->hwnd), list.end());
}

void SimDesktop::Impl::LinkTop(Window* w) {
  auto& list = SiblingList(w);
  list.erase(std::remove(list.begin(), list.end(), w->hwnd), list.end());
  if (w->parent == 0 && !(w->exStyle & WS_EX_TOPMOST)) {
    auto it = std::find_if(list.begin(), list.end(),
                           [&](Hwnd h) { return !(Find(h)->exStyle & WS_EX_TOPMOST); });
    list.insert(it, w->hwnd);
  } else {
    list.insert(list.begin(), w->hwnd);
  }
  if (w->parent == 0) NormalizeTopLevelOrder();
}

void SimDesktop::Impl::LinkBottom(Window* w) {
  auto& list = SiblingList(w);
  list.erase(std::remove(list.begin(), list.end(), w->hwnd), list.end());
  if (w->parent == 0 && (w->exStyle & WS_EX_TOPMOST)) {
    auto it = std::find_if(list.begin(), list.end(),
                           [&](Hwnd h) { return !(Find(h)->exStyle & WS_EX_TOPMOST); });
    list.insert(it, w->hwnd);
  } else {
    list.push_back(w->hwnd);
  }
  if (w->parent == 0) NormalizeTopLevelOrder();
}

void SimDesktop::Impl::LinkAfter(Window* w, Hwnd after) {
  auto& list = SiblingList(w);
  list.erase(std::remove(list.begin(), list.end(), w->hwnd), list.end());
  auto it = std::find(list.begin(), list.end(), after);
  if (it == list.end()) {
    list.insert(list.begin(), w->hwnd);
  } else {
    list.insert(std::next(it), w->hwnd);
  }
  if (w->parent == 0) {
    // A window placed among topmost windows becomes topmost, and the other way round.
    auto pos = std::find(list.begin(), list.end(), w->hwnd);
    Window* above = pos == list.begin() ? nullptr : Find(*std::prev(pos));
    Window* below = std::next(pos) == list.end() ? nullptr : Find(*std::next(pos));
    const bool aboveTop = above && (above->exStyle & WS_EX_TOPMOST);
    const bool belowTop = below && (below->exStyle & WS_EX_TOPMOST);
    if (aboveTop && belowTop) w->exStyle |= WS_EX_TOPMOST;
    if (!aboveTop && !belowTop) w->exStyle &= ~WS_EX_TOPMOST;
    NormalizeTopLevelOrder();
  }
}

void SimDesktop::Impl::NormalizeTopLevelOrder() {
  // Owned windows stay above their owners; an owned window of a topmost owner is topmost.
  for (int pass = 0; pass < 8; ++pass) {
    bool changed = false;
    for (Hwnd h : topLevel) {
      Window* w = Find(h);
      Window* o = w->owner ? Find(w->owner) : nullptr;
      if (o && (o->exStyle & WS_EX_TOPMOST) && !(w->exStyle & WS_EX_TOPMOST)) {
        w->exStyle |= WS_EX_TOPMOST;
        changed = true;
      }
    }
    std::stable_partition(topLevel.begin(), topLevel.end(),
                          [&](Hwnd h) { return (Find(h)->exStyle & WS_EX_TOPMOST) != 0; });
    for (size_t i = 0; i < topLevel.size(); ++i) {
      Window* w = Find(topLevel[i]);
      if (!w->owner) continue;
      auto oit = std::find(topLevel.begin(), topLevel.end(), w->owner);
      if (oit == topLevel.end()) continue;
      const size_t oi = static_cast<size_t>(oit - topLevel.begin());
      if (oi < i) {
        const Hwnd h = topLevel[i];
        topLevel.erase(topLevel.begin() + static_cast<std::ptrdiff_t>(i));
        topLevel.insert(topLevel.begin() + static_cast<std::ptrdiff_t>(oi), h);
        changed = true;
      }
    }
    if (!changed) break;
  }
}

void SimDesktop::Impl::BringToTop(Window* w) {
  Window* t = TopLevelOf(w);
  if (!t) return;
  LinkTop(t);
  // Its owned windows come along, above it.
  std::vector<Hwnd> owned;
  for (Hwnd h : topLevel)
    if (Find(h)->owner == t->hwnd) owned.push_back(h);
  for (auto it = owned.rbegin(); it != owned.rend(); ++it) LinkTop(Find(*it));
}

// ---------------------------------------------------------------- messages to windows

void SimDesktop::Impl::Record(Hwnd h, uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam, bool sent) {
  if (!tracing) return;
  trace.push_back({h, message, wParam, lParam, sent,
                   static_cast<uint32_t>((nowUs - startUs) / 1000)});
}

std::intptr_t SimDesktop::Impl::Send(Hwnd h, uint32_t message, std::uintptr_t wParam,
                                     std::intptr_t lParam) {
  if (ended) return 0;
  Window* w = Find(h);
  if (!w) return 0;
  Record(h, message, wParam, lParam, true);
  if (!w->proc) return self.DefWindowProc(h, message, wParam, lParam);
  return w->proc(w->context, h, message, wParam, lParam);
}

// ---------------------------------------------------------------- classes and creation

bool SimDesktop::RegisterClass(const ClassDesc& desc) {
  Impl& I = *impl_;
  if (desc.name.empty()) return false;
  const std::string key = Upper(desc.name);
  if (I.classes.count(key)) return true;
  I.classes[key] = {desc.name, desc.style, desc.nullBrush};
  return true;
}

void SimDesktop::FailCreateWindowForClass(std::string className, bool fail) {
  impl_->failCreate[Upper(className)] = fail;
}

Hwnd SimDesktop::CreateWindow(const CreateDesc& desc) {
  Impl& I = *impl_;
  if (I.ended) return 0;
  const std::string key = Upper(desc.className);
  auto cls = I.classes.find(key);
  if (cls == I.classes.end()) return 0;
  if (auto f = I.failCreate.find(key); f != I.failCreate.end() && f->second) return 0;
  const bool child = (desc.style & WS_CHILD) != 0;
  Hwnd parent = 0, owner = 0;
  if (child) {
    Window* p = I.Find(desc.parentOrOwner);
    if (!p) return 0;
    parent = p->hwnd;
  } else if (desc.parentOrOwner != 0) {
    Window* o = I.Find(desc.parentOrOwner);
    if (!o) return 0;
    owner = I.TopLevelOf(o)->hwnd;
  }
  Hmenu menu = 0;
  if (!child && desc.menuOrId != 0) {
    if (!I.menus.count(desc.menuOrId)) return 0;
    menu = desc.menuOrId;
  }

  auto owned = std::make_unique<Window>();
  Window* w = owned.get();
  w->hwnd = I.NewHandle();
  w->className = cls->second.name;
  w->classStyle = cls->second.style;
  w->nullBrush = cls->second.nullBrush;
  w->title = desc.title;
  const uint32_t requested = desc.style;
  w->style = requested & ~(WS_VISIBLE | WS_MAXIMIZE | WS_MINIMIZE);
  if (!child && !(requested & WS_POPUP)) w->style |= WS_CAPTION | WS_CLIPSIBLINGS;  // overlapped
  w->exStyle = desc.exStyle;
  w->parent = parent;
  w->owner = owner;
  w->proc = desc.proc;
  w->context = desc.context;
  w->id = child ? desc.menuOrId : 0;
  w->menu = menu;
  int32_t x = desc.x, y = desc.y, cx = desc.width, cy = desc.height;
  if (!child && x == kCwUseDefault) x = 100, y = 100;
  if (!child && cx == kCwUseDefault) cx = 640, cy = 480;
  x = ClampPosition(x);
  y = ClampPosition(y);
  cx = ClampSize(cx);
  cy = ClampSize(cy);
  w->rect = {x, y, x + cx, y + cy};
  I.allWindows.push_back(std::move(owned));
  I.windows[w->hwnd] = w;
  if (parent)
    I.Find(parent)->children.insert(I.Find(parent)->children.begin(), w->hwnd);
  else
    I.LinkTop(w);
  w->insets = I.ComputeInsets(w);
  I.ResizeSurface(w);

  const Hwnd h = w->hwnd;
  if (I.Send(h, WM_NCCREATE, 0, reinterpret_cast<std::intptr_t>(&desc)) == 0) {
    if (I.Find(h)) I.FreeWindow(w);
    return 0;
  }
  if (!I.Find(h)) return 0;
  if (I.Send(h, WM_CREATE, 0, reinterpret_cast<std::intptr_t>(&desc)) == -1) {
    if (I.Find(h)) DestroyWindow(h);
    return 0;
  }
  if (!I.Find(h)) return 0;
  {
    const Rect c = I.ClientRect(w);
    I.Send(h, WM_SIZE, SIZE_RESTORED, PackLParam(c.Width(), c.Height()));
    if (!I.Find(h)) return 0;
    const Rect cs = I.ClientScreenRect(w);
    Rect origin = cs;
    if (w->parent)
      if (Window* p = I.Find(w->parent)) {
        const Rect pc = I.ClientScreenRect(p);
        origin = Offset(cs, -pc.left, -pc.top);
      }
    I.Send(h, WM_MOVE, 0, PackLParam(origin.left, origin.top));
    if (!I.Find(h)) return 0;
  }
  if (requested & WS_MAXIMIZE) {
    ShowWindow(h, (requested & WS_VISIBLE) ? SW_SHOWMAXIMIZED : SW_SHOWMAXIMIZED);
    if (!(requested & WS_VISIBLE) && I.Find(h)) ShowWindow(h, SW_HIDE);
  } else if (requested & WS_MINIMIZE) {
    ShowWindow(h, SW_SHOWMINIMIZED);
    if (!(requested & WS_VISIBLE) && I.Find(h)) ShowWindow(h, SW_HIDE);
  } else if (requested & WS_VISIBLE) {
    ShowWindow(h, SW_SHOW);
  }
  return I.Find(h) ? h : 0;
}

Hwnd SimDesktop::Impl::CreateSystemWindow(SystemKind kind, const Rect& rect, const GbkText& title,
                                          uint32_t style, uint32_t exStyle, Hwnd owner) {
  CreateDesc d;
  d.className = kind == SystemKind::Menu ? "#32768" : "#32770";
  d.title = title;
  d.style = style;
  d.exStyle = exStyle;
  d.x = rect.left;
  d.y = rect.top;
  d.width = rect.Width();
  d.height = rect.Height();
  d.parentOrOwner = owner;
  d.proc = &Impl::SystemProc;
  d.context = this;
  const Hwnd h = self.CreateWindow(d);
  if (Window* w = Find(h)) w->system = kind;
  return h;
}

// ---------------------------------------------------------------- destruction

void SimDesktop::Impl::SendDestroy(Window* w) {
  const Hwnd h = w->hwnd;
  if (h == active) ActivateOther(w);
  if (focus == h) SetFocusTo(w->parent ? w->parent : 0);
  Send(h, WM_DESTROY, 0, 0);
  Window* again = Find(h);
  if (!again) return;
  const std::vector<Hwnd> kids = again->children;
  for (Hwnd k : kids)
    if (Window* c = Find(k)) SendDestroy(c);
  if (focus == h) focus = 0;
}

void SimDesktop::Impl::RemoveWindowState(Window* w) {
  const Hwnd h = w->hwnd;
  for (auto it = timers.begin(); it != timers.end();)
    it = it->first.first == h ? timers.erase(it) : std::next(it);
  posted.erase(std::remove_if(posted.begin(), posted.end(),
                              [&](const Message& m) { return m.hwnd == h; }),
               posted.end());
  input.erase(std::remove_if(input.begin(), input.end(),
                             [&](const InputEvent& e) { return e.msg.hwnd == h; }),
              input.end());
  for (auto it = paints.begin(); it != paints.end();)
    it = it->second.hwnd == h ? paints.erase(it) : std::next(it);
  if (focus == h) focus = 0;
  if (active == h) active = 0;
  if (foreground == h) foreground = 0;
}

void SimDesktop::Impl::FreeWindow(Window* w) {
  const Hwnd h = w->hwnd;
  const std::vector<Hwnd> kids = w->children;
  for (Hwnd k : kids)
    if (Window* c = Find(k)) FreeWindow(c);
  if (!Find(h)) return;
  Send(h, WM_NCDESTROY, 0, 0);
  if (!Find(h)) return;
  if (w->menu != 0 && w->parent == 0 && menus.count(w->menu)) self.DestroyMenu(w->menu);
  RemoveWindowState(w);
  Unlink(w);
  // Windows it owned that survived (of other kinds) lose their owner.
  for (auto& [oh, ow] : windows)
    if (ow->owner == h) ow->owner = 0;
  w->alive = false;
  w->surface.clear();
  w->surface.shrink_to_fit();
  windows.erase(h);
}

bool SimDesktop::DestroyWindow(Hwnd hwnd) {
  Impl& I = *impl_;
  Window* w = I.Find(hwnd);
  if (!w) return false;
  if (w->destroying) return true;
  w->destroying = true;
  for (TrackState* t : I.trackStack)
    if (t->owner == hwnd && !t->closed) t->closed = true;
  const bool child = w->parent != 0;
  if (w->style & WS_VISIBLE) {
    if (child)
      ShowWindow(hwnd, SW_HIDE);
    else
      SetWindowPos(hwnd, 0, 0, 0, 0, 0,
                   SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
  }
  if (!I.Find(hwnd)) return true;
  if (!child) {
    for (;;) {
      Window* ownedWin = nullptr;
      for (Hwnd h : I.topLevel)
        if (Window* o = I.Find(h); o && o->owner == hwnd && !o->destroying) {
          ownedWin = o;
          break;
        }
      if (!ownedWin) break;
      DestroyWindow(ownedWin->hwnd);
    }
  }
  if (!I.Find(hwnd)) return true;
  I.SendDestroy(w);
  if (!I.Find(hwnd)) return true;
  I.FreeWindow(w);
  return true;
}

bool SimDesktop::IsWindow(Hwnd hwnd) { return impl_->Find(hwnd) != nullptr; }

// ---------------------------------------------------------------- the default procedure

namespace {
std::intptr_t HostProc(void* context, Hwnd hwnd, uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  return static_cast<SimDesktop*>(context)->DefWindowProc(hwnd, message, wParam, lParam);
}
}  // namespace

Hwnd SimDesktop::CreateHostWindow(const std::string& className, uint32_t style, const Rect& rect) {
  ClassDesc cls;
  cls.name = className;
  RegisterClass(cls);
  CreateDesc desc;
  desc.className = className;
  desc.style = style;
  desc.x = rect.left;
  desc.y = rect.top;
  desc.width = rect.Width();
  desc.height = rect.Height();
  desc.proc = &HostProc;
  desc.context = this;
  return CreateWindow(desc);
}

std::intptr_t SimDesktop::DefWindowProc(Hwnd hwnd, uint32_t message, std::uintptr_t wParam,
                                        std::intptr_t lParam) {
  Impl& I = *impl_;
  Window* w = I.Find(hwnd);
  if (!w) return 0;
  switch (message) {
    case WM_NCCREATE:
      return 1;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_PAINT: {
      PaintContext pc = BeginPaint(hwnd);
      EndPaint(pc);
      return 0;
    }
    case WM_ERASEBKGND: {
      if (w->nullBrush) return 0;
      // Fill the pending paint's region with the class brush (the button face here).
      for (auto& [dc, p] : I.paints)
        if (p.hwnd == hwnd && dc == static_cast<std::uintptr_t>(wParam)) {
          const uint32_t px = SwapRB(GetSysColor(COLOR_BTNFACE));
          for (const Rect& r : p.rects)
            for (int32_t y = r.top; y < r.bottom; ++y)
              std::fill_n(w->surface.begin() + static_cast<size_t>(y) * w->surfaceW + r.left,
                          r.Width(), px);
        }
      return 1;
    }
    case WM_WINDOWPOSCHANGED: {
      const auto* wp = reinterpret_cast<const WindowPos*>(lParam);
      if (!wp) return 0;
      if (!(wp->flags & SWP_NOCLIENTMOVE)) {
        Rect cs = I.ClientScreenRect(w);
        if (w->parent)
          if (Window* p = I.Find(w->parent)) {
            const Rect pc = I.ClientScreenRect(p);
            cs = Offset(cs, -pc.left, -pc.top);
          }
        I.Send(hwnd, WM_MOVE, 0, PackLParam(cs.left, cs.top));
        w = I.Find(hwnd);
        if (!w) return 0;
      }
      if (!(wp->flags & SWP_NOCLIENTSIZE)) {
        const Rect c = I.ClientRect(w);
        const uint32_t kind = (w->style & WS_MINIMIZE)   ? SIZE_MINIMIZED
                              : (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED
                                                         : SIZE_RESTORED;
        I.Send(hwnd, WM_SIZE, kind, PackLParam(c.Width(), c.Height()));
      }
      return 0;
    }
    case WM_ACTIVATE:
      if ((wParam & 0xFFFF) != WA_INACTIVE && !(w->style & WS_MINIMIZE)) I.SetFocusTo(hwnd);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) I.Send(hwnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_SYSKEYDOWN:
      if (static_cast<int32_t>(wParam) == VK_F4 && (lParam & (1 << 29))) {
        Window* t = I.TopLevelOf(w);
        if (t) I.Send(t->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
      }
      return 0;
    case WM_RBUTTONUP: {
      const Rect cs = I.ClientScreenRect(w);
      const int32_t x = static_cast<int16_t>(lParam & 0xFFFF) + cs.left;
      const int32_t y = static_cast<int16_t>((lParam >> 16) & 0xFFFF) + cs.top;
      I.Send(hwnd, WM_CONTEXTMENU, hwnd, PackLParam(x, y));
      return 0;
    }
    case WM_CONTEXTMENU:
      if (w->parent) return I.Send(w->parent, WM_CONTEXTMENU, wParam, lParam);
      return 0;
    case WM_SETFONT:
      return 0;
    default:
      return 0;
  }
}

// ---------------------------------------------------------------- styles

int32_t SimDesktop::GetWindowLong(Hwnd hwnd, int32_t index) {
  Window* w = impl_->Find(hwnd);
  if (!w) return 0;
  if (index == GWL_STYLE) return static_cast<int32_t>(w->style);
  if (index == GWL_EXSTYLE) return static_cast<int32_t>(w->exStyle);
  if (index == -12) return static_cast<int32_t>(w->id);  // GWL_ID
  return 0;
}

int32_t SimDesktop::SetWindowLong(Hwnd hwnd, int32_t index, int32_t value) {
  Impl& I = *impl_;
  Window* w = I.Find(hwnd);
  if (!w) return 0;
  if (index == -12) {
    const int32_t old = static_cast<int32_t>(w->id);
    w->id = static_cast<uint32_t>(value);
    return old;
  }
  if (index != GWL_STYLE && index != GWL_EXSTYLE) return 0;
  uint32_t& field = index == GWL_STYLE ? w->style : w->exStyle;
  const uint32_t old = field;
  StyleStruct ss{old, static_cast<uint32_t>(value)};
  I.Send(hwnd, WM_STYLECHANGING, static_cast<std::uintptr_t>(index),
         reinterpret_cast<std::intptr_t>(&ss));
  w = I.Find(hwnd);
  if (!w) return static_cast<int32_t>(old);
  uint32_t next = ss.newStyle;
  if (index == GWL_EXSTYLE) {
    next = (next & ~WS_EX_TOPMOST) | (old & WS_EX_TOPMOST);  // only SetWindowPos changes it
    if ((next & WS_EX_LAYERED) && !(old & WS_EX_LAYERED)) w->layeredConfigured = false;
    if (!(next & WS_EX_LAYERED)) {
      w->layeredConfigured = false;
      w->layeredFlags = 0;
      w->layeredKey = 0;
      w->layeredAlpha = 255;
    }
  }
  (index == GWL_STYLE ? w->style : w->exStyle) = next;
  ss.oldStyle = old;
  I.Send(hwnd, WM_STYLECHANGED, static_cast<std::uintptr_t>(index),
         reinterpret_cast<std::intptr_t>(&ss));
  return static_cast<int32_t>(old);
}

bool SimDesktop::SetLayeredWindowAttributes(Hwnd hwnd, uint32_t colorKey, uint8_t alpha,
                                            uint32_t flags) {
  Window* w = impl_->Find(hwnd);
  if (!w || !(w->exStyle & WS_EX_LAYERED)) return false;
  w->layeredConfigured = true;
  w->layeredKey = colorKey & 0x00FFFFFF;
  w->layeredAlpha = alpha;
  w->layeredFlags = flags;
  return true;
}

// ---------------------------------------------------------------- position and size

bool SimDesktop::Impl::SetPos(Window* w, std::intptr_t insertAfter, int32_t x, int32_t y,
                              int32_t cx, int32_t cy, uint32_t flags) {
  const Hwnd h = w->hwnd;
  x = ClampPosition(x);
  y = ClampPosition(y);
  cx = ClampSize(cx);
  cy = ClampSize(cy);
  const Rect oldRect = w->rect;
  const Rect oldClientScreen = ClientScreenRect(w);
  const Rect oldClient = ClientRect(w);
  const bool wasVisible = (w->style & WS_VISIBLE) != 0;
  Rect next = oldRect;
  if (!(flags & SWP_NOMOVE)) next = Offset(next, x - next.left, y - next.top);
  if (!(flags & SWP_NOSIZE)) {
    next.right = next.left + cx;
    next.bottom = next.top + cy;
  }
  if (next.left == oldRect.left && next.top == oldRect.top) flags |= SWP_NOMOVE;
  if (next.Width() == oldRect.Width() && next.Height() == oldRect.Height()) flags |= SWP_NOSIZE;
  if ((flags & SWP_SHOWWINDOW) && wasVisible) flags &= ~SWP_SHOWWINDOW;
  if ((flags & SWP_HIDEWINDOW) && !wasVisible) flags &= ~SWP_HIDEWINDOW;

  // The stacking order.
  if (!(flags & SWP_NOZORDER)) {
    auto& list = SiblingList(w);
    const std::vector<Hwnd> before = list;
    const uint32_t exBefore = w->exStyle;
    if (w->parent == 0 && insertAfter == HWND_TOPMOST) {
      w->exStyle |= WS_EX_TOPMOST;
      LinkTop(w);
    } else if (w->parent == 0 && insertAfter == HWND_NOTOPMOST) {
      if (w->exStyle & WS_EX_TOPMOST) {
        w->exStyle &= ~WS_EX_TOPMOST;
        LinkTop(w);
      }
    } else if (insertAfter == HWND_TOP) {
      LinkTop(w);
    } else if (insertAfter == HWND_BOTTOM) {
      if (w->parent == 0) w->exStyle &= ~WS_EX_TOPMOST;
      LinkBottom(w);
    } else if (static_cast<Hwnd>(insertAfter) != h && Find(static_cast<Hwnd>(insertAfter))) {
      LinkAfter(w, static_cast<Hwnd>(insertAfter));
    }
    if (before == SiblingList(w) && exBefore == w->exStyle) flags |= SWP_NOZORDER;
  }

  w->rect = next;
  if (flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
  if (flags & SWP_HIDEWINDOW) w->style &= ~WS_VISIBLE;
  if (!(flags & SWP_NOSIZE) || (flags & SWP_FRAMECHANGED)) w->insets = ComputeInsets(w);
  const Rect newClientScreen = ClientScreenRect(w);
  const Rect newClient = ClientRect(w);
  if (newClient.Width() == oldClient.Width() && newClient.Height() == oldClient.Height() &&
      !(flags & kForceSizeMessage))
    flags |= SWP_NOCLIENTSIZE;
  flags &= ~kForceSizeMessage;
  Rect ocs = oldClientScreen, ncs = newClientScreen;
  if (ocs.left - oldRect.left == ncs.left - next.left && ocs.top - oldRect.top == ncs.top - next.top &&
      (flags & SWP_NOMOVE))
    flags |= SWP_NOCLIENTMOVE;
  ResizeSurface(w);

  // What needs painting.
  if (!(flags & SWP_NOREDRAW)) {
    if (flags & SWP_SHOWWINDOW) {
      InvalidateAll(w);
    } else if (!(flags & SWP_NOCLIENTSIZE)) {
      const bool wide = newClient.Width() != oldClient.Width();
      const bool tall = newClient.Height() != oldClient.Height();
      if ((wide && (w->classStyle & CS_HREDRAW)) || (tall && (w->classStyle & CS_VREDRAW))) {
        Invalidate(w, newClient, true, true);
      } else {
        // Only the newly exposed strips.
        if (newClient.Width() > oldClient.Width())
          Invalidate(w, {oldClient.Width(), 0, newClient.Width(), newClient.Height()}, true, true);
        if (newClient.Height() > oldClient.Height())
          Invalidate(w, {0, oldClient.Height(), newClient.Width(), newClient.Height()}, true, true);
      }
    }
    // A child that moved, changed size or was hidden uncovers part of its parent.
    if (w->parent && ((flags & SWP_HIDEWINDOW) ||
                      (wasVisible && (!(flags & SWP_NOMOVE) || !(flags & SWP_NOSIZE))))) {
      if (Window* p = Find(w->parent)) Invalidate(p, oldRect, true, false);
    }
  }

  if (!(flags & SWP_NOACTIVATE) && w->parent == 0 && (w->style & WS_VISIBLE)) {
    Activate(h, WA_ACTIVE);
    w = Find(h);
    if (!w) return true;
  }

  const uint32_t noChange = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOCLIENTSIZE |
                            SWP_NOCLIENTMOVE;
  const uint32_t status = noChange | SWP_FRAMECHANGED | SWP_SHOWWINDOW | SWP_HIDEWINDOW;
  if ((flags & status) != noChange) {
    WindowPos wp{h, static_cast<Hwnd>(insertAfter), w->rect.left, w->rect.top, w->rect.Width(),
                 w->rect.Height(), flags};
    Send(h, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<std::intptr_t>(&wp));
  }
  // A hidden window gives up the activation and the focus afterwards.
  w = Find(h);
  if (w && (flags & SWP_HIDEWINDOW)) {
    if (h == active || (Find(active) && TopLevelOf(Find(active)) == w)) ActivateOther(w);
    for (Window* f = Find(focus); f; f = f->parent ? Find(f->parent) : nullptr)
      if (f == w) {
        SetFocusTo(0);
        break;
      }
  }
  return true;
}

bool SimDesktop::SetWindowPos(Hwnd hwnd, std::intptr_t insertAfter, int32_t x, int32_t y,
                              int32_t cx, int32_t cy, uint32_t flags) {
  Window* w = impl_->Find(hwnd);
  if (!w) return false;
  if (w->parent != 0) flags |= SWP_NOACTIVATE;
  return impl_->SetPos(w, insertAfter, x, y, cx, cy, flags & 0xFFFF & ~(SWP_NOCLIENTSIZE | SWP_NOCLIENTMOVE));
}

bool SimDesktop::MoveWindow(Hwnd hwnd, int32_t x, int32_t y, int32_t width, int32_t height,
                            bool repaint) {
  return SetWindowPos(hwnd, 0, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

bool SimDesktop::ShowWindow(Hwnd hwnd, int32_t command) {
  Impl& I = *impl_;
  Window* w = I.Find(hwnd);
  if (!w) return false;
  const bool wasVisible = (w->style & WS_VISIBLE) != 0;
  const bool child = w->parent != 0;
  const uint32_t stateBefore = w->style & (WS_MAXIMIZE | WS_MINIMIZE);
  uint32_t flags = SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE;
  bool show = true;
  bool activate = !child;
  std::optional<Rect> place;
  auto saveRestore = [&] {
    if (!(w->style & (WS_MAXIMIZE | WS_MINIMIZE))) {
      w->restoreRect = w->rect;
      w->hasRestoreRect = true;
    }
  };
  switch (command) {
    case SW_HIDE:
      show = false;
      activate = false;
      break;
    case SW_SHOWMAXIMIZED: {
      saveRestore();
      w->style = (w->style & ~WS_MINIMIZE) | WS_MAXIMIZE;
      if (child) {
        Window* p = I.Find(w->parent);
        place = p ? I.ClientRect(p) : w->rect;
      } else {
        place = WorkAreaNearest(hwnd);
      }
      break;
    }
    case SW_SHOWMINIMIZED:
    case 6:   // SW_MINIMIZE
    case 7: { // SW_SHOWMINNOACTIVE
      saveRestore();
      w->style = (w->style & ~WS_MAXIMIZE) | WS_MINIMIZE;
      place = Rect{-32000, -32000, -32000 + 160, -32000 + 28};
      if (command != SW_SHOWMINIMIZED) activate = false;
      break;
    }
    case SW_SHOWNORMAL:
    case SW_RESTORE:
      if ((w->style & (WS_MAXIMIZE | WS_MINIMIZE)) && w->hasRestoreRect) place = w->restoreRect;
      w->style &= ~(WS_MAXIMIZE | WS_MINIMIZE);
      break;
    case SW_SHOWNOACTIVATE:
      if ((w->style & (WS_MAXIMIZE | WS_MINIMIZE)) && w->hasRestoreRect) place = w->restoreRect;
      w->style &= ~(WS_MAXIMIZE | WS_MINIMIZE);
      activate = false;
      break;
    case SW_SHOWNA:
      activate = false;
      break;
    case SW_SHOW:
    default:
      break;
  }
  if (show != wasVisible) {
    I.Send(hwnd, WM_SHOWWINDOW, show ? 1 : 0, 0);
    w = I.Find(hwnd);
    if (!w) return wasVisible;
  }
  flags |= show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW;
  if (!activate) flags |= SWP_NOACTIVATE;
  if (activate && !child) flags &= ~SWP_NOZORDER;
  Rect r = place.value_or(w->rect);
  if (place) flags &= ~(SWP_NOMOVE | SWP_NOSIZE);
  if ((w->style & (WS_MAXIMIZE | WS_MINIMIZE)) != stateBefore) flags |= kForceSizeMessage;
  I.SetPos(w, HWND_TOP, r.left, r.top, r.Width(), r.Height(), flags);
  return wasVisible;
}

Rect SimDesktop::GetWindowRect(Hwnd hwnd) {
  Window* w = impl_->Find(hwnd);
  return w ? impl_->ScreenRect(w) : Rect{};
}

Rect SimDesktop::GetWindowRectInParent(Hwnd hwnd) {
  Window* w = impl_->Find(hwnd);
  return w ? w->rect : Rect{};
}

Rect SimDesktop::GetClientRect(Hwnd hwnd) {
  Window* w = impl_->Find(hwnd);
  return w ? impl_->ClientRect(w) : Rect{};
}

Hwnd SimDesktop::SetParent(Hwnd childHandle, Hwnd parentHandle) {
  Impl& I = *impl_;
  Window* w = I.Find(childHandle);
  if (!w) return 0;
  Window* p = parentHandle ? I.Find(parentHandle) : nullptr;
  if (parentHandle && !p) return 0;
  for (Window* a = p; a; a = a->parent ? I.Find(a->parent) : nullptr)
    if (a == w) return 0;  // would make a cycle
  const Hwnd old = w->parent;
  if (old == parentHandle) {
    if (p) I.LinkTop(w);
    return old;
  }
  I.Unlink(w);
  w->parent = parentHandle;
  if (p) {
    w->owner = 0;
    p->children.insert(p->children.begin(), w->hwnd);
  } else {
    I.LinkTop(w);
  }
  if (I.Visible(w)) I.InvalidateAll(w);
  return old;
}

Hwnd SimDesktop::GetParent(Hwnd hwnd) {
  Window* w = impl_->Find(hwnd);
  if (!w) return 0;
  if (w->style & WS_CHILD) return w->parent;
  if (w->parent) return w->parent;
  return (w->style & WS_POPUP) ? w->owner : 0;
}

bool SimDesktop::IsWindowVisible(Hwnd hwnd) {
  Window* w = impl_->Find(hwnd);
  return w && impl_->Visible(w);
}

bool SimDesktop::IsIconic(Hwnd hwnd) {
  Window* w = impl_->Find(hwnd);
  return w && (w->style & WS_MINIMIZE);
}

bool SimDesktop::IsZoomed(Hwnd hwnd) {
  Window* w = impl_->Find(hwnd);
  return w && (w->style & WS_MAXIMIZE);
}

bool SimDesktop::EnableWindow(Hwnd hwnd, bool enable) {
  Impl& I = *impl_;
  Window* w = I.Find(hwnd);
  if (!w) return false;
  const bool wasDisabled = (w->style & WS_DISABLED) != 0;
  if (enable == !wasDisabled) return wasDisabled;
  if (enable) {
    w->style &= ~WS_DISABLED;
  } else {
    I.Send(hwnd, 0x001F, 0, 0);  // WM_CANCELMODE
    w = I.Find(hwnd);
    if (!w) return wasDisabled;
    w->style |= WS_DISABLED;
    if (I.focus == hwnd) I.SetFocusTo(0);
  }
  I.Send(hwnd, WM_ENABLE, enable ? 1 : 0, 0);
  return wasDisabled;
}

bool SimDesktop::IsWindowEnabled(Hwnd hwnd) {
  Window* w = impl_->Find(hwnd);
  return w && !(w->style & WS_DISABLED);
}

// ---------------------------------------------------------------- activation and focus

void SimDesktop::Impl::SetFocusTo(Hwnd h) {
  const Hwnd old = focus;
  if (old == h) return;
  focus = h;
  if (old && Find(old)) Send(old, WM_KILLFOCUS, h, 0);
  if (h && focus == h && Find(h)) Send(h, WM_SETFOCUS, old, 0);
}

void SimDesktop::Impl::Activate(Hwnd h, uint32_t how) {
  Window* w = h ? Find(h) : nullptr;
  if (w) w = TopLevelOf(w);
  const Hwnd target = w ? w->hwnd : 0;
  foreground = target;
  if (w) BringToTop(w);
  if (target == active) return;
  const Hwnd old = active;
  active = target;
  if (old && Find(old)) Send(old, WM_ACTIVATE, WA_INACTIVE, static_cast<std::intptr_t>(target));
  if (active != target) return;  // a handler activated something else meanwhile
  if (target && Find(target)) {
    const bool minimized = (Find(target)->style & WS_MINIMIZE) != 0;
    Send(target, WM_ACTIVATE, how | (minimized ? 0x10000u : 0u), static_cast<std::intptr_t>(old));
  }
  // The focus cannot stay in a window that is no longer active.
  if (focus) {
    Window* f = Find(focus);
    Window* ft = f ? TopLevelOf(f) : nullptr;
    if (!ft || ft->hwnd != active) SetFocusTo(0);
  }
}

void SimDesktop::Impl::ActivateOther(Window* leaving) {
  // The owner if it can take it, else the topmost visible enabled window.
  Window* next = nullptr;
  if (leaving->owner)
    if (Window* o = Find(leaving->owner);
        o && (o->style & WS_VISIBLE) && !(o->style & WS_DISABLED) && !o->destroying)
      next = o;
  if (!next)
    for (Hwnd h : topLevel) {
      Window* c = Find(h);
      if (c == leaving || c->destroying || !(c->style & WS_VISIBLE) || (c->style & WS_DISABLED))
        continue;
      if (c->owner == leaving->hwnd) continue;
      next = c;
      break;
    }
  Activate(next ? next->hwnd : 0, WA_ACTIVE);
}

Hwnd SimDesktop::SetFocus(Hwnd hwnd) {
  Impl& I = *impl_;
  const Hwnd old = I.focus;
  if (hwnd == 0) {
    I.SetFocusTo(0);
    return old;
  }
  Window* w = I.Find(hwnd);
  if (!w) return 0;
  Window* t = I.TopLevelOf(w);
  if (t && t->hwnd != I.active) I.Activate(t->hwnd, WA_ACTIVE);
  if (!I.Find(hwnd)) return old;
  I.SetFocusTo(hwnd);
  return old;
}

Hwnd SimDesktop::GetFocus() { return impl_->focus; }
Hwnd SimDesktop::GetActiveWindow() { return impl_->active; }

bool SimDesktop::SetForegroundWindow(Hwnd hwnd) {
  Impl& I = *impl_;
  Window* w = I.Find(hwnd);
  if (!w) return false;
  I.Activate(hwnd, WA_ACTIVE);
  return true;
}

void SimDesktop::SetDefaultGuiFont(Hwnd hwnd) {
  Impl& I = *impl_;
  Window* w = I.Find(hwnd);
  if (!w) return;
  w->font = kDefaultGuiFont;
  I.Send(hwnd, WM_SETFONT, kDefaultGuiFont, 0);
}

// ---------------------------------------------------------------- test view of windows

std::optional<WindowInfo> SimDesktop::Info(Hwnd hwnd) const {
  const Impl& I = *impl_;
  Window* w = I.Find(hwnd);
  if (!w) return std::nullopt;
  WindowInfo i;
  i.hwnd = hwnd;
  i.className = w->className;
  i.title = w->title;
  i.style = w->style;
  i.exStyle = w->exStyle;
  i.windowRect = I.ScreenRect(w);
  i.clientRectScreen = I.ClientScreenRect(w);
  i.parent = w->parent;
  i.owner = w->owner;
  i.visible = (w->style & WS_VISIBLE) != 0;
  i.enabled = !(w->style & WS_DISABLED);
  i.minimized = (w->style & WS_MINIMIZE) != 0;
  i.maximized = (w->style & WS_MAXIMIZE) != 0;
  i.topmost = (w->exStyle & WS_EX_TOPMOST) != 0;
  i.layeredConfigured = w->layeredConfigured;
  i.layeredFlags = w->layeredFlags;
  i.colorKey = w->layeredKey;
  i.alpha = w->layeredAlpha;
  i.font = w->font;
  i.menu = w->menu;
  i.system = w->system != SystemKind::None;
  return i;
}

std::vector<Hwnd> SimDesktop::TopLevelWindows(bool includeSystem) const {
  std::vector<Hwnd> r;
  for (Hwnd h : impl_->topLevel)
    if (includeSystem || impl_->Find(h)->system == SystemKind::None) r.push_back(h);
  return r;
}

std::vector<Hwnd> SimDesktop::Children(Hwnd hwnd) const {
  Window* w = impl_->Find(hwnd);
  return w ? w->children : std::vector<Hwnd>{};
}

Hwnd SimDesktop::FindWindowByClass(std::string_view className) const {
  const std::string key = Upper(className);
  for (auto& [h, w] : impl_->windows)
    if (Upper(w->className) == key) return h;
  return 0;
}

Hwnd SimDesktop::Foreground() const { return impl_->foreground; }

// ---------------------------------------------------------------- hit-testing

SimDesktop::Impl::Hit SimDesktop::Impl::HitTest(int32_t x, int32_t y) {
  for (Hwnd h : topLevel) {
    Window* w = Find(h);
    if (!(w->style & WS_VISIBLE) || (w->style & WS_MINIMIZE)) continue;
    if (w->exStyle & WS_EX_TRANSPARENT_) continue;
    if ((w->exStyle & WS_EX_LAYERED) && !w->layeredConfigured) continue;
    if (!Contains(ScreenRect(w), x, y)) continue;
    if (w->exStyle & WS_EX_LAYERED) {
      auto px = WindowPixelAt(w, x, y);
      if (!px || IsTransparentAt(w, *px)) continue;
      if ((w->layeredFlags & LWA_ALPHA) && w->layeredAlpha == 0) continue;
    }
    Hit hit{h, h, (w->style & WS_DISABLED) != 0};
    if (hit.disabled) return hit;
    // The deepest visible, enabled child under the point.
    Window* cur = w;
    for (;;) {
      const Rect cs = ClientScreenRect(cur);
      if (!Contains(cs, x, y)) break;
      Window* found = nullptr;
      for (Hwnd k : cur->children) {
        Window* c = Find(k);
        if (!(c->style & WS_VISIBLE) || (c->exStyle & WS_EX_TRANSPARENT_)) continue;
        if (!Contains(ScreenRect(c), x, y)) continue;
        found = c;
        break;
      }
      if (!found || (found->style & WS_DISABLED)) break;
      cur = found;
    }
    hit.hwnd = cur->hwnd;
    return hit;
  }
  return {};
}

Hwnd SimDesktop::WindowFromPoint(int32_t x, int32_t y) { return impl_->HitTest(x, y).hwnd; }

}  // namespace wintrel::sim
