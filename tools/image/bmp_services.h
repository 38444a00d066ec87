// Picture services of the command-line tool's own: uncompressed 24- and 32-bit BMP files
// only, and no text. Enough to try the decoder's system-bitmap path from the shell.
#pragma once
#include <map>

#include "platform/seam/window_system.h"

namespace wintrel::image_tool {

class BmpServices final : public ws::PictureServices {
 public:
  ws::Hbitmap PictureToBitmap(std::span<const uint8_t> bytes) override;
  std::optional<ws::TextExtent> BitmapSize(ws::Hbitmap bitmap) override;
  std::optional<ws::PixelBlock> BitmapToPixels(ws::Hbitmap bitmap) override;
  void DeleteBitmap(ws::Hbitmap bitmap) override;
  ws::Hfont CreateFontFromLogFont(std::span<const uint8_t>) override { return 0; }
  void DeleteFont(ws::Hfont) override {}
  ws::TextExtent MeasureText(ws::Hfont, const ws::GbkText&) override { return {}; }
  ws::PixelBlock DrawTextLines(ws::Hfont, std::span<const ws::GbkText>, std::span<const int32_t>, uint32_t,
                               uint32_t, int32_t, int32_t) override {
    return {};
  }

 private:
  std::map<ws::Hbitmap, ws::PixelBlock> bitmaps_;
  ws::Hbitmap next_ = 1;
};

}  // namespace wintrel::image_tool
