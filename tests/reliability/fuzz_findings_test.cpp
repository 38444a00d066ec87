// What the fuzzers found, kept as tests: each input that broke a reader, fed to that
// reader again with what it must give now; and every kept corpus and finding replayed
// through the fuzz targets' bodies, which check the rules every answer must follow.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/ids.h"
#include "fuzz/harness.h"
#include "platform/runtime/definition.h"
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

TEST(FuzzFindings, ControlStoredFarAboveTheScreenIsPlacedWithoutOverflow) {
  // Found by program_definitions: the program's definition with its stage stored at
  // top -2^31. Moving the stage to 0, 0 made the simulated desktop work out
  // 0 - (-2^31), which overflows (undefined behaviour, caught by UBSan).
  const Bytes found = ReadFile(kFuzzDir / "regressions/program_definitions/window-at-int-min");
  const auto defs = runtime::ReadWindowDefinitions(found);
  ASSERT_TRUE(defs.has_value());
  bool stageAtIntMin = false;
  for (const auto& u : defs->windows[0].units)
    stageAtIntMin |= !u.isMenu && u.id == app::kStage && u.unit.top == INT32_MIN;
  EXPECT_TRUE(stageAtIntMin);
  fuzz::ProgramDefinitions(found);  // runs the program with it: exit code 0, nothing left

  // Positions and sizes at the ends of the 32-bit range are kept within +-2^28, so that
  // no sum or difference of them overflows, however the window is made or moved.
  sim::SimDesktop desk;
  desk.RegisterClass({"Far", 0, true});
  ws::CreateDesc d;
  d.className = "Far";
  d.style = ws::WS_POPUP;
  d.x = INT32_MIN + 1;
  d.y = INT32_MAX;
  d.width = INT32_MAX;
  d.height = 0;  // no client pixels to keep
  d.proc = [](void* ctx, ws::Hwnd h, uint32_t m, std::uintptr_t w, std::intptr_t l) -> std::intptr_t {
    return static_cast<sim::SimDesktop*>(ctx)->DefWindowProc(h, m, w, l);
  };
  d.context = &desk;
  const ws::Hwnd far = desk.CreateWindow(d);
  ASSERT_NE(far, 0u);
  constexpr int32_t kLimit = int32_t{1} << 28;
  EXPECT_EQ(desk.GetWindowRect(far), (ws::Rect{-kLimit, kLimit, 0, kLimit}));
  desk.SetWindowPos(far, 0, 0, INT32_MIN, 10, 10, ws::SWP_NOZORDER);
  EXPECT_EQ(desk.GetWindowRect(far), (ws::Rect{0, -kLimit, 10, -kLimit + 10}));
  desk.MoveWindow(far, INT32_MAX, 0, INT32_MIN, 5, false);
  EXPECT_EQ(desk.GetWindowRect(far), (ws::Rect{kLimit, 0, kLimit, 5}));
  desk.DestroyWindow(far);
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
