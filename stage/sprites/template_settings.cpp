#include "stage/sprites/template_settings.h"

#include "stage/sprites/stored_data.h"

namespace wintrel::stage {

std::optional<TemplateSettings> ReadTemplateData(std::span<const uint8_t> stored) {
  TemplateSettings s;
  if (stored.empty()) return s;
  ByteReader in(stored);
  uint32_t version = 0;
  if (!in.ReadU32(version) || version > kTemplateDataVersion) return std::nullopt;
  int32_t autoTrans = 0, playGif = 0, rotateFollow = 0, collide = 0;
  uint32_t textColor = 0, transColor = 0, trendColor = 0;
  bool ok = in.ReadU32(textColor) && in.ReadI32(autoTrans) && in.ReadU32(transColor) &&
            in.ReadI32(s.alpha) && in.ReadI32(s.zoom) && in.ReadI32(playGif) &&
            in.ReadI32(s.gifDelay) && in.ReadI32(s.gifAutoDestroy) && in.ReadU32(trendColor) &&
            in.ReadI32(s.trendDepth) && in.ReadI32(s.light) && in.ReadI32(s.layer) &&
            in.ReadI32(s.angle) && in.ReadI32(rotateFollow) && in.ReadI32(s.existTime) &&
            in.ReadI32(collide);
  if (!ok) return std::nullopt;
  s.textColor = textColor;
  s.autoGetTransColor = autoTrans;
  s.transparentColor = transColor;
  s.playGif = playGif;
  s.trendColor = trendColor;
  s.rotateFollow = rotateFollow;
  s.collideAllowed = collide;
  if (version >= 2 && !in.ReadI32(s.type)) return std::nullopt;
  if (version >= 3 && !in.ReadI32(s.turnType)) return std::nullopt;
  std::vector<uint8_t> text;
  ok = in.ReadBlock(text) && in.ReadBlock(s.font) && in.ReadBlock(s.picture) &&
       in.ReadBlock(s.createSound) && in.ReadBlock(s.destroySound) &&
       in.ReadBlock(s.collidedSound);
  if (!ok) return std::nullopt;
  s.text.assign(text.begin(), text.end());
  return s;
}

std::vector<uint8_t> WriteTemplateData(const TemplateSettings& s) {
  ByteWriter out;
  out.WriteU32(kTemplateDataVersion);
  out.WriteU32(s.textColor);
  out.WriteI32(s.autoGetTransColor);
  out.WriteU32(s.transparentColor);
  out.WriteI32(s.alpha);
  out.WriteI32(s.zoom);
  out.WriteI32(s.playGif);
  out.WriteI32(s.gifDelay);
  out.WriteI32(s.gifAutoDestroy);
  out.WriteU32(s.trendColor);
  out.WriteI32(s.trendDepth);
  out.WriteI32(s.light);
  out.WriteI32(s.layer);
  out.WriteI32(s.angle);
  out.WriteI32(s.rotateFollow);
  out.WriteI32(s.existTime);
  out.WriteI32(s.collideAllowed);
  out.WriteI32(s.type);
  out.WriteI32(s.turnType);
  out.WriteBlock(std::span(reinterpret_cast<const uint8_t*>(s.text.data()), s.text.size()));
  out.WriteBlock(s.font);
  out.WriteBlock(s.picture);
  out.WriteBlock(s.createSound);
  out.WriteBlock(s.destroySound);
  out.WriteBlock(s.collidedSound);
  return std::move(out.Bytes());
}

}  // namespace wintrel::stage
