// The program's globals and its event handlers.
#pragma once
#include <cstdint>
#include <span>

#include "platform/runtime/runtime.h"

namespace wintrel::app {

// The ring of recently released snowflakes (100 slots, 1..100) and the slot in use.
extern runtime::ArrayBlock* FlakeSlots;
extern int32_t FlakeCursor;

int32_t ProgramEntry(runtime::Runtime& rt);
void InitGlobals(runtime::Runtime& rt);
void FreeGlobals(runtime::Runtime& rt);

int32_t OnWindowCreated(runtime::Runtime& rt, std::span<const int32_t> args);
int32_t OnWindowSizeChanged(runtime::Runtime& rt, std::span<const int32_t> args);
int32_t OnSpawnTimer(runtime::Runtime& rt, std::span<const int32_t> args);
int32_t OnTrayEvent(runtime::Runtime& rt, std::span<const int32_t> args);
int32_t OnAboutSelected(runtime::Runtime& rt, std::span<const int32_t> args);
int32_t OnExitSelected(runtime::Runtime& rt, std::span<const int32_t> args);

}  // namespace wintrel::app
