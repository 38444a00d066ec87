// Copying, flipping, turning, resizing, tinting and lightening of sprite images.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

#include "stage/image/decoders.h"
#include "stage/image/sprite_image.h"

namespace wintrel::image {

namespace detail {
bool WellFormed(const SpriteImage& image) {
  if (!image.Usable()) return false;
  const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  for (const ImageFrame& frame : image.frames) {
    if (frame.pixels.size() != count) return false;
  }
  return true;
}
}  // namespace detail

using detail::WellFormed;

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  const int64_t product = static_cast<int64_t>(a) * b;
  const bool negative = (product < 0) != (c < 0);
  const uint64_t num = static_cast<uint64_t>(product < 0 ? -product : product);
  const uint64_t den = static_cast<uint64_t>(c < 0 ? -static_cast<int64_t>(c) : c);
  const uint64_t q = (num + den / 2) / den;  // halves away from zero
  if (q > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) + (negative ? 1u : 0u)) {
    return -1;  // the result does not fit, as the system's MulDiv reports it
  }
  return negative ? static_cast<int32_t>(-static_cast<int64_t>(q)) : static_cast<int32_t>(q);
}

bool CloneImage(const SpriteImage& image, SpriteImage& out) {
  if (!WellFormed(image)) {
    out = SpriteImage{};
    return false;
  }
  out = image;
  return true;
}

void FlipImage(SpriteImage& image, int32_t mode) {
  if (!WellFormed(image) || mode < 1 || mode > 3) return;
  const int32_t w = image.width, h = image.height;
  for (ImageFrame& frame : image.frames) {
    uint32_t* px = frame.pixels.data();
    if (mode == 1 || mode == 3) {
      for (int32_t y = 0; y < h; ++y) std::reverse(px + static_cast<size_t>(y) * w, px + static_cast<size_t>(y + 1) * w);
    }
    if (mode == 2 || mode == 3) {
      for (int32_t j = 0; j < h / 2; ++j) {
        std::swap_ranges(px + static_cast<size_t>(j) * w, px + static_cast<size_t>(j + 1) * w,
                         px + static_cast<size_t>(h - 1 - j) * w);
      }
    }
  }
}

bool RotateImage(const SpriteImage& image, int32_t angle, SpriteImage& out) {
  out = SpriteImage{};
  if (!WellFormed(image)) return false;
  int32_t a = angle % 360;
  if (a < 0) a += 360;
  if (a == 0) return CloneImage(image, out);

  const int32_t w = image.width, h = image.height;
  SpriteImage result;
  if (a == 180) {
    result.width = w;
    result.height = h;
    for (const ImageFrame& frame : image.frames) {
      ImageFrame f{frame.colorKey, frame.delay, {frame.pixels.rbegin(), frame.pixels.rend()}};
      result.frames.push_back(std::move(f));
    }
    out = std::move(result);
    return true;
  }
  if (a == 90 || a == 270) {
    result.width = h;
    result.height = w;
    for (const ImageFrame& frame : image.frames) {
      ImageFrame f{frame.colorKey, frame.delay, std::vector<uint32_t>(frame.pixels.size())};
      for (int32_t r = 0; r < w; ++r) {      // output rows
        for (int32_t c = 0; c < h; ++c) {    // output columns
          const int32_t sx = (a == 90) ? r : w - 1 - r;
          const int32_t sy = (a == 90) ? h - 1 - c : c;
          f.pixels[static_cast<size_t>(r) * h + c] = frame.pixels[static_cast<size_t>(sy) * w + sx];
        }
      }
      result.frames.push_back(std::move(f));
    }
    out = std::move(result);
    return true;
  }

  const double radians = a * 0.017453292519444445;
  const double s = std::sin(radians);
  const double c = std::cos(radians);
  const double xs[4] = {0.0, w * c, -h * s, w * c - h * s};
  const double ys[4] = {0.0, w * s, h * c, w * s + h * c};
  const double minX = *std::min_element(xs, xs + 4), maxX = *std::max_element(xs, xs + 4);
  const double minY = *std::min_element(ys, ys + 4), maxY = *std::max_element(ys, ys + 4);
  const double outW = std::ceil(maxX - minX);
  const double outH = std::ceil(maxY - minY);
  if (!(outW > 0) || !(outH > 0) || outW * outH > static_cast<double>(kMaxTransformPixels)) {
    return false;
  }
  const int32_t ow = static_cast<int32_t>(outW), oh = static_cast<int32_t>(outH);
  result.width = ow;
  result.height = oh;
  // The source index of every output pixel is the same for all frames: work it out once.
  std::vector<int64_t> source(static_cast<size_t>(ow) * oh);
  for (int32_t j = 0; j < oh; ++j) {
    const double y = minY + j;
    for (int32_t k = 0; k < ow; ++k) {
      const double x = minX + k;
      const double fx = std::trunc(x * c + y * s);
      const double fy = std::trunc(y * c - x * s);
      const bool inside = fx >= 0 && fx < w && fy >= 0 && fy < h;
      source[static_cast<size_t>(j) * ow + k] =
          inside ? static_cast<int64_t>(fy) * w + static_cast<int64_t>(fx) : -1;
    }
  }
  for (const ImageFrame& frame : image.frames) {
    ImageFrame f{frame.colorKey, frame.delay, std::vector<uint32_t>(source.size())};
    for (size_t i = 0; i < source.size(); ++i) {
      f.pixels[i] = source[i] < 0 ? kEmptyPixel : frame.pixels[static_cast<size_t>(source[i])];
    }
    result.frames.push_back(std::move(f));
  }
  out = std::move(result);
  return true;
}

namespace {

// One nearest-neighbour pass; false when the image has been emptied.
bool ScalePass(SpriteImage& image, int32_t zoomX, int32_t zoomY) {
  const int32_t w = image.width, h = image.height;
  const int32_t nw = MulDiv(w, zoomX, 1000);
  const int32_t nh = MulDiv(h, zoomY, 1000);
  if (nw <= 0 || nh <= 0 || static_cast<int64_t>(nw) * nh > kMaxTransformPixels) {
    image = SpriteImage{};
    return false;
  }
  const int64_t stepX = (int64_t{256} * w) / nw;
  const float ratioY = static_cast<float>(h) / static_cast<float>(nh);
  const int64_t stepY = static_cast<int64_t>(256.0f * ratioY);
  std::vector<int32_t> columns(static_cast<size_t>(nw));
  for (int32_t j = 0; j < nw; ++j) {
    columns[j] = static_cast<int32_t>(std::min<int64_t>((j * stepX) >> 8, w - 1));
  }
  for (ImageFrame& frame : image.frames) {
    std::vector<uint32_t> pixels(static_cast<size_t>(nw) * nh);
    for (int32_t i = 0; i < nh; ++i) {
      // The float step may round a hair upwards; never let it leave the picture.
      const int64_t row = std::min<int64_t>((i * stepY) >> 8, h - 1);
      const uint32_t* src = frame.pixels.data() + static_cast<size_t>(row) * w;
      uint32_t* dst = pixels.data() + static_cast<size_t>(i) * nw;
      for (int32_t j = 0; j < nw; ++j) dst[j] = src[columns[j]];
    }
    frame.pixels = std::move(pixels);
    frame.colorKey = kNoColorKey;
  }
  image.width = nw;
  image.height = nh;
  return true;
}

// The pixel value a frame's key stands for, or nullopt-like flag when it has none.
struct KeyMatch {
  bool active;
  uint32_t pixel;
  bool Excludes(uint32_t p) const { return active && p == pixel; }
};
KeyMatch KeyOf(const ImageFrame& frame) {
  return {HasColorKey(frame.colorKey), KeyToPixel(frame.colorKey)};
}

}  // namespace

void ScaleImage(SpriteImage& image, int32_t zoomX, int32_t zoomY) {
  if (!WellFormed(image) || (zoomX == 1000 && zoomY == 1000) || zoomX <= 0 || zoomY <= 0) return;
  if ((zoomX < 1000 && zoomY > 1000) || (zoomX > 1000 && zoomY < 1000)) {
    if (ScalePass(image, zoomX, 1000)) ScalePass(image, 1000, zoomY);
  } else {
    ScalePass(image, zoomX, zoomY);
  }
}

void TrendImage(SpriteImage& image, uint32_t color, int32_t depth) {
  if (!WellFormed(image) || depth <= 0) return;
  depth = std::min(depth, 100);
  const int32_t target[3] = {static_cast<int32_t>((color >> 16) & 0xFF),  // B
                             static_cast<int32_t>((color >> 8) & 0xFF),   // G
                             static_cast<int32_t>(color & 0xFF)};         // R
  for (ImageFrame& frame : image.frames) {
    const KeyMatch key = KeyOf(frame);
    for (uint32_t& p : frame.pixels) {
      if (key.Excludes(p)) continue;
      uint32_t out = p & 0xFF000000u;
      for (int k = 0; k < 3; ++k) {
        const int32_t v = static_cast<int32_t>((p >> (8 * k)) & 0xFF);
        const int32_t moved = v + MulDiv(target[k] - v, depth, 100);
        out |= static_cast<uint32_t>(moved & 0xFF) << (8 * k);
      }
      p = out;
    }
  }
}

void LightImage(SpriteImage& image, int32_t light) {
  if (!WellFormed(image) || light == 0) return;
  // Below -100 every component already ends at 0 and from 25500 up at 255 (or stays 0);
  // holding light in that range gives the same pixels without overflowing MulDiv.
  light = std::clamp(light, -100, 25500);
  for (ImageFrame& frame : image.frames) {
    const KeyMatch key = KeyOf(frame);
    for (uint32_t& p : frame.pixels) {
      if (key.Excludes(p)) continue;
      uint32_t out = p & 0xFF000000u;
      for (int k = 0; k < 3; ++k) {
        const int32_t v = static_cast<int32_t>((p >> (8 * k)) & 0xFF);
        const int32_t lit = std::clamp(v + MulDiv(v, light, 100), 0, 255);
        out |= static_cast<uint32_t>(lit) << (8 * k);
      }
      p = out;
    }
  }
}

}  // namespace wintrel::image
