// The icon file and the animated GIF the program carries, written from RGBA pictures.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "tools/assetgen/flake.h"

namespace wintrel::assetgen {

// One 32 x 32 image: 32-bit BGRA rows bottom-up, then a 1-bit mask (set where alpha is 0).
std::vector<uint8_t> EncodeIco(const Rgba& image);

struct GifAnimation {
  int32_t width = 0, height = 0;
  std::vector<std::array<uint8_t, 3>> palette;  // at most 256; index 0 is transparent
  std::vector<std::vector<uint8_t>> frames;     // indices, width * height each
  uint16_t delay = 10;                          // hundredths of a second
};
std::vector<uint8_t> EncodeGif(const GifAnimation& animation);

// Turns RGBA frames into one palette over `background` (index 0, transparent where
// alpha is low) and index frames.
GifAnimation Quantise(const std::vector<Rgba>& frames, std::array<uint8_t, 3> background);

}  // namespace wintrel::assetgen
