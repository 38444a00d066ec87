// PNG pictures through libpng, read from the block in memory.
//
// The picture is read row by row (every pass of an interlaced one) with no gamma or
// colour-profile correction; only 16-bit samples are reduced to 8 bits, and a picture
// with a background-colour chunk is composed onto that colour. The rows are then turned
// into B, G, R, T pixels: 8-bit RGBA directly, every other depth through a palette (the
// picture's own, or a grey ramp) or as opaque colour.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

#include "stage/image/decoders.h"

namespace wintrel::image::detail {
namespace {

// Deflate never expands data more than 1032 times; image data that would need more
// than that from the whole file cannot be there, so such a header is refused before
// anything is allocated for its rows.
constexpr uint64_t kDeflateMaxRatio = 1032;
constexpr png_alloc_size_t kChunkMallocMax = 8u << 20;  // ancillary chunks, decompressed
constexpr png_uint_32 kChunkCacheMax = 1000;             // unknown or text chunks kept

struct MemoryReader {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

void ReadFromBlock(png_structp png, png_bytep out, size_t length) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (length > reader->size - reader->pos) png_error(png, "read past the end of the picture");
  std::memcpy(out, reader->data + reader->pos, length);
  reader->pos += length;
}

[[noreturn]] void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

// What the reading keeps outside the frame that calls setjmp: everything with a
// destructor lives here, so a longjmp out of libpng skips no C++ object.
struct PngJob {
  MemoryReader reader{};
  png_uint_32 width = 0, height = 0;
  size_t rowBytes = 0;
  int channels = 0, bitDepth = 0, colorType = 0;
  std::vector<uint8_t> rows;
  std::vector<uint32_t> palette;  // for depths 1, 2, 4 and 8
};

class ReadStructs {
 public:
  ReadStructs() {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~ReadStructs() { png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr); }
  ReadStructs(const ReadStructs&) = delete;
  ReadStructs& operator=(const ReadStructs&) = delete;
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

// Reads the header and settles the transformations; false on a libpng error or a
// picture above the limits.
bool ReadHeader(png_structp png, png_infop info, PngJob& job) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, &job.reader, ReadFromBlock);
  png_set_user_limits(png, kMaxPictureSide, kMaxPictureSide);
  png_set_chunk_malloc_max(png, kChunkMallocMax);
  png_set_chunk_cache_max(png, kChunkCacheMax);
  png_read_info(png, info);

  const png_uint_32 w = png_get_image_width(png, info);
  const png_uint_32 h = png_get_image_height(png, info);
  if (w == 0 || h == 0 || static_cast<uint64_t>(w) * h > static_cast<uint64_t>(kMaxPicturePixels)) {
    return false;
  }
  const uint64_t fileRowBytes = png_get_rowbytes(png, info);
  if (static_cast<uint64_t>(h) * (fileRowBytes + 1) > job.reader.size * kDeflateMaxRatio) return false;

  if (png_get_bit_depth(png, info) == 16) png_set_strip_16(png);
  png_color_16p background = nullptr;
  if (png_get_valid(png, info, PNG_INFO_bKGD) && png_get_bKGD(png, info, &background)) {
    png_set_background(png, background, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
  }
  if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) png_set_interlace_handling(png);
  png_read_update_info(png, info);

  job.width = w;
  job.height = h;
  job.rowBytes = png_get_rowbytes(png, info);
  job.channels = png_get_channels(png, info);
  job.bitDepth = png_get_bit_depth(png, info);
  job.colorType = png_get_color_type(png, info);
  const int depth = job.channels * job.bitDepth;
  if (job.rowBytes < (static_cast<size_t>(w) * depth + 7) / 8) return false;

  if (depth <= 8) {
    const int entries = 1 << depth;
    job.palette.assign(static_cast<size_t>(entries), 0u);
    png_colorp plte = nullptr;
    int count = 0;
    if (job.colorType == PNG_COLOR_TYPE_PALETTE) {
      if (png_get_PLTE(png, info, &plte, &count)) {
        for (int i = 0; i < std::min(count, entries); ++i) {
          job.palette[i] = (uint32_t{plte[i].red} << 16) | (uint32_t{plte[i].green} << 8) | plte[i].blue;
        }
      }
    } else {
      const uint32_t stepLevel = 255u / static_cast<uint32_t>(entries - 1);
      for (int i = 0; i < entries; ++i) {
        const uint32_t v = static_cast<uint32_t>(i) * stepLevel;
        job.palette[i] = (v << 16) | (v << 8) | v;
      }
    }
  }
  return true;
}

// Reads every row of every pass into job.rows (already sized) and the end of the image.
bool ReadRows(png_structp png, png_infop info, PngJob& job) {
  if (setjmp(png_jmpbuf(png))) return false;
  const int passes = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE ? 7 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < job.height; ++y) {
      png_read_row(png, job.rows.data() + static_cast<size_t>(y) * job.rowBytes, nullptr);
    }
  }
  png_read_end(png, nullptr);
  return true;
}

uint32_t Sample(const uint8_t* row, size_t x, int depth) {
  switch (depth) {
    case 8: return row[x];
    case 4: return (row[x >> 1] >> (4 - 4 * (x & 1))) & 0x0F;
    case 2: return (row[x >> 2] >> (6 - 2 * (x & 3))) & 0x03;
    default: return (row[x >> 3] >> (7 - (x & 7))) & 0x01;
  }
}

void ToPixels(const PngJob& job, std::vector<uint32_t>& out) {
  const size_t w = job.width;
  const int depth = job.channels * job.bitDepth;
  out.resize(w * job.height);
  for (size_t y = 0; y < job.height; ++y) {
    const uint8_t* row = job.rows.data() + y * job.rowBytes;
    uint32_t* dst = out.data() + y * w;
    if (depth == 32) {  // R, G, B, A: red and blue exchanged, alpha turned into T
      for (size_t x = 0; x < w; ++x, row += 4) {
        dst[x] = (uint32_t{static_cast<uint8_t>(255 - row[3])} << 24) | (uint32_t{row[0]} << 16) |
                 (uint32_t{row[1]} << 8) | row[2];
      }
    } else if (depth == 24) {  // R, G, B, opaque
      for (size_t x = 0; x < w; ++x, row += 3) {
        dst[x] = (uint32_t{row[0]} << 16) | (uint32_t{row[1]} << 8) | row[2];
      }
    } else if (depth == 16) {  // grey and alpha: the grey level, alpha turned into T
      for (size_t x = 0; x < w; ++x, row += 2) {
        const uint32_t g = row[0];
        dst[x] = (uint32_t{static_cast<uint8_t>(255 - row[1])} << 24) | (g << 16) | (g << 8) | g;
      }
    } else {  // 1, 2, 4 or 8 bits through the palette or the grey ramp, opaque
      for (size_t x = 0; x < w; ++x) dst[x] = job.palette[Sample(row, x, depth)];
    }
  }
}

}  // namespace

SpriteImage DecodePng(std::span<const uint8_t> bytes) {
  try {
    PngJob job;
    job.reader = {bytes.data(), bytes.size(), 0};
    ReadStructs structs;
    if (!structs.png() || !structs.info()) return {};
    if (!ReadHeader(structs.png(), structs.info(), job)) return {};
    const int depth = job.channels * job.bitDepth;
    if (depth != 32 && depth != 24 && depth != 16 && depth != 8 && depth != 4 && depth != 2 &&
        depth != 1) {
      return {};
    }
    job.rows.resize(job.rowBytes * job.height);
    if (!ReadRows(structs.png(), structs.info(), job)) return {};

    SpriteImage image;
    image.width = static_cast<int32_t>(job.width);
    image.height = static_cast<int32_t>(job.height);
    image.frames.emplace_back();
    ToPixels(job, image.frames.back().pixels);
    return image;
  } catch (const std::bad_alloc&) {
    return {};  // within the limits above, but more than this process can hold now
  }
}

}  // namespace wintrel::image::detail
