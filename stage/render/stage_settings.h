// The stage's stored settings: background, border and the kept drawing settings,
// their property numbering and their stored form in the window definition.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace wintrel::stage {

// Own property indices of a stage (the runtime's index minus 8).
enum StageProperty : int32_t {
  kStageBorder = 0,
  kStageBackColor = 1,
  kStagePic = 2,
  kStagePicDrawMode = 3,
  kStagePenStyle = 4,
  kStageDrawRop2 = 5,
  kStagePenWidth = 6,
  kStagePenColor = 7,
  kStageBrushStyle = 8,
  kStageBrushColor = 9,
  kStageTextColor = 10,
  kStageTextBackColor = 11,
  kStageFont = 12,
};

// BackColor marker: the system's button-face colour.
inline constexpr uint32_t kSystemBackColor = 0xFF000000u;
inline constexpr uint32_t kStageDataVersion = 2;

// Placements of the background picture.
inline constexpr int32_t kPicTopLeft = 0;
inline constexpr int32_t kPicStretch = 1;
inline constexpr int32_t kPicCentre = 2;
inline constexpr int32_t kPicTile = 3;

struct StageSettings {
  int32_t border = 0;
  uint32_t backColor = kSystemBackColor;
  int32_t picDrawMode = kPicTopLeft;
  int32_t penStyle = 1;
  int32_t drawRop2 = 12;
  int32_t penWidth = 0;
  uint32_t penColor = 0x000000;
  int32_t brushStyle = 1;
  uint32_t brushColor = 0xFFFFFF;
  uint32_t textColor = 0x000000;
  uint32_t textBackColor = 0xFF000000u;
  std::vector<uint8_t> font;
  std::vector<uint8_t> pic;

  friend bool operator==(const StageSettings&, const StageSettings&) = default;
};

// The defaults, then the stored block: versions 0 and 1 hold border, BackColor,
// PicDrawMode and pic; version 2 everything. Nothing for a version above 2 or a block
// that ends before a 32-bit value (a block length included) its version calls for; a
// byte block whose length runs past the end takes the bytes that are there.
std::optional<StageSettings> ReadStageData(std::span<const uint8_t> stored);
// The stored form, always version 2 with every field.
std::vector<uint8_t> WriteStageData(const StageSettings& settings);

}  // namespace wintrel::stage
