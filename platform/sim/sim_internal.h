// The simulated desktop's state, shared by its source files. Not part of its interface.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim_desktop.h"

namespace wintrel::sim {

// ---- small helpers on rectangles and pixels
Rect Intersect(const Rect& a, const Rect& b);
Rect Union(const Rect& a, const Rect& b);  // bounding box; an empty operand is ignored
bool Contains(const Rect& r, int32_t x, int32_t y);
Rect Offset(const Rect& r, int32_t dx, int32_t dy);
// True when the two rectangles share a pixel (both non-empty).
inline bool Overlap(const Rect& a, const Rect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom &&
         a.left < a.right && a.top < a.bottom && b.left < b.right && b.top < b.bottom;
}
// 0x00BBGGRR colour -> 0x00RRGGBB pixel word (and back: the same swap).
inline uint32_t SwapRB(uint32_t c) {
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
inline uint32_t PackLParam(int32_t lo, int32_t hi) {
  return (static_cast<uint32_t>(hi) << 16) | (static_cast<uint32_t>(lo) & 0xFFFF);
}

// A region kept as disjoint rectangles, in the order they were added (a rectangle that
// meets earlier ones is cut into the parts they leave free). An index by top edge finds
// the rectangles that can meet a new one without looking at all of them.
class Region {
 public:
  void Add(const Rect& r);
  void Clear();
  bool Empty() const { return live_ == 0; }
  Rect Bounds() const;
  // The rectangles sorted top to bottom, left to right.
  std::vector<Rect> Rects() const;
  void ClipTo(const Rect& r);

 private:
  // The positions in rects_ of the rectangles that share a pixel with `r`, ascending.
  void Meeting(const Rect& r, std::vector<uint32_t>& out) const;
  void Insert(const Rect& r);
  void Remove(uint32_t at);
  void Reindex();

  std::vector<Rect> rects_;       // in order of addition; a removed one is left empty
  std::vector<uint32_t> byTop_;   // positions of the others, by top edge, then position
  int32_t tallest_ = 0;           // no indexed rectangle is taller
  std::size_t live_ = 0;
  std::vector<uint32_t> hits_;    // scratch of Add
  std::vector<Rect> pieces_, spare_;
};

// ---- the built-in bitmap font
struct FontRec {
  int32_t scale = 1;
  bool bold = false;
};
inline constexpr int32_t kCellWidth = 6;
inline constexpr int32_t kCellHeight = 13;
ws::TextExtent MeasureGbk(const FontRec& font, const std::string& text);
// Draws `text` with its cell's top-left at (x, y) into a 0x00RRGGBB-ordered block,
// clipped; `pixel` is the word written for every set dot.
void DrawGbk(const FontRec& font, const std::string& text, int32_t x, int32_t y, uint32_t pixel,
             uint32_t* dst, int32_t width, int32_t height, const Rect& clip);

// ---- pictures
std::optional<PixelBlock> DecodeBmp(std::span<const uint8_t> bytes);
// One icon image (a bitmap header with colour and mask rows, or PNG bytes) as B, G, R, A pixels.
std::optional<PixelBlock> DecodeIconImage(std::span<const uint8_t> bytes);
std::optional<PixelBlock> DecodePng(std::span<const uint8_t> bytes);  // B, G, R, A
PixelBlock ScaleNearest(const PixelBlock& src, int32_t width, int32_t height);

// ---- the desktop's state
struct ClassRec {
  std::string name;
  uint32_t style = 0;
  bool nullBrush = true;
};

enum class SystemKind { None, MessageBox, Menu };

struct Window {
  Hwnd hwnd = 0;
  bool alive = true;
  bool destroying = false;
  std::string className;
  uint32_t classStyle = 0;
  bool nullBrush = true;
  GbkText title;
  uint32_t style = 0;
  uint32_t exStyle = 0;
  Hwnd parent = 0;  // 0 for a top-level window
  Hwnd owner = 0;
  std::vector<Hwnd> children;  // top of the z-order first
  Rect rect;                   // parent's client coordinates (screen for top level)
  Rect restoreRect;
  bool hasRestoreRect = false;
  Rect insets;                 // client insets: left, top, right, bottom widths
  ws::WindowProc proc = nullptr;
  void* context = nullptr;
  std::uintptr_t id = 0;
  Hmenu menu = 0;
  bool layeredConfigured = false;
  uint32_t layeredKey = 0;
  uint32_t layeredFlags = 0;
  uint8_t layeredAlpha = 255;
  std::optional<Hfont> font;
  Region update;
  bool erasePending = false;
  int32_t surfaceW = 0, surfaceH = 0;
  std::vector<uint32_t> surface;  // the client area's pixels, 0x00RRGGBB
  int32_t paintCount = 0;
  SystemKind system = SystemKind::None;
};

struct Timer {
  Hwnd hwnd = 0;
  std::uintptr_t id = 0;
  uint64_t elapseUs = 0;
  uint64_t fireUs = 0;  // the next expiry, on a clock boundary
  bool pending = false;
  uint64_t pendingSince = 0;
  uint64_t seq = 0;
};

struct InputEvent {
  Message msg;               // hwnd 0 for keys: the focus at retrieval
  bool key = false;
  std::vector<uint8_t> keyState;  // 256 entries after this event
  bool activates = false;    // a button press: activates its top-level window
};

struct Menu {
  Hmenu handle = 0;
  bool popup = false;
  std::vector<ws::MenuItem> items;
};

struct TrackState {
  Hmenu menu = 0;
  Hwnd owner = 0;
  Hwnd window = 0;  // the menu's own window
  uint32_t flags = 0;
  Point requested;
  Rect rect;
  std::vector<Rect> itemRects;  // screen
  bool closed = false;
  uint32_t chosen = 0;
  bool dismissOnOutsideClick = true;
};

struct BoxState {
  size_t index = 0;  // into the box log
  Hwnd window = 0;
  bool closed = false;
  int32_t result = 0;
  std::vector<std::pair<int32_t, Rect>> buttons;  // id, client rect
  std::vector<std::string> lines;
};

struct TrayIcon {
  Hwnd hwnd = 0;
  uint32_t id = 0;
  uint32_t flags = 0;
  uint32_t callbackMessage = 0;
  Hicon icon = 0;
  std::optional<PixelBlock> picture;  // the shell's own copy
  GbkText tip;
};

struct ExternalRoutine {
  std::string name;
  int32_t consumed = 0;
  ExternalRoutineFn fn;
};

struct ScheduledAction {
  std::function<void()> fn;
};

struct Surface {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

struct ActivePaint {
  Hwnd hwnd = 0;
  std::vector<Rect> rects;  // client coordinates, sorted by top edge, then left
  int32_t tallest = 0;      // the largest height among them
};

enum class StopReason { None, Limit, Stall };

// What one step of a loop came to.
enum class Step { Message, None, Deadline, Stopped, Ended, Actions };

struct SimDesktop::Impl {
  explicit Impl(SimDesktop& self, SimConfig config);

  SimDesktop& self;
  SimConfig config;

  // clock
  uint64_t startUs = 0;
  uint64_t nowUs = 0;
  std::optional<uint64_t> limitUs;
  StopReason stop = StopReason::None;
  bool stalled = false;

  // process
  bool ended = false;
  std::optional<uint32_t> exitCode;
  std::optional<int32_t> lastQuitCode;

  // handles
  std::uintptr_t nextHandle = 0x10002;
  std::uintptr_t NewHandle() {
    std::uintptr_t h = nextHandle;
    nextHandle += 2;
    return h;
  }

  // classes and windows
  std::map<std::string, ClassRec> classes;  // by upper-cased name
  std::map<Hwnd, Window*> windows;          // the live ones
  std::vector<std::unique_ptr<Window>> allWindows;  // kept so that references stay valid
  std::vector<Hwnd> topLevel;               // topmost first
  Hwnd active = 0, focus = 0, foreground = 0;
  std::map<std::string, bool> failCreate;   // upper-cased class names

  // queue
  std::deque<std::function<void()>> sentFromOutside;  // cross-thread sends, run first
  std::deque<Message> posted;
  std::deque<InputEvent> input;
  bool quitPending = false;
  int32_t quitCode = 0;
  std::vector<uint8_t> keyState = std::vector<uint8_t>(256, 0);  // the thread's (as retrieved)
  std::vector<uint8_t> asyncKeys = std::vector<uint8_t>(256, 0);  // the keyboard's
  std::map<std::string, uint32_t> registeredMessages;
  int32_t unvalidatedPaints = 0;

  // timers
  std::map<std::pair<Hwnd, std::uintptr_t>, Timer> timers;
  uint64_t timerSeq = 0;

  // scheduled actions
  std::multimap<uint64_t, ScheduledAction> actions;

  // painting
  std::map<std::uintptr_t, ActivePaint> paints;  // by dc
  std::vector<OutputRecord> outputLog;
  bool tracing = false;
  std::vector<TracedMessage> trace;

  // screen
  int32_t screenW = 1920, screenH = 1080;
  Rect workArea;
  bool defaultWorkArea = true;
  std::optional<PixelBlock> desktopPicture;  // set by a test (kept at its own size)
  mutable PixelBlock desktop;                // at the screen's size, built when first shown
  mutable bool desktopStale = true;
  Point cursor{960, 540};
  std::map<int32_t, uint32_t> sysColors;
  std::optional<int32_t> displayBits = 32;

  // pictures
  std::map<Hbitmap, PixelBlock> bitmaps;
  std::map<Hsurface, std::unique_ptr<Surface>> surfaces;
  std::map<Hfont, FontRec> fonts;
  std::map<Hicon, PixelBlock> icons;
  std::uintptr_t nextDc = 0x7000000;

  // menus, boxes, tray
  std::map<Hmenu, Menu> menus;
  std::vector<TrackState*> trackStack;  // the open menu (at most one)
  std::vector<BoxState*> boxStack;
  std::vector<MessageBoxInfo> boxLog;
  std::optional<int32_t> boxAutoClose;
  int32_t menusShown = 0;
  std::vector<TrayIcon> tray;
  bool trayFails = false;
  int32_t trayCalls = 0;

  // sounds and external routines
  std::vector<std::vector<uint8_t>> sounds;
  std::vector<ExternalRoutine> routines;
  int32_t freeLibraryCalls = 0;
  std::vector<std::pair<std::string, std::vector<std::intptr_t>>> externalCalls;

  // ---- windows
  Window* Find(Hwnd h) const;
  Window* TopLevelOf(Window* w) const;
  bool Visible(const Window* w) const;  // itself and every ancestor
  bool IsProgramWindow(const Window* w) const { return w->system == SystemKind::None; }
  Rect ScreenRect(const Window* w) const;
  Rect ClientScreenRect(const Window* w) const;
  Rect ClientRect(const Window* w) const;  // (0, 0, w, h)
  Rect ComputeInsets(const Window* w) const;
  void ResizeSurface(Window* w);
  std::vector<Hwnd>& SiblingList(Window* w);
  void Unlink(Window* w);
  void LinkTop(Window* w);
  void LinkBottom(Window* w);
  void LinkAfter(Window* w, Hwnd after);
  void NormalizeTopLevelOrder();
  void BringToTop(Window* w);
  std::intptr_t Send(Hwnd h, uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
  void Record(Hwnd h, uint32_t message, std::uintptr_t wParam, std::intptr_t lParam, bool sent);
  bool SetPos(Window* w, std::intptr_t insertAfter, int32_t x, int32_t y, int32_t cx, int32_t cy,
              uint32_t flags);
  void Activate(Hwnd h, uint32_t how);
  void ActivateOther(Window* leaving);
  void SetFocusTo(Hwnd h);
  void SendDestroy(Window* w);
  void FreeWindow(Window* w);
  void RemoveWindowState(Window* w);
  Hwnd CreateSystemWindow(SystemKind kind, const Rect& rect, const GbkText& title, uint32_t style,
                          uint32_t exStyle, Hwnd owner);

  // ---- painting
  void Invalidate(Window* w, const Rect& clientRect, bool erase, bool children);
  void InvalidateAll(Window* w);  // the whole client and every visible descendant
  Window* FindPaintWindow();
  Window* FindPaintIn(Window* w);
  void DispatchPaint(Window* w);

  // ---- loop
  void AdvanceTo(uint64_t t);
  uint64_t Boundary(uint64_t t) const;
  void RunSent();
  bool RunDueActions();  // true if any ran
  std::optional<uint64_t> NextDue() const;
  Step NextMessage(Message& msg, bool remove, bool wait, std::optional<uint64_t> deadline,
                   bool returnAfterActions, bool honourStop);
  std::intptr_t Dispatch(const Message& msg);
  // Runs a nested loop until `closed()` holds; returns false when it ended otherwise
  // (quit, end of process, limit or stall).
  bool NestedLoop(const std::function<bool()>& closed);
  bool FilterInput(const InputEvent& ev);  // true if a modal state consumed it

  // ---- input
  struct Hit {
    Hwnd hwnd = 0;
    Hwnd topLevel = 0;
    bool disabled = false;
  };
  Hit HitTest(int32_t x, int32_t y);
  void QueueKey(int32_t vk, bool down);
  void QueueMouse(Hwnd target, uint32_t message, int32_t sx, int32_t sy, bool activates);

  // ---- screen
  void BuildDefaultDesktop() const;
  Rect TaskbarRect() const;
  Rect TrayIconRect(size_t index) const;
  void ComposeWindow(const Window* w, uint32_t* dst, int32_t dstW, int32_t dstH, int32_t ox,
                     int32_t oy, const Rect& clip) const;  // clip and origin in dst coordinates
  void DrawFrame(const Window* w, uint32_t* dst, int32_t dstW, int32_t dstH, int32_t ox, int32_t oy,
                 const Rect& clip) const;
  // Composes the screen within `area` (desktop, taskbar, windows) into `dst`, area-sized.
  void ComposeArea(const Rect& area, uint32_t* dst) const;
  std::optional<uint32_t> WindowPixelAt(const Window* w, int32_t sx, int32_t sy) const;
  bool IsTransparentAt(const Window* top, uint32_t pixel) const;
  void BroadcastToTopLevel(uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
  void RefitMaximized();

  // ---- menus and boxes
  std::vector<MenuItemInfo> ItemsOf(Hmenu menu, int depth) const;
  void PaintMenu(TrackState& t);
  void PaintBox(BoxState& b);
  bool MenuClick(int32_t x, int32_t y);
  void CloseMenu(bool chosen, uint32_t id);
  static std::intptr_t SystemProc(void* context, Hwnd hwnd, uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam);
  void SendTray(const TrayIcon& icon, uint32_t mouseMessage);
  // A click on the icon at `index` with the cursor at `at`.
  void ClickTray(size_t index, Point at, TrayClick click);
};

}  // namespace wintrel::sim
