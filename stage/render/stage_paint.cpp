// The stage's background buffer, the composition of the changed area, the paint
// handler and the repaint policy at the end of a tick.
#include <algorithm>
#include <new>

#include "stage/image/render_path.h"
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

int64_t Area(const ws::Rect& r) { return int64_t{r.Width()} * r.Height(); }

// True when two non-empty rectangles share a pixel.
inline bool Meet(const ws::Rect& a, const ws::Rect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

ws::Rect Bounds(const ws::Rect& a, const ws::Rect& b) {
  return ws::Rect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                  std::max(a.bottom, b.bottom)};
}

// The pieces of `within` to compose and send for a paint whose region has these
// (disjoint) rectangles: the rectangles, each joined to a recent piece whose bounding
// box with it would be at most a quarter outside the region (a flake's old and
// new places become one piece, distant flakes stay apart); the whole of `within` when the
// window system gave no rectangles. What a piece holds outside the region is composed
// like the rest and never reaches the window, whose output is clipped to the region.
constexpr size_t kLookBack = 8;

std::vector<ws::Rect> PaintParts(const std::vector<ws::Rect>& rects, const ws::Rect& within) {
  if (rects.empty()) return {within};
  struct Piece {
    ws::Rect box;
    int64_t inRegion;  // pixels of the region inside the box
  };
  std::vector<Piece> pieces;
  pieces.reserve(rects.size());
  for (const ws::Rect& rect : rects) {
    const ws::Rect part = Intersect(rect, within);
    if (part.Empty()) continue;
    const int64_t area = Area(part);
    bool joined = false;
    // The region's rectangles come top to bottom, so a rectangle's partner is among the
    // last few pieces: look no further back than that.
    const size_t from = pieces.size() > kLookBack ? pieces.size() - kLookBack : 0;
    for (size_t i = pieces.size(); i-- > from;) {
      Piece& piece = pieces[i];
      const ws::Rect both = Bounds(piece.box, part);
      const int64_t total = Area(both);
      if (4 * (total - piece.inRegion - area) <= total) {
        piece = Piece{both, piece.inRegion + area};
        joined = true;
        break;
      }
    }
    if (!joined) pieces.push_back(Piece{part, area});
  }
  std::vector<ws::Rect> parts;
  parts.reserve(pieces.size());
  for (const Piece& piece : pieces) parts.push_back(piece.box);
  return parts;
}

// Makes `block` hold at least `n` pixels; false, with the block as it was, when the
// memory cannot be had.
bool GrowBlock(std::vector<uint32_t>& block, std::size_t n) {
  if (block.size() >= n) return true;
  try {
    block.resize(n);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

constexpr std::size_t kKeptScratchPixels = std::size_t{1} << 18;
constexpr int32_t kBandRows = 32;

}  // namespace

std::optional<uint32_t> ForcedRepaintTick() {
  if (!g_forcedRepaint.happened) return std::nullopt;
  return g_forcedRepaint.tick;
}

void ResetForcedRepaintTick() { g_forcedRepaint = ForcedRepaint{}; }

void RestoreForcedRepaintTick(std::optional<uint32_t> tick) {
  g_forcedRepaint = tick ? ForcedRepaint{true, *tick} : ForcedRepaint{};
}

uint32_t CartoonBox::BackgroundColor() {
  if (settings_.backColor == kSystemBackColor) return host_.Windows().GetSysColor(ws::COLOR_BTNFACE);
  return settings_.backColor;
}

void CartoonBox::ReleaseBackground() {
  if (background_.surface != 0) host_.Windows().DestroySurface(background_.surface);
  background_ = BackgroundBuffer{};
  flatChecked_ = false;
  flatBackground_.reset();
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
  ComposeBackground(r, out, false, ws::Rect{});
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

bool CartoonBox::ComposeBackground(const ws::Rect& r, uint32_t* out, bool production,
                                   const ws::Rect& hole) {
  const int32_t W = r.Width(), H = r.Height();
  const BackgroundBuffer& bg = background_;
  const bool covered = Covered(r);
  if (production) FindPlainBackground();
  if (production && covered && flatBackground_) {
    // A plain background: the copy of its rectangle is a fill, and the hole is left for
    // the caller to fill.
    const uint32_t v = *flatBackground_;
    const ws::Rect h = Intersect(hole, r);
    const std::size_t w = static_cast<std::size_t>(W);
    if (h.Empty()) {
      std::fill_n(out, w * static_cast<std::size_t>(H), v);
      return true;
    }
    std::fill_n(out, w * static_cast<std::size_t>(h.top - r.top), v);
    for (int32_t y = h.top; y < h.bottom; ++y) {
      uint32_t* row = out + w * static_cast<std::size_t>(y - r.top);
      std::fill(row, row + (h.left - r.left), v);
      std::fill(row + (h.right - r.left), row + W, v);
    }
    std::fill(out + w * static_cast<std::size_t>(h.bottom - r.top), out + w * static_cast<std::size_t>(H), v);
    return true;
  }
  if (!covered) {
    // No buffer under this rectangle: the background colour stands in for it.
    std::fill_n(out, static_cast<std::size_t>(W) * H, image::KeyToPixel(BackgroundColor()));
  }
  CopyPixelRect(out, W, H, bg.pixels, bg.width, bg.height, 0, 0, r.left, r.top, W, H);
  return false;
}

void CartoonBox::PaintStage() {
  StageCall call(*this);
  ws::WindowSystem& windows = host_.Windows();
  if (hwnd_ == 0) return;
  const ws::PaintContext paint = windows.BeginPaint(hwnd_);
  const ws::Rect r = Intersect(paint.clip, windows.GetClientRect(hwnd_));
  if (LiteralPaths()) {
    // The whole bounding box of the pending region, in one output.
    const ComposedBlock block = ComposeRegion(r);
    if (block.pixels)
      windows.SetDIBitsToDevice(paint, r.left, r.top, block.width, block.height, block.pixels.get(),
                                block.width);
  } else if (!r.Empty()) {
    PaintPieces(paint, r);
  }
  windows.EndPaint(paint);
}

void CartoonBox::PaintPieces(const ws::PaintContext& paint, const ws::Rect& r) {
  // Only the region's own rectangles (joined where little lies between them): the output
  // is clipped to the region in any case, so nothing else would reach the window. Each
  // piece is composed as ComposeRegion composes it.
  const std::vector<ws::Rect> pieces = PaintParts(paint.rects, r);
  std::size_t largest = 0;
  for (const ws::Rect& piece : pieces) largest = std::max(largest, static_cast<std::size_t>(Area(piece)));
  // Without a block for the largest piece the paint is skipped as a whole, as the literal
  // path skips it; the next paint tries again.
  if (!GrowBlock(scratch_, largest)) return;
  EnsureBackgroundSize();
  std::vector<DrawnSprite>& drawn = drawn_;
  drawn.clear();
  bool copiesOpaqueOnly = true;  // no sprite's alpha below 0 lets a pixel with T > 0 be copied
  for (const auto& record : sprites_) {
    Sprite& s = *record;
    if (!s.visible || !Usable(s.prepared)) continue;
    const ws::Rect sr = SpriteRect(s);
    if (Intersect(sr, r).Empty()) continue;
    if (const image::ImageFrame* frame = CurrentFrame(s)) {
      drawn.push_back(DrawnSprite{sr, &s, frame, true});
      if (s.alpha < 0) copiesOpaqueOnly = false;
    }
  }
  // The drawn sprites by bands of rows of `r` (a counting sort, each band in list order),
  // so that a piece looks only at those near it.
  const int32_t top = r.top;
  auto BandOf = [top](int32_t y) { return static_cast<std::size_t>((y - top) / kBandRows); };
  const std::size_t bandCount = BandOf(r.bottom - 1) + 1;
  bandStart_.assign(bandCount + 1, 0);
  for (const DrawnSprite& d : drawn) {
    const ws::Rect part = Intersect(d.rect, r);
    for (std::size_t b = BandOf(part.top); b <= BandOf(part.bottom - 1); ++b) ++bandStart_[b + 1];
  }
  for (std::size_t b = 0; b < bandCount; ++b) bandStart_[b + 1] += bandStart_[b];
  bandSprites_.resize(bandStart_[bandCount]);
  inPiece_.assign(bandStart_.begin(), bandStart_.end() - 1);  // each band's next free place
  for (uint32_t i = 0; i < drawn.size(); ++i) {
    const ws::Rect part = Intersect(drawn[i].rect, r);
    for (std::size_t b = BandOf(part.top); b <= BandOf(part.bottom - 1); ++b)
      bandSprites_[inPiece_[b]++] = i;
  }
  // A sprite is alone when no sprite before it meets it. Pixels outside `r` are never
  // composed, so only sprites sharing a band within `r` can matter.
  for (uint32_t i = 0; i < drawn.size(); ++i) {
    const ws::Rect part = Intersect(drawn[i].rect, r);
    for (std::size_t b = BandOf(part.top); b <= BandOf(part.bottom - 1) && drawn[i].alone; ++b)
      for (uint32_t k = bandStart_[b]; k < bandStart_[b + 1]; ++k) {
        const uint32_t j = bandSprites_[k];
        if (j >= i) break;  // each band is in list order
        if (Meet(Intersect(drawn[j].rect, r), part)) {
          drawn[i].alone = false;
          break;
        }
      }
  }
  // The fourth byte is cleared as ComposeRegion clears it. Blending keeps the byte under
  // it and copies only pixels whose T is 0, so over a plain background whose fourth byte
  // is 0 there is nothing to clear.
  FindPlainBackground();
  const bool clear = !(flatBackground_ && (*flatBackground_ >> 24) == 0 && copiesOpaqueOnly);
  std::vector<uint32_t>& inPiece = inPiece_;
  for (const ws::Rect& piece : pieces) {
    const int32_t W = piece.Width(), H = piece.Height();
    const std::size_t n = static_cast<std::size_t>(W) * H;
    uint32_t* out = scratch_.data();
    // The sprites of this piece, in list order.
    inPiece.clear();
    const std::size_t b0 = BandOf(piece.top), b1 = BandOf(piece.bottom - 1);
    for (std::size_t b = b0; b <= b1; ++b)
      for (uint32_t k = bandStart_[b]; k < bandStart_[b + 1]; ++k)
        if (Meet(drawn[bandSprites_[k]].rect, piece)) inPiece.push_back(bandSprites_[k]);
    if (b1 > b0) {
      std::sort(inPiece.begin(), inPiece.end());
      inPiece.erase(std::unique(inPiece.begin(), inPiece.end()), inPiece.end());
    }
    // A piece with one sprite over a plain background is what that sprite's paint cache
    // holds, margin included, when the piece lies within it: sent from there.
    if (inPiece.size() == 1 && !clear && PlainUnder(piece)) {
      const DrawnSprite& d = drawn[inPiece.front()];
      constexpr int32_t m = PaintCache::kMargin;
      if (piece.left >= d.rect.left - m && piece.top >= d.rect.top - m &&
          piece.right <= d.rect.right + m && piece.bottom <= d.rect.bottom + m) {
        const PaintCache& cache = OverPlainBackground(*d.sprite, *d.frame, *flatBackground_);
        host_.Windows().SetDIBitsToDevice(paint, piece.left, piece.top, W, H,
                                          CacheAt(cache, d.rect, piece.left, piece.top),
                                          cache.stride);
        continue;
      }
    }
    // Where the largest sprite that nothing lies under is copied, the background need
    // not be filled first: nothing reads those pixels before the copy.
    ws::Rect hole{};
    for (uint32_t i : inPiece)
      if (drawn[i].alone) {
        const ws::Rect part = Intersect(drawn[i].rect, piece);
        if (Area(part) > Area(hole)) hole = part;
      }
    const bool plain = ComposeBackground(piece, out, true, hole);
    for (uint32_t i : inPiece) {
      const DrawnSprite& d = drawn[i];
      const ws::Rect part = Intersect(d.rect, piece);
      const int32_t w = d.sprite->prepared->width, h = d.sprite->prepared->height;
      if (d.alone && plain) {
        // Over nothing but the plain background the blend gives what it gave last time:
        // copy it.
        const PaintCache& cache = OverPlainBackground(*d.sprite, *d.frame, *flatBackground_);
        for (int32_t y = part.top; y < part.bottom; ++y) {
          const uint32_t* from = CacheAt(cache, d.rect, part.left, y);
          std::copy_n(from, part.Width(),
                      out + static_cast<std::size_t>(y - piece.top) * W + (part.left - piece.left));
        }
        continue;
      }
      BlendImageFast(out, W, H, d.frame->pixels.data(), w, h, part.left - piece.left,
                     part.top - piece.top, part.left - d.rect.left, part.top - d.rect.top,
                     part.Width(), part.Height(), d.sprite->alpha, d.frame->colorKey);
    }
    if (clear)
      for (std::size_t i = 0; i < n; ++i) out[i] &= 0x00FFFFFFu;
    host_.Windows().SetDIBitsToDevice(paint, piece.left, piece.top, W, H, out, W);
  }
  // A paint of a large area (the first one, a resize) leaves no large block behind.
  if (scratch_.size() > kKeptScratchPixels) std::vector<uint32_t>().swap(scratch_);
}

bool CartoonBox::Covered(const ws::Rect& r) const {
  const BackgroundBuffer& bg = background_;
  return bg.pixels != nullptr && r.left >= 0 && r.top >= 0 && r.right <= bg.width &&
         r.bottom <= bg.height;
}

void CartoonBox::FindPlainBackground() {
  const BackgroundBuffer& bg = background_;
  if (flatChecked_ || bg.pixels == nullptr) return;
  flatChecked_ = true;
  const std::size_t n = static_cast<std::size_t>(bg.width) * static_cast<std::size_t>(bg.height);
  const uint32_t first = bg.pixels[0];
  if (std::all_of(bg.pixels, bg.pixels + n, [first](uint32_t p) { return p == first; }))
    flatBackground_ = first;
}

const uint32_t* CartoonBox::CacheAt(const PaintCache& cache, const ws::Rect& spriteRect, int32_t x,
                                    int32_t y) {
  constexpr int32_t m = PaintCache::kMargin;
  return cache.pixels.data() + static_cast<std::size_t>(y - spriteRect.top + m) * cache.stride +
         (x - spriteRect.left + m);
}

const PaintCache& CartoonBox::OverPlainBackground(Sprite& s, const image::ImageFrame& frame,
                                                  uint32_t background) {
  const int32_t frameIndex = static_cast<int32_t>(&frame - s.prepared->frames.data());
  PaintCache* cache = s.paintCache.get();
  if (cache != nullptr && cache->image == s.prepared && cache->frame == frameIndex &&
      cache->alpha == s.alpha && cache->background == background)
    return *cache;
  if (cache == nullptr) {
    s.paintCache = std::make_shared<PaintCache>();
    cache = s.paintCache.get();
  }
  const int32_t w = s.prepared->width, h = s.prepared->height;
  cache->image = s.prepared;
  cache->frame = frameIndex;
  cache->alpha = s.alpha;
  cache->background = background;
  constexpr int32_t m = PaintCache::kMargin;
  cache->stride = w + 2 * m;
  cache->pixels.assign(static_cast<std::size_t>(cache->stride) * (h + 2 * m + 1), background);
  BlendImageFast(cache->pixels.data(), cache->stride, h + 2 * m, frame.pixels.data(), w, h, m, m, 0,
                 0, w, h, s.alpha, frame.colorKey);
  return *cache;
}

void CartoonBox::FlushRepaint(uint32_t now) {
  StageCall call(*this);
  if (g_forcedRepaint.happened && Elapsed(now, g_forcedRepaint.tick) <= kForcedRepaintInterval)
    return;  // the platform paints the pending region when it next delivers the paint
  if (hwnd_ != 0) host_.Windows().UpdateWindow(hwnd_);
  g_forcedRepaint = ForcedRepaint{true, Now()};
}

}  // namespace wintrel::stage
