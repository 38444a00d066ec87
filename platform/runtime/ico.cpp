#include "platform/runtime/ico.h"

#include "platform/runtime/definition.h"

namespace wintrel::runtime {

namespace {

uint16_t U16(std::span<const uint8_t> b, std::size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

}  // namespace

std::optional<IcoImage> PickIcoImage(std::span<const uint8_t> ico, int32_t wantedWidth) {
  if (ico.size() < 6 || U16(ico, 0) != 0 || (U16(ico, 2) != 1 && U16(ico, 2) != 2)) return std::nullopt;
  const std::size_t count = U16(ico, 4);
  if (count == 0 || ico.size() < 6 + count * 16) return std::nullopt;

  std::size_t chosen = count - 1;
  for (std::size_t i = 0; i < count; ++i) {
    std::span<const uint8_t> e = ico.subspan(6 + i * 16, 16);
    const int32_t width = e[0] == 0 ? 256 : e[0];
    const uint16_t bitCount = U16(e, 6);
    const int32_t colours = e[2] != 0 ? e[2] : (bitCount >= 8 || bitCount == 0 ? 256 : 1 << bitCount);
    if (width == wantedWidth && colours >= 16) {
      chosen = i;
      break;
    }
  }
  ByteReader entry(ico.subspan(6 + chosen * 16 + 8, 8));
  uint32_t size = 0, offset = 0;
  entry.ReadU32(size);
  entry.ReadU32(offset);
  if (offset > ico.size() || size > ico.size() - offset || size < 12) return std::nullopt;

  IcoImage image;
  image.bytes = ico.subspan(offset, size);
  ByteReader header(image.bytes.subspan(4, 8));
  int32_t width = 0, height = 0;
  header.ReadI32(width);
  header.ReadI32(height);
  if (width <= 0 || height <= 1 || width > 1024 || height > 2048) return std::nullopt;
  image.width = width;
  image.height = height / 2;
  return image;
}

}  // namespace wintrel::runtime
