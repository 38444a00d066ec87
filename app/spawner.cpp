// The spawner: one snowflake every tick of the spawn timer.
#include "app/handlers.h"
#include "app/ids.h"
#include "assets/assets.h"
#include "stage/render/cartoon_box.h"
#include "stage/sprites/cartoon_object.h"

namespace wintrel::app {

namespace {

constexpr int32_t kSlots = 100;
constexpr int32_t kLifetime = 10000;  // ms

}  // namespace

int32_t OnSpawnTimer(runtime::Runtime& rt, std::span<const int32_t>) {
  using runtime::PropertyValue;
  const int32_t picture = rt.RandomNumber(1, 8);
  rt.WriteUnitProperty(kWindowId, kFlakeTemplate, kPropPicture, PropertyValue::Bytes(assets::Flake(picture)));
  rt.WriteUnitProperty(kWindowId, kFlakeTemplate, kPropZoom, PropertyValue::Int(rt.RandomNumber(50, 80)));
  FlakeCursor = FlakeCursor % kSlots + 1;
  const int32_t x = rt.RandomNumber(1, rt.ScreenWidth());

  stage::CartoonBox* box = stage::AsCartoonBox(rt.FindLibraryUnit(kWindowId, kStage));
  stage::CartoonObject* templ = stage::AsCartoonObject(rt.FindLibraryUnit(kWindowId, kFlakeTemplate));
  if (box == nullptr) return 0;  // the stage is gone with its window

  int32_t* slot = rt.ArrayElement(FlakeSlots, FlakeCursor);
  if (slot == nullptr) return 0;
  *slot = box->CreateObject(templ, x, 0);

  const int32_t step = rt.RandomNumber(1, 3);
  const int32_t height = rt.ScreenHeight();
  if ((slot = rt.ArrayElement(FlakeSlots, FlakeCursor)) == nullptr) return 0;
  box->AutoMove(*slot, step, 1, height, 0, false, 0, true);

  const int32_t band = rt.RandomNumber(1, 3);
  int32_t angle;
  if (band == 1)
    angle = rt.RandomNumber(100, 150);
  else if (band == 2)
    angle = rt.RandomNumber(151, 200);
  else
    angle = rt.RandomNumber(201, 260);
  if ((slot = rt.ArrayElement(FlakeSlots, FlakeCursor)) == nullptr) return 0;
  box->SetObjectAngle(*slot, angle);

  if ((slot = rt.ArrayElement(FlakeSlots, FlakeCursor)) == nullptr) return 0;
  box->SetObjectLifetime(*slot, kLifetime);
  return 0;
}

}  // namespace wintrel::app
