// The stage's background buffer, the composition of the changed area, the paint
// handler and the repaint policy at the end of a tick.
#include <algorithm>
#include <new>

#include "stage/render/cartoon_box.h"
#include "stage/render/compositor.h"
#include "stage/render/stage_call.h"

namespace wintrel::stage {
namespace {

// The last forced repaint, one for the whole process.
struct ForcedRepaint {
  bool happened = false;
  uint32_t tick = 0;
};
ForcedRepaint g_forcedRepaint;

}  // namespace

std::optional<uint32_t> ForcedRepaintTick() {
  if (!g_forcedRepaint.happened) return std::nullopt;
  return g_forcedRepaint.tick;
}

void ResetForcedRepaintTick() { g_forcedRepaint = ForcedRepaint{}; }

uint32_t CartoonBox::BackgroundColor() {
  if (settings_.backColor == kSystemBackColor) return host_.Windows().GetSysColor(ws::COLOR_BTNFACE);
  return settings_.backColor;
}

void CartoonBox::ReleaseBackground() {
  if (background_.surface != 0) host_.Windows().DestroySurface(background_.surface);
  background_ = BackgroundBuffer{};
}

void CartoonBox::RebuildBackground() {
  ReleaseBackground();
  if (hwnd_ == 0) return;
  ws::WindowSystem& windows = host_.Windows();
  const ws::Rect client = windows.GetClientRect(hwnd_);
  const int32_t W = client.Width(), H = client.Height();
  if (W <= 0 || H <= 0) return;  // no buffer until the stage has an area
  uint32_t* pixels = nullptr;
  const ws::Hsurface surface = windows.CreateSurface(W, H, &pixels);
  if (surface == 0 || pixels == nullptr) {
    if (surface != 0) windows.DestroySurface(surface);
    return;
  }
  background_ = BackgroundBuffer{surface, pixels, W, H};

  // The picture is decoded again at every rebuild.
  ws::Hbitmap bitmap = settings_.pic.empty() ? 0 : windows.PictureToBitmap(settings_.pic);
  int32_t w = 0, h = 0;
  if (bitmap != 0) {
    const std::optional<ws::TextExtent> size = windows.BitmapSize(bitmap);
    if (size && size->width > 0 && size->height > 0) {
      w = size->width;
      h = size->height;
    } else {
      windows.DeleteBitmap(bitmap);
      bitmap = 0;
    }
  }
  const uint32_t color = BackgroundColor();
  const ws::Rect all{0, 0, W, H};
  if (bitmap == 0) {
    windows.FillSurface(surface, all, color);
    return;
  }
  switch (settings_.picDrawMode) {
    case kPicStretch: {
      const std::optional<int32_t> bits = windows.DisplayBitsPerPixel();
      windows.StretchBitmap(surface, bitmap, all, bits.has_value() && *bits > 16);
      break;
    }
    case kPicTile:
      for (int32_t y = 0; y < H; y += h)
        for (int32_t x = 0; x < W; x += w) windows.DrawBitmap(surface, bitmap, x, y);
      break;
    case kPicCentre:
      windows.FillSurface(surface, all, color);
      windows.DrawBitmap(surface, bitmap, (W - w) / 2, (H - h) / 2);
      break;
    default:
      windows.FillSurface(surface, all, color);
      windows.DrawBitmap(surface, bitmap, 0, 0);
      break;
  }
  windows.DeleteBitmap(bitmap);
}

void CartoonBox::EnsureBackgroundSize() {
  if (hwnd_ == 0) return;
  const ws::Rect client = host_.Windows().GetClientRect(hwnd_);
  if (background_.surface != 0 && background_.width == client.Width() &&
      background_.height == client.Height())
    return;
  RebuildBackground();
}

ComposedBlock CartoonBox::ComposeRegion(const ws::Rect& r) {
  if (r.Empty()) return {};
  const int32_t W = r.Width(), H = r.Height();
  ComposedBlock block;
  block.pixels.reset(new (std::nothrow) uint32_t[static_cast<std::size_t>(W) * static_cast<std::size_t>(H)]);
  if (!block.pixels) return {};  // that paint is skipped
  block.width = W;
  block.height = H;
  uint32_t* out = block.pixels.get();

  EnsureBackgroundSize();
  const BackgroundBuffer& bg = background_;
  const bool covered = bg.pixels != nullptr && r.left >= 0 && r.top >= 0 && r.right <= bg.width &&
                       r.bottom <= bg.height;
  if (!covered) {
    // No buffer under this rectangle: the background colour stands in for it.
    std::fill_n(out, static_cast<std::size_t>(W) * H, image::KeyToPixel(BackgroundColor()));
  }
  CopyPixelRect(out, W, H, bg.pixels, bg.width, bg.height, 0, 0, r.left, r.top, W, H);

  // List order: lowest layer first, within a layer the oldest first.
  for (const auto& record : sprites_) {
    const Sprite& s = *record;
    if (!s.visible || !Usable(s.prepared)) continue;
    const ws::Rect sr = SpriteRect(s);
    const ws::Rect part = Intersect(sr, r);
    if (part.Empty()) continue;
    const image::ImageFrame* frame = CurrentFrame(s);
    if (frame == nullptr) continue;
    BlendImage(out, W, H, frame->pixels.data(), s.prepared->width, s.prepared->height,
               part.left - r.left, part.top - r.top, part.left - sr.left, part.top - sr.top,
               part.Width(), part.Height(), s.alpha, frame->colorKey);
  }
  for (std::size_t i = 0, n = static_cast<std::size_t>(W) * H; i < n; ++i) out[i] &= 0x00FFFFFFu;
  return block;
}

void CartoonBox::PaintStage() {
  StageCall call(*this);
  ws::WindowSystem& windows = host_.Windows();
  if (hwnd_ == 0) return;
  const ws::PaintContext paint = windows.BeginPaint(hwnd_);
  const ws::Rect r = Intersect(paint.clip, windows.GetClientRect(hwnd_));
  const ComposedBlock block = ComposeRegion(r);
  if (block.pixels)
    windows.SetDIBitsToDevice(paint, r.left, r.top, block.width, block.height, block.pixels.get());
  windows.EndPaint(paint);
}

void CartoonBox::FlushRepaint(uint32_t now) {
  StageCall call(*this);
  if (g_forcedRepaint.happened && Elapsed(now, g_forcedRepaint.tick) <= kForcedRepaintInterval)
    return;  // the platform paints the pending region when it next delivers the paint
  if (hwnd_ != 0) host_.Windows().UpdateWindow(hwnd_);
  g_forcedRepaint = ForcedRepaint{true, Now()};
}

}  // namespace wintrel::stage
