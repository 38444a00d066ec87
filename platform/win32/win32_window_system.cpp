// Windows, messages, timers, painting, menus, the notification area, sounds, external
// routines and the process. Pictures, surfaces and text are in win32_graphics.cpp.
#include "platform/win32/win32_internal.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/win32/byte_formats.h"

namespace wintrel::win32 {
namespace {

HWND H(ws::Hwnd hwnd) { return reinterpret_cast<HWND>(hwnd); }
ws::Hwnd WsHwnd(HWND hwnd) { return reinterpret_cast<ws::Hwnd>(hwnd); }
HMENU M(ws::Hmenu menu) { return reinterpret_cast<HMENU>(menu); }
ws::Rect FromRect(const RECT& r) { return ws::Rect{r.left, r.top, r.right, r.bottom}; }
RECT ToRect(const ws::Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// The route of the window being created on this thread, until its WM_NCCREATE takes it.
thread_local WindowRoute* t_creating = nullptr;

// Every window class registered through the interface uses this procedure. It passes
// each message to the window's portable procedure with its context, and to the default
// procedure while the window has none (the messages before WM_NCCREATE).
LRESULT CALLBACK Trampoline(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowRoute* route = nullptr;
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    auto* offered = create ? static_cast<WindowRoute*>(create->lpCreateParams) : nullptr;
    if (offered != nullptr && offered == t_creating) {
      t_creating = nullptr;
      route = offered;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(route));
    }
  } else {
    route = reinterpret_cast<WindowRoute*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  LRESULT result = 0;
  if (route != nullptr && route->proc != nullptr) {
    // The procedure may destroy the window; the route record outlives it (it is
    // released by the window system once marked gone).
    result = route->proc(route->context, WsHwnd(hwnd), message, wParam, lParam);
  } else {
    result = DefWindowProcW(hwnd, message, wParam, lParam);
  }
  if (message == WM_NCDESTROY && route != nullptr) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    route->gone = true;
  }
  return result;
}

ws::Message FromMsg(const MSG& m) {
  return ws::Message{WsHwnd(m.hwnd), m.message, m.wParam, m.lParam, static_cast<uint32_t>(m.time)};
}

// Calls `address` with exactly args.size() pointer-sized arguments: the function type
// carries the count, so the routine is given what its declaration passes.
template <std::size_t... I>
std::intptr_t CallWith(FARPROC address, const std::intptr_t* args, std::index_sequence<I...>) {
  using Fn = std::intptr_t(WINAPI*)(decltype((void)I, std::intptr_t{})...);
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(address))(args[I]...);
}

template <std::size_t... N>
bool CallByCount(FARPROC address, std::span<const std::intptr_t> args, std::intptr_t& result,
                 std::index_sequence<N...>) {
  return ((args.size() == N
               ? (result = CallWith(address, args.data(), std::make_index_sequence<N>{}), true)
               : false) ||
          ...);
}

// The system's own libraries in which undeclared-library routines are looked up.
constexpr std::array<const char*, 4> kSystemLibraries = {"user32.dll", "kernel32.dll",
                                                         "gdi32.dll", "shell32.dll"};

}  // namespace

std::wstring WideFromGbk(std::string_view gbk) {
  if (gbk.empty()) return {};
  const int inLength = static_cast<int>(std::min<std::size_t>(gbk.size(), 0x7FFFFFFF));
  for (UINT codePage : {936u, static_cast<UINT>(CP_ACP)}) {
    const int n = MultiByteToWideChar(codePage, 0, gbk.data(), inLength, nullptr, 0);
    if (n <= 0) continue;
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    if (MultiByteToWideChar(codePage, 0, gbk.data(), inLength, out.data(), n) == n) return out;
  }
  return {};
}

std::wstring Win32WindowSystem::WideText(std::string_view gbk) { return WideFromGbk(gbk); }

Win32WindowSystem::Win32WindowSystem() : state_(std::make_unique<State>()) {
  // The picture loader decodes some formats through COM objects.
  state_->comInitialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

Win32WindowSystem::~Win32WindowSystem() {
  if (!state_->sound.empty()) PlaySoundW(nullptr, nullptr, 0);
  for (auto& [id, surface] : state_->surfaces) {
    SelectObject(surface.dc, surface.previous);
    DeleteObject(surface.bitmap);
    DeleteDC(surface.dc);
  }
  if (state_->textDc != nullptr) DeleteDC(state_->textDc);
  FreeExternalLibraries();
  if (state_->comInitialised) CoUninitialize();
}

// --- time

uint32_t Win32WindowSystem::TickCount() { return GetTickCount(); }

// --- classes and windows

bool Win32WindowSystem::RegisterClass(const ws::ClassDesc& desc) {
  if (desc.name.empty()) return false;
  const std::wstring name = WideFromGbk(desc.name);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = desc.style;
  wc.lpfnWndProc = Trampoline;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = desc.nullBrush ? static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))
                                    : reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name.c_str();
  if (RegisterClassExW(&wc) != 0) return true;
  return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

ws::Hwnd Win32WindowSystem::CreateWindow(const ws::CreateDesc& desc) {
  auto& routes = state_->routes;
  routes.erase(std::remove_if(routes.begin(), routes.end(), [](const auto& r) { return r->gone; }),
               routes.end());
  auto route = std::make_unique<WindowRoute>();
  route->proc = desc.proc;
  route->context = desc.context;

  const std::wstring className = WideFromGbk(desc.className);
  const std::wstring title = WideFromGbk(desc.title);
  WindowRoute* const previous = t_creating;  // creation may nest (a window made in WM_CREATE)
  t_creating = route.get();
  HWND hwnd = CreateWindowExW(desc.exStyle, className.c_str(), title.c_str(), desc.style, desc.x,
                              desc.y, desc.width, desc.height, H(desc.parentOrOwner),
                              reinterpret_cast<HMENU>(desc.menuOrId), GetModuleHandleW(nullptr),
                              route.get());
  const bool taken = t_creating != route.get();
  t_creating = previous;
  // The window holds the route from WM_NCCREATE on; a creation that failed before it
  // leaves the route unused, one that failed after it has marked it gone.
  if (taken) routes.push_back(std::move(route));
  return WsHwnd(hwnd);
}

bool Win32WindowSystem::DestroyWindow(ws::Hwnd hwnd) { return ::DestroyWindow(H(hwnd)) != 0; }
bool Win32WindowSystem::IsWindow(ws::Hwnd hwnd) { return hwnd != 0 && ::IsWindow(H(hwnd)) != 0; }

std::intptr_t Win32WindowSystem::DefWindowProc(ws::Hwnd hwnd, uint32_t message,
                                               std::uintptr_t wParam, std::intptr_t lParam) {
  return DefWindowProcW(H(hwnd), message, wParam, lParam);
}

int32_t Win32WindowSystem::GetWindowLong(ws::Hwnd hwnd, int32_t index) {
  return GetWindowLongA(H(hwnd), index);
}
int32_t Win32WindowSystem::SetWindowLong(ws::Hwnd hwnd, int32_t index, int32_t value) {
  return SetWindowLongA(H(hwnd), index, value);
}

bool Win32WindowSystem::SetWindowPos(ws::Hwnd hwnd, std::intptr_t insertAfter, int32_t x,
                                     int32_t y, int32_t cx, int32_t cy, uint32_t flags) {
  return ::SetWindowPos(H(hwnd), reinterpret_cast<HWND>(insertAfter), x, y, cx, cy, flags) != 0;
}

bool Win32WindowSystem::ShowWindow(ws::Hwnd hwnd, int32_t command) {
  return ::ShowWindow(H(hwnd), command) != 0;
}

bool Win32WindowSystem::MoveWindow(ws::Hwnd hwnd, int32_t x, int32_t y, int32_t width,
                                   int32_t height, bool repaint) {
  return ::MoveWindow(H(hwnd), x, y, width, height, repaint ? TRUE : FALSE) != 0;
}

ws::Rect Win32WindowSystem::GetWindowRect(ws::Hwnd hwnd) {
  RECT r{};
  if (!::GetWindowRect(H(hwnd), &r)) return {};
  return FromRect(r);
}

ws::Rect Win32WindowSystem::GetWindowRectInParent(ws::Hwnd hwnd) {
  RECT r{};
  if (!::GetWindowRect(H(hwnd), &r)) return {};
  // Only a child is placed in a parent's client area; GetParent would give a top-level
  // window's owner.
  if ((GetWindowLongW(H(hwnd), GWL_STYLE) & WS_CHILD) != 0) {
    if (HWND parent = GetAncestor(H(hwnd), GA_PARENT)) {
      MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    }
  }
  return FromRect(r);
}

ws::Rect Win32WindowSystem::GetClientRect(ws::Hwnd hwnd) {
  RECT r{};
  if (!::GetClientRect(H(hwnd), &r)) return {};
  return FromRect(r);
}

ws::Hwnd Win32WindowSystem::SetParent(ws::Hwnd child, ws::Hwnd parent) {
  return WsHwnd(::SetParent(H(child), H(parent)));
}
ws::Hwnd Win32WindowSystem::GetParent(ws::Hwnd hwnd) { return WsHwnd(::GetParent(H(hwnd))); }
bool Win32WindowSystem::IsWindowVisible(ws::Hwnd hwnd) { return ::IsWindowVisible(H(hwnd)) != 0; }
bool Win32WindowSystem::IsIconic(ws::Hwnd hwnd) { return ::IsIconic(H(hwnd)) != 0; }
bool Win32WindowSystem::IsZoomed(ws::Hwnd hwnd) { return ::IsZoomed(H(hwnd)) != 0; }
bool Win32WindowSystem::EnableWindow(ws::Hwnd hwnd, bool enable) {
  return ::EnableWindow(H(hwnd), enable ? TRUE : FALSE) != 0;
}
bool Win32WindowSystem::IsWindowEnabled(ws::Hwnd hwnd) { return ::IsWindowEnabled(H(hwnd)) != 0; }
ws::Hwnd Win32WindowSystem::SetFocus(ws::Hwnd hwnd) { return WsHwnd(::SetFocus(H(hwnd))); }
ws::Hwnd Win32WindowSystem::GetFocus() { return WsHwnd(::GetFocus()); }
ws::Hwnd Win32WindowSystem::GetActiveWindow() { return WsHwnd(::GetActiveWindow()); }
bool Win32WindowSystem::SetForegroundWindow(ws::Hwnd hwnd) {
  return ::SetForegroundWindow(H(hwnd)) != 0;
}

void Win32WindowSystem::SetDefaultGuiFont(ws::Hwnd hwnd) {
  SendMessageW(H(hwnd), WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
}

bool Win32WindowSystem::SetLayeredWindowAttributes(ws::Hwnd hwnd, uint32_t colorKey,
                                                   uint8_t alpha, uint32_t flags) {
  return ::SetLayeredWindowAttributes(H(hwnd), colorKey, alpha, flags) != 0;
}

bool Win32WindowSystem::SetMenu(ws::Hwnd hwnd, ws::Hmenu menu) {
  return ::SetMenu(H(hwnd), M(menu)) != 0;
}
ws::Hmenu Win32WindowSystem::GetMenu(ws::Hwnd hwnd) {
  return reinterpret_cast<ws::Hmenu>(::GetMenu(H(hwnd)));
}

// --- messages and the loop

std::intptr_t Win32WindowSystem::SendMessage(ws::Hwnd hwnd, uint32_t message,
                                             std::uintptr_t wParam, std::intptr_t lParam) {
  return SendMessageW(H(hwnd), message, wParam, lParam);
}

bool Win32WindowSystem::PostMessage(ws::Hwnd hwnd, uint32_t message, std::uintptr_t wParam,
                                    std::intptr_t lParam) {
  return PostMessageW(H(hwnd), message, wParam, lParam) != 0;
}

void Win32WindowSystem::PostQuitMessage(int32_t exitCode) { ::PostQuitMessage(exitCode); }

bool Win32WindowSystem::GetMessage(ws::Message& msg) {
  MSG m{};
  const BOOL got = GetMessageW(&m, nullptr, 0, 0);
  if (got == -1) {  // an invalid call, not a message: end the loop rather than spin
    msg = ws::Message{0, WM_QUIT, 0, 0, GetTickCount()};
    return false;
  }
  state_->lastMessage = m;
  msg = FromMsg(m);
  return got != 0;
}

bool Win32WindowSystem::PeekMessage(ws::Message& msg, bool remove) {
  MSG m{};
  if (!PeekMessageW(&m, nullptr, 0, 0, remove ? PM_REMOVE : PM_NOREMOVE)) return false;
  state_->lastMessage = m;
  msg = FromMsg(m);
  return true;
}

namespace {
// The system's form of a message: the one last fetched when it is that message (so its
// point is kept), otherwise built from the fields with the current message position.
bool SameMessage(const ws::Message& msg, const MSG& last) {
  return WsHwnd(last.hwnd) == msg.hwnd && last.message == msg.message &&
         last.wParam == msg.wParam && last.lParam == msg.lParam;
}

MSG ToMsg(const ws::Message& msg, const MSG& last) {
  if (SameMessage(msg, last)) return last;
  MSG m{};
  m.hwnd = H(msg.hwnd);
  m.message = msg.message;
  m.wParam = msg.wParam;
  m.lParam = msg.lParam;
  m.time = msg.time;
  const DWORD pos = GetMessagePos();
  m.pt = POINT{static_cast<SHORT>(LOWORD(pos)), static_cast<SHORT>(HIWORD(pos))};
  return m;
}
}  // namespace

void Win32WindowSystem::TranslateMessage(const ws::Message& msg) {
  const MSG m = ToMsg(msg, state_->lastMessage);
  ::TranslateMessage(&m);
}

std::intptr_t Win32WindowSystem::DispatchMessage(const ws::Message& msg) {
  MSG m = ToMsg(msg, state_->lastMessage);
  // The system calls a timer message's lParam as a timer routine. Timers set through
  // the interface have none, so a timer message that did not come from the queue is
  // dispatched without one.
  if (m.message == WM_TIMER && !SameMessage(msg, state_->lastMessage)) {
    m.lParam = 0;
  }
  return DispatchMessageW(&m);
}

int16_t Win32WindowSystem::GetKeyState(int32_t virtualKey) { return ::GetKeyState(virtualKey); }

uint32_t Win32WindowSystem::RegisterWindowMessage(std::string_view name) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return 0;
  return RegisterWindowMessageA(std::string(name).c_str());
}

// --- timers

bool Win32WindowSystem::SetTimer(ws::Hwnd hwnd, std::uintptr_t id, uint32_t milliseconds) {
  return ::SetTimer(H(hwnd), id, milliseconds, nullptr) != 0;
}
bool Win32WindowSystem::KillTimer(ws::Hwnd hwnd, std::uintptr_t id) {
  return ::KillTimer(H(hwnd), id) != 0;
}

// --- painting

bool Win32WindowSystem::InvalidateRect(ws::Hwnd hwnd, const ws::Rect* rect, bool erase) {
  if (rect == nullptr) return ::InvalidateRect(H(hwnd), nullptr, erase ? TRUE : FALSE) != 0;
  const RECT r = ToRect(*rect);
  return ::InvalidateRect(H(hwnd), &r, erase ? TRUE : FALSE) != 0;
}

bool Win32WindowSystem::UpdateWindow(ws::Hwnd hwnd) { return ::UpdateWindow(H(hwnd)) != 0; }

ws::PaintContext Win32WindowSystem::BeginPaint(ws::Hwnd hwnd) {
  ws::PaintContext paint;
  paint.hwnd = hwnd;
  // The region's own rectangles must be read before BeginPaint validates it.
  std::optional<std::vector<ws::Rect>> regionRects;
  if (HRGN region = CreateRectRgn(0, 0, 0, 0)) {
    const int kind = GetUpdateRgn(H(hwnd), region, FALSE);
    if (kind == SIMPLEREGION || kind == COMPLEXREGION) {
      const DWORD size = GetRegionData(region, 0, nullptr);
      if (size > 0) {
        std::vector<uint8_t> data(size);
        if (GetRegionData(region, size, reinterpret_cast<RGNDATA*>(data.data())) != 0) {
          regionRects = RegionRects(data);
        }
      }
    } else if (kind == NULLREGION) {
      regionRects.emplace();
    }
    DeleteObject(region);
  }

  OpenPaint open;
  open.hwnd = H(hwnd);
  HDC dc = ::BeginPaint(H(hwnd), &open.ps);
  paint.dc = reinterpret_cast<std::uintptr_t>(dc);
  state_->paints.push_back(open);
  if (dc == nullptr) return paint;

  RECT clip{};
  if (GetClipBox(dc, &clip) != NULLREGION && clip.right > clip.left && clip.bottom > clip.top) {
    paint.clip = FromRect(clip);
    paint.rects = regionRects ? ClipRects(*regionRects, paint.clip) : std::vector{paint.clip};
  }
  return paint;
}

void Win32WindowSystem::EndPaint(const ws::PaintContext& paint) {
  auto& paints = state_->paints;
  for (auto it = paints.rbegin(); it != paints.rend(); ++it) {
    if (WsHwnd(it->hwnd) == paint.hwnd && reinterpret_cast<std::uintptr_t>(it->ps.hdc) == paint.dc) {
      ::EndPaint(it->hwnd, &it->ps);
      paints.erase(std::next(it).base());
      return;
    }
  }
}

void Win32WindowSystem::SetDIBitsToDevice(const ws::PaintContext& paint, int32_t x, int32_t y,
                                          int32_t width, int32_t height, const uint32_t* pixels,
                                          int32_t stride) {
  if (paint.dc == 0 || pixels == nullptr || width <= 0 || height <= 0 || stride < width) return;
  // A bitmap as wide as the rows are apart, of which the first `width` columns are sent.
  const BITMAPINFO info = TopDownHeader(stride, height);
  ::SetDIBitsToDevice(reinterpret_cast<HDC>(paint.dc), x, y, static_cast<DWORD>(width),
                      static_cast<DWORD>(height), 0, 0, 0, static_cast<UINT>(height), pixels,
                      &info, DIB_RGB_COLORS);
}

void Win32WindowSystem::FillRect(const ws::PaintContext& paint, const ws::Rect& rect,
                                 uint32_t color) {
  if (paint.dc == 0 || rect.Empty()) return;
  HBRUSH brush = CreateSolidBrush(color & 0x00FFFFFF);
  if (brush == nullptr) return;
  const RECT r = ToRect(rect);
  ::FillRect(reinterpret_cast<HDC>(paint.dc), &r, brush);
  DeleteObject(brush);
}

// --- system information

int32_t Win32WindowSystem::GetSystemMetrics(int32_t index) { return ::GetSystemMetrics(index); }
uint32_t Win32WindowSystem::GetSysColor(int32_t index) { return ::GetSysColor(index); }

ws::Rect Win32WindowSystem::WorkAreaNearest(ws::Hwnd hwnd) {
  if (HMONITOR monitor = MonitorFromWindow(H(hwnd), MONITOR_DEFAULTTONEAREST)) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(monitor, &info)) return FromRect(info.rcWork);
  }
  RECT work{};
  if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) return FromRect(work);
  return ws::Rect{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

ws::Point Win32WindowSystem::GetCursorPos() {
  POINT p{};
  if (!::GetCursorPos(&p)) return {};
  return ws::Point{p.x, p.y};
}

// --- menus and message boxes

ws::Hmenu Win32WindowSystem::CreateMenu() { return reinterpret_cast<ws::Hmenu>(::CreateMenu()); }
ws::Hmenu Win32WindowSystem::CreatePopupMenu() {
  return reinterpret_cast<ws::Hmenu>(::CreatePopupMenu());
}

bool Win32WindowSystem::AppendMenu(ws::Hmenu menu, const ws::MenuItem& item) {
  if ((item.flags & MF_SEPARATOR) != 0) {
    return AppendMenuW(M(menu), item.flags, item.id, nullptr) != 0;
  }
  const std::wstring text = WideFromGbk(item.text);
  const UINT_PTR idOrSubmenu = (item.flags & MF_POPUP) != 0 ? item.submenu : item.id;
  return AppendMenuW(M(menu), item.flags, idOrSubmenu, text.c_str()) != 0;
}

bool Win32WindowSystem::DestroyMenu(ws::Hmenu menu) { return ::DestroyMenu(M(menu)) != 0; }

bool Win32WindowSystem::TrackPopupMenu(ws::Hmenu menu, uint32_t flags, int32_t x, int32_t y,
                                       ws::Hwnd owner) {
  return ::TrackPopupMenu(M(menu), flags, x, y, 0, H(owner), nullptr) != 0;
}

int32_t Win32WindowSystem::MessageBox(ws::Hwnd owner, const ws::GbkText& text,
                                      const ws::GbkText& title, uint32_t flags) {
  const std::wstring wideText = WideFromGbk(text);
  const std::wstring wideTitle = WideFromGbk(title);
  return MessageBoxW(H(owner), wideText.c_str(), wideTitle.c_str(), flags);
}

// --- notification area

ws::Hicon Win32WindowSystem::CreateIconFromResourceEx(std::span<const uint8_t> imageBytes,
                                                      int32_t width, int32_t height) {
  if (!IconImageSize(imageBytes)) return 0;
  // The call takes a writable pointer; it gets its own copy.
  std::vector<BYTE> copy(imageBytes.begin(), imageBytes.end());
  HICON icon = ::CreateIconFromResourceEx(copy.data(), static_cast<DWORD>(copy.size()), TRUE,
                                          0x00030000, width, height, LR_DEFAULTCOLOR);
  return reinterpret_cast<ws::Hicon>(icon);
}

bool Win32WindowSystem::DestroyIcon(ws::Hicon icon) {
  return ::DestroyIcon(reinterpret_cast<HICON>(icon)) != 0;
}

// The structure goes out in its first, shortest form (the fields below and a tip of 64
// characters); the wide form carries the GBK tip correctly under any locale. Its size is
// 168 bytes here (152 in a 32-bit build; the ANSI form is 104 and 88).
static_assert(NOTIFYICONDATAW_V1_SIZE == (sizeof(void*) == 8 ? 168 : 152));

bool Win32WindowSystem::ShellNotifyIcon(uint32_t operation, const ws::NotifyIconData& data) {
  NOTIFYICONDATAW nid;
  ZeroMemory(&nid, sizeof nid);
  nid.cbSize = NOTIFYICONDATAW_V1_SIZE;
  nid.hWnd = H(data.hwnd);
  nid.uID = data.id;
  nid.uFlags = data.flags;
  nid.uCallbackMessage = data.callbackMessage;
  nid.hIcon = reinterpret_cast<HICON>(data.icon);
  const std::wstring tip = WideFromGbk(BoundedCString(data.tip));
  const std::size_t tipChars = std::min<std::size_t>(tip.size(), 63);  // room for the zero
  std::copy_n(tip.begin(), tipChars, nid.szTip);
  nid.szTip[tipChars] = L'\0';
  return Shell_NotifyIconW(operation, &nid) != 0;
}

// --- sounds

void Win32WindowSystem::PlaySoundFromMemory(std::span<const uint8_t> bytes) {
  // A memory sound is given to the system without its length: only a block whose RIFF
  // layout fits within its bytes is played.
  if (bytes.empty() || !WaveBlockFits(bytes)) return;
  if (!state_->sound.empty()) PlaySoundW(nullptr, nullptr, 0);  // stop before replacing it
  state_->sound.assign(bytes.begin(), bytes.end());
  PlaySoundW(reinterpret_cast<LPCWSTR>(state_->sound.data()), nullptr,
             SND_MEMORY | SND_ASYNC | SND_NODEFAULT);
}

// --- external routines

std::uintptr_t Win32WindowSystem::ResolveExternalRoutine(std::string_view name) {
  const auto parsed = ParseRoutineName(name);
  if (!parsed) return 0;
  auto& routines = state_->routines;
  for (std::size_t i = 0; i < routines.size(); ++i) {
    if (routines[i].name == name) return i + 1;
  }
  for (const char* library : kSystemLibraries) {
    HMODULE module = LoadLibraryA(library);
    if (module == nullptr) continue;
    const FARPROC address =
        parsed->ordinal != 0
            ? GetProcAddress(module, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(parsed->ordinal)))
            : GetProcAddress(module, parsed->name.c_str());
    if (address == nullptr) {
      FreeLibrary(module);
      continue;
    }
    state_->libraries.push_back(module);  // stays loaded until FreeExternalLibraries
    routines.push_back(ResolvedRoutine{std::string(name), address});
    return routines.size();
  }
  return 0;
}

ws::ExternalCallResult Win32WindowSystem::CallExternalRoutine(std::uintptr_t routine,
                                                              std::span<const std::intptr_t> args) {
  const auto& routines = state_->routines;
  if (routine == 0 || routine > routines.size()) return {};
  std::intptr_t raw = 0;
  if (!CallByCount(routines[routine - 1].address, args, raw,
                   std::make_index_sequence<kMaxExternalArguments + 1>{})) {
    return {};  // more arguments than any routine is called with: not called
  }
  // The routines return 32-bit values; the upper half of the register is not theirs.
  return ws::ExternalCallResult{static_cast<std::intptr_t>(static_cast<int32_t>(raw)),
                                static_cast<int32_t>(args.size())};
}

void Win32WindowSystem::FreeExternalLibraries() {
  state_->routines.clear();
  for (HMODULE module : state_->libraries) FreeLibrary(module);
  state_->libraries.clear();
}

// --- the process

void Win32WindowSystem::ExitProcess(uint32_t code) { ::ExitProcess(code); }

}  // namespace wintrel::win32
