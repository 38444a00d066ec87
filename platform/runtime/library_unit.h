// The component interface through which the runtime creates and talks to a library
// unit type (a control type that lives outside the runtime, such as the stage and its
// sprite template). The entries mirror the runtime's lookup by number:
//   1 CreateUnit, 2 IsPropertyAvailable, 4 PropertyChanged, 5 SaveUnitData, 6 ReadProperty.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/seam/window_system.h"

namespace wintrel::runtime {

// A property value: a 32-bit value, or a byte block (pointer and length).
struct PropertyValue {
  bool isBytes = false;
  int32_t value = 0;
  std::span<const uint8_t> bytes;

  static PropertyValue Int(int32_t v) { return PropertyValue{false, v, {}}; }
  static PropertyValue Bytes(std::span<const uint8_t> b) { return PropertyValue{true, 0, b}; }
};

// What a handler left behind after an event.
struct EventOutcome {
  bool handled = false;  // a handler ran
  bool result = true;    // the handler's boolean result, for events that return one
};

class LibraryUnit;

// The runtime's side, handed to every library unit at creation.
class UnitHost {
 public:
  virtual ~UnitHost() = default;
  virtual ws::WindowSystem& Windows() = 0;
  // Delivers a unit's event to the program's handlers (suppressed while the runtime
  // holds events back).
  virtual EventOutcome RaiseUnitEvent(uint32_t windowId, uint32_t unitId, int32_t eventNumber,
                                      std::span<const int32_t> args) = 0;
  // The host's sound service; an empty block plays nothing.
  virtual void PlaySound(std::span<const uint8_t> bytes) = 0;
  // A library unit whose window has been destroyed tells the runtime it is gone.
  virtual void UnitGone(uint32_t windowId, uint32_t unitId) = 0;
  // Looks up a live library unit of a loaded window (for instance a template).
  virtual LibraryUnit* FindLibraryUnit(uint32_t windowId, uint32_t unitId) = 0;
};

struct UnitCreateParams {
  std::span<const uint8_t> stored;  // the unit-specific bytes of the window definition
  uint32_t style = 0;               // the runtime's window style for the control
  ws::Hwnd parent = 0;
  int32_t controlId = 0;
  int32_t left = 0, top = 0, width = 0, height = 0;
  uint32_t windowId = 0;
  uint32_t unitId = 0;
  bool designer = false;
};

// A live unit of a library type. It owns its window; when the window has received its
// last message the unit calls UnitHost::UnitGone and deletes itself (no one else
// deletes it while its window exists).
class LibraryUnit {
 public:
  virtual ~LibraryUnit() = default;
  virtual uint32_t TypeId() const = 0;
  virtual ws::Hwnd Window() const = 0;
  // Entry 2. `ownIndex` is the runtime's property index minus 8.
  virtual bool IsPropertyAvailable(int32_t ownIndex) = 0;
  // Entry 4. Returns 0.
  virtual int32_t PropertyChanged(int32_t ownIndex, const PropertyValue& value) = 0;
  // Entry 5. The stored block, or nothing on failure.
  virtual std::optional<std::vector<uint8_t>> SaveUnitData() = 0;
  // Entry 6. Returns 1 and fills `out`, or leaves it untouched for unknown indices.
  virtual int32_t ReadProperty(int32_t ownIndex, PropertyValue& out) = 0;
};

class LibraryUnitType {
 public:
  virtual ~LibraryUnitType() = default;
  virtual uint32_t TypeId() const = 0;  // (library number << 16) + type number
  // Entry 1. Null on failure (bad stored data, window creation failure).
  virtual LibraryUnit* CreateUnit(UnitHost& host, const UnitCreateParams& params) = 0;
};

// Type ids of the stored window definition.
inline constexpr uint32_t kTypeWindow = 0x00010001;
inline constexpr uint32_t kTypeMenuEntry = 0x00010003;
inline constexpr uint32_t kTypeTimer = 0x00010020;
inline constexpr uint32_t kTypeCartoonBox = 0x00020008;
inline constexpr uint32_t kTypeCartoonObject = 0x00020009;

}  // namespace wintrel::runtime
