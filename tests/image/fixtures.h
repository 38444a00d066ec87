// Pictures made on the spot for the image tests: PNG files of every kind through libpng,
// GIF files through a small encoder, and picture services that stand in for the window
// system's bitmap decoder and text drawing.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/seam/window_system.h"
#include "stage/image/sprite_image.h"

namespace wintrel::image::testing {

using Bytes = std::vector<uint8_t>;

// --- PNG
struct PngLayout {
  uint32_t width = 0, height = 0;
  int colorType = 6;  // PNG_COLOR_TYPE_*
  int bitDepth = 8;
  bool interlaced = false;
  std::vector<uint32_t> samples;  // per pixel, channels in file order, one value per channel
  std::vector<std::array<uint8_t, 3>> palette;
  std::vector<uint8_t> trns;      // palette alpha entries
  std::optional<std::array<uint16_t, 3>> background;  // bKGD: r, g, b (or grey/index in [0])
};
Bytes WritePng(const PngLayout& layout);
// An RGBA PNG whose header says width x height and whose data is zeros, at most 4096
// bytes of them: complete for a small picture, far too short for a large one.
Bytes PngWithHeaderOnly(uint32_t width, uint32_t height);

// --- GIF
struct GifFrame {
  uint16_t left = 0, top = 0, width = 0, height = 0;
  std::vector<uint8_t> indices;  // width * height, rows top-down
  std::vector<std::array<uint8_t, 3>> localTable;  // empty: use the global table
  bool interlaced = false;
  bool control = true;  // write a graphic control extension before the image
  int disposal = 0;
  bool transparent = false;
  uint8_t transparentIndex = 0;
  uint16_t delay = 0;
};
struct GifLayout {
  uint16_t width = 0, height = 0;
  std::vector<std::array<uint8_t, 3>> globalTable;  // power of two, 2 to 256 entries
  std::vector<GifFrame> frames;
  bool loopExtension = false;   // an application extension before the first frame
  bool comment = false;         // a comment extension before every frame
  bool deferredClear = false;   // keep coding at 12 bits when the table is full
};
Bytes WriteGif(const GifLayout& layout);
// The LZW code stream for `indices` (without the sub-block framing).
Bytes LzwEncode(std::span<const uint8_t> indices, int minCodeSize, bool deferredClear);
// Frames the code stream into sub-blocks with the minimum code size in front.
Bytes ImageData(int minCodeSize, std::span<const uint8_t> codeStream);

// --- pixels
constexpr uint32_t Pixel(uint8_t r, uint8_t g, uint8_t b, uint8_t t = 0) {
  return (uint32_t{t} << 24) | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}
SpriteImage MakeImage(int32_t width, int32_t height, int frames = 1, uint32_t key = kNoColorKey);
uint64_t Fnv1a(const SpriteImage& image);

// --- picture services
// Bitmaps: a minimal uncompressed BMP (24 or 32 bits, BITMAPINFOHEADER, bottom-up or
// top-down); the fourth byte of a 32-bit BMP is delivered as it stands.
// Text: every character is a cell `cellWidth` wide and the font's height high (12 for the
// default font, |lfHeight| of a LOGFONT); a cell paints its inner part in the text colour
// and its left column in a mix of text and background colour, as smoothing would.
class FakeServices : public ws::PictureServices {
 public:
  static constexpr int32_t kCellWidth = 6;
  static constexpr int32_t kDefaultHeight = 12;

  ws::Hbitmap PictureToBitmap(std::span<const uint8_t> bytes) override;
  std::optional<ws::TextExtent> BitmapSize(ws::Hbitmap bitmap) override;
  std::optional<ws::PixelBlock> BitmapToPixels(ws::Hbitmap bitmap) override;
  void DeleteBitmap(ws::Hbitmap bitmap) override;
  ws::Hfont CreateFontFromLogFont(std::span<const uint8_t> logFont) override;
  void DeleteFont(ws::Hfont font) override;
  ws::TextExtent MeasureText(ws::Hfont font, const ws::GbkText& line) override;
  ws::PixelBlock DrawTextLines(ws::Hfont font, std::span<const ws::GbkText> lines,
                               std::span<const int32_t> tops, uint32_t color, uint32_t background,
                               int32_t width, int32_t height) override;

  int liveBitmaps = 0;
  int liveFonts = 0;
  int fontsCreated = 0;
  bool failPixels = false;        // BitmapToPixels gives nothing
  bool shortPixels = false;       // BitmapToPixels gives one pixel too few
  std::vector<int32_t> lastTops;  // as handed to DrawTextLines
  uint32_t lastBackground = 0;

 private:
  int32_t FontHeight(ws::Hfont font) const;
  std::vector<ws::PixelBlock> bitmaps_;  // handle = index + 1; width 0 once deleted
  std::vector<int32_t> fontHeights_;     // handle = index + 1
};
Bytes WriteBmp(int32_t width, int32_t height, int bits, const std::vector<uint32_t>& pixels,
               bool topDown = false);
std::array<uint8_t, 60> LogFont(int32_t height);

}  // namespace wintrel::image::testing
