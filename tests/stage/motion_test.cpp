// Timed behaviour: steps along the heading, distance and waiting, expiry, edges and
// collisions, frame animation, turning, and handlers that act inside the tick.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "stage/sprites/stage_events.h"
#include "tests/stage/stage_fixture.h"

namespace wintrel::stage::testing {
namespace {

using runtime::EventOutcome;
using runtime::PropertyValue;

constexpr uint32_t kOpaque = 0x00204060;

class MotionTest : public StageTest {
 protected:
  MotionTest() = default;
  explicit MotionTest(sim::SimConfig config) : StageTest(config) {}
  void SetUp() override { ASSERT_NE(MakeStage(200, 150), nullptr); }

  // A sprite of an opaque w x h picture at (x, y) heading `angle`.
  Sprite* Flake(double x, double y, int32_t angle, TemplateValues v = {}, int32_t w = 4,
                int32_t h = 4) {
    CartoonObject* t = SolidTemplate(w, h, kOpaque, v);
    if (t == nullptr) return nullptr;
    Sprite* s = stage->FindObject(stage->CreateObject(t, 0, 0));
    s->x = x;
    s->y = y;
    stage->SetObjectAngle(s->id, angle);
    return s;
  }
  // Five milliseconds later, one tick.
  void Tick(uint32_t ms = 5) {
    Advance(ms);
    stage->StageTick();
  }
};

TEST_F(MotionTest, StepsFollowTheHeading) {
  struct Case {
    int32_t angle, step;
    double x, y;
  } cases[] = {{180, 3, 100, 3}, {90, 3, 103, 0}, {0, 2, 100, 8}, {270, 5, 95, 10}};
  for (const Case& c : cases) {
    Sprite* s = Flake(100, c.angle == 0 ? 10 : (c.angle == 270 ? 10 : 0), c.angle);
    ASSERT_NE(s, nullptr);
    int32_t flags = -1;
    EXPECT_EQ(stage->StepObject(*s, c.step, flags), kStatusGoOn);
    EXPECT_EQ(flags, 0) << c.angle;
    EXPECT_NEAR(s->x, c.x, 1e-9) << c.angle;
    EXPECT_NEAR(s->y, c.y, 1e-9) << c.angle;
    EXPECT_EQ(static_cast<int32_t>(s->x), static_cast<int32_t>(c.x)) << "truncates as the exact value";
    stage->DestroyObject(s->id);
  }
}

TEST_F(MotionTest, StepThatKeepsTheTruncatedPositionRaisesNothing) {
  Sprite* s = Flake(100, 0, 100);
  ASSERT_NE(s, nullptr);
  Paint();
  host.events.clear();
  int32_t flags = 0;
  stage->StepObject(*s, 1, flags);
  EXPECT_NEAR(s->x, 100.985, 1e-3);
  EXPECT_NEAR(s->y, 0.174, 1e-3);
  EXPECT_TRUE(host.events.empty());
  EXPECT_TRUE(desk.PendingUpdate(stage->Window()).empty()) << "nothing to repaint";
  stage->StepObject(*s, 1, flags);
  EXPECT_NEAR(s->x, 101.970, 1e-3);
  EXPECT_NEAR(s->y, 0.347, 1e-3);
  const std::vector<RecordedEvent> expected = {{kEventWillMove, {s->id, 101, 0}},
                                               {kEventMoved, {s->id, 101, 0}}};
  EXPECT_EQ(host.events, expected);
  EXPECT_EQ(desk.PendingUpdateBounds(stage->Window()), (ws::Rect{100, 0, 105, 4}));
}

TEST_F(MotionTest, RefusedMoveLeavesTheSpriteWhereItWas) {
  Sprite* s = Flake(50, 50, 90);
  ASSERT_NE(s, nullptr);
  host.onEvent = [](int32_t number, std::span<const int32_t>) {
    return EventOutcome{true, number != kEventWillMove};
  };
  host.events.clear();
  int32_t flags = -1;
  EXPECT_EQ(stage->StepObject(*s, 3, flags), kStatusGoOn);
  EXPECT_EQ(s->x, 50);
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(host.Numbers(), std::vector<int32_t>{kEventWillMove});
}

TEST_F(MotionTest, DistanceUsedUpEndsTheMotion200msAfterTheLastStep) {
  Sprite* s = Flake(20, 0, 180);
  ASSERT_NE(s, nullptr);
  const ObjectId id = s->id;
  stage->AutoMove(id, 3, 1, 10, 0, false, 0, true);
  std::vector<int32_t> left;
  for (int i = 0; i < 4; ++i) {
    Tick();
    left.push_back(s->motion.distanceLeft);
  }
  EXPECT_EQ(left, (std::vector<int32_t>{7, 4, 1, -2}));
  EXPECT_EQ(s->motion.state, -1);
  EXPECT_NEAR(s->y, 12, 1e-9);
  host.events.clear();
  Tick(199);
  ASSERT_EQ(stage->FindObject(id), s) << "still waiting";
  EXPECT_NEAR(s->y, 12, 1e-9) << "no step while waiting";
  Tick(1);
  EXPECT_EQ(stage->FindObject(id), nullptr);
  EXPECT_EQ(host.events, (std::vector<RecordedEvent>{{kEventAutoMoveEnded, {id}},
                                                     {kEventWillDestroy, {id}}}));
}

TEST_F(MotionTest, ExpiryDuringMotionDestroysWithoutEndingTheMotion) {
  Sprite* s = Flake(20, 0, 180);
  ASSERT_NE(s, nullptr);
  const ObjectId id = s->id;
  stage->AutoMove(id, 1, 1, 100, 0, false, 0, true);
  stage->SetObjectLifetime(id, 20);
  for (int i = 0; i < 3; ++i) Tick();
  ASSERT_NE(stage->FindObject(id), nullptr);
  host.events.clear();
  Tick();
  EXPECT_EQ(stage->FindObject(id), nullptr);
  EXPECT_EQ(host.Numbers(), std::vector<int32_t>{kEventWillDestroy});
}

TEST_F(MotionTest, LifetimeZeroClearsTheTemplatesExistTime) {
  TemplateValues v;
  v.existTime = 5000;
  Sprite* s = Flake(20, 0, 0, v);
  ASSERT_NE(s, nullptr);
  EXPECT_NE(s->expiry, 0u);
  stage->SetObjectLifetime(s->id, 0);
  EXPECT_EQ(s->expiry, 0u);
  Tick(6000);
  EXPECT_EQ(stage->FindObject(s->id), s);
  stage->SetObjectLifetime(99, 5);  // unknown: nothing
}

TEST_F(MotionTest, SetObjectAngleNormalisesAndSkipsAnUnchangedAngle) {
  Sprite* s = Flake(20, 20, 0);
  ASSERT_NE(s, nullptr);
  struct Case {
    int32_t degrees, angle;
  } cases[] = {{-90, 270}, {720, 0}, {-360, 0}, {365, 5}, {-725, 355}};
  for (const Case& c : cases) {
    stage->SetObjectAngle(s->id, c.degrees);
    EXPECT_EQ(s->angle, c.angle) << c.degrees;
  }
  TemplateValues v;
  v.angle = 180;
  v.rotateFollow = 1;
  CartoonObject* t = SolidTemplate(6, 2, kOpaque, v);
  Sprite* turned = stage->FindObject(stage->CreateObject(t, 30, 30));
  ASSERT_NE(turned, nullptr);
  Paint();
  host.events.clear();
  const image::SpriteImage* before = turned->prepared;
  EXPECT_EQ(stage->SetObjectAngle(turned->id, 180), kStatusGoOn);
  EXPECT_EQ(turned->prepared, before);
  EXPECT_TRUE(host.events.empty());
  EXPECT_TRUE(desk.PendingUpdate(stage->Window()).empty());
}

TEST_F(MotionTest, TurningWithRotateFollowKeepsTheCentre) {
  TemplateValues v;
  v.rotateFollow = 1;
  CartoonObject* t = SolidTemplate(10, 4, kOpaque, v);
  ASSERT_NE(t, nullptr);
  Sprite* s = stage->FindObject(stage->CreateObject(t, 50, 50));
  ASSERT_NE(s, nullptr);
  Paint();
  EXPECT_EQ(stage->SetObjectAngle(s->id, 90), kStatusGoOn);
  ASSERT_TRUE(Usable(s->prepared));
  EXPECT_EQ(s->prepared->width, 4);
  EXPECT_EQ(s->prepared->height, 10);
  // Centre (55, 52) stays: (55 - 2, 52 - 5).
  EXPECT_EQ(s->x, 53);
  EXPECT_EQ(s->y, 47);
  EXPECT_EQ(host.Of(kEventMoved), (std::vector<RecordedEvent>{{kEventMoved, {s->id, 53, 47}}}));
  EXPECT_EQ(desk.PendingUpdateBounds(stage->Window()), (ws::Rect{50, 47, 60, 60}))
      << "old and new rectangles";
  // Without a usable picture the heading still changes.
  Sprite* bare = stage->FindObject(stage->CreateObject(nullptr, 0, 0));
  stage->SetObjectAngle(bare->id, 45);
  EXPECT_EQ(bare->angle, 45);
}

TEST_F(MotionTest, OneStepPerDeliveredTimerTick) {
  Sprite* s = Flake(20, 0, 180);
  ASSERT_NE(s, nullptr);
  stage->AutoMove(s->id, 1, 1, 1000);
  host.events.clear();
  desk.PumpFor(200);
  const size_t ticks = host.Of(kEventMoved).size();
  EXPECT_GE(ticks, 5u) << "the timer ran";
  EXPECT_LT(ticks, 40u) << "no faster than it is delivered";
  EXPECT_NEAR(s->y, static_cast<double>(ticks), 1e-9) << "one pixel per tick";
}

TEST_F(MotionTest, EdgesRaiseTheirBitsAndEndModeOneMotions) {
  struct Case {
    double x, y;
    int32_t angle, bits;
  } cases[] = {{1, 50, 270, kEdgeLeft}, {50, 1, 0, kEdgeTop}, {195, 50, 90, kEdgeRight},
               {50, 145, 180, kEdgeBottom}};
  for (const Case& c : cases) {
    Sprite* s = Flake(c.x, c.y, c.angle);
    ASSERT_NE(s, nullptr);
    const ObjectId id = s->id;
    stage->AutoMove(id, 3, 1, 0, 0, false, 1);
    host.events.clear();
    Tick();
    EXPECT_EQ(host.Of(kEventHitEdge),
              (std::vector<RecordedEvent>{{kEventHitEdge, {id, static_cast<int32_t>(c.x),
                                                           static_cast<int32_t>(c.y), c.bits}}}))
        << c.angle;
    EXPECT_EQ(host.Of(kEventAutoMoveEnded).size(), 1u) << c.angle;
    EXPECT_EQ(s->motion.state, 0);
    stage->DestroyObject(id);
  }
}

TEST_F(MotionTest, SpriteOutsideTheStageReportsEveryStepAndKeepsMovingWithADistance) {
  Sprite* s = Flake(10, 160, 180);
  ASSERT_NE(s, nullptr);
  stage->AutoMove(s->id, 3, 1, 300);
  host.events.clear();
  for (int i = 0; i < 3; ++i) Tick();
  EXPECT_EQ(host.Of(kEventLeftStage).size(), 3u);
  EXPECT_TRUE(host.Of(kEventAutoMoveEnded).empty());
  EXPECT_EQ(s->motion.state, 1);
  EXPECT_NEAR(s->y, 169, 1e-9);
  // Without any limit, leaving ends the motion.
  stage->AutoMove(s->id, 3, 1);
  Tick();
  EXPECT_EQ(host.Of(kEventAutoMoveEnded).size(), 1u);
  EXPECT_EQ(s->motion.state, 0);
}

class CollisionTest : public MotionTest {
 protected:
  // A mover at (10, 50.5) heading right into a still sprite at (16, 50).
  void Place(int32_t moverType, int32_t standerType, int32_t moverLayer = 0, int32_t standerLayer = 0) {
    TemplateValues a, b;
    a.collideAllowed = b.collideAllowed = 1;
    a.type = moverType;
    a.collidedSound = {4, 2};
    b.type = standerType;
    a.layer = moverLayer;
    b.layer = standerLayer;
    CartoonObject* ta = SolidTemplate(4, 4, kOpaque, a);
    b.picture = WritePng(4, 4, std::vector<uint32_t>(16, kOpaque));
    CartoonObject* tb = MakeTemplate(b, kTemplateUnitId + 1);
    ASSERT_TRUE(ta && tb);
    stander = stage->FindObject(stage->CreateObject(tb, 16, 50));
    mover = stage->FindObject(stage->CreateObject(ta, 10, 50));
    // Heading 90 drifts up by a fraction of a pixel per step (the angle factor is not
    // exactly pi / 180); half a pixel down keeps the row.
    mover->y = 50.5;
    stage->SetObjectAngle(mover->id, 90);
    host.events.clear();
  }
  Sprite* mover = nullptr;
  Sprite* stander = nullptr;
};

TEST_F(CollisionTest, SameTypePassesThrough) {
  Place(0, 0);
  int32_t flags = 0;
  for (int i = 0; i < 4; ++i) {
    stage->StepObject(*mover, 2, flags);
    EXPECT_EQ(flags & kStepHitSprite, 0);
  }
  EXPECT_TRUE(host.Of(kEventHitObject).empty());
}

TEST_F(CollisionTest, OtherTypeHitsOnceWhileTheyOverlap) {
  Place(0, 1);
  int32_t flags = 0;
  stage->StepObject(*mover, 2, flags);  // 12..16: touching, no common pixel
  EXPECT_EQ(flags, 0);
  stage->StepObject(*mover, 2, flags);  // 14..18 overlaps 16..20
  EXPECT_EQ(flags, kStepHitSprite);
  EXPECT_EQ(host.Of(kEventHitObject),
            (std::vector<RecordedEvent>{{kEventHitObject, {mover->id, 12, 50, stander->id}}}));
  stage->StepObject(*mover, 2, flags);
  EXPECT_EQ(flags, kStepHitSprite);
  EXPECT_EQ(host.Of(kEventHitObject).size(), 1u) << "the same partner is not reported again";
  EXPECT_EQ(host.sounds, std::vector<Bytes>{Bytes({4, 2})}) << "the mover's collided sound, once";
  EXPECT_EQ(mover->motion.lastCollisionPartner, stander->id);
  stage->StepObject(*mover, 10, flags);  // clear of it
  EXPECT_EQ(mover->motion.lastCollisionPartner, 0);
}

TEST_F(CollisionTest, OnlyTheSameLayerCounts) {
  for (auto layers : {std::pair{1, 0}, std::pair{0, 1}}) {
    stage->ResetStage();
    Place(0, 1, layers.first, layers.second);
    int32_t flags = 0;
    stage->StepObject(*mover, 4, flags);
    EXPECT_EQ(flags, 0) << layers.first << " over " << layers.second;
  }
}

TEST_F(CollisionTest, StopOnCollisionEndsTheMotion) {
  Place(0, 1);
  stage->AutoMove(mover->id, 2, 1, 0, 0, true);
  Tick();
  EXPECT_EQ(mover->motion.state, 1);
  Tick();
  EXPECT_EQ(mover->motion.state, 0);
  EXPECT_EQ(host.Numbers().back(), kEventAutoMoveEnded);
}

TEST_F(MotionTest, HandlerThatDestroysTheMovingSpriteLetsTheTickGoOn) {
  Sprite* first = Flake(20, 20, 180);
  Sprite* second = Flake(60, 20, 180);
  ASSERT_TRUE(first && second);
  const ObjectId doomed = first->id;
  stage->AutoMove(doomed, 3, 1, 100);
  stage->AutoMove(second->id, 3, 1, 100);
  host.onEvent = [&](int32_t number, std::span<const int32_t> args) {
    if (number == kEventMoved && args[0] == doomed) stage->DestroyObject(doomed);
    return EventOutcome{};
  };
  Tick();
  EXPECT_EQ(stage->FindObject(doomed), nullptr);
  EXPECT_NEAR(second->y, 23, 1e-9) << "the next sprite still had its turn";
}

TEST_F(MotionTest, HandlerThatDestroysTheStageEndsTheTick) {
  Sprite* first = Flake(20, 20, 180);
  Sprite* second = Flake(60, 20, 180);
  ASSERT_TRUE(first && second);
  stage->AutoMove(first->id, 3, 1, 100);
  stage->AutoMove(second->id, 3, 1, 100);
  const ws::Hwnd window = stage->Window();
  std::vector<int32_t> movedIds;
  host.onEvent = [&](int32_t number, std::span<const int32_t> args) {
    if (number == kEventMoved) {
      movedIds.push_back(args[0]);
      desk.DestroyWindow(window);
    }
    return EventOutcome{};
  };
  const ObjectId firstId = first->id;
  stage = nullptr;  // it deletes itself once its timer message has been handled
  desk.PumpFor(100);
  EXPECT_FALSE(desk.IsWindow(window));
  EXPECT_EQ(movedIds, std::vector<int32_t>{firstId}) << "the tick ended at once";
  EXPECT_EQ(host.gone.size(), 1u);
  EXPECT_EQ(desk.LiveSurfaces(), 0u);
  EXPECT_FALSE(desk.HasTimer(window, kStageTimerId));
}

TEST_F(MotionTest, AnimatedPictureLoopsPausesAndDestroysAfterItsLoops) {
  TemplateValues v;
  v.playGif = 1;
  v.gifDelay = 50;       // extra pause on frame 0
  v.gifAutoDestroy = 2;  // two loops
  v.picture = WriteGif(2, 2, {{0, 0, 0, 0}, {1, 1, 1, 1}}, 10);
  CartoonObject* t = MakeTemplate(v);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->TemplateImage().FrameCount(), 2);
  const ObjectId id = stage->CreateObject(t, 5, 5);
  std::vector<std::pair<uint32_t, int32_t>> changes;  // (ms since start, frame)
  int32_t last = 0;
  uint32_t elapsed = 0;
  while (stage->FindObject(id) != nullptr && elapsed < 2000) {
    Paint();
    stage->StageTick();
    if (Sprite* s = stage->FindObject(id); s && s->frame != last) {
      last = s->frame;
      changes.push_back({elapsed, last});
      EXPECT_EQ(desk.PendingUpdateBounds(stage->Window()), (ws::Rect{5, 5, 7, 7}))
          << "a new frame is repainted";
    }
    Advance(10);
    elapsed += 10;
  }
  // Frame 0 shows 100 + 50 ms, frame 1 100 ms; after the second loop the sprite goes.
  const std::vector<std::pair<uint32_t, int32_t>> expected = {{150, 1}, {250, 0}, {400, 1}};
  EXPECT_EQ(changes, expected);
  EXPECT_EQ(elapsed, 510u) << "destroyed by the tick at 500 ms";
  EXPECT_EQ(host.Of(kEventAnimationDone), (std::vector<RecordedEvent>{{kEventAnimationDone, {id}}}));
  EXPECT_EQ(host.Numbers().back(), kEventWillDestroy);
}

TEST_F(MotionTest, AutoRotationTurnsUntilItsDegreesAreUsed) {
  TemplateValues v;
  v.rotateFollow = 1;
  CartoonObject* t = SolidTemplate(6, 2, kOpaque, v);
  ASSERT_NE(t, nullptr);
  const ObjectId id = stage->CreateObject(t, 40, 40);
  stage->AutoRotate(id, 90, 100, 180);
  Sprite* s = stage->FindObject(id);
  Tick(99);
  EXPECT_EQ(s->angle, 0);
  Tick(1);
  EXPECT_EQ(s->angle, 90);
  EXPECT_EQ(s->prepared->width, 2);
  Tick(100);
  EXPECT_EQ(s->angle, 180);
  EXPECT_EQ(host.Of(kEventAutoRotateEnded), (std::vector<RecordedEvent>{{kEventAutoRotateEnded, {id}}}));
  Tick(100);
  EXPECT_EQ(s->angle, 180);
}

TEST_F(MotionTest, PathMotionReachesItsPointAndEnds) {
  Sprite* s = Flake(40, 40, 0);
  ASSERT_NE(s, nullptr);
  const int32_t path[] = {0, 10, 0};  // one point, 10 pixels right of the centre
  stage->AutoMove(s->id, 3, 1, 0, 0, false, 0, false, path);
  for (int i = 0; i < 4; ++i) Tick();
  EXPECT_EQ(s->x, 50);
  EXPECT_EQ(s->y, 40);
  EXPECT_EQ(s->motion.state, 0);
  EXPECT_EQ(host.Of(kEventAutoMoveEnded).size(), 1u);
}

TEST_F(MotionTest, CurvedPathIsFollowedInShortPiecesToItsEnd) {
  Sprite* s = Flake(20, 20, 0);
  ASSERT_NE(s, nullptr);
  // A curve from the centre (22, 22) through two control points to 100 right, 60 down.
  const int32_t path[] = {1, 0, 80, 100, 80, 100, 60};
  stage->AutoMove(s->id, 4, 1, 0, 0, false, 0, false, path);
  const std::vector<int32_t> points = s->motion.path;
  ASSERT_GE(points.size(), 8u) << "split into several pieces";
  ASSERT_EQ(points.size() % 2, 0u);
  EXPECT_EQ(points[points.size() - 2], 122);
  EXPECT_EQ(points.back(), 82);
  int32_t px = 22, py = 22;
  for (size_t i = 0; i < points.size(); i += 2) {
    EXPECT_LT(std::abs(points[i] - px), 32) << "piece " << i / 2;
    EXPECT_LT(std::abs(points[i + 1] - py), 32) << "piece " << i / 2;
    px = points[i];
    py = points[i + 1];
  }
  for (int i = 0; i < 200 && s->motion.state != 0; ++i) Tick();
  EXPECT_EQ(s->motion.state, 0);
  EXPECT_EQ(s->x, 120);
  EXPECT_EQ(s->y, 80);
  EXPECT_EQ(host.Of(kEventAutoMoveEnded).size(), 1u);
}

TEST_F(MotionTest, AutoMoveRefusesNoStepAndUnknownIds) {
  Sprite* s = Flake(40, 40, 0);
  ASSERT_NE(s, nullptr);
  stage->AutoMove(s->id, 0, 1, 10);
  stage->AutoMove(999, 3, 1, 10);
  EXPECT_EQ(s->motion.state, 0);
  stage->AutoMove(s->id, 2, 1, 10);
  stage->AutoMove(s->id, -1, 1, 50);
  EXPECT_EQ(s->motion.distanceLeft, 10) << "a refused call keeps the motion it had";
}

// Near the 32-bit wrap of the tick counter.
class WrapTest : public MotionTest {
 protected:
  static sim::SimConfig NearWrap() {
    sim::SimConfig c;
    c.startTick = 0xFFFFFFFFu - 49;  // 50 ms before the wrap
    return c;
  }
  WrapTest() : MotionTest(NearWrap()) {}
};

TEST_F(WrapTest, ExpiryAcrossTheWrap) {
  Sprite* s = Flake(40, 40, 0);
  ASSERT_NE(s, nullptr);
  const ObjectId id = s->id;
  stage->SetObjectLifetime(id, 100);
  Tick(10);
  EXPECT_NE(stage->FindObject(id), nullptr) << "not reached just because it wrapped";
  Tick(80);
  EXPECT_NE(stage->FindObject(id), nullptr);
  Tick(10);
  EXPECT_EQ(stage->FindObject(id), nullptr);
}

TEST_F(WrapTest, MotionEndTimeAndWaitAcrossTheWrap) {
  Sprite* timed = Flake(40, 40, 180);
  Sprite* waiting = Flake(80, 40, 180);
  ASSERT_TRUE(timed && waiting);
  stage->AutoMove(timed->id, 1, 1, 0, 100);
  stage->AutoMove(waiting->id, 3, 1, 3);
  Tick(40);  // the waiting one makes its one step 10 ms before the wrap
  EXPECT_EQ(waiting->motion.state, -1);
  Tick(20);
  EXPECT_EQ(timed->motion.state, 1);
  EXPECT_EQ(waiting->motion.state, -1);
  Tick(40);
  EXPECT_EQ(timed->motion.state, 0) << "end time reached after the wrap";
  EXPECT_EQ(waiting->motion.state, -1);
  Tick(139);
  EXPECT_EQ(waiting->motion.state, -1) << "199 ms after its step";
  Tick(1);
  EXPECT_EQ(waiting->motion.state, 0);
}

}  // namespace
}  // namespace wintrel::stage::testing
