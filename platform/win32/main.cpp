// The process of the Windows build: the program on the real window system.
#include "app/program.h"
#include "platform/runtime/runtime.h"
#include "platform/win32/win32_window_system.h"

// Linked as a GUI program; the C runtime's start-up calls main.
int main() {
  wintrel::win32::Win32WindowSystem ws;
  return static_cast<int>(wintrel::runtime::RunProcess(ws, wintrel::app::WintrelProgram()));
}
