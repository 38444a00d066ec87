#include "assets/assets.h"

namespace wintrel::assets {
namespace detail {
// In the order of WINTREL_ASSET_FILES: flake1 ... flake8, the icon, the GIF.
extern const std::span<const uint8_t> kEmbedded[10];
}  // namespace detail

std::span<const uint8_t> Flake(int k) {
  if (k < 1 || k > kFlakeCount) return {};
  return detail::kEmbedded[k - 1];
}
std::span<const uint8_t> Icon() { return detail::kEmbedded[8]; }
std::span<const uint8_t> DesignGif() { return detail::kEmbedded[9]; }

}  // namespace wintrel::assets
