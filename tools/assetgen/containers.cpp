#include "tools/assetgen/containers.h"

#include <algorithm>
#include <map>
#include <span>

namespace wintrel::assetgen {
namespace {

void Le16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Le32(std::vector<uint8_t>& out, uint32_t v) {
  Le16(out, v & 0xFFFF);
  Le16(out, v >> 16);
}

// Variable-length-code compression of one image's indices, minimum code size 8.
std::vector<uint8_t> Lzw(std::span<const uint8_t> indices) {
  constexpr int kMin = 8, kClear = 1 << kMin, kEnd = kClear + 1;
  std::vector<uint8_t> out;
  uint32_t buffer = 0;
  int bits = 0, size = kMin + 1, next = kClear + 2;
  auto put = [&](int code) {
    buffer |= static_cast<uint32_t>(code) << bits;
    bits += size;
    for (; bits >= 8; bits -= 8, buffer >>= 8) out.push_back(static_cast<uint8_t>(buffer));
  };
  // child[code * 256 + index]: the code of string(code) + index, or 0.
  std::vector<uint16_t> child(4096 * 256, 0);
  put(kClear);
  int current = -1;
  for (uint8_t index : indices) {
    if (current < 0) {
      current = index;
      continue;
    }
    const uint16_t found = child[static_cast<size_t>(current) * 256 + index];
    if (found) {
      current = found;
      continue;
    }
    put(current);
    if (next < 4096) {
      child[static_cast<size_t>(current) * 256 + index] = static_cast<uint16_t>(next++);
      if (next > (1 << size) && size < 12) ++size;
    } else {
      put(kClear);
      std::fill(child.begin(), child.end(), 0);
      next = kClear + 2;
      size = kMin + 1;
    }
    current = index;
  }
  if (current >= 0) put(current);
  // The reader adds a table entry for that last code, which may widen the end code.
  if (next < 4096 && ++next > (1 << size) && size < 12) ++size;
  put(kEnd);
  if (bits > 0) out.push_back(static_cast<uint8_t>(buffer));
  return out;
}

}  // namespace

std::vector<uint8_t> EncodeIco(const Rgba& image) {
  const uint32_t w = static_cast<uint32_t>(image.width), h = static_cast<uint32_t>(image.height);
  const uint32_t colourBytes = w * h * 4;
  const uint32_t maskStride = ((w + 31) / 32) * 4;
  const uint32_t imageBytes = 40 + colourBytes + maskStride * h;
  std::vector<uint8_t> out;
  Le16(out, 0);  // reserved
  Le16(out, 1);  // icon
  Le16(out, 1);  // one image
  out.push_back(static_cast<uint8_t>(w));
  out.push_back(static_cast<uint8_t>(h));
  out.push_back(0);  // colour count
  out.push_back(0);  // reserved
  Le16(out, 0);      // planes
  Le16(out, 32);     // bits per pixel
  Le32(out, imageBytes);
  Le32(out, 22);
  // The bitmap header: the height counts the colour rows and the mask rows.
  Le32(out, 40);
  Le32(out, w);
  Le32(out, h * 2);
  Le16(out, 1);
  Le16(out, 32);
  Le32(out, 0);  // no compression
  Le32(out, colourBytes);
  for (int i = 0; i < 4; ++i) Le32(out, 0);
  for (uint32_t r = 0; r < h; ++r) {
    const uint8_t* row = image.pixels.data() + static_cast<size_t>(h - 1 - r) * w * 4;
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t* p = row + x * 4;
      out.insert(out.end(), {p[2], p[1], p[0], p[3]});
    }
  }
  for (uint32_t r = 0; r < h; ++r) {
    const uint8_t* row = image.pixels.data() + static_cast<size_t>(h - 1 - r) * w * 4;
    std::vector<uint8_t> mask(maskStride, 0);
    for (uint32_t x = 0; x < w; ++x) {
      if (row[x * 4 + 3] == 0) mask[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
    out.insert(out.end(), mask.begin(), mask.end());
  }
  return out;
}

std::vector<uint8_t> EncodeGif(const GifAnimation& a) {
  std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
  Le16(out, static_cast<uint32_t>(a.width));
  Le16(out, static_cast<uint32_t>(a.height));
  out.push_back(0xF7);  // a global table of 256 entries, 8 bits of colour resolution
  out.push_back(0);     // background index
  out.push_back(0);     // square pixels
  for (int i = 0; i < 256; ++i) {
    const std::array<uint8_t, 3> c = i < static_cast<int>(a.palette.size()) ? a.palette[i] : std::array<uint8_t, 3>{};
    out.insert(out.end(), c.begin(), c.end());
  }
  // Loop for ever.
  const char* app = "NETSCAPE2.0";
  out.insert(out.end(), {0x21, 0xFF, 11});
  out.insert(out.end(), app, app + 11);
  out.insert(out.end(), {3, 1, 0, 0, 0});
  for (const std::vector<uint8_t>& frame : a.frames) {
    // Restore after each frame, transparent index 0.
    out.insert(out.end(), {0x21, 0xF9, 4, (2 << 2) | 1});
    Le16(out, a.delay);
    out.insert(out.end(), {0, 0});
    out.push_back(0x2C);
    Le16(out, 0);
    Le16(out, 0);
    Le16(out, static_cast<uint32_t>(a.width));
    Le16(out, static_cast<uint32_t>(a.height));
    out.push_back(0);
    out.push_back(8);
    const std::vector<uint8_t> codes = Lzw(frame);
    for (size_t pos = 0; pos < codes.size(); pos += 255) {
      const size_t n = std::min<size_t>(255, codes.size() - pos);
      out.push_back(static_cast<uint8_t>(n));
      out.insert(out.end(), codes.begin() + static_cast<std::ptrdiff_t>(pos),
                 codes.begin() + static_cast<std::ptrdiff_t>(pos + n));
    }
    out.push_back(0);
  }
  out.push_back(0x3B);
  return out;
}

GifAnimation Quantise(const std::vector<Rgba>& frames, std::array<uint8_t, 3> background) {
  GifAnimation a;
  a.width = frames.at(0).width;
  a.height = frames.at(0).height;
  constexpr uint8_t kVisible = 24;  // alpha below this is left out
  auto composed = [&](const uint8_t* p, int c) {
    return (p[c] * p[3] + background[c] * (255 - p[3]) + 127) / 255;
  };
  // The coarsest step that keeps every colour: start exact, halve the precision as needed.
  for (int step = 1;; step *= 2) {
    std::map<std::array<uint8_t, 3>, uint8_t> colours;
    auto key = [&](const uint8_t* p) {
      std::array<uint8_t, 3> k{};
      for (int c = 0; c < 3; ++c) k[c] = static_cast<uint8_t>(composed(p, c) / step * step + step / 2);
      return k;
    };
    for (const Rgba& f : frames) {
      for (size_t i = 0; i < f.pixels.size(); i += 4) {
        if (f.pixels[i + 3] >= kVisible) colours.emplace(key(&f.pixels[i]), 0);
      }
    }
    if (colours.size() > 255) continue;
    a.palette = {background};
    for (auto& [c, index] : colours) {
      index = static_cast<uint8_t>(a.palette.size());
      a.palette.push_back(c);
    }
    for (const Rgba& f : frames) {
      std::vector<uint8_t> indices;
      for (size_t i = 0; i < f.pixels.size(); i += 4) {
        indices.push_back(f.pixels[i + 3] >= kVisible ? colours.at(key(&f.pixels[i])) : 0);
      }
      a.frames.push_back(std::move(indices));
    }
    return a;
  }
}

}  // namespace wintrel::assetgen
