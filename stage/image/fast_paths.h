// The picture work of the stage's production paths (see render_path.h): each gives exactly
// what the literal operations give, with less work.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "stage/image/sprite_image.h"

namespace wintrel::ws {
class PictureServices;
}

namespace wintrel::image {

// The same image as RotateImage (angle) followed by ScaleImage (zoomX, zoomY), worked out
// only at the scaled size: every output pixel is fetched straight from the source through
// the scale's rows and columns and then the turn's own source position, with the same
// double and fixed-point arithmetic. False (out empty) where RotateImage gives none or
// ScaleImage empties the image.
bool RotateScaleImage(const SpriteImage& image, int32_t angle, int32_t zoomX, int32_t zoomY,
                      SpriteImage& out);

// A 64-bit digest of the size, frames, keys, delays and pixels. Equal images have equal
// digests; unequal digests mean unequal images.
uint64_t ImageDigest(const SpriteImage& image);

// True for bytes that DecodePicture decodes by itself (GIF, PNG), without the window
// system's services: their image depends on the bytes and the key settings alone.
bool DecodesOnItsOwn(std::span<const uint8_t> bytes);

// Pictures decoded by DecodePicture, kept by their bytes and key settings, so that a
// picture written again is not decoded again. Only for bytes that DecodesOnItsOwn.
// Keeps at most `maxEntries` pictures of `maxPixels` pixels in all, dropping the least
// recently used.
class PictureCache {
 public:
  explicit PictureCache(std::size_t maxEntries = 16, std::size_t maxPixels = std::size_t{1} << 24)
      : maxEntries_(maxEntries), maxPixels_(maxPixels) {}

  // The image DecodePicture gives for these inputs (an empty one on failure); null for
  // bytes that do not decode on their own.
  std::shared_ptr<const SpriteImage> Decode(ws::PictureServices& services,
                                            std::span<const uint8_t> bytes,
                                            uint32_t transparentColor, bool autoTransparent);
  std::size_t Size() const { return entries_.size(); }

 private:
  struct Entry {
    std::vector<uint8_t> bytes;
    uint32_t transparentColor = 0;
    bool autoTransparent = false;
    std::shared_ptr<const SpriteImage> image;
    std::size_t pixels = 0;
    uint64_t lastUse = 0;
  };
  std::size_t maxEntries_;
  std::size_t maxPixels_;
  std::vector<Entry> entries_;
  uint64_t clock_ = 0;
};

}  // namespace wintrel::image
