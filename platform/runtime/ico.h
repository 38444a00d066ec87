// Picks the image of an ICO file that the notification area gets, and the size it is
// made at: the width stated in the image's bitmap header and half its stated height.
#pragma once
#include <cstdint>
#include <optional>
#include <span>

namespace wintrel::runtime {

struct IcoImage {
  std::span<const uint8_t> bytes;  // the image's bitmap header and data
  int32_t width = 0;
  int32_t height = 0;  // half the header's height: the colour rows without the mask rows
};

// `wantedWidth` 16: the first image 16 pixels wide with 16 or more colours, else the
// last image; likewise for 32. Nothing when the bytes hold no such image in bounds.
std::optional<IcoImage> PickIcoImage(std::span<const uint8_t> ico, int32_t wantedWidth);

}  // namespace wintrel::runtime
