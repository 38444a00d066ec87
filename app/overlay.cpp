// The overlay window: made colour-keyed when it has been created, and its stage kept at
// the window's size.
#include "app/handlers.h"
#include "app/ids.h"
#include "assets/assets.h"

namespace wintrel::app {

namespace {

constexpr int32_t kGwlExStyle = -20;
constexpr int32_t kLayered = 0x80000;
constexpr std::intptr_t kColorKey = 0xF0F0F0;
constexpr std::intptr_t kOpaque = 255;
constexpr std::intptr_t kColorKeyFlag = 1;
constexpr int32_t kSpawnPeriod = 200;

}  // namespace

int32_t OnWindowCreated(runtime::Runtime& rt, std::span<const int32_t>) {
  rt.SetRandomSeed();

  auto handle = [&] { return static_cast<std::intptr_t>(rt.GetWindowHandle(kWindowId, kWindowUnit)); };
  const std::intptr_t getArgs[] = {handle(), kGwlExStyle};
  const int32_t exStyle =
      rt.BitwiseOr(static_cast<int32_t>(rt.CallExternalRoutine(0, getArgs)), kLayered);
  const std::intptr_t setArgs[] = {handle(), kGwlExStyle, exStyle};
  rt.CallExternalRoutine(1, setArgs);
  const std::intptr_t keyArgs[] = {handle(), kColorKey, kOpaque, kColorKeyFlag};
  rt.CallExternalRoutine(2, keyArgs);

  rt.WriteUnitProperty(kWindowId, kSpawnTimer, kPropPeriod, runtime::PropertyValue::Int(kSpawnPeriod));
  rt.SetTrayIcon(kWindowId, assets::Icon(), kTooltip);
  return 0;
}

int32_t OnWindowSizeChanged(runtime::Runtime& rt, std::span<const int32_t>) {
  const int32_t width = rt.ReadUnitProperty(kWindowId, kWindowUnit, kPropWidth).value;
  const int32_t height = rt.ReadUnitProperty(kWindowId, kWindowUnit, kPropHeight).value;
  rt.MoveControl(kWindowId, kStage, 0, 0, width, height);
  return 0;
}

}  // namespace wintrel::app
