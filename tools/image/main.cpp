// wintrel-image: runs a picture through the stage's decoder and transforms and writes
// what comes out as PNG files, one per frame.
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "stage/image/sprite_image.h"
#include "tools/image/bmp_services.h"

namespace {

using wintrel::image::SpriteImage;
namespace img = wintrel::image;

constexpr const char* kUsage =
    "usage: wintrel-image IN [--key 0xBBGGRR | --key none | --auto-key] [TRANSFORM ...] -o OUT.png\n"
    "\n"
    "Decodes IN (PNG, GIF, or an uncompressed 24/32-bit BMP) as the stage does, applies the\n"
    "transforms in the order given, and writes every frame as an 8-bit RGBA PNG whose alpha\n"
    "is 255 minus the transparency byte: OUT.png for one frame, OUT-1.png, OUT-2.png, ...\n"
    "for several. Prints one line per frame:\n"
    "  frame K: WxH key 0xKKKKKKKK delay D\n"
    "An empty result writes nothing, prints \"empty\" and exits with 1.\n"
    "\n"
    "Colour key (default 0xF0F0F0, the snowflakes' own):\n"
    "  --key 0xBBGGRR      key colour in BGR order; --key none for no key\n"
    "  --auto-key          take each frame's top-left pixel as its key\n"
    "Transforms:\n"
    "  --rotate DEG        turn clockwise by whole degrees\n"
    "  --scale ZX,ZY       resize by per-mille factors (1000 = own size)\n"
    "  --flip MODE         1 left-right, 2 up-down, 3 both\n"
    "  --trend 0xBBGGRR,DEPTH  move colours towards a colour by DEPTH percent\n"
    "  --light PERCENT     brighten (or darken, when negative) by PERCENT\n"
    "  --prepare ANGLE,ZOOM    what the stage does for a snowflake sprite: rotate by\n"
    "                      ANGLE, then scale by ZOOM x ZOOM per mille\n"
    "Exit status: 0 written, 1 empty result, 2 bad arguments or files.\n";

std::optional<int64_t> Number(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0') return std::nullopt;
  return v;
}
std::optional<int32_t> Int32(const std::string& text) {
  const auto v = Number(text);
  if (!v || *v < INT32_MIN || *v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(*v);
}
std::optional<uint32_t> Colour(const std::string& text) {
  const auto v = Number(text);
  if (!v || *v < 0 || *v > 0xFFFFFFFFll) return std::nullopt;
  return static_cast<uint32_t>(*v);
}
bool Pair(const std::string& text, std::string& a, std::string& b) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos) return false;
  a = text.substr(0, comma);
  b = text.substr(comma + 1);
  return true;
}

bool WritePng(const std::string& path, const SpriteImage& image, const img::ImageFrame& frame) {
  std::vector<uint8_t> rgba(frame.pixels.size() * 4);
  for (size_t i = 0; i < frame.pixels.size(); ++i) {
    const uint32_t p = frame.pixels[i];
    rgba[i * 4 + 0] = static_cast<uint8_t>(p >> 16);
    rgba[i * 4 + 1] = static_cast<uint8_t>(p >> 8);
    rgba[i * 4 + 2] = static_cast<uint8_t>(p);
    rgba[i * 4 + 3] = static_cast<uint8_t>(255 - (p >> 24));
  }
  png_image out{};
  out.version = PNG_IMAGE_VERSION;
  out.width = static_cast<png_uint_32>(image.width);
  out.height = static_cast<png_uint_32>(image.height);
  out.format = PNG_FORMAT_RGBA;
  const bool ok = png_image_write_to_file(&out, path.c_str(), 0, rgba.data(), 0, nullptr) != 0;
  if (!ok) std::fprintf(stderr, "wintrel-image: cannot write %s: %s\n", path.c_str(), out.message);
  return ok;
}

int Run(int argc, char** argv) {
  std::string input, output;
  uint32_t key = 0x00F0F0F0;
  bool autoKey = false;
  struct Step {
    std::string name;
    int32_t a = 0, b = 0;
    uint32_t colour = 0;
  };
  std::vector<Step> steps;
  auto bad = [](const std::string& what) {
    std::fprintf(stderr, "wintrel-image: %s\n%s", what.c_str(), kUsage);
    return 2;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    const bool takesValue = arg == "-o" || arg == "--key" || arg == "--rotate" || arg == "--scale" ||
                            arg == "--flip" || arg == "--trend" || arg == "--light" || arg == "--prepare";
    if (takesValue && i + 1 >= argc) return bad(arg + " needs a value");
    const std::string value = takesValue ? argv[++i] : "";
    std::string x, y;
    if (arg == "-o") {
      output = value;
    } else if (arg == "--key") {
      const auto c = value == "none" ? std::optional<uint32_t>(img::kNoColorKey) : Colour(value);
      if (!c) return bad("bad key " + value);
      key = *c;
      autoKey = false;
    } else if (arg == "--auto-key") {
      autoKey = true;
    } else if (arg == "--rotate" || arg == "--flip" || arg == "--light") {
      const auto v = Int32(value);
      if (!v) return bad("bad number for " + arg + ": " + value);
      steps.push_back({arg, *v});
    } else if (arg == "--scale" || arg == "--prepare") {
      const auto a = Pair(value, x, y) ? Int32(x) : std::nullopt;
      const auto b = a ? Int32(y) : std::nullopt;
      if (!b) return bad("bad pair for " + arg + ": " + value);
      steps.push_back({arg, *a, *b});
    } else if (arg == "--trend") {
      const auto c = Pair(value, x, y) ? Colour(x) : std::nullopt;
      const auto d = c ? Int32(y) : std::nullopt;
      if (!d) return bad("bad colour and depth for --trend: " + value);
      steps.push_back({arg, *d, 0, *c});
    } else if (!arg.empty() && arg[0] == '-') {
      return bad("unknown option " + arg);
    } else if (input.empty()) {
      input = arg;
    } else {
      return bad("more than one input: " + arg);
    }
  }
  if (input.empty() || output.empty()) return bad("an input and -o OUT.png are needed");

  std::ifstream file(input, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "wintrel-image: cannot read %s\n", input.c_str());
    return 2;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

  wintrel::image_tool::BmpServices services;
  SpriteImage image = img::DecodePicture(services, bytes, key, autoKey);
  for (const Step& s : steps) {
    if (s.name == "--rotate" || s.name == "--prepare") {
      SpriteImage turned;
      img::RotateImage(image, s.a, turned);
      image = std::move(turned);
      if (s.name == "--prepare") img::ScaleImage(image, s.b, s.b);
    } else if (s.name == "--scale") {
      img::ScaleImage(image, s.a, s.b);
    } else if (s.name == "--flip") {
      img::FlipImage(image, s.a);
    } else if (s.name == "--trend") {
      img::TrendImage(image, s.colour, s.a);
    } else if (s.name == "--light") {
      img::LightImage(image, s.a);
    }
  }
  if (!image.Usable()) {
    std::puts("empty");
    return 1;
  }
  std::string stem = output;
  if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".png") == 0) stem.resize(stem.size() - 4);
  for (int k = 0; k < image.FrameCount(); ++k) {
    const img::ImageFrame& f = image.frames[k];
    const std::string path = image.FrameCount() == 1 ? output : stem + "-" + std::to_string(k + 1) + ".png";
    if (!WritePng(path, image, f)) return 2;
    std::printf("frame %d: %dx%d key 0x%08X delay %d\n", k + 1, image.width, image.height, f.colorKey, f.delay);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return Run(argc, argv); }
