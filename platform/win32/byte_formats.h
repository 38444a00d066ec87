// The byte blocks that the Win32 back end reads before handing them to the system:
// font descriptions, icon images and directories, memory sounds, update regions,
// routine names and GBK text. The system trusts these blocks (some of its calls take no
// length at all), so each is checked here against its own length first.
// Plain C++ without any system header, so it is built and tested on Linux as well.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/seam/window_system.h"

namespace wintrel::win32 {

// --- GBK text

// The length of a GBK string of at most `maxBytes` bytes that starts `text`, cut so
// that no double-byte character is split: a lead byte (0x81..0xFE) always travels with
// the byte after it.
std::size_t WholeGbkPrefix(std::string_view text, std::size_t maxBytes);

// The text of a zero-terminated field of `field.size()` bytes: up to the first zero
// byte, or the whole field when it holds none.
std::string_view BoundedCString(std::span<const char> field);

// --- fonts

// The fields of a 60-byte LOGFONTA block (little-endian, as stored).
struct LogFontFields {
  int32_t height = 0, width = 0, escapement = 0, orientation = 0, weight = 0;
  uint8_t italic = 0, underline = 0, strikeOut = 0, charSet = 0;
  uint8_t outPrecision = 0, clipPrecision = 0, quality = 0, pitchAndFamily = 0;
  std::string faceName;  // GBK, at most 31 bytes, whole characters only
};
inline constexpr std::size_t kLogFontSize = 60;
inline constexpr std::size_t kFaceNameBytes = 32;

// Nothing unless the block is exactly 60 bytes long.
std::optional<LogFontFields> ParseLogFont(std::span<const uint8_t> block);

// --- icons

struct ImageSize {
  int32_t width = 0;
  int32_t height = 0;
  friend bool operator==(const ImageSize&, const ImageSize&) = default;
};

// One icon image as CreateIconFromResourceEx takes it: a bitmap information header,
// its colour table, the colour rows and the mask rows (the stated height covers both),
// or a whole PNG file. Gives the image's size when the stated layout fits within the
// bytes, nothing otherwise.
std::optional<ImageSize> IconImageSize(std::span<const uint8_t> image);

// One entry of an ICO or CUR file's directory, with its image bytes (within the file).
struct IconDirectoryEntry {
  int32_t width = 0;   // 0 in the file means 256
  int32_t height = 0;
  uint16_t planesOrHotspotX = 0;
  uint16_t bitCountOrHotspotY = 0;
  std::span<const uint8_t> image;
};
struct IconDirectory {
  bool cursor = false;  // type 2 (CUR) rather than 1 (ICO)
  std::vector<IconDirectoryEntry> entries;
};
// Nothing unless the bytes are an ICO or CUR file with at least one image whose
// bytes lie wholly inside the file; entries that do not are left out.
std::optional<IconDirectory> ParseIconDirectory(std::span<const uint8_t> file);

// --- bitmap files

// True when the bytes are a BMP file whose headers, colour table and pixel data (as its
// headers state them) all lie within the bytes. The system's loader reads the pixel
// data where the file header points, trusting the stated sizes.
bool BitmapFileFits(std::span<const uint8_t> file);

// --- sounds

// True when the bytes are a RIFF WAVE block whose stated length (and every chunk up to
// the sound data) lies within the bytes: a memory sound is played without a length.
bool WaveBlockFits(std::span<const uint8_t> bytes);

// --- update regions

// The rectangles of a region's data block as GetRegionData fills it: a 32-byte header
// (header size, type 1, count, data size, bounds) then `count` rectangles of four
// int32. Nothing when the header is malformed or the rectangles do not fit.
std::optional<std::vector<ws::Rect>> RegionRects(std::span<const uint8_t> data);

// Each rectangle cut to `clip`, empty results left out, order kept.
std::vector<ws::Rect> ClipRects(std::span<const ws::Rect> rects, const ws::Rect& clip);

// --- external routines

// A routine name as the lookup takes it: an export name, or "#" and a decimal ordinal.
struct RoutineName {
  std::string name;          // set for a name
  uint16_t ordinal = 0;      // set (1..65535) for "#n"
};
// Nothing for an empty name, a name with a zero byte, or "#" without a valid ordinal.
std::optional<RoutineName> ParseRoutineName(std::string_view text);

}  // namespace wintrel::win32
