#include "stage/image/fast_paths.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "stage/image/decoders.h"

namespace wintrel::image {
namespace {

// Where each output row or column of the scale passes samples the turned picture.
struct ScaleMap {
  std::vector<int32_t> columns;  // output column -> column of the turned picture
  std::vector<int32_t> rows;     // output row -> row of the turned picture
};

// One pass of ScaleImage's arithmetic on the maps; false where ScaleImage empties.
bool ComposePass(ScaleMap& map, int32_t zoomX, int32_t zoomY) {
  const int32_t w = static_cast<int32_t>(map.columns.size());
  const int32_t h = static_cast<int32_t>(map.rows.size());
  const int32_t nw = MulDiv(w, zoomX, 1000);
  const int32_t nh = MulDiv(h, zoomY, 1000);
  if (nw <= 0 || nh <= 0 || static_cast<int64_t>(nw) * nh > kMaxTransformPixels) return false;
  const int64_t stepX = (int64_t{256} * w) / nw;
  const float ratioY = static_cast<float>(h) / static_cast<float>(nh);
  const int64_t stepY = static_cast<int64_t>(256.0f * ratioY);
  std::vector<int32_t> columns(static_cast<size_t>(nw)), rows(static_cast<size_t>(nh));
  for (int32_t j = 0; j < nw; ++j)
    columns[j] = map.columns[static_cast<size_t>(std::min<int64_t>((j * stepX) >> 8, w - 1))];
  for (int32_t i = 0; i < nh; ++i)
    rows[i] = map.rows[static_cast<size_t>(std::min<int64_t>((i * stepY) >> 8, h - 1))];
  map.columns = std::move(columns);
  map.rows = std::move(rows);
  return true;
}

uint64_t Mix(uint64_t h, uint64_t v) {
  h ^= v;
  h *= 0x9E3779B97F4A7C15ull;
  return h ^ (h >> 29);
}

}  // namespace

bool RotateScaleImage(const SpriteImage& image, int32_t angle, int32_t zoomX, int32_t zoomY,
                      SpriteImage& out) {
  out = SpriteImage{};
  if (!detail::WellFormed(image)) return false;
  int32_t a = angle % 360;
  if (a < 0) a += 360;
  const int32_t w = image.width, h = image.height;

  // The turned picture's size, and for a free angle its geometry, as RotateImage has them.
  int32_t tw = w, th = h;
  double s = 0, c = 0, minX = 0, minY = 0;
  if (a == 90 || a == 270) {
    tw = h;
    th = w;
  } else if (a != 0 && a != 180) {
    s = DegreeSine(a);
    c = DegreeCosine(a);
    const double xs[4] = {0.0, w * c, -h * s, w * c - h * s};
    const double ys[4] = {0.0, w * s, h * c, w * s + h * c};
    minX = *std::min_element(xs, xs + 4);
    const double maxX = *std::max_element(xs, xs + 4);
    minY = *std::min_element(ys, ys + 4);
    const double maxY = *std::max_element(ys, ys + 4);
    const double outW = std::ceil(maxX - minX);
    const double outH = std::ceil(maxY - minY);
    if (!(outW > 0) || !(outH > 0) || outW * outH > static_cast<double>(kMaxTransformPixels)) {
      return false;
    }
    tw = static_cast<int32_t>(outW);
    th = static_cast<int32_t>(outH);
  }

  // The scale's passes, as ScaleImage chooses them.
  ScaleMap map;
  map.columns.resize(static_cast<size_t>(tw));
  map.rows.resize(static_cast<size_t>(th));
  for (int32_t k = 0; k < tw; ++k) map.columns[k] = k;
  for (int32_t j = 0; j < th; ++j) map.rows[j] = j;
  const bool scaled = !(zoomX == 1000 && zoomY == 1000) && zoomX > 0 && zoomY > 0;
  if (scaled) {
    if ((zoomX < 1000 && zoomY > 1000) || (zoomX > 1000 && zoomY < 1000)) {
      if (!ComposePass(map, zoomX, 1000) || !ComposePass(map, 1000, zoomY)) return false;
    } else if (!ComposePass(map, zoomX, zoomY)) {
      return false;
    }
  }
  const int32_t ow = static_cast<int32_t>(map.columns.size());
  const int32_t oh = static_cast<int32_t>(map.rows.size());

  // The source index of every output pixel, -1 for the turned picture's empty corners.
  std::vector<int64_t> source(static_cast<size_t>(ow) * oh);
  for (int32_t i = 0; i < oh; ++i) {
    const int32_t j = map.rows[i];  // row of the turned picture
    int64_t* line = source.data() + static_cast<size_t>(i) * ow;
    for (int32_t col = 0; col < ow; ++col) {
      const int32_t k = map.columns[col];  // column of the turned picture
      int64_t index;
      switch (a) {
        case 0: index = int64_t{j} * w + k; break;
        case 180: index = int64_t{w} * h - 1 - (int64_t{j} * tw + k); break;
        case 90: index = int64_t{h - 1 - k} * w + j; break;
        case 270: index = int64_t{k} * w + (w - 1 - j); break;
        default: {
          const double y = minY + j;
          const double x = minX + k;
          const double fx = std::trunc(x * c + y * s);
          const double fy = std::trunc(y * c - x * s);
          const bool inside = fx >= 0 && fx < w && fy >= 0 && fy < h;
          index = inside ? static_cast<int64_t>(fy) * w + static_cast<int64_t>(fx) : -1;
          break;
        }
      }
      line[col] = index;
    }
  }

  SpriteImage result;
  result.width = ow;
  result.height = oh;
  result.frames.reserve(image.frames.size());
  for (const ImageFrame& frame : image.frames) {
    ImageFrame f{scaled ? kNoColorKey : frame.colorKey, frame.delay,
                 std::vector<uint32_t>(source.size())};
    const uint32_t* from = frame.pixels.data();
    for (size_t p = 0; p < source.size(); ++p)
      f.pixels[p] = source[p] < 0 ? kEmptyPixel : from[static_cast<size_t>(source[p])];
    result.frames.push_back(std::move(f));
  }
  out = std::move(result);
  return true;
}

uint64_t ImageDigest(const SpriteImage& image) {
  uint64_t h = Mix(0x243F6A8885A308D3ull, (uint64_t(uint32_t(image.width)) << 32) | uint32_t(image.height));
  h = Mix(h, image.frames.size());
  for (const ImageFrame& frame : image.frames) {
    h = Mix(h, (uint64_t(frame.colorKey) << 32) | uint32_t(frame.delay));
    h = Mix(h, frame.pixels.size());
    const uint32_t* p = frame.pixels.data();
    const size_t n = frame.pixels.size();
    // Four lanes of two pixels each, so that the multiplications overlap.
    uint64_t lane[4] = {h, h ^ 1, h ^ 2, h ^ 3};
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      for (int l = 0; l < 4; ++l) {
        uint64_t v;
        std::memcpy(&v, p + i + 2 * l, sizeof v);
        lane[l] = Mix(lane[l], v);
      }
    }
    for (; i < n; ++i) lane[0] = Mix(lane[0], p[i]);
    h = Mix(Mix(Mix(Mix(h, lane[0]), lane[1]), lane[2]), lane[3]);
  }
  return h;
}

bool DecodesOnItsOwn(std::span<const uint8_t> b) {
  static constexpr uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  const bool gif = b.size() > 5 && b[0] == 'G' && b[1] == 'I' && b[2] == 'F' && b[3] == '8' &&
                   (b[4] == '7' || b[4] == '9') && b[5] == 'a';
  const bool png = b.size() > 7 && std::memcmp(b.data(), kPng, 8) == 0;
  return gif || png;
}

std::shared_ptr<const SpriteImage> PictureCache::Decode(ws::PictureServices& services,
                                                         std::span<const uint8_t> bytes,
                                                         uint32_t transparentColor,
                                                         bool autoTransparent) {
  if (!DecodesOnItsOwn(bytes)) return nullptr;
  ++clock_;
  for (Entry& e : entries_) {
    if (e.transparentColor == transparentColor && e.autoTransparent == autoTransparent &&
        e.bytes.size() == bytes.size() && std::memcmp(e.bytes.data(), bytes.data(), bytes.size()) == 0) {
      e.lastUse = clock_;
      return e.image;
    }
  }
  auto image = std::make_shared<const SpriteImage>(
      DecodePicture(services, bytes, transparentColor, autoTransparent));
  std::size_t pixels = 0;
  for (const ImageFrame& f : image->frames) pixels += f.pixels.size();
  if (pixels > maxPixels_ || maxEntries_ == 0) return image;  // too big to keep
  // Room for it: drop the least recently used until it fits.
  auto total = [this] {
    std::size_t t = 0;
    for (const Entry& e : entries_) t += e.pixels;
    return t;
  };
  while (!entries_.empty() && (entries_.size() >= maxEntries_ || total() + pixels > maxPixels_)) {
    entries_.erase(std::min_element(entries_.begin(), entries_.end(),
                                    [](const Entry& x, const Entry& y) { return x.lastUse < y.lastUse; }));
  }
  entries_.push_back(Entry{std::vector<uint8_t>(bytes.begin(), bytes.end()), transparentColor,
                           autoTransparent, image, pixels, clock_});
  return image;
}

}  // namespace wintrel::image
