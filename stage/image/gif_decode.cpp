// GIF87a / GIF89a pictures: every image is laid over one canvas the size of the logical
// screen, and each image adds a frame that is a copy of the whole canvas.
//
// Broken data ends the picture and keeps the frames before it: a truncated block, an
// image descriptor or colour table that does not fit, an unknown block or extension, a
// code stream with a code that cannot occur. A code stream that simply stops early (end
// code, or no more data in a complete block chain) leaves the rest of its image
// undrawn; codes after the image is full are ignored.
#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "stage/image/decoders.h"

namespace wintrel::image::detail {
namespace {

constexpr uint8_t kExtension = 0x21, kImage = 0x2C, kTrailer = 0x3B;
constexpr uint8_t kGraphicControl = 0xF9, kPlainText = 0x01, kComment = 0xFE, kApplication = 0xFF;
// Pixels the code streams of one picture may produce, drawn or clipped: well above what
// any picture within the frame budget needs, and a bound on the time a hostile stream
// of long repeated codes can take.
constexpr int64_t kMaxDecodedPixels = int64_t{1} << 28;

class Cursor {
 public:
  explicit Cursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool Byte(uint8_t& out) {
    if (pos_ >= bytes_.size()) return false;
    out = bytes_[pos_++];
    return true;
  }
  bool Word(uint32_t& out) {
    if (bytes_.size() - pos_ < 2) return false;
    out = uint32_t{bytes_[pos_]} | (uint32_t{bytes_[pos_ + 1]} << 8);
    pos_ += 2;
    return true;
  }
  bool Take(size_t n, const uint8_t*& out) {
    if (bytes_.size() - pos_ < n) return false;
    out = bytes_.data() + pos_;
    pos_ += n;
    return true;
  }
  // Reads a chain of data sub-blocks up to its zero terminator. With `collect` the data
  // is appended to it. False when the chain runs past the end of the bytes.
  bool SubBlocks(std::vector<uint8_t>* collect, std::vector<uint8_t>* first = nullptr) {
    bool isFirst = true;
    for (;;) {
      uint8_t size = 0;
      if (!Byte(size)) return false;
      if (size == 0) return true;
      const uint8_t* data = nullptr;
      if (!Take(size, data)) return false;
      if (collect) collect->insert(collect->end(), data, data + size);
      if (first && isFirst) first->assign(data, data + size);
      isFirst = false;
    }
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

// A colour table as pixel values (T = 0); indices past its end are black.
struct ColorTable {
  std::array<uint32_t, 256> colors{};
  void Load(const uint8_t* rgb, int count) {
    colors.fill(0);
    for (int i = 0; i < count; ++i) {
      colors[i] = (uint32_t{rgb[3 * i]} << 16) | (uint32_t{rgb[3 * i + 1]} << 8) | rgb[3 * i + 2];
    }
  }
  uint32_t operator[](uint32_t index) const { return index < 256 ? colors[index] : 0u; }
};

enum class LzwResult { kComplete, kShort, kBroken };

// Decodes a variable-length-code stream, calling emit(index) for at most `count` pixels.
template <typename Emit>
LzwResult DecodeLzw(const std::vector<uint8_t>& data, int minCodeSize, int64_t count, Emit emit) {
  constexpr int kMaxCodes = 4096;
  std::array<uint16_t, kMaxCodes> prefix{};
  // Indices reach 2047 with the widest minimum code size, past any colour table.
  std::array<uint16_t, kMaxCodes> suffix{};
  std::array<uint16_t, kMaxCodes> first{};
  std::array<uint16_t, kMaxCodes + 1> stack{};

  const int clear = 1 << minCodeSize;
  const int end = clear + 1;
  for (int i = 0; i < clear; ++i) {
    suffix[i] = static_cast<uint16_t>(i);
    first[i] = static_cast<uint16_t>(i);
  }
  int next = clear + 2;
  int codeSize = minCodeSize + 1;
  int previous = -1;
  size_t bytePos = 0;
  uint32_t bitBuffer = 0;
  int bits = 0;
  int64_t emitted = 0;

  while (emitted < count) {
    while (bits < codeSize) {
      if (bytePos >= data.size()) return LzwResult::kShort;
      bitBuffer |= uint32_t{data[bytePos++]} << bits;
      bits += 8;
    }
    const int code = static_cast<int>(bitBuffer & ((1u << codeSize) - 1));
    bitBuffer >>= codeSize;
    bits -= codeSize;

    if (code == clear) {
      next = clear + 2;
      codeSize = minCodeSize + 1;
      previous = -1;
      continue;
    }
    if (code == end) return LzwResult::kShort;

    int entry;       // the code whose string is output
    uint16_t firstOf;  // the first index of that string
    bool repeatFirst = false;
    if (previous < 0) {
      if (code >= clear) return LzwResult::kBroken;  // a stream starts with a literal
      entry = code;
      firstOf = first[code];
    } else if (code < next) {
      entry = code;
      firstOf = first[code];
    } else if (code == next && next < kMaxCodes) {
      entry = previous;  // the previous string followed by its own first index
      firstOf = first[previous];
      repeatFirst = true;
    } else {
      return LzwResult::kBroken;
    }

    int depth = 0;
    if (repeatFirst) stack[depth++] = firstOf;
    for (int c = entry;; c = prefix[c]) {
      stack[depth++] = suffix[c];
      if (c < clear) break;
    }
    while (depth > 0 && emitted < count) {
      emit(stack[--depth]);
      ++emitted;
    }

    if (previous >= 0 && next < kMaxCodes) {
      prefix[next] = static_cast<uint16_t>(previous);
      suffix[next] = firstOf;
      first[next] = first[previous];
      ++next;
      if (next >= (1 << codeSize) && codeSize < 12) ++codeSize;
    }
    previous = code;
  }
  return LzwResult::kComplete;
}

struct Rectangle {
  int32_t left = 0, top = 0, right = 0, bottom = 0;  // clipped to the canvas
  bool Empty() const { return right <= left || bottom <= top; }
};

class GifDecoder {
 public:
  explicit GifDecoder(std::span<const uint8_t> bytes) : in_(bytes) {}

  SpriteImage Run() {
    SpriteImage image;
    if (!ReadScreen()) return image;
    canvas_.assign(static_cast<size_t>(width_) * height_, kEmptyPixel);
    for (;;) {
      uint8_t introducer = 0;
      if (!in_.Byte(introducer) || introducer == kTrailer) break;
      if (introducer == kExtension) {
        if (!ReadExtension()) break;
      } else if (introducer == kImage) {
        if (!ReadImage(image)) break;
      } else {
        break;
      }
    }
    if (image.frames.empty()) return {};
    image.width = width_;
    image.height = height_;
    return image;
  }

 private:
  bool ReadScreen() {
    const uint8_t* header = nullptr;
    if (!in_.Take(6, header)) return false;
    uint32_t w = 0, h = 0;
    uint8_t packed = 0, background = 0, aspect = 0;
    if (!in_.Word(w) || !in_.Word(h) || !in_.Byte(packed) || !in_.Byte(background) || !in_.Byte(aspect)) {
      return false;
    }
    if (packed & 0x80) {
      const int count = 2 << (packed & 7);
      const uint8_t* rgb = nullptr;
      if (!in_.Take(static_cast<size_t>(count) * 3, rgb)) return false;
      global_.Load(rgb, count);
    }
    if (w == 0 || h == 0 || w > static_cast<uint32_t>(kMaxPictureSide) ||
        h > static_cast<uint32_t>(kMaxPictureSide) ||
        static_cast<int64_t>(w) * h > kMaxPicturePixels) {
      return false;
    }
    width_ = static_cast<int32_t>(w);
    height_ = static_cast<int32_t>(h);
    return true;
  }

  bool ReadExtension() {
    uint8_t label = 0;
    if (!in_.Byte(label)) return false;
    if (label == kGraphicControl) {
      std::vector<uint8_t> fields;
      if (!in_.SubBlocks(nullptr, &fields)) return false;
      if (fields.size() >= 4) {
        disposal_ = (fields[0] >> 2) & 7;
        transparent_ = (fields[0] & 1) != 0;
        delay_ = static_cast<int32_t>(uint32_t{fields[1]} | (uint32_t{fields[2]} << 8));
        transparentIndex_ = fields[3];
      }
      return true;
    }
    if (label == kPlainText || label == kComment || label == kApplication) {
      return in_.SubBlocks(nullptr);
    }
    return false;
  }

  bool ReadImage(SpriteImage& image) {
    uint32_t left = 0, top = 0, w = 0, h = 0;
    uint8_t packed = 0;
    if (!in_.Word(left) || !in_.Word(top) || !in_.Word(w) || !in_.Word(h) || !in_.Byte(packed)) return false;
    ColorTable local;
    const ColorTable* table = &global_;
    if (packed & 0x80) {
      const int count = 2 << (packed & 7);
      const uint8_t* rgb = nullptr;
      if (!in_.Take(static_cast<size_t>(count) * 3, rgb)) return false;
      local.Load(rgb, count);
      table = &local;
    }
    const bool interlaced = (packed & 0x40) != 0;
    uint8_t minCodeSize = 0;
    if (!in_.Byte(minCodeSize)) return false;
    std::vector<uint8_t> data;
    if (!in_.SubBlocks(&data)) return false;
    if (minCodeSize < 2 || minCodeSize > 11) return false;

    const int64_t frameBudgetUsed = static_cast<int64_t>(image.frames.size() + 1) * width_ * height_;
    const int64_t pixels = static_cast<int64_t>(w) * h;
    if (frameBudgetUsed > kMaxPicturePixels || decoded_ + pixels > kMaxDecodedPixels) return false;
    decoded_ += pixels;

    // Put back what the previous image covered, if it asked for that.
    if (previousDisposal_ == 2 || previousDisposal_ == 3) Restore();
    const Rectangle covered{static_cast<int32_t>(std::min<uint32_t>(left, width_)),
                            static_cast<int32_t>(std::min<uint32_t>(top, height_)),
                            static_cast<int32_t>(std::min<uint32_t>(left + w, width_)),
                            static_cast<int32_t>(std::min<uint32_t>(top + h, height_))};
    if (disposal_ == 2 || disposal_ == 3) Save(covered);

    // Colour rather than index decides transparency: every pixel whose colour equals
    // the transparent entry's colour leaves the canvas as it is.
    const bool transparent = transparent_;
    const uint32_t transparentColor = (*table)[transparentIndex_];
    const std::vector<int32_t> rows = RowOrder(static_cast<int32_t>(h), interlaced);
    uint32_t column = 0;
    size_t rowIndex = 0;
    const auto emit = [&](uint32_t index) {
      const int64_t x = static_cast<int64_t>(left) + column;
      const int64_t y = static_cast<int64_t>(top) + rows[rowIndex];
      if (x < width_ && y < height_) {
        const uint32_t color = (*table)[index];
        if (!(transparent && color == transparentColor)) {
          canvas_[static_cast<size_t>(y) * width_ + static_cast<size_t>(x)] = color;
        }
      }
      if (++column == w) {
        column = 0;
        ++rowIndex;
      }
    };
    if (pixels > 0 && DecodeLzw(data, minCodeSize, pixels, emit) == LzwResult::kBroken) return false;

    ImageFrame frame;
    frame.delay = delay_ == 0 ? 50 : delay_ * 10;
    frame.pixels = canvas_;
    image.frames.push_back(std::move(frame));
    previousDisposal_ = disposal_;
    return true;
  }

  // The canvas row of each image row, in the order the rows arrive.
  static std::vector<int32_t> RowOrder(int32_t h, bool interlaced) {
    std::vector<int32_t> rows;
    rows.reserve(static_cast<size_t>(h));
    if (!interlaced) {
      for (int32_t y = 0; y < h; ++y) rows.push_back(y);
      return rows;
    }
    static constexpr int32_t kStart[4] = {0, 4, 2, 1};
    static constexpr int32_t kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
      for (int32_t y = kStart[pass]; y < h; y += kStep[pass]) rows.push_back(y);
    }
    return rows;
  }

  void Save(const Rectangle& r) {
    saved_ = r;
    savedPixels_.clear();
    for (int32_t y = r.top; y < r.bottom; ++y) {
      const uint32_t* row = canvas_.data() + static_cast<size_t>(y) * width_;
      savedPixels_.insert(savedPixels_.end(), row + r.left, row + r.right);
    }
  }
  void Restore() {
    const size_t span = static_cast<size_t>(std::max(0, saved_.right - saved_.left));
    size_t k = 0;
    for (int32_t y = saved_.top; y < saved_.bottom && k + span <= savedPixels_.size(); ++y, k += span) {
      std::copy_n(savedPixels_.data() + k, span, canvas_.data() + static_cast<size_t>(y) * width_ + saved_.left);
    }
    saved_ = {};
    savedPixels_.clear();
  }

  Cursor in_;
  int32_t width_ = 0, height_ = 0;
  ColorTable global_;
  std::vector<uint32_t> canvas_;
  int disposal_ = 0;
  bool transparent_ = false;
  uint8_t transparentIndex_ = 0;
  int32_t delay_ = 0;
  int previousDisposal_ = 0;
  Rectangle saved_;
  std::vector<uint32_t> savedPixels_;
  int64_t decoded_ = 0;
};

}  // namespace

SpriteImage DecodeGif(std::span<const uint8_t> bytes) {
  if (bytes.size() <= 13) return {};
  try {
    return GifDecoder(bytes).Run();
  } catch (const std::bad_alloc&) {
    return {};  // within the limits, but more than this process can hold now
  }
}

}  // namespace wintrel::image::detail
