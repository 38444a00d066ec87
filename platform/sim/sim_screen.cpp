// Painting (update regions, paints, output into each window's client surface) and the
// screen: the desktop picture, the taskbar, the composition of the windows with their
// frames, colour keys and alpha, screenshots, and the screen's settings.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include "platform/sim/sim_internal.h"

namespace wintrel::sim {
namespace {

using namespace ws;

constexpr uint32_t kTaskbarPixel = 0x00202020;
constexpr uint32_t kBorderPixel = 0x00646464;
constexpr uint32_t kActiveCaptionPixel = 0x000078D7;
constexpr uint32_t kInactiveCaptionPixel = 0x00DBDBDB;

void FillBlock(uint32_t* dst, int32_t dstW, const Rect& r, uint32_t px) {
  for (int32_t y = r.top; y < r.bottom; ++y)
    std::fill_n(dst + static_cast<size_t>(y) * dstW + r.left, r.Width(), px);
}

}  // namespace

// ---------------------------------------------------------------- update regions

void SimDesktop::Impl::Invalidate(Window* w, const Rect& clientRect, bool erase, bool children) {
  if (!Visible(w) || (w->style & WS_MINIMIZE)) return;
  const Rect r = Intersect(clientRect, ClientRect(w));
  if (r.Empty()) return;
  w->update.Add(r);
  if (erase) w->erasePending = true;
  if (!children || (w->style & WS_CLIPCHILDREN)) return;
  for (Hwnd k : w->children) {
    Window* c = Find(k);
    if (!(c->style & WS_VISIBLE)) continue;
    const Rect part = Intersect(r, c->rect);
    if (part.Empty()) continue;
    const int32_t dx = c->rect.left + c->insets.left, dy = c->rect.top + c->insets.top;
    Invalidate(c, Offset(part, -dx, -dy), erase, true);
  }
}

void SimDesktop::Impl::InvalidateAll(Window* w) {
  if (!Visible(w)) return;
  Invalidate(w, ClientRect(w), true, false);
  for (Hwnd k : w->children)
    if (Window* c = Find(k); c && (c->style & WS_VISIBLE)) InvalidateAll(c);
}

bool SimDesktop::InvalidateRect(Hwnd hwnd, const Rect* rect, bool erase) {
  Impl& I = *impl_;
  if (hwnd == 0) {
    for (Hwnd h : I.topLevel) I.InvalidateAll(I.Find(h));
    return true;
  }
  Window* w = I.Find(hwnd);
  if (!w) return false;
  I.Invalidate(w, rect ? *rect : I.ClientRect(w), erase, true);
  return true;
}

bool SimDesktop::UpdateWindow(Hwnd hwnd) {
  Impl& I = *impl_;
  Window* w = I.Find(hwnd);
  if (!w) return false;
  if (!w->update.Empty() && I.Visible(w)) I.DispatchPaint(w);
  return true;
}

PaintContext SimDesktop::BeginPaint(Hwnd hwnd) {
  Impl& I = *impl_;
  PaintContext pc;
  Window* w = I.Find(hwnd);
  if (!w) return pc;
  pc.hwnd = hwnd;
  w->update.ClipTo(I.ClientRect(w));
  pc.rects = w->update.Rects();
  pc.clip = w->update.Bounds();
  const bool erase = w->erasePending;
  w->update.Clear();
  w->erasePending = false;
  ++w->paintCount;
  pc.dc = I.nextDc++;
  ActivePaint& active = I.paints[pc.dc];
  active.hwnd = hwnd;
  active.rects = pc.rects;
  for (const Rect& r : active.rects) active.tallest = std::max(active.tallest, r.Height());
  if (erase) I.Send(hwnd, WM_ERASEBKGND, pc.dc, 0);
  return pc;
}

void SimDesktop::EndPaint(const PaintContext& paint) { impl_->paints.erase(paint.dc); }

void SimDesktop::SetDIBitsToDevice(const PaintContext& paint, int32_t x, int32_t y, int32_t width,
                                   int32_t height, const uint32_t* pixels, int32_t stride) {
  Impl& I = *impl_;
  I.outputLog.push_back({paint.hwnd, {x, y, x + width, y + height}, false});
  auto it = I.paints.find(paint.dc);
  if (it == I.paints.end() || !pixels || width <= 0 || height <= 0 || stride < width) return;
  // The system may read every row of the block whole; so does this desktop, the last pixel
  // of the last row, so that a block too short for its stride shows up under a sanitiser.
  [[maybe_unused]] const volatile uint32_t last =
      pixels[static_cast<size_t>(stride) * static_cast<size_t>(height) - 1];
  Window* w = I.Find(it->second.hwnd);
  if (!w) return;
  const Rect src{x, y, x + width, y + height};
  const Rect client{0, 0, w->surfaceW, w->surfaceH};
  // The rectangles that can meet the output start less than the tallest height above it.
  const std::vector<Rect>& rects = it->second.rects;
  const int64_t from = int64_t{src.top} - it->second.tallest + 1;
  auto first = std::lower_bound(rects.begin(), rects.end(), from,
                                [](const Rect& r, int64_t top) { return r.top < top; });
  for (auto at = first; at != rects.end(); ++at) {
    const Rect& r = *at;
    if (r.top >= src.bottom) break;
    if (!Overlap(r, src)) continue;
    const Rect c = Intersect(Intersect(r, src), client);
    if (c.Empty()) continue;
    for (int32_t yy = c.top; yy < c.bottom; ++yy) {
      const uint32_t* s = pixels + static_cast<size_t>(yy - y) * stride + (c.left - x);
      uint32_t* d = w->surface.data() + static_cast<size_t>(yy) * w->surfaceW + c.left;
      for (int32_t i = 0; i < c.Width(); ++i) d[i] = s[i] & 0x00FFFFFF;
    }
  }
}

void SimDesktop::FillRect(const PaintContext& paint, const Rect& rect, uint32_t color) {
  Impl& I = *impl_;
  I.outputLog.push_back({paint.hwnd, rect, true});
  auto it = I.paints.find(paint.dc);
  if (it == I.paints.end()) return;
  Window* w = I.Find(it->second.hwnd);
  if (!w) return;
  const Rect client{0, 0, w->surfaceW, w->surfaceH};
  const uint32_t px = SwapRB(color & 0x00FFFFFF);
  for (const Rect& r : it->second.rects) {
    const Rect c = Intersect(Intersect(r, rect), client);
    if (!c.Empty()) FillBlock(w->surface.data(), w->surfaceW, c, px);
  }
}

PixelBlock SimDesktop::ClientPixels(Hwnd hwnd) const {
  Window* w = impl_->Find(hwnd);
  if (!w) return {};
  return {w->surfaceW, w->surfaceH, w->surface};
}

std::vector<Rect> SimDesktop::PendingUpdate(Hwnd hwnd) const {
  Window* w = impl_->Find(hwnd);
  return w ? w->update.Rects() : std::vector<Rect>{};
}

Rect SimDesktop::PendingUpdateBounds(Hwnd hwnd) const {
  Window* w = impl_->Find(hwnd);
  return w ? w->update.Bounds() : Rect{};
}

int32_t SimDesktop::PaintCount(Hwnd hwnd) const {
  Window* w = impl_->Find(hwnd);
  return w ? w->paintCount : 0;
}

int32_t SimDesktop::UnvalidatedPaints() const { return impl_->unvalidatedPaints; }
const std::vector<OutputRecord>& SimDesktop::OutputLog() const { return impl_->outputLog; }
void SimDesktop::ClearOutputLog() { impl_->outputLog.clear(); }
void SimDesktop::SetTrace(bool on) { impl_->tracing = on; }
const std::vector<TracedMessage>& SimDesktop::Trace() const { return impl_->trace; }
void SimDesktop::ClearTrace() { impl_->trace.clear(); }

// ---------------------------------------------------------------- the desktop

void SimDesktop::Impl::BuildDefaultDesktop() const {
  desktopStale = false;
  if (desktopPicture && desktopPicture->width > 0 && desktopPicture->height > 0) {
    desktop = ScaleNearest(*desktopPicture, screenW, screenH);
    for (uint32_t& p : desktop.pixels) p &= 0x00FFFFFF;
    return;
  }
  // A deterministic gradient with a faint checkerboard; no pixel is 0xF0F0F0.
  desktop.width = screenW;
  desktop.height = screenH;
  desktop.pixels.assign(static_cast<size_t>(screenW) * screenH, 0);
  for (int32_t y = 0; y < screenH; ++y)
    for (int32_t x = 0; x < screenW; ++x) {
      const int32_t check = ((x / 64 + y / 64) & 1) ? 8 : 0;
      const uint32_t r = static_cast<uint32_t>(20 + 50 * y / screenH + check);
      const uint32_t g = static_cast<uint32_t>(70 + 60 * x / screenW + check);
      const uint32_t b = static_cast<uint32_t>(110 + 90 * y / screenH + check);
      desktop.pixels[static_cast<size_t>(y) * screenW + x] = (r << 16) | (g << 8) | b;
    }
}

Rect SimDesktop::Impl::TaskbarRect() const {
  if (workArea.bottom < screenH) return {0, workArea.bottom, screenW, screenH};
  if (workArea.top > 0) return {0, 0, screenW, workArea.top};
  if (workArea.right < screenW) return {workArea.right, 0, screenW, screenH};
  if (workArea.left > 0) return {0, 0, workArea.left, screenH};
  return {};
}

Rect SimDesktop::Impl::TrayIconRect(size_t index) const {
  const Rect bar = TaskbarRect();
  const int32_t n = static_cast<int32_t>(tray.size());
  const int32_t i = static_cast<int32_t>(index);
  if (bar.Empty() || bar.Width() >= bar.Height()) {
    const int32_t cy = bar.Empty() ? screenH - 12 : (bar.top + bar.bottom) / 2;
    const int32_t x = screenW - 80 - 24 * (n - i) + 4;
    return {x, cy - 8, x + 16, cy + 8};
  }
  const int32_t cx = (bar.left + bar.right) / 2;
  const int32_t y = screenH - 80 - 24 * (n - i) + 4;
  return {cx - 8, y, cx + 8, y + 16};
}


// ---------------------------------------------------------------- composition

void SimDesktop::Impl::DrawFrame(const Window* w, uint32_t* dst, int32_t dstW, int32_t dstH,
                                 int32_t ox, int32_t oy, const Rect& clip) const {
  const Rect& in = w->insets;
  if (in.left == 0 && in.top == 0 && in.right == 0 && in.bottom == 0) return;
  const int32_t W = w->rect.Width(), H = w->rect.Height();
  const Rect bounds = Intersect(Intersect({ox, oy, ox + W, oy + H}, clip), {0, 0, dstW, dstH});
  if (bounds.Empty()) return;
  const uint32_t face = SwapRB(self.GetSysColor(COLOR_BTNFACE));
  const Rect clientR{ox + in.left, oy + in.top, ox + W - in.right, oy + H - in.bottom};
  // The frame's face, then its outline, caption, menu bar and edges.
  const Rect parts[] = {{ox, oy, ox + W, clientR.top},
                        {ox, clientR.bottom, ox + W, oy + H},
                        {ox, clientR.top, clientR.left, clientR.bottom},
                        {clientR.right, clientR.top, ox + W, clientR.bottom}};
  for (const Rect& p : parts) {
    const Rect c = Intersect(p, bounds);
    if (!c.Empty()) FillBlock(dst, dstW, c, face);
  }
  auto line = [&](const Rect& r, uint32_t px) {
    const Rect c = Intersect(r, bounds);
    if (!c.Empty()) FillBlock(dst, dstW, c, px);
  };
  const uint32_t s = w->style, x = w->exStyle;
  const bool outer = (s & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME)) || (x & WS_EX_DLGMODALFRAME);
  if (outer) {
    line({ox, oy, ox + W, oy + 1}, kBorderPixel);
    line({ox, oy + H - 1, ox + W, oy + H}, kBorderPixel);
    line({ox, oy, ox + 1, oy + H}, kBorderPixel);
    line({ox + W - 1, oy, ox + W, oy + H}, kBorderPixel);
  }
  int32_t frame = 0;
  if (s & WS_THICKFRAME)
    frame = 8;
  else if ((s & WS_DLGFRAME) || (x & WS_EX_DLGMODALFRAME))
    frame = 3;
  else if (s & WS_BORDER)
    frame = 1;
  int32_t top = oy + frame;
  if ((s & WS_CAPTION) == WS_CAPTION) {
    const Window* t = w;
    while (t && t->parent) t = Find(t->parent);
    const bool isActive = t && t->hwnd == active;
    const Rect cap{ox + frame, top, ox + W - frame, top + 23};
    line(cap, isActive ? kActiveCaptionPixel : kInactiveCaptionPixel);
    DrawGbk(FontRec{}, w->title, cap.left + 6, cap.top + 5, isActive ? 0x00FFFFFF : 0x00000000, dst,
            dstW, dstH, Intersect(cap, bounds));
    top += 23;
  }
  if (w->parent == 0 && w->menu) {
    auto it = menus.find(w->menu);
    if (it != menus.end() && !it->second.items.empty()) {
      const Rect bar{ox + frame, top, ox + W - frame, top + 20};
      line(bar, 0x00FFFFFF);
      int32_t tx = bar.left + 8;
      for (const auto& item : it->second.items) {
        if (item.flags & MF_SEPARATOR) continue;
        const std::string text = item.text.substr(0, item.text.find('\t'));
        DrawGbk(FontRec{}, text, tx, bar.top + 4,
                (item.flags & (MF_GRAYED | MF_DISABLED)) ? 0x006D6D6D : 0, dst, dstW, dstH,
                Intersect(bar, bounds));
        tx += MeasureGbk(FontRec{}, text).width + 16;
      }
      top += 20;
    }
  }
  int32_t edge = 0;
  if (x & WS_EX_CLIENTEDGE) edge += 2;
  if (x & WS_EX_STATICEDGE) edge += 1;
  if (edge > 0) {
    const Rect e{clientR.left - edge, clientR.top - edge, clientR.right + edge,
                 clientR.bottom + edge};
    line({e.left, e.top, e.right, e.top + 1}, 0x00A0A0A0);
    line({e.left, e.top, e.left + 1, e.bottom}, 0x00A0A0A0);
    line({e.left, e.bottom - 1, e.right, e.bottom}, 0x00FFFFFF);
    line({e.right - 1, e.top, e.right, e.bottom}, 0x00FFFFFF);
  }
}

void SimDesktop::Impl::ComposeWindow(const Window* w, uint32_t* dst, int32_t dstW, int32_t dstH,
                                     int32_t ox, int32_t oy, const Rect& clip) const {
  if (!(w->style & WS_VISIBLE)) return;
  if (w->system != SystemKind::None && !config.drawSystemUi) return;
  const Rect whole{ox, oy, ox + w->rect.Width(), oy + w->rect.Height()};
  const Rect bounds = Intersect(Intersect(whole, clip), {0, 0, dstW, dstH});
  if (bounds.Empty()) return;
  DrawFrame(w, dst, dstW, dstH, ox, oy, bounds);
  const int32_t cx = ox + w->insets.left, cy = oy + w->insets.top;
  const Rect clientArea = Intersect({cx, cy, cx + w->surfaceW, cy + w->surfaceH}, bounds);
  if (clientArea.Empty()) return;
  for (int32_t y = clientArea.top; y < clientArea.bottom; ++y) {
    const uint32_t* s = w->surface.data() + static_cast<size_t>(y - cy) * w->surfaceW +
                        (clientArea.left - cx);
    std::copy_n(s, clientArea.Width(), dst + static_cast<size_t>(y) * dstW + clientArea.left);
  }
  for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
    const Window* c = Find(*it);
    ComposeWindow(c, dst, dstW, dstH, cx + c->rect.left, cy + c->rect.top, clientArea);
  }
}

bool SimDesktop::Impl::IsTransparentAt(const Window* top, uint32_t pixel) const {
  return (top->exStyle & WS_EX_LAYERED) && (top->layeredFlags & LWA_COLORKEY) &&
         (pixel & 0x00FFFFFF) == SwapRB(top->layeredKey);
}

std::optional<uint32_t> SimDesktop::Impl::WindowPixelAt(const Window* w, int32_t sx,
                                                        int32_t sy) const {
  const Rect r = ScreenRect(w);
  if (!Contains(r, sx, sy)) return std::nullopt;
  uint32_t px = 0;
  ComposeWindow(w, &px, 1, 1, r.left - sx, r.top - sy, {0, 0, 1, 1});
  return px;
}

void SimDesktop::Impl::ComposeArea(const Rect& area, uint32_t* dst) const {
  const int32_t W = area.Width(), H = area.Height();
  if (W <= 0 || H <= 0) return;
  // The desktop picture.
  if (desktopStale) BuildDefaultDesktop();
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const int32_t sx = area.left + x, sy = area.top + y;
      dst[static_cast<size_t>(y) * W + x] =
          (sx >= 0 && sy >= 0 && sx < desktop.width && sy < desktop.height)
              ? desktop.pixels[static_cast<size_t>(sy) * desktop.width + sx]
              : 0;
    }
  // The taskbar with the notification area's icons.
  if (config.drawSystemUi) {
    const Rect bar = Intersect(TaskbarRect(), area);
    if (!bar.Empty()) FillBlock(dst, W, Offset(bar, -area.left, -area.top), kTaskbarPixel);
    for (size_t i = 0; i < tray.size(); ++i) {
      const Rect r = TrayIconRect(i);
      const Rect c = Intersect(r, area);
      if (c.Empty()) continue;
      if (!tray[i].picture) {
        FillBlock(dst, W, Offset(c, -area.left, -area.top), 0x00808080);
        continue;
      }
      const PixelBlock pic = ScaleNearest(*tray[i].picture, r.Width(), r.Height());
      for (int32_t y = c.top; y < c.bottom; ++y)
        for (int32_t x = c.left; x < c.right; ++x) {
          const uint32_t s = pic.pixels[static_cast<size_t>(y - r.top) * pic.width + (x - r.left)];
          uint32_t& d = dst[static_cast<size_t>(y - area.top) * W + (x - area.left)];
          const uint32_t a = s >> 24;
          uint32_t out = 0;
          for (int sh = 0; sh < 24; sh += 8) {
            const uint32_t sc = (s >> sh) & 0xFF, dc = (d >> sh) & 0xFF;
            out |= ((sc * a + dc * (255 - a) + 127) / 255) << sh;
          }
          d = out;
        }
    }
  }
  // The windows, bottom to top.
  std::vector<uint32_t> layer;
  for (auto it = topLevel.rbegin(); it != topLevel.rend(); ++it) {
    const Window* w = Find(*it);
    if (!(w->style & WS_VISIBLE) || (w->style & WS_MINIMIZE)) continue;
    if (w->system != SystemKind::None && !config.drawSystemUi) continue;
    const Rect wr = ScreenRect(w);
    const Rect part = Intersect(wr, area);
    if (part.Empty()) continue;
    const bool layered = (w->exStyle & WS_EX_LAYERED) != 0;
    if (layered && !w->layeredConfigured) continue;  // not shown until its attributes are set
    const Rect local = Offset(part, -area.left, -area.top);
    if (!layered || !(w->layeredFlags & (LWA_COLORKEY | LWA_ALPHA))) {
      ComposeWindow(w, dst, W, H, wr.left - area.left, wr.top - area.top, local);
      continue;
    }
    layer.assign(static_cast<size_t>(W) * H, 0);
    ComposeWindow(w, layer.data(), W, H, wr.left - area.left, wr.top - area.top, local);
    const uint32_t a = (w->layeredFlags & LWA_ALPHA) ? w->layeredAlpha : 255;
    for (int32_t y = local.top; y < local.bottom; ++y)
      for (int32_t x = local.left; x < local.right; ++x) {
        const size_t i = static_cast<size_t>(y) * W + x;
        const uint32_t s = layer[i];
        if (IsTransparentAt(w, s)) continue;
        if (a == 255) {
          dst[i] = s;
          continue;
        }
        uint32_t out = 0;
        for (int sh = 0; sh < 24; sh += 8) {
          const uint32_t sc = (s >> sh) & 0xFF, dc = (dst[i] >> sh) & 0xFF;
          out |= ((sc * a + dc * (255 - a) + 127) / 255) << sh;
        }
        dst[i] = out;
      }
  }
}

PixelBlock SimDesktop::CaptureScreen() {
  Impl& I = *impl_;
  PixelBlock b{I.screenW, I.screenH, std::vector<uint32_t>(static_cast<size_t>(I.screenW) * I.screenH)};
  I.ComposeArea({0, 0, I.screenW, I.screenH}, b.pixels.data());
  return b;
}

uint32_t SimDesktop::ScreenPixel(int32_t x, int32_t y) {
  uint32_t px = 0;
  impl_->ComposeArea({x, y, x + 1, y + 1}, &px);
  return px;
}

bool SimDesktop::SavePng(const PixelBlock& block, const std::string& path) {
  if (block.width <= 0 || block.height <= 0 ||
      block.pixels.size() < static_cast<size_t>(block.width) * block.height)
    return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    std::fclose(f);
    return false;
  }
  std::vector<uint8_t> row(static_cast<size_t>(block.width) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(block.width),
               static_cast<png_uint_32>(block.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int32_t y = 0; y < block.height; ++y) {
    const uint32_t* s = block.pixels.data() + static_cast<size_t>(y) * block.width;
    for (int32_t x = 0; x < block.width; ++x) {
      row[static_cast<size_t>(x) * 3] = static_cast<uint8_t>(s[x] >> 16);
      row[static_cast<size_t>(x) * 3 + 1] = static_cast<uint8_t>(s[x] >> 8);
      row[static_cast<size_t>(x) * 3 + 2] = static_cast<uint8_t>(s[x]);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

bool SimDesktop::SaveScreenPng(const std::string& path) { return SavePng(CaptureScreen(), path); }

// ---------------------------------------------------------------- the screen's settings

void SimDesktop::SetDesktopPicture(PixelBlock picture) {
  impl_->desktopPicture = std::move(picture);
  impl_->desktopStale = true;
}

void SimDesktop::Impl::BroadcastToTopLevel(uint32_t message, std::uintptr_t wParam,
                                           std::intptr_t lParam) {
  // Sent by the system from outside the thread: delivered when the thread next looks
  // at its queue, to the top-level windows that exist then.
  sentFromOutside.push_back([this, message, wParam, lParam] {
    const std::vector<Hwnd> targets = topLevel;
    for (Hwnd h : targets)
      if (Window* w = Find(h); w && w->system == SystemKind::None) Send(h, message, wParam, lParam);
  });
}

void SimDesktop::Impl::RefitMaximized() {
  sentFromOutside.push_back([this] {
    const std::vector<Hwnd> targets = topLevel;
    for (Hwnd h : targets) {
      Window* w = Find(h);
      if (!w || !(w->style & WS_MAXIMIZE)) continue;
      SetPos(w, 0, workArea.left, workArea.top, workArea.Width(), workArea.Height(),
             SWP_NOZORDER | SWP_NOACTIVATE);
    }
  });
}

void SimDesktop::SetScreenSize(int32_t width, int32_t height) {
  Impl& I = *impl_;
  I.screenW = std::max(1, width);
  I.screenH = std::max(1, height);
  if (I.defaultWorkArea) {
    I.workArea = {0, 0, I.screenW, std::max(0, I.screenH - 40)};
  } else {
    I.workArea = Intersect(I.workArea, {0, 0, I.screenW, I.screenH});
  }
  I.cursor.x = std::clamp(I.cursor.x, 0, I.screenW - 1);
  I.cursor.y = std::clamp(I.cursor.y, 0, I.screenH - 1);
  I.desktopStale = true;
  I.RefitMaximized();
  I.BroadcastToTopLevel(WM_DISPLAYCHANGE, 32, PackLParam(I.screenW, I.screenH));
}

void SimDesktop::SetWorkArea(const Rect& area) {
  Impl& I = *impl_;
  I.workArea = Intersect(area, {0, 0, I.screenW, I.screenH});
  I.defaultWorkArea = false;
  I.RefitMaximized();
  I.BroadcastToTopLevel(WM_SETTINGCHANGE, 0x002F /* SPI_SETWORKAREA */, 0);
}

Rect SimDesktop::WorkArea() const { return impl_->workArea; }

Rect SimDesktop::WorkAreaNearest(Hwnd) { return impl_->workArea; }

int32_t SimDesktop::GetSystemMetrics(int32_t index) {
  Impl& I = *impl_;
  switch (index) {
    case SM_CXSCREEN: return I.screenW;
    case SM_CYSCREEN: return I.screenH;
    case 4: return 23;   // SM_CYCAPTION
    case 5: case 6: return 1;   // SM_CXBORDER, SM_CYBORDER
    case 7: case 8: return 3;   // SM_CXDLGFRAME, SM_CYDLGFRAME
    case 11: case 12: return 32;  // SM_CXICON, SM_CYICON
    case 15: return 20;  // SM_CYMENU
    case 16: return I.workArea.Width();   // SM_CXFULLSCREEN
    case 17: return I.workArea.Height() - 23;  // SM_CYFULLSCREEN
    case 32: case 33: return 4;  // SM_CXFRAME, SM_CYFRAME
    case 45: case 46: return 2;  // SM_CXEDGE, SM_CYEDGE
    case 49: case 50: return 16;  // SM_CXSMICON, SM_CYSMICON
    case 61: return I.workArea.Width();   // SM_CXMAXIMIZED
    case 62: return I.workArea.Height();  // SM_CYMAXIMIZED
    case 78: return I.screenW;  // SM_CXVIRTUALSCREEN
    case 79: return I.screenH;  // SM_CYVIRTUALSCREEN
    case 80: return 1;          // SM_CMONITORS
    case 92: return 4;          // SM_CXPADDEDBORDER
    default: return 0;
  }
}

uint32_t SimDesktop::GetSysColor(int32_t index) {
  auto it = impl_->sysColors.find(index);
  return it == impl_->sysColors.end() ? 0 : it->second;
}

void SimDesktop::SetSysColor(int32_t index, uint32_t color) {
  impl_->sysColors[index] = color & 0x00FFFFFF;
}

std::optional<int32_t> SimDesktop::DisplayBitsPerPixel() { return impl_->displayBits; }
void SimDesktop::SetDisplayBitsPerPixel(std::optional<int32_t> bits) { impl_->displayBits = bits; }

}  // namespace wintrel::sim
