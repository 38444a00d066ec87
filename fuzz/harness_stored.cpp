// Stored data: the window definitions with every unit's own settings, and each settings
// reader on its own. A block that reads is written again and must read back the same.
#include <algorithm>

#include "fuzz/harness.h"
#include "fuzz/harness_check.h"
#include "platform/runtime/definition.h"
#include "platform/runtime/library_unit.h"
#include "stage/render/stage_settings.h"
#include "stage/sprites/template_settings.h"

namespace wintrel::fuzz {
namespace {

void Window(Bytes data) {
  const auto s = runtime::ReadWindowSettings(data);
  if (!s) return;
  WINTREL_FUZZ_CHECK(s->version >= 0 && s->version <= 6);
  const std::vector<uint8_t> again = runtime::WriteWindowSettings(*s);
  WINTREL_FUZZ_CHECK(again.size() <= data.size());  // trailing bytes are not part of it
  WINTREL_FUZZ_CHECK(runtime::ReadWindowSettings(again) == s);
}

void Timer(Bytes data) {
  const auto s = runtime::ReadTimerSettings(data);
  if (!s) return;
  WINTREL_FUZZ_CHECK(s->version == 0 || s->version == 1);
  WINTREL_FUZZ_CHECK(runtime::ReadTimerSettings(runtime::WriteTimerSettings(*s)) == s);
}

void Template(Bytes data) {
  const auto s = stage::ReadTemplateData(data);
  if (!s) return;
  const std::vector<uint8_t> again = stage::WriteTemplateData(*s);
  WINTREL_FUZZ_CHECK(stage::ReadTemplateData(again) == s);
  // Nothing read can be longer than the block it came from.
  WINTREL_FUZZ_CHECK(s->picture.size() <= data.size() && s->font.size() <= data.size());
}

void Stage(Bytes data) {
  const auto s = stage::ReadStageData(data);
  if (!s) return;
  WINTREL_FUZZ_CHECK(stage::ReadStageData(stage::WriteStageData(*s)) == s);
  WINTREL_FUZZ_CHECK(s->pic.size() <= data.size() && s->font.size() <= data.size());
}

void UnitData(const runtime::StoredUnit& u) {
  if (u.isMenu) return;
  const std::span<const uint8_t> block = u.unit.unitData;
  switch (u.unit.unitType) {
    case runtime::kTypeWindow: return Window(block);
    case runtime::kTypeTimer: return Timer(block);
    case runtime::kTypeCartoonObject: return Template(block);
    case runtime::kTypeCartoonBox: return Stage(block);
    default: return;
  }
}

}  // namespace

void WindowDefinitions(Bytes data) {
  const auto defs = runtime::ReadWindowDefinitions(data);
  if (!defs) return;
  std::size_t units = 0;
  for (const auto& w : defs->windows) {
    units += w.units.size();
    for (const auto& u : w.units) {
      WINTREL_FUZZ_CHECK(u.isMenu == (runtime::UnitClass(u.id) == runtime::kUnitClassMenu));
      UnitData(u);
    }
  }
  // Every unit needs at least its id, its offset and a record length.
  WINTREL_FUZZ_CHECK(units <= data.size() / 12);
  const std::vector<uint8_t> again = runtime::WriteWindowDefinitions(*defs);
  WINTREL_FUZZ_CHECK(runtime::ReadWindowDefinitions(again) == defs);
}

void WindowAndTimerSettings(Bytes data) {
  if (data.empty()) return;
  const Bytes rest = data.subspan(1);
  if (data[0] & 1)
    Timer(rest);
  else
    Window(rest);
}

void TemplateData(Bytes data) { Template(data); }

void StageData(Bytes data) { Stage(data); }

}  // namespace wintrel::fuzz
