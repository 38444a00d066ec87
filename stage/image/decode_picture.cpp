// Turning picture bytes or a caption into a sprite image.
#include <algorithm>
#include <cstring>

#include "platform/seam/window_system.h"
#include "stage/image/decoders.h"
#include "stage/image/sprite_image.h"

namespace wintrel::image {
namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool IsGif(std::span<const uint8_t> b) {
  return b.size() > 5 && b[0] == 'G' && b[1] == 'I' && b[2] == 'F' && b[3] == '8' &&
         (b[4] == '7' || b[4] == '9') && b[5] == 'a';
}
bool IsPng(std::span<const uint8_t> b) {
  return b.size() > 7 && std::memcmp(b.data(), kPngSignature, 8) == 0;
}

// Any other format goes to the window system's picture decoder.
SpriteImage DecodeThroughSystem(ws::PictureServices& services, std::span<const uint8_t> bytes) {
  const ws::Hbitmap bitmap = services.PictureToBitmap(bytes);
  if (bitmap == 0) return {};
  std::optional<ws::PixelBlock> block = services.BitmapToPixels(bitmap);
  services.DeleteBitmap(bitmap);
  if (!block || block->width <= 0 || block->height <= 0 ||
      block->pixels.size() != static_cast<size_t>(block->width) * static_cast<size_t>(block->height)) {
    return {};
  }
  SpriteImage image;
  image.width = block->width;
  image.height = block->height;
  image.frames.push_back(ImageFrame{kNoColorKey, 0, std::move(block->pixels)});
  return image;
}

}  // namespace

SpriteImage DecodePicture(ws::PictureServices& services, std::span<const uint8_t> bytes,
                          uint32_t transparentColor, bool autoTransparent) {
  if (bytes.empty()) return {};
  SpriteImage image;
  if (IsGif(bytes)) {
    image = detail::DecodeGif(bytes);
  } else if (IsPng(bytes)) {
    image = detail::DecodePng(bytes);
  } else {
    image = DecodeThroughSystem(services, bytes);
  }
  if (!detail::WellFormed(image)) return {};
  for (ImageFrame& frame : image.frames) {
    frame.colorKey = autoTransparent ? PixelToKey(frame.pixels[0]) : transparentColor;
  }
  return image;
}

SpriteImage RenderText(ws::PictureServices& services, const std::string& text,
                       std::span<const uint8_t> font, uint32_t textColor) {
  // Lines end at each line feed, a carriage return before it not included; what follows
  // the last line feed is a line only when it is not empty.
  std::vector<ws::GbkText> lines;
  size_t start = 0;
  for (;;) {
    const size_t feed = text.find('\n', start);
    if (feed == std::string::npos) {
      if (start < text.size()) lines.push_back(text.substr(start));
      break;
    }
    size_t end = feed;
    if (end > start && text[end - 1] == '\r') --end;
    lines.push_back(text.substr(start, end - start));
    start = feed + 1;
  }
  if (lines.empty()) return {};

  const ws::Hfont handle = font.size() == 60 ? services.CreateFontFromLogFont(font) : 0;
  std::vector<int32_t> tops;
  int64_t width = 0, height = 0;
  for (const ws::GbkText& line : lines) {
    const ws::TextExtent extent = services.MeasureText(handle, line);
    if (!tops.empty()) height += 2;
    tops.push_back(static_cast<int32_t>(std::min<int64_t>(height, INT32_MAX)));
    width = std::max<int64_t>(width, extent.width);
    height += std::max<int32_t>(extent.height, 0);
  }
  SpriteImage image;
  if (width > 0 && height > 0 && width * height <= kMaxPicturePixels) {
    const uint32_t textKey = textColor & 0x00FFFFFFu;
    const uint32_t background = textKey == 0x00FFFFFFu ? 0x00000000u : 0x00FFFFFFu;
    ws::PixelBlock block =
        services.DrawTextLines(handle, lines, tops, textKey, background,
                               static_cast<int32_t>(width), static_cast<int32_t>(height));
    if (block.width == width && block.height == height &&
        block.pixels.size() == static_cast<size_t>(width * height)) {
      const uint32_t backgroundPixel = KeyToPixel(background);
      const uint32_t textPixel = KeyToPixel(textKey);
      // Smoothed edges become solid text colour: only the untouched background stays.
      for (uint32_t& p : block.pixels) {
        if (p != backgroundPixel) p = textPixel;
      }
      image.width = block.width;
      image.height = block.height;
      image.frames.push_back(ImageFrame{background, 0, std::move(block.pixels)});
    }
  }
  if (handle != 0) services.DeleteFont(handle);
  return image;
}

void BuildTemplateImage(ws::PictureServices& services, SpriteImage& image, const TemplateInputs& in) {
  image = SpriteImage{};
  if (!in.text.empty()) {
    image = RenderText(services, in.text, in.font, in.textColor);
  } else {
    image = DecodePicture(services, in.picture, in.transparentColor, in.autoTransparent);
  }
}

}  // namespace wintrel::image
