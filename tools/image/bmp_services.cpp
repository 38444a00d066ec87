#include "tools/image/bmp_services.h"

#include "stage/image/sprite_image.h"

namespace wintrel::image_tool {
namespace {
uint32_t Le32(std::span<const uint8_t> b, size_t at) {
  return uint32_t{b[at]} | (uint32_t{b[at + 1]} << 8) | (uint32_t{b[at + 2]} << 16) | (uint32_t{b[at + 3]} << 24);
}
}  // namespace

ws::Hbitmap BmpServices::PictureToBitmap(std::span<const uint8_t> b) {
  // File header (14 bytes) and at least a BITMAPINFOHEADER (40).
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return 0;
  const uint32_t headerSize = Le32(b, 14);
  if (headerSize < 40 || headerSize > b.size() - 14) return 0;
  const int32_t width = static_cast<int32_t>(Le32(b, 18));
  const int32_t rawHeight = static_cast<int32_t>(Le32(b, 22));
  const uint32_t bits = uint32_t{b[28]} | (uint32_t{b[29]} << 8);
  const uint32_t compression = Le32(b, 30);
  const uint32_t offset = Le32(b, 10);
  if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN || (bits != 24 && bits != 32) || compression != 0) return 0;
  const int32_t height = rawHeight < 0 ? -rawHeight : rawHeight;
  if (width > image::kMaxPictureSide || height > image::kMaxPictureSide ||
      static_cast<int64_t>(width) * height > image::kMaxPicturePixels) {
    return 0;
  }
  const size_t stride = ((static_cast<size_t>(width) * bits / 8) + 3) & ~size_t{3};
  if (offset > b.size() || (b.size() - offset) / stride < static_cast<size_t>(height)) return 0;
  ws::PixelBlock block{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height)};
  for (int32_t r = 0; r < height; ++r) {
    const int32_t y = rawHeight < 0 ? r : height - 1 - r;  // bottom-up unless the height is negative
    const uint8_t* row = b.data() + offset + stride * static_cast<size_t>(r);
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t* p = row + static_cast<size_t>(x) * (bits / 8);
      const uint32_t fourth = bits == 32 ? uint32_t{p[3]} << 24 : 0;
      block.pixels[static_cast<size_t>(y) * width + x] = uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | fourth;
    }
  }
  const ws::Hbitmap handle = next_++;
  bitmaps_[handle] = std::move(block);
  return handle;
}

std::optional<ws::TextExtent> BmpServices::BitmapSize(ws::Hbitmap bitmap) {
  auto it = bitmaps_.find(bitmap);
  if (it == bitmaps_.end()) return std::nullopt;
  return ws::TextExtent{it->second.width, it->second.height};
}

std::optional<ws::PixelBlock> BmpServices::BitmapToPixels(ws::Hbitmap bitmap) {
  auto it = bitmaps_.find(bitmap);
  if (it == bitmaps_.end()) return std::nullopt;
  return it->second;
}

void BmpServices::DeleteBitmap(ws::Hbitmap bitmap) { bitmaps_.erase(bitmap); }

}  // namespace wintrel::image_tool
