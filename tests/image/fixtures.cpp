#include "tests/image/fixtures.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>

namespace wintrel::image::testing {

// ---------------------------------------------------------------- PNG

namespace {
int Channels(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY: return 1;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_PALETTE: return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    default: return 4;
  }
}
void AppendToVector(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void Flush(png_structp) {}
void Put32(Bytes& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}
void PutChunk(Bytes& out, const char* type, const Bytes& data) {
  Put32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  Put32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}
}  // namespace

Bytes WritePng(const PngLayout& layout) {
  const int channels = Channels(layout.colorType);
  const size_t rowBytes = (static_cast<size_t>(layout.width) * channels * layout.bitDepth + 7) / 8;
  std::vector<Bytes> rows(layout.height, Bytes(rowBytes, 0));
  for (uint32_t y = 0; y < layout.height; ++y) {
    for (uint32_t x = 0; x < layout.width; ++x) {
      for (int c = 0; c < channels; ++c) {
        const size_t i = (static_cast<size_t>(y) * layout.width + x) * channels + c;
        const uint32_t v = layout.samples.at(i);
        const size_t bit = (static_cast<size_t>(x) * channels + c) * layout.bitDepth;
        if (layout.bitDepth == 16) {
          rows[y][bit / 8] = static_cast<uint8_t>(v >> 8);
          rows[y][bit / 8 + 1] = static_cast<uint8_t>(v);
        } else {
          rows[y][bit / 8] |= static_cast<uint8_t>(v << (8 - layout.bitDepth - bit % 8));
        }
      }
    }
  }
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("libpng could not write the test picture");
  }
  png_set_write_fn(png, &out, AppendToVector, Flush);
  png_set_IHDR(png, info, layout.width, layout.height, layout.bitDepth, layout.colorType,
               layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (const auto& c : layout.palette) palette.push_back(png_color{c[0], c[1], c[2]});
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!layout.trns.empty()) {
    png_set_tRNS(png, info, layout.trns.data(), static_cast<int>(layout.trns.size()), nullptr);
  }
  png_color_16 background{};
  if (layout.background) {
    const auto& b = *layout.background;
    background.index = static_cast<png_byte>(b[0]);
    background.red = b[0];
    background.green = b[1];
    background.blue = b[2];
    background.gray = b[0];
    png_set_bKGD(png, info, &background);
  }
  png_write_info(png, info);
  if (layout.interlaced) png_set_interlace_handling(png);
  std::vector<png_bytep> pointers;
  for (Bytes& row : rows) pointers.push_back(row.data());
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes PngWithHeaderOnly(uint32_t width, uint32_t height) {
  Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes ihdr;
  Put32(ihdr, width);
  Put32(ihdr, height);
  ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
  PutChunk(out, "IHDR", ihdr);
  Bytes raw(std::min<uint64_t>(uint64_t{height} * (1 + uint64_t{width} * 4), 4096), 0);
  Bytes packed(compressBound(static_cast<uLong>(raw.size())));
  uLongf packedSize = static_cast<uLongf>(packed.size());
  compress(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()));
  packed.resize(packedSize);
  PutChunk(out, "IDAT", packed);
  PutChunk(out, "IEND", {});
  return out;
}

// ---------------------------------------------------------------- GIF

Bytes LzwEncode(std::span<const uint8_t> indices, int minCodeSize, bool deferredClear) {
  Bytes out;
  uint32_t buffer = 0;
  int bits = 0;
  int size = minCodeSize + 1;
  const int clear = 1 << minCodeSize, end = clear + 1;
  int next = clear + 2;
  bool sinceClear = false;  // a code has been written since the last clear
  auto put = [&](int code) {
    buffer |= static_cast<uint32_t>(code) << bits;
    bits += size;
    while (bits >= 8) {
      out.push_back(static_cast<uint8_t>(buffer));
      buffer >>= 8;
      bits -= 8;
    }
  };
  std::map<std::pair<int, int>, int> table;
  auto reset = [&] {
    table.clear();
    next = clear + 2;
    size = minCodeSize + 1;
    sinceClear = false;
  };
  put(clear);
  int current = -1;
  for (uint8_t index : indices) {
    if (current < 0) {
      current = index;
      continue;
    }
    auto found = table.find({current, index});
    if (found != table.end()) {
      current = found->second;
      continue;
    }
    put(current);
    sinceClear = true;
    if (next < 4096) {
      table[{current, index}] = next++;
      if (next > (1 << size) && size < 12) ++size;
    } else if (!deferredClear) {
      put(clear);
      reset();
    }
    current = index;
  }
  if (current >= 0) {
    put(current);
    // The decoder adds an entry for this code too, which may widen the end code.
    if (sinceClear && next < 4096) {
      ++next;
      if (next > (1 << size) && size < 12) ++size;
    }
  }
  put(end);
  if (bits > 0) out.push_back(static_cast<uint8_t>(buffer));
  return out;
}

Bytes ImageData(int minCodeSize, std::span<const uint8_t> codeStream) {
  Bytes out = {static_cast<uint8_t>(minCodeSize)};
  for (size_t pos = 0; pos < codeStream.size(); pos += 255) {
    const size_t n = std::min<size_t>(255, codeStream.size() - pos);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), codeStream.begin() + pos, codeStream.begin() + pos + n);
  }
  out.push_back(0);
  return out;
}

namespace {
void Put16(Bytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
int TableBits(size_t entries) {
  int bits = 1;
  while ((size_t{1} << bits) < entries) ++bits;
  return bits;
}
void PutTable(Bytes& out, const std::vector<std::array<uint8_t, 3>>& table, int bits) {
  for (size_t i = 0; i < (size_t{1} << bits); ++i) {
    const std::array<uint8_t, 3> c = i < table.size() ? table[i] : std::array<uint8_t, 3>{0, 0, 0};
    out.insert(out.end(), c.begin(), c.end());
  }
}
}  // namespace

Bytes WriteGif(const GifLayout& layout) {
  Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
  Put16(out, layout.width);
  Put16(out, layout.height);
  const int globalBits = layout.globalTable.empty() ? 0 : TableBits(layout.globalTable.size());
  out.push_back(static_cast<uint8_t>(layout.globalTable.empty() ? 0 : 0x80 | 0x70 | (globalBits - 1)));
  out.push_back(0);  // background index
  out.push_back(0);  // aspect
  if (!layout.globalTable.empty()) PutTable(out, layout.globalTable, globalBits);
  if (layout.loopExtension) {
    const char* app = "NETSCAPE2.0";
    out.insert(out.end(), {0x21, 0xFF, 11});
    out.insert(out.end(), app, app + 11);
    out.insert(out.end(), {3, 1, 0, 0, 0});
  }
  for (const GifFrame& f : layout.frames) {
    if (layout.comment) {
      out.insert(out.end(), {0x21, 0xFE, 5, 'h', 'e', 'l', 'l', 'o', 0});
    }
    if (f.control) {
      out.insert(out.end(), {0x21, 0xF9, 4});
      out.push_back(static_cast<uint8_t>((f.disposal << 2) | (f.transparent ? 1 : 0)));
      Put16(out, f.delay);
      out.push_back(f.transparentIndex);
      out.push_back(0);
    }
    out.push_back(0x2C);
    Put16(out, f.left);
    Put16(out, f.top);
    Put16(out, f.width);
    Put16(out, f.height);
    const int localBits = f.localTable.empty() ? 0 : TableBits(f.localTable.size());
    out.push_back(static_cast<uint8_t>((f.localTable.empty() ? 0 : 0x80 | (localBits - 1)) |
                                       (f.interlaced ? 0x40 : 0)));
    if (!f.localTable.empty()) PutTable(out, f.localTable, localBits);
    std::vector<uint8_t> ordered;
    if (f.interlaced) {
      static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; ++pass) {
        for (int y = kStart[pass]; y < f.height; y += kStep[pass]) {
          ordered.insert(ordered.end(), f.indices.begin() + y * f.width, f.indices.begin() + (y + 1) * f.width);
        }
      }
    } else {
      ordered = f.indices;
    }
    const int bits = std::max(2, f.localTable.empty() ? std::max(globalBits, 1) : localBits);
    const Bytes data = ImageData(bits, LzwEncode(ordered, bits, layout.deferredClear));
    out.insert(out.end(), data.begin(), data.end());
  }
  out.push_back(0x3B);
  return out;
}

// ---------------------------------------------------------------- pixels

SpriteImage MakeImage(int32_t width, int32_t height, int frames, uint32_t key) {
  SpriteImage image;
  image.width = width;
  image.height = height;
  for (int f = 0; f < frames; ++f) {
    ImageFrame frame{key, 10 * f, std::vector<uint32_t>(static_cast<size_t>(width) * height)};
    for (size_t i = 0; i < frame.pixels.size(); ++i) {
      frame.pixels[i] = static_cast<uint32_t>(i * 2654435761u) ^ (static_cast<uint32_t>(f) << 28);
    }
    image.frames.push_back(std::move(frame));
  }
  return image;
}

uint64_t Fnv1a(const SpriteImage& image) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](uint32_t v) {
    for (int s = 0; s < 32; s += 8) {
      h ^= (v >> s) & 0xFF;
      h *= 1099511628211ull;
    }
  };
  mix(static_cast<uint32_t>(image.width));
  mix(static_cast<uint32_t>(image.height));
  for (const ImageFrame& f : image.frames) {
    mix(f.colorKey);
    mix(static_cast<uint32_t>(f.delay));
    for (uint32_t p : f.pixels) mix(p);
  }
  return h;
}

// ---------------------------------------------------------------- services

namespace {
uint32_t Le32(std::span<const uint8_t> b, size_t at) {
  return uint32_t{b[at]} | (uint32_t{b[at + 1]} << 8) | (uint32_t{b[at + 2]} << 16) | (uint32_t{b[at + 3]} << 24);
}
void PutLe32(Bytes& out, uint32_t v) {
  for (int s = 0; s < 32; s += 8) out.push_back(static_cast<uint8_t>(v >> s));
}
}  // namespace

Bytes WriteBmp(int32_t width, int32_t height, int bits, const std::vector<uint32_t>& pixels, bool topDown) {
  const size_t stride = ((static_cast<size_t>(width) * bits / 8) + 3) & ~size_t{3};
  Bytes out = {'B', 'M'};
  PutLe32(out, static_cast<uint32_t>(54 + stride * height));
  PutLe32(out, 0);
  PutLe32(out, 54);
  PutLe32(out, 40);
  PutLe32(out, static_cast<uint32_t>(width));
  PutLe32(out, static_cast<uint32_t>(topDown ? -height : height));
  out.insert(out.end(), {1, 0, static_cast<uint8_t>(bits), 0});
  for (int i = 0; i < 6; ++i) PutLe32(out, 0);
  for (int32_t r = 0; r < height; ++r) {
    const int32_t y = topDown ? r : height - 1 - r;
    const size_t start = out.size();
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
      out.insert(out.end(), {static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p >> 16)});
      if (bits == 32) out.push_back(static_cast<uint8_t>(p >> 24));
    }
    out.resize(start + stride, 0);
  }
  return out;
}

std::array<uint8_t, 60> LogFont(int32_t height) {
  std::array<uint8_t, 60> font{};
  std::memcpy(font.data(), &height, 4);
  return font;
}

ws::Hbitmap FakeServices::PictureToBitmap(std::span<const uint8_t> b) {
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || Le32(b, 14) != 40) return 0;
  const int32_t width = static_cast<int32_t>(Le32(b, 18));
  const int32_t rawHeight = static_cast<int32_t>(Le32(b, 22));
  const int bits = b[28];
  const uint32_t offset = Le32(b, 10);
  if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN || (bits != 24 && bits != 32) || Le32(b, 30) != 0) {
    return 0;
  }
  const int32_t height = rawHeight < 0 ? -rawHeight : rawHeight;
  const size_t stride = ((static_cast<size_t>(width) * bits / 8) + 3) & ~size_t{3};
  if (offset > b.size() || (b.size() - offset) / stride < static_cast<size_t>(height)) return 0;
  ws::PixelBlock block{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height)};
  for (int32_t r = 0; r < height; ++r) {
    const int32_t y = rawHeight < 0 ? r : height - 1 - r;
    const uint8_t* row = b.data() + offset + stride * r;
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t* p = row + x * (bits / 8);
      block.pixels[static_cast<size_t>(y) * width + x] =
          uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (bits == 32 ? uint32_t{p[3]} << 24 : 0);
    }
  }
  bitmaps_.push_back(std::move(block));
  ++liveBitmaps;
  return bitmaps_.size();
}

std::optional<ws::TextExtent> FakeServices::BitmapSize(ws::Hbitmap bitmap) {
  if (bitmap == 0 || bitmap > bitmaps_.size() || bitmaps_[bitmap - 1].width == 0) return std::nullopt;
  return ws::TextExtent{bitmaps_[bitmap - 1].width, bitmaps_[bitmap - 1].height};
}

std::optional<ws::PixelBlock> FakeServices::BitmapToPixels(ws::Hbitmap bitmap) {
  if (failPixels || !BitmapSize(bitmap)) return std::nullopt;
  ws::PixelBlock block = bitmaps_[bitmap - 1];
  if (shortPixels) block.pixels.pop_back();
  return block;
}

void FakeServices::DeleteBitmap(ws::Hbitmap bitmap) {
  if (!BitmapSize(bitmap)) return;
  bitmaps_[bitmap - 1] = ws::PixelBlock{};
  --liveBitmaps;
}

ws::Hfont FakeServices::CreateFontFromLogFont(std::span<const uint8_t> logFont) {
  if (logFont.size() != 60) return 0;
  int32_t height = 0;
  std::memcpy(&height, logFont.data(), 4);
  fontHeights_.push_back(height < 0 ? -height : height);
  ++liveFonts;
  ++fontsCreated;
  return fontHeights_.size();
}

void FakeServices::DeleteFont(ws::Hfont font) {
  if (font != 0 && font <= fontHeights_.size() && fontHeights_[font - 1] >= 0) {
    fontHeights_[font - 1] = -1;
    --liveFonts;
  }
}

int32_t FakeServices::FontHeight(ws::Hfont font) const {
  if (font == 0 || font > fontHeights_.size() || fontHeights_[font - 1] < 0) return kDefaultHeight;
  return fontHeights_[font - 1];
}

ws::TextExtent FakeServices::MeasureText(ws::Hfont font, const ws::GbkText& line) {
  return {static_cast<int32_t>(line.size()) * kCellWidth, FontHeight(font)};
}

ws::PixelBlock FakeServices::DrawTextLines(ws::Hfont font, std::span<const ws::GbkText> lines,
                                           std::span<const int32_t> tops, uint32_t color,
                                           uint32_t background, int32_t width, int32_t height) {
  lastTops.assign(tops.begin(), tops.end());
  lastBackground = background;
  const uint32_t bg = KeyToPixel(background), fg = KeyToPixel(color);
  const uint32_t mixed = ((bg & 0xFEFEFE) >> 1) + ((fg & 0xFEFEFE) >> 1);
  ws::PixelBlock block{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, bg)};
  const int32_t h = FontHeight(font);
  for (size_t l = 0; l < lines.size() && l < tops.size(); ++l) {
    for (size_t i = 0; i < lines[l].size(); ++i) {
      for (int32_t y = tops[l]; y < tops[l] + h && y < height; ++y) {
        for (int32_t dx = 0; dx < kCellWidth - 1; ++dx) {
          const int32_t x = static_cast<int32_t>(i) * kCellWidth + dx;
          if (x < width && y >= 0) block.pixels[static_cast<size_t>(y) * width + x] = dx == 0 ? mixed : fg;
        }
      }
    }
  }
  return block;
}

}  // namespace wintrel::image::testing
