// The snowfall program as the runtime starts it: entry routine, stored window
// definition, handlers, external routines and the stage's unit types.
#pragma once
#include "platform/runtime/runtime.h"

namespace wintrel::app {

const runtime::ProgramImage& WintrelProgram();

}  // namespace wintrel::app
