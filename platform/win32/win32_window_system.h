// The real back end of the window-system interface: each operation is the Win32 call of
// the same name (or the few calls that make it up), with the interface's GBK texts
// converted from code page 936 and handed to the wide calls, so Chinese reads correctly
// whatever the system's locale. This header includes no system header; the back end's
// sources do.
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "platform/seam/window_system.h"

namespace wintrel::win32 {

class Win32WindowSystem final : public ws::WindowSystem {
 public:
  Win32WindowSystem();
  ~Win32WindowSystem() override;
  Win32WindowSystem(const Win32WindowSystem&) = delete;
  Win32WindowSystem& operator=(const Win32WindowSystem&) = delete;

  // --- pictures and text
  ws::Hbitmap PictureToBitmap(std::span<const uint8_t> bytes) override;
  std::optional<ws::TextExtent> BitmapSize(ws::Hbitmap bitmap) override;
  std::optional<ws::PixelBlock> BitmapToPixels(ws::Hbitmap bitmap) override;
  void DeleteBitmap(ws::Hbitmap bitmap) override;
  ws::Hfont CreateFontFromLogFont(std::span<const uint8_t> logFont) override;
  void DeleteFont(ws::Hfont font) override;
  ws::TextExtent MeasureText(ws::Hfont font, const ws::GbkText& line) override;
  ws::PixelBlock DrawTextLines(ws::Hfont font, std::span<const ws::GbkText> lines,
                               std::span<const int32_t> tops, uint32_t color, uint32_t background,
                               int32_t width, int32_t height) override;

  // --- time
  uint32_t TickCount() override;

  // --- classes and windows
  bool RegisterClass(const ws::ClassDesc& desc) override;
  ws::Hwnd CreateWindow(const ws::CreateDesc& desc) override;
  bool DestroyWindow(ws::Hwnd hwnd) override;
  bool IsWindow(ws::Hwnd hwnd) override;
  std::intptr_t DefWindowProc(ws::Hwnd hwnd, uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam) override;
  int32_t GetWindowLong(ws::Hwnd hwnd, int32_t index) override;
  int32_t SetWindowLong(ws::Hwnd hwnd, int32_t index, int32_t value) override;
  bool SetWindowPos(ws::Hwnd hwnd, std::intptr_t insertAfter, int32_t x, int32_t y, int32_t cx,
                    int32_t cy, uint32_t flags) override;
  bool ShowWindow(ws::Hwnd hwnd, int32_t command) override;
  bool MoveWindow(ws::Hwnd hwnd, int32_t x, int32_t y, int32_t width, int32_t height,
                  bool repaint) override;
  ws::Rect GetWindowRect(ws::Hwnd hwnd) override;
  ws::Rect GetWindowRectInParent(ws::Hwnd hwnd) override;
  ws::Rect GetClientRect(ws::Hwnd hwnd) override;
  ws::Hwnd SetParent(ws::Hwnd child, ws::Hwnd parent) override;
  ws::Hwnd GetParent(ws::Hwnd hwnd) override;
  bool IsWindowVisible(ws::Hwnd hwnd) override;
  bool IsIconic(ws::Hwnd hwnd) override;
  bool IsZoomed(ws::Hwnd hwnd) override;
  bool EnableWindow(ws::Hwnd hwnd, bool enable) override;
  bool IsWindowEnabled(ws::Hwnd hwnd) override;
  ws::Hwnd SetFocus(ws::Hwnd hwnd) override;
  ws::Hwnd GetFocus() override;
  ws::Hwnd GetActiveWindow() override;
  bool SetForegroundWindow(ws::Hwnd hwnd) override;
  void SetDefaultGuiFont(ws::Hwnd hwnd) override;
  bool SetLayeredWindowAttributes(ws::Hwnd hwnd, uint32_t colorKey, uint8_t alpha,
                                  uint32_t flags) override;
  bool SetMenu(ws::Hwnd hwnd, ws::Hmenu menu) override;
  ws::Hmenu GetMenu(ws::Hwnd hwnd) override;

  // --- messages and the loop
  std::intptr_t SendMessage(ws::Hwnd hwnd, uint32_t message, std::uintptr_t wParam,
                            std::intptr_t lParam) override;
  bool PostMessage(ws::Hwnd hwnd, uint32_t message, std::uintptr_t wParam,
                   std::intptr_t lParam) override;
  void PostQuitMessage(int32_t exitCode) override;
  bool GetMessage(ws::Message& msg) override;
  bool PeekMessage(ws::Message& msg, bool remove) override;
  void TranslateMessage(const ws::Message& msg) override;
  std::intptr_t DispatchMessage(const ws::Message& msg) override;
  int16_t GetKeyState(int32_t virtualKey) override;
  uint32_t RegisterWindowMessage(std::string_view name) override;

  // --- timers
  bool SetTimer(ws::Hwnd hwnd, std::uintptr_t id, uint32_t milliseconds) override;
  bool KillTimer(ws::Hwnd hwnd, std::uintptr_t id) override;

  // --- painting
  bool InvalidateRect(ws::Hwnd hwnd, const ws::Rect* rect, bool erase) override;
  bool UpdateWindow(ws::Hwnd hwnd) override;
  ws::PaintContext BeginPaint(ws::Hwnd hwnd) override;
  void EndPaint(const ws::PaintContext& paint) override;
  void SetDIBitsToDevice(const ws::PaintContext& paint, int32_t x, int32_t y, int32_t width,
                         int32_t height, const uint32_t* pixels, int32_t stride) override;
  void FillRect(const ws::PaintContext& paint, const ws::Rect& rect, uint32_t color) override;

  // --- off-screen surfaces
  ws::Hsurface CreateSurface(int32_t width, int32_t height, uint32_t** pixels) override;
  void DestroySurface(ws::Hsurface surface) override;
  void FillSurface(ws::Hsurface surface, const ws::Rect& rect, uint32_t color) override;
  void DrawBitmap(ws::Hsurface surface, ws::Hbitmap bitmap, int32_t x, int32_t y) override;
  void StretchBitmap(ws::Hsurface surface, ws::Hbitmap bitmap, const ws::Rect& dest,
                     bool halftone) override;
  std::optional<int32_t> DisplayBitsPerPixel() override;

  // --- system information
  int32_t GetSystemMetrics(int32_t index) override;
  uint32_t GetSysColor(int32_t index) override;
  ws::Rect WorkAreaNearest(ws::Hwnd hwnd) override;
  ws::Point GetCursorPos() override;

  // --- menus and message boxes
  ws::Hmenu CreateMenu() override;
  ws::Hmenu CreatePopupMenu() override;
  bool AppendMenu(ws::Hmenu menu, const ws::MenuItem& item) override;
  bool DestroyMenu(ws::Hmenu menu) override;
  bool TrackPopupMenu(ws::Hmenu menu, uint32_t flags, int32_t x, int32_t y,
                      ws::Hwnd owner) override;
  int32_t MessageBox(ws::Hwnd owner, const ws::GbkText& text, const ws::GbkText& title,
                     uint32_t flags) override;

  // --- notification area
  ws::Hicon CreateIconFromResourceEx(std::span<const uint8_t> imageBytes, int32_t width,
                                     int32_t height) override;
  bool DestroyIcon(ws::Hicon icon) override;
  bool ShellNotifyIcon(uint32_t operation, const ws::NotifyIconData& data) override;

  // --- sounds
  void PlaySoundFromMemory(std::span<const uint8_t> bytes) override;

  // --- external routines
  std::uintptr_t ResolveExternalRoutine(std::string_view name) override;
  ws::ExternalCallResult CallExternalRoutine(std::uintptr_t routine,
                                             std::span<const std::intptr_t> args) override;
  void FreeExternalLibraries() override;

  // --- the process
  [[noreturn]] void ExitProcess(uint32_t code) override;

  // The UTF-16 form of a GBK text, as the back end hands it to the wide calls.
  static std::wstring WideText(std::string_view gbk);

  // The most arguments an external routine can be passed.
  static constexpr std::size_t kMaxExternalArguments = 12;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace wintrel::win32
