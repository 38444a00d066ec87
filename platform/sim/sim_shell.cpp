// Menus and their tracking loop, message boxes and their modal loop, the notification
// area, sounds and the system's external routines.
#include <algorithm>

#include "platform/sim/sim_internal.h"

namespace wintrel::sim {
namespace {

using namespace ws;

constexpr int32_t kItemHeight = 20;
constexpr int32_t kSeparatorHeight = 9;
constexpr int32_t kMenuPad = 2;
constexpr uint32_t kTextPixel = 0x00000000;
constexpr uint32_t kGrayPixel = 0x006D6D6D;

std::string Shown(const std::string& text) {
  std::string r;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size() && text[i + 1] != '&') continue;
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    r += text[i];
  }
  return r;
}

std::string BeforeTab(const std::string& s) { return s.substr(0, s.find('\t')); }
std::string AfterTab(const std::string& s) {
  const size_t t = s.find('\t');
  return t == std::string::npos ? std::string() : s.substr(t + 1);
}

void Fill(Window* w, const Rect& r, uint32_t px) {
  const Rect c = Intersect(r, {0, 0, w->surfaceW, w->surfaceH});
  for (int32_t y = c.top; y < c.bottom; ++y)
    std::fill_n(w->surface.begin() + static_cast<size_t>(y) * w->surfaceW + c.left, c.Width(), px);
}

void Text(Window* w, const std::string& s, int32_t x, int32_t y, uint32_t px) {
  DrawGbk(FontRec{}, s, x, y, px, w->surface.data(), w->surfaceW, w->surfaceH,
          {0, 0, w->surfaceW, w->surfaceH});
}

struct ButtonSpec {
  int32_t id;
  const char* label;
};

std::vector<ButtonSpec> ButtonsFor(uint32_t flags) {
  switch (flags & 0xF) {
    case 1: return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    case 2: return {{3, "Abort"}, {4, "Retry"}, {5, "Ignore"}};
    case 3: return {{6, "Yes"}, {7, "No"}, {IDCANCEL, "Cancel"}};
    case 4: return {{6, "Yes"}, {7, "No"}};
    case 5: return {{4, "Retry"}, {IDCANCEL, "Cancel"}};
    case 6: return {{IDCANCEL, "Cancel"}, {10, "Try Again"}, {11, "Continue"}};
    default: return {{IDOK, "OK"}};
  }
}

int32_t DefaultButton(uint32_t flags) {
  const auto b = ButtonsFor(flags);
  const size_t i = std::min<size_t>((flags >> 8) & 0xF, b.size() - 1);
  return b[i].id;
}

// The button Esc (or closing the box) presses, or 0 when the box has none.
int32_t CancelButton(uint32_t flags) {
  const auto b = ButtonsFor(flags);
  for (const auto& s : b)
    if (s.id == IDCANCEL) return IDCANCEL;
  return (flags & 0xF) == 0 ? IDOK : 0;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string cur;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n' || text[i] == '\r') {
      lines.push_back(cur);
      cur.clear();
      continue;
    }
    cur += text[i];
  }
  lines.push_back(cur);
  return lines;
}

}  // namespace

// ---------------------------------------------------------------- menus

Hmenu SimDesktop::CreateMenu() {
  Impl& I = *impl_;
  const Hmenu h = I.NewHandle();
  I.menus[h] = {h, false, {}};
  return h;
}

Hmenu SimDesktop::CreatePopupMenu() {
  Impl& I = *impl_;
  const Hmenu h = I.NewHandle();
  I.menus[h] = {h, true, {}};
  return h;
}

bool SimDesktop::AppendMenu(Hmenu menu, const MenuItem& item) {
  Impl& I = *impl_;
  auto it = I.menus.find(menu);
  if (it == I.menus.end()) return false;
  MenuItem copy = item;
  if (item.flags & MF_POPUP) {
    if (!I.menus.count(item.submenu) || item.submenu == menu) return false;
  } else if (item.submenu != 0) {
    copy.flags |= MF_POPUP;
    if (!I.menus.count(item.submenu)) return false;
  }
  it->second.items.push_back(copy);
  return true;
}

bool SimDesktop::DestroyMenu(Hmenu menu) {
  Impl& I = *impl_;
  auto it = I.menus.find(menu);
  if (it == I.menus.end()) return false;
  const std::vector<MenuItem> items = it->second.items;
  I.menus.erase(it);
  for (const auto& item : items)
    if ((item.flags & MF_POPUP) && item.submenu) DestroyMenu(item.submenu);
  for (auto& [h, w] : I.windows)
    if (w->menu == menu) w->menu = 0;
  return true;
}

bool SimDesktop::SetMenu(Hwnd hwnd, Hmenu menu) {
  Impl& I = *impl_;
  Window* w = I.Find(hwnd);
  if (!w || (w->style & WS_CHILD)) return false;
  if (menu != 0 && !I.menus.count(menu)) return false;
  w->menu = menu;
  // The frame changes with the menu bar.
  I.SetPos(w, 0, 0, 0, 0, 0,
           SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  return true;
}

Hmenu SimDesktop::GetMenu(Hwnd hwnd) {
  Window* w = impl_->Find(hwnd);
  return w ? w->menu : 0;
}

std::vector<MenuItemInfo> SimDesktop::Impl::ItemsOf(Hmenu menu, int depth) const {
  std::vector<MenuItemInfo> r;
  auto it = menus.find(menu);
  if (it == menus.end() || depth > 8) return r;
  for (const auto& item : it->second.items) {
    MenuItemInfo i;
    i.flags = item.flags;
    i.id = item.id;
    i.text = item.text;
    i.submenu = (item.flags & MF_POPUP) ? item.submenu : 0;
    if (i.submenu) i.subItems = ItemsOf(i.submenu, depth + 1);
    r.push_back(std::move(i));
  }
  return r;
}

std::vector<MenuItemInfo> SimDesktop::MenuItems(Hmenu menu) const { return impl_->ItemsOf(menu, 0); }

void SimDesktop::Impl::PaintMenu(TrackState& t) {
  Window* w = Find(t.window);
  auto m = menus.find(t.menu);
  if (!w || m == menus.end()) return;
  Fill(w, {0, 0, w->surfaceW, w->surfaceH}, SwapRB(self.GetSysColor(4)));
  const Rect origin = ClientScreenRect(w);
  for (size_t i = 0; i < m->second.items.size() && i < t.itemRects.size(); ++i) {
    const auto& item = m->second.items[i];
    const Rect r = Offset(t.itemRects[i], -origin.left, -origin.top);
    if (item.flags & MF_SEPARATOR) {
      Fill(w, {r.left + 4, r.top + 4, r.right - 4, r.top + 5}, 0x00A0A0A0);
      continue;
    }
    const uint32_t px = (item.flags & (MF_GRAYED | MF_DISABLED)) ? kGrayPixel : kTextPixel;
    if (item.flags & MF_CHECKED) Text(w, "v", r.left + 10, r.top + 4, px);
    Text(w, Shown(BeforeTab(item.text)), r.left + 28, r.top + 4, px);
    const std::string shortcut = AfterTab(item.text);
    if (!shortcut.empty())
      Text(w, shortcut, r.right - 24 - MeasureGbk(FontRec{}, shortcut).width, r.top + 4, px);
    if (item.flags & MF_POPUP) Text(w, ">", r.right - 14, r.top + 4, px);
  }
}

void SimDesktop::Impl::CloseMenu(bool chosen, uint32_t id) {
  if (trackStack.empty()) return;
  TrackState* t = trackStack.back();
  if (t->closed) return;
  t->closed = true;
  t->chosen = chosen ? id : 0;
}

bool SimDesktop::Impl::MenuClick(int32_t x, int32_t y) {
  TrackState* t = trackStack.back();
  if (t->closed) return false;
  if (Contains(t->rect, x, y)) {
    auto m = menus.find(t->menu);
    if (m == menus.end()) return false;
    for (size_t i = 0; i < t->itemRects.size() && i < m->second.items.size(); ++i) {
      if (!Contains(t->itemRects[i], x, y)) continue;
      const auto& item = m->second.items[i];
      if (item.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED | MF_POPUP)) return false;
      CloseMenu(true, item.id);
      return true;
    }
    return false;
  }
  // Outside the menu: it closes, unless the owner's thread is not in the foreground.
  if (t->dismissOnOutsideClick) CloseMenu(false, 0);
  return false;
}

bool SimDesktop::TrackPopupMenu(Hmenu menu, uint32_t flags, int32_t x, int32_t y, Hwnd owner) {
  Impl& I = *impl_;
  if (I.ended || !I.menus.count(menu) || !I.Find(owner) || !I.trackStack.empty()) return false;
  ++I.menusShown;
  TrackState t;
  t.menu = menu;
  t.owner = owner;
  t.flags = flags;
  t.requested = {x, y};
  Window* ownerTop = I.TopLevelOf(I.Find(owner));
  t.dismissOnOutsideClick = ownerTop && I.foreground == ownerTop->hwnd;
  I.Send(owner, WM_ENTERMENULOOP, 1, 0);
  if (I.Find(owner)) I.Send(owner, WM_INITMENUPOPUP, menu, 0);
  if (I.ended || !I.menus.count(menu) || !I.Find(owner)) return false;

  // Layout: one row per item, as wide as the widest text.
  const auto& items = I.menus[menu].items;
  int32_t textW = 0, shortcutW = 0, height = 2 * kMenuPad;
  for (const auto& item : items) {
    if (item.flags & MF_SEPARATOR) {
      height += kSeparatorHeight;
      continue;
    }
    textW = std::max(textW, MeasureGbk(FontRec{}, Shown(BeforeTab(item.text))).width);
    const std::string sc = AfterTab(item.text);
    if (!sc.empty()) shortcutW = std::max(shortcutW, MeasureGbk(FontRec{}, sc).width + 24);
    height += kItemHeight;
  }
  const int32_t width = std::max(60, 28 + textW + shortcutW + 24) + 2;
  height += 2;
  int32_t x0 = x, y0 = y;
  if (flags & TPM_RIGHTALIGN)
    x0 = x - width;
  else if (flags & TPM_CENTERALIGN)
    x0 = x - width / 2;
  if (flags & TPM_BOTTOMALIGN)
    y0 = y - height;
  else if (flags & TPM_VCENTERALIGN)
    y0 = y - height / 2;
  // Kept within the screen: past the bottom it opens upwards from the point, past the
  // right edge it moves left.
  if (y0 + height > I.screenH) y0 = y - height;
  if (y0 + height > I.screenH) y0 = I.screenH - height;
  if (y0 < 0) y0 = 0;
  if (x0 + width > I.screenW) x0 = I.screenW - width;
  if (x0 < 0) x0 = 0;
  t.rect = {x0, y0, x0 + width, y0 + height};
  int32_t iy = y0 + 1 + kMenuPad;
  for (const auto& item : items) {
    const int32_t h = (item.flags & MF_SEPARATOR) ? kSeparatorHeight : kItemHeight;
    t.itemRects.push_back({x0 + 1, iy, x0 + width - 1, iy + h});
    iy += h;
  }
  t.window = I.CreateSystemWindow(SystemKind::Menu, t.rect, "", WS_POPUP | WS_BORDER,
                                  WS_EX_TOPMOST | WS_EX_TOOLWINDOW, 0);
  if (t.window) {
    ShowWindow(t.window, SW_SHOWNA);
    I.PaintMenu(t);
  }
  I.trackStack.push_back(&t);
  if (!I.NestedLoop([&] { return t.closed; }) && !t.closed) {
    t.closed = true;
    t.chosen = 0;
  }
  I.trackStack.pop_back();
  if (I.ended) return false;
  if (t.window && I.Find(t.window)) DestroyWindow(t.window);
  if (I.Find(owner)) I.Send(owner, WM_EXITMENULOOP, 1, 0);
  if (t.chosen != 0) {
    if (flags & TPM_RETURNCMD) return true;
    if (I.Find(owner)) PostMessage(owner, WM_COMMAND, t.chosen & 0xFFFF, 0);
  }
  return (flags & TPM_RETURNCMD) ? false : true;
}

bool SimDesktop::MenuOpen() const { return !impl_->trackStack.empty(); }

std::optional<OpenMenuInfo> SimDesktop::OpenMenu() const {
  const Impl& I = *impl_;
  if (I.trackStack.empty()) return std::nullopt;
  const TrackState& t = *I.trackStack.back();
  OpenMenuInfo info;
  info.menu = t.menu;
  info.owner = t.owner;
  info.flags = t.flags;
  info.requested = t.requested;
  info.screenRect = t.rect;
  info.items = I.ItemsOf(t.menu, 0);
  for (size_t i = 0; i < info.items.size() && i < t.itemRects.size(); ++i)
    info.items[i].screenRect = t.itemRects[i];
  return info;
}

namespace {
const MenuItemInfo* FindItem(const std::vector<MenuItemInfo>& items,
                             const std::function<bool(const MenuItemInfo&)>& match) {
  for (const auto& i : items) {
    if (!(i.flags & (MF_SEPARATOR | MF_POPUP)) && match(i)) return &i;
    if (const MenuItemInfo* found = FindItem(i.subItems, match)) return found;
  }
  return nullptr;
}
}  // namespace

bool SimDesktop::ChooseMenuItem(uint32_t id) {
  Impl& I = *impl_;
  if (I.trackStack.empty() || I.trackStack.back()->closed) return false;
  const auto items = I.ItemsOf(I.trackStack.back()->menu, 0);
  const MenuItemInfo* item = FindItem(items, [&](const MenuItemInfo& i) { return i.id == id; });
  if (!item || (item->flags & (MF_GRAYED | MF_DISABLED))) return false;
  I.CloseMenu(true, id);
  return true;
}

bool SimDesktop::ChooseMenuItemByText(std::string_view text) {
  Impl& I = *impl_;
  if (I.trackStack.empty() || I.trackStack.back()->closed) return false;
  const auto items = I.ItemsOf(I.trackStack.back()->menu, 0);
  const MenuItemInfo* item = FindItem(items, [&](const MenuItemInfo& i) {
    return BeforeTab(i.text) == text || Shown(BeforeTab(i.text)) == text;
  });
  if (!item || (item->flags & (MF_GRAYED | MF_DISABLED))) return false;
  I.CloseMenu(true, item->id);
  return true;
}

void SimDesktop::DismissMenu() { impl_->CloseMenu(false, 0); }
int32_t SimDesktop::MenusShown() const { return impl_->menusShown; }

// ---------------------------------------------------------------- message boxes

void SimDesktop::Impl::PaintBox(BoxState& b) {
  Window* w = Find(b.window);
  if (!w) return;
  const MessageBoxInfo& info = boxLog[b.index];
  Fill(w, {0, 0, w->surfaceW, w->surfaceH}, 0x00FFFFFF);
  Fill(w, {0, w->surfaceH - 42, w->surfaceW, w->surfaceH}, SwapRB(self.GetSysColor(COLOR_BTNFACE)));
  int32_t tx = 16;
  const uint32_t icon = info.flags & 0xF0;
  if (icon) {
    const uint32_t px = icon == MB_ICONERROR ? 0x00E81123 : icon == 0x30 ? 0x00FFB900 : 0x000078D7;
    Fill(w, {16, 16, 48, 48}, px);
    Text(w, icon == MB_ICONERROR ? "x" : icon == 0x30 ? "!" : icon == 0x20 ? "?" : "i", 29, 26,
         0x00FFFFFF);
    tx = 60;
  }
  int32_t ty = 20;
  for (const auto& line : b.lines) {
    Text(w, line, tx, ty, kTextPixel);
    ty += kCellHeight + 2;
  }
  const auto specs = ButtonsFor(info.flags);
  for (size_t i = 0; i < b.buttons.size() && i < specs.size(); ++i) {
    const Rect r = b.buttons[i].second;
    Fill(w, r, 0x00ADADAD);
    Fill(w, {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, 0x00E1E1E1);
    const int32_t lw = MeasureGbk(FontRec{}, specs[i].label).width;
    Text(w, specs[i].label, r.left + (r.Width() - lw) / 2, r.top + 5, kTextPixel);
  }
}

int32_t SimDesktop::MessageBox(Hwnd owner, const GbkText& text, const GbkText& title,
                               uint32_t flags) {
  Impl& I = *impl_;
  if (I.ended) return 0;
  Window* ownerW = owner ? I.Find(owner) : nullptr;
  Window* ownerTop = ownerW ? I.TopLevelOf(ownerW) : nullptr;
  const size_t index = I.boxLog.size();
  I.boxLog.push_back({ownerTop ? ownerTop->hwnd : 0, text, title, flags, ElapsedMs(), std::nullopt,
                      false});
  // The box is modal to its owner, or with MB_TASKMODAL and no owner to every top-level
  // window of the program.
  std::vector<Hwnd> disabled;
  if (ownerTop) {
    if (!(ownerTop->style & WS_DISABLED)) {
      EnableWindow(ownerTop->hwnd, false);
      disabled.push_back(ownerTop->hwnd);
    }
  } else if (flags & MB_TASKMODAL) {
    const std::vector<Hwnd> tops = I.topLevel;
    for (Hwnd h : tops)
      if (Window* w = I.Find(h);
          w && w->system == SystemKind::None && !(w->style & WS_DISABLED)) {
        EnableWindow(h, false);
        disabled.push_back(h);
      }
  }
  const Hwnd previousActive = I.active;
  BoxState st;
  st.index = index;
  st.lines = SplitLines(text);
  if (I.boxAutoClose) {
    st.closed = true;
    st.result = *I.boxAutoClose;
  } else if (!I.ended) {
    int32_t textW = 0;
    for (const auto& l : st.lines) textW = std::max(textW, MeasureGbk(FontRec{}, l).width);
    const auto specs = ButtonsFor(flags);
    const int32_t buttonsW = static_cast<int32_t>(specs.size()) * 83 + 16;
    const bool icon = (flags & 0xF0) != 0;
    const int32_t clientW = std::max({textW + (icon ? 76 : 32), buttonsW, 180});
    const int32_t textH = static_cast<int32_t>(st.lines.size()) * (kCellHeight + 2);
    const int32_t clientH = std::max(textH, icon ? 36 : 0) + 40 + 42;
    int32_t bx = clientW - 8;
    for (auto it = specs.rbegin(); it != specs.rend(); ++it) {
      st.buttons.insert(st.buttons.begin(), {it->id, Rect{bx - 75, clientH - 33, bx, clientH - 10}});
      bx -= 83;
    }
    const int32_t outerW = clientW + 6, outerH = clientH + 6 + 23;
    const Rect center = ownerTop ? I.ScreenRect(ownerTop) : I.workArea;
    const int32_t x = std::max(0, center.left + (center.Width() - outerW) / 2);
    const int32_t y = std::max(0, center.top + (center.Height() - outerH) / 2);
    const uint32_t ex = WS_EX_DLGMODALFRAME |
                        ((flags & (MB_SYSTEMMODAL | 0x40000 /* MB_TOPMOST */)) ? WS_EX_TOPMOST : 0);
    I.boxStack.push_back(&st);
    st.window = I.CreateSystemWindow(SystemKind::MessageBox, {x, y, x + outerW, y + outerH}, title,
                                     WS_POPUP | WS_CAPTION | WS_SYSMENU, ex,
                                     ownerTop ? ownerTop->hwnd : 0);
    if (st.window) {
      I.PaintBox(st);
      ShowWindow(st.window, SW_SHOW);
    }
    if (!I.NestedLoop([&] { return st.closed; }) && !st.closed) {
      st.closed = true;
      st.result = DefaultButton(flags);
      I.boxLog[index].closedByGuard = true;
    }
    I.boxStack.pop_back();
  }
  if (I.ended) {
    I.boxLog[index].result = st.result;
    return 0;
  }
  for (Hwnd h : disabled)
    if (I.Find(h)) EnableWindow(h, true);
  if (st.window && I.Find(st.window)) DestroyWindow(st.window);
  if (previousActive && previousActive != I.active) {
    Window* p = I.Find(previousActive);
    if (p && (p->style & WS_VISIBLE) && !(p->style & WS_DISABLED)) I.Activate(previousActive, WA_ACTIVE);
  }
  I.boxLog[index].result = st.result;
  return st.result;
}

bool SimDesktop::MessageBoxOpen() const { return !impl_->boxStack.empty(); }

std::optional<MessageBoxInfo> SimDesktop::OpenMessageBox() const {
  const Impl& I = *impl_;
  if (I.boxStack.empty()) return std::nullopt;
  return I.boxLog[I.boxStack.back()->index];
}

bool SimDesktop::CloseMessageBox(int32_t button) {
  Impl& I = *impl_;
  if (I.boxStack.empty() || I.boxStack.back()->closed) return false;
  I.boxStack.back()->closed = true;
  I.boxStack.back()->result = button;
  return true;
}

const std::vector<MessageBoxInfo>& SimDesktop::MessageBoxes() const { return impl_->boxLog; }
int32_t SimDesktop::MessageBoxCount() const { return static_cast<int32_t>(impl_->boxLog.size()); }
void SimDesktop::SetMessageBoxAutoClose(std::optional<int32_t> button) { impl_->boxAutoClose = button; }

std::intptr_t SimDesktop::Impl::SystemProc(void* context, Hwnd hwnd, uint32_t message,
                                           std::uintptr_t wParam, std::intptr_t lParam) {
  Impl& I = *static_cast<Impl*>(context);
  Window* w = I.Find(hwnd);
  if (!w) return 0;
  BoxState* box = nullptr;
  for (BoxState* b : I.boxStack)
    if (b->window == hwnd) box = b;
  if (box && !box->closed) {
    const uint32_t flags = I.boxLog[box->index].flags;
    switch (message) {
      case WM_KEYDOWN:
      case WM_SYSKEYDOWN:
        if (static_cast<int32_t>(wParam) == VK_RETURN) {
          box->closed = true;
          box->result = DefaultButton(flags);
          return 0;
        }
        if (static_cast<int32_t>(wParam) == VK_ESCAPE && CancelButton(flags) != 0) {
          box->closed = true;
          box->result = CancelButton(flags);
          return 0;
        }
        break;
      case WM_LBUTTONUP: {
        const int32_t x = static_cast<int16_t>(lParam & 0xFFFF);
        const int32_t y = static_cast<int16_t>((lParam >> 16) & 0xFFFF);
        for (const auto& [id, r] : box->buttons)
          if (Contains(r, x, y)) {
            box->closed = true;
            box->result = id;
          }
        return 0;
      }
      case WM_CLOSE:
        if (CancelButton(flags) != 0) {
          box->closed = true;
          box->result = CancelButton(flags);
        }
        return 0;
      default:
        break;
    }
  }
  if (message == WM_CLOSE) return 0;  // the system's own windows close only through their loops
  return I.self.DefWindowProc(hwnd, message, wParam, lParam);
}

// ---------------------------------------------------------------- notification area

bool SimDesktop::ShellNotifyIcon(uint32_t operation, const NotifyIconData& data) {
  Impl& I = *impl_;
  ++I.trayCalls;
  if (I.ended || I.trayFails) return false;
  auto it = std::find_if(I.tray.begin(), I.tray.end(), [&](const TrayIcon& t) {
    return t.hwnd == data.hwnd && t.id == data.id;
  });
  auto apply = [&](TrayIcon& t) {
    t.flags |= data.flags;
    if (data.flags & NIF_MESSAGE) t.callbackMessage = data.callbackMessage;
    if (data.flags & NIF_ICON) {
      t.icon = data.icon;
      auto ic = I.icons.find(data.icon);
      t.picture = ic == I.icons.end() ? std::nullopt : std::optional<PixelBlock>(ic->second);
    }
    if (data.flags & NIF_TIP) {
      size_t n = 0;
      while (n < sizeof(data.tip) - 1 && data.tip[n] != 0) ++n;
      t.tip.assign(data.tip, n);
    }
  };
  switch (operation) {
    case NIM_ADD: {
      if (it != I.tray.end() || !I.Find(data.hwnd)) return false;
      TrayIcon t;
      t.hwnd = data.hwnd;
      t.id = data.id;
      apply(t);
      I.tray.push_back(std::move(t));
      return true;
    }
    case NIM_MODIFY:
      if (it == I.tray.end()) return false;
      apply(*it);
      return true;
    case NIM_DELETE:
      if (it == I.tray.end()) return false;
      I.tray.erase(it);
      return true;
    default:
      return false;
  }
}

std::vector<TrayIconInfo> SimDesktop::TrayIcons() const {
  const Impl& I = *impl_;
  std::vector<TrayIconInfo> r;
  for (size_t i = 0; i < I.tray.size(); ++i) {
    const TrayIcon& t = I.tray[i];
    r.push_back({t.hwnd, t.id, t.flags, t.callbackMessage, t.icon, t.tip, I.TrayIconRect(i),
                 I.Find(t.hwnd) != nullptr});
  }
  return r;
}

std::optional<TrayIconInfo> SimDesktop::FindTrayIcon(Hwnd hwnd, uint32_t id) const {
  for (const auto& t : TrayIcons())
    if (t.hwnd == hwnd && t.id == id) return t;
  return std::nullopt;
}

void SimDesktop::Impl::SendTray(const TrayIcon& icon, uint32_t mouseMessage) {
  if (!(icon.flags & NIF_MESSAGE) || icon.callbackMessage == 0) return;
  const Hwnd h = icon.hwnd;
  const uint32_t cb = icon.callbackMessage, id = icon.id;
  // The shell notifies from its own thread: the message arrives when the program's
  // thread next looks at its queue, before its posted messages.
  sentFromOutside.push_back([this, h, cb, id, mouseMessage] {
    if (Find(h)) Send(h, cb, id, static_cast<std::intptr_t>(mouseMessage));
  });
}

void SimDesktop::Impl::ClickTray(size_t index, Point at, TrayClick click) {
  const TrayIcon icon = tray[index];
  const bool arriving = !(cursor == at);
  cursor = at;
  Activate(0, WA_ACTIVE);  // the taskbar comes to the foreground
  if (arriving) SendTray(icon, WM_MOUSEMOVE);
  switch (click) {
    case TrayClick::Left:
      SendTray(icon, WM_LBUTTONDOWN);
      SendTray(icon, WM_LBUTTONUP);
      break;
    case TrayClick::Right:
      SendTray(icon, WM_RBUTTONDOWN);
      SendTray(icon, WM_RBUTTONUP);
      break;
    case TrayClick::Middle:
      SendTray(icon, WM_MBUTTONDOWN);
      SendTray(icon, WM_MBUTTONUP);
      break;
    case TrayClick::Double:
      SendTray(icon, WM_LBUTTONDOWN);
      SendTray(icon, WM_LBUTTONUP);
      SendTray(icon, WM_LBUTTONDBLCLK);
      SendTray(icon, WM_LBUTTONUP);
      break;
  }
}

bool SimDesktop::ClickTrayIcon(Hwnd hwnd, uint32_t id, TrayClick click) {
  Impl& I = *impl_;
  if (I.ended || !I.trackStack.empty()) return false;
  auto it = std::find_if(I.tray.begin(), I.tray.end(),
                         [&](const TrayIcon& t) { return t.hwnd == hwnd && t.id == id; });
  if (it == I.tray.end()) return false;
  const size_t index = static_cast<size_t>(it - I.tray.begin());
  const Rect r = I.TrayIconRect(index);
  I.ClickTray(index, {(r.left + r.right) / 2, (r.top + r.bottom) / 2}, click);
  return true;
}

bool SimDesktop::ClickTrayIcon(TrayClick click) {
  if (impl_->tray.empty()) return false;
  return ClickTrayIcon(impl_->tray.front().hwnd, impl_->tray.front().id, click);
}

void SimDesktop::RestartShell() {
  Impl& I = *impl_;
  I.tray.clear();
  if (I.ended) return;
  const uint32_t msg = RegisterWindowMessage("TaskbarCreated");
  for (Hwnd h : I.topLevel)
    if (Window* w = I.Find(h); w && w->system == SystemKind::None) PostMessage(h, msg, 0, 0);
}

void SimDesktop::SetShellNotifyIconFails(bool fail) { impl_->trayFails = fail; }
int32_t SimDesktop::ShellNotifyIconCalls() const { return impl_->trayCalls; }

// ---------------------------------------------------------------- sounds

void SimDesktop::PlaySoundFromMemory(std::span<const uint8_t> bytes) {
  impl_->sounds.emplace_back(bytes.begin(), bytes.end());
}
const std::vector<std::vector<uint8_t>>& SimDesktop::PlayedSounds() const { return impl_->sounds; }

// ---------------------------------------------------------------- external routines

std::uintptr_t SimDesktop::ResolveExternalRoutine(std::string_view name) {
  const auto& r = impl_->routines;
  for (size_t i = 0; i < r.size(); ++i)
    if (r[i].name == name) return i + 1;
  return 0;
}

ExternalCallResult SimDesktop::CallExternalRoutine(std::uintptr_t routine,
                                                   std::span<const std::intptr_t> args) {
  Impl& I = *impl_;
  if (routine == 0 || routine > I.routines.size()) return {};
  const ExternalRoutine& r = I.routines[routine - 1];
  std::vector<std::intptr_t> slots(args.begin(), args.end());
  if (slots.size() < static_cast<size_t>(std::max(0, r.consumed)))
    slots.resize(static_cast<size_t>(r.consumed), 0);
  I.externalCalls.emplace_back(r.name, std::vector<std::intptr_t>(args.begin(), args.end()));
  const std::intptr_t result = r.fn ? r.fn(slots) : 0;
  return {static_cast<std::intptr_t>(static_cast<int32_t>(result)), r.consumed};
}

void SimDesktop::FreeExternalLibraries() { ++impl_->freeLibraryCalls; }

void SimDesktop::AddExternalRoutine(std::string name, int32_t consumed, ExternalRoutineFn fn) {
  auto& r = impl_->routines;
  for (auto& e : r)
    if (e.name == name) {
      e.consumed = consumed;
      e.fn = std::move(fn);
      return;
    }
  r.push_back({std::move(name), consumed, std::move(fn)});
}

int32_t SimDesktop::FreeExternalLibrariesCalls() const { return impl_->freeLibraryCalls; }

const std::vector<std::pair<std::string, std::vector<std::intptr_t>>>& SimDesktop::ExternalCalls()
    const {
  return impl_->externalCalls;
}

}  // namespace wintrel::sim
