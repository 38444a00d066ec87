// What the fuzzers found, kept as tests: each input that broke a reader, fed to that
// reader again with what it must give now; and every kept corpus and finding replayed
// through the fuzz targets' bodies, which check the rules every answer must follow.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/harness.h"
#include "platform/sim/sim_desktop.h"

namespace wintrel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const fs::path kFuzzDir = WINTREL_FUZZ_DIR;

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Le32(Bytes& b, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A 32-bit BMP of 2 x 1 pixels with a BITMAPV4HEADER (108 bytes) and bit-field masks in
// it, the alpha mask included.
Bytes V4Bitmap() {
  Bytes b(14 + 108 + 8, 0);
  b[0] = 'B';
  b[1] = 'M';
  Le32(b, 2, static_cast<uint32_t>(b.size()));
  Le32(b, 10, 14 + 108);
  Le32(b, 14, 108);
  Le32(b, 18, 2);
  Le32(b, 22, 1);
  b[26] = 1;
  b[28] = 32;
  Le32(b, 30, 3);  // bit fields
  Le32(b, 54, 0x00FF0000);
  Le32(b, 58, 0x0000FF00);
  Le32(b, 62, 0x000000FF);
  Le32(b, 66, 0xFF000000);
  Le32(b, 122, 0x80102030);
  Le32(b, 126, 0x00405060);
  return b;
}

TEST(FuzzFindings, BitmapWithItsHeaderCutShortIsNoPicture) {
  sim::SimDesktop desk;
  // Found by picture_other: a BITMAPV4HEADER file of 69 bytes with bit-field compression.
  // The decoder read the alpha mask at bytes 66 to 69, one byte past the end.
  const Bytes found = ReadFile(kFuzzDir / "regressions/picture_other/bmp-masks-past-end");
  ASSERT_EQ(found.size(), 69u);
  EXPECT_EQ(desk.PictureToBitmap(found), 0u);

  // The whole header is needed, whatever its size claims; one byte short is refused.
  const Bytes whole = V4Bitmap();
  for (std::size_t size : {std::size_t{54}, std::size_t{69}, std::size_t{121}}) {
    SCOPED_TRACE(size);
    EXPECT_EQ(desk.PictureToBitmap(std::span(whole).first(size)), 0u);
  }
  // A complete file still decodes, its alpha mask applied.
  const ws::Hbitmap bitmap = desk.PictureToBitmap(whole);
  ASSERT_NE(bitmap, 0u);
  const auto pixels = desk.BitmapToPixels(bitmap);
  ASSERT_TRUE(pixels.has_value());
  EXPECT_EQ(pixels->pixels, (std::vector<uint32_t>{0x80102030u, 0x00405060u}));
  desk.DeleteBitmap(bitmap);
}

// Every kept input of every target goes through that target's body again; the body ends
// the process if an answer breaks a rule. The seed corpora must be there.
TEST(FuzzFindings, KeptCorporaAndFindingsReplayCleanly) {
  for (const fuzz::Target& target : fuzz::Targets()) {
    SCOPED_TRACE(std::string(target.name));
    int seeds = 0;
    for (const char* kind : {"corpus", "regressions"}) {
      const fs::path dir = kFuzzDir / kind / target.name;
      if (!fs::is_directory(dir)) continue;
      for (const auto& entry : fs::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        const Bytes data = ReadFile(entry.path());
        target.run(data);
        if (std::string_view(kind) == "corpus") ++seeds;
      }
    }
    EXPECT_GT(seeds, 0) << "no seed corpus for " << target.name;
  }
}

}  // namespace
}  // namespace wintrel
