// The stage unit and its drawing: creation, border and properties, the background
// buffer and its picture, composition of the sprites, painting and forced repaints.
#include <gtest/gtest.h>

#include <algorithm>

#include "stage/image/render_path.h"
#include "stage/image/sprite_image.h"
#include "stage/render/compositor.h"
#include "tests/stage/stage_fixture.h"

namespace wintrel::stage::testing {
namespace {

using runtime::PropertyValue;

constexpr uint32_t kBack = 0x00F0F0F0;

class StageUnitTest : public StageTest {};

TEST_F(StageUnitTest, CreationMakesAChildWindowWithItsTimer) {
  ASSERT_NE(MakeStage(280, 216), nullptr);
  std::optional<sim::WindowInfo> info = desk.Info(stage->Window());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->className, kCartoonBoxClassName);
  EXPECT_EQ(info->parent, parent);
  const uint32_t style = ws::WS_CHILD | ws::WS_CLIPSIBLINGS | ws::WS_VISIBLE | ws::WS_TABSTOP;
  EXPECT_EQ(info->style & style, style);
  EXPECT_EQ(desk.GetClientRect(stage->Window()), (ws::Rect{0, 0, 280, 216}));
  EXPECT_TRUE(desk.HasTimer(stage->Window(), kStageTimerId));
  EXPECT_TRUE(stage->TimerRunning());
  EXPECT_EQ(stage->Background().width, 280);
  EXPECT_EQ(stage->Background().height, 216);
  EXPECT_EQ(AsCartoonBox(stage), stage);
  EXPECT_EQ(AsCartoonObject(stage), nullptr);
  EXPECT_EQ(AsCartoonBox(nullptr), nullptr);
}

TEST_F(StageUnitTest, DesignerStageHasNoTimer) {
  ASSERT_NE(MakeStage(50, 50, StageBlock(), true), nullptr);
  EXPECT_FALSE(desk.HasTimer(stage->Window(), kStageTimerId));
  EXPECT_FALSE(stage->TimerRunning());
}

TEST_F(StageUnitTest, RejectedSettingsOrWindowFailureMakeNoStage) {
  Bytes v3 = StageBlock();
  v3[0] = 3;
  Bytes cut = StageBlock();
  cut.resize(cut.size() - 2);
  EXPECT_EQ(MakeStage(50, 50, v3), nullptr);
  EXPECT_EQ(MakeStage(50, 50, cut), nullptr);
  EXPECT_EQ(desk.FindWindowByClass(kCartoonBoxClassName), 0u);
  desk.FailCreateWindowForClass(kCartoonBoxClassName);
  EXPECT_EQ(MakeStage(50, 50), nullptr);
  EXPECT_EQ(desk.LiveSurfaces(), 0u);
}

TEST_F(StageUnitTest, StoredVersion1KeepsTheDrawingDefaults) {
  Bytes v1 = {1, 0, 0, 0, 5, 0, 0, 0, 0x56, 0x34, 0x12, 0, 2, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_NE(MakeStage(50, 50, v1), nullptr);
  StageSettings expected;
  expected.border = 5;
  expected.backColor = 0x123456;
  expected.picDrawMode = 2;
  EXPECT_EQ(stage->Settings(), expected);
}

TEST_F(StageUnitTest, BorderStylesSetTheirFrameBits) {
  constexpr uint32_t kExMask = ws::WS_EX_CLIENTEDGE | ws::WS_EX_DLGMODALFRAME | ws::WS_EX_STATICEDGE;
  struct Case {
    int32_t border;
    uint32_t ex, style;
  } cases[] = {
      {0, 0, 0},
      {1, ws::WS_EX_CLIENTEDGE, 0},
      {2, ws::WS_EX_DLGMODALFRAME, 0},
      {3, ws::WS_EX_STATICEDGE, 0},
      {4, ws::WS_EX_CLIENTEDGE | ws::WS_EX_DLGMODALFRAME, 0},
      {5, 0, ws::WS_BORDER},
      {9, 0, ws::WS_BORDER},  // clamped to 5
      {-2, 0, 0},             // clamped to 0
  };
  ASSERT_NE(MakeStage(60, 40, StageBlock(kBack, 3, 4)), nullptr);
  std::optional<sim::WindowInfo> info = desk.Info(stage->Window());
  EXPECT_EQ(info->exStyle & kExMask, ws::WS_EX_CLIENTEDGE | ws::WS_EX_DLGMODALFRAME)
      << "from the stored settings";
  for (const Case& c : cases) {
    stage->PropertyChanged(kStageBorder, PropertyValue::Int(c.border));
    info = desk.Info(stage->Window());
    EXPECT_EQ(info->exStyle & kExMask, c.ex) << c.border;
    EXPECT_EQ(info->style & ws::WS_BORDER, c.style) << c.border;
  }
}

TEST_F(StageUnitTest, PropertiesClampStoreAndReadBack) {
  ASSERT_NE(MakeStage(60, 40), nullptr);
  struct Case {
    int32_t index, written, stored;
  } cases[] = {
      {kStagePicDrawMode, 7, 3}, {kStagePicDrawMode, -1, 0}, {kStagePenStyle, 9, 6},
      {kStageDrawRop2, 16, 15},  {kStageDrawRop2, -4, 0},    {kStagePenWidth, 40000, 32767},
      {kStageBrushStyle, 56, 55}, {kStagePenColor, 0x7F123456, 0x7F123456},
      {kStageTextBackColor, -1, -1}, {kStageBrushColor, 5, 5}, {kStageTextColor, 6, 6},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(stage->PropertyChanged(c.index, PropertyValue::Int(c.written)), 0);
    PropertyValue out;
    EXPECT_EQ(stage->ReadProperty(c.index, out), 1);
    EXPECT_EQ(out.value, c.stored) << c.index;
  }
  PropertyValue untouched = PropertyValue::Int(41);
  EXPECT_EQ(stage->ReadProperty(13, untouched), 1);
  EXPECT_EQ(untouched.value, 41);
  stage->PropertyChanged(13, PropertyValue::Int(1));  // ignored
  const Bytes font(60, 7);
  stage->PropertyChanged(kStageFont, PropertyValue::Bytes(font));
  PropertyValue out;
  stage->ReadProperty(kStageFont, out);
  EXPECT_EQ(Bytes(out.bytes.begin(), out.bytes.end()), font);
  stage->ReadProperty(kStagePic, out);
  EXPECT_TRUE(out.isBytes);
  EXPECT_TRUE(out.bytes.empty());
  EXPECT_FALSE(stage->IsPropertyAvailable(kStagePicDrawMode)) << "no picture to place";
  EXPECT_TRUE(stage->IsPropertyAvailable(kStageBackColor));
  std::optional<Bytes> saved = stage->SaveUnitData();
  ASSERT_TRUE(saved);
  EXPECT_EQ((*saved)[0], 2);
  EXPECT_EQ(ReadStageData(*saved), stage->Settings());
}

TEST_F(StageUnitTest, DestructionStopsTheTimerAndTellsTheRuntime) {
  ASSERT_NE(MakeStage(60, 40), nullptr);
  const ws::Hwnd window = stage->Window();
  CartoonObject* t = SolidTemplate(2, 2, 0);
  stage->CreateObject(t, 1, 1);
  stage = nullptr;
  desk.DestroyWindow(parent);
  EXPECT_FALSE(desk.HasTimer(window, kStageTimerId));
  ASSERT_EQ(host.gone.size(), 2u);
  EXPECT_NE(std::find(host.gone.begin(), host.gone.end(), std::pair{kWindowId, kStageUnitId}),
            host.gone.end());
  EXPECT_NE(std::find(host.gone.begin(), host.gone.end(), std::pair{kWindowId, kTemplateUnitId}),
            host.gone.end());
  EXPECT_EQ(desk.LiveSurfaces(), 0u);
  EXPECT_TRUE(host.Of(kEventWillDestroy).empty()) << "sprites are discarded silently";
}

class PaintTest : public StageTest {
 protected:
  void SetUp() override { ASSERT_NE(MakeStage(W, H), nullptr); }
  void PaintAll() {
    desk.InvalidateRect(stage->Window(), nullptr, false);
    Paint();
  }
  uint32_t At(const std::vector<uint32_t>& px, int32_t x, int32_t y) const {
    return px[static_cast<size_t>(y * W + x)];
  }
  Sprite* Put(CartoonObject* t, double x, double y) {
    Sprite* s = stage->FindObject(stage->CreateObject(t, 0, 0));
    stage->MoveObjectTo(*s, x, y);
    return s;
  }
  static constexpr int32_t W = 40, H = 30;
};

TEST_F(PaintTest, EmptyStageShowsItsBackgroundColour) {
  PaintAll();
  EXPECT_EQ(Shown(), std::vector<uint32_t>(W * H, kBack));
}

TEST_F(PaintTest, SystemBackColorIsTheButtonFace) {
  desk.SetSysColor(ws::COLOR_BTNFACE, 0x00123456);
  stage->PropertyChanged(kStageBackColor, PropertyValue::Int(static_cast<int32_t>(kSystemBackColor)));
  EXPECT_EQ(desk.PendingUpdateBounds(stage->Window()), desk.GetClientRect(stage->Window()));
  Paint();
  EXPECT_EQ(Shown(), std::vector<uint32_t>(W * H, 0x00563412u));
}

TEST_F(PaintTest, SpritePixelsAreCopiedSkippedOrBlended) {
  // One row: opaque, clear, opaque black, half-clear, key colour (opaque), key colour (T 128).
  const std::vector<uint32_t> row = {0x00112233, 0xFF445566, 0x00000000,
                                     0x80000000, 0x00ABCDEF, 0x80ABCDEF};
  TemplateValues v;
  v.transparentColor = 0x00EFCDAB;  // 0x00BBGGRR of the pixel 0x00ABCDEF
  v.picture = WritePng(6, 1, row);
  CartoonObject* t = MakeTemplate(v);
  ASSERT_NE(t, nullptr);
  Put(t, 2, 3);
  Paint();
  std::vector<uint32_t> shown = Shown();
  EXPECT_EQ(At(shown, 2, 3), 0x00112233u) << "opaque: copied";
  EXPECT_EQ(At(shown, 3, 3), kBack) << "clear: background";
  EXPECT_EQ(At(shown, 4, 3), 0x00000000u);
  EXPECT_EQ(At(shown, 5, 3), 0x00787878u) << "half: 240 + MulDiv(-240, 127, 255)";
  EXPECT_EQ(At(shown, 6, 3), kBack) << "key colour skipped though opaque";
  EXPECT_EQ(At(shown, 7, 3), kBack) << "key compares colour only";
  EXPECT_EQ(At(shown, 1, 3), kBack);
  EXPECT_EQ(At(shown, 8, 3), kBack);
}

TEST_F(PaintTest, SpriteAlphaAddsToEveryPixel) {
  TemplateValues half, hidden;
  half.alpha = 50;
  hidden.alpha = 100;
  CartoonObject* th = SolidTemplate(2, 2, 0x00000000, half);
  hidden.picture = WritePng(2, 2, std::vector<uint32_t>(4, 0x00000000));
  CartoonObject* tx = MakeTemplate(hidden, kTemplateUnitId + 1);
  ASSERT_TRUE(th && tx);
  Put(th, 0, 0);
  Sprite* invisible = Put(tx, 10, 10);
  Paint();
  std::vector<uint32_t> shown = Shown();
  EXPECT_EQ(At(shown, 0, 0), 0x00787878u) << "240 over 0 at o = 128 gives 120";
  EXPECT_EQ(At(shown, 10, 10), kBack) << "alpha 100 draws nothing";
  stage->MoveObjectTo(*invisible, 20, 20);
  EXPECT_EQ(desk.PendingUpdateBounds(stage->Window()), (ws::Rect{10, 10, 22, 22}))
      << "but its area is still repainted when it moves";
}

TEST_F(PaintTest, NegativeFractionsTruncateTowardZero) {
  CartoonObject* t = SolidTemplate(3, 2, 0x00FF0000);
  ASSERT_NE(t, nullptr);
  Sprite* s = Put(t, 5, 5);
  Paint();
  stage->MoveObjectTo(*s, -0.7, 5);
  EXPECT_EQ(desk.PendingUpdateBounds(stage->Window()), (ws::Rect{0, 5, 8, 7}))
      << "its new place starts at column 0";
  Paint();
  std::vector<uint32_t> shown = Shown();
  EXPECT_EQ(At(shown, 0, 5), 0x00FF0000u);
  EXPECT_EQ(At(shown, 2, 6), 0x00FF0000u);
  EXPECT_EQ(At(shown, 3, 5), kBack);
}

TEST_F(PaintTest, SpritesAreClippedOnEverySide) {
  CartoonObject* t = SolidTemplate(6, 4, 0x000000FF);
  ASSERT_NE(t, nullptr);
  struct Case {
    const char* what;
    int32_t x, y;
  } cases[] = {{"left", -3, 10}, {"top", 10, -2}, {"right", 37, 10}, {"bottom", 10, 28},
               {"corner", -5, -3}, {"wholly outside", 50, 10}, {"wholly above", 10, -4}};
  for (const Case& c : cases) {
    stage->ResetStage();
    PaintAll();
    desk.ClearOutputLog();
    Put(t, c.x, c.y);
    PaintAll();
    std::vector<uint32_t> shown = Shown();
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) {
        const bool covered = x >= c.x && x < c.x + 6 && y >= c.y && y < c.y + 4;
        ASSERT_EQ(At(shown, x, y), covered ? 0x000000FFu : kBack) << c.what << " at " << x << "," << y;
      }
  }
}

TEST_F(PaintTest, LaterAndHigherSpritesAreDrawnOnTop) {
  TemplateValues top;
  top.layer = 1;
  top.picture = WritePng(4, 4, std::vector<uint32_t>(16, 0x000000FF));
  CartoonObject* blue = MakeTemplate(top, kTemplateUnitId + 1);
  CartoonObject* red = SolidTemplate(4, 4, 0x00FF0000);
  ASSERT_TRUE(blue && red);
  Put(blue, 4, 4);  // oldest, but on the higher layer
  Put(red, 0, 0);
  TemplateValues greenValues;
  greenValues.picture = WritePng(4, 4, std::vector<uint32_t>(16, 0x0000FF00));
  CartoonObject* green = MakeTemplate(greenValues, kTemplateUnitId + 2);
  Put(green, 2, 2);
  PaintAll();
  std::vector<uint32_t> shown = Shown();
  EXPECT_EQ(At(shown, 1, 1), 0x00FF0000u);
  EXPECT_EQ(At(shown, 3, 3), 0x0000FF00u) << "the later sprite of one layer covers the earlier";
  EXPECT_EQ(At(shown, 5, 5), 0x000000FFu) << "the higher layer covers both";
}

TEST_F(PaintTest, MovingCornerToCornerRepaintsTheWholeBoxInOneOutput) {
  // The literal path sends the bounding box in one piece; the production path sends the
  // region's own rectangles. The window shows the same either way.
  for (const RenderPath path : {RenderPath::kLiteral, RenderPath::kProduction}) {
    const ScopedRenderPath scoped(path);
    const bool literal = path == RenderPath::kLiteral;
    stage->ResetStage();
    std::vector<uint32_t> pixels(25);
    for (uint32_t i = 0; i < 25; ++i) pixels[i] = (i % 3 == 0 ? 0x80000000u : 0u) | (i * 0x0A0B0C);
    TemplateValues v;
    v.picture = WritePng(5, 5, pixels);
    CartoonObject* t = MakeTemplate(v, kTemplateUnitId + (literal ? 0 : 1));
    ASSERT_NE(t, nullptr);
    Sprite* s = Put(t, 0, 0);
    Put(t, 12, 9);  // a second sprite under the path
    PaintAll();
    desk.ClearOutputLog();
    stage->MoveObjectTo(*s, W - 5, H - 5);
    const std::vector<ws::Rect> region = desk.PendingUpdate(stage->Window());
    ASSERT_EQ(region.size(), 2u);
    Paint();
    if (literal) {
      ASSERT_EQ(desk.OutputLog().size(), 1u);
      EXPECT_EQ(desk.OutputLog()[0].rect, (ws::Rect{0, 0, W, H}));
    } else {
      ASSERT_EQ(desk.OutputLog().size(), region.size());
      for (size_t i = 0; i < region.size(); ++i) EXPECT_EQ(desk.OutputLog()[i].rect, region[i]);
    }
    EXPECT_EQ(Shown(), Reference());
    EXPECT_EQ(At(Shown(), 0, 0), kBack) << "the old place is background again";
  }
}

TEST_F(PaintTest, ResizingRebuildsOnlyForANewSize) {
  PaintAll();
  const ws::Hsurface before = stage->Background().surface;
  ws::WindowSystem& ws = desk;
  ws.MoveWindow(stage->Window(), 5, 5, W, H, true);
  EXPECT_EQ(stage->Background().surface, before) << "same size: same buffer";
  ws.MoveWindow(stage->Window(), 0, 0, 50, 20, true);
  EXPECT_EQ(stage->Background().width, 50);
  EXPECT_EQ(stage->Background().height, 20);
  EXPECT_EQ(desk.PendingUpdateBounds(stage->Window()), (ws::Rect{0, 0, 50, 20}));
  Paint();
  EXPECT_EQ(Shown(), std::vector<uint32_t>(50 * 20, kBack));
  // No area, no buffer, nothing drawn; growing again brings it back.
  ws.MoveWindow(stage->Window(), 0, 0, 0, 20, true);
  EXPECT_EQ(stage->Background().surface, 0u);
  desk.ClearOutputLog();
  desk.InvalidateRect(stage->Window(), nullptr, false);
  Paint();
  EXPECT_TRUE(desk.OutputLog().empty());
  ws.MoveWindow(stage->Window(), 0, 0, 10, 10, true);
  EXPECT_NE(stage->Background().surface, 0u);
  Paint();
  EXPECT_EQ(Shown(), std::vector<uint32_t>(100, kBack));
}

class PicturePaintTest : public PaintTest {
 protected:
  // A picture whose every pixel tells where it is.
  static uint32_t Mark(int32_t x, int32_t y) { return static_cast<uint32_t>((x << 12) | y); }
  static Bytes MarkedBmp(int32_t w, int32_t h) {
    std::vector<uint32_t> colors(static_cast<size_t>(w * h));
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) colors[static_cast<size_t>(y * w + x)] = Mark(x, y);
    return WriteBmp(w, h, colors);
  }
  void SetPicture(int32_t mode, const Bytes& pic) {
    stage->PropertyChanged(kStagePicDrawMode, PropertyValue::Int(mode));
    stage->PropertyChanged(kStagePic, PropertyValue::Bytes(pic));
    Paint();
  }
};

TEST_F(PicturePaintTest, PlacementsOfALargerPicture) {
  const Bytes big = MarkedBmp(60, 50);
  struct Case {
    int32_t mode, dx, dy;  // shown(x, y) = picture(x + dx, y + dy)
  } cases[] = {{kPicTile, 0, 0}, {kPicTopLeft, 0, 0}, {kPicCentre, 10, 10}};
  for (const Case& c : cases) {
    SetPicture(c.mode, big);
    std::vector<uint32_t> shown = Shown();
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x)
        ASSERT_EQ(At(shown, x, y), Mark(x + c.dx, y + c.dy)) << c.mode << " at " << x << "," << y;
  }
  EXPECT_EQ(desk.LiveBitmaps(), 0u) << "the decoded picture is released after each rebuild";
}

TEST_F(PicturePaintTest, SmallerPictureTilesOrSitsOnTheFill) {
  const Bytes small = MarkedBmp(16, 12);
  SetPicture(kPicTile, small);
  std::vector<uint32_t> shown = Shown();
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) ASSERT_EQ(At(shown, x, y), Mark(x % 16, y % 12)) << x << "," << y;
  SetPicture(kPicCentre, small);  // at (12, 9)
  shown = Shown();
  EXPECT_EQ(At(shown, 12, 9), Mark(0, 0));
  EXPECT_EQ(At(shown, 27, 20), Mark(15, 11));
  EXPECT_EQ(At(shown, 11, 9), kBack);
  EXPECT_EQ(At(shown, 28, 21), kBack);
  SetPicture(kPicStretch, WriteBmp(2, 2, std::vector<uint32_t>(4, 0x00336699)));
  EXPECT_EQ(Shown(), std::vector<uint32_t>(W * H, 0x00336699u)) << "stretched over everything";
}

TEST_F(PicturePaintTest, EmptyOrUnreadablePictureGivesThePlainFill) {
  SetPicture(kPicTile, MarkedBmp(16, 12));
  ASSERT_NE(At(Shown(), 0, 0), kBack);
  stage->PropertyChanged(kStagePic, PropertyValue::Bytes({}));
  EXPECT_EQ(desk.PendingUpdateBounds(stage->Window()), (ws::Rect{0, 0, W, H})) << "all repainted";
  Paint();
  EXPECT_EQ(Shown(), std::vector<uint32_t>(W * H, kBack));
  SetPicture(kPicTile, Bytes{1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(Shown(), std::vector<uint32_t>(W * H, kBack));
}

// Forced repaints at the end of ticks: at most one per 100 ms in the whole process.
class ForcedRepaintTest : public StageTest {
 protected:
  ForcedRepaintTest() = default;
  explicit ForcedRepaintTest(sim::SimConfig c) : StageTest(c) {}
  // A tick with something pending; whether it forced a paint.
  bool TickForces(CartoonBox* box) {
    desk.InvalidateRect(box->Window(), nullptr, false);
    const int32_t before = desk.PaintCount(box->Window());
    box->StageTick();
    return desk.PaintCount(box->Window()) > before;
  }
};

TEST_F(ForcedRepaintTest, FirstTickForcesThenAtMostEvery100ms) {
  CartoonBox* a = MakeStage(20, 20);
  ASSERT_NE(a, nullptr);
  EXPECT_FALSE(ForcedRepaintTick().has_value());
  EXPECT_TRUE(TickForces(a));
  EXPECT_EQ(ForcedRepaintTick(), desk.TickCount());
  std::vector<uint32_t> forcedAt;
  for (uint32_t ms = 5; ms <= 300; ms += 5) {
    Advance(5);
    if (TickForces(a)) forcedAt.push_back(ms);
  }
  EXPECT_EQ(forcedAt, (std::vector<uint32_t>{105, 210}));
}

TEST_F(ForcedRepaintTest, OneAllowanceForAllStages) {
  CartoonBox* a = MakeStage(20, 20);
  CartoonBox* b = MakeStage(20, 20);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(TickForces(a));
  Advance(50);
  EXPECT_FALSE(TickForces(b));
  Advance(51);
  EXPECT_TRUE(TickForces(b));
  EXPECT_FALSE(TickForces(a));
  ResetForcedRepaintTick();
  EXPECT_TRUE(TickForces(a)) << "a fresh process forces on its first tick";
}

class LateForcedRepaintTest : public ForcedRepaintTest {
 protected:
  static sim::SimConfig LateClock() {
    sim::SimConfig c;
    c.startTick = 0x90000000u;  // about 28 days after boot
    return c;
  }
  LateForcedRepaintTest() : ForcedRepaintTest(LateClock()) {}
};

TEST_F(LateForcedRepaintTest, FirstTickForcesWhateverTheClockSays) {
  CartoonBox* a = MakeStage(20, 20);
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(TickForces(a));
  Advance(50);
  EXPECT_FALSE(TickForces(a));
}

}  // namespace
}  // namespace wintrel::stage::testing
