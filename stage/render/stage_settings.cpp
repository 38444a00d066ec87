#include "stage/render/stage_settings.h"

#include "stage/sprites/stored_data.h"

namespace wintrel::stage {

std::optional<StageSettings> ReadStageData(std::span<const uint8_t> stored) {
  StageSettings s;
  if (stored.empty()) return s;
  ByteReader in(stored);
  uint32_t version = 0;
  if (!in.ReadU32(version) || version > kStageDataVersion) return std::nullopt;
  if (!in.ReadI32(s.border) || !in.ReadU32(s.backColor) || !in.ReadI32(s.picDrawMode))
    return std::nullopt;
  if (version >= 2) {
    bool ok = in.ReadI32(s.penStyle) && in.ReadI32(s.drawRop2) && in.ReadI32(s.penWidth) &&
              in.ReadU32(s.penColor) && in.ReadI32(s.brushStyle) && in.ReadU32(s.brushColor) &&
              in.ReadU32(s.textColor) && in.ReadU32(s.textBackColor) &&
              in.ReadBlockLenient(s.font);
    if (!ok) return std::nullopt;
  }
  if (!in.ReadBlockLenient(s.pic)) return std::nullopt;
  return s;
}

std::vector<uint8_t> WriteStageData(const StageSettings& s) {
  ByteWriter out;
  out.WriteU32(kStageDataVersion);
  out.WriteI32(s.border);
  out.WriteU32(s.backColor);
  out.WriteI32(s.picDrawMode);
  out.WriteI32(s.penStyle);
  out.WriteI32(s.drawRop2);
  out.WriteI32(s.penWidth);
  out.WriteU32(s.penColor);
  out.WriteI32(s.brushStyle);
  out.WriteU32(s.brushColor);
  out.WriteU32(s.textColor);
  out.WriteU32(s.textBackColor);
  out.WriteBlock(s.font);
  out.WriteBlock(s.pic);
  return std::move(out.Bytes());
}

}  // namespace wintrel::stage
