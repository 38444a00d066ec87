// The Win32 back end on the real window system (run under Wine by the end-to-end
// checks). Each test drives Win32WindowSystem through the interface only.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/seam/window_system.h"
#include "platform/win32/win32_window_system.h"

namespace wintrel::win32 {
namespace {

using namespace ws;
using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, std::size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A 16 x 8 JPEG: the left half red, the right half blue.
const Bytes kRedBlueJpeg = {
    0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xFF, 0xDB, 0x00, 0x43, 0x00, 0x02, 0x01, 0x01, 0x01, 0x01, 0x01, 0x02,
    0x01, 0x01, 0x01, 0x02, 0x02, 0x02, 0x02, 0x02, 0x04, 0x03, 0x02, 0x02, 0x02, 0x02, 0x05, 0x04,
    0x04, 0x03, 0x04, 0x06, 0x05, 0x06, 0x06, 0x06, 0x05, 0x06, 0x06, 0x06, 0x07, 0x09, 0x08, 0x06,
    0x07, 0x09, 0x07, 0x06, 0x06, 0x08, 0x0B, 0x08, 0x09, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x06, 0x08,
    0x0B, 0x0C, 0x0B, 0x0A, 0x0C, 0x09, 0x0A, 0x0A, 0x0A, 0xFF, 0xDB, 0x00, 0x43, 0x01, 0x02, 0x02,
    0x02, 0x02, 0x02, 0x02, 0x05, 0x03, 0x03, 0x05, 0x0A, 0x07, 0x06, 0x07, 0x0A, 0x0A, 0x0A, 0x0A,
    0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A,
    0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A,
    0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0x0A, 0xFF, 0xC0,
    0x00, 0x11, 0x08, 0x00, 0x08, 0x00, 0x10, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11,
    0x01, 0xFF, 0xC4, 0x00, 0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0xFF, 0xC4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xC4, 0x00,
    0x16, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x0A, 0x08, 0x09, 0xFF, 0xC4, 0x00, 0x14, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xDA, 0x00, 0x0C, 0x03,
    0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00, 0x17, 0xA5, 0x36, 0xFE, 0x08, 0x65, 0x50,
    0x35, 0xEF, 0xFF, 0xD9,
};

// What a window received, and what it does with a message.
struct Recorder {
  WindowSystem* ws = nullptr;
  std::vector<Message> seen;
  std::function<bool(Recorder&, Hwnd, uint32_t, uintptr_t, intptr_t, intptr_t&)> handle;

  bool Saw(uint32_t message) const {
    return std::any_of(seen.begin(), seen.end(), [&](const Message& m) { return m.message == message; });
  }
  static intptr_t Proc(void* context, Hwnd hwnd, uint32_t message, uintptr_t wParam,
                       intptr_t lParam) {
    auto& self = *static_cast<Recorder*>(context);
    self.seen.push_back(Message{hwnd, message, wParam, lParam, 0});
    intptr_t result = 0;
    if (self.handle && self.handle(self, hwnd, message, wParam, lParam, result)) return result;
    return self.ws->DefWindowProc(hwnd, message, wParam, lParam);
  }
};

class Win32Test : public ::testing::Test {
 protected:
  static constexpr const char* kClass = "WintrelBackendTest";

  void SetUp() override {
    ASSERT_TRUE(ws.RegisterClass(ClassDesc{kClass, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, true}));
  }
  void TearDown() override {
    for (Hwnd h : windows) {
      if (ws.IsWindow(h)) ws.DestroyWindow(h);
    }
    Message msg;
    while (ws.PeekMessage(msg, true)) ws.DispatchMessage(msg);
  }

  Recorder& NewRecorder() {
    recorders.push_back(std::make_unique<Recorder>());
    recorders.back()->ws = &ws;
    return *recorders.back();
  }

  Hwnd Create(Recorder& r, uint32_t style = WS_POPUP, Rect place = {100, 100, 300, 300},
              Hwnd parent = 0, uint32_t exStyle = WS_EX_TOOLWINDOW) {
    CreateDesc d;
    d.exStyle = exStyle;
    d.className = kClass;
    d.style = style;
    d.x = place.left;
    d.y = place.top;
    d.width = place.Width();
    d.height = place.Height();
    d.parentOrOwner = parent;
    d.proc = &Recorder::Proc;
    d.context = &r;
    const Hwnd h = ws.CreateWindow(d);
    if (h != 0) windows.push_back(h);
    return h;
  }

  // Dispatches messages until `done` holds, for at most five seconds.
  bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      Message msg;
      if (ws.PeekMessage(msg, true)) {
        ws.TranslateMessage(msg);
        ws.DispatchMessage(msg);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    return true;
  }

  Win32WindowSystem ws;
  std::vector<std::unique_ptr<Recorder>> recorders;
  std::vector<Hwnd> windows;
};

// --- windows

TEST_F(Win32Test, EachWindowGetsItsMessagesWithItsOwnContextFromNcCreateOn) {
  Recorder& a = NewRecorder();
  Recorder& b = NewRecorder();
  const Hwnd ha = Create(a);
  const Hwnd hb = Create(b);
  ASSERT_NE(ha, 0u);
  ASSERT_NE(hb, 0u);
  ASSERT_FALSE(a.seen.empty());
  EXPECT_EQ(a.seen.front().message, WM_NCCREATE);
  EXPECT_TRUE(a.Saw(WM_CREATE));
  EXPECT_TRUE(std::all_of(a.seen.begin(), a.seen.end(), [&](const Message& m) { return m.hwnd == ha; }));

  ws.SendMessage(hb, WM_USER + 1, 11, 22);
  EXPECT_FALSE(a.Saw(WM_USER + 1));
  ASSERT_TRUE(b.Saw(WM_USER + 1));
  EXPECT_EQ(b.seen.back().wParam, 11u);
  EXPECT_EQ(b.seen.back().lParam, 22);

  ASSERT_TRUE(ws.DestroyWindow(ha));
  EXPECT_FALSE(ws.IsWindow(ha));
  EXPECT_EQ(a.seen.back().message, WM_NCDESTROY);
  EXPECT_TRUE(a.Saw(WM_DESTROY));
  EXPECT_TRUE(ws.IsWindow(hb));
}

TEST_F(Win32Test, AWindowCreatedInsideAnotherOnesCreationKeepsItsOwnContext) {
  Recorder& outer = NewRecorder();
  Recorder& inner = NewRecorder();
  Hwnd innerWindow = 0;
  outer.handle = [&](Recorder&, Hwnd, uint32_t message, uintptr_t, intptr_t, intptr_t&) {
    if (message == WM_CREATE && innerWindow == 0) innerWindow = Create(inner);
    return false;
  };
  const Hwnd outerWindow = Create(outer);
  ASSERT_NE(outerWindow, 0u);
  ASSERT_NE(innerWindow, 0u);
  ASSERT_FALSE(inner.seen.empty());
  EXPECT_EQ(inner.seen.front().message, WM_NCCREATE);
  EXPECT_TRUE(std::all_of(inner.seen.begin(), inner.seen.end(),
                          [&](const Message& m) { return m.hwnd == innerWindow; }));
  ws.SendMessage(outerWindow, WM_USER + 2, 0, 0);
  EXPECT_TRUE(outer.Saw(WM_USER + 2));
  EXPECT_FALSE(inner.Saw(WM_USER + 2));
}

TEST_F(Win32Test, ClassesRegisterOnceAndNeedAName) {
  EXPECT_TRUE(ws.RegisterClass(ClassDesc{kClass, 0, true}));  // already there
  EXPECT_FALSE(ws.RegisterClass(ClassDesc{"", 0, true}));
  Recorder& r = NewRecorder();
  CreateDesc d;
  d.className = "NoSuchClassHere";
  d.style = WS_POPUP;
  d.proc = &Recorder::Proc;
  d.context = &r;
  EXPECT_EQ(ws.CreateWindow(d), 0u);
  EXPECT_TRUE(r.seen.empty());
}

TEST_F(Win32Test, StylesAndPlacesAreThoseOfTheSystem) {
  Recorder& r = NewRecorder();
  const Hwnd top = Create(r, WS_POPUP, Rect{100, 100, 300, 250});
  ASSERT_NE(top, 0u);
  const int32_t before = ws.GetWindowLong(top, GWL_EXSTYLE);
  EXPECT_EQ(ws.SetWindowLong(top, GWL_EXSTYLE, before | WS_EX_LAYERED), before);
  EXPECT_NE(ws.GetWindowLong(top, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
  EXPECT_TRUE(ws.SetLayeredWindowAttributes(top, 0xF0F0F0, 255, LWA_COLORKEY));

  EXPECT_EQ(ws.GetWindowRect(top), (Rect{100, 100, 300, 250}));
  EXPECT_EQ(ws.GetWindowRectInParent(top), (Rect{100, 100, 300, 250}));
  EXPECT_EQ(ws.GetClientRect(top), (Rect{0, 0, 200, 150}));

  Recorder& c = NewRecorder();
  const Hwnd child = Create(c, WS_CHILD | WS_CLIPSIBLINGS, Rect{10, 20, 40, 60}, top, 0);
  ASSERT_NE(child, 0u);
  EXPECT_EQ(ws.GetWindowRect(child), (Rect{110, 120, 140, 160}));
  EXPECT_EQ(ws.GetWindowRectInParent(child), (Rect{10, 20, 40, 60}));
  EXPECT_EQ(ws.GetParent(child), top);

  // An owned top-level window is placed on the screen, not in its owner.
  Recorder& o = NewRecorder();
  const Hwnd owned = Create(o, WS_POPUP, Rect{5, 6, 25, 36}, top);
  ASSERT_NE(owned, 0u);
  EXPECT_EQ(ws.GetWindowRectInParent(owned), (Rect{5, 6, 25, 36}));

  EXPECT_TRUE(ws.MoveWindow(child, 0, 0, 200, 150, false));
  EXPECT_EQ(ws.GetWindowRectInParent(child), (Rect{0, 0, 200, 150}));
  EXPECT_TRUE(c.Saw(WM_SIZE));
}

// --- painting

TEST_F(Win32Test, APaintSeesTheBoundingBoxAndTheRegionsOwnRectangles) {
  Recorder& r = NewRecorder();
  std::vector<PaintContext> paints;
  r.handle = [&](Recorder&, Hwnd hwnd, uint32_t message, uintptr_t, intptr_t, intptr_t& result) {
    if (message == WM_ERASEBKGND) {
      result = 1;
      return true;
    }
    if (message != WM_PAINT) return false;
    PaintContext paint = ws.BeginPaint(hwnd);
    const std::vector<uint32_t> pixels(static_cast<std::size_t>(paint.clip.Width() + 2) *
                                           std::max(0, paint.clip.Height()),
                                       0x00FF8000);
    ws.SetDIBitsToDevice(paint, paint.clip.left, paint.clip.top, paint.clip.Width(),
                         paint.clip.Height(), pixels.data(), paint.clip.Width() + 2);
    ws.EndPaint(paint);
    paints.push_back(paint);
    return true;
  };
  const Hwnd h = Create(r, WS_POPUP, Rect{100, 100, 300, 300});
  ASSERT_NE(h, 0u);
  ws.ShowWindow(h, SW_SHOWNA);
  ASSERT_TRUE(ws.UpdateWindow(h));
  ASSERT_FALSE(paints.empty());
  EXPECT_EQ(paints.back().clip, (Rect{0, 0, 200, 200}));
  paints.clear();

  const Rect small{10, 10, 20, 20}, far{100, 120, 130, 150};
  ws.InvalidateRect(h, &small, true);
  ws.InvalidateRect(h, &far, true);
  ASSERT_TRUE(ws.UpdateWindow(h));
  ASSERT_EQ(paints.size(), 1u);
  const PaintContext& paint = paints.front();
  EXPECT_NE(paint.dc, 0u);
  EXPECT_EQ(paint.clip, (Rect{10, 10, 130, 150}));
  int64_t area = 0;
  for (const Rect& rect : paint.rects) {
    area += int64_t{rect.Width()} * rect.Height();
    const bool inSmall = rect.left >= small.left && rect.right <= small.right &&
                         rect.top >= small.top && rect.bottom <= small.bottom;
    const bool inFar = rect.left >= far.left && rect.right <= far.right && rect.top >= far.top &&
                       rect.bottom <= far.bottom;
    EXPECT_TRUE(inSmall || inFar) << rect.left << "," << rect.top << "," << rect.right << ","
                                  << rect.bottom;
  }
  EXPECT_EQ(area, 10 * 10 + 30 * 30);

  // Nothing is pending after the paint.
  ASSERT_TRUE(ws.UpdateWindow(h));
  EXPECT_EQ(paints.size(), 1u);
}

// --- surfaces and bitmaps

uint32_t Rgb(const std::vector<uint32_t>& pixels, int32_t width, int32_t x, int32_t y) {
  return pixels[static_cast<std::size_t>(y) * width + x] & 0x00FFFFFF;
}

TEST_F(Win32Test, SurfacesAreTopDownAndFilledWithColourRefs) {
  uint32_t* pixels = nullptr;
  const Hsurface s = ws.CreateSurface(4, 3, &pixels);
  ASSERT_NE(s, 0u);
  ASSERT_NE(pixels, nullptr);
  ws.FillSurface(s, Rect{0, 0, 4, 3}, 0xF0F0F0);
  ws.FillSurface(s, Rect{1, 0, 3, 1}, 0x0000FF);  // red as 0x00BBGGRR
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      const bool red = y == 0 && (x == 1 || x == 2);
      EXPECT_EQ(pixels[y * 4 + x] & 0xFFFFFF, red ? 0xFF0000u : 0xF0F0F0u) << x << "," << y;
    }
  }
  ws.DestroySurface(s);
  ws.DestroySurface(s);  // a second time, or an unknown surface, does nothing

  uint32_t* none = reinterpret_cast<uint32_t*>(1);
  EXPECT_EQ(ws.CreateSurface(0, 5, &none), 0u);
  EXPECT_EQ(none, nullptr);
  ws.FillSurface(12345, Rect{0, 0, 1, 1}, 0);
}

// A 24-bit bottom-up BMP file of 3 x 2 pixels: top row red, green, blue; bottom row
// white, black, grey.
Bytes SmallBmp() {
  const uint32_t stride = 12;  // 9 bytes padded to 4
  Bytes b(54 + stride * 2, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  Put32(b, 10, 54);
  Put32(b, 14, 40);
  Put32(b, 18, 3);
  Put32(b, 22, 2);
  Put16(b, 26, 1);
  Put16(b, 28, 24);
  const uint8_t rows[2][9] = {{255, 255, 255, 0, 0, 0, 128, 128, 128},  // bottom row, B G R
                              {0, 0, 255, 0, 255, 0, 255, 0, 0}};       // top row
  for (int row = 0; row < 2; ++row) std::memcpy(b.data() + 54 + row * stride, rows[row], 9);
  return b;
}

TEST_F(Win32Test, ABmpBecomesABitmapOfItsSizeReadTopDown) {
  const Hbitmap bitmap = ws.PictureToBitmap(SmallBmp());
  ASSERT_NE(bitmap, 0u);
  EXPECT_EQ(ws.BitmapSize(bitmap)->width, 3);
  EXPECT_EQ(ws.BitmapSize(bitmap)->height, 2);
  const auto block = ws.BitmapToPixels(bitmap);
  ASSERT_TRUE(block);
  ASSERT_EQ(block->pixels.size(), 6u);
  const uint32_t expected[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x808080};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(block->pixels[i] & 0xFFFFFF, expected[i]) << i;

  // Copied at its own size, clipped by the surface.
  uint32_t* pixels = nullptr;
  const Hsurface s = ws.CreateSurface(5, 5, &pixels);
  ASSERT_NE(s, 0u);
  ws.FillSurface(s, Rect{0, 0, 5, 5}, 0xF0F0F0);
  ws.DrawBitmap(s, bitmap, -1, 4);
  const std::vector<uint32_t> drawn(pixels, pixels + 25);
  EXPECT_EQ(Rgb(drawn, 5, 0, 4), 0x00FF00u);
  EXPECT_EQ(Rgb(drawn, 5, 1, 4), 0x0000FFu);
  EXPECT_EQ(Rgb(drawn, 5, 2, 4), 0xF0F0F0u);
  EXPECT_EQ(Rgb(drawn, 5, 0, 3), 0xF0F0F0u);

  // Stretched to twice its size without halftoning: each pixel becomes a 2 x 2 block.
  ws.StretchBitmap(s, bitmap, Rect{0, 0, 6, 4}, false);
  const std::vector<uint32_t> stretched(pixels, pixels + 25);
  EXPECT_EQ(Rgb(stretched, 5, 0, 0), 0xFF0000u);
  EXPECT_EQ(Rgb(stretched, 5, 1, 1), 0xFF0000u);
  EXPECT_EQ(Rgb(stretched, 5, 2, 1), 0x00FF00u);
  EXPECT_EQ(Rgb(stretched, 5, 0, 2), 0xFFFFFFu);
  EXPECT_EQ(Rgb(stretched, 5, 4, 3), 0x808080u);
  ws.DestroySurface(s);
  ws.DeleteBitmap(bitmap);
}

// A 32 x 32 icon image with alpha: the left half opaque red, the right half clear.
Bytes RedHalfIconImage() {
  constexpr int n = 32;
  Bytes image(40 + n * n * 4 + n * 4, 0);
  Put32(image, 0, 40);
  Put32(image, 4, n);
  Put32(image, 8, 2 * n);
  Put16(image, 12, 1);
  Put16(image, 14, 32);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      Put32(image, 40 + (y * n + x) * 4, x < n / 2 ? 0xFFFF0000u : 0x00000000u);
    }
  }
  return image;
}

Bytes IconFile(uint16_t type, const Bytes& image) {
  Bytes file(22 + image.size(), 0);
  Put16(file, 2, type);
  Put16(file, 4, 1);
  file[6] = 32;
  file[7] = 32;
  Put16(file, 10, type == 1 ? 1 : 0);
  Put16(file, 12, type == 1 ? 32 : 0);
  Put32(file, 14, static_cast<uint32_t>(image.size()));
  Put32(file, 18, 22);
  std::copy(image.begin(), image.end(), file.begin() + 22);
  return file;
}

TEST_F(Win32Test, IconsAndCursorsComeBackDrawnOnWhite) {
  for (uint16_t type : {1, 2}) {
    const Hbitmap bitmap = ws.PictureToBitmap(IconFile(type, RedHalfIconImage()));
    ASSERT_NE(bitmap, 0u) << "type " << type;
    const auto block = ws.BitmapToPixels(bitmap);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->width, 32);
    EXPECT_EQ(block->height, 32);
    EXPECT_EQ(Rgb(block->pixels, 32, 4, 4), 0xFF0000u) << "type " << type;
    EXPECT_EQ(Rgb(block->pixels, 32, 28, 28), 0xFFFFFFu) << "type " << type;
    ws.DeleteBitmap(bitmap);
  }
}

TEST_F(Win32Test, AJpegIsDecodedByTheSystemsPictureLoader) {
  const Hbitmap bitmap = ws.PictureToBitmap(kRedBlueJpeg);
  ASSERT_NE(bitmap, 0u);
  const auto block = ws.BitmapToPixels(bitmap);
  ASSERT_TRUE(block);
  EXPECT_EQ(block->width, 16);
  EXPECT_EQ(block->height, 8);
  auto near = [](uint32_t pixel, uint32_t want) {
    for (int shift : {0, 8, 16}) {
      const int a = static_cast<int>((pixel >> shift) & 0xFF), b = static_cast<int>((want >> shift) & 0xFF);
      if (std::abs(a - b) > 24) return false;
    }
    return true;
  };
  EXPECT_TRUE(near(Rgb(block->pixels, 16, 2, 2), 0xFF0000)) << std::hex << Rgb(block->pixels, 16, 2, 2);
  EXPECT_TRUE(near(Rgb(block->pixels, 16, 13, 6), 0x0000FF)) << std::hex << Rgb(block->pixels, 16, 13, 6);
  ws.DeleteBitmap(bitmap);
}

TEST_F(Win32Test, UnreadablePicturesGiveNoBitmap) {
  Bytes garbage(100);
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 37 + 11);
  Bytes truncatedBmp = SmallBmp();
  truncatedBmp.resize(30);
  Bytes iconPastEnd = IconFile(1, RedHalfIconImage());
  iconPastEnd.resize(iconPastEnd.size() - 10);
  Bytes truncatedJpeg(kRedBlueJpeg.begin(), kRedBlueJpeg.begin() + 40);
  for (const Bytes& bytes : {Bytes{}, Bytes{'B', 'M', 0}, garbage, truncatedBmp, iconPastEnd, truncatedJpeg}) {
    const Hbitmap bitmap = ws.PictureToBitmap(bytes);
    EXPECT_EQ(bitmap, 0u) << bytes.size() << " bytes";
    if (bitmap != 0) ws.DeleteBitmap(bitmap);
  }
  EXPECT_FALSE(ws.BitmapSize(0));
  EXPECT_FALSE(ws.BitmapToPixels(0));
}

// --- text

TEST_F(Win32Test, GbkTextReachesTheWideCallsIntact) {
  EXPECT_EQ(Win32WindowSystem::WideText("\xD1\xA9"), std::wstring(1, L'\x96EA'));  // snow
  EXPECT_EQ(Win32WindowSystem::WideText("a\xB9\xD8\xD3\xDA!"), (std::wstring{L'a', L'\x5173', L'\x4E8E', L'!'}));
  EXPECT_EQ(Win32WindowSystem::WideText(""), std::wstring());
}

TEST_F(Win32Test, TextIsMeasuredAndDrawnLineByLine) {
  const TextExtent ab = ws.MeasureText(0, "ab");
  const TextExtent abab = ws.MeasureText(0, "abab");
  ASSERT_GT(ab.width, 0);
  ASSERT_GT(ab.height, 0);
  EXPECT_GT(abab.width, ab.width);
  EXPECT_EQ(abab.height, ab.height);

  const int32_t h = ab.height;
  const std::array<GbkText, 2> lines = {"ab", "ab"};
  const std::array<int32_t, 2> tops = {0, h + 2};
  const PixelBlock block = ws.DrawTextLines(0, lines, tops, 0x000000, 0xFFFFFF, ab.width, 2 * h + 2);
  ASSERT_EQ(block.width, ab.width);
  ASSERT_EQ(block.height, 2 * h + 2);
  auto inkIn = [&](int32_t top, int32_t bottom) {
    int ink = 0;
    for (int32_t y = top; y < bottom; ++y) {
      for (int32_t x = 0; x < block.width; ++x) ink += Rgb(block.pixels, block.width, x, y) != 0xFFFFFF;
    }
    return ink;
  };
  EXPECT_GT(inkIn(0, h), 0);
  EXPECT_GT(inkIn(h + 2, 2 * h + 2), 0);
  EXPECT_EQ(inkIn(h, h + 2), 0);  // the gap between the lines

  // More lines than tops: only the lines with a top are drawn.
  const std::array<GbkText, 2> two = {"ab", "ab"};
  const std::array<int32_t, 1> one = {0};
  EXPECT_EQ(ws.DrawTextLines(0, two, one, 0, 0xFFFFFF, ab.width, h).height, h);
  EXPECT_EQ(ws.DrawTextLines(0, two, one, 0, 0xFFFFFF, 0, h).pixels.size(), 0u);
}

Bytes LogFont(int32_t height, const char* face) {
  Bytes b(60, 0);
  Put32(b, 0, static_cast<uint32_t>(height));
  Put32(b, 16, 400);
  std::memcpy(b.data() + 28, face, std::strlen(face));
  return b;
}

TEST_F(Win32Test, FontsComeFromSixtyByteBlocks) {
  const Hfont big = ws.CreateFontFromLogFont(LogFont(-40, "Tahoma"));
  ASSERT_NE(big, 0u);
  EXPECT_GT(ws.MeasureText(big, "ab").height, ws.MeasureText(0, "ab").height);
  ws.DeleteFont(big);
  Bytes shortBlock = LogFont(-40, "Tahoma");
  shortBlock.pop_back();
  EXPECT_EQ(ws.CreateFontFromLogFont(shortBlock), 0u);
  ws.DeleteFont(0);
}

// --- external routines

TEST_F(Win32Test, ExternalRoutinesAreFoundByNameAndGivenTheirArguments) {
  Recorder& r = NewRecorder();
  const Hwnd h = Create(r, WS_POPUP | WS_CLIPCHILDREN);
  ASSERT_NE(h, 0u);
  const uintptr_t getLong = ws.ResolveExternalRoutine("GetWindowLongA");
  ASSERT_NE(getLong, 0u);
  EXPECT_EQ(ws.ResolveExternalRoutine("GetWindowLongA"), getLong);

  const std::array<intptr_t, 2> args = {static_cast<intptr_t>(h), GWL_STYLE};
  const ExternalCallResult style = ws.CallExternalRoutine(getLong, args);
  EXPECT_EQ(style.consumed, 2);
  // WS_POPUP is the top bit: the 32-bit result comes back sign-extended.
  EXPECT_EQ(style.result, static_cast<intptr_t>(ws.GetWindowLong(h, GWL_STYLE)));
  EXPECT_LT(style.result, 0);

  const uintptr_t tick = ws.ResolveExternalRoutine("GetTickCount");
  ASSERT_NE(tick, 0u);
  const uint32_t before = ws.TickCount();
  const ExternalCallResult now = ws.CallExternalRoutine(tick, {});
  EXPECT_EQ(now.consumed, 0);
  EXPECT_LE(static_cast<uint32_t>(now.result) - before, 1000u);

  EXPECT_NE(ws.ResolveExternalRoutine("SetLayeredWindowAttributes"), 0u);
  EXPECT_NE(ws.ResolveExternalRoutine("Shell_NotifyIconW"), 0u);  // shell32
  EXPECT_EQ(ws.ResolveExternalRoutine("NoSuchRoutineAnywhere"), 0u);
  EXPECT_EQ(ws.ResolveExternalRoutine(""), 0u);
  EXPECT_EQ(ws.ResolveExternalRoutine("#0"), 0u);

  const std::vector<intptr_t> tooMany(Win32WindowSystem::kMaxExternalArguments + 1, 0);
  EXPECT_EQ(ws.CallExternalRoutine(getLong, tooMany).consumed, 0);
  EXPECT_EQ(ws.CallExternalRoutine(0, args).consumed, 0);
  EXPECT_EQ(ws.CallExternalRoutine(9999, args).consumed, 0);

  ws.FreeExternalLibraries();
  EXPECT_EQ(ws.CallExternalRoutine(getLong, args).consumed, 0);
  EXPECT_NE(ws.ResolveExternalRoutine("GetWindowLongA"), 0u);
}

// --- messages and timers

TEST_F(Win32Test, PostedMessagesAreFetchedAndDispatchedAndQuitEndsTheLoop) {
  Recorder& r = NewRecorder();
  const Hwnd h = Create(r);
  ASSERT_NE(h, 0u);
  Message drain;
  while (ws.PeekMessage(drain, true)) ws.DispatchMessage(drain);

  ASSERT_TRUE(ws.PostMessage(h, WM_USER + 5, 7, 9));
  Message msg;
  ASSERT_TRUE(ws.PeekMessage(msg, false));
  EXPECT_EQ(msg.message, WM_USER + 5);
  ASSERT_TRUE(ws.GetMessage(msg));
  EXPECT_EQ(msg.hwnd, h);
  EXPECT_EQ(msg.message, WM_USER + 5);
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(msg.lParam, 9);
  ws.DispatchMessage(msg);
  ASSERT_TRUE(r.Saw(WM_USER + 5));

  ws.PostQuitMessage(3);
  EXPECT_FALSE(ws.GetMessage(msg));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(Win32Test, ATimerTicksUntilKilled) {
  Recorder& r = NewRecorder();
  const Hwnd h = Create(r);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(ws.SetTimer(h, 7, 10));
  ASSERT_TRUE(PumpUntil([&] {
    return std::any_of(r.seen.begin(), r.seen.end(),
                       [](const Message& m) { return m.message == WM_TIMER && m.wParam == 7; });
  }));
  EXPECT_TRUE(ws.KillTimer(h, 7));
  EXPECT_FALSE(ws.KillTimer(h, 7));
}

// --- tray, menus, system

TEST_F(Win32Test, TrayIconsAreMadeFromIconImagesAndShownInTheNotificationArea) {
  const Bytes image = RedHalfIconImage();
  const Hicon icon = ws.CreateIconFromResourceEx(image, 32, 32);
  ASSERT_NE(icon, 0u);
  EXPECT_EQ(ws.CreateIconFromResourceEx(std::span(image).first(image.size() - 1), 32, 32), 0u);
  EXPECT_EQ(ws.CreateIconFromResourceEx({}, 32, 32), 0u);

  Recorder& r = NewRecorder();
  const Hwnd h = Create(r);
  ASSERT_NE(h, 0u);
  NotifyIconData data;
  data.hwnd = h;
  data.id = 100;
  data.flags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.callbackMessage = WM_TRAYNOTIFY;
  data.icon = icon;
  std::memset(data.tip, 'x', sizeof data.tip);  // no terminator: the tip stops at the field's end
  EXPECT_TRUE(ws.ShellNotifyIcon(NIM_ADD, data));
  EXPECT_TRUE(ws.ShellNotifyIcon(NIM_MODIFY, data));
  EXPECT_TRUE(ws.ShellNotifyIcon(NIM_DELETE, data));
  EXPECT_TRUE(ws.DestroyIcon(icon));
}

TEST_F(Win32Test, MenusTakeGbkItemsSeparatorsAndSubmenus) {
  const Hmenu sub = ws.CreatePopupMenu();
  const Hmenu menu = ws.CreatePopupMenu();
  ASSERT_NE(sub, 0u);
  ASSERT_NE(menu, 0u);
  EXPECT_TRUE(ws.AppendMenu(sub, MenuItem{MF_STRING | MF_CHECKED, 3, 0, "x\tCtrl+X"}));
  EXPECT_TRUE(ws.AppendMenu(menu, MenuItem{MF_STRING, 1, 0, "\xB9\xD8\xD3\xDA"}));
  EXPECT_TRUE(ws.AppendMenu(menu, MenuItem{MF_SEPARATOR, 0, 0, ""}));
  EXPECT_TRUE(ws.AppendMenu(menu, MenuItem{MF_STRING | MF_GRAYED, 2, 0, "\xCD\xCB\xB3\xF6"}));
  EXPECT_TRUE(ws.AppendMenu(menu, MenuItem{MF_POPUP, 0, sub, "more"}));
  EXPECT_TRUE(ws.DestroyMenu(menu));  // destroys the submenu with it
  EXPECT_FALSE(ws.DestroyMenu(sub));
}

TEST_F(Win32Test, TheWorkAreaAndDisplayAreTheSystems) {
  const Rect work = ws.WorkAreaNearest(0);
  EXPECT_FALSE(work.Empty());
  EXPECT_LE(work.right, ws.GetSystemMetrics(SM_CXSCREEN));
  EXPECT_LE(work.bottom, ws.GetSystemMetrics(SM_CYSCREEN));
  const auto bits = ws.DisplayBitsPerPixel();
  ASSERT_TRUE(bits);
  EXPECT_GE(*bits, 8);
}

}  // namespace
}  // namespace wintrel::win32
