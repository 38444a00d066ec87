// wintrel-assetgen: draws the program's pictures and writes them, byte for byte the same
// on every run: the eight snowflakes, the tray icon, the template's design-time GIF, and
// a contact sheet of them all. From the top of the tree:
//   wintrel-assetgen --assets assets --sheet docs/contact-sheet.png
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/assetgen/containers.h"
#include "tools/assetgen/flake.h"
#include "tools/assetgen/png_io.h"

namespace wintrel::assetgen {
namespace {

struct FlakeFile {
  int32_t width, height;
  const char* colour;
};
constexpr FlakeFile kFlakes[8] = {
    {326, 286, "pale cyan"}, {288, 328, "pale pink"},  {288, 328, "pink"},           {288, 330, "pale peach"},
    {288, 328, "pale green"}, {326, 280, "pale mint"}, {329, 306, "pale sky blue"}, {333, 288, "pale gold"},
};
constexpr int kSamples = 5;

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "wintrel-assetgen: cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
  return true;
}

// Composes `src` (straight RGBA) over `dst` (RGB) at (x, y), shrunk by `shrink` (box
// filter over premultiplied colour) or grown by `-shrink` (nearest neighbour).
void Place(std::vector<uint8_t>& dst, int32_t dw, int32_t dh, const Rgba& src, int32_t x0, int32_t y0, int shrink) {
  const int grow = shrink < 0 ? -shrink : 1;
  const int down = shrink > 0 ? shrink : 1;
  const int32_t w = src.width * grow / down, h = src.height * grow / down;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      double acc[3] = {0, 0, 0}, alpha = 0;
      for (int sy = 0; sy < down; ++sy) {
        for (int sx = 0; sx < down; ++sx) {
          const int32_t ux = (x * down + sx) / grow, uy = (y * down + sy) / grow;
          const uint8_t* p = src.pixels.data() + (static_cast<size_t>(uy) * src.width + ux) * 4;
          const double a = p[3] / 255.0;
          for (int c = 0; c < 3; ++c) acc[c] += p[c] * a;
          alpha += a;
        }
      }
      const double n = down * down;
      const int32_t dx = x0 + x, dy = y0 + y;
      if (dx < 0 || dy < 0 || dx >= dw || dy >= dh) continue;
      uint8_t* q = dst.data() + (static_cast<size_t>(dy) * dw + dx) * 3;
      for (int c = 0; c < 3; ++c) {
        const double v = acc[c] / n + q[c] * (1.0 - alpha / n);
        q[c] = static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0)));
      }
    }
  }
}

std::optional<Rgba> Sheet(const std::vector<Rgba>& flakes, const Rgba& icon) {
  constexpr int32_t kCell = 180, kMargin = 12;
  const int32_t cells = static_cast<int32_t>(flakes.size()) + 1;
  const int32_t w = kMargin + cells * (kCell + kMargin), bandH = kCell + 2 * kMargin;
  const int32_t h = 2 * bandH;
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  const uint8_t bands[2][3] = {{0x1C, 0x23, 0x30}, {0xF0, 0xF0, 0xF0}};  // dark; the overlay's own colour
  for (int band = 0; band < 2; ++band) {
    for (int32_t y = band * bandH; y < (band + 1) * bandH; ++y) {
      for (int32_t x = 0; x < w; ++x) std::memcpy(&rgb[(static_cast<size_t>(y) * w + x) * 3], bands[band], 3);
    }
    const int32_t top = band * bandH + kMargin;
    for (size_t k = 0; k < flakes.size(); ++k) {
      const Rgba& f = flakes[k];
      const int32_t left = kMargin + static_cast<int32_t>(k) * (kCell + kMargin);
      Place(rgb, w, h, f, left + (kCell - f.width / 2) / 2, top + (kCell - f.height / 2) / 2, 2);
    }
    const int32_t left = kMargin + static_cast<int32_t>(flakes.size()) * (kCell + kMargin);
    Place(rgb, w, h, icon, left + (kCell - 128) / 2, top + 8, -4);
    Place(rgb, w, h, icon, left + (kCell - 32) / 2, top + kCell - 40, 1);
  }
  Rgba out;
  out.width = w;
  out.height = h;
  out.pixels.resize(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
    std::memcpy(&out.pixels[i * 4], &rgb[i * 3], 3);
    out.pixels[i * 4 + 3] = 255;
  }
  return out;
}

int Run(const std::string& assets, const std::string& sheet) {
  const std::vector<Design> designs = FlakeDesigns();
  std::vector<Rgba> written;
  for (int k = 0; k < 8; ++k) {
    const FlakeFile& f = kFlakes[k];
    const Rgba image = RenderFlake(designs[k], f.width, f.height, kSamples);
    PngOptions options;
    options.ancillary = true;
    options.texts = {{"Title", "Wintrel snowflake " + std::to_string(k + 1)},
                     {"Description", std::string("A six-armed snowflake in ") + f.colour + " on a clear background."},
                     {"Software", "wintrel-assetgen"}};
    const auto bytes = EncodePng(image, options);
    if (!bytes) {
      std::fprintf(stderr, "wintrel-assetgen: libpng could not write flake %d\n", k + 1);
      return 1;
    }
    std::string problem;
    const auto back = DecodePngStrict(*bytes, &problem);
    if (!back || back->pixels != image.pixels) {
      std::fprintf(stderr, "wintrel-assetgen: flake %d does not read back cleanly: %s\n", k + 1, problem.c_str());
      return 1;
    }
    if (!WriteFile(assets + "/flake" + std::to_string(k + 1) + ".png", *bytes)) return 1;
    written.push_back(*back);
  }

  Rgba icon = RenderFlake(IconDesign(), 32, 32, 8);
  if (!WriteFile(assets + "/wintrel.ico", EncodeIco(icon))) return 1;

  std::vector<Rgba> turning;
  for (int k = 0; k < 6; ++k) turning.push_back(RenderFlake(DesignGifFlake(), 100, 100, 4, k * 10.0));
  if (!WriteFile(assets + "/design.gif", EncodeGif(Quantise(turning, {0xF0, 0xF0, 0xF0})))) return 1;

  if (!sheet.empty()) {
    const auto image = Sheet(written, icon);
    const auto bytes = image ? EncodePng(*image, PngOptions{}) : std::nullopt;
    if (!bytes || !WriteFile(sheet, *bytes)) return 1;
  }
  return 0;
}

}  // namespace
}  // namespace wintrel::assetgen

int main(int argc, char** argv) {
  std::string assets = ".", sheet;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--assets" && i + 1 < argc) {
      assets = argv[++i];
    } else if (arg == "--sheet" && i + 1 < argc) {
      sheet = argv[++i];
    } else {
      std::fprintf(stderr,
                   "usage: wintrel-assetgen [--assets DIR] [--sheet FILE.png]\n"
                   "  Writes flake1.png ... flake8.png, wintrel.ico and design.gif into DIR\n"
                   "  (default: the current folder) and, with --sheet, a contact sheet.\n");
      return arg == "--help" ? 0 : 2;
    }
  }
  return wintrel::assetgen::Run(assets, sheet);
}
