// A simulated Windows desktop: a deterministic in-memory model of the window system
// behind the WindowSystem seam. It keeps real state (a virtual clock, one thread's
// message queue, windows with their rectangles, styles, z-order and client pixels, the
// notification area, menus and message boxes) and follows the window system's rules
// (message order, timer granularity, paint coalescing, colour keys, hit-testing), so
// that code written against the seam behaves on it as it would on Windows. Tests drive
// it as a user would (clicks, keys, scheduled actions) and read what a user would see
// (the composed screen, the tray, the open menu or box).
//
// Conventions it follows from the window system: WM_NCCREATE and WM_CREATE carry in
// lParam a pointer to the CreateDesc given to CreateWindow; WM_WINDOWPOSCHANGED points to
// a WindowPos and its default processing sends WM_MOVE and WM_SIZE; notifications from
// the shell and the system (tray clicks, WM_DISPLAYCHANGE, WM_SETTINGCHANGE) come from
// "another thread": they are delivered when the program's loop next looks at its queue,
// before its posted messages.
//
// Time passes only when the message loop is idle (GetMessage with nothing to deliver
// moves the clock to the next due thing: a timer, a scheduled action, a time limit) or
// when a test advances it explicitly. Nothing here sleeps or uses threads.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/seam/window_system.h"

namespace wintrel::sim {

using ws::GbkText;
using ws::Hbitmap;
using ws::Hfont;
using ws::Hicon;
using ws::Hmenu;
using ws::Hsurface;
using ws::Hwnd;
using ws::Message;
using ws::PixelBlock;
using ws::Point;
using ws::Rect;

// Messages and values of the window system that the seam's vocabulary does not name
// but the simulated desktop sends as Windows does.
inline constexpr uint32_t WM_WINDOWPOSCHANGING = 0x0046;
inline constexpr uint32_t WM_STYLECHANGING = 0x007C;
inline constexpr uint32_t WM_STYLECHANGED = 0x007D;
inline constexpr uint32_t WM_DISPLAYCHANGE = 0x007E;
inline constexpr uint32_t WM_SETTINGCHANGE = 0x001A;
inline constexpr uint32_t WM_SYSKEYUP = 0x0105;
inline constexpr uint32_t WM_SYSCHAR = 0x0106;
inline constexpr uint32_t WM_INITMENUPOPUP = 0x0117;
inline constexpr uint32_t WM_ENTERMENULOOP = 0x0211;
inline constexpr uint32_t WM_EXITMENULOOP = 0x0212;
inline constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
inline constexpr uint32_t WM_MBUTTONUP = 0x0208;
inline constexpr uint32_t WM_MBUTTONDBLCLK = 0x0209;
inline constexpr uint32_t WM_RBUTTONDBLCLK = 0x0206;
inline constexpr uint32_t SWP_NOCLIENTSIZE = 0x0800;
inline constexpr uint32_t SWP_NOCLIENTMOVE = 0x1000;
inline constexpr int32_t VK_F4 = 0x73;
inline constexpr uint32_t MK_LBUTTON = 0x0001;
inline constexpr uint32_t MK_RBUTTON = 0x0002;
inline constexpr uint32_t MK_SHIFT = 0x0004;
inline constexpr uint32_t MK_CONTROL = 0x0008;
inline constexpr uint32_t MK_MBUTTON = 0x0010;
inline constexpr uint32_t WA_INACTIVE = 0;
inline constexpr uint32_t WA_ACTIVE = 1;
inline constexpr uint32_t WA_CLICKACTIVE = 2;
inline constexpr int32_t IDCANCEL = 2;
inline constexpr uint32_t TPM_CENTERALIGN = 0x0004;
inline constexpr uint32_t TPM_VCENTERALIGN = 0x0010;
inline constexpr uint32_t TPM_BOTTOMALIGN = 0x0020;
// The handle WM_SETFONT carries for DEFAULT_GUI_FONT on the simulated desktop.
inline constexpr Hfont kDefaultGuiFont = 0xF0001;

// The layout of WINDOWPOS, to which WM_WINDOWPOSCHANGING/CHANGED's lParam points.
struct WindowPos {
  Hwnd hwnd = 0;
  Hwnd insertAfter = 0;
  int32_t x = 0, y = 0, cx = 0, cy = 0;
  uint32_t flags = 0;
};
// The layout of STYLESTRUCT (WM_STYLECHANGING/CHANGED's lParam; wParam is the index).
struct StyleStruct {
  uint32_t oldStyle = 0;
  uint32_t newStyle = 0;
};

enum class MouseButton { Left, Right, Middle };

// Modifier keys held during a key press.
enum Modifiers : uint32_t { kNoModifiers = 0, kCtrl = 1, kShift = 2, kAlt = 4 };

struct SimConfig {
  int32_t screenWidth = 1920;
  int32_t screenHeight = 1080;
  // Work area; by default the screen minus a 40-pixel taskbar at the bottom.
  std::optional<Rect> workArea;
  // The value TickCount() has at the start (e.g. 0xFFFFFFFF - 59999 for 60 s before the wrap).
  uint32_t startTick = 1000000;
  // Timer resolution in microseconds (15.625 ms as on Windows).
  uint64_t timerGranularityUs = 15625;
  // After this much simulated time GetMessage returns false (StoppedByLimit()).
  std::optional<uint32_t> timeLimitMs;
  uint32_t buttonFaceColor = 0x00F0F0F0;  // GetSysColor(COLOR_BTNFACE), 0x00BBGGRR
  // Draw message boxes, open menus and the taskbar into the captured screen.
  bool drawSystemUi = true;
};

// What a test can read about one window.
struct WindowInfo {
  Hwnd hwnd = 0;
  std::string className;
  GbkText title;
  uint32_t style = 0;    // as GetWindowLong(GWL_STYLE) reports it
  uint32_t exStyle = 0;
  Rect windowRect;       // screen
  Rect clientRectScreen; // the client area in screen coordinates
  Hwnd parent = 0;
  Hwnd owner = 0;
  bool visible = false;  // its own WS_VISIBLE
  bool enabled = true;
  bool minimized = false;
  bool maximized = false;
  bool topmost = false;
  bool layeredConfigured = false;  // SetLayeredWindowAttributes was called
  uint32_t layeredFlags = 0;       // LWA_*
  uint32_t colorKey = 0;           // 0x00BBGGRR
  uint8_t alpha = 255;
  std::optional<Hfont> font;       // the font set by SetDefaultGuiFont (WM_SETFONT)
  Hmenu menu = 0;
  bool system = false;             // a window of the desktop itself (message box, menu)
};

struct TrayIconInfo {
  Hwnd hwnd = 0;
  uint32_t id = 0;
  uint32_t flags = 0;          // NIF_* given so far
  uint32_t callbackMessage = 0;
  Hicon icon = 0;
  GbkText tip;
  Rect screenRect;             // where it sits in the taskbar's notification area
  bool ownerAlive = true;      // false once its window is gone (a ghost icon)
};

enum class TrayClick { Left, Right, Double, Middle };

struct MenuItemInfo {
  uint32_t flags = 0;
  uint32_t id = 0;
  GbkText text;
  Hmenu submenu = 0;
  std::vector<MenuItemInfo> subItems;  // the sub-menu's items, if any
  Rect screenRect;                     // the item's rectangle on screen (open menu only)
};

struct OpenMenuInfo {
  Hmenu menu = 0;
  Hwnd owner = 0;
  uint32_t flags = 0;       // TPM_*
  Point requested;          // x, y given to TrackPopupMenu
  Rect screenRect;          // where the menu is shown
  std::vector<MenuItemInfo> items;
};

struct MessageBoxInfo {
  Hwnd owner = 0;
  GbkText text;
  GbkText title;
  uint32_t flags = 0;
  uint32_t openedAtMs = 0;  // elapsed simulated time when it opened
  std::optional<int32_t> result;  // the button, once closed
  bool closedByGuard = false;     // closed because nothing else could happen (stall/limit/end)
};

// One SetDIBitsToDevice or FillRect call that reached a window.
struct OutputRecord {
  Hwnd hwnd = 0;
  Rect rect;       // client coordinates, as asked (before clipping)
  bool fill = false;
};

// One message as it reached a window procedure.
struct TracedMessage {
  Hwnd hwnd = 0;
  uint32_t message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  bool sent = false;   // SendMessage (or a system call sending it) rather than Dispatch
  uint32_t elapsedMs = 0;
};

using ExternalRoutineFn = std::function<std::intptr_t(std::span<const std::intptr_t>)>;

class SimDesktop final : public ws::WindowSystem {
 public:
  explicit SimDesktop(SimConfig config = {});
  ~SimDesktop() override;
  SimDesktop(const SimDesktop&) = delete;
  SimDesktop& operator=(const SimDesktop&) = delete;

  // ===== WindowSystem =====
  // --- pictures and text
  Hbitmap PictureToBitmap(std::span<const uint8_t> bytes) override;
  std::optional<ws::TextExtent> BitmapSize(Hbitmap bitmap) override;
  std::optional<PixelBlock> BitmapToPixels(Hbitmap bitmap) override;
  void DeleteBitmap(Hbitmap bitmap) override;
  Hfont CreateFontFromLogFont(std::span<const uint8_t> logFont) override;
  void DeleteFont(Hfont font) override;
  ws::TextExtent MeasureText(Hfont font, const GbkText& line) override;
  PixelBlock DrawTextLines(Hfont font, std::span<const GbkText> lines,
                           std::span<const int32_t> tops, uint32_t color, uint32_t background,
                           int32_t width, int32_t height) override;

  // --- time
  uint32_t TickCount() override;

  // --- classes and windows
  bool RegisterClass(const ws::ClassDesc& desc) override;
  Hwnd CreateWindow(const ws::CreateDesc& desc) override;
  bool DestroyWindow(Hwnd hwnd) override;
  bool IsWindow(Hwnd hwnd) override;
  std::intptr_t DefWindowProc(Hwnd hwnd, uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam) override;
  // A top-level window of the class `className` (registered for it) whose procedure is
  // DefWindowProc: a plain host for controls in tests and tools.
  Hwnd CreateHostWindow(const std::string& className, uint32_t style, const Rect& rect);
  int32_t GetWindowLong(Hwnd hwnd, int32_t index) override;
  int32_t SetWindowLong(Hwnd hwnd, int32_t index, int32_t value) override;
  bool SetWindowPos(Hwnd hwnd, std::intptr_t insertAfter, int32_t x, int32_t y, int32_t cx,
                    int32_t cy, uint32_t flags) override;
  bool ShowWindow(Hwnd hwnd, int32_t command) override;
  bool MoveWindow(Hwnd hwnd, int32_t x, int32_t y, int32_t width, int32_t height,
                  bool repaint) override;
  Rect GetWindowRect(Hwnd hwnd) override;
  Rect GetWindowRectInParent(Hwnd hwnd) override;
  Rect GetClientRect(Hwnd hwnd) override;
  Hwnd SetParent(Hwnd child, Hwnd parent) override;
  Hwnd GetParent(Hwnd hwnd) override;
  bool IsWindowVisible(Hwnd hwnd) override;
  bool IsIconic(Hwnd hwnd) override;
  bool IsZoomed(Hwnd hwnd) override;
  bool EnableWindow(Hwnd hwnd, bool enable) override;
  bool IsWindowEnabled(Hwnd hwnd) override;
  Hwnd SetFocus(Hwnd hwnd) override;
  Hwnd GetFocus() override;
  Hwnd GetActiveWindow() override;
  bool SetForegroundWindow(Hwnd hwnd) override;
  void SetDefaultGuiFont(Hwnd hwnd) override;
  bool SetLayeredWindowAttributes(Hwnd hwnd, uint32_t colorKey, uint8_t alpha,
                                  uint32_t flags) override;
  bool SetMenu(Hwnd hwnd, Hmenu menu) override;
  Hmenu GetMenu(Hwnd hwnd) override;

  // --- messages and the loop
  std::intptr_t SendMessage(Hwnd hwnd, uint32_t message, std::uintptr_t wParam,
                            std::intptr_t lParam) override;
  bool PostMessage(Hwnd hwnd, uint32_t message, std::uintptr_t wParam,
                   std::intptr_t lParam) override;
  void PostQuitMessage(int32_t exitCode) override;
  bool GetMessage(Message& msg) override;
  bool PeekMessage(Message& msg, bool remove) override;
  void TranslateMessage(const Message& msg) override;
  std::intptr_t DispatchMessage(const Message& msg) override;
  int16_t GetKeyState(int32_t virtualKey) override;
  uint32_t RegisterWindowMessage(std::string_view name) override;

  // --- timers
  bool SetTimer(Hwnd hwnd, std::uintptr_t id, uint32_t milliseconds) override;
  bool KillTimer(Hwnd hwnd, std::uintptr_t id) override;

  // --- painting
  bool InvalidateRect(Hwnd hwnd, const Rect* rect, bool erase) override;
  bool UpdateWindow(Hwnd hwnd) override;
  ws::PaintContext BeginPaint(Hwnd hwnd) override;
  void EndPaint(const ws::PaintContext& paint) override;
  void SetDIBitsToDevice(const ws::PaintContext& paint, int32_t x, int32_t y, int32_t width,
                         int32_t height, const uint32_t* pixels, int32_t stride) override;
  void FillRect(const ws::PaintContext& paint, const Rect& rect, uint32_t color) override;

  // --- off-screen surfaces
  Hsurface CreateSurface(int32_t width, int32_t height, uint32_t** pixels) override;
  void DestroySurface(Hsurface surface) override;
  void FillSurface(Hsurface surface, const Rect& rect, uint32_t color) override;
  void DrawBitmap(Hsurface surface, Hbitmap bitmap, int32_t x, int32_t y) override;
  void StretchBitmap(Hsurface surface, Hbitmap bitmap, const Rect& dest, bool halftone) override;
  std::optional<int32_t> DisplayBitsPerPixel() override;

  // --- system information
  int32_t GetSystemMetrics(int32_t index) override;
  uint32_t GetSysColor(int32_t index) override;
  Rect WorkAreaNearest(Hwnd hwnd) override;
  Point GetCursorPos() override;

  // --- menus and message boxes
  Hmenu CreateMenu() override;
  Hmenu CreatePopupMenu() override;
  bool AppendMenu(Hmenu menu, const ws::MenuItem& item) override;
  bool DestroyMenu(Hmenu menu) override;
  bool TrackPopupMenu(Hmenu menu, uint32_t flags, int32_t x, int32_t y, Hwnd owner) override;
  int32_t MessageBox(Hwnd owner, const GbkText& text, const GbkText& title,
                     uint32_t flags) override;

  // --- notification area
  Hicon CreateIconFromResourceEx(std::span<const uint8_t> imageBytes, int32_t width,
                                 int32_t height) override;
  bool DestroyIcon(Hicon icon) override;
  bool ShellNotifyIcon(uint32_t operation, const ws::NotifyIconData& data) override;

  // --- sounds
  void PlaySoundFromMemory(std::span<const uint8_t> bytes) override;

  // --- external routines
  std::uintptr_t ResolveExternalRoutine(std::string_view name) override;
  ws::ExternalCallResult CallExternalRoutine(std::uintptr_t routine,
                                             std::span<const std::intptr_t> args) override;
  void FreeExternalLibraries() override;

  // --- the process
  void ExitProcess(uint32_t code) override;

  // ===== Test-facing API =====
  // --- the clock
  uint64_t NowUs() const;            // internal clock, microseconds (startTick * 1000 at start)
  uint32_t ElapsedMs() const;        // simulated milliseconds since the start
  uint64_t ElapsedUs() const;
  // Moves the clock forward; timers falling due are marked pending, scheduled actions
  // run at the next loop iteration (they run only inside loops).
  void AdvanceBy(uint32_t ms);
  void AdvanceByUs(uint64_t us);

  // --- scheduled actions: run when the clock reaches the time, inside any loop
  // (GetMessage/PeekMessage, PumpFor, the nested loops of menus and boxes).
  void At(uint32_t elapsedMs, std::function<void()> action);      // elapsed since start
  void AtTick(uint32_t tick, std::function<void()> action);       // when TickCount() reaches tick
  void After(uint32_t ms, std::function<void()> action);          // relative to now
  size_t PendingActions() const;

  // --- running a loop (Get/Translate/Dispatch) for code that is not a whole program.
  // PumpFor returns after `ms` of simulated time (or at a quit, the end of the process
  // or the time limit; a WM_QUIT it meets stays pending for the outer loop).
  void PumpFor(uint32_t ms);
  // Runs until `done()` holds (checked after every message and action) or `deadlineMs`
  // of simulated time passed; returns whether `done()` held.
  bool PumpUntil(const std::function<bool()>& done, uint32_t deadlineMs);
  // Delivers everything that is due now without letting time pass.
  void PumpPending();

  // --- limits and guards
  void SetTimeLimit(std::optional<uint32_t> elapsedMs);  // GetMessage returns false from then on
  bool StoppedByLimit() const;
  // True when a loop found nothing queued, no timer and no scheduled action (it returned
  // rather than wait forever).
  bool Stalled() const;
  void ClearStop();  // forget a limit or stall stop, so that loops run again

  // --- the process
  bool ProcessEnded() const;
  std::optional<uint32_t> ExitCode() const;
  std::optional<int32_t> QuitCode() const;  // the code of the last WM_QUIT retrieved

  // --- input, as a user gives it
  // A click goes to the window WindowFromPoint names and activates its top-level window
  // when the button-down message is retrieved. On the desktop it takes the activation
  // away from the program; on a disabled window it is refused (an enabled pop-up that
  // window owns comes forward); on a tray icon it is ClickTrayIcon; while a menu is open
  // it chooses the item under it or, outside the menu, dismisses it.
  void Click(int32_t x, int32_t y, MouseButton button = MouseButton::Left);
  void DoubleClick(int32_t x, int32_t y, MouseButton button = MouseButton::Left);
  void MoveMouse(int32_t x, int32_t y);
  // Key down and up to the focus window (or the active window), with the modifier keys
  // pressed before and released after; GetKeyState reports them held meanwhile.
  void PressKey(int32_t virtualKey, uint32_t modifiers = kNoModifiers);
  void KeyDown(int32_t virtualKey);
  void KeyUp(int32_t virtualKey);
  void SetCursorPos(int32_t x, int32_t y);
  // Where a click at (x, y) would go: the topmost visible top-level window under the
  // point whose pixel there is not colour-keyed out, then its deepest visible, enabled
  // child under the point; 0 for the desktop. A disabled top-level window is returned
  // (it takes the click and refuses it, as on Windows).
  Hwnd WindowFromPoint(int32_t x, int32_t y);

  // --- the screen
  PixelBlock CaptureScreen();                 // 0x00RRGGBB words, top-down
  uint32_t ScreenPixel(int32_t x, int32_t y); // 0x00RRGGBB
  bool SaveScreenPng(const std::string& path);
  static bool SavePng(const PixelBlock& block, const std::string& path);
  void SetDesktopPicture(PixelBlock picture);  // scaled to the screen if its size differs
  // Fault switches: change the screen or work area at run time; broadcasts
  // WM_DISPLAYCHANGE / WM_SETTINGCHANGE to the top-level windows.
  void SetScreenSize(int32_t width, int32_t height);
  void SetWorkArea(const Rect& area);
  Rect WorkArea() const;
  void SetSysColor(int32_t index, uint32_t color);
  void SetDisplayBitsPerPixel(std::optional<int32_t> bits);

  // --- windows, as a test reads them
  std::optional<WindowInfo> Info(Hwnd hwnd) const;
  // Top-level windows, topmost first (the program's own unless includeSystem).
  std::vector<Hwnd> TopLevelWindows(bool includeSystem = false) const;
  std::vector<Hwnd> Children(Hwnd hwnd) const;  // top of the z-order first
  Hwnd FindWindowByClass(std::string_view className) const;  // first live one
  PixelBlock ClientPixels(Hwnd hwnd) const;     // the window's own client surface
  std::vector<Rect> PendingUpdate(Hwnd hwnd) const;  // the update region's rectangles
  Rect PendingUpdateBounds(Hwnd hwnd) const;
  int32_t PaintCount(Hwnd hwnd) const;          // BeginPaint calls on the window
  int32_t UnvalidatedPaints() const;  // WM_PAINTs dispatched that left the region set
  bool HasTimer(Hwnd hwnd, std::uintptr_t id) const;
  size_t TimerCount() const;
  size_t PostedCount() const;   // posted messages waiting
  Hwnd Foreground() const;
  const std::vector<OutputRecord>& OutputLog() const;
  void ClearOutputLog();
  // Every message reaching a window procedure (off by default).
  void SetTrace(bool on);
  const std::vector<TracedMessage>& Trace() const;
  void ClearTrace();

  // --- notification area
  std::vector<TrayIconInfo> TrayIcons() const;
  std::optional<TrayIconInfo> FindTrayIcon(Hwnd hwnd, uint32_t id) const;
  // Clicks on an icon as the shell reports it: the callback message with wParam = icon
  // id and lParam = the mouse message (WM_MOUSEMOVE first when the cursor arrives), sent
  // when the loop next runs. The cursor moves to the icon, and the taskbar comes to the
  // foreground: the program's active window is deactivated (call SetForegroundWindow
  // before TrackPopupMenu, or clicks outside the menu will not close it).
  bool ClickTrayIcon(Hwnd hwnd, uint32_t id, TrayClick click = TrayClick::Left);
  bool ClickTrayIcon(TrayClick click = TrayClick::Left);  // the first icon
  void RestartShell();  // icons vanish; "TaskbarCreated" is posted to the top-level windows
  void SetShellNotifyIconFails(bool fail);
  int32_t ShellNotifyIconCalls() const;

  // --- menus
  bool MenuOpen() const;
  std::optional<OpenMenuInfo> OpenMenu() const;
  std::vector<MenuItemInfo> MenuItems(Hmenu menu) const;
  bool ChooseMenuItem(uint32_t id);                // false if absent, grayed or a separator
  bool ChooseMenuItemByText(std::string_view text);  // text before any tab
  void DismissMenu();                              // as Esc does
  int32_t MenusShown() const;

  // --- message boxes
  bool MessageBoxOpen() const;
  std::optional<MessageBoxInfo> OpenMessageBox() const;  // the innermost open one
  bool CloseMessageBox(int32_t button = ws::IDOK);
  const std::vector<MessageBoxInfo>& MessageBoxes() const;  // every box shown, in order
  int32_t MessageBoxCount() const;
  // Boxes shown from now on close at once with this button (nullopt: wait for the test).
  void SetMessageBoxAutoClose(std::optional<int32_t> button);

  // --- sounds
  const std::vector<std::vector<uint8_t>>& PlayedSounds() const;

  // --- external routines
  // Adds (or replaces) a routine by name that consumes `consumed` argument slots.
  void AddExternalRoutine(std::string name, int32_t consumed, ExternalRoutineFn fn);
  int32_t FreeExternalLibrariesCalls() const;
  const std::vector<std::pair<std::string, std::vector<std::intptr_t>>>& ExternalCalls() const;

  // --- other fault switches
  void FailCreateWindowForClass(std::string className, bool fail = true);

  // --- pictures
  std::optional<PixelBlock> IconPixels(Hicon icon) const;
  std::optional<PixelBlock> SurfacePixels(Hsurface surface) const;
  size_t LiveBitmaps() const;
  size_t LiveSurfaces() const;
  size_t LiveFonts() const;
  size_t LiveIcons() const;
  size_t LiveMenus() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace wintrel::sim
