// Pictures and text on the simulated desktop: BMP decoding into device bitmaps, icon
// images, off-screen surfaces with their fill, copy and stretch operations, and fonts.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include "platform/sim/sim_internal.h"

namespace wintrel::sim {
namespace {

using namespace ws;

constexpr int32_t kMaxSide = 32768;
constexpr size_t kMaxPixels = size_t{1} << 28;

uint16_t U16(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t U32(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
int32_t I32(std::span<const uint8_t> b, size_t at) { return static_cast<int32_t>(U32(b, at)); }

// The value of the bits of `mask` in `v`, scaled to 0..255.
uint32_t Channel(uint32_t v, uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const uint32_t m = mask >> shift;
  const uint32_t x = (v & mask) >> shift;
  return m == 0 ? 0 : (x * 255 + m / 2) / m;
}

// Decodes the pixel rows of a DIB (`rows` bottom-up unless topDown) into 0xAARRGGBB words
// (A as stored for 32-bit data, else 0).
bool DecodeRows(std::span<const uint8_t> data, int32_t w, int32_t h, bool topDown, int bpp,
                const std::vector<uint32_t>& palette, const uint32_t masks[4], bool bitfields,
                std::vector<uint32_t>& out) {
  const size_t stride = ((static_cast<size_t>(w) * bpp + 31) / 32) * 4;
  if (data.size() < stride * static_cast<size_t>(h)) return false;
  out.assign(static_cast<size_t>(w) * h, 0);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* row = data.data() + stride * static_cast<size_t>(y);
    uint32_t* dst = out.data() + static_cast<size_t>(topDown ? y : h - 1 - y) * w;
    for (int32_t x = 0; x < w; ++x) {
      uint32_t px = 0;
      switch (bpp) {
        case 1: case 2: case 4: case 8: {
          const size_t bit = static_cast<size_t>(x) * bpp;
          const uint32_t idx = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
          px = idx < palette.size() ? palette[idx] : 0;
          break;
        }
        case 16: {
          const uint32_t v = static_cast<uint32_t>(row[x * 2] | (row[x * 2 + 1] << 8));
          const uint32_t r = bitfields ? masks[0] : 0x7C00, g = bitfields ? masks[1] : 0x03E0,
                         b = bitfields ? masks[2] : 0x001F;
          px = (Channel(v, r) << 16) | (Channel(v, g) << 8) | Channel(v, b);
          break;
        }
        case 24:
          px = (static_cast<uint32_t>(row[x * 3 + 2]) << 16) |
               (static_cast<uint32_t>(row[x * 3 + 1]) << 8) | row[x * 3];
          break;
        case 32: {
          uint32_t v;
          std::memcpy(&v, row + x * 4, 4);
          if (bitfields) {
            px = (Channel(v, masks[0]) << 16) | (Channel(v, masks[1]) << 8) | Channel(v, masks[2]);
            if (masks[3]) px |= Channel(v, masks[3]) << 24;
          } else {
            px = v;
          }
          break;
        }
        default:
          return false;
      }
      dst[x] = px;
    }
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------- decoders

std::optional<PixelBlock> DecodeBmp(std::span<const uint8_t> b) {
  if (b.size() < 26 || b[0] != 'B' || b[1] != 'M') return std::nullopt;
  const uint32_t offBits = U32(b, 10);
  const uint32_t hsize = U32(b, 14);
  int32_t w = 0, h = 0;
  int bpp = 0;
  uint32_t compression = 0, colorsUsed = 0;
  size_t entry = 4;
  if (hsize == 12) {
    w = U16(b, 18);
    h = static_cast<int16_t>(U16(b, 20));
    bpp = U16(b, 24);
    entry = 3;
  } else if (hsize >= 40 && b.size() >= 14 + size_t{hsize}) {
    // The whole info header must be there: a larger one holds the colour masks.
    w = I32(b, 18);
    h = I32(b, 22);
    bpp = U16(b, 28);
    compression = U32(b, 30);
    colorsUsed = U32(b, 46);
  } else {
    return std::nullopt;
  }
  if (w <= 0 || h == 0 || w > kMaxSide || h > kMaxSide || h < -kMaxSide) return std::nullopt;
  const bool topDown = h < 0;
  const int32_t H = topDown ? -h : h;
  if (static_cast<size_t>(w) * H > kMaxPixels) return std::nullopt;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return std::nullopt;
  const bool bitfields = compression == 3 || compression == 6;
  if (compression != 0 && !bitfields) return std::nullopt;  // no RLE, JPEG or PNG inside
  if (bitfields && bpp != 16 && bpp != 32) return std::nullopt;
  uint32_t masks[4] = {0, 0, 0, 0};
  size_t paletteAt = 14 + hsize;
  if (bitfields) {
    const int n = compression == 6 ? 4 : 3;
    if (b.size() < 54 + size_t(n) * 4) return std::nullopt;
    for (int i = 0; i < n; ++i) masks[i] = U32(b, 54 + size_t(i) * 4);
    if (hsize >= 56) masks[3] = U32(b, 66);
    if (hsize == 40) paletteAt += size_t(n) * 4;
  }
  std::vector<uint32_t> palette;
  if (bpp <= 8) {
    size_t n = colorsUsed ? colorsUsed : (size_t{1} << bpp);
    n = std::min<size_t>(n, 256);
    if (paletteAt + n * entry > b.size()) return std::nullopt;
    for (size_t i = 0; i < n; ++i) {
      const size_t at = paletteAt + i * entry;
      palette.push_back((static_cast<uint32_t>(b[at + 2]) << 16) |
                        (static_cast<uint32_t>(b[at + 1]) << 8) | b[at]);
    }
  }
  if (offBits >= b.size()) return std::nullopt;
  PixelBlock out{w, H, {}};
  if (!DecodeRows(b.subspan(offBits), w, H, topDown, bpp, palette, masks, bitfields, out.pixels))
    return std::nullopt;
  return out;
}

namespace {
struct PngReader {
  std::span<const uint8_t> bytes;
  size_t at = 0;
};
void ReadPngBytes(png_structp png, png_bytep out, png_size_t n) {
  auto* r = static_cast<PngReader*>(png_get_io_ptr(png));
  if (r->at + n > r->bytes.size()) png_error(png, "truncated");
  std::memcpy(out, r->bytes.data() + r->at, n);
  r->at += n;
}
}  // namespace

std::optional<PixelBlock> DecodePng(std::span<const uint8_t> bytes) {
  if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) return std::nullopt;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return std::nullopt;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return std::nullopt;
  }
  PngReader reader{bytes, 0};
  PixelBlock out;
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return std::nullopt;
  }
  png_set_read_fn(png, &reader, &ReadPngBytes);
  png_read_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide || size_t{w} * h > kMaxPixels)
    png_error(png, "size");
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  out.width = static_cast<int32_t>(w);
  out.height = static_cast<int32_t>(h);
  out.pixels.assign(size_t{w} * h, 0);
  rows.resize(h);
  for (png_uint_32 y = 0; y < h; ++y) rows[y] = reinterpret_cast<png_bytep>(out.pixels.data() + size_t{y} * w);
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return out;
}

std::optional<PixelBlock> DecodeIconImage(std::span<const uint8_t> b) {
  if (b.size() >= 8 && png_sig_cmp(b.data(), 0, 8) == 0) return DecodePng(b);
  if (b.size() < 40) return std::nullopt;
  const uint32_t hsize = U32(b, 0);
  if (hsize < 40 || hsize > b.size()) return std::nullopt;
  const int32_t w = I32(b, 4), h2 = I32(b, 8);
  const int bpp = U16(b, 14);
  const uint32_t compression = U32(b, 16), colorsUsed = U32(b, 32);
  if (w <= 0 || h2 <= 1 || w > 1024 || h2 > 2048 || compression != 0) return std::nullopt;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return std::nullopt;
  const int32_t h = h2 / 2;
  std::vector<uint32_t> palette;
  size_t at = hsize;
  if (bpp <= 8) {
    const size_t n = std::min<size_t>(colorsUsed ? colorsUsed : (size_t{1} << bpp), 256);
    if (at + n * 4 > b.size()) return std::nullopt;
    for (size_t i = 0; i < n; ++i)
      palette.push_back((static_cast<uint32_t>(b[at + i * 4 + 2]) << 16) |
                        (static_cast<uint32_t>(b[at + i * 4 + 1]) << 8) | b[at + i * 4]);
    at += n * 4;
  }
  const uint32_t noMasks[4] = {0, 0, 0, 0};
  PixelBlock out{w, h, {}};
  if (!DecodeRows(b.subspan(at), w, h, false, bpp, palette, noMasks, false, out.pixels))
    return std::nullopt;
  const size_t xorStride = ((static_cast<size_t>(w) * bpp + 31) / 32) * 4;
  const size_t maskAt = at + xorStride * static_cast<size_t>(h);
  const size_t maskStride = ((static_cast<size_t>(w) + 31) / 32) * 4;
  const bool haveMask = maskAt + maskStride * static_cast<size_t>(h) <= b.size();
  bool anyAlpha = false;
  if (bpp == 32)
    for (uint32_t p : out.pixels) anyAlpha |= (p >> 24) != 0;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint32_t& p = out.pixels[static_cast<size_t>(y) * w + x];
      if (anyAlpha) continue;
      bool transparent = false;
      if (haveMask) {
        const uint8_t m = b[maskAt + maskStride * static_cast<size_t>(h - 1 - y) + x / 8];
        transparent = (m >> (7 - x % 8)) & 1;
      }
      p = (p & 0x00FFFFFF) | (transparent ? 0u : 0xFF000000u);
    }
  return out;
}

PixelBlock ScaleNearest(const PixelBlock& src, int32_t width, int32_t height) {
  PixelBlock out{std::max(0, width), std::max(0, height), {}};
  out.pixels.assign(static_cast<size_t>(out.width) * out.height, 0);
  if (src.width <= 0 || src.height <= 0) return out;
  for (int32_t y = 0; y < out.height; ++y) {
    const int64_t sy = (int64_t{2} * y + 1) * src.height / (int64_t{2} * out.height);
    for (int32_t x = 0; x < out.width; ++x) {
      const int64_t sx = (int64_t{2} * x + 1) * src.width / (int64_t{2} * out.width);
      out.pixels[static_cast<size_t>(y) * out.width + x] =
          src.pixels[static_cast<size_t>(sy) * src.width + static_cast<size_t>(sx)];
    }
  }
  return out;
}

// ---------------------------------------------------------------- device bitmaps

Hbitmap SimDesktop::PictureToBitmap(std::span<const uint8_t> bytes) {
  auto block = DecodeBmp(bytes);
  if (!block) return 0;
  const Hbitmap h = impl_->NewHandle();
  impl_->bitmaps[h] = std::move(*block);
  return h;
}

std::optional<TextExtent> SimDesktop::BitmapSize(Hbitmap bitmap) {
  auto it = impl_->bitmaps.find(bitmap);
  if (it == impl_->bitmaps.end()) return std::nullopt;
  return TextExtent{it->second.width, it->second.height};
}

std::optional<PixelBlock> SimDesktop::BitmapToPixels(Hbitmap bitmap) {
  auto it = impl_->bitmaps.find(bitmap);
  if (it == impl_->bitmaps.end()) return std::nullopt;
  return it->second;
}

void SimDesktop::DeleteBitmap(Hbitmap bitmap) { impl_->bitmaps.erase(bitmap); }

// ---------------------------------------------------------------- surfaces

Hsurface SimDesktop::CreateSurface(int32_t width, int32_t height, uint32_t** pixels) {
  if (pixels) *pixels = nullptr;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
      static_cast<size_t>(width) * height > kMaxPixels)
    return 0;
  auto s = std::make_unique<Surface>();
  s->width = width;
  s->height = height;
  s->pixels.assign(static_cast<size_t>(width) * height, 0);
  if (pixels) *pixels = s->pixels.data();
  const Hsurface h = impl_->NewHandle();
  impl_->surfaces[h] = std::move(s);
  return h;
}

void SimDesktop::DestroySurface(Hsurface surface) { impl_->surfaces.erase(surface); }

void SimDesktop::FillSurface(Hsurface surface, const Rect& rect, uint32_t color) {
  auto it = impl_->surfaces.find(surface);
  if (it == impl_->surfaces.end()) return;
  Surface& s = *it->second;
  const Rect c = Intersect(rect, {0, 0, s.width, s.height});
  const uint32_t px = SwapRB(color & 0x00FFFFFF);
  for (int32_t y = c.top; y < c.bottom; ++y)
    std::fill_n(s.pixels.begin() + static_cast<size_t>(y) * s.width + c.left, c.Width(), px);
}

void SimDesktop::DrawBitmap(Hsurface surface, Hbitmap bitmap, int32_t x, int32_t y) {
  auto it = impl_->surfaces.find(surface);
  auto bt = impl_->bitmaps.find(bitmap);
  if (it == impl_->surfaces.end() || bt == impl_->bitmaps.end()) return;
  Surface& s = *it->second;
  const PixelBlock& b = bt->second;
  const Rect c = Intersect({x, y, x + b.width, y + b.height}, {0, 0, s.width, s.height});
  for (int32_t yy = c.top; yy < c.bottom; ++yy)
    std::copy_n(b.pixels.begin() + static_cast<size_t>(yy - y) * b.width + (c.left - x), c.Width(),
                s.pixels.begin() + static_cast<size_t>(yy) * s.width + c.left);
}

void SimDesktop::StretchBitmap(Hsurface surface, Hbitmap bitmap, const Rect& dest, bool halftone) {
  auto it = impl_->surfaces.find(surface);
  auto bt = impl_->bitmaps.find(bitmap);
  if (it == impl_->surfaces.end() || bt == impl_->bitmaps.end() || dest.Empty()) return;
  Surface& s = *it->second;
  const PixelBlock& b = bt->second;
  if (b.width <= 0 || b.height <= 0) return;
  const int64_t dw = dest.Width(), dh = dest.Height();
  const Rect c = Intersect(dest, {0, 0, s.width, s.height});
  for (int32_t y = c.top; y < c.bottom; ++y) {
    const int64_t i = y - dest.top;
    for (int32_t x = c.left; x < c.right; ++x) {
      const int64_t j = x - dest.left;
      uint32_t px;
      if (!halftone) {
        const int64_t sx = (2 * j + 1) * b.width / (2 * dw), sy = (2 * i + 1) * b.height / (2 * dh);
        px = b.pixels[static_cast<size_t>(sy) * b.width + static_cast<size_t>(sx)];
      } else {
        // The average of the source pixels the destination pixel covers.
        const int64_t x0 = j * b.width / dw, y0 = i * b.height / dh;
        const int64_t x1 = std::max(x0 + 1, ((j + 1) * b.width + dw - 1) / dw);
        const int64_t y1 = std::max(y0 + 1, ((i + 1) * b.height + dh - 1) / dh);
        uint64_t sum[4] = {0, 0, 0, 0};
        for (int64_t sy = y0; sy < y1; ++sy)
          for (int64_t sx = x0; sx < x1; ++sx) {
            const uint32_t p = b.pixels[static_cast<size_t>(sy) * b.width + static_cast<size_t>(sx)];
            for (int k = 0; k < 4; ++k) sum[k] += (p >> (8 * k)) & 0xFF;
          }
        const uint64_t n = static_cast<uint64_t>((x1 - x0) * (y1 - y0));
        px = 0;
        for (int k = 0; k < 4; ++k) px |= static_cast<uint32_t>((sum[k] + n / 2) / n) << (8 * k);
      }
      s.pixels[static_cast<size_t>(y) * s.width + x] = px;
    }
  }
}

std::optional<PixelBlock> SimDesktop::SurfacePixels(Hsurface surface) const {
  auto it = impl_->surfaces.find(surface);
  if (it == impl_->surfaces.end()) return std::nullopt;
  return PixelBlock{it->second->width, it->second->height, it->second->pixels};
}

// ---------------------------------------------------------------- fonts and text

namespace {
FontRec FontOf(const std::map<Hfont, FontRec>& fonts, Hfont font) {
  auto it = fonts.find(font);
  return it == fonts.end() ? FontRec{} : it->second;
}
}  // namespace

Hfont SimDesktop::CreateFontFromLogFont(std::span<const uint8_t> logFont) {
  if (logFont.size() < 60) return 0;
  const int32_t height = I32(logFont, 0);
  const int32_t weight = I32(logFont, 16);
  FontRec f;
  const int32_t h = height < 0 ? -height : height;
  f.scale = h == 0 ? 1 : std::clamp((h + kCellHeight / 2) / kCellHeight, 1, 16);
  f.bold = weight >= 600;
  const Hfont handle = impl_->NewHandle();
  impl_->fonts[handle] = f;
  return handle;
}

void SimDesktop::DeleteFont(Hfont font) { impl_->fonts.erase(font); }

TextExtent SimDesktop::MeasureText(Hfont font, const GbkText& line) {
  return MeasureGbk(FontOf(impl_->fonts, font), line);
}

PixelBlock SimDesktop::DrawTextLines(Hfont font, std::span<const GbkText> lines,
                                     std::span<const int32_t> tops, uint32_t color,
                                     uint32_t background, int32_t width, int32_t height) {
  PixelBlock out{std::max(0, width), std::max(0, height), {}};
  if (static_cast<size_t>(out.width) * out.height > kMaxPixels) return {0, 0, {}};
  out.pixels.assign(static_cast<size_t>(out.width) * out.height,
                    SwapRB(background & 0x00FFFFFF));
  const FontRec f = FontOf(impl_->fonts, font);
  const size_t n = std::min(lines.size(), tops.size());
  for (size_t i = 0; i < n; ++i)
    DrawGbk(f, lines[i], 0, tops[i], SwapRB(color & 0x00FFFFFF), out.pixels.data(), out.width,
            out.height, {0, 0, out.width, out.height});
  return out;
}

// ---------------------------------------------------------------- icons

Hicon SimDesktop::CreateIconFromResourceEx(std::span<const uint8_t> imageBytes, int32_t width,
                                           int32_t height) {
  auto block = DecodeIconImage(imageBytes);
  if (!block) return 0;
  if (width > 0 && height > 0 && (width != block->width || height != block->height))
    *block = ScaleNearest(*block, width, height);
  const Hicon h = impl_->NewHandle();
  impl_->icons[h] = std::move(*block);
  return h;
}

bool SimDesktop::DestroyIcon(Hicon icon) { return impl_->icons.erase(icon) > 0; }

std::optional<PixelBlock> SimDesktop::IconPixels(Hicon icon) const {
  auto it = impl_->icons.find(icon);
  if (it == impl_->icons.end()) return std::nullopt;
  return it->second;
}

size_t SimDesktop::LiveBitmaps() const { return impl_->bitmaps.size(); }
size_t SimDesktop::LiveSurfaces() const { return impl_->surfaces.size(); }
size_t SimDesktop::LiveFonts() const { return impl_->fonts.size(); }
size_t SimDesktop::LiveIcons() const { return impl_->icons.size(); }
size_t SimDesktop::LiveMenus() const { return impl_->menus.size(); }

}  // namespace wintrel::sim
