// A stage on the literal paths and one on the production paths, each on a simulated
// desktop of its own, given the same calls: the same sprites, pictures, pool, events,
// window pixels after every paint.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>

#include "app/window_definition.h"
#include "assets/assets.h"
#include "stage/image/fast_paths.h"
#include "stage/image/render_path.h"
#include "stage/sprites/template_settings.h"
#include "tests/stage/stage_fixture.h"

namespace wintrel::stage::testing {
namespace {

struct Lcg {
  uint32_t state;
  int32_t Between(int32_t lo, int32_t hi) {
    state = state * 214013u + 2531011u;
    return lo + static_cast<int32_t>(((state >> 16) & 0x7FFF) % static_cast<uint32_t>(hi - lo + 1));
  }
};

// What a side is made of: its stage's stored block and its templates' blocks.
struct SideSetup {
  Bytes stageBlock = app::StageBlock();
  std::vector<Bytes> templates = {app::FlakeTemplateBlock()};
};

// One stage with its templates on a desktop of its own, always driven on its own path
// (and with its own forced-repaint time, which is one for the whole process).
class Side {
 public:
  Side(RenderPath path, const SideSetup& setup, int32_t width, int32_t height) : path_(path) {
    const ScopedRenderPath scoped(path_);
    ResetForcedRepaintTick();
    parent = desk.CreateHostWindow("TwinParent", ws::WS_POPUP | ws::WS_VISIBLE | ws::WS_CLIPCHILDREN,
                                   ws::Rect{0, 0, width, height});
    runtime::UnitCreateParams p;
    p.stored = setup.stageBlock;
    p.style = ws::WS_VISIBLE;
    p.parent = parent;
    p.controlId = 3;
    p.width = width;
    p.height = height;
    p.windowId = kWindowId;
    p.unitId = kStageUnitId;
    stage = AsCartoonBox(CartoonBoxUnitType().CreateUnit(host, p));
    for (size_t i = 0; i < setup.templates.size(); ++i) {
      runtime::UnitCreateParams t;
      t.stored = setup.templates[i];
      t.parent = parent;
      t.controlId = static_cast<int32_t>(10 + i);
      t.width = t.height = 48;
      t.windowId = kWindowId;
      t.unitId = kTemplateUnitId + static_cast<uint32_t>(i);
      templates.push_back(AsCartoonObject(CartoonObjectUnitType().CreateUnit(host, t)));
    }
    forced_ = ForcedRepaintTick();
  }
  ~Side() {
    const ScopedRenderPath scoped(path_);
    if (desk.IsWindow(parent)) desk.DestroyWindow(parent);
  }

  // Runs `f` on this side's path with this side's forced-repaint time.
  template <class F>
  auto Do(F&& f) {
    const ScopedRenderPath scoped(path_);
    RestoreForcedRepaintTick(forced_);
    struct Keep {
      Side& side;
      ~Keep() { side.forced_ = ForcedRepaintTick(); }
    } keep{*this};
    return f(*this);
  }

  sim::SimDesktop desk;
  TestHost host{desk};
  ws::Hwnd parent = 0;
  CartoonBox* stage = nullptr;
  std::vector<CartoonObject*> templates;

 private:
  RenderPath path_;
  std::optional<uint32_t> forced_;
};

struct Twins {
  Twins(const SideSetup& setup, int32_t width, int32_t height)
      : literal(RenderPath::kLiteral, setup, width, height),
        production(RenderPath::kProduction, setup, width, height) {}
  // The same call on both sides; both answers.
  template <class F>
  auto Both(F&& f) {
    auto a = literal.Do(f);
    auto b = production.Do(f);
    return std::make_pair(a, b);
  }
  void Each(const std::function<void(Side&)>& f) {
    literal.Do([&](Side& s) { f(s); return 0; });
    production.Do([&](Side& s) { f(s); return 0; });
  }
  Side literal;
  Side production;
};

// Everything about the sprites that the paths could make differ: ids, places, pictures
// (by content) and how the pool shares them.
void ExpectSameSprites(const Side& a, const Side& b, const std::string& when) {
  const auto& sa = a.stage->Sprites();
  const auto& sb = b.stage->Sprites();
  ASSERT_EQ(sa.size(), sb.size()) << when;
  for (size_t i = 0; i < sa.size(); ++i) {
    const Sprite& x = *sa[i];
    const Sprite& y = *sb[i];
    ASSERT_EQ(x.id, y.id) << when;
    EXPECT_EQ(x.x, y.x) << when << " sprite " << x.id;
    EXPECT_EQ(x.y, y.y) << when << " sprite " << x.id;
    EXPECT_EQ(x.angle, y.angle) << when;
    EXPECT_EQ(x.frame, y.frame) << when;
    EXPECT_EQ(x.motion.state, y.motion.state) << when;
    EXPECT_EQ(x.motion.distanceLeft, y.motion.distanceLeft) << when;
    ASSERT_EQ(x.prepared == nullptr, y.prepared == nullptr) << when << " sprite " << x.id;
    if (x.prepared) {
      ASSERT_TRUE(*x.prepared == *y.prepared) << when << " prepared picture of " << x.id;
    }
    ASSERT_EQ(x.base == nullptr, y.base == nullptr) << when;
    if (x.base) {
      ASSERT_TRUE(*x.base == *y.base) << when << " base picture of " << x.id;
    }
    EXPECT_EQ(a.stage->Pool().CountOf(x.prepared), b.stage->Pool().CountOf(y.prepared)) << when;
    EXPECT_EQ(a.stage->Pool().CountOf(x.base), b.stage->Pool().CountOf(y.base)) << when;
  }
  EXPECT_EQ(a.stage->Pool().Entries().size(), b.stage->Pool().Entries().size()) << when;
  EXPECT_EQ(a.stage->NextId(), b.stage->NextId()) << when;
  EXPECT_EQ(a.host.events, b.host.events) << when;
}

void ExpectSameWindow(Side& a, Side& b, const std::string& when) {
  const ws::PixelBlock pa = a.desk.ClientPixels(a.stage->Window());
  const ws::PixelBlock pb = b.desk.ClientPixels(b.stage->Window());
  ASSERT_EQ(pa.width, pb.width);
  ASSERT_EQ(pa.height, pb.height);
  if (pa.pixels == pb.pixels) return;
  for (size_t i = 0; i < pa.pixels.size(); ++i)
    ASSERT_EQ(pa.pixels[i], pb.pixels[i]) << when << ": the first pixel that differs is at ("
                                          << i % pa.width << ", " << i / pa.width << ")";
}

// A snowflake as the spawner releases it (the ids are the stage's own on each side).
ObjectId SpawnFlake(Side& s, Lcg& g, int32_t width, int32_t height, size_t templ = 0) {
  CartoonObject* t = s.templates[templ];
  const int32_t k = g.Between(1, assets::kFlakeCount);
  t->PropertyChanged(kTplPicture, runtime::PropertyValue::Bytes(assets::Flake(k)));
  t->PropertyChanged(kTplZoom, runtime::PropertyValue::Int(g.Between(50, 80)));
  const ObjectId id = s.stage->CreateObject(t, g.Between(1, width), 0);
  s.stage->AutoMove(id, g.Between(1, 3), 1, height, 0, false, 0, true);
  const int32_t band = g.Between(1, 3);
  s.stage->SetObjectAngle(id, band == 1 ? g.Between(100, 150) : band == 2 ? g.Between(151, 200)
                                                                         : g.Between(201, 260));
  s.stage->SetObjectLifetime(id, 10000);
  return id;
}

TEST(StagePaths, SpawnsPrepareAndShareTheSamePictures) {
  // Hundreds of spawns over all eight pictures, fifty alive at a time: the same pictures,
  // shared alike, as the oldest go and the pool gives their pictures up.
  Twins twins(SideSetup{}, 1920, 1040);
  std::deque<ObjectId> live;
  for (int i = 0; i < 400; ++i) {
    auto [a, b] = twins.Both([i](Side& s) {
      Lcg g{static_cast<uint32_t>(9000 + i)};
      return SpawnFlake(s, g, 1920, 1040);
    });
    ASSERT_EQ(a, b);
    live.push_back(a);
    if (live.size() > 50) {
      auto [da, db] = twins.Both([id = live.front()](Side& s) { return s.stage->DestroyObject(id); });
      EXPECT_EQ(da, db);
      live.pop_front();
    }
    ExpectSameSprites(twins.literal, twins.production, "spawn " + std::to_string(i));
    if (HasFailure()) return;
  }
}

TEST(StagePaths, AnglesAndZoomsOfEveryKindPrepareAlike) {
  // Through the template and SetObjectAngle: the right angles, turns back to 0 and whole
  // turns, zooms that keep the picture's size (and its key) or enlarge it.
  Twins twins(SideSetup{}, 800, 600);
  const int32_t angles[] = {180, 90, 270, 0, 360, -90, 45, 181, 359, 100, 260, 720};
  const int32_t zooms[] = {50, 80, 1000, 999, 1500, 0, 1};
  int n = 0;
  for (int k = 1; k <= assets::kFlakeCount; ++k)
    for (int32_t zoom : zooms)
      for (int32_t angle : angles) {
        twins.Each([&](Side& s) {
          CartoonObject* t = s.templates[0];
          t->PropertyChanged(kTplPicture, runtime::PropertyValue::Bytes(assets::Flake(k)));
          t->PropertyChanged(kTplZoom, runtime::PropertyValue::Int(zoom));
          const ObjectId id = s.stage->CreateObject(t, 100 + k, 50);
          s.stage->SetObjectAngle(id, angle);
        });
        if (++n % 40 == 0) twins.Each([](Side& s) { s.stage->ResetStage(); });
      }
  ExpectSameSprites(twins.literal, twins.production, "after the table");
}

struct PaintCase {
  const char* what;
  SideSetup setup;
  int32_t width, height;
  int32_t flakes;
  int32_t ticks;
  // Extra sprites of templates 1.. (animated, keyed, transparent, on other layers).
  std::function<void(Side&, Lcg&)> extra;
};

std::vector<PaintCase> PaintCases() {
  std::vector<PaintCase> cases;
  cases.push_back({"the program's stage and template", SideSetup{}, 1920, 1040, 50, 80, nullptr});

  // A tiled picture behind the flakes: no plain background to fill.
  std::vector<uint32_t> tile(13 * 9);
  for (size_t i = 0; i < tile.size(); ++i) tile[i] = static_cast<uint32_t>(i * 0x010307) & 0x00FFFFFF;
  SideSetup tiled;
  tiled.stageBlock = StageBlock(0x00F0F0F0, 3, 0, WriteBmp(13, 9, tile));
  cases.push_back({"a tiled background picture", tiled, 640, 480, 40, 60, nullptr});

  // Crowded flakes with animated, keyed, half-transparent and higher-layer sprites.
  SideSetup mixed;
  TemplateValues gif;
  gif.picture = Bytes(assets::DesignGif().begin(), assets::DesignGif().end());
  gif.playGif = 1;
  gif.transparentColor = 0x00FFFFFF;
  gif.alpha = 30;
  TemplateValues keyed;  // no zoom, no turn: the prepared picture keeps its key
  std::vector<uint32_t> ring(12 * 12, 0x00F0F0F0);
  for (int32_t y = 0; y < 12; ++y)
    for (int32_t x = 0; x < 12; ++x)
      if ((x - 6) * (x - 6) + (y - 6) * (y - 6) < 25) ring[static_cast<size_t>(y * 12 + x)] = 0x40FF2000u;
  keyed.picture = WritePng(12, 12, ring);
  keyed.transparentColor = 0x00F0F0F0;
  keyed.layer = 1;
  TemplateValues clear = keyed;  // every pixel invisible, still repainted when it moves
  clear.alpha = 100;
  clear.layer = 0;
  mixed.templates = {app::FlakeTemplateBlock(), TemplateBlock(gif), TemplateBlock(keyed), TemplateBlock(clear)};
  cases.push_back({"crowded flakes, animated, keyed and clear sprites", mixed, 320, 240, 40, 120,
                   [](Side& s, Lcg& g) {
                     for (int i = 0; i < 12; ++i) {
                       const size_t t = 1 + static_cast<size_t>(i % 3);
                       const ObjectId id = s.stage->CreateObject(s.templates[t], g.Between(-20, 300), g.Between(-20, 200));
                       s.stage->AutoMove(id, g.Between(1, 3), 1, 400);
                       s.stage->SetObjectAngle(id, g.Between(0, 359));
                     }
                   }});
  return cases;
}

TEST(StagePaths, PaintsShowTheSameWindow) {
  for (const PaintCase& c : PaintCases()) {
    SCOPED_TRACE(c.what);
    Twins twins(c.setup, c.width, c.height);
    twins.Each([&](Side& s) {
      Lcg g{1234};
      for (int32_t i = 0; i < c.flakes; ++i) {
        const ObjectId id = SpawnFlake(s, g, c.width, c.height);
        if (Sprite* sp = s.stage->FindObject(id)) s.stage->MoveObjectTo(*sp, sp->x - c.width / 8, g.Between(-30, c.height));
      }
      if (c.extra) c.extra(s, g);
      s.desk.UpdateWindow(s.stage->Window());
    });
    ExpectSameWindow(twins.literal, twins.production, "the first paint");
    for (int32_t tick = 0; tick < c.ticks; ++tick) {
      twins.Each([&](Side& s) {
        s.desk.AdvanceBy(16);
        s.stage->StageTick();
        if (tick % 7 == 3) {  // a spawn now and then, as the spawn timer makes them
          Lcg g{static_cast<uint32_t>(tick)};
          SpawnFlake(s, g, c.width, c.height);
        }
        s.desk.UpdateWindow(s.stage->Window());
      });
      const std::string when = "tick " + std::to_string(tick);
      ExpectSameWindow(twins.literal, twins.production, when);
      ExpectSameSprites(twins.literal, twins.production, when);
      if (HasFailure()) return;
    }
    // The production side really sent the region's pieces, not one bounding box.
    EXPECT_GT(twins.production.desk.OutputLog().size(), twins.literal.desk.OutputLog().size());
  }
}

}  // namespace
}  // namespace wintrel::stage::testing
