#include "app/program.h"

#include <cstring>

#include "app/handlers.h"
#include "app/ids.h"
#include "app/window_definition.h"
#include "stage/render/cartoon_box.h"
#include "stage/sprites/cartoon_object.h"

namespace wintrel::app {

runtime::ArrayBlock* FlakeSlots = nullptr;
int32_t FlakeCursor = 0;

namespace {

constexpr std::size_t kFlakeSlotsBytes = 408;
constexpr int32_t kFlakeSlotCount = 100;

void ProcessStart() {
  FlakeSlots = nullptr;
  FlakeCursor = 0;
  stage::ResetForcedRepaintTick();
}

}  // namespace

int32_t ProgramEntry(runtime::Runtime& rt) {
  rt.StartRuntime();
  InitGlobals(rt);
  rt.AddExitRoutine(&FreeGlobals);
  rt.LoadStartupWindow(kWindowId);
  rt.RunMessageLoop();
  return 0;
}

void InitGlobals(runtime::Runtime& rt) {
  auto* block = static_cast<runtime::ArrayBlock*>(rt.Allocate(kFlakeSlotsBytes));
  if (block == nullptr) return;
  block->dimensions = 1;
  block->size = kFlakeSlotCount;
  std::memset(block->Elements(), 0, kFlakeSlotCount * sizeof(int32_t));
  FlakeSlots = block;
}

void FreeGlobals(runtime::Runtime& rt) { rt.Free(FlakeSlots); }

const runtime::ProgramImage& WintrelProgram() {
  static const runtime::ProgramImage image = [] {
    runtime::ProgramImage p;
    p.entry = &ProgramEntry;
    p.processStart = &ProcessStart;
    p.windowDefinitions = WintrelDefinitionBytes();
    p.handlers = {
        {kOnWindowCreated, &OnWindowCreated},   {kOnWindowSizeChanged, &OnWindowSizeChanged},
        {kOnTrayEvent, &OnTrayEvent},           {kOnAboutSelected, &OnAboutSelected},
        {kOnExitSelected, &OnExitSelected},     {kOnSpawnTimer, &OnSpawnTimer},
    };
    p.externals = {
        {"GetWindowLongA", "", 2},
        {"SetWindowLongA", "", 3},
        {"SetLayeredWindowAttributes", "", 4},
    };
    p.libraryTypes = {&stage::CartoonBoxUnitType(), &stage::CartoonObjectUnitType()};
    return p;
  }();
  return image;
}

}  // namespace wintrel::app
