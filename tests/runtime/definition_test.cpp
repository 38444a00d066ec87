#include "platform/runtime/definition.h"

#include <gtest/gtest.h>

#include "platform/runtime/ico.h"

namespace wintrel::runtime {
namespace {

StoredUnit Unit(uint32_t id, uint32_t type, std::vector<uint8_t> data = {}) {
  StoredUnit u;
  u.id = id;
  u.unit.unitType = type;
  u.unit.name = "name";
  u.unit.left = 1;
  u.unit.top = 2;
  u.unit.width = 30;
  u.unit.height = 40;
  u.unit.parent = 0;
  u.unit.containedUnits = {7, 8};
  u.unit.cursor = {0, 0, 0, 0};
  u.unit.tag = "t";
  u.unit.flags = kUnitVisible | kUnitTabStop;
  u.unit.events = {{0, 0x10}, {4, 0x20}};
  u.unit.unitData = std::move(data);
  return u;
}

WindowDefinitions Sample() {
  StoredWindow w;
  w.id = 0x52010001;
  w.header1 = 11;
  w.header2 = 0x19010005;
  w.string1 = "a";
  WindowSettings s;
  s.escCloses = 1;
  s.title = "T";
  w.units.push_back(Unit(0x06010000, 0x00010001, WriteWindowSettings(s)));
  StoredUnit m;
  m.id = 0x260100E6;
  m.isMenu = true;
  m.menu.text = "\xB2\xCB\xB5\xA5";
  m.menu.flags = kMenuHidden;
  w.units.push_back(m);
  w.units.push_back(Unit(0x16010025, 0x00010020));
  WindowDefinitions d;
  d.windows.push_back(w);
  StoredWindow second = w;
  second.id = 0x52010002;
  d.windows.push_back(second);
  return d;
}

TEST(WindowDefinitions, RoundTrips) {
  const WindowDefinitions d = Sample();
  const std::vector<uint8_t> bytes = WriteWindowDefinitions(d);
  auto back = ReadWindowDefinitions(bytes);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, d);
  EXPECT_EQ(WriteWindowDefinitions(*back), bytes);
}

TEST(WindowDefinitions, MenuRecordOfFourByteTextIs63Bytes) {
  ByteWriter w;
  StoredWindow win;
  win.id = 1;
  StoredUnit m;
  m.id = 0x260100E7;
  m.isMenu = true;
  m.menu.text = "\xB9\xD8\xD3\xDA";
  win.units.push_back(m);
  WindowDefinitions d;
  d.windows.push_back(win);
  const auto bytes = WriteWindowDefinitions(d);
  // list (4 + 8) + headers (8) + two empty strings (8) + count (4) + table length (4)
  // + id + offset (8) + record length (4) + record.
  EXPECT_EQ(bytes.size(), 4u + 8 + 8 + 8 + 4 + 4 + 8 + 4 + 63);
}

TEST(WindowDefinitions, EveryTruncationIsRejected) {
  const std::vector<uint8_t> bytes = WriteWindowDefinitions(Sample());
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_FALSE(ReadWindowDefinitions(cut).has_value()) << "accepted " << n << " bytes";
  }
}

TEST(WindowDefinitions, OffsetsAndLengthsPastTheirBlockAreRejected) {
  const std::vector<uint8_t> good = WriteWindowDefinitions(Sample());
  // The first window's table starts after: list length, 2 ids, 2 slots, 2 headers,
  // 2 empty-ish strings ("a" = 5 bytes, "" = 4), unit count, table length.
  const std::size_t table = 4 + 16 + 8 + 5 + 4 + 4 + 4;
  ASSERT_EQ(good[table - 8], 3);                 // the unit count
  ASSERT_EQ(good[table], 0x00);                  // the first unit id, 0x06010000
  ASSERT_EQ(good[table + 3], 0x06);
  ASSERT_EQ(good[table + 12], 0);                // the first record's offset
  struct Case {
    const char* what;
    std::size_t at;
    uint32_t value;
  };
  const Case cases[] = {
      {"window list longer than the data", 0, 0x7FFFFFF8},
      {"window list not a multiple of 8", 0, 12},
      {"negative unit count", table - 8, 0xFFFFFFFF},
      {"unit count beyond the table", table - 8, 1000},
      {"table longer than the data", table - 4, 0x7FFFFFFF},
      {"record offset past the table", table + 12, 100000},
      {"record offset near 4 GiB", table + 12, 0xFFFFFFF0},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = good;
    for (int i = 0; i < 4; ++i) bad[c.at + i] = static_cast<uint8_t>(c.value >> (8 * i));
    EXPECT_FALSE(ReadWindowDefinitions(bad).has_value()) << c.what;
  }
}

TEST(WindowSettings, VersionsZeroToSixReadAndAboveFail) {
  WindowSettings s;
  s.borderStyle = 0;
  s.backgroundColor = 0x00F0F0F0;
  s.startState = 3;
  s.escCloses = 1;
  s.showInTaskbar = 0;
  s.alwaysOnTop = 1;
  s.className = "C";
  s.icon = {1, 2, 3};
  s.title = "x";
  for (int32_t v = 0; v <= 6; ++v) {
    WindowSettings sv = s;
    sv.version = v;
    const WindowSettings defaults;
    // Fields from later versions keep their defaults when written at an earlier one.
    if (v < 2) sv.showInTaskbar = defaults.showInTaskbar;
    if (v < 4) sv.alwaysOnTop = defaults.alwaysOnTop;
    if (v < 6) sv.className.clear();
    auto back = ReadWindowSettings(WriteWindowSettings(sv));
    ASSERT_TRUE(back.has_value()) << v;
    EXPECT_EQ(*back, sv) << v;
  }
  WindowSettings seven = s;
  seven.version = 7;
  EXPECT_FALSE(ReadWindowSettings(WriteWindowSettings(seven)).has_value());
}

TEST(WindowSettings, ProgramLayoutIs100BytesAndShortBlocksFail) {
  WindowSettings s;
  s.version = 6;
  const auto bytes = WriteWindowSettings(s);
  EXPECT_EQ(bytes.size(), 100u);
  for (std::size_t n = 0; n < bytes.size(); ++n)
    EXPECT_FALSE(ReadWindowSettings(std::span(bytes).first(n)).has_value()) << n;
}

TEST(TimerSettings, EmptyKeepsDefaultsAndVersionsAreChecked) {
  auto empty = ReadTimerSettings({});
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(empty->period, 0);
  for (int32_t v : {0, 1}) {
    auto back = ReadTimerSettings(WriteTimerSettings({v, 250}));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->period, 250);
  }
  EXPECT_FALSE(ReadTimerSettings(WriteTimerSettings({2, 250})).has_value());
  const uint8_t shortBlock[] = {1, 0, 0, 0, 200};
  EXPECT_FALSE(ReadTimerSettings(shortBlock).has_value());
}

std::vector<uint8_t> Ico(std::vector<std::pair<int, int>> entries) {
  // entries: (width byte, colour count byte); each image is a 40-byte header only.
  ByteWriter w;
  w.I32(0x00010000);  // reserved 0, type 1
  w.Data().resize(4);
  w.Data()[2] = 1;
  w.Data().push_back(static_cast<uint8_t>(entries.size()));
  w.Data().push_back(0);
  const uint32_t first = 6 + 16 * static_cast<uint32_t>(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    w.Data().push_back(static_cast<uint8_t>(entries[i].first));
    w.Data().push_back(static_cast<uint8_t>(entries[i].first));
    w.Data().push_back(static_cast<uint8_t>(entries[i].second));
    w.Data().push_back(0);
    w.Data().push_back(1);
    w.Data().push_back(0);
    w.Data().push_back(32);
    w.Data().push_back(0);
    w.U32(40);
    w.U32(first + 40 * static_cast<uint32_t>(i));
  }
  for (auto [width, colours] : entries) {
    (void)colours;
    w.U32(40);
    w.I32(width);
    w.I32(width * 2);
    w.Zeros(28);
  }
  return std::move(w.Data());
}

TEST(IcoPicking, ChoosesByWidthAndColoursOrTheLastImage) {
  const auto ico = Ico({{32, 0}, {16, 2}, {16, 16}, {48, 0}});
  auto sixteen = PickIcoImage(ico, 16);
  ASSERT_TRUE(sixteen.has_value());
  EXPECT_EQ(sixteen->width, 16);
  EXPECT_EQ(sixteen->height, 16);
  EXPECT_EQ(sixteen->bytes.data(), ico.data() + 6 + 64 + 80);  // the third image
  auto thirtyTwo = PickIcoImage(ico, 32);
  ASSERT_TRUE(thirtyTwo.has_value());
  EXPECT_EQ(thirtyTwo->width, 32);
  auto none = PickIcoImage(Ico({{32, 0}, {48, 0}}), 16);
  ASSERT_TRUE(none.has_value());
  EXPECT_EQ(none->width, 48);  // no 16-wide image: the last one
}

TEST(IcoPicking, RejectsMalformedFiles) {
  auto good = Ico({{32, 0}});
  EXPECT_TRUE(PickIcoImage(good, 32).has_value());
  std::vector<std::vector<uint8_t>> bad;
  bad.push_back({});
  bad.push_back(std::vector<uint8_t>(good.begin(), good.begin() + 5));
  bad.push_back(std::vector<uint8_t>(good.begin(), good.begin() + 21));  // directory cut
  bad.push_back(std::vector<uint8_t>(good.begin(), good.end() - 1));     // image cut
  auto zeroCount = good;
  zeroCount[4] = 0;
  bad.push_back(zeroCount);
  auto farOffset = good;
  farOffset[18] = 0xFF;
  farOffset[19] = 0xFF;
  farOffset[20] = 0xFF;
  farOffset[21] = 0xFF;
  bad.push_back(farOffset);
  auto hugeSize = good;
  hugeSize[14] = 0xF0;
  hugeSize[15] = 0xFF;
  hugeSize[16] = 0xFF;
  hugeSize[17] = 0xFF;
  bad.push_back(hugeSize);
  auto negativeWidth = good;
  negativeWidth[22 + 4 + 3] = 0x80;
  bad.push_back(negativeWidth);
  for (std::size_t i = 0; i < bad.size(); ++i) EXPECT_FALSE(PickIcoImage(bad[i], 32).has_value()) << i;
}

}  // namespace
}  // namespace wintrel::runtime
