#include "bench/scene.h"

#include <cstdlib>

#include "app/window_definition.h"
#include "assets/assets.h"
#include "stage/sprites/template_settings.h"

namespace wintrel::bench {

int32_t Draws::Between(int32_t lo, int32_t hi) {
  state_ = state_ * 214013u + 2531011u;
  const int32_t r = static_cast<int32_t>((state_ >> 16) & 0x7FFF);
  return lo + r % (hi - lo + 1);
}

FlakeDraw Draws::Next() {
  FlakeDraw d;
  d.picture = Between(1, assets::kFlakeCount);
  d.zoom = Between(50, 80);
  d.x = Between(1, width_);
  d.step = Between(1, 3);
  const int32_t band = Between(1, 3);
  d.angle = band == 1 ? Between(100, 150) : band == 2 ? Between(151, 200) : Between(201, 260);
  return d;
}

Scene::Scene(int32_t width, int32_t height, bool shown) {
  stage::ResetForcedRepaintTick();
  parent = desk.CreateHostWindow("BenchParent", ws::WS_POPUP | ws::WS_CLIPCHILDREN | (shown ? ws::WS_VISIBLE : 0),
                                 ws::Rect{0, 0, width, height});

  const std::vector<uint8_t> stageBlock = app::StageBlock();
  runtime::UnitCreateParams p;
  p.stored = stageBlock;
  p.style = ws::WS_VISIBLE;
  p.parent = parent;
  p.controlId = 3;
  p.width = width;
  p.height = height;
  p.windowId = 0x52010001;
  p.unitId = 0x16010003;
  stage = stage::AsCartoonBox(stage::CartoonBoxUnitType().CreateUnit(host, p));

  const std::vector<uint8_t> templateBlock = app::FlakeTemplateBlock();
  runtime::UnitCreateParams t;
  t.stored = templateBlock;
  t.parent = parent;
  t.controlId = 2;
  t.left = 224;
  t.top = 144;
  t.width = 48;
  t.height = 48;
  t.windowId = 0x52010001;
  t.unitId = 0x16010002;
  flake = stage::AsCartoonObject(stage::CartoonObjectUnitType().CreateUnit(host, t));
  if (stage == nullptr || flake == nullptr) std::abort();
  if (shown) desk.UpdateWindow(stage->Window());
}

Scene::~Scene() {
  if (parent != 0 && desk.IsWindow(parent)) desk.DestroyWindow(parent);
  stage::ResetForcedRepaintTick();
}

stage::ObjectId Scene::Spawn(const FlakeDraw& d) {
  flake->PropertyChanged(stage::kTplPicture, runtime::PropertyValue::Bytes(assets::Flake(d.picture)));
  flake->PropertyChanged(stage::kTplZoom, runtime::PropertyValue::Int(d.zoom));
  const stage::ObjectId id = stage->CreateObject(flake, d.x, 0);
  stage->SetObjectAngle(id, d.angle);
  return id;
}

stage::ObjectId Scene::SpawnMoving(const FlakeDraw& d, int32_t y) {
  const stage::ObjectId id = Spawn(d);
  if (stage::Sprite* s = stage->FindObject(id)) stage->MoveObjectTo(*s, s->x, y);
  stage->AutoMove(id, d.step, 1, 1 << 20);
  return id;
}

}  // namespace wintrel::bench
