// The stored window definitions: the block of constant data that describes every window
// of a program, its units (the window itself, its controls and its menu entries), their
// settings and their event bindings. All integers are little-endian 32-bit.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace wintrel::runtime {

// Unit id classes (the id's top four bits).
inline constexpr uint32_t kUnitClassWindow = 0;
inline constexpr uint32_t kUnitClassControl = 1;
inline constexpr uint32_t kUnitClassMenu = 2;
constexpr uint32_t UnitClass(uint32_t unitId) { return unitId >> 28; }

inline constexpr int32_t kNoHandler = -1;

// Unit flags of the common record.
inline constexpr int32_t kUnitVisible = 1;
inline constexpr int32_t kUnitDisabled = 2;
inline constexpr int32_t kUnitTabStop = 4;

// Menu entry flags.
inline constexpr int32_t kMenuHidden = 1;
inline constexpr int32_t kMenuDisabled = 2;
inline constexpr int32_t kMenuChecked = 4;

struct EventBinding {
  int32_t eventNumber = 0;
  int32_t handler = kNoHandler;  // offset of the handler in the program's code
  friend bool operator==(const EventBinding&, const EventBinding&) = default;
};

// The common record of a window or control unit.
struct UnitRecord {
  uint32_t unitType = 0;
  uint32_t sharedEvents = 0;
  std::string name;        // GBK
  std::string secondName;  // GBK
  int32_t left = 0, top = 0, width = 0, height = 0;
  uint32_t parent = 0;
  std::vector<uint32_t> containedUnits;
  std::vector<uint8_t> cursor;
  std::string tag;
  int32_t flags = 0;
  int32_t tabOrder = 0;
  std::vector<EventBinding> events;
  std::vector<uint8_t> unitData;  // the type's own settings
  friend bool operator==(const UnitRecord&, const UnitRecord&) = default;
};

struct MenuRecord {
  uint32_t unitType = 0x00010003;
  std::string name;
  std::string secondName;
  int32_t shortcut = 0;
  int32_t level = 0;
  int32_t flags = 0;
  std::string text;  // GBK
  int32_t handler = kNoHandler;
  friend bool operator==(const MenuRecord&, const MenuRecord&) = default;
};

struct StoredUnit {
  uint32_t id = 0;
  bool isMenu = false;
  UnitRecord unit;  // when !isMenu
  MenuRecord menu;  // when isMenu
  friend bool operator==(const StoredUnit&, const StoredUnit&) = default;
};

struct StoredWindow {
  uint32_t id = 0;
  int32_t header1 = 0;
  int32_t header2 = 0;
  std::string string1;
  std::string string2;
  std::vector<StoredUnit> units;  // the window unit first
  friend bool operator==(const StoredWindow&, const StoredWindow&) = default;
};

struct WindowDefinitions {
  std::vector<StoredWindow> windows;
  friend bool operator==(const WindowDefinitions&, const WindowDefinitions&) = default;
};

// A control or window unit with the default arrow cursor, and a menu entry.
StoredUnit ControlUnit(uint32_t id, uint32_t type, std::string name, int32_t left, int32_t top,
                       int32_t width, int32_t height, int32_t flags,
                       std::vector<EventBinding> events, std::vector<uint8_t> unitData);
StoredUnit MenuUnit(uint32_t id, std::string text, int32_t level, int32_t flags, int32_t handler);

// Reads the whole block; nothing when any part is short, an offset or length runs past
// its block, or a count is impossible. Never reads past the end of `bytes`.
std::optional<WindowDefinitions> ReadWindowDefinitions(std::span<const uint8_t> bytes);
std::vector<uint8_t> WriteWindowDefinitions(const WindowDefinitions& defs);

// The window unit's own settings.
struct WindowSettings {
  int32_t version = 6;
  int32_t borderStyle = 2;
  int32_t pictureLayout = 0;
  uint32_t backgroundColor = 0xFF000000u;
  int32_t maxButton = 1;
  int32_t minButton = 1;
  int32_t controlBox = 1;
  int32_t startState = 0;  // 0 normal, 1 minimised, 2 ... 3 maximised
  int32_t movable = 1;
  int32_t musicRepeat = 0;
  int32_t enterMovesFocus = 0;
  int32_t escCloses = 0;
  int32_t f1OpensHelp = 0;
  int32_t helpContext = 0;
  int32_t showInTaskbar = 1;    // from version 2
  int32_t dragAnywhere = 0;     // from version 3
  int32_t shape = 0;            // from version 3
  int32_t alwaysOnTop = 0;      // from version 4
  int32_t keepTitleActive = 0;  // from version 5
  std::string className;        // from version 6
  std::vector<uint8_t> backgroundPicture;
  std::vector<uint8_t> icon;
  std::vector<uint8_t> backgroundMusic;
  std::string title;
  std::string helpFile;
  friend bool operator==(const WindowSettings&, const WindowSettings&) = default;
};

// Versions 0 to 6 are read; a higher version or a short block gives nothing.
std::optional<WindowSettings> ReadWindowSettings(std::span<const uint8_t> bytes);
std::vector<uint8_t> WriteWindowSettings(const WindowSettings& settings);  // as its version

struct TimerSettings {
  int32_t version = 1;
  int32_t period = 0;
  friend bool operator==(const TimerSettings&, const TimerSettings&) = default;
};
// Empty data keeps the defaults; versions 0 and 1 are read.
std::optional<TimerSettings> ReadTimerSettings(std::span<const uint8_t> bytes);
std::vector<uint8_t> WriteTimerSettings(const TimerSettings& settings);

// Little-endian reading and writing with bounds checks, shared by the stored formats.
class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool ReadU32(uint32_t& out);
  bool ReadI32(int32_t& out);
  bool Skip(std::size_t count);
  bool ReadBytes(std::size_t count, std::vector<uint8_t>& out);
  bool ReadCString(std::string& out);
  // An int32 length then that many bytes; a length below 0 reads as empty.
  bool ReadCounted(std::vector<uint8_t>& out);
  bool ReadCountedString(std::string& out);
  std::size_t Position() const { return pos_; }
  std::size_t Remaining() const { return bytes_.size() - pos_; }
  std::span<const uint8_t> Rest() const { return bytes_.subspan(pos_); }

 private:
  std::span<const uint8_t> bytes_;
  std::size_t pos_ = 0;
};

class ByteWriter {
 public:
  void U32(uint32_t v);
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void Zeros(std::size_t count) { bytes_.insert(bytes_.end(), count, 0); }
  void Bytes(std::span<const uint8_t> b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
  void CString(const std::string& s);
  void Counted(std::span<const uint8_t> b);
  void CountedString(const std::string& s);
  std::vector<uint8_t>& Data() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace wintrel::runtime
