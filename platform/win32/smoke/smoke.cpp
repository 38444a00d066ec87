// A small program on the window-system interface alone, to see the Win32 back end work
// before the runtime and the program sit on it: the same kind of window the program
// makes (frameless, topmost, no taskbar button, colour-keyed 0xF0F0F0 over the work
// area), a few coloured squares, one of them moving, a line of Chinese text, a tray icon
// whose right-click menu offers "关于" (a message box) and "退出", and Esc to quit.
// Exit code 0 after a normal end; 3 when the external routines cannot be used.
#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/seam/window_system.h"
#include "platform/win32/byte_formats.h"
#include "platform/win32/win32_window_system.h"

// The program's icon file, or no bytes when there is none yet (generated at build time).
extern const std::span<const uint8_t> kSmokeIconFile;

namespace {

using namespace wintrel::ws;

constexpr uint32_t kColorKey = 0xF0F0F0;
constexpr uint32_t kMenuAbout = 1;
constexpr uint32_t kMenuExit = 2;
constexpr uintptr_t kMoveTimer = 1;
constexpr uint32_t kTrayId = 100;

// GBK texts: "关于", "退出", "关于作者", "窗口系统自检" CR LF "雪花之下是桌面".
const GbkText kAbout = "\xB9\xD8\xD3\xDA";
const GbkText kExit = "\xCD\xCB\xB3\xF6";
const GbkText kAboutTitle = "\xB9\xD8\xD3\xDA\xD7\xF7\xD5\xDF";
const GbkText kAboutText =
    "\xB4\xB0\xBF\xDA\xCF\xB5\xCD\xB3\xD7\xD4\xBC\xEC\r\n"
    "\xD1\xA9\xBB\xA8\xD6\xAE\xCF\xC2\xCA\xC7\xD7\xC0\xC3\xE6";

struct Square {
  int32_t x, y, size;
  uint32_t color;  // 0x00BBGGRR
};
// Placed from the work area's top-left corner.
constexpr std::array<Square, 3> kSquares = {{
    {100, 100, 64, 0x0000C0},  // red
    {200, 100, 64, 0x00A000},  // green
    {300, 100, 64, 0xC00000},  // blue
}};
constexpr int32_t kMoverY = 220, kMoverSize = 32, kMoverStep = 8;
constexpr uint32_t kMoverColor = 0xFFC080;  // light blue
constexpr int32_t kTextX = 100, kTextY = 300;

class Smoke {
 public:
  explicit Smoke(WindowSystem& ws) : ws_(ws) {}

  int Run() {
    if (!ws_.RegisterClass(ClassDesc{"WintrelSmoke", CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, true})) {
      return 2;
    }
    CreateDesc desc;
    desc.exStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
    desc.className = "WintrelSmoke";
    desc.style = WS_POPUP | WS_CLIPCHILDREN;
    desc.x = 50;
    desc.y = 50;
    desc.width = 279;
    desc.height = 217;
    desc.proc = &Smoke::Proc;
    desc.context = this;
    hwnd_ = ws_.CreateWindow(desc);
    if (hwnd_ == 0) return 2;
    if (!MakeColorKeyed()) {
      ws_.DestroyWindow(hwnd_);
      return 3;
    }
    AddTrayIcon();
    const Rect work = ws_.WorkAreaNearest(hwnd_);
    ws_.SetWindowPos(hwnd_, HWND_TOPMOST, work.left, work.top, work.Width(), work.Height(),
                     SWP_NOACTIVATE);
    ws_.ShowWindow(hwnd_, SW_SHOW);
    ws_.SetForegroundWindow(hwnd_);
    ws_.SetFocus(hwnd_);
    ws_.SetTimer(hwnd_, kMoveTimer, 50);

    Message msg;
    while (ws_.GetMessage(msg)) {
      ws_.TranslateMessage(msg);
      ws_.DispatchMessage(msg);
    }
    if (surface_ != 0) ws_.DestroySurface(surface_);
    ws_.FreeExternalLibraries();
    return static_cast<int>(msg.wParam);
  }

 private:
  static intptr_t Proc(void* context, Hwnd hwnd, uint32_t message, uintptr_t wParam,
                       intptr_t lParam) {
    return static_cast<Smoke*>(context)->Handle(hwnd, message, wParam, lParam);
  }

  // The colour key goes on through external routines looked up by name, as the
  // program itself does it.
  bool MakeColorKeyed() {
    const uintptr_t getLong = ws_.ResolveExternalRoutine("GetWindowLongA");
    const uintptr_t setLong = ws_.ResolveExternalRoutine("SetWindowLongA");
    const uintptr_t setLayered = ws_.ResolveExternalRoutine("SetLayeredWindowAttributes");
    if (getLong == 0 || setLong == 0 || setLayered == 0) return false;
    const auto h = static_cast<intptr_t>(hwnd_);
    const std::array<intptr_t, 2> getArgs = {h, GWL_EXSTYLE};
    const ExternalCallResult style = ws_.CallExternalRoutine(getLong, getArgs);
    const std::array<intptr_t, 3> setArgs = {h, GWL_EXSTYLE,
                                             static_cast<intptr_t>(style.result | WS_EX_LAYERED)};
    const ExternalCallResult set = ws_.CallExternalRoutine(setLong, setArgs);
    const std::array<intptr_t, 4> keyArgs = {h, kColorKey, 255, LWA_COLORKEY};
    const ExternalCallResult keyed = ws_.CallExternalRoutine(setLayered, keyArgs);
    return style.consumed == 2 && set.consumed == 3 && keyed.consumed == 4 &&
           (ws_.GetWindowLong(hwnd_, GWL_EXSTYLE) & WS_EX_LAYERED) != 0;
  }

  // A 32 x 32 icon image: the first image of the program's icon file, or a light-blue
  // disc made here while there is no file.
  std::vector<uint8_t> IconImage() const {
    if (const auto dir = wintrel::win32::ParseIconDirectory(kSmokeIconFile)) {
      const auto& image = dir->entries.front().image;
      return std::vector<uint8_t>(image.begin(), image.end());
    }
    constexpr int32_t n = 32;
    std::vector<uint8_t> image(40 + n * n * 4 + n * 4, 0);
    auto put32 = [&](std::size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) image[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, n);
    put32(8, 2 * n);
    image[12] = 1;
    image[14] = 32;
    put32(20, n * n * 4);
    for (int32_t y = 0; y < n; ++y) {
      for (int32_t x = 0; x < n; ++x) {
        const int32_t dx = 2 * x - (n - 1), dy = 2 * y - (n - 1);
        const bool inside = dx * dx + dy * dy <= (n - 2) * (n - 2);
        put32(40 + static_cast<std::size_t>(y * n + x) * 4, inside ? 0xFF80C0FFu : 0u);
      }
    }
    return image;
  }

  void AddTrayIcon() {
    const std::vector<uint8_t> image = IconImage();
    const auto size = wintrel::win32::IconImageSize(image);
    if (!size) return;
    icon_ = ws_.CreateIconFromResourceEx(image, size->width, size->height);
    if (icon_ == 0) return;
    NotifyIconData data;
    data.hwnd = hwnd_;
    data.id = kTrayId;
    data.flags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.callbackMessage = WM_TRAYNOTIFY;
    data.icon = icon_;
    std::copy_n("Wintrel", 8, data.tip);
    ws_.ShellNotifyIcon(NIM_ADD, data);
  }

  void RemoveTrayIcon() {
    if (icon_ == 0) return;
    NotifyIconData data;
    data.hwnd = hwnd_;
    data.id = kTrayId;
    ws_.ShellNotifyIcon(NIM_DELETE, data);
    ws_.DestroyIcon(icon_);
    icon_ = 0;
  }

  void ShowTrayMenu() {
    const Hmenu menu = ws_.CreatePopupMenu();
    ws_.AppendMenu(menu, MenuItem{MF_STRING, kMenuAbout, 0, kAbout});
    ws_.AppendMenu(menu, MenuItem{MF_STRING, kMenuExit, 0, kExit});
    const Point cursor = ws_.GetCursorPos();
    ws_.SetForegroundWindow(hwnd_);
    ws_.TrackPopupMenu(menu, TPM_RIGHTALIGN, cursor.x - 5, cursor.y - 5, hwnd_);
    ws_.PostMessage(hwnd_, WM_NULL, 0, 0);
    ws_.DestroyMenu(menu);
  }

  // The background: the key colour, the squares and the text, in an off-screen surface.
  void RebuildSurface() {
    const Rect client = ws_.GetClientRect(hwnd_);
    if (surface_ != 0 && client.Width() == width_ && client.Height() == height_) return;
    if (surface_ != 0) ws_.DestroySurface(surface_);
    surface_ = 0;
    pixels_ = nullptr;
    width_ = client.Width();
    height_ = client.Height();
    if (client.Empty()) return;
    surface_ = ws_.CreateSurface(width_, height_, &pixels_);
    if (surface_ == 0) return;
    ws_.FillSurface(surface_, Rect{0, 0, width_, height_}, kColorKey);
    for (const Square& s : kSquares) {
      ws_.FillSurface(surface_, Rect{s.x, s.y, s.x + s.size, s.y + s.size}, s.color);
    }
    DrawText();
  }

  void DrawText() {
    const std::array<GbkText, 1> lines = {kAboutText.substr(0, kAboutText.find('\r'))};
    const std::array<int32_t, 1> tops = {0};
    const TextExtent extent = ws_.MeasureText(0, lines[0]);
    if (extent.width <= 0 || extent.height <= 0) return;
    const PixelBlock text =
        ws_.DrawTextLines(0, lines, tops, 0x000000, 0xFFFFFF, extent.width, extent.height);
    for (int32_t y = 0; y < text.height && kTextY + y < height_; ++y) {
      for (int32_t x = 0; x < text.width && kTextX + x < width_; ++x) {
        if ((text.pixels[y * text.width + x] & 0xFFFFFF) != 0xFFFFFF) {
          pixels_[(kTextY + y) * width_ + kTextX + x] = 0x000000;
        }
      }
    }
  }

  Rect MoverRect() const { return Rect{moverX_, kMoverY, moverX_ + kMoverSize, kMoverY + kMoverSize}; }

  void Step() {
    Rect old = MoverRect();
    ws_.InvalidateRect(hwnd_, &old, true);
    moverX_ += kMoverStep;
    if (moverX_ + kMoverSize > std::min(width_, 600)) moverX_ = 0;
    Rect now = MoverRect();
    ws_.InvalidateRect(hwnd_, &now, true);
  }

  void Paint() {
    const PaintContext paint = ws_.BeginPaint(hwnd_);
    RebuildSurface();
    if (surface_ != 0) {
      const Rect mover = MoverRect();
      for (const Rect& r : paint.rects) {
        // Rows a few pixels longer than the rectangle, the extra ones magenta: only the
        // first r.Width() of each row may reach the window.
        const int32_t stride = r.Width() + 3;
        std::vector<uint32_t> block(static_cast<std::size_t>(stride) * r.Height(), 0x00FF00FF);
        for (int32_t y = r.top; y < r.bottom; ++y) {
          for (int32_t x = r.left; x < r.right; ++x) {
            const bool onMover = x >= mover.left && x < mover.right && y >= mover.top && y < mover.bottom;
            // Pixels go out as B, G, R, X; the colour above is 0x00BBGGRR.
            const uint32_t pixel = onMover ? ((kMoverColor & 0xFF) << 16) | (kMoverColor & 0xFF00) |
                                                 ((kMoverColor >> 16) & 0xFF)
                                           : pixels_[y * width_ + x];
            block[static_cast<std::size_t>(y - r.top) * stride + (x - r.left)] = pixel;
          }
        }
        ws_.SetDIBitsToDevice(paint, r.left, r.top, r.Width(), r.Height(), block.data(), stride);
      }
    }
    ws_.EndPaint(paint);
  }

  intptr_t Handle(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
      case WM_ERASEBKGND:
        return 1;
      case WM_PAINT:
        Paint();
        return 0;
      case WM_TIMER:
        if (wParam == kMoveTimer) Step();
        return 0;
      case WM_KEYDOWN:
        if (wParam == VK_ESCAPE && ws_.GetKeyState(VK_CONTROL) >= 0 &&
            ws_.GetKeyState(VK_SHIFT) >= 0 && ws_.GetKeyState(VK_MENU) >= 0) {
          ws_.SendMessage(hwnd, WM_CLOSE, 0, 0);
          return 0;
        }
        break;
      case WM_TRAYNOTIFY:
        if (static_cast<uint32_t>(lParam & 0xFFFF) == WM_RBUTTONUP ||
            static_cast<uint32_t>(lParam & 0xFFFF) == WM_CONTEXTMENU) {
          ShowTrayMenu();
        }
        return 0;
      case WM_COMMAND:
        if ((wParam & 0xFFFF) == kMenuAbout) {
          ws_.MessageBox(0, kAboutText, kAboutTitle, MB_OK | MB_ICONINFORMATION | MB_TASKMODAL);
        } else if ((wParam & 0xFFFF) == kMenuExit) {
          ws_.PostMessage(hwnd, WM_DEFERREDCLOSE, 0, 0);
        }
        return 0;
      case WM_DEFERREDCLOSE:
        ws_.DestroyWindow(hwnd);
        return 0;
      case WM_DESTROY:
        ws_.KillTimer(hwnd, kMoveTimer);
        RemoveTrayIcon();
        ws_.PostQuitMessage(0);
        return 0;
      default:
        break;
    }
    return ws_.DefWindowProc(hwnd, message, wParam, lParam);
  }

  WindowSystem& ws_;
  Hwnd hwnd_ = 0;
  Hicon icon_ = 0;
  Hsurface surface_ = 0;
  uint32_t* pixels_ = nullptr;
  int32_t width_ = 0, height_ = 0;
  int32_t moverX_ = 0;
};

}  // namespace

int main() {
  wintrel::win32::Win32WindowSystem ws;
  return Smoke(ws).Run();
}
