// wintrel-fuzz-seeds: writes the fuzz targets' seed corpora, small inputs of every kind
// each reader takes, into <dir>/<target>/. The program's own stored data and pictures
// are among them; the rest is made here with the image tests' PNG and GIF writers.
//
//   wintrel-fuzz-seeds DIR
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/window_definition.h"
#include "assets/assets.h"
#include "platform/runtime/definition.h"
#include "stage/render/stage_settings.h"
#include "stage/sprites/template_settings.h"
#include "tests/image/fixtures.h"

namespace {

using namespace wintrel;
using Bytes = std::vector<uint8_t>;
namespace t = image::testing;

std::map<std::string, std::vector<Bytes>> g_seeds;

void Add(const std::string& target, Bytes bytes) { g_seeds[target].push_back(std::move(bytes)); }
Bytes Of(std::span<const uint8_t> s) { return Bytes(s.begin(), s.end()); }
Bytes Prefixed(uint8_t selector, const Bytes& b) {
  Bytes out{selector};
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

void Le16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Le32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// --- pictures

std::vector<uint32_t> Samples(uint32_t count, int channels, uint32_t maxValue) {
  std::vector<uint32_t> s;
  for (uint32_t i = 0; i < count * static_cast<uint32_t>(channels); ++i) s.push_back((i * 37u + 11u) % (maxValue + 1));
  return s;
}

void PngSeeds() {
  struct Kind {
    int colorType, bitDepth, channels;
    bool interlaced;
  };
  const Kind kinds[] = {
      {6, 8, 4, false}, {6, 8, 4, true}, {2, 8, 3, false}, {0, 1, 1, false}, {0, 2, 1, false},
      {0, 4, 1, true},  {0, 8, 1, false}, {4, 8, 2, false}, {2, 16, 3, false}, {6, 16, 4, true},
  };
  for (const Kind& k : kinds) {
    t::PngLayout layout;
    layout.width = 5;
    layout.height = 3;
    layout.colorType = k.colorType;
    layout.bitDepth = k.bitDepth;
    layout.interlaced = k.interlaced;
    layout.samples = Samples(15, k.channels, (1u << k.bitDepth) - 1);
    Add("picture_png", t::WritePng(layout));
  }
  t::PngLayout palette;
  palette.width = 4;
  palette.height = 4;
  palette.colorType = 3;
  palette.bitDepth = 4;
  palette.palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  palette.trns = {0, 128};
  palette.samples = Samples(16, 1, 3);
  Add("picture_png", t::WritePng(palette));
  t::PngLayout backed;
  backed.width = 3;
  backed.height = 2;
  backed.colorType = 6;
  backed.samples = Samples(6, 4, 255);
  backed.background = std::array<uint16_t, 3>{10, 20, 30};
  Add("picture_png", t::WritePng(backed));
  Add("picture_png", t::PngWithHeaderOnly(64, 64));
}

void GifSeeds() {
  const std::vector<std::array<uint8_t, 3>> table = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 0, 255}};
  auto frame = [](uint16_t x, uint16_t y, uint16_t w, uint16_t h, int disposal) {
    t::GifFrame f;
    f.left = x;
    f.top = y;
    f.width = w;
    f.height = h;
    f.disposal = disposal;
    f.delay = 10;
    for (int i = 0; i < w * h; ++i) f.indices.push_back(static_cast<uint8_t>((i / 3) % 4));
    return f;
  };
  t::GifLayout two;
  two.width = 8;
  two.height = 6;
  two.globalTable = table;
  two.frames = {frame(0, 0, 8, 6, 1), frame(2, 1, 4, 3, 2), frame(1, 1, 5, 4, 3)};
  two.frames[1].transparent = true;
  two.frames[1].transparentIndex = 1;
  two.loopExtension = true;
  two.comment = true;
  Add("picture_gif", t::WriteGif(two));
  t::GifLayout local;
  local.width = 9;
  local.height = 9;
  local.frames = {frame(0, 0, 9, 9, 0)};
  local.frames[0].localTable = table;
  local.frames[0].interlaced = true;
  local.frames[0].control = false;
  Add("picture_gif", t::WriteGif(local));
  // A picture whose code table fills up: 256 colours over enough pixels.
  t::GifLayout full;
  full.width = 48;
  full.height = 48;
  for (int i = 0; i < 256; ++i)
    full.globalTable.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7)});
  full.deferredClear = true;
  t::GifFrame big = frame(0, 0, 48, 48, 0);
  for (std::size_t i = 0; i < big.indices.size(); ++i) big.indices[i] = static_cast<uint8_t>((i * i + i / 5) & 0xFF);
  full.frames = {big};
  Add("picture_gif", t::WriteGif(full));
}

// A BMP with a BITMAPINFOHEADER (or a larger header), optional masks, a palette and rows.
Bytes Bmp(uint32_t headerSize, int32_t w, int32_t h, int bits, uint32_t compression,
          std::vector<uint32_t> masks, uint32_t paletteEntries, bool core = false) {
  Bytes dib;
  if (core) {
    Le32(dib, 12);
    Le16(dib, static_cast<uint32_t>(w));
    Le16(dib, static_cast<uint32_t>(h));
    Le16(dib, 1);
    Le16(dib, static_cast<uint32_t>(bits));
  } else {
    Le32(dib, headerSize);
    Le32(dib, static_cast<uint32_t>(w));
    Le32(dib, static_cast<uint32_t>(h));
    Le16(dib, 1);
    Le16(dib, static_cast<uint32_t>(bits));
    Le32(dib, compression);
    for (int i = 0; i < 5; ++i) Le32(dib, i == 3 ? paletteEntries : 0);
    for (uint32_t m : masks) Le32(dib, m);
    dib.resize(headerSize + (headerSize == 40 ? masks.size() * 4 : 0), 0);
    if (headerSize > 40)  // the masks live inside the larger header
      for (std::size_t i = 0; i < masks.size(); ++i)
        for (int b = 0; b < 4; ++b) dib[40 + i * 4 + b] = static_cast<uint8_t>(masks[i] >> (8 * b));
  }
  for (uint32_t i = 0; i < paletteEntries; ++i) {
    dib.push_back(static_cast<uint8_t>(i * 40));
    dib.push_back(static_cast<uint8_t>(255 - i * 20));
    dib.push_back(static_cast<uint8_t>(i * 90));
    if (!core) dib.push_back(0);
  }
  const int32_t rows = h < 0 ? -h : h;
  const std::size_t stride = ((static_cast<std::size_t>(w) * bits + 31) / 32) * 4;
  for (std::size_t i = 0; i < stride * static_cast<std::size_t>(rows); ++i) dib.push_back(static_cast<uint8_t>(i * 13 + 7));
  Bytes file = {'B', 'M'};
  Le32(file, static_cast<uint32_t>(14 + dib.size()));
  Le32(file, 0);
  const std::size_t tables = (core ? 12 : headerSize + (headerSize == 40 ? masks.size() * 4 : 0)) +
                             paletteEntries * (core ? 3 : 4);
  Le32(file, static_cast<uint32_t>(14 + tables));
  file.insert(file.end(), dib.begin(), dib.end());
  return file;
}

void OtherSeeds() {
  std::vector<uint32_t> px;
  for (uint32_t i = 0; i < 12; ++i) px.push_back(0x80000000u | (i * 0x00102030u));
  Add("picture_other", t::WriteBmp(4, 3, 24, px));
  Add("picture_other", t::WriteBmp(4, 3, 32, px, true));
  Add("picture_other", Bmp(40, 7, 3, 1, 0, {}, 2));
  Add("picture_other", Bmp(40, 5, -2, 4, 0, {}, 16));
  Add("picture_other", Bmp(40, 3, 3, 8, 0, {}, 5));
  Add("picture_other", Bmp(40, 4, 2, 16, 0, {}, 0));
  Add("picture_other", Bmp(40, 4, 2, 16, 3, {0xF800, 0x07E0, 0x001F}, 0));
  Add("picture_other", Bmp(40, 3, 2, 32, 3, {0x00FF0000, 0x0000FF00, 0x000000FF}, 0));
  Add("picture_other", Bmp(108, 3, 2, 32, 3, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, 0));
  Add("picture_other", Bmp(124, 2, 2, 32, 6, {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}, 0));
  Add("picture_other", Bmp(12, 3, 2, 8, 0, {}, 4, true));
}

// --- stored data

void StoredSeeds() {
  Add("window_definitions", Of(app::WintrelDefinitionBytes()));
  // The same window with the bulky template block left out, and a second window.
  runtime::WindowDefinitions defs = app::WintrelDefinitions();
  for (auto& u : defs.windows[0].units)
    if (!u.isMenu && u.unit.unitType == 0x00020009) u.unit.unitData.clear();
  Add("window_definitions", runtime::WriteWindowDefinitions(defs));
  runtime::StoredWindow second = defs.windows[0];
  second.id = 0x52010002;
  second.string1 = "title";
  second.units.resize(4);  // the window and its menus
  second.units[2].menu.shortcut = 5;
  second.units[3].menu.level = 2;
  second.units[3].menu.text = "-";
  defs.windows.push_back(second);
  Add("window_definitions", runtime::WriteWindowDefinitions(defs));
  // The same definitions as the program's runtime loads them.
  for (const Bytes& b : g_seeds["window_definitions"]) Add("program_definitions", b);

  for (int32_t version = 0; version <= 6; ++version) {
    runtime::WindowSettings s = app::OverlaySettings();
    s.version = version;
    if (version == 6) s.className = "Wintrel";
    if (version == 3) s.title = "\xD1\xA9";  // GBK text
    if (version == 1) s.icon = Bytes(64, 1);
    Add("window_settings", Prefixed(0, runtime::WriteWindowSettings(s)));
  }
  Add("window_settings", Prefixed(1, {}));
  Add("window_settings", Prefixed(1, runtime::WriteTimerSettings({1, 200})));
  Add("window_settings", Prefixed(1, runtime::WriteTimerSettings({0, -5})));

  stage::TemplateSettings tpl;
  tpl.zoom = 65;
  tpl.angle = 180;
  tpl.rotateFollow = 1;
  tpl.text = "AB\r\nC";
  tpl.font = Bytes(60, 0);
  tpl.destroySound = {'R', 'I', 'F', 'F'};
  Add("template_data", stage::WriteTemplateData(tpl));
  Bytes v1 = stage::WriteTemplateData(tpl);
  v1[0] = 1;  // version 1: no type and no turn type, so the blocks start 8 bytes earlier
  v1.erase(v1.begin() + 4 + 16 * 4, v1.begin() + 4 + 18 * 4);
  Add("template_data", v1);
  tpl.text.clear();
  tpl.font.clear();
  std::vector<uint32_t> px(4, 0x00FF0000u);
  tpl.picture = t::WriteBmp(2, 2, 24, px);
  Add("template_data", stage::WriteTemplateData(tpl));
  Add("template_data", app::FlakeTemplateBlock());

  Add("stage_data", app::StageBlock());
  stage::StageSettings st;
  st.backColor = 0x00F0F0F0;
  st.picDrawMode = stage::kPicCentre;
  st.font = Bytes(60, 7);
  st.pic = t::WriteBmp(2, 2, 24, px);
  Add("stage_data", stage::WriteStageData(st));
  runtime::ByteWriter v0;  // version 0: border, colour, placement and the picture only
  for (uint32_t v : {0u, 1u, 0xFF000000u, 1u}) v0.U32(v);
  v0.Counted(st.pic);
  Add("stage_data", v0.Data());

  // The stage unit: the same blocks, and a picture in every placement and border style.
  for (const Bytes& b : g_seeds["stage_data"]) Add("stage_unit", b);
  std::vector<uint32_t> wide(40 * 3);
  for (std::size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<uint32_t>(i * 0x00030507u);
  for (int32_t mode = 0; mode <= 3; ++mode) {
    stage::StageSettings placed;
    placed.border = mode + 1;
    placed.backColor = mode == 1 ? stage::kSystemBackColor : 0x00F0F0F0;
    placed.picDrawMode = mode;
    placed.pic = t::WriteBmp(40, 3, 24, wide, mode == 2);
    Add("stage_unit", stage::WriteStageData(placed));
  }
}

// --- icons

// One image of an icon file: the bitmap header (height covering colour and mask rows),
// its palette, the colour rows and the mask rows.
Bytes IconImage(int32_t w, int32_t h, int bits, uint32_t paletteEntries) {
  Bytes b;
  Le32(b, 40);
  Le32(b, static_cast<uint32_t>(w));
  Le32(b, static_cast<uint32_t>(h * 2));
  Le16(b, 1);
  Le16(b, static_cast<uint32_t>(bits));
  for (int i = 0; i < 6; ++i) Le32(b, 0);
  for (uint32_t i = 0; i < paletteEntries * 4; ++i) b.push_back(static_cast<uint8_t>(i * 11));
  const std::size_t stride = ((static_cast<std::size_t>(w) * bits + 31) / 32) * 4;
  for (std::size_t i = 0; i < stride * static_cast<std::size_t>(h); ++i) b.push_back(static_cast<uint8_t>(i * 7 + 3));
  const std::size_t mask = ((static_cast<std::size_t>(w) + 31) / 32) * 4;
  for (std::size_t i = 0; i < mask * static_cast<std::size_t>(h); ++i) b.push_back(i % 3 == 0 ? 0xF0 : 0x0F);
  return b;
}

Bytes IcoFile(const std::vector<std::pair<std::array<uint8_t, 4>, Bytes>>& images) {
  Bytes f;
  Le16(f, 0);
  Le16(f, 1);
  Le16(f, static_cast<uint32_t>(images.size()));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
  for (const auto& [entry, image] : images) {
    f.insert(f.end(), entry.begin(), entry.end());
    Le16(f, 1);
    Le16(f, 32);
    Le32(f, static_cast<uint32_t>(image.size()));
    Le32(f, offset);
    offset += static_cast<uint32_t>(image.size());
  }
  for (const auto& entry : images) f.insert(f.end(), entry.second.begin(), entry.second.end());
  return f;
}

void IconSeeds() {
  Add("ico", Of(assets::Icon()));
  t::PngLayout png;
  png.width = 16;
  png.height = 16;
  png.samples = Samples(256, 4, 255);
  Add("ico", IcoFile({{{16, 16, 16, 0}, IconImage(16, 16, 4, 16)},
                      {{32, 32, 0, 0}, IconImage(32, 32, 8, 256)},
                      {{24, 24, 0, 0}, IconImage(24, 24, 24, 0)}}));
  Add("ico", IcoFile({{{16, 16, 2, 0}, IconImage(16, 16, 1, 2)}, {{16, 16, 0, 0}, t::WritePng(png)}}));

  Add("win32_formats", Prefixed(0, IconImage(16, 16, 32, 0)));
  Add("win32_formats", Prefixed(0, Of(assets::Icon())));
  Add("win32_formats", Prefixed(1, Bmp(40, 3, 3, 8, 0, {}, 5)));
  Add("win32_formats", Prefixed(1, Bmp(40, 4, 2, 16, 3, {0xF800, 0x07E0, 0x001F}, 0)));
  Bytes wave = {'R', 'I', 'F', 'F'};
  Le32(wave, 4 + 8 + 16 + 8 + 4);
  wave.insert(wave.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Le32(wave, 16);
  for (uint32_t v : {1u, 1u}) Le16(wave, v);
  Le32(wave, 8000);
  Le32(wave, 8000);
  Le16(wave, 1);
  Le16(wave, 8);
  wave.insert(wave.end(), {'d', 'a', 't', 'a'});
  Le32(wave, 4);
  wave.insert(wave.end(), {128, 130, 126, 128});
  Add("win32_formats", Prefixed(2, wave));
  Bytes region;
  for (uint32_t v : {32u, 1u, 2u, 32u, 0u, 0u, 10u, 10u}) Le32(region, v);
  for (uint32_t v : {0u, 0u, 5u, 5u, 3u, 3u, 10u, 10u}) Le32(region, v);
  Add("win32_formats", Prefixed(3, region));
  Bytes font(60, 0);
  font[0] = 0xF4;  // height -12
  font[1] = font[2] = font[3] = 0xFF;
  const char face[] = "\xCB\xCE\xCC\xE5";  // a GBK face name
  std::copy(face, face + 4, font.begin() + 28);
  Add("win32_formats", Prefixed(4, font));
  Add("win32_formats", Prefixed(4, {'#', '1', '2'}));
  Add("win32_formats", Prefixed(4, {'G', 'e', 't', 'W', 'i', 'n', 'd', 'o', 'w', 'L', 'o', 'n', 'g', 'A'}));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wintrel-fuzz-seeds DIR\n");
    return 2;
  }
  PngSeeds();
  GifSeeds();
  OtherSeeds();
  StoredSeeds();
  IconSeeds();
  const std::filesystem::path root = argv[1];
  for (const auto& [target, seeds] : g_seeds) {
    std::filesystem::create_directories(root / target);
    for (std::size_t i = 0; i < seeds.size(); ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "seed-%02zu", i + 1);
      std::ofstream out(root / target / name, std::ios::binary);
      out.write(reinterpret_cast<const char*>(seeds[i].data()), static_cast<std::streamsize>(seeds[i].size()));
      if (!out) {
        std::fprintf(stderr, "cannot write %s\n", (root / target / name).c_str());
        return 1;
      }
    }
    std::printf("%s: %zu seeds\n", target.c_str(), seeds.size());
  }
  return 0;
}
