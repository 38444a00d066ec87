// The format decoders behind DecodePicture. Each gives the picture's frames with their
// pixels and delays; colour keys are set afterwards by DecodePicture, the same way for
// every format. Failure is an empty image.
#pragma once
#include <cstdint>
#include <span>

#include "stage/image/sprite_image.h"

namespace wintrel::image::detail {

SpriteImage DecodePng(std::span<const uint8_t> bytes);
SpriteImage DecodeGif(std::span<const uint8_t> bytes);

// True when every frame holds exactly width * height pixels: the transforms and the
// decoders' callers rely on it before touching a pixel.
bool WellFormed(const SpriteImage& image);

}  // namespace wintrel::image::detail
