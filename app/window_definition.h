// The program's stored window definition: the overlay window 0x52010001 with its menu
// entries, its spawn timer, its snowflake template and its stage.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "platform/runtime/definition.h"

namespace wintrel::app {

runtime::WindowDefinitions WintrelDefinitions();
// The stored bytes, made once.
std::span<const uint8_t> WintrelDefinitionBytes();

// The unit-specific blocks, for the tests and the tools.
std::vector<uint8_t> FlakeTemplateBlock();
std::vector<uint8_t> StageBlock();
runtime::WindowSettings OverlaySettings();

}  // namespace wintrel::app
