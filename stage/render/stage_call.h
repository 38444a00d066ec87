// Internal to the stage. Every stage operation that may reach the host or the window
// system holds a StageCall for its duration. A stage whose window is destroyed while
// calls are on the stack stays alive until the outermost one has returned and is
// deleted then; nothing may touch the stage after its StageCall has ended.
#pragma once
#include <algorithm>
#include <climits>
#include <cstdint>

#include "stage/render/cartoon_box.h"

namespace wintrel::stage {

class StageCall {
 public:
  explicit StageCall(CartoonBox& box) : box_(box) { ++box_.callDepth_; }
  ~StageCall() { box_.Leave(); }
  StageCall(const StageCall&) = delete;
  StageCall& operator=(const StageCall&) = delete;

 private:
  CartoonBox& box_;
};

// A position truncated toward zero, kept within 32 bits.
inline int32_t TruncToInt(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

inline int32_t SatAdd(int32_t a, int32_t b) {
  int64_t s = int64_t{a} + b;
  return static_cast<int32_t>(std::clamp<int64_t>(s, INT32_MIN, INT32_MAX));
}

// The rectangle a sprite covers with its prepared image (which must be usable).
inline ws::Rect SpriteRect(const Sprite& s) {
  const int32_t x0 = TruncToInt(s.x), y0 = TruncToInt(s.y);
  return ws::Rect{x0, y0, SatAdd(x0, s.prepared->width), SatAdd(y0, s.prepared->height)};
}

inline ws::Rect Intersect(const ws::Rect& a, const ws::Rect& b) {
  ws::Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
             std::min(a.bottom, b.bottom)};
  if (r.Empty()) return ws::Rect{};
  return r;
}

// The frame a sprite shows, or null when its pixels do not cover the image.
inline const image::ImageFrame* CurrentFrame(const Sprite& s) {
  const image::SpriteImage* img = s.prepared;
  if (!Usable(img)) return nullptr;
  const std::size_t index =
      s.frame >= 0 && s.frame < img->FrameCount() ? static_cast<std::size_t>(s.frame) : 0;
  const image::ImageFrame& f = img->frames[index];
  if (f.pixels.size() < static_cast<std::size_t>(img->width) * static_cast<std::size_t>(img->height))
    return nullptr;
  return &f;
}

// Ticks are compared by signed difference, so that they work across the 32-bit wrap.
inline int32_t Elapsed(uint32_t now, uint32_t since) { return static_cast<int32_t>(now - since); }
inline bool TickReached(uint32_t now, uint32_t t) { return Elapsed(now, t) >= 0; }
// A tick `ms` from now; 0 means "none" to the fields it goes into, so it is never 0.
inline uint32_t TickAfter(uint32_t now, int32_t ms) {
  const uint32_t t = now + static_cast<uint32_t>(ms);
  return t == 0 ? 1u : t;
}

}  // namespace wintrel::stage
