// The bodies of the fuzz targets: one function per reader of outside bytes. Each feeds
// the bytes to the reader and checks what every answer must satisfy (a failure is an
// empty value, a success is well formed and reads back the same); a broken rule ends
// the process with a message, as a crash would, so that the fuzzer keeps the input.
//
// Plain C++ without the fuzzer's runtime: the fuzz targets call these, and so does the
// normal test suite when it replays the kept corpora and the inputs of past findings.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace wintrel::fuzz {

using Bytes = std::span<const uint8_t>;

// Pictures through DecodePicture, each with the bytes steered to one path: a PNG
// signature or a GIF header is put in front when the bytes lack one; the other path gets
// the bytes as they are (and skips those that would take the PNG or GIF path). Decoded
// pictures go on through the sprite transforms.
void DecodePicturePng(Bytes data);
void DecodePictureGif(Bytes data);
void DecodePictureOther(Bytes data);

// The stored window definitions, and the own settings block of every unit in them.
void WindowDefinitions(Bytes data);
// A window's or a timer's settings block: the first byte chooses which.
void WindowAndTimerSettings(Bytes data);
// A template's stored data.
void TemplateData(Bytes data);
// A stage's stored data.
void StageData(Bytes data);
// A stage's stored data as the stage unit takes it: a window with that stage is loaded
// and run for a moment on a small simulated desktop.
void StageUnit(Bytes data);
// Window definitions as the program's runtime loads them: the program on a small
// simulated desktop with the definitions given, run for a moment, then closed.
void ProgramDefinitions(Bytes data);
// An ICO file as the tray icon takes it: the image choice, then the icon made from it
// by the simulated desktop.
void IcoFile(Bytes data);
// The Win32 back end's checks of the blocks it hands to the system: the first byte
// chooses the check.
void Win32Formats(Bytes data);

// Every target by name, for the scripts, the seed writer and the replaying tests.
struct Target {
  std::string_view name;
  void (*run)(Bytes data);
};
std::span<const Target> Targets();

}  // namespace wintrel::fuzz
