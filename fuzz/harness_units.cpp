// The stage unit made from stored data: the window runtime loads a window with one
// stage whose settings block is the input, on a small simulated desktop, and runs it
// for a moment (its background built from the stored picture in the stored placement,
// painted, saved again), then closes it.
#include <cstdlib>

#include "app/handlers.h"
#include "app/ids.h"
#include "app/program.h"
#include "app/window_definition.h"
#include "fuzz/harness.h"
#include "fuzz/harness_check.h"
#include "fuzz/harness_desktop.h"
#include "platform/runtime/runtime.h"
#include "platform/sim/sim_desktop.h"
#include "stage/render/cartoon_box.h"
#include "stage/render/stage_settings.h"

namespace wintrel::fuzz {
namespace {

runtime::Runtime* g_rt = nullptr;

int32_t Entry(runtime::Runtime& rt) {
  g_rt = &rt;
  rt.StartRuntime();
  rt.LoadStartupWindow(app::kWindowId);
  rt.RunMessageLoop();
  return 0;
}

// The program's window with only its stage, and no handlers bound.
runtime::WindowDefinitions WindowWithStage(Bytes stageData) {
  runtime::WindowDefinitions defs = app::WintrelDefinitions();
  runtime::StoredWindow& w = defs.windows[0];
  std::vector<runtime::StoredUnit> units;
  for (runtime::StoredUnit& u : w.units) {
    if (u.isMenu) continue;
    if (u.id == app::kWindowUnit) {
      u.unit.events.clear();
      units.push_back(u);
    } else if (u.id == app::kStage) {
      u.unit.unitData.assign(stageData.begin(), stageData.end());
      units.push_back(u);
    }
  }
  w.units = units;
  return defs;
}

}  // namespace

void StageUnit(Bytes data) {
  const std::vector<uint8_t> definitions = runtime::WriteWindowDefinitions(WindowWithStage(data));
  runtime::ProgramImage program;
  program.entry = &Entry;
  program.windowDefinitions = definitions;
  program.libraryTypes = {&stage::CartoonBoxUnitType()};
  program.processStart = [] { stage::ResetForcedRepaintTick(); };

  sim::SimDesktop desk(SmallScreen(320, 240));
  desk.SetMessageBoxAutoClose(ws::IDOK);
  desk.SetTimeLimit(2000);
  g_rt = nullptr;
  const std::optional<stage::StageSettings> stored = stage::ReadStageData(data);
  bool saved = false;
  desk.At(40, [&] {
    stage::CartoonBox* box = stage::AsCartoonBox(g_rt->FindLibraryUnit(app::kWindowId, app::kStage));
    WINTREL_FUZZ_CHECK(box != nullptr);
    desk.UpdateWindow(box->Window());
    const auto again = box->SaveUnitData();
    WINTREL_FUZZ_CHECK(again && stored && *again == stage::WriteStageData(*stored));
    saved = true;
    desk.PostMessage(g_rt->GetWindowHandle(app::kWindowId, app::kWindowUnit), ws::WM_CLOSE, 0, 0);
  });
  const uint32_t code = runtime::RunProcess(desk, program);
  WINTREL_FUZZ_CHECK(!desk.StoppedByLimit());
  if (stored) {
    // Settings that read make a stage; the run ends normally.
    WINTREL_FUZZ_CHECK(code == 0 && saved && desk.MessageBoxCount() == 0);
  } else {
    // Settings that do not read are the runtime's fatal error.
    WINTREL_FUZZ_CHECK(code == 0xFFFFFFFFu && desk.MessageBoxCount() == 1);
  }
  WINTREL_FUZZ_CHECK(desk.TopLevelWindows().empty());
  WINTREL_FUZZ_CHECK(desk.LiveSurfaces() == 0 && desk.LiveBitmaps() == 0);
}

}  // namespace wintrel::fuzz

namespace wintrel::fuzz {

constexpr int32_t kLargestWindow = 4096;

void ProgramDefinitions(Bytes data) {
  // The simulated desktop keeps every window's client pixels, so a window stored far
  // larger than any screen would only ask it for gigabytes; such definitions are left
  // out (the stored definition is the program's own constant data).
  if (const auto defs = runtime::ReadWindowDefinitions(data)) {
    for (const auto& w : defs->windows)
      for (const auto& u : w.units)
        if (!u.isMenu && (u.unit.width > kLargestWindow || u.unit.height > kLargestWindow)) return;
  }
  runtime::ProgramImage program = app::WintrelProgram();
  program.windowDefinitions = data;
  sim::SimDesktop desk(SmallScreen(320, 240));
  desk.SetMessageBoxAutoClose(ws::IDOK);
  desk.SetTimeLimit(5000);
  desk.At(60, [&] {
    for (ws::Hwnd h : desk.TopLevelWindows())
      if (auto info = desk.Info(h); info && info->className == "WintrelWindow")
        desk.PostMessage(h, ws::WM_CLOSE, 0, 0);
  });
  const uint32_t code = runtime::RunProcess(desk, program);
  if (code == 0xFFFFFFFFu) {
    // A fatal error ends the process without the exit routines: the globals' block is
    // the end of the process's to free.
    std::free(app::FlakeSlots);
    app::FlakeSlots = nullptr;
    WINTREL_FUZZ_CHECK(desk.MessageBoxCount() >= 1);
  } else {
    WINTREL_FUZZ_CHECK(code == 0);
  }
  WINTREL_FUZZ_CHECK(desk.TopLevelWindows().empty());
  WINTREL_FUZZ_CHECK(desk.TrayIcons().empty() && desk.LiveIcons() == 0);
  WINTREL_FUZZ_CHECK(desk.LiveSurfaces() == 0 && desk.LiveBitmaps() == 0);
}

}  // namespace wintrel::fuzz
