// Pictures of one or more frames, as the stage draws them, and the operations on them.
// Pixels are 32-bit values in B, G, R, T byte order (read as a little-endian word:
// 0xTTRRGGBB), rows top-down without padding; T is transparency (0 opaque, 255 clear).
// Colours are 0x00BBGGRR; 0xFF000000 as a colour key means no key.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace wintrel::ws {
class PictureServices;
}

namespace wintrel::image {

inline constexpr uint32_t kNoColorKey = 0xFF000000u;
inline constexpr uint32_t kEmptyPixel = 0xFFFFFFFFu;  // white, fully transparent

// Limits that keep hostile or broken input from costing out of proportion: a PNG or GIF
// whose header claims more than kMaxPictureSide pixels on a side or more than
// kMaxPicturePixels in all decodes to an empty image, and a GIF stops adding frames once
// its frames together would hold more than kMaxPicturePixels. A transform whose result
// frame would exceed kMaxTransformPixels gives no image.
inline constexpr int32_t kMaxPictureSide = 16384;
inline constexpr int64_t kMaxPicturePixels = int64_t{1} << 26;
inline constexpr int64_t kMaxTransformPixels = int64_t{1} << 28;

struct ImageFrame {
  uint32_t colorKey = kNoColorKey;  // 0x00BBGGRR
  int32_t delay = 0;                // milliseconds
  std::vector<uint32_t> pixels;     // width * height
  friend bool operator==(const ImageFrame&, const ImageFrame&) = default;
};

struct SpriteImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<ImageFrame> frames;  // frame count = frames.size()

  int32_t FrameCount() const { return static_cast<int32_t>(frames.size()); }
  bool Usable() const { return width > 0 && height > 0 && !frames.empty(); }
  friend bool operator==(const SpriteImage&, const SpriteImage&) = default;
};

constexpr bool HasColorKey(uint32_t key) { return key != kNoColorKey; }

// Turns a 0x00BBGGRR key into the pixel value of that colour with T = 0.
constexpr uint32_t KeyToPixel(uint32_t key) {
  return ((key & 0xFFu) << 16) | (key & 0xFF00u) | ((key >> 16) & 0xFFu);
}
// Turns a pixel's colour (T ignored) into 0x00BBGGRR.
constexpr uint32_t PixelToKey(uint32_t pixel) {
  return ((pixel & 0xFFu) << 16) | (pixel & 0xFF00u) | ((pixel >> 16) & 0xFFu);
}

// MulDiv(a, b, c): a * b / c without overflow, rounded to nearest, halves away from
// zero; -1 when c is 0 (as the system's MulDiv).
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// The sine and cosine of a whole number of degrees as RotateImage uses them: of
// degrees * 0.017453292519444445 radians, correctly rounded, the same on every platform.
double DegreeSine(int32_t degrees);
double DegreeCosine(int32_t degrees);

// Decoding. `services` gives the window system's picture decoder and text drawing.
SpriteImage DecodePicture(ws::PictureServices& services, std::span<const uint8_t> bytes,
                          uint32_t transparentColor, bool autoTransparent);
SpriteImage RenderText(ws::PictureServices& services, const std::string& text,
                       std::span<const uint8_t> font, uint32_t textColor);
struct TemplateInputs {
  std::string text;
  std::span<const uint8_t> font;      // a 60-byte LOGFONT, or empty
  uint32_t textColor = 0;
  std::span<const uint8_t> picture;
  bool autoTransparent = false;
  uint32_t transparentColor = kNoColorKey;
};
void BuildTemplateImage(ws::PictureServices& services, SpriteImage& image, const TemplateInputs& in);

// Transforms.
bool CloneImage(const SpriteImage& image, SpriteImage& out);  // false (out empty) if not usable
void FlipImage(SpriteImage& image, int32_t mode);
bool RotateImage(const SpriteImage& image, int32_t angle, SpriteImage& out);  // false: none
void ScaleImage(SpriteImage& image, int32_t zoomX, int32_t zoomY);
void TrendImage(SpriteImage& image, uint32_t color, int32_t depth);
void LightImage(SpriteImage& image, int32_t light);

}  // namespace wintrel::image
