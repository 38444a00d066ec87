// Writing the program's PNG files (8-bit RGBA with the ancillary chunks they carry) and
// reading PNG files back as RGBA.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "tools/assetgen/flake.h"

namespace wintrel::assetgen {

struct PngText {
  std::string key, text;
};
struct PngOptions {
  bool ancillary = false;          // pHYs, iCCP, cHRM and the iTXt texts
  std::vector<PngText> texts;      // written as uncompressed iTXt
};

std::optional<std::vector<uint8_t>> EncodePng(const Rgba& image, const PngOptions& options);
// Reads a PNG as RGBA; nullopt when libpng reports any error or warning, so that a file
// this tool wrote is known to be read cleanly.
std::optional<Rgba> DecodePngStrict(const std::vector<uint8_t>& bytes, std::string* problem);

// A small ICC display profile: sRGB primaries adapted to D50, gamma 2.2 curves.
std::vector<uint8_t> DisplayProfile();

}  // namespace wintrel::assetgen
