// The settings a sprite template holds, its property numbering, its write rules and
// its stored form in the window definition.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "stage/image/sprite_image.h"

namespace wintrel::stage {

// Own property indices of a template (the runtime's index minus 8).
enum TemplateProperty : int32_t {
  kTplText = 0,
  kTplFont = 1,
  kTplTextColor = 2,
  kTplPicture = 3,
  kTplAutoGetTransColor = 4,
  kTplTransparentColor = 5,
  kTplPlayGif = 6,
  kTplGifDelay = 7,
  kTplGifAutoDestroy = 8,
  kTplTrendColor = 9,
  kTplTrendDepth = 10,
  kTplLight = 11,
  kTplAlpha = 12,
  kTplZoom = 13,
  kTplLayer = 14,
  kTplAngle = 15,
  kTplRotateFollow = 16,
  kTplTurnType = 17,
  kTplExistTime = 18,
  kTplCreateSound = 19,
  kTplDestroySound = 20,
  kTplCollideAllowed = 21,
  kTplCollidedSound = 22,
  kTplType = 23,
  kTplPropertyCount = 24,
};

inline constexpr int32_t kCaptionFontSize = 60;  // a LOGFONT block
inline constexpr uint32_t kTemplateDataVersion = 3;

struct TemplateSettings {
  std::string text;
  std::vector<uint8_t> font;
  uint32_t textColor = 0;
  std::vector<uint8_t> picture;
  int32_t autoGetTransColor = 0;
  uint32_t transparentColor = image::kNoColorKey;
  int32_t playGif = 0;
  int32_t gifDelay = 0;
  int32_t gifAutoDestroy = 0;
  uint32_t trendColor = 0xFFFFFF;
  int32_t trendDepth = 0;
  int32_t light = 0;
  int32_t alpha = 0;
  int32_t zoom = 1000;
  int32_t layer = 0;
  int32_t angle = 0;
  int32_t rotateFollow = 0;
  int32_t turnType = 0;
  int32_t existTime = 0;
  std::vector<uint8_t> createSound;
  std::vector<uint8_t> destroySound;
  int32_t collideAllowed = 0;
  std::vector<uint8_t> collidedSound;
  int32_t type = 0;

  friend bool operator==(const TemplateSettings&, const TemplateSettings&) = default;
};

// The defaults, then the stored block (versions 0 to 3, values as stored, no clamps).
// An empty block gives the defaults. Nothing for a version above 3 or a block that
// ends before a value or a counted block it calls for.
std::optional<TemplateSettings> ReadTemplateData(std::span<const uint8_t> stored);
// The stored form, always version 3.
std::vector<uint8_t> WriteTemplateData(const TemplateSettings& settings);

}  // namespace wintrel::stage
