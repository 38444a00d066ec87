#include "tests/stage/stage_fixture.h"

#include <png.h>

#include <algorithm>

namespace wintrel::stage::testing {

runtime::EventOutcome TestHost::RaiseUnitEvent(uint32_t windowId, uint32_t unitId,
                                               int32_t eventNumber,
                                               std::span<const int32_t> args) {
  EXPECT_EQ(windowId, kWindowId);
  EXPECT_EQ(unitId, kStageUnitId);
  events.push_back({eventNumber, std::vector<int32_t>(args.begin(), args.end())});
  if (onEvent) return onEvent(eventNumber, args);
  return {};
}

std::vector<RecordedEvent> TestHost::Of(int32_t number) const {
  std::vector<RecordedEvent> out;
  for (const RecordedEvent& e : events)
    if (e.number == number) out.push_back(e);
  return out;
}

std::vector<int32_t> TestHost::Numbers() const {
  std::vector<int32_t> out;
  for (const RecordedEvent& e : events) out.push_back(e.number);
  return out;
}

namespace {

void PutU16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void PutU32(Bytes& b, uint32_t v) {
  PutU16(b, v & 0xFFFF);
  PutU16(b, v >> 16);
}
void PutBlock(Bytes& b, const Bytes& block) {
  PutU32(b, static_cast<uint32_t>(block.size()));
  b.insert(b.end(), block.begin(), block.end());
}

void AppendToBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

}  // namespace

Bytes WritePng(int32_t width, int32_t height, const std::vector<uint32_t>& pixels) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng could not write the test picture";
    return {};
  }
  png_set_write_fn(png, &out, &AppendToBytes, nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> row(static_cast<size_t>(width) * 4);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y * width + x)];
      row[x * 4 + 0] = static_cast<uint8_t>(p >> 16);        // R
      row[x * 4 + 1] = static_cast<uint8_t>(p >> 8);         // G
      row[x * 4 + 2] = static_cast<uint8_t>(p);              // B
      row[x * 4 + 3] = static_cast<uint8_t>(255 - (p >> 24));  // alpha = 255 - T
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes WriteGif(int32_t width, int32_t height, const std::vector<std::vector<uint8_t>>& frames,
               uint16_t delayCs) {
  Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
  PutU16(b, static_cast<uint32_t>(width));
  PutU16(b, static_cast<uint32_t>(height));
  b.insert(b.end(), {0x80, 0, 0});        // a global table of 2 entries
  b.insert(b.end(), {0, 0, 0, 255, 255, 255});
  for (const auto& indices : frames) {
    b.insert(b.end(), {0x21, 0xF9, 4, 0});  // graphic control: no disposal, no transparency
    PutU16(b, delayCs);
    b.insert(b.end(), {0, 0});
    b.push_back(0x2C);
    PutU16(b, 0);
    PutU16(b, 0);
    PutU16(b, static_cast<uint32_t>(width));
    PutU16(b, static_cast<uint32_t>(height));
    b.push_back(0);
    // LZW at minimum code size 2: a clear code before every index keeps every code at
    // 3 bits and the table empty.
    std::vector<uint8_t> codes;
    uint32_t acc = 0;
    int bits = 0;
    auto put = [&](uint32_t code) {
      acc |= code << bits;
      bits += 3;
      while (bits >= 8) {
        codes.push_back(static_cast<uint8_t>(acc));
        acc >>= 8;
        bits -= 8;
      }
    };
    for (uint8_t i : indices) {
      put(4);
      put(i);
    }
    put(5);
    if (bits > 0) codes.push_back(static_cast<uint8_t>(acc));
    b.push_back(2);
    for (size_t at = 0; at < codes.size(); at += 255) {
      const size_t n = std::min<size_t>(255, codes.size() - at);
      b.push_back(static_cast<uint8_t>(n));
      b.insert(b.end(), codes.begin() + static_cast<std::ptrdiff_t>(at),
               codes.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    b.push_back(0);
  }
  b.push_back(0x3B);
  return b;
}

Bytes WriteBmp(int32_t width, int32_t height, const std::vector<uint32_t>& colors) {
  const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t dataBytes = rowBytes * static_cast<uint32_t>(height);
  Bytes b = {'B', 'M'};
  PutU32(b, 54 + dataBytes);
  PutU32(b, 0);
  PutU32(b, 54);
  PutU32(b, 40);
  PutU32(b, static_cast<uint32_t>(width));
  PutU32(b, static_cast<uint32_t>(height));  // bottom-up
  PutU16(b, 1);
  PutU16(b, 24);
  PutU32(b, 0);
  PutU32(b, dataBytes);
  PutU32(b, 2835);
  PutU32(b, 2835);
  PutU32(b, 0);
  PutU32(b, 0);
  for (int32_t y = height - 1; y >= 0; --y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t c = colors[static_cast<size_t>(y * width + x)];
      b.push_back(static_cast<uint8_t>(c));
      b.push_back(static_cast<uint8_t>(c >> 8));
      b.push_back(static_cast<uint8_t>(c >> 16));
    }
    for (uint32_t pad = static_cast<uint32_t>(width) * 3; pad < rowBytes; ++pad) b.push_back(0);
  }
  return b;
}

Bytes StageBlock(uint32_t backColor, int32_t picDrawMode, int32_t border, const Bytes& pic) {
  Bytes b;
  PutU32(b, 2);
  PutU32(b, static_cast<uint32_t>(border));
  PutU32(b, backColor);
  PutU32(b, static_cast<uint32_t>(picDrawMode));
  for (uint32_t v : {1u, 12u, 0u, 0u, 1u, 0xFFFFFFu, 0u, 0xFF000000u}) PutU32(b, v);
  PutBlock(b, {});
  PutBlock(b, pic);
  return b;
}

Bytes TemplateBlock(const TemplateValues& v) {
  Bytes b;
  PutU32(b, 3);
  const int32_t values[] = {0, 0, static_cast<int32_t>(v.transparentColor), v.alpha, v.zoom,
                            v.playGif, v.gifDelay, v.gifAutoDestroy, 0xFFFFFF, 0, 0, v.layer,
                            v.angle, v.rotateFollow, v.existTime, v.collideAllowed, v.type, 0};
  for (int32_t value : values) PutU32(b, static_cast<uint32_t>(value));
  PutBlock(b, {});
  PutBlock(b, {});
  PutBlock(b, v.picture);
  PutBlock(b, v.createSound);
  PutBlock(b, v.destroySound);
  PutBlock(b, v.collidedSound);
  return b;
}

StageTest::StageTest(sim::SimConfig config) : desk(config) {
  ResetForcedRepaintTick();
  parent = desk.CreateHostWindow("StageTestParent", ws::WS_POPUP | ws::WS_VISIBLE | ws::WS_CLIPCHILDREN,
                                 ws::Rect{0, 0, 400, 300});
}

StageTest::~StageTest() {
  if (parent != 0 && desk.IsWindow(parent)) desk.DestroyWindow(parent);
  ResetForcedRepaintTick();
}

CartoonBox* StageTest::MakeStage(int32_t width, int32_t height, const Bytes& stored, bool designer) {
  runtime::UnitCreateParams p;
  p.stored = stored;
  p.style = ws::WS_VISIBLE | ws::WS_TABSTOP;
  p.parent = parent;
  p.controlId = 3;
  p.width = width;
  p.height = height;
  p.windowId = kWindowId;
  p.unitId = kStageUnitId;
  p.designer = designer;
  stage = AsCartoonBox(CartoonBoxUnitType().CreateUnit(host, p));
  return stage;
}

CartoonObject* StageTest::MakeTemplate(const TemplateValues& values, uint32_t unitId) {
  const Bytes stored = TemplateBlock(values);
  runtime::UnitCreateParams p;
  p.stored = stored;
  p.style = 0;
  p.parent = parent;
  p.controlId = 2;
  p.left = 224;
  p.top = 144;
  p.width = 48;
  p.height = 48;
  p.windowId = kWindowId;
  p.unitId = unitId;
  return AsCartoonObject(CartoonObjectUnitType().CreateUnit(host, p));
}

CartoonObject* StageTest::SolidTemplate(int32_t w, int32_t h, uint32_t pixel, TemplateValues values) {
  values.picture = WritePng(w, h, std::vector<uint32_t>(static_cast<size_t>(w * h), pixel));
  return MakeTemplate(values);
}

std::vector<uint32_t> StageTest::Shown() {
  ws::PixelBlock block = desk.ClientPixels(stage->Window());
  for (uint32_t& p : block.pixels) p &= 0x00FFFFFFu;
  return block.pixels;
}

std::vector<uint32_t> StageTest::Reference() {
  const ws::Rect client = desk.GetClientRect(stage->Window());
  ComposedBlock block = stage->ComposeRegion(client);
  if (!block.pixels) return {};
  return std::vector<uint32_t>(block.pixels.get(),
                               block.pixels.get() + static_cast<size_t>(block.width) * block.height);
}

}  // namespace wintrel::stage::testing
