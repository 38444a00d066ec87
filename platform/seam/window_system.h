// The one narrow interface through which the runtime and the stage reach the window
// system. Two back ends implement it: platform/win32 (the real one) and platform/sim
// (a deterministic simulated desktop). Nothing above this layer includes an OS header.
//
// The vocabulary (message numbers, styles, flags) is that of the real window system,
// see win_constants.h; handles are opaque integers, 0 meaning none.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/seam/win_constants.h"

namespace wintrel::ws {

using Hwnd = std::uintptr_t;     // window
using Hmenu = std::uintptr_t;    // menu
using Hicon = std::uintptr_t;    // icon
using Hbitmap = std::uintptr_t;  // device bitmap
using Hfont = std::uintptr_t;    // font
using Hsurface = std::uintptr_t; // off-screen 32-bit surface (a DIB section on Win32)

// Text handed to the window system is in the program's stored code page (GBK, 936).
// Back ends show it correctly whatever the system's locale (Win32: converted with
// code page 936 and passed to the wide calls).
using GbkText = std::string;

struct Rect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
  int32_t x = 0, y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Message {
  Hwnd hwnd = 0;
  uint32_t message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  uint32_t time = 0;
};

// A portable window procedure. `context` is the pointer given at creation.
using WindowProc = std::intptr_t (*)(void* context, Hwnd hwnd, uint32_t message,
                                     std::uintptr_t wParam, std::intptr_t lParam);

struct ClassDesc {
  std::string name;          // ASCII
  uint32_t style = 0;        // CS_*
  bool nullBrush = true;     // no background brush: no erase drawing
};

struct CreateDesc {
  uint32_t exStyle = 0;
  std::string className;     // a class registered with RegisterClass
  GbkText title;
  uint32_t style = 0;
  int32_t x = 0, y = 0, width = 0, height = 0;
  Hwnd parentOrOwner = 0;    // parent for WS_CHILD, owner otherwise
  std::uintptr_t menuOrId = 0;  // control id for a child, a menu (Hmenu) otherwise
  WindowProc proc = nullptr;
  void* context = nullptr;
};

// What BeginPaint hands out. `clip` is the bounding box of the update region in
// client coordinates (GetClipBox); `rects` are the region's own rectangles.
struct PaintContext {
  Hwnd hwnd = 0;
  std::uintptr_t dc = 0;
  Rect clip;
  std::vector<Rect> rects;
};

// A menu item to append. `submenu` non-zero makes a sub-menu (MF_POPUP).
struct MenuItem {
  uint32_t flags = MF_STRING;  // MF_GRAYED, MF_CHECKED, MF_SEPARATOR, MF_POPUP
  uint32_t id = 0;
  Hmenu submenu = 0;
  GbkText text;                // may hold "text\tshortcut"
};

// The fields of the notification-area structure the program fills.
struct NotifyIconData {
  Hwnd hwnd = 0;
  uint32_t id = 0;
  uint32_t flags = 0;            // NIF_*
  uint32_t callbackMessage = 0;
  Hicon icon = 0;
  char tip[64] = {};             // GBK, zero-terminated
};

// 32-bit pixels, rows top-down without padding, B, G, R, X/T byte order.
struct PixelBlock {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;
};

struct TextExtent {
  int32_t width = 0;
  int32_t height = 0;
};

// The result of calling an external routine: its 32-bit result and how many
// 32-bit argument slots it consumed (for the argument check of the runtime).
struct ExternalCallResult {
  std::intptr_t result = 0;
  int32_t consumed = 0;
};

// The picture and text services the picture decoder needs; a part of the window
// system, kept apart so that the decoder can be used with only these.
class PictureServices {
 public:
  virtual ~PictureServices() = default;
  // --- pictures and text
  // Decodes BMP (and on Win32 JPEG, ICO, CUR and more) into a device bitmap, or 0.
  virtual Hbitmap PictureToBitmap(std::span<const uint8_t> bytes) = 0;
  virtual std::optional<TextExtent> BitmapSize(Hbitmap bitmap) = 0;
  virtual std::optional<PixelBlock> BitmapToPixels(Hbitmap bitmap) = 0;  // 32-bit top-down
  virtual void DeleteBitmap(Hbitmap bitmap) = 0;
  // A font from a 60-byte LOGFONTA block; 0 on failure. 0 also means the default GUI font below.
  virtual Hfont CreateFontFromLogFont(std::span<const uint8_t> logFont) = 0;
  virtual void DeleteFont(Hfont font) = 0;
  virtual TextExtent MeasureText(Hfont font, const GbkText& line) = 0;
  // Fills width x height with `background`, draws each line at (0, tops[i]) in `color`
  // with a transparent background, returns the pixels (fourth byte as delivered).
  virtual PixelBlock DrawTextLines(Hfont font, std::span<const GbkText> lines,
                                   std::span<const int32_t> tops, uint32_t color,
                                   uint32_t background, int32_t width, int32_t height) = 0;
};

class WindowSystem : public PictureServices {
 public:
  ~WindowSystem() override = default;

  // --- time
  virtual uint32_t TickCount() = 0;

  // --- classes and windows
  virtual bool RegisterClass(const ClassDesc& desc) = 0;  // true if registered or already there
  virtual Hwnd CreateWindow(const CreateDesc& desc) = 0;  // 0 on failure; sends WM_NCCREATE, WM_CREATE
  virtual bool DestroyWindow(Hwnd hwnd) = 0;              // destroys children first-to-last as Windows does
  virtual bool IsWindow(Hwnd hwnd) = 0;
  virtual std::intptr_t DefWindowProc(Hwnd hwnd, uint32_t message, std::uintptr_t wParam,
                                      std::intptr_t lParam) = 0;
  virtual int32_t GetWindowLong(Hwnd hwnd, int32_t index) = 0;  // GWL_STYLE / GWL_EXSTYLE
  virtual int32_t SetWindowLong(Hwnd hwnd, int32_t index, int32_t value) = 0;  // returns old
  virtual bool SetWindowPos(Hwnd hwnd, std::intptr_t insertAfter, int32_t x, int32_t y,
                            int32_t cx, int32_t cy, uint32_t flags) = 0;
  virtual bool ShowWindow(Hwnd hwnd, int32_t command) = 0;  // returns previous visibility
  virtual bool MoveWindow(Hwnd hwnd, int32_t x, int32_t y, int32_t width, int32_t height,
                          bool repaint) = 0;
  virtual Rect GetWindowRect(Hwnd hwnd) = 0;          // screen coordinates
  virtual Rect GetWindowRectInParent(Hwnd hwnd) = 0;  // parent's client coordinates (screen for top level)
  virtual Rect GetClientRect(Hwnd hwnd) = 0;          // (0, 0, w, h)
  virtual Hwnd SetParent(Hwnd child, Hwnd parent) = 0;
  virtual Hwnd GetParent(Hwnd hwnd) = 0;
  virtual bool IsWindowVisible(Hwnd hwnd) = 0;
  virtual bool IsIconic(Hwnd hwnd) = 0;
  virtual bool IsZoomed(Hwnd hwnd) = 0;
  virtual bool EnableWindow(Hwnd hwnd, bool enable) = 0;  // returns true if it was disabled
  virtual bool IsWindowEnabled(Hwnd hwnd) = 0;
  virtual Hwnd SetFocus(Hwnd hwnd) = 0;
  virtual Hwnd GetFocus() = 0;
  virtual Hwnd GetActiveWindow() = 0;
  virtual bool SetForegroundWindow(Hwnd hwnd) = 0;
  virtual void SetDefaultGuiFont(Hwnd hwnd) = 0;  // WM_SETFONT with DEFAULT_GUI_FONT
  virtual bool SetLayeredWindowAttributes(Hwnd hwnd, uint32_t colorKey, uint8_t alpha,
                                          uint32_t flags) = 0;
  virtual bool SetMenu(Hwnd hwnd, Hmenu menu) = 0;
  virtual Hmenu GetMenu(Hwnd hwnd) = 0;

  // --- messages and the loop
  virtual std::intptr_t SendMessage(Hwnd hwnd, uint32_t message, std::uintptr_t wParam,
                                    std::intptr_t lParam) = 0;
  virtual bool PostMessage(Hwnd hwnd, uint32_t message, std::uintptr_t wParam,
                           std::intptr_t lParam) = 0;
  virtual void PostQuitMessage(int32_t exitCode) = 0;
  // Waits for the next message. False for WM_QUIT (msg.wParam holds the code) or when
  // the process has been ended (ExitProcess on the simulated desktop).
  virtual bool GetMessage(Message& msg) = 0;
  virtual bool PeekMessage(Message& msg, bool remove) = 0;
  virtual void TranslateMessage(const Message& msg) = 0;
  virtual std::intptr_t DispatchMessage(const Message& msg) = 0;
  virtual int16_t GetKeyState(int32_t virtualKey) = 0;  // high bit set while down
  virtual uint32_t RegisterWindowMessage(std::string_view name) = 0;

  // --- timers
  virtual bool SetTimer(Hwnd hwnd, std::uintptr_t id, uint32_t milliseconds) = 0;
  virtual bool KillTimer(Hwnd hwnd, std::uintptr_t id) = 0;

  // --- painting
  virtual bool InvalidateRect(Hwnd hwnd, const Rect* rect, bool erase) = 0;  // null = whole client
  virtual bool UpdateWindow(Hwnd hwnd) = 0;  // paints the pending region synchronously
  virtual PaintContext BeginPaint(Hwnd hwnd) = 0;  // clears the pending region
  virtual void EndPaint(const PaintContext& paint) = 0;
  // One output call: `pixels` (width x height, top-down, B G R X, the starts of two rows
  // `stride` pixels apart, stride >= width) to client (x, y). The block must hold
  // stride x height pixels from `pixels` on: the system may read every row whole.
  virtual void SetDIBitsToDevice(const PaintContext& paint, int32_t x, int32_t y, int32_t width,
                                 int32_t height, const uint32_t* pixels, int32_t stride) = 0;
  // Fills a client rectangle of a paint with a colour 0x00BBGGRR.
  virtual void FillRect(const PaintContext& paint, const Rect& rect, uint32_t color) = 0;

  // --- off-screen surfaces (the stage's background buffer)
  // A 32-bit top-down surface of width x height; `*pixels` receives its memory.
  virtual Hsurface CreateSurface(int32_t width, int32_t height, uint32_t** pixels) = 0;
  virtual void DestroySurface(Hsurface surface) = 0;
  virtual void FillSurface(Hsurface surface, const Rect& rect, uint32_t color) = 0;  // PatBlt
  virtual void DrawBitmap(Hsurface surface, Hbitmap bitmap, int32_t x, int32_t y) = 0;  // BitBlt, clipped
  // StretchBlt of the whole bitmap to `dest`; halftone or colour-on-colour stretching.
  virtual void StretchBitmap(Hsurface surface, Hbitmap bitmap, const Rect& dest, bool halftone) = 0;
  virtual std::optional<int32_t> DisplayBitsPerPixel() = 0;

  // --- system information
  virtual int32_t GetSystemMetrics(int32_t index) = 0;
  virtual uint32_t GetSysColor(int32_t index) = 0;  // 0x00BBGGRR
  virtual Rect WorkAreaNearest(Hwnd hwnd) = 0;      // work area of the nearest monitor
  virtual Point GetCursorPos() = 0;

  // --- menus and message boxes
  virtual Hmenu CreateMenu() = 0;
  virtual Hmenu CreatePopupMenu() = 0;
  virtual bool AppendMenu(Hmenu menu, const MenuItem& item) = 0;
  virtual bool DestroyMenu(Hmenu menu) = 0;
  // Runs the menu's nested loop; a chosen item reaches `owner` as WM_COMMAND afterwards.
  virtual bool TrackPopupMenu(Hmenu menu, uint32_t flags, int32_t x, int32_t y, Hwnd owner) = 0;
  // Runs the box's nested loop; returns the button pressed.
  virtual int32_t MessageBox(Hwnd owner, const GbkText& text, const GbkText& title,
                             uint32_t flags) = 0;

  // --- notification area
  // An icon from one icon image (the bytes of its bitmap header and data) at the given size.
  virtual Hicon CreateIconFromResourceEx(std::span<const uint8_t> imageBytes, int32_t width,
                                         int32_t height) = 0;
  virtual bool DestroyIcon(Hicon icon) = 0;
  virtual bool ShellNotifyIcon(uint32_t operation, const NotifyIconData& data) = 0;

  // --- sounds
  virtual void PlaySoundFromMemory(std::span<const uint8_t> bytes) = 0;

  // --- external routines, looked up by name among the system's own libraries
  // Returns an opaque non-zero routine reference, or 0 when no library provides it.
  virtual std::uintptr_t ResolveExternalRoutine(std::string_view name) = 0;
  virtual ExternalCallResult CallExternalRoutine(std::uintptr_t routine,
                                                 std::span<const std::intptr_t> args) = 0;
  virtual void FreeExternalLibraries() = 0;

  // --- the process
  // Ends the process with `code`. On Win32 it does not return. The simulated desktop
  // records the code, stops delivering messages (GetMessage returns false) and returns.
  virtual void ExitProcess(uint32_t code) = 0;
};

}  // namespace wintrel::ws
