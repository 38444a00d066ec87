// The command-line tool's BMP services against the fixtures' BMP writer.
#include <gtest/gtest.h>

#include "stage/image/sprite_image.h"
#include "tests/image/fixtures.h"
#include "tools/image/bmp_services.h"

namespace wintrel::image {
namespace {

TEST(ToolBmpServices, DecodesUncompressedBitmapsAndRefusesBrokenOnes) {
  const std::vector<uint32_t> pixels = {0x01020304, 0xFF0A0B0C, 0x00111213, 0x7F212223, 0x00313233, 0x00414243};
  for (int bits : {24, 32}) {
    for (bool topDown : {false, true}) {
      image_tool::BmpServices services;
      const testing::Bytes bmp = testing::WriteBmp(3, 2, bits, pixels, topDown);
      const SpriteImage image = DecodePicture(services, bmp, kNoColorKey, false);
      ASSERT_TRUE(image.Usable()) << bits << topDown;
      std::vector<uint32_t> expected = pixels;
      if (bits == 24) {
        for (uint32_t& p : expected) p &= 0x00FFFFFF;
      }
      EXPECT_EQ(image.frames[0].pixels, expected) << bits << topDown;
      testing::Bytes cut = bmp;
      cut.resize(cut.size() - 1);
      EXPECT_EQ(services.PictureToBitmap(cut), 0u);
    }
  }
}

}  // namespace
}  // namespace wintrel::image
