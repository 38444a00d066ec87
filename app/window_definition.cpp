#include "app/window_definition.h"

#include "app/ids.h"
#include "assets/assets.h"
#include "platform/runtime/library_unit.h"

namespace wintrel::app {

using runtime::ByteWriter;
using runtime::EventBinding;

runtime::WindowSettings OverlaySettings() {
  runtime::WindowSettings s;
  s.version = 6;
  s.borderStyle = 0;
  s.pictureLayout = 1;
  s.backgroundColor = 0x00F0F0F0;
  s.maxButton = 0;
  s.minButton = 0;
  s.controlBox = 1;
  s.startState = 3;
  s.movable = 1;
  s.musicRepeat = 0;
  s.enterMovesFocus = 0;
  s.escCloses = 1;
  s.f1OpensHelp = 0;
  s.helpContext = 0;
  s.showInTaskbar = 0;
  s.dragAnywhere = 0;
  s.shape = 0;
  s.alwaysOnTop = 1;
  s.keepTitleActive = 0;
  return s;
}

std::vector<uint8_t> FlakeTemplateBlock() {
  ByteWriter w;
  w.I32(3);  // version
  const int32_t values[] = {
      0,           // TextColor
      0,           // AutoGetTransColor
      0x00F0F0F0,  // TransparentColor
      0,           // alpha
      500,         // zoom
      1,           // PlayGIF
      0,           // GIFDelay
      0,           // GIFAutoDestroy
      0x00FFFFFF,  // TrendColor
      0,           // TrendDepth
      0,           // light
      0,           // layer
      180,         // angle
      1,           // RotateFollow
      0,           // ExistTime
      1,           // CollideAllowed
      0,           // type
      0,           // TurnType
  };
  for (int32_t v : values) w.I32(v);
  w.Counted({});                   // text
  w.Counted({});                   // font
  w.Counted(assets::DesignGif());  // picture
  w.Counted({});                   // CreateSound
  w.Counted({});                   // DestroySound
  w.Counted({});                   // CollidedSound
  return std::move(w.Data());
}

std::vector<uint8_t> StageBlock() {
  ByteWriter w;
  const uint32_t values[] = {
      2,            // version
      0,            // border
      0x00F0F0F0,   // BackColor
      3,            // PicDrawMode
      1,            // PenStyle
      12,           // DrawRop2
      0,            // PenWidth
      0x000000,     // PenColor
      1,            // BrushStyle
      0xFFFFFF,     // BrushColor
      0x000000,     // TextColor
      0xFF000000u,  // TextBackColor
  };
  for (uint32_t v : values) w.U32(v);
  w.Counted({});  // font
  w.Counted({});  // pic
  return std::move(w.Data());
}


runtime::WindowDefinitions WintrelDefinitions() {
  runtime::StoredWindow win;
  win.id = kWindowId;
  win.header1 = 11;
  win.header2 = 0x19010005;
  win.units.push_back(runtime::ControlUnit(kWindowUnit, runtime::kTypeWindow, "", 50, 50, 279, 217,
                              runtime::kUnitVisible,
                              {{0, kOnWindowCreated}, {4, kOnWindowSizeChanged}, {9, kOnTrayEvent}},
                              runtime::WriteWindowSettings(OverlaySettings())));
  win.units.push_back(runtime::MenuUnit(kMenuTop, kTextMenu, 0, runtime::kMenuHidden, runtime::kNoHandler));
  win.units.push_back(runtime::MenuUnit(kMenuAbout, kTextAbout, 1, 0, kOnAboutSelected));
  win.units.push_back(runtime::MenuUnit(kMenuExit, kTextExit, 1, 0, kOnExitSelected));
  win.units.push_back(runtime::ControlUnit(kSpawnTimer, runtime::kTypeTimer, kTimerName, 168, 144, 56, 48, 0,
                              {{0, kOnSpawnTimer}}, {}));
  win.units.push_back(runtime::ControlUnit(kFlakeTemplate, runtime::kTypeCartoonObject, kTemplateName, 224, 144,
                              48, 48, 0, {}, FlakeTemplateBlock()));
  win.units.push_back(runtime::ControlUnit(kStage, runtime::kTypeCartoonBox, kStageName, 0, 0, 280, 216,
                              runtime::kUnitVisible | runtime::kUnitTabStop, {}, StageBlock()));
  runtime::WindowDefinitions defs;
  defs.windows.push_back(std::move(win));
  return defs;
}

std::span<const uint8_t> WintrelDefinitionBytes() {
  static const std::vector<uint8_t> bytes = runtime::WriteWindowDefinitions(WintrelDefinitions());
  return bytes;
}

}  // namespace wintrel::app
