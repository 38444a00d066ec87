// The template's and the stage's stored settings: versions, defaults, blocks that end
// early, and what is saved.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "stage/render/stage_settings.h"
#include "stage/sprites/template_settings.h"

namespace wintrel::stage {
namespace {

// Builds stored blocks by hand, field by field, as the window definition holds them.
struct Block {
  std::vector<uint8_t> bytes;
  Block& U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  Block& Bytes(std::vector<uint8_t> b) {
    U32(static_cast<uint32_t>(b.size()));
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
  }
};

// The snowflake template's block, version 3, with a small stand-in picture.
Block SnowflakeTemplateBlock(uint32_t version) {
  Block b;
  b.U32(version);
  b.U32(0).U32(0).U32(0xF0F0F0).U32(0).U32(500).U32(1).U32(0).U32(0);  // TextColor..GIFAutoDestroy
  b.U32(0xFFFFFF).U32(0).U32(0).U32(0).U32(180).U32(1).U32(0).U32(1);  // TrendColor..CollideAllowed
  if (version >= 2) b.U32(7);   // type
  if (version >= 3) b.U32(2);   // TurnType
  b.Bytes({}).Bytes({}).Bytes({'G', 'I', 'F', '8', '9', 'a', 1, 2}).Bytes({}).Bytes({9}).Bytes({});
  return b;
}

TEST(TemplateData, SnowflakeBlockOfVersion3LoadsAsStored) {
  std::optional<TemplateSettings> s = ReadTemplateData(SnowflakeTemplateBlock(3).bytes);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->zoom, 500);
  EXPECT_EQ(s->angle, 180);
  EXPECT_EQ(s->transparentColor, 0xF0F0F0u);
  EXPECT_EQ(s->playGif, 1);
  EXPECT_EQ(s->trendColor, 0xFFFFFFu);
  EXPECT_EQ(s->rotateFollow, 1);
  EXPECT_EQ(s->collideAllowed, 1);
  EXPECT_EQ(s->type, 7);
  EXPECT_EQ(s->turnType, 2);
  EXPECT_TRUE(s->text.empty());
  EXPECT_EQ(s->picture, (std::vector<uint8_t>{'G', 'I', 'F', '8', '9', 'a', 1, 2}));
  EXPECT_EQ(s->destroySound, std::vector<uint8_t>{9});
  EXPECT_TRUE(s->createSound.empty());
}

TEST(TemplateData, OlderVersionsLeaveTypeAndTurnTypeAtZero) {
  for (uint32_t version : {0u, 1u}) {
    std::optional<TemplateSettings> s = ReadTemplateData(SnowflakeTemplateBlock(version).bytes);
    ASSERT_TRUE(s) << version;
    EXPECT_EQ(s->type, 0);
    EXPECT_EQ(s->turnType, 0);
    EXPECT_EQ(s->destroySound, std::vector<uint8_t>{9}) << "blocks follow the 16 values";
  }
  std::optional<TemplateSettings> v2 = ReadTemplateData(SnowflakeTemplateBlock(2).bytes);
  ASSERT_TRUE(v2);
  EXPECT_EQ(v2->type, 7);
  EXPECT_EQ(v2->turnType, 0);
}

TEST(TemplateData, VersionAbove3Fails) {
  EXPECT_FALSE(ReadTemplateData(SnowflakeTemplateBlock(4).bytes));
  Block b = SnowflakeTemplateBlock(3);
  b.bytes[3] = 0x80;  // version 0x80000003
  EXPECT_FALSE(ReadTemplateData(b.bytes));
}

TEST(TemplateData, EveryBlockThatEndsEarlyFails) {
  const std::vector<uint8_t> full = SnowflakeTemplateBlock(3).bytes;
  for (std::size_t n = 1; n < full.size(); ++n) {
    // A copy of exactly n bytes, so that reading past it is caught.
    std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_FALSE(ReadTemplateData(cut)) << "cut to " << n << " bytes";
  }
}

TEST(TemplateData, CountedBlockLongerThanTheRestFails) {
  Block b = SnowflakeTemplateBlock(3);
  b.bytes.resize(b.bytes.size() - 4);  // drop the last (empty) counted block
  b.U32(1000).bytes.push_back(1);       // and claim 1000 bytes where 1 is left
  EXPECT_FALSE(ReadTemplateData(b.bytes));
}

TEST(TemplateData, EmptyBlockGivesTheDefaults) {
  std::optional<TemplateSettings> s = ReadTemplateData({});
  ASSERT_TRUE(s);
  EXPECT_EQ(*s, TemplateSettings{});
  EXPECT_EQ(s->zoom, 1000);
  EXPECT_EQ(s->transparentColor, 0xFF000000u);
  EXPECT_EQ(s->trendColor, 0xFFFFFFu);
}

TEST(TemplateData, StoredValuesAreNotClamped) {
  Block b;
  b.U32(3).U32(0).U32(0).U32(0).U32(static_cast<uint32_t>(-7)).U32(static_cast<uint32_t>(-5));
  b.U32(0).U32(static_cast<uint32_t>(-3)).U32(0).U32(0).U32(150).U32(0).U32(0).U32(400).U32(0);
  b.U32(static_cast<uint32_t>(-1)).U32(0).U32(0).U32(7);
  for (int i = 0; i < 6; ++i) b.Bytes({});
  std::optional<TemplateSettings> s = ReadTemplateData(b.bytes);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->alpha, -7);
  EXPECT_EQ(s->zoom, -5);
  EXPECT_EQ(s->gifDelay, -3);
  EXPECT_EQ(s->trendDepth, 150);
  EXPECT_EQ(s->angle, 400);
  EXPECT_EQ(s->existTime, -1);
  EXPECT_EQ(s->turnType, 7);
}

TEST(TemplateData, SavingWritesVersion3ThatReadsBackTheSame) {
  std::optional<TemplateSettings> s = ReadTemplateData(SnowflakeTemplateBlock(1).bytes);
  ASSERT_TRUE(s);
  s->text = "ab";
  s->font.assign(60, 3);
  s->type = 5;
  s->turnType = 3;
  std::vector<uint8_t> saved = WriteTemplateData(*s);
  ASSERT_GE(saved.size(), 4u);
  EXPECT_EQ(saved[0], 3);
  EXPECT_EQ(saved[1] | saved[2] | saved[3], 0);
  std::optional<TemplateSettings> back = ReadTemplateData(saved);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, *s);
}

// The program's stage block: version 2, no border, 0xF0F0F0, tiled, defaults, no font
// and no picture: 56 bytes.
Block ProgramStageBlock() {
  Block b;
  b.U32(2).U32(0).U32(0xF0F0F0).U32(3).U32(1).U32(12).U32(0).U32(0).U32(1).U32(0xFFFFFF);
  b.U32(0).U32(0xFF000000).Bytes({}).Bytes({});
  return b;
}

TEST(StageData, ProgramBlockLoads) {
  Block b = ProgramStageBlock();
  ASSERT_EQ(b.bytes.size(), 56u);
  std::optional<StageSettings> s = ReadStageData(b.bytes);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->backColor, 0xF0F0F0u);
  EXPECT_EQ(s->picDrawMode, 3);
  EXPECT_EQ(s->drawRop2, 12);
  EXPECT_EQ(s->textBackColor, 0xFF000000u);
  EXPECT_TRUE(s->pic.empty());
  EXPECT_TRUE(s->font.empty());
}

TEST(StageData, Version1HoldsPlacementAndPictureOnly) {
  for (uint32_t version : {0u, 1u}) {
    Block b;
    b.U32(version).U32(5).U32(0x123456).U32(2).Bytes({1, 2, 3});
    std::optional<StageSettings> s = ReadStageData(b.bytes);
    ASSERT_TRUE(s) << version;
    StageSettings expected;
    expected.border = 5;
    expected.backColor = 0x123456;
    expected.picDrawMode = 2;
    expected.pic = {1, 2, 3};
    EXPECT_EQ(*s, expected) << "drawing settings keep their defaults";
  }
}

TEST(StageData, Version3Fails) {
  Block b = ProgramStageBlock();
  b.bytes[0] = 3;
  EXPECT_FALSE(ReadStageData(b.bytes));
}

TEST(StageData, BlockCutBeforeAValueFails) {
  const std::vector<uint8_t> full = ProgramStageBlock().bytes;
  // Every cut ends before a 32-bit value its version calls for (the last one is the
  // picture's length).
  for (std::size_t n = 1; n < full.size(); ++n) {
    std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_FALSE(ReadStageData(cut)) << "cut to " << n << " bytes";
  }
}

TEST(StageData, ByteBlockRunningPastTheEndTakesWhatIsThere) {
  Block b;
  b.U32(1).U32(0).U32(0).U32(0).U32(100);
  b.bytes.insert(b.bytes.end(), {7, 8, 9});
  std::optional<StageSettings> s = ReadStageData(b.bytes);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->pic, (std::vector<uint8_t>{7, 8, 9}));

  Block font = ProgramStageBlock();
  font.bytes.resize(48);
  font.U32(60).bytes.push_back(5);
  EXPECT_FALSE(ReadStageData(font.bytes))
      << "a font cut short takes the rest, and then the picture's length is missing";
}

TEST(StageData, NegativeLengthIsAnEmptyBlock) {
  Block b;
  b.U32(1).U32(0).U32(0).U32(0).U32(static_cast<uint32_t>(-4));
  std::optional<StageSettings> s = ReadStageData(b.bytes);
  ASSERT_TRUE(s);
  EXPECT_TRUE(s->pic.empty());
}

TEST(StageData, SavingWritesVersion2WithEveryField) {
  Block b;
  b.U32(1).U32(3).U32(0x010203).U32(1).Bytes({4, 5});
  std::optional<StageSettings> s = ReadStageData(b.bytes);
  ASSERT_TRUE(s);
  std::vector<uint8_t> saved = WriteStageData(*s);
  Block expected;
  expected.U32(2).U32(3).U32(0x010203).U32(1).U32(1).U32(12).U32(0).U32(0).U32(1).U32(0xFFFFFF);
  expected.U32(0).U32(0xFF000000).Bytes({}).Bytes({4, 5});
  EXPECT_EQ(saved, expected.bytes);
  EXPECT_EQ(WriteStageData(*ReadStageData(ProgramStageBlock().bytes)), ProgramStageBlock().bytes);
}

}  // namespace
}  // namespace wintrel::stage
