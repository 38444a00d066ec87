// Shared by the back end's sources: the system headers, the back end's state and the
// text conversion. The interface's headers come first: the system headers define macros
// (CreateWindow, SendMessage, the WM_ and WS_ numbers, ...) that would otherwise rewrite
// the interface's own names. After this header the system's macros are in force, so the
// back end's sources use the system's spelling of the numbers.
#pragma once
#include "platform/seam/window_system.h"
#include "platform/win32/win32_window_system.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <mmsystem.h>
#include <ole2.h>
#include <olectl.h>
#include <shellapi.h>

// Names of the interface that the system's headers turn into macros.
#undef AppendMenu
#undef CreateWindow
#undef DefWindowProc
#undef DispatchMessage
#undef GetMessage
#undef GetWindowLong
#undef MessageBox
#undef PeekMessage
#undef PlaySound
#undef PostMessage
#undef RegisterClass
#undef RegisterWindowMessage
#undef SendMessage
#undef SetWindowLong

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace wintrel::win32 {

// GBK (code page 936) to UTF-16. Invalid sequences become the system's replacement
// character; nothing is lost before the first of them.
std::wstring WideFromGbk(std::string_view gbk);

// One window created through the interface: its portable procedure and context. The
// window keeps a pointer to it in GWLP_USERDATA from WM_NCCREATE to WM_NCDESTROY.
struct WindowRoute {
  ws::WindowProc proc = nullptr;
  void* context = nullptr;
  bool gone = false;  // WM_NCDESTROY seen: the record may be released
};

// An off-screen 32-bit top-down surface: a DIB section selected into its own DC.
struct Surface {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previous = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t* bits = nullptr;
};

// A 32-bit top-down DIB section of width x height with its memory.
struct DibSection {
  HBITMAP bitmap = nullptr;
  uint32_t* bits = nullptr;
};
DibSection CreateTopDownDib(int32_t width, int32_t height);
BITMAPINFO TopDownHeader(int32_t width, int32_t height);

struct OpenPaint {
  HWND hwnd = nullptr;
  PAINTSTRUCT ps{};
};

struct ResolvedRoutine {
  std::string name;
  FARPROC address = nullptr;
};

struct Win32WindowSystem::State {
  bool comInitialised = false;
  std::vector<std::unique_ptr<WindowRoute>> routes;
  std::vector<OpenPaint> paints;
  std::unordered_map<ws::Hsurface, Surface> surfaces;
  ws::Hsurface nextSurface = 1;
  HDC textDc = nullptr;  // memory DC for measuring text, made on first use
  std::vector<uint8_t> sound;  // the memory sound being played, kept while it plays
  std::vector<ResolvedRoutine> routines;  // reference = index + 1
  std::vector<HMODULE> libraries;         // loaded for routines, freed at exit
  MSG lastMessage{};                       // the last message fetched, with its point
};

}  // namespace wintrel::win32
