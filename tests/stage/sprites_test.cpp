// Templates and sprites: the template unit, creation from a template, the sprite list
// and its ids, pooled pictures, destruction and its event.
#include <gtest/gtest.h>

#include "stage/image/sprite_image.h"
#include "stage/sprites/stage_events.h"
#include "tests/stage/stage_fixture.h"

namespace wintrel::stage::testing {
namespace {

using runtime::PropertyValue;

class TemplateTest : public StageTest {};

TEST_F(TemplateTest, SnowflakeSettingsLoadAndMakeAHiddenChild) {
  TemplateValues v;
  v.transparentColor = 0xF0F0F0;
  v.zoom = 500;
  v.playGif = 1;
  v.angle = 180;
  v.rotateFollow = 1;
  v.collideAllowed = 1;
  v.picture = WriteGif(4, 4, {std::vector<uint8_t>(16, 1), std::vector<uint8_t>(16, 0)}, 10);
  CartoonObject* t = MakeTemplate(v);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Settings().zoom, 500);
  EXPECT_EQ(t->Settings().angle, 180);
  PropertyValue out;
  EXPECT_EQ(t->ReadProperty(kTplZoom, out), 1);
  EXPECT_EQ(out.value, 500);
  // The stored picture is decoded at creation.
  EXPECT_EQ(t->TemplateImage().width, 4);
  EXPECT_EQ(t->TemplateImage().FrameCount(), 2);
  std::optional<sim::WindowInfo> info = desk.Info(t->Window());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->parent, parent);
  EXPECT_TRUE(info->style & ws::WS_CHILD);
  EXPECT_FALSE(info->visible);
  EXPECT_EQ(AsCartoonObject(t), t);
  EXPECT_EQ(AsCartoonBox(t), nullptr);
}

TEST_F(TemplateTest, RejectedStoredDataMakesNoTemplate) {
  Bytes v4 = TemplateBlock({});
  v4[0] = 4;
  Bytes cut = TemplateBlock({});
  cut.resize(cut.size() - 1);
  for (const Bytes& stored : {v4, cut}) {
    runtime::UnitCreateParams p;
    p.stored = stored;
    p.parent = parent;
    p.windowId = kWindowId;
    p.unitId = kTemplateUnitId;
    EXPECT_EQ(CartoonObjectUnitType().CreateUnit(host, p), nullptr);
    EXPECT_EQ(desk.FindWindowByClass(kCartoonObjectClassName), 0u);
  }
}

TEST_F(TemplateTest, WindowCreationFailureIsReported) {
  desk.FailCreateWindowForClass(kCartoonObjectClassName);
  EXPECT_EQ(MakeTemplate({}), nullptr);
}

TEST_F(TemplateTest, WritesAreClampedAsEachPropertyAllows) {
  CartoonObject* t = MakeTemplate({});
  ASSERT_NE(t, nullptr);
  struct Case {
    int32_t index, written, stored;
  } cases[] = {
      {kTplZoom, -5, 0},          {kTplZoom, 65, 65},           {kTplAngle, 400, 360},
      {kTplAngle, -400, -360},    {kTplAngle, -90, -90},        {kTplTrendDepth, 150, 100},
      {kTplTrendDepth, -3, 0},    {kTplTurnType, 7, 3},         {kTplTurnType, -1, 0},
      {kTplAlpha, -1, 0},         {kTplAlpha, 101, 100},        {kTplGifDelay, -2, 0},
      {kTplExistTime, -5, 0},     {kTplExistTime, 5000, 5000},  {kTplLight, -150, -150},
      {kTplLayer, -3, -3},        {kTplType, 9, 9},             {kTplGifAutoDestroy, -1, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(t->PropertyChanged(c.index, PropertyValue::Int(c.written)), 0);
    PropertyValue out;
    t->ReadProperty(c.index, out);
    EXPECT_EQ(out.value, c.stored) << "property " << c.index << " written as " << c.written;
  }
  PropertyValue untouched = PropertyValue::Int(77);
  t->ReadProperty(kTplPropertyCount, untouched);
  EXPECT_EQ(untouched.value, 77) << "an unknown index leaves the value alone";
}

TEST_F(TemplateTest, PictureWritesRebuildTheImage) {
  CartoonObject* t = MakeTemplate({});
  ASSERT_NE(t, nullptr);
  EXPECT_FALSE(t->TemplateImage().Usable());
  const Bytes png = WritePng(5, 3, std::vector<uint32_t>(15, 0x00102030));
  t->PropertyChanged(kTplPicture, PropertyValue::Bytes(png));
  ASSERT_TRUE(t->TemplateImage().Usable());
  EXPECT_EQ(t->TemplateImage().width, 5);
  EXPECT_EQ(t->TemplateImage().frames[0].colorKey, image::kNoColorKey);
  t->PropertyChanged(kTplTransparentColor, PropertyValue::Int(0xF0F0F0));
  EXPECT_EQ(t->TemplateImage().frames[0].colorKey, 0xF0F0F0u);
  PropertyValue out;
  t->ReadProperty(kTplPicture, out);
  EXPECT_TRUE(out.isBytes);
  EXPECT_EQ(Bytes(out.bytes.begin(), out.bytes.end()), png);
  EXPECT_NE(out.bytes.data(), png.data()) << "the template keeps its own copy";
  t->PropertyChanged(kTplPicture, PropertyValue::Bytes({}));
  EXPECT_FALSE(t->TemplateImage().Usable());
}

TEST_F(TemplateTest, FontOfAnotherLengthIsStoredButNotUsed) {
  CartoonObject* t = MakeTemplate({});
  ASSERT_NE(t, nullptr);
  CartoonBox* box = MakeStage();
  ASSERT_NE(box, nullptr);
  const std::string text = "AB";
  t->PropertyChanged(kTplText, PropertyValue::Bytes(std::span(
                                   reinterpret_cast<const uint8_t*>(text.data()), text.size())));
  ASSERT_TRUE(t->TemplateImage().Usable());
  const image::SpriteImage withDefaultFont = t->TemplateImage();

  Bytes logFont(60, 0);
  logFont[0] = 40;  // lfHeight 40
  t->PropertyChanged(kTplFont, PropertyValue::Bytes(logFont));
  const image::SpriteImage withFont = t->TemplateImage();
  EXPECT_NE(withFont.height, withDefaultFont.height) << "a 60-byte font rebuilds the caption";

  const Bytes odd(59, 1);
  t->PropertyChanged(kTplFont, PropertyValue::Bytes(odd));
  PropertyValue out;
  t->ReadProperty(kTplFont, out);
  EXPECT_EQ(out.bytes.size(), 59u) << "the bytes are stored";
  EXPECT_EQ(t->TemplateImage(), withFont) << "but the image is not rebuilt";
  EXPECT_TRUE(t->CaptionFont().empty());
  Sprite* s = box->FindObject(box->CreateObject(t, 0, 0));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->captionFont, nullptr);
  EXPECT_EQ(s->caption, "AB");
}

TEST_F(TemplateTest, SavingWritesTheCurrentSettings) {
  CartoonObject* t = MakeTemplate({});
  ASSERT_NE(t, nullptr);
  t->PropertyChanged(kTplZoom, PropertyValue::Int(65));
  std::optional<Bytes> saved = t->SaveUnitData();
  ASSERT_TRUE(saved);
  std::optional<TemplateSettings> back = ReadTemplateData(*saved);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, t->Settings());
  EXPECT_EQ((*saved)[0], 3);
}

class SpriteTest : public StageTest {
 protected:
  void SetUp() override { ASSERT_NE(MakeStage(), nullptr); }
  std::vector<ObjectId> Ids() const {
    std::vector<ObjectId> ids;
    for (const auto& s : stage->Sprites()) ids.push_back(s->id);
    return ids;
  }
};

TEST_F(SpriteTest, SpriteAfterAZoomWriteIsTurnedAndScaled) {
  TemplateValues v;
  v.zoom = 500;
  v.angle = 180;
  v.rotateFollow = 1;
  v.collideAllowed = 1;
  std::vector<uint32_t> pixels(40 * 20);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint32_t>(i * 2654435761u) & 0x7FFFFFFF;
  v.picture = WritePng(40, 20, pixels);
  CartoonObject* t = MakeTemplate(v);
  ASSERT_NE(t, nullptr);
  t->PropertyChanged(kTplZoom, PropertyValue::Int(65));
  Sprite* s = stage->FindObject(stage->CreateObject(t, 10, 0));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->zoomX, 65);
  EXPECT_EQ(s->zoomY, 65);
  EXPECT_EQ(s->angle, 180);
  image::SpriteImage expected;
  ASSERT_TRUE(image::RotateImage(t->TemplateImage(), 180, expected));
  image::ScaleImage(expected, 65, 65);
  ASSERT_TRUE(Usable(s->prepared));
  EXPECT_EQ(s->prepared->width, 3);   // MulDiv(40, 65, 1000)
  EXPECT_EQ(s->prepared->height, 1);  // MulDiv(20, 65, 1000)
  EXPECT_EQ(*s->prepared, expected);
  EXPECT_EQ(*s->base, t->TemplateImage()) << "the base image is the template image";
  // A later change to the template does not touch the sprite.
  t->PropertyChanged(kTplZoom, PropertyValue::Int(1000));
  EXPECT_EQ(s->zoomX, 65);
}

TEST_F(SpriteTest, PreparedPictureIsFlippedTurnedScaledTrendedAndLitInThatOrder) {
  std::vector<uint32_t> pixels(12 * 8);
  for (size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = (i % 5 == 0 ? 0x40000000u : 0u) | static_cast<uint32_t>(i * 0x030507);
  TemplateValues v;
  v.rotateFollow = 1;
  v.angle = 90;
  v.zoom = 1500;
  v.picture = WritePng(12, 8, pixels);
  CartoonObject* t = MakeTemplate(v);
  ASSERT_NE(t, nullptr);
  t->PropertyChanged(kTplTurnType, PropertyValue::Int(1));
  t->PropertyChanged(kTplTrendColor, PropertyValue::Int(0x0000FF));
  t->PropertyChanged(kTplTrendDepth, PropertyValue::Int(30));
  t->PropertyChanged(kTplLight, PropertyValue::Int(40));
  Sprite* s = stage->FindObject(stage->CreateObject(t, 0, 0));
  ASSERT_NE(s, nullptr);
  image::SpriteImage flipped, expected;
  ASSERT_TRUE(image::CloneImage(t->TemplateImage(), flipped));
  image::FlipImage(flipped, 1);
  ASSERT_TRUE(image::RotateImage(flipped, 90, expected));
  image::ScaleImage(expected, 1500, 1500);
  image::TrendImage(expected, 0x0000FF, 30);
  image::LightImage(expected, 40);
  ASSERT_TRUE(Usable(s->prepared));
  EXPECT_EQ(s->prepared->width, 12);
  EXPECT_EQ(s->prepared->height, 18);
  EXPECT_EQ(*s->prepared, expected);
  // A second sprite with the same settings shares the prepared picture.
  Sprite* twin = stage->FindObject(stage->CreateObject(t, 5, 5));
  EXPECT_EQ(twin->prepared, s->prepared);
}

TEST_F(SpriteTest, UnchangedPictureIsSharedWithTheBaseImage) {
  CartoonObject* t = SolidTemplate(4, 4, 0x00FF0000);
  ASSERT_NE(t, nullptr);
  Sprite* s = stage->FindObject(stage->CreateObject(t, 0, 0));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->prepared, s->base);
  EXPECT_EQ(stage->Pool().CountOf(s->base), 2);
}

TEST_F(SpriteTest, ListIsOrderedByLayerNewestLastWithinALayer) {
  TemplateValues v0, v1;
  v1.layer = 1;
  CartoonObject* low = SolidTemplate(2, 2, 0, v0);
  ASSERT_NE(low, nullptr);
  const ObjectId a = stage->CreateObject(low, 0, 0);
  const ObjectId b = stage->CreateObject(low, 0, 0);
  v1.picture = WritePng(2, 2, std::vector<uint32_t>(4, 0));
  CartoonObject* high = MakeTemplate(v1, kTemplateUnitId + 1);
  ASSERT_NE(high, nullptr);
  const ObjectId c = stage->CreateObject(high, 0, 0);
  const ObjectId d = stage->CreateObject(low, 0, 0);
  const ObjectId e = stage->CreateObject(nullptr, 0, 0);  // layer 0 too
  EXPECT_EQ(Ids(), (std::vector<ObjectId>{a, b, d, e, c}));
}

TEST_F(SpriteTest, IdsRunOnAndAreNeverReused) {
  CartoonObject* t = SolidTemplate(2, 2, 0);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(stage->CreateObject(t, 0, 0), 1);
  EXPECT_EQ(stage->CreateObject(t, 0, 0), 2);
  EXPECT_EQ(stage->DestroyObject(2), kStatusGoOn);
  EXPECT_EQ(stage->CreateObject(nullptr, 0, 0), 3);
  EXPECT_EQ(stage->FindObject(2), nullptr);
  EXPECT_EQ(Ids(), (std::vector<ObjectId>{1, 3}));
  stage->ResetStage();
  EXPECT_TRUE(stage->Sprites().empty());
  EXPECT_TRUE(stage->Pool().Entries().empty());
  EXPECT_EQ(stage->CreateObject(t, 0, 0), 1);
}

TEST_F(SpriteTest, SpritesOfOneTemplateShareTheirPictureUntilTheLastGoes) {
  CartoonObject* t = SolidTemplate(6, 6, 0x00123456);
  ASSERT_NE(t, nullptr);
  Sprite* first = stage->FindObject(stage->CreateObject(t, 0, 0));
  Sprite* second = stage->FindObject(stage->CreateObject(t, 9, 9));
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->base, second->base);
  const image::SpriteImage* shared = first->base;
  EXPECT_EQ(stage->Pool().CountOf(shared), 4) << "two bases and two prepared images";
  stage->DestroyObject(first->id);
  EXPECT_EQ(stage->Pool().CountOf(shared), 2);
  EXPECT_EQ(*second->base, t->TemplateImage()) << "still alive for the other sprite";
  stage->DestroyObject(second->id);
  EXPECT_TRUE(stage->Pool().Entries().empty());
}

TEST_F(SpriteTest, SpriteWithoutTemplateOrPictureStillGetsAnId) {
  CartoonObject* empty = MakeTemplate({});
  ASSERT_NE(empty, nullptr);
  Paint();
  for (const CartoonObject* t : {static_cast<const CartoonObject*>(nullptr),
                                 static_cast<const CartoonObject*>(empty)}) {
    const ObjectId id = stage->CreateObject(t, 5, 5, true, "tagged");
    Sprite* s = stage->FindObject(id);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->prepared, nullptr);
    EXPECT_EQ(s->zoomX, 1000);
    EXPECT_EQ(s->trendColor, 0xFFFFFFu);
    EXPECT_EQ(s->tag, "tagged");
    stage->AutoMove(id, 3, 1);
    EXPECT_EQ(s->motion.state, 0) << "a sprite without a picture is not moved";
  }
  EXPECT_TRUE(desk.PendingUpdate(stage->Window()).empty()) << "nothing of theirs is marked";
}

TEST_F(SpriteTest, DestroyObjectOfAnUnknownIdChangesNothing) {
  CartoonObject* t = SolidTemplate(2, 2, 0);
  ASSERT_NE(t, nullptr);
  stage->CreateObject(t, 0, 0);
  for (ObjectId id : {0, -1, 99}) {
    EXPECT_EQ(stage->DestroyObject(id), kStatusGoOn);
    EXPECT_EQ(stage->FindObject(id), nullptr);
  }
  EXPECT_EQ(Ids(), std::vector<ObjectId>{1});
  EXPECT_TRUE(host.events.empty());
}

TEST_F(SpriteTest, DestroyRaisesItsEventMarksTheAreaAndPlaysItsSound) {
  TemplateValues v;
  v.destroySound = {1, 2, 3};
  v.createSound = {9};
  CartoonObject* t = SolidTemplate(4, 3, 0, v);
  ASSERT_NE(t, nullptr);
  const ObjectId id = stage->CreateObject(t, 10, 20);
  EXPECT_EQ(host.sounds, std::vector<Bytes>{Bytes{9}}) << "the creation sound, once";
  Paint();
  ASSERT_TRUE(desk.PendingUpdate(stage->Window()).empty());
  host.sounds.clear();
  EXPECT_EQ(stage->DestroyObject(id), kStatusGoOn);
  EXPECT_EQ(host.events, (std::vector<RecordedEvent>{{kEventWillDestroy, {id}}}));
  EXPECT_EQ(desk.PendingUpdateBounds(stage->Window()), (ws::Rect{10, 20, 14, 23}));
  EXPECT_EQ(host.sounds, (std::vector<Bytes>{Bytes{1, 2, 3}}));
  EXPECT_TRUE(stage->Sprites().empty());
}

TEST_F(SpriteTest, HandlerThatDestroysTheSpriteInsideItsDestroyEvent) {
  CartoonObject* t = SolidTemplate(2, 2, 0);
  ASSERT_NE(t, nullptr);
  const ObjectId id = stage->CreateObject(t, 0, 0);
  const ObjectId other = stage->CreateObject(t, 0, 0);
  // The handler destroys the sprite itself; its inner destroy event is answered
  // without acting, so the inner call removes the sprite.
  bool nested = false;
  host.onEvent = [&](int32_t number, std::span<const int32_t> args) {
    if (number == kEventWillDestroy && args[0] == id && !nested) {
      nested = true;
      EXPECT_EQ(stage->DestroyObject(id), kStatusGoOn);
    }
    return runtime::EventOutcome{};
  };
  EXPECT_EQ(stage->DestroyObject(id), kStatusSpriteGone);
  EXPECT_EQ(Ids(), std::vector<ObjectId>{other});
  EXPECT_EQ(stage->Pool().CountOf(stage->FindObject(other)->base), 2) << "released once only";
}

TEST_F(SpriteTest, HandlerThatDestroysTheStageInsideTheDestroyEvent) {
  CartoonObject* t = SolidTemplate(2, 2, 0);
  ASSERT_NE(t, nullptr);
  const ObjectId id = stage->CreateObject(t, 0, 0);
  const ws::Hwnd window = stage->Window();
  host.onEvent = [&](int32_t number, std::span<const int32_t>) {
    if (number == kEventWillDestroy) desk.DestroyWindow(window);
    return runtime::EventOutcome{};
  };
  EXPECT_EQ(stage->DestroyObject(id), kStatusStageGone);
  // The stage has deleted itself now that its outermost call has returned.
  EXPECT_FALSE(desk.IsWindow(window));
  EXPECT_EQ(host.gone, (std::vector<std::pair<uint32_t, uint32_t>>{{kWindowId, kStageUnitId}}));
  EXPECT_EQ(desk.LiveSurfaces(), 0u) << "its background buffer went with it";
}

}  // namespace
}  // namespace wintrel::stage::testing
