#include "stage/render/compositor.h"

#include <algorithm>
#include <cstring>

#include "stage/image/sprite_image.h"

namespace wintrel::stage {
namespace {

// The clipping both operations share. False when nothing is to be copied.
bool ClipRect(int32_t dW, int32_t dH, int32_t sW, int32_t sH, int32_t& dx, int32_t& dy,
              int32_t& sx, int32_t& sy, int32_t& w, int32_t& h) {
  if (dx < 0) {
    w += dx;
    sx -= dx;
    dx = 0;
  }
  if (dy < 0) {
    h += dy;
    sy -= dy;
    dy = 0;
  }
  if (w <= 0 || h <= 0 || sx < 0 || sy < 0) return false;
  // The source rectangle must lie wholly inside the source (64-bit: no overflow).
  if (int64_t{sx} + w > sW || int64_t{sy} + h > sH) return false;
  if (int64_t{w} > int64_t{dW} - dx) w = dW - dx;
  if (int64_t{h} > int64_t{dH} - dy) h = dH - dy;
  return w > 0 && h > 0;
}

}  // namespace

void CopyPixelRect(uint32_t* dst, int32_t dW, int32_t dH, const uint32_t* src, int32_t sW,
                   int32_t sH, int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w,
                   int32_t h) {
  if (dst == nullptr || src == nullptr) return;
  if (!ClipRect(dW, dH, sW, sH, dx, dy, sx, sy, w, h)) return;
  for (int32_t row = 0; row < h; ++row) {
    uint32_t* d = dst + static_cast<std::size_t>(dy + row) * dW + dx;
    const uint32_t* s = src + static_cast<std::size_t>(sy + row) * sW + sx;
    std::memcpy(d, s, static_cast<std::size_t>(w) * sizeof(uint32_t));
  }
}

void BlendImage(uint32_t* dst, int32_t dW, int32_t dH, const uint32_t* src, int32_t sW,
                int32_t sH, int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w, int32_t h,
                int32_t percent, uint32_t colorKey) {
  if (dst == nullptr || src == nullptr) return;
  if (!ClipRect(dW, dH, sW, sH, dx, dy, sx, sy, w, h)) return;
  const int32_t t = image::MulDiv(percent, 255, 100);
  const bool keyed = colorKey != image::kNoColorKey;
  const uint32_t k = keyed ? image::KeyToPixel(colorKey) : 0;
  for (int32_t row = 0; row < h; ++row) {
    uint32_t* d = dst + static_cast<std::size_t>(dy + row) * dW + dx;
    const uint32_t* s = src + static_cast<std::size_t>(sy + row) * sW + sx;
    for (int32_t col = 0; col < w; ++col) {
      const uint32_t sp = s[col];
      if (keyed && (sp & 0x00FFFFFFu) == k) continue;
      const int32_t o = static_cast<int32_t>(sp >> 24) + t;
      if (o <= 0) {
        d[col] = sp;
        continue;
      }
      if (o >= 255) continue;
      uint32_t dp = d[col];
      uint32_t out = dp & 0xFF000000u;  // the fourth byte stays
      for (int shift = 0; shift < 24; shift += 8) {
        const int32_t sc = static_cast<int32_t>((sp >> shift) & 0xFFu);
        const int32_t dc = static_cast<int32_t>((dp >> shift) & 0xFFu);
        const int32_t c = dc + image::MulDiv(sc - dc, 255 - o, 255);
        out |= (static_cast<uint32_t>(c) & 0xFFu) << shift;
      }
      d[col] = out;
    }
  }
}

namespace {

// MulDiv(a, b, 255) for |a| <= 255 and 0 <= b <= 255: rounded to nearest, halves away
// from zero. The product fits in 32 bits and the division by a constant is cheap.
inline int32_t MulDiv255(int32_t a, int32_t b) {
  const int32_t p = a * b;
  const int32_t sign = p >> 31;  // 0 or -1, without a branch
  const uint32_t q = (static_cast<uint32_t>((p ^ sign) - sign) + 127u) / 255u;
  return (static_cast<int32_t>(q) ^ sign) - sign;
}

}  // namespace

void BlendImageFast(uint32_t* dst, int32_t dW, int32_t dH, const uint32_t* src, int32_t sW,
                    int32_t sH, int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w,
                    int32_t h, int32_t percent, uint32_t colorKey) {
  if (dst == nullptr || src == nullptr) return;
  if (!ClipRect(dW, dH, sW, sH, dx, dy, sx, sy, w, h)) return;
  const int32_t t = image::MulDiv(percent, 255, 100);
  const bool keyed = colorKey != image::kNoColorKey;
  const uint32_t k = keyed ? image::KeyToPixel(colorKey) : 0;
  // A source pixel with T + t of 255 or more leaves the destination as it is.
  const uint32_t clearFrom = t >= 255 ? 0u : static_cast<uint32_t>(255 - std::max(t, -1));
  for (int32_t row = 0; row < h; ++row) {
    uint32_t* d = dst + static_cast<std::size_t>(dy + row) * dW + dx;
    const uint32_t* s = src + static_cast<std::size_t>(sy + row) * sW + sx;
    int32_t col = 0;
    while (col < w) {
      // Pass over a run of clear pixels, two at a time where only T = 255 is clear.
      if (clearFrom == 255) {
        while (col + 2 <= w) {
          uint64_t two;
          std::memcpy(&two, s + col, sizeof two);
          if ((two & 0xFF000000FF000000ull) != 0xFF000000FF000000ull) break;
          col += 2;
        }
      }
      while (col < w && (s[col] >> 24) >= clearFrom) ++col;
      if (col == w) break;
      const uint32_t sp = s[col];
      if (keyed && (sp & 0x00FFFFFFu) == k) {
        ++col;
        continue;
      }
      const int32_t o = static_cast<int32_t>(sp >> 24) + t;
      if (o <= 0) {
        d[col++] = sp;
        continue;
      }
      const uint32_t dp = d[col];
      const int32_t weight = 255 - o;
      uint32_t out = dp & 0xFF000000u;  // the fourth byte stays
      for (int shift = 0; shift < 24; shift += 8) {
        const int32_t sc = static_cast<int32_t>((sp >> shift) & 0xFFu);
        const int32_t dc = static_cast<int32_t>((dp >> shift) & 0xFFu);
        out |= (static_cast<uint32_t>(dc + MulDiv255(sc - dc, weight)) & 0xFFu) << shift;
      }
      d[col++] = out;
    }
  }
}

}  // namespace wintrel::stage
