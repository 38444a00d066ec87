#include "platform/runtime/definition.h"

#include <cstring>

namespace wintrel::runtime {

bool ByteReader::ReadU32(uint32_t& out) {
  if (Remaining() < 4) return false;
  out = static_cast<uint32_t>(bytes_[pos_]) | (static_cast<uint32_t>(bytes_[pos_ + 1]) << 8) |
        (static_cast<uint32_t>(bytes_[pos_ + 2]) << 16) |
        (static_cast<uint32_t>(bytes_[pos_ + 3]) << 24);
  pos_ += 4;
  return true;
}

bool ByteReader::ReadI32(int32_t& out) {
  uint32_t v;
  if (!ReadU32(v)) return false;
  out = static_cast<int32_t>(v);
  return true;
}

bool ByteReader::Skip(std::size_t count) {
  if (Remaining() < count) return false;
  pos_ += count;
  return true;
}

bool ByteReader::ReadBytes(std::size_t count, std::vector<uint8_t>& out) {
  if (Remaining() < count) return false;
  out.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_),
             bytes_.begin() + static_cast<std::ptrdiff_t>(pos_ + count));
  pos_ += count;
  return true;
}

bool ByteReader::ReadCString(std::string& out) {
  if (Remaining() == 0) return false;
  const uint8_t* start = bytes_.data() + pos_;
  const void* end = std::memchr(start, 0, Remaining());
  if (end == nullptr) return false;
  std::size_t len = static_cast<std::size_t>(static_cast<const uint8_t*>(end) - start);
  out.assign(reinterpret_cast<const char*>(start), len);
  pos_ += len + 1;
  return true;
}

bool ByteReader::ReadCounted(std::vector<uint8_t>& out) {
  int32_t len;
  if (!ReadI32(len)) return false;
  if (len <= 0) {
    out.clear();
    return true;
  }
  return ReadBytes(static_cast<std::size_t>(len), out);
}

bool ByteReader::ReadCountedString(std::string& out) {
  std::vector<uint8_t> b;
  if (!ReadCounted(b)) return false;
  out.assign(b.begin(), b.end());
  return true;
}

void ByteWriter::U32(uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void ByteWriter::CString(const std::string& s) {
  bytes_.insert(bytes_.end(), s.begin(), s.end());
  bytes_.push_back(0);
}

void ByteWriter::Counted(std::span<const uint8_t> b) {
  I32(static_cast<int32_t>(b.size()));
  Bytes(b);
}

void ByteWriter::CountedString(const std::string& s) {
  Counted(std::span(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
}

StoredUnit ControlUnit(uint32_t id, uint32_t type, std::string name, int32_t left, int32_t top,
                       int32_t width, int32_t height, int32_t flags,
                       std::vector<EventBinding> events, std::vector<uint8_t> unitData) {
  StoredUnit u;
  u.id = id;
  u.unit.unitType = type;
  u.unit.name = std::move(name);
  u.unit.left = left;
  u.unit.top = top;
  u.unit.width = width;
  u.unit.height = height;
  u.unit.cursor = {0, 0, 0, 0};
  u.unit.flags = flags;
  u.unit.events = std::move(events);
  u.unit.unitData = std::move(unitData);
  return u;
}

StoredUnit MenuUnit(uint32_t id, std::string text, int32_t level, int32_t flags, int32_t handler) {
  StoredUnit u;
  u.id = id;
  u.isMenu = true;
  u.menu.text = std::move(text);
  u.menu.level = level;
  u.menu.flags = flags;
  u.menu.handler = handler;
  return u;
}

namespace {

bool ReadUnitRecord(std::span<const uint8_t> payload, UnitRecord& u) {
  ByteReader r(payload);
  int32_t count;
  if (!r.ReadU32(u.unitType) || !r.ReadU32(u.sharedEvents) || !r.Skip(16) ||
      !r.ReadCString(u.name) || !r.ReadCString(u.secondName) || !r.Skip(4) ||
      !r.ReadI32(u.left) || !r.ReadI32(u.top) || !r.ReadI32(u.width) || !r.ReadI32(u.height) ||
      !r.Skip(4) || !r.ReadU32(u.parent) || !r.ReadI32(count))
    return false;
  if (count < 0 || static_cast<std::size_t>(count) > r.Remaining() / 4) return false;
  u.containedUnits.resize(static_cast<std::size_t>(count));
  for (auto& c : u.containedUnits)
    if (!r.ReadU32(c)) return false;
  if (!r.ReadCounted(u.cursor) || !r.ReadCString(u.tag) || !r.Skip(4) || !r.ReadI32(u.flags) ||
      !r.ReadI32(u.tabOrder) || !r.ReadI32(count))
    return false;
  if (count < 0 || static_cast<std::size_t>(count) > r.Remaining() / 8) return false;
  u.events.resize(static_cast<std::size_t>(count));
  for (auto& e : u.events)
    if (!r.ReadI32(e.eventNumber) || !r.ReadI32(e.handler)) return false;
  if (!r.Skip(20)) return false;
  std::span<const uint8_t> rest = r.Rest();
  u.unitData.assign(rest.begin(), rest.end());
  return true;
}

void WriteUnitRecord(ByteWriter& w, const UnitRecord& u) {
  w.U32(u.unitType);
  w.U32(u.sharedEvents);
  w.Zeros(16);
  w.CString(u.name);
  w.CString(u.secondName);
  w.I32(0);
  w.I32(u.left);
  w.I32(u.top);
  w.I32(u.width);
  w.I32(u.height);
  w.I32(0);
  w.U32(u.parent);
  w.I32(static_cast<int32_t>(u.containedUnits.size()));
  for (uint32_t c : u.containedUnits) w.U32(c);
  w.Counted(u.cursor);
  w.CString(u.tag);
  w.I32(0);
  w.I32(u.flags);
  w.I32(u.tabOrder);
  w.I32(static_cast<int32_t>(u.events.size()));
  for (const auto& e : u.events) {
    w.I32(e.eventNumber);
    w.I32(e.handler);
  }
  w.Zeros(20);
  w.Bytes(u.unitData);
}

bool ReadMenuRecord(std::span<const uint8_t> payload, MenuRecord& m) {
  ByteReader r(payload);
  return r.ReadU32(m.unitType) && r.Skip(20) && r.ReadCString(m.name) &&
         r.ReadCString(m.secondName) && r.ReadI32(m.shortcut) && r.ReadI32(m.level) &&
         r.ReadI32(m.flags) && r.ReadCString(m.text) && r.ReadI32(m.handler) && r.Skip(16);
}

void WriteMenuRecord(ByteWriter& w, const MenuRecord& m) {
  w.U32(m.unitType);
  w.Zeros(20);
  w.CString(m.name);
  w.CString(m.secondName);
  w.I32(m.shortcut);
  w.I32(m.level);
  w.I32(m.flags);
  w.CString(m.text);
  w.I32(m.handler);
  w.Zeros(16);
}

bool ReadUnitTable(std::span<const uint8_t> table, int32_t unitCount, StoredWindow& win) {
  const std::size_t c = static_cast<std::size_t>(unitCount);
  if (c > table.size() / 8) return false;
  ByteReader r(table);
  std::vector<uint32_t> ids(c);
  std::vector<uint32_t> offsets(c);
  for (auto& id : ids)
    if (!r.ReadU32(id)) return false;
  for (auto& off : offsets)
    if (!r.ReadU32(off)) return false;
  std::span<const uint8_t> records = r.Rest();
  win.units.resize(c);
  for (std::size_t k = 0; k < c; ++k) {
    ByteReader rec(records);
    uint32_t length;
    if (!rec.Skip(offsets[k]) || !rec.ReadU32(length) || rec.Remaining() < length) return false;
    std::span<const uint8_t> payload = rec.Rest().first(length);
    StoredUnit& u = win.units[k];
    u.id = ids[k];
    u.isMenu = UnitClass(ids[k]) == kUnitClassMenu;
    if (u.isMenu ? !ReadMenuRecord(payload, u.menu) : !ReadUnitRecord(payload, u.unit)) return false;
  }
  return true;
}

}  // namespace

std::optional<WindowDefinitions> ReadWindowDefinitions(std::span<const uint8_t> bytes) {
  ByteReader r(bytes);
  int32_t listBytes;
  if (!r.ReadI32(listBytes) || listBytes < 0 || listBytes % 8 != 0 ||
      static_cast<std::size_t>(listBytes) > r.Remaining())
    return std::nullopt;
  const std::size_t n = static_cast<std::size_t>(listBytes) / 8;
  WindowDefinitions defs;
  defs.windows.resize(n);
  for (auto& w : defs.windows)
    if (!r.ReadU32(w.id)) return std::nullopt;
  if (!r.Skip(n * 4)) return std::nullopt;  // the runtime's own slots
  for (auto& w : defs.windows) {
    int32_t unitCount, tableBytes;
    std::vector<uint8_t> table;
    if (!r.ReadI32(w.header1) || !r.ReadI32(w.header2) || !r.ReadCountedString(w.string1) ||
        !r.ReadCountedString(w.string2) || !r.ReadI32(unitCount) || unitCount < 0 ||
        !r.ReadI32(tableBytes) || tableBytes < 0 ||
        !r.ReadBytes(static_cast<std::size_t>(tableBytes), table) ||
        !ReadUnitTable(table, unitCount, w))
      return std::nullopt;
  }
  return defs;
}

std::vector<uint8_t> WriteWindowDefinitions(const WindowDefinitions& defs) {
  ByteWriter w;
  w.I32(static_cast<int32_t>(defs.windows.size() * 8));
  for (const auto& win : defs.windows) w.U32(win.id);
  for (std::size_t i = 0; i < defs.windows.size(); ++i) w.I32(0);
  for (const auto& win : defs.windows) {
    w.I32(win.header1);
    w.I32(win.header2);
    w.CountedString(win.string1);
    w.CountedString(win.string2);
    w.I32(static_cast<int32_t>(win.units.size()));
    ByteWriter records;
    std::vector<uint32_t> offsets;
    for (const auto& u : win.units) {
      offsets.push_back(static_cast<uint32_t>(records.Data().size()));
      ByteWriter payload;
      if (u.isMenu)
        WriteMenuRecord(payload, u.menu);
      else
        WriteUnitRecord(payload, u.unit);
      records.Counted(payload.Data());
    }
    ByteWriter table;
    for (const auto& u : win.units) table.U32(u.id);
    for (uint32_t off : offsets) table.U32(off);
    table.Bytes(records.Data());
    w.Counted(table.Data());
  }
  return std::move(w.Data());
}

std::optional<WindowSettings> ReadWindowSettings(std::span<const uint8_t> bytes) {
  WindowSettings s;
  ByteReader r(bytes);
  uint32_t bg;
  if (!r.ReadI32(s.version) || s.version < 0 || s.version > 6) return std::nullopt;
  if (!r.ReadI32(s.borderStyle) || !r.ReadI32(s.pictureLayout) || !r.ReadU32(bg) ||
      !r.ReadI32(s.maxButton) || !r.ReadI32(s.minButton) || !r.ReadI32(s.controlBox) ||
      !r.ReadI32(s.startState) || !r.ReadI32(s.movable) || !r.ReadI32(s.musicRepeat) ||
      !r.ReadI32(s.enterMovesFocus) || !r.ReadI32(s.escCloses) || !r.ReadI32(s.f1OpensHelp) ||
      !r.ReadI32(s.helpContext))
    return std::nullopt;
  s.backgroundColor = bg;
  if (s.version >= 2 && !r.ReadI32(s.showInTaskbar)) return std::nullopt;
  if (s.version >= 3 && (!r.ReadI32(s.dragAnywhere) || !r.ReadI32(s.shape))) return std::nullopt;
  if (s.version >= 4 && !r.ReadI32(s.alwaysOnTop)) return std::nullopt;
  if (s.version >= 5 && !r.ReadI32(s.keepTitleActive)) return std::nullopt;
  if (s.version >= 6 && !r.ReadCountedString(s.className)) return std::nullopt;
  if (!r.ReadCounted(s.backgroundPicture) || !r.ReadCounted(s.icon) ||
      !r.ReadCounted(s.backgroundMusic) || !r.ReadCountedString(s.title) ||
      !r.ReadCountedString(s.helpFile))
    return std::nullopt;
  return s;
}

std::vector<uint8_t> WriteWindowSettings(const WindowSettings& s) {
  ByteWriter w;
  w.I32(s.version);
  for (int32_t v : {s.borderStyle, s.pictureLayout, static_cast<int32_t>(s.backgroundColor),
                    s.maxButton, s.minButton, s.controlBox, s.startState, s.movable,
                    s.musicRepeat, s.enterMovesFocus, s.escCloses, s.f1OpensHelp, s.helpContext})
    w.I32(v);
  if (s.version >= 2) w.I32(s.showInTaskbar);
  if (s.version >= 3) {
    w.I32(s.dragAnywhere);
    w.I32(s.shape);
  }
  if (s.version >= 4) w.I32(s.alwaysOnTop);
  if (s.version >= 5) w.I32(s.keepTitleActive);
  if (s.version >= 6) w.CountedString(s.className);
  w.Counted(s.backgroundPicture);
  w.Counted(s.icon);
  w.Counted(s.backgroundMusic);
  w.CountedString(s.title);
  w.CountedString(s.helpFile);
  return std::move(w.Data());
}

std::optional<TimerSettings> ReadTimerSettings(std::span<const uint8_t> bytes) {
  TimerSettings s;
  if (bytes.empty()) return s;
  ByteReader r(bytes);
  if (!r.ReadI32(s.version) || s.version < 0 || s.version > 1 || !r.ReadI32(s.period))
    return std::nullopt;
  return s;
}

std::vector<uint8_t> WriteTimerSettings(const TimerSettings& s) {
  ByteWriter w;
  w.I32(s.version);
  w.I32(s.period);
  return std::move(w.Data());
}

}  // namespace wintrel::runtime
