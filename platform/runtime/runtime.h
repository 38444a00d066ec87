// The window runtime: starts the program, builds windows and controls from the stored
// window definition, delivers their events to the program's handlers, runs the message
// loop and the exit routines, and offers the commands the program calls.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/library_unit.h"
#include "platform/seam/window_system.h"

namespace wintrel::runtime {

class Runtime;

// A handler of the program: called with the event's 32-bit arguments; its result only
// matters for events that ask for one.
using Handler = int32_t (*)(Runtime& rt, std::span<const int32_t> args);
using ExitRoutine = void (*)(Runtime& rt);

// A handler as the stored definition names it: its offset in the program's code.
struct HandlerBinding {
  int32_t offset = 0;
  Handler handler = nullptr;
};

// An external routine of the system, declared by name (empty library: the system's
// own libraries) with the number of 32-bit arguments it is passed.
struct ExternalDeclaration {
  std::string name;
  std::string library;
  int32_t argumentCount = 0;
};

// Everything the runtime needs of a program: its entry routine, the stored window
// definitions, the table that turns stored handler offsets into routines, its external
// routines and the library unit types its windows use.
struct ProgramImage {
  int32_t (*entry)(Runtime& rt) = nullptr;  // ProgramEntry
  void (*processStart)() = nullptr;         // sets the program's statics to their initial values
  std::span<const uint8_t> windowDefinitions;
  std::vector<HandlerBinding> handlers;
  std::vector<ExternalDeclaration> externals;
  std::vector<LibraryUnitType*> libraryTypes;
  // Sees every event a library unit raises, before it is delivered (or held back);
  // for tools and tests that keep an event log.
  std::function<void(uint32_t windowId, uint32_t unitId, int32_t eventNumber,
                     std::span<const int32_t> args)>
      unitEventObserver;
};

// Runs one process: the platform's start-up, the program's entry routine, and the end
// of the run. Returns the process exit code (0 normal end, 0xFFFFFFFF fatal error).
uint32_t RunProcess(ws::WindowSystem& windows, const ProgramImage& program);

// Run-time error codes raised by the program's own code.
inline constexpr int32_t kErrorGeneral = 0;
inline constexpr int32_t kErrorIndexAboveSize = 1;
inline constexpr int32_t kErrorIndexBelowOne = 4;
inline constexpr int32_t kErrorExternalArguments = 6;

// A one-dimensional array of 32-bit elements as the runtime keeps it: one heap block of
// the dimension count, each dimension's size, then the elements.
struct ArrayBlock {
  int32_t dimensions;
  int32_t size;  // elements of the (only) dimension; the elements follow the header
  int32_t* Elements() { return reinterpret_cast<int32_t*>(this + 1); }
};
static_assert(sizeof(ArrayBlock) == 8);

class Runtime {
 public:
  virtual ~Runtime() = default;

  // --- life cycle (the program's entry routine uses these)
  virtual void StartRuntime() = 0;
  virtual void AddExitRoutine(ExitRoutine routine) = 0;
  virtual void LoadStartupWindow(uint32_t windowId) = 0;
  virtual void RunMessageLoop() = 0;
  virtual void* Allocate(std::size_t bytes) = 0;  // never null: failure is fatal
  virtual void Free(void* block) = 0;             // null ignored
  // Reports the error and ends the process. On the real system it does not return; on
  // the simulated desktop it returns with the process ended and every later command inert.
  virtual void RaiseRuntimeError(int32_t code) = 0;
  virtual bool Ended() const = 0;

  // Checked element access: index below 1 raises error 4, above the size error 1.
  // Returns null (after the error) when the check fails.
  virtual int32_t* ArrayElement(ArrayBlock* block, int32_t index) = 0;

  // --- commands for windows and units
  virtual ws::Hwnd GetWindowHandle(uint32_t windowId, uint32_t unitId) = 0;
  virtual int32_t BitwiseOr(int32_t a, int32_t b) = 0;
  virtual std::intptr_t CallExternalRoutine(int32_t number, std::span<const std::intptr_t> args) = 0;
  virtual PropertyValue ReadUnitProperty(uint32_t windowId, uint32_t unitId, int32_t property) = 0;
  virtual void WriteUnitProperty(uint32_t windowId, uint32_t unitId, int32_t property,
                                 const PropertyValue& value) = 0;
  virtual void MoveControl(uint32_t windowId, uint32_t unitId, std::optional<int32_t> left,
                           std::optional<int32_t> top, std::optional<int32_t> width,
                           std::optional<int32_t> height) = 0;
  // The live library unit (for method calls), or null.
  virtual LibraryUnit* FindLibraryUnit(uint32_t windowId, uint32_t unitId) = 0;

  // --- random numbers and the screen
  virtual void SetRandomSeed(std::optional<uint32_t> seed = std::nullopt) = 0;
  virtual int32_t RandomNumber(int32_t lo, int32_t hi) = 0;
  virtual int32_t ScreenWidth() = 0;
  virtual int32_t ScreenHeight() = 0;

  // --- tray, menus, boxes, destruction
  virtual void SetTrayIcon(uint32_t windowId, std::span<const uint8_t> icon,
                           const ws::GbkText& tooltip) = 0;
  virtual void PopupTrayMenu(uint32_t windowId, uint32_t menuUnitId) = 0;
  virtual int32_t ShowMessageBox(const ws::GbkText& text, uint32_t flags, const ws::GbkText& title,
                                 std::optional<uint32_t> ownerWindowId = std::nullopt) = 0;
  virtual void RequestDestroy(uint32_t windowId, bool immediately = false) = 0;

  virtual ws::WindowSystem& Windows() = 0;
};

}  // namespace wintrel::runtime
