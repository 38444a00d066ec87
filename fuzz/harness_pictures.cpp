// Pictures: DecodePicture on each of its paths, then the transforms a sprite's picture
// goes through.
#include <algorithm>
#include <cstring>
#include <memory>

#include <zlib.h>

#include "fuzz/harness.h"
#include "fuzz/harness_check.h"
#include "fuzz/harness_desktop.h"
#include "platform/sim/sim_desktop.h"
#include "stage/image/sprite_image.h"

namespace wintrel::fuzz {
namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint8_t kGifHeader[6] = {'G', 'I', 'F', '8', '9', 'a'};
constexpr uint32_t kKey = 0x00F0F0F0;

// Pictures above this many pixels in all frames, or with a side above the other limit,
// skip the transforms, which would only spend the fuzzer's time on pixel loops it has
// already seen (a turned picture is its bounding box: a long thin strip turned by 45
// degrees is most of a square of its length).
constexpr int64_t kTransformBudget = int64_t{1} << 18;
constexpr int32_t kTransformSide = 512;

// One desktop for the whole process: its picture services decode the bitmaps of the
// other path. A small screen keeps it cheap.
sim::SimDesktop& Desktop() {
  static sim::SimDesktop* desk = new sim::SimDesktop(SmallScreen(64, 64));
  return *desk;
}

bool StartsWith(Bytes data, const uint8_t* prefix, std::size_t n) {
  return data.size() >= n && std::memcmp(data.data(), prefix, n) == 0;
}

bool IsGifHeader(Bytes data) {
  return data.size() >= 6 && std::memcmp(data.data(), "GIF8", 4) == 0 &&
         (data[4] == '7' || data[4] == '9') && data[5] == 'a';
}

// A failure is an empty image; a success has frames of exactly width x height pixels.
void CheckImage(const image::SpriteImage& img) {
  if (!img.Usable()) {
    WINTREL_FUZZ_CHECK(img.width == 0 && img.height == 0 && img.frames.empty());
    return;
  }
  const std::size_t area = static_cast<std::size_t>(img.width) * static_cast<std::size_t>(img.height);
  for (const image::ImageFrame& f : img.frames) WINTREL_FUZZ_CHECK(f.pixels.size() == area);
}

// What the stage does with a decoded picture: a copy flipped by the turn type, turned
// to the heading, scaled to the zoom, trended and lit (PrepareImage's order).
void Transform(const image::SpriteImage& decoded, Bytes data) {
  if (!decoded.Usable() || decoded.width > kTransformSide || decoded.height > kTransformSide ||
      int64_t{decoded.width} * decoded.height * decoded.FrameCount() > kTransformBudget)
    return;
  uint32_t h = 2166136261u;  // the choices come from the bytes, so a run repeats exactly
  for (uint8_t b : data.first(std::min<std::size_t>(data.size(), 64))) h = (h ^ b) * 16777619u;
  image::SpriteImage copy;
  WINTREL_FUZZ_CHECK(image::CloneImage(decoded, copy));
  WINTREL_FUZZ_CHECK(copy == decoded);
  image::FlipImage(copy, static_cast<int32_t>(h & 3));
  CheckImage(copy);
  image::SpriteImage turned;
  const int32_t angle = static_cast<int32_t>((h >> 2) % 721) - 360;
  if (!image::RotateImage(copy, angle, turned)) return;
  CheckImage(turned);
  WINTREL_FUZZ_CHECK(turned.FrameCount() == copy.FrameCount());
  const int32_t zoomX = 1 + static_cast<int32_t>((h >> 12) % 1200);
  const int32_t zoomY = (h & 0x100000) ? zoomX : 1 + static_cast<int32_t>((h >> 21) % 1200);
  image::ScaleImage(turned, zoomX, zoomY);
  CheckImage(turned);
  image::TrendImage(turned, 0x00FFFFFF, static_cast<int32_t>((h >> 3) % 120) - 10);
  image::LightImage(turned, static_cast<int32_t>((h >> 5) % 300) - 150);
  CheckImage(turned);
}

void Decode(Bytes data) {
  sim::SimDesktop& desk = Desktop();
  const bool autoKey = !data.empty() && (data.back() & 1) != 0;
  const image::SpriteImage img = image::DecodePicture(desk, data, kKey, autoKey);
  CheckImage(img);
  // Every bitmap the other path made is deleted again.
  WINTREL_FUZZ_CHECK(desk.LiveBitmaps() == 0);
  for (const image::ImageFrame& f : img.frames) {
    WINTREL_FUZZ_CHECK(f.colorKey == (autoKey ? image::PixelToKey(f.pixels[0]) : kKey));
    WINTREL_FUZZ_CHECK(f.delay >= 0);
  }
  Transform(img, data);
}

// A GIF's logical screen can ask for up to the decoder's pixel limit from a few bytes,
// and every frame is a copy of it; screens above this are left to the image tests, so
// that the fuzzer spends its time on the code streams and blocks rather than on filling
// hundreds of megabytes.
constexpr uint32_t kGifScreenPixels = 1u << 20;
constexpr uint64_t kPngPixels = uint64_t{1} << 22;

bool SmallGifScreen(Bytes gif) {
  if (gif.size() < 10) return true;
  const uint32_t w = gif[6] | (uint32_t{gif[7]} << 8), h = gif[8] | (uint32_t{gif[9]} << 8);
  return w * h <= kGifScreenPixels;
}

void DecodeWithPrefix(Bytes data, const uint8_t* prefix, std::size_t n, bool present,
                      bool (*wanted)(Bytes) = nullptr) {
  std::vector<uint8_t> framed;
  if (!present) {
    framed.assign(prefix, prefix + n);
    framed.insert(framed.end(), data.begin(), data.end());
    data = framed;
  }
  if (wanted != nullptr && !wanted(data)) return;
  Decode(data);
}

// libpng refuses a chunk whose checksum is wrong, and almost every change the fuzzer
// makes breaks one; so the checksum of every whole chunk is made right again first, and
// the changes reach the header, palette and row code behind it.
std::vector<uint8_t> WithChunkChecksums(Bytes png) {
  std::vector<uint8_t> out(png.begin(), png.end());
  std::size_t at = 8;
  while (out.size() - at >= 12) {
    const uint32_t length = (uint32_t{out[at]} << 24) | (uint32_t{out[at + 1]} << 16) |
                            (uint32_t{out[at + 2]} << 8) | out[at + 3];
    if (length > out.size() - at - 12) break;
    const uint32_t crc = static_cast<uint32_t>(
        crc32(crc32(0, nullptr, 0), out.data() + at + 4, static_cast<uInt>(length + 4)));
    uint8_t* field = out.data() + at + 8 + length;
    for (int i = 0; i < 4; ++i) field[i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    at += 12 + length;
  }
  return out;
}

}  // namespace

void DecodePicturePng(Bytes data) {
  std::vector<uint8_t> framed;
  if (!StartsWith(data, kPngSignature, 8)) {
    framed.assign(kPngSignature, kPngSignature + 8);
    framed.insert(framed.end(), data.begin(), data.end());
    data = framed;
  }
  // As with GIF screens: pictures above this size are the image tests' business; here
  // they would only fill memory (the decoder allows 2^26 pixels from a few kilobytes of
  // a one-bit picture).
  if (data.size() >= 24) {
    const auto be32 = [&](std::size_t at) {
      return (uint32_t{data[at]} << 24) | (uint32_t{data[at + 1]} << 16) | (uint32_t{data[at + 2]} << 8) | data[at + 3];
    };
    if (uint64_t{be32(16)} * be32(20) > kPngPixels) return;
  }
  Decode(WithChunkChecksums(data));
}

void DecodePictureGif(Bytes data) {
  DecodeWithPrefix(data, kGifHeader, sizeof kGifHeader, IsGifHeader(data), &SmallGifScreen);
}

void DecodePictureOther(Bytes data) {
  if (IsGifHeader(data) || StartsWith(data, kPngSignature, 8)) return;
  Decode(data);
}

}  // namespace wintrel::fuzz
