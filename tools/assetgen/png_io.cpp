#include "tools/assetgen/png_io.h"

#include <png.h>

#include <cmath>
#include <cstring>

namespace wintrel::assetgen {
namespace {

void Be32(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}
void Be16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
void Tag4(std::vector<uint8_t>& out, const char* s) { out.insert(out.end(), s, s + 4); }
uint32_t S15Fixed16(double v) { return static_cast<uint32_t>(static_cast<int32_t>(std::lround(v * 65536.0))); }
void Pad4(std::vector<uint8_t>& out) {
  while (out.size() % 4) out.push_back(0);
}

std::vector<uint8_t> XyzTag(double x, double y, double z) {
  std::vector<uint8_t> t;
  Tag4(t, "XYZ ");
  Be32(t, 0);
  Be32(t, S15Fixed16(x));
  Be32(t, S15Fixed16(y));
  Be32(t, S15Fixed16(z));
  return t;
}

void Append(std::vector<uint8_t>& out, png_structp png, png_bytep data, size_t n) {
  (void)png;
  out.insert(out.end(), data, data + n);
}
void WriteToVector(png_structp png, png_bytep data, size_t n) {
  Append(*static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png)), png, data, n);
}
void NoFlush(png_structp) {}

}  // namespace

std::vector<uint8_t> DisplayProfile() {
  const char* description = "Wintrel display RGB";
  const char* copyright = "No copyright, use freely";
  struct Tag {
    const char* sig;
    std::vector<uint8_t> data;
  };
  std::vector<Tag> tags;
  {
    std::vector<uint8_t> t;
    Tag4(t, "desc");
    Be32(t, 0);
    const uint32_t n = static_cast<uint32_t>(std::strlen(description)) + 1;
    Be32(t, n);
    t.insert(t.end(), description, description + n);
    Be32(t, 0);  // Unicode language
    Be32(t, 0);  // Unicode count
    Be16(t, 0);  // ScriptCode code
    t.push_back(0);  // ScriptCode count
    t.insert(t.end(), 67, 0);
    tags.push_back({"desc", t});
  }
  {
    std::vector<uint8_t> t;
    Tag4(t, "text");
    Be32(t, 0);
    t.insert(t.end(), copyright, copyright + std::strlen(copyright) + 1);
    tags.push_back({"cprt", t});
  }
  tags.push_back({"wtpt", XyzTag(0.9642, 1.0, 0.8249)});
  tags.push_back({"rXYZ", XyzTag(0.4361, 0.2225, 0.0139)});
  tags.push_back({"gXYZ", XyzTag(0.3851, 0.7169, 0.0971)});
  tags.push_back({"bXYZ", XyzTag(0.1431, 0.0606, 0.7141)});
  std::vector<uint8_t> curve;
  Tag4(curve, "curv");
  Be32(curve, 0);
  Be32(curve, 1);
  Be16(curve, 0x0233);  // gamma 2.2 as u8Fixed8
  for (const char* sig : {"rTRC", "gTRC", "bTRC"}) tags.push_back({sig, curve});

  const size_t tableSize = 4 + 12 * tags.size();
  std::vector<uint8_t> data;  // tag data, placed after the header and table
  std::vector<std::pair<uint32_t, uint32_t>> places;
  for (const Tag& t : tags) {
    places.push_back({static_cast<uint32_t>(128 + tableSize + data.size()), static_cast<uint32_t>(t.data.size())});
    data.insert(data.end(), t.data.begin(), t.data.end());
    Pad4(data);
  }
  std::vector<uint8_t> p;
  Be32(p, static_cast<uint32_t>(128 + tableSize + data.size()));
  Be32(p, 0);           // preferred CMM
  Be32(p, 0x02100000);  // version 2.1
  Tag4(p, "mntr");
  Tag4(p, "RGB ");
  Tag4(p, "XYZ ");
  for (uint32_t v : {2024u, 1u, 1u, 0u, 0u, 0u}) Be16(p, v);
  Tag4(p, "acsp");
  p.insert(p.end(), 24, 0);  // platform, flags, manufacturer, model, attributes
  Be32(p, 0);                // perceptual
  Be32(p, S15Fixed16(0.9642));
  Be32(p, S15Fixed16(1.0));
  Be32(p, S15Fixed16(0.8249));
  p.resize(128, 0);
  Be32(p, static_cast<uint32_t>(tags.size()));
  for (size_t i = 0; i < tags.size(); ++i) {
    Tag4(p, tags[i].sig);
    Be32(p, places[i].first);
    Be32(p, places[i].second);
  }
  p.insert(p.end(), data.begin(), data.end());
  return p;
}

std::optional<std::vector<uint8_t>> EncodePng(const Rgba& image, const PngOptions& options) {
  // Everything with a destructor is made before libpng may jump back here.
  std::vector<uint8_t> out;
  const std::vector<uint8_t> profile = DisplayProfile();
  std::vector<png_text> texts;
  for (const PngText& t : options.texts) {
    png_text text{};
    text.compression = PNG_ITXT_COMPRESSION_NONE;
    text.key = const_cast<char*>(t.key.c_str());
    text.text = const_cast<char*>(t.text.c_str());
    text.itxt_length = t.text.size();
    text.lang = const_cast<char*>("en");
    text.lang_key = const_cast<char*>("");
    texts.push_back(text);
  }
  std::vector<png_bytep> rows;
  for (int32_t y = 0; y < image.height; ++y) {
    rows.push_back(const_cast<png_bytep>(image.pixels.data()) + static_cast<size_t>(y) * image.width * 4);
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return std::nullopt;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return std::nullopt;
  }
  png_set_write_fn(png, &out, WriteToVector, NoFlush);
  png_set_compression_level(png, 9);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (options.ancillary) {
    png_set_pHYs(png, info, 3780, 3780, PNG_RESOLUTION_METER);  // 96 dots per inch
    png_set_iCCP(png, info, "Wintrel display RGB", PNG_COMPRESSION_TYPE_BASE, profile.data(),
                 static_cast<png_uint_32>(profile.size()));
    png_set_cHRM(png, info, 0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06);
  }
  if (!texts.empty()) png_set_text(png, info, texts.data(), static_cast<int>(texts.size()));
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::optional<Rgba> DecodePngStrict(const std::vector<uint8_t>& bytes, std::string* problem) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
    if (problem) *problem = image.message;
    return std::nullopt;
  }
  image.format = PNG_FORMAT_RGBA;
  Rgba out;
  out.width = static_cast<int32_t>(image.width);
  out.height = static_cast<int32_t>(image.height);
  out.pixels.resize(PNG_IMAGE_SIZE(image));
  const bool ok = png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr) != 0;
  if (!ok || image.warning_or_error != 0) {
    if (problem) *problem = image.message;
    png_image_free(&image);
    return std::nullopt;
  }
  return out;
}

}  // namespace wintrel::assetgen
