#include "platform/win32/byte_formats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace wintrel::win32 {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, std::size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Append32(Bytes& b, uint32_t v) {
  b.resize(b.size() + 4);
  Put32(b, b.size() - 4, v);
}
void AppendTag(Bytes& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }

// --- GBK text

TEST(WholeGbkPrefix, NeverSplitsADoubleByteCharacter) {
  const std::string snow = "\xD1\xA9";  // one character, two bytes
  struct Case {
    std::string text;
    std::size_t max;
    std::size_t expected;
  } cases[] = {
      {"abc", 2, 2},
      {"a" + snow, 2, 1},            // the character would be cut: left out
      {"a" + snow, 3, 3},
      {snow + snow, 3, 2},
      {"ab\xD1", 5, 3},              // a lone lead byte at the end is one byte
      {std::string("\x80\x41", 2), 1, 1},  // 0x80 is no lead byte
      {"", 10, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WholeGbkPrefix(c.text, c.max), c.expected) << c.text << " max " << c.max;
  }
}

TEST(BoundedCString, StopsAtTheFieldEndWithoutATerminator) {
  const char full[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(BoundedCString(full), "abcd");
  const char shorter[4] = {'a', 0, 'c', 'd'};
  EXPECT_EQ(BoundedCString(shorter), "a");
}

// --- fonts

Bytes LogFont(const std::string& face) {
  Bytes b(kLogFontSize, 0);
  Put32(b, 0, static_cast<uint32_t>(-16));
  Put32(b, 16, 700);
  b[20] = 1;     // italic
  b[23] = 134;   // GB2312 character set
  b[27] = 0x31;  // pitch and family
  std::memcpy(b.data() + 28, face.data(), std::min(face.size(), kFaceNameBytes));
  return b;
}

TEST(ParseLogFont, ReadsTheFieldsOfASixtyByteBlock) {
  const auto f = ParseLogFont(LogFont("\xCB\xCE\xCC\xE5"));  // a GBK face name
  ASSERT_TRUE(f);
  EXPECT_EQ(f->height, -16);
  EXPECT_EQ(f->weight, 700);
  EXPECT_EQ(f->italic, 1);
  EXPECT_EQ(f->charSet, 134);
  EXPECT_EQ(f->pitchAndFamily, 0x31);
  EXPECT_EQ(f->faceName, "\xCB\xCE\xCC\xE5");
}

TEST(ParseLogFont, RefusesBlocksOfAnyOtherLength) {
  Bytes block = LogFont("Arial");
  block.pop_back();
  EXPECT_FALSE(ParseLogFont(block));
  block.resize(92, 0);  // the size of the wide form
  EXPECT_FALSE(ParseLogFont(block));
  EXPECT_FALSE(ParseLogFont({}));
}

TEST(ParseLogFont, FaceNameWithoutTerminatorKeepsWholeCharactersWithinThirtyOneBytes) {
  // 32 bytes of name, no zero: 15 double-byte characters, then 'x' and 'y'.
  std::string face;
  for (int i = 0; i < 15; ++i) face += "\xD1\xA9";
  face += "xy";
  ASSERT_EQ(face.size(), 32u);
  const auto f = ParseLogFont(LogFont(face));
  ASSERT_TRUE(f);
  EXPECT_EQ(f->faceName, face.substr(0, 31));

  std::string shifted = "x";
  for (int i = 0; i < 15; ++i) shifted += "\xD1\xA9";
  shifted += "y";  // the 31st byte ends a character only if none is split
  const auto g = ParseLogFont(LogFont(shifted));
  ASSERT_TRUE(g);
  EXPECT_EQ(g->faceName, shifted.substr(0, 31));

  std::string split;
  for (int i = 0; i < 16; ++i) split += "\xD1\xA9";  // 32 bytes: the 16th would be cut
  const auto h = ParseLogFont(LogFont(split));
  ASSERT_TRUE(h);
  EXPECT_EQ(h->faceName, split.substr(0, 30));
}

// --- icons

// An icon image: 40-byte header, palette for <= 8 bits, colour rows, mask rows.
Bytes IconImage(int32_t width, int32_t height, uint16_t bits, uint32_t colorsUsed = 0) {
  const std::size_t palette = bits <= 8 ? (colorsUsed ? colorsUsed : (1u << bits)) : 0;
  const std::size_t colorStride = ((width * bits + 31) / 32) * 4;
  const std::size_t maskStride = ((width + 31) / 32) * 4;
  Bytes b(40 + palette * 4 + (colorStride + maskStride) * height, 0);
  Put32(b, 0, 40);
  Put32(b, 4, static_cast<uint32_t>(width));
  Put32(b, 8, static_cast<uint32_t>(2 * height));
  Put16(b, 12, 1);
  Put16(b, 14, bits);
  Put32(b, 32, colorsUsed);
  return b;
}

TEST(IconImageSize, GivesTheSizeOfImagesThatFitTheirBytes) {
  struct Case {
    int32_t w, h;
    uint16_t bits;
    uint32_t used;
  } cases[] = {{32, 32, 32, 0}, {16, 16, 4, 0}, {48, 48, 8, 0}, {13, 7, 1, 0}, {24, 24, 8, 16},
               {20, 20, 24, 0}};
  for (const auto& c : cases) {
    const Bytes image = IconImage(c.w, c.h, c.bits, c.used);
    EXPECT_EQ(IconImageSize(image), (ImageSize{c.w, c.h})) << c.w << "x" << c.h << "@" << c.bits;
    // One byte short of the mask: the system would read past the block.
    EXPECT_FALSE(IconImageSize(std::span(image).first(image.size() - 1)))
        << c.w << "x" << c.h << "@" << c.bits;
  }
}

TEST(IconImageSize, RefusesMalformedHeaders) {
  const Bytes good = IconImage(32, 32, 32);
  auto with = [&](std::size_t at, uint32_t value, bool wide) {
    Bytes b = good;
    wide ? Put32(b, at, value) : Put16(b, at, static_cast<uint16_t>(value));
    return b;
  };
  EXPECT_FALSE(IconImageSize(with(0, 12, true)));          // an old core header
  EXPECT_FALSE(IconImageSize(with(0, 0x7FFFFFFF, true)));  // header larger than the block
  EXPECT_FALSE(IconImageSize(with(4, 0, true)));           // no width
  EXPECT_FALSE(IconImageSize(with(4, static_cast<uint32_t>(-32), true)));
  EXPECT_FALSE(IconImageSize(with(8, 1, true)));           // no room for colour and mask
  EXPECT_FALSE(IconImageSize(with(12, 2, false)));         // two planes
  EXPECT_FALSE(IconImageSize(with(14, 7, false)));         // no such depth
  EXPECT_FALSE(IconImageSize(with(16, 1, true)));          // run-length compressed
  EXPECT_FALSE(IconImageSize(Bytes(39, 0)));
}

TEST(IconImageSize, ReadsThePngSizeOfAPngImage) {
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
               0, 0, 1, 0, 0, 0, 0, 200};
  EXPECT_EQ(IconImageSize(png), (ImageSize{256, 200}));
  png[12] = 'X';  // the first chunk must be the header
  EXPECT_FALSE(IconImageSize(png));
}

Bytes IconFile(uint16_t type, const std::vector<Bytes>& images) {
  Bytes file(6 + 16 * images.size(), 0);
  Put16(file, 2, type);
  Put16(file, 4, static_cast<uint16_t>(images.size()));
  for (std::size_t i = 0; i < images.size(); ++i) {
    const std::size_t at = 6 + 16 * i;
    file[at] = static_cast<uint8_t>(i == 0 ? 32 : 0);  // 0 means 256
    file[at + 1] = static_cast<uint8_t>(i == 0 ? 32 : 0);
    Put16(file, at + 4, 1);
    Put16(file, at + 6, 32);
    Put32(file, at + 8, static_cast<uint32_t>(images[i].size()));
    Put32(file, at + 12, static_cast<uint32_t>(file.size()));
    file.insert(file.end(), images[i].begin(), images[i].end());
  }
  return file;
}

TEST(ParseIconDirectory, ListsEachImageWithItsBytes) {
  const Bytes first = IconImage(32, 32, 32), second = IconImage(16, 16, 8);
  const Bytes file = IconFile(1, {first, second});
  const auto dir = ParseIconDirectory(file);
  ASSERT_TRUE(dir);
  EXPECT_FALSE(dir->cursor);
  ASSERT_EQ(dir->entries.size(), 2u);
  EXPECT_EQ(dir->entries[0].width, 32);
  EXPECT_EQ(dir->entries[1].width, 256);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), dir->entries[0].image.begin(),
                         dir->entries[0].image.end()));
  EXPECT_EQ(dir->entries[1].image.size(), second.size());
  EXPECT_TRUE(ParseIconDirectory(IconFile(2, {first}))->cursor);
}

TEST(ParseIconDirectory, LeavesOutImagesOutsideTheFileAndRefusesNonIcons) {
  const Bytes image = IconImage(32, 32, 32);
  Bytes file = IconFile(1, {image, image});
  Put32(file, 6 + 16 + 12, static_cast<uint32_t>(file.size()));  // second image past the end
  const auto dir = ParseIconDirectory(file);
  ASSERT_TRUE(dir);
  EXPECT_EQ(dir->entries.size(), 1u);

  Bytes offsetInDirectory = IconFile(1, {image});
  Put32(offsetInDirectory, 6 + 12, 2);
  EXPECT_FALSE(ParseIconDirectory(offsetInDirectory));
  Bytes truncated = IconFile(1, {image});
  truncated.resize(truncated.size() - 1);
  EXPECT_FALSE(ParseIconDirectory(truncated));
  Bytes noImages = IconFile(1, {});
  EXPECT_FALSE(ParseIconDirectory(noImages));
  Bytes bitmap = IconFile(1, {image});
  Put16(bitmap, 2, 3);  // neither icon nor cursor
  EXPECT_FALSE(ParseIconDirectory(bitmap));
  EXPECT_FALSE(ParseIconDirectory(Bytes{0, 0, 1, 0, 5}));
}

// --- bitmap files

// A BMP file: file header, 40-byte (or 12-byte core) header, palette, pixel rows.
Bytes BmpFile(int32_t width, int32_t height, uint16_t bits, bool core = false) {
  const uint32_t headerSize = core ? 12 : 40;
  const std::size_t entry = core ? 3 : 4;
  const std::size_t palette = bits <= 8 ? (std::size_t{1} << bits) * entry : 0;
  const std::size_t stride = ((width * bits + 31) / 32) * 4;
  const std::size_t offset = 14 + headerSize + palette;
  Bytes b(offset + stride * static_cast<std::size_t>(height < 0 ? -height : height), 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  Put32(b, 10, static_cast<uint32_t>(offset));
  Put32(b, 14, headerSize);
  if (core) {
    Put16(b, 18, static_cast<uint16_t>(width));
    Put16(b, 20, static_cast<uint16_t>(height));
    Put16(b, 22, 1);
    Put16(b, 24, bits);
  } else {
    Put32(b, 18, static_cast<uint32_t>(width));
    Put32(b, 22, static_cast<uint32_t>(height));
    Put16(b, 26, 1);
    Put16(b, 28, bits);
  }
  return b;
}

TEST(BitmapFileFits, AcceptsFilesWhosePixelsAreThere) {
  EXPECT_TRUE(BitmapFileFits(BmpFile(3, 2, 24)));
  EXPECT_TRUE(BitmapFileFits(BmpFile(3, -2, 24)));  // top-down
  EXPECT_TRUE(BitmapFileFits(BmpFile(5, 5, 8)));
  EXPECT_TRUE(BitmapFileFits(BmpFile(9, 3, 1)));
  EXPECT_TRUE(BitmapFileFits(BmpFile(4, 4, 24, true)));
  EXPECT_TRUE(BitmapFileFits(BmpFile(4, 4, 8, true)));
}

TEST(BitmapFileFits, RefusesFilesThatStateMoreThanTheyHold) {
  for (const Bytes& good : {BmpFile(3, 2, 24), BmpFile(5, 5, 8), BmpFile(4, 4, 24, true)}) {
    EXPECT_FALSE(BitmapFileFits(std::span(good).first(good.size() - 1))) << good.size();
    Bytes farOffset = good;
    Put32(farOffset, 10, static_cast<uint32_t>(good.size()));
    EXPECT_FALSE(BitmapFileFits(farOffset)) << good.size();
  }
  Bytes paletteOutside = BmpFile(5, 5, 8);
  paletteOutside.resize(14 + 40 + 100);  // the palette alone takes 1024 bytes
  EXPECT_FALSE(BitmapFileFits(paletteOutside));
  Bytes offsetInHeader = BmpFile(3, 2, 24);
  Put32(offsetInHeader, 10, 20);
  EXPECT_FALSE(BitmapFileFits(offsetInHeader));
  Bytes wide = BmpFile(3, 2, 24);
  Put32(wide, 18, 0x7FFFFFFF);
  EXPECT_FALSE(BitmapFileFits(wide));
  Bytes noRows = BmpFile(3, 2, 24);
  Put32(noRows, 22, 0);
  EXPECT_FALSE(BitmapFileFits(noRows));
  Bytes badDepth = BmpFile(3, 2, 24);
  Put16(badDepth, 28, 3);
  EXPECT_FALSE(BitmapFileFits(badDepth));
  EXPECT_FALSE(BitmapFileFits(Bytes(30, 0)));
}

TEST(BitmapFileFits, CompressedPixelsNeedTheirStatedSize) {
  Bytes rle = BmpFile(4, 4, 8);
  Put32(rle, 30, 1);  // run-length coded
  EXPECT_FALSE(BitmapFileFits(rle));  // no stated size
  Put32(rle, 34, 16);
  EXPECT_TRUE(BitmapFileFits(rle));
  Put32(rle, 34, static_cast<uint32_t>(rle.size()));
  EXPECT_FALSE(BitmapFileFits(rle));
  Bytes unknown = BmpFile(4, 4, 24);
  Put32(unknown, 30, 9);
  EXPECT_FALSE(BitmapFileFits(unknown));
}

// --- sounds

Bytes Wave(uint32_t dataBytes, uint32_t formatBytes = 16) {
  Bytes b;
  AppendTag(b, "RIFF");
  Append32(b, 0);
  AppendTag(b, "WAVE");
  AppendTag(b, "fmt ");
  Append32(b, formatBytes);
  b.resize(b.size() + formatBytes, 0);
  AppendTag(b, "LIST");  // another chunk before the data, odd length, padded
  Append32(b, 3);
  b.insert(b.end(), {'a', 'b', 'c', 0});
  AppendTag(b, "data");
  Append32(b, dataBytes);
  b.resize(b.size() + dataBytes, 0x80);
  Put32(b, 4, static_cast<uint32_t>(b.size() - 8));
  return b;
}

TEST(WaveBlockFits, AcceptsAWellFormedWave) { EXPECT_TRUE(WaveBlockFits(Wave(100))); }

TEST(WaveBlockFits, RefusesBlocksThatWouldBeReadPastTheirEnd) {
  Bytes longer = Wave(100);
  Put32(longer, 4, static_cast<uint32_t>(longer.size()));  // states 8 bytes more than there are
  EXPECT_FALSE(WaveBlockFits(longer));

  Bytes bigData = Wave(100);
  Put32(bigData, bigData.size() - 100 - 4, 101);
  EXPECT_FALSE(WaveBlockFits(bigData));

  Bytes truncated = Wave(100);
  truncated.resize(truncated.size() - 1);
  EXPECT_FALSE(WaveBlockFits(truncated));

  EXPECT_FALSE(WaveBlockFits(Wave(100, 8)));  // format chunk too short
  Bytes notWave = Wave(100);
  std::memcpy(notWave.data() + 8, "AVI ", 4);
  EXPECT_FALSE(WaveBlockFits(notWave));
  EXPECT_FALSE(WaveBlockFits(Bytes(11, 0)));
}

TEST(WaveBlockFits, NeedsTheFormatBeforeTheData) {
  Bytes b;
  AppendTag(b, "RIFF");
  Append32(b, 4 + 8 + 4);
  AppendTag(b, "WAVE");
  AppendTag(b, "data");
  Append32(b, 4);
  Append32(b, 0);
  EXPECT_FALSE(WaveBlockFits(b));
}

// --- update regions

Bytes Region(const std::vector<ws::Rect>& rects, uint32_t headerSize = 32) {
  Bytes b(headerSize + 16 * rects.size(), 0);
  Put32(b, 0, headerSize);
  Put32(b, 4, 1);
  Put32(b, 8, static_cast<uint32_t>(rects.size()));
  Put32(b, 12, static_cast<uint32_t>(16 * rects.size()));
  for (std::size_t i = 0; i < rects.size(); ++i) {
    const std::size_t at = headerSize + 16 * i;
    Put32(b, at, static_cast<uint32_t>(rects[i].left));
    Put32(b, at + 4, static_cast<uint32_t>(rects[i].top));
    Put32(b, at + 8, static_cast<uint32_t>(rects[i].right));
    Put32(b, at + 12, static_cast<uint32_t>(rects[i].bottom));
  }
  return b;
}

TEST(RegionRects, ReadsTheRectanglesAfterTheHeader) {
  const std::vector<ws::Rect> rects = {{0, 0, 10, 5}, {-3, 5, 20, 9}};
  EXPECT_EQ(RegionRects(Region(rects)), rects);
  EXPECT_EQ(RegionRects(Region(rects, 40)), rects);  // a longer header is skipped
  EXPECT_EQ(RegionRects(Region({})), std::vector<ws::Rect>{});
}

TEST(RegionRects, RefusesCountsBeyondTheData) {
  Bytes b = Region({{0, 0, 1, 1}});
  Put32(b, 8, 2);
  EXPECT_FALSE(RegionRects(b));
  Put32(b, 8, 0xFFFFFFFF);
  EXPECT_FALSE(RegionRects(b));
  Bytes wrongType = Region({{0, 0, 1, 1}});
  Put32(wrongType, 4, 2);
  EXPECT_FALSE(RegionRects(wrongType));
  EXPECT_FALSE(RegionRects(Bytes(31, 0)));
}

TEST(ClipRects, CutsToTheClipAndDropsWhatFallsOutside) {
  const std::vector<ws::Rect> rects = {{-5, -5, 5, 5}, {20, 20, 30, 30}, {8, 0, 12, 3}};
  EXPECT_EQ(ClipRects(rects, ws::Rect{0, 0, 10, 10}),
            (std::vector<ws::Rect>{{0, 0, 5, 5}, {8, 0, 10, 3}}));
}

// --- routine names

TEST(ParseRoutineName, TellsNamesFromOrdinals) {
  const auto name = ParseRoutineName("GetWindowLongA");
  ASSERT_TRUE(name);
  EXPECT_EQ(name->name, "GetWindowLongA");
  EXPECT_EQ(name->ordinal, 0);
  const auto ordinal = ParseRoutineName("#65535");
  ASSERT_TRUE(ordinal);
  EXPECT_TRUE(ordinal->name.empty());
  EXPECT_EQ(ordinal->ordinal, 65535);
  for (const char* bad : {"", "#", "#0", "#65536", "#12a", "#-1", "#000001"}) {
    EXPECT_FALSE(ParseRoutineName(bad)) << bad;
  }
  EXPECT_FALSE(ParseRoutineName(std::string_view("Get\0Tick", 8)));
}

}  // namespace
}  // namespace wintrel::win32
