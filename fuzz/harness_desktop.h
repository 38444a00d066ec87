// The simulated screens the fuzz targets run on.
#pragma once
#include <cstdint>

#include "platform/sim/sim_desktop.h"

namespace wintrel::fuzz {

// A small screen without the taskbar and tray drawn: cheap to make and to compose.
inline sim::SimConfig SmallScreen(int32_t width, int32_t height) {
  sim::SimConfig config;
  config.screenWidth = width;
  config.screenHeight = height;
  config.drawSystemUi = false;
  return config;
}

}  // namespace wintrel::fuzz
