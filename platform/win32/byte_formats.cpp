#include "platform/win32/byte_formats.h"

#include <algorithm>
#include <cstring>

namespace wintrel::win32 {
namespace {

uint16_t U16(std::span<const uint8_t> b, std::size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t U32(std::span<const uint8_t> b, std::size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
int32_t I32(std::span<const uint8_t> b, std::size_t at) { return static_cast<int32_t>(U32(b, at)); }
uint32_t U32BigEndian(std::span<const uint8_t> b, std::size_t at) {
  return (static_cast<uint32_t>(b[at]) << 24) | (static_cast<uint32_t>(b[at + 1]) << 16) |
         (static_cast<uint32_t>(b[at + 2]) << 8) | static_cast<uint32_t>(b[at + 3]);
}
bool TagIs(std::span<const uint8_t> b, std::size_t at, const char (&tag)[5]) {
  return std::memcmp(b.data() + at, tag, 4) == 0;
}

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

}  // namespace

std::size_t WholeGbkPrefix(std::string_view text, std::size_t maxBytes) {
  std::size_t used = 0;
  while (used < text.size()) {
    const auto lead = static_cast<uint8_t>(text[used]);
    const std::size_t step = (lead >= 0x81 && lead <= 0xFE && used + 1 < text.size()) ? 2 : 1;
    if (used + step > maxBytes) break;
    used += step;
  }
  return used;
}

std::string_view BoundedCString(std::span<const char> field) {
  const auto end = std::find(field.begin(), field.end(), '\0');
  return std::string_view(field.data(), static_cast<std::size_t>(end - field.begin()));
}

std::optional<LogFontFields> ParseLogFont(std::span<const uint8_t> block) {
  if (block.size() != kLogFontSize) return std::nullopt;
  LogFontFields f;
  f.height = I32(block, 0);
  f.width = I32(block, 4);
  f.escapement = I32(block, 8);
  f.orientation = I32(block, 12);
  f.weight = I32(block, 16);
  f.italic = block[20];
  f.underline = block[21];
  f.strikeOut = block[22];
  f.charSet = block[23];
  f.outPrecision = block[24];
  f.clipPrecision = block[25];
  f.quality = block[26];
  f.pitchAndFamily = block[27];
  const auto face = BoundedCString(
      std::span<const char>(reinterpret_cast<const char*>(block.data()) + 28, kFaceNameBytes));
  // The system's field keeps its last byte for the terminator.
  f.faceName = std::string(face.substr(0, WholeGbkPrefix(face, kFaceNameBytes - 1)));
  return f;
}

std::optional<ImageSize> IconImageSize(std::span<const uint8_t> image) {
  if (image.size() >= 24 && std::memcmp(image.data(), kPngSignature, 8) == 0) {
    if (U32BigEndian(image, 8) < 13 || !TagIs(image, 12, "IHDR")) return std::nullopt;
    const uint32_t w = U32BigEndian(image, 16), h = U32BigEndian(image, 20);
    if (w == 0 || h == 0 || w > 0x7FFFFFFFu || h > 0x7FFFFFFFu) return std::nullopt;
    return ImageSize{static_cast<int32_t>(w), static_cast<int32_t>(h)};
  }
  if (image.size() < 40) return std::nullopt;
  const uint32_t headerSize = U32(image, 0);
  const int32_t width = I32(image, 4);
  const int32_t stated = I32(image, 8);
  const uint16_t planes = U16(image, 12);
  const uint16_t bits = U16(image, 14);
  const uint32_t compression = U32(image, 16);
  const uint32_t colorsUsed = U32(image, 32);
  if (headerSize < 40 || headerSize > image.size()) return std::nullopt;
  // Icons up to 256 pixels are usual; anything beyond 4096 is not an icon.
  if (width <= 0 || width > 4096 || stated < 2 || stated > 2 * 4096) return std::nullopt;
  if (planes != 1) return std::nullopt;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return std::nullopt;
  }
  uint64_t masks = 0;
  if (compression == 3 && (bits == 16 || bits == 32)) {
    masks = headerSize == 40 ? 12 : 0;  // later headers hold the masks themselves
  } else if (compression != 0) {
    return std::nullopt;
  }
  uint64_t paletteEntries = colorsUsed;
  if (bits <= 8) {
    if (paletteEntries == 0 || paletteEntries > (1u << bits)) paletteEntries = 1u << bits;
  } else if (paletteEntries > 256) {
    return std::nullopt;
  }
  const uint64_t rows = static_cast<uint64_t>(stated / 2);
  const uint64_t colorStride = ((static_cast<uint64_t>(width) * bits + 31) / 32) * 4;
  const uint64_t maskStride = ((static_cast<uint64_t>(width) + 31) / 32) * 4;
  const uint64_t needed =
      headerSize + masks + paletteEntries * 4 + colorStride * rows + maskStride * rows;
  if (needed > image.size()) return std::nullopt;
  return ImageSize{width, static_cast<int32_t>(rows)};
}

std::optional<IconDirectory> ParseIconDirectory(std::span<const uint8_t> file) {
  if (file.size() < 6 || U16(file, 0) != 0) return std::nullopt;
  const uint16_t type = U16(file, 2);
  const uint16_t count = U16(file, 4);
  if ((type != 1 && type != 2) || count == 0) return std::nullopt;
  const std::size_t directoryEnd = 6 + std::size_t{16} * count;
  if (directoryEnd > file.size()) return std::nullopt;
  IconDirectory dir;
  dir.cursor = type == 2;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = 6 + 16 * i;
    const uint64_t bytes = U32(file, at + 8);
    const uint64_t offset = U32(file, at + 12);
    if (bytes == 0 || offset < directoryEnd || offset + bytes > file.size()) continue;
    IconDirectoryEntry e;
    e.width = file[at] == 0 ? 256 : file[at];
    e.height = file[at + 1] == 0 ? 256 : file[at + 1];
    e.planesOrHotspotX = U16(file, at + 4);
    e.bitCountOrHotspotY = U16(file, at + 6);
    e.image = file.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(bytes));
    dir.entries.push_back(e);
  }
  if (dir.entries.empty()) return std::nullopt;
  return dir;
}

bool BitmapFileFits(std::span<const uint8_t> file) {
  if (file.size() < 14 + 12 || file[0] != 'B' || file[1] != 'M') return false;
  const uint64_t pixelOffset = U32(file, 10);
  const uint32_t headerSize = U32(file, 14);
  if (headerSize != 12 && headerSize < 40) return false;
  if (uint64_t{14} + headerSize > file.size()) return false;
  int64_t width = 0, height = 0;
  uint16_t planes = 0, bits = 0;
  uint32_t compression = 0, imageSize = 0, colorsUsed = 0;
  uint64_t entrySize = 4;
  if (headerSize == 12) {  // the old core header
    width = U16(file, 18);
    height = U16(file, 20);
    planes = U16(file, 22);
    bits = U16(file, 24);
    entrySize = 3;
  } else {
    width = I32(file, 18);
    height = I32(file, 22);
    planes = U16(file, 26);
    bits = U16(file, 28);
    compression = U32(file, 30);
    imageSize = U32(file, 34);
    colorsUsed = U32(file, 46);
  }
  if (height < 0) height = -height;  // top-down rows
  if (width <= 0 || height <= 0 || width > 65536 || height > 65536 || planes != 1) return false;
  uint64_t masks = 0;
  bool packed = false;  // pixel data of a stated size rather than plain rows
  switch (compression) {
    case 0:  // plain rows
      break;
    case 3:  // bit fields
    case 6:  // bit fields with alpha
      if (bits != 16 && bits != 32) return false;
      if (headerSize == 40) masks = compression == 3 ? 12 : 16;
      break;
    case 1:  // run-length, 8 bits
    case 2:  // run-length, 4 bits
    case 4:  // JPEG
    case 5:  // PNG
      packed = true;
      break;
    default:
      return false;
  }
  if (!packed && bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return false;
  }
  uint64_t paletteEntries = colorsUsed;
  if (bits >= 1 && bits <= 8 && (paletteEntries == 0 || paletteEntries > (1u << bits))) {
    paletteEntries = 1u << bits;
  }
  if (paletteEntries > 256 && !(bits >= 1 && bits <= 8)) return false;
  const uint64_t tablesEnd = 14 + uint64_t{headerSize} + masks + paletteEntries * entrySize;
  if (tablesEnd > file.size() || pixelOffset < 14 + uint64_t{headerSize}) return false;
  const uint64_t pixelBytes =
      packed ? imageSize : ((static_cast<uint64_t>(width) * bits + 31) / 32) * 4 * height;
  if (packed && pixelBytes == 0) return false;
  return pixelOffset + pixelBytes <= file.size();
}

bool WaveBlockFits(std::span<const uint8_t> bytes) {
  if (bytes.size() < 12 || !TagIs(bytes, 0, "RIFF") || !TagIs(bytes, 8, "WAVE")) return false;
  const uint64_t end = uint64_t{8} + U32(bytes, 4);
  if (end > bytes.size()) return false;
  bool haveFormat = false;
  uint64_t at = 12;
  while (at + 8 <= end) {
    const uint64_t size = U32(bytes, static_cast<std::size_t>(at + 4));
    const uint64_t dataStart = at + 8;
    if (dataStart + size > end) return false;
    if (TagIs(bytes, static_cast<std::size_t>(at), "fmt ")) {
      if (size < 16) return false;
      haveFormat = true;
    } else if (TagIs(bytes, static_cast<std::size_t>(at), "data")) {
      return haveFormat;
    }
    at = dataStart + size + (size & 1);  // chunks are padded to an even length
  }
  return false;
}

std::optional<std::vector<ws::Rect>> RegionRects(std::span<const uint8_t> data) {
  if (data.size() < 32) return std::nullopt;
  const uint32_t headerSize = U32(data, 0);
  const uint32_t type = U32(data, 4);
  const uint64_t count = U32(data, 8);
  if (headerSize < 32 || headerSize > data.size() || type != 1) return std::nullopt;
  if (headerSize + count * 16 > data.size()) return std::nullopt;
  std::vector<ws::Rect> rects;
  rects.reserve(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = headerSize + 16 * i;
    rects.push_back(ws::Rect{I32(data, at), I32(data, at + 4), I32(data, at + 8), I32(data, at + 12)});
  }
  return rects;
}

std::vector<ws::Rect> ClipRects(std::span<const ws::Rect> rects, const ws::Rect& clip) {
  std::vector<ws::Rect> out;
  for (const auto& r : rects) {
    const ws::Rect c{std::max(r.left, clip.left), std::max(r.top, clip.top),
                     std::min(r.right, clip.right), std::min(r.bottom, clip.bottom)};
    if (!c.Empty()) out.push_back(c);
  }
  return out;
}

std::optional<RoutineName> ParseRoutineName(std::string_view text) {
  if (text.empty() || text.find('\0') != std::string_view::npos) return std::nullopt;
  if (text[0] != '#') return RoutineName{std::string(text), 0};
  const auto digits = text.substr(1);
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value == 0 || value > 0xFFFF) return std::nullopt;
  return RoutineName{std::string(), static_cast<uint16_t>(value)};
}

}  // namespace wintrel::win32
