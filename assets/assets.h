// The pictures compiled into the program: the bytes of each file as it is in assets/.
#pragma once
#include <cstdint>
#include <span>

namespace wintrel::assets {

inline constexpr int kFlakeCount = 8;

// Snowflake picture k (1 to 8), a PNG; empty for any other k.
std::span<const uint8_t> Flake(int k);
// The tray icon, an ICO file of one 32 x 32 image with alpha.
std::span<const uint8_t> Icon();
// The template's design-time picture, an animated GIF of 100 x 100 pixels.
std::span<const uint8_t> DesignGif();

}  // namespace wintrel::assets
