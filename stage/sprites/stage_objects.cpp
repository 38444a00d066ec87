// The stage's sprites: creation from a template, lookup, destruction, the prepared
// picture, repaint marking and the events to the host.
#include <algorithm>

#include "stage/image/fast_paths.h"
#include "stage/image/render_path.h"
#include "stage/render/cartoon_box.h"
#include "stage/render/stage_call.h"
#include "stage/sprites/cartoon_object.h"

namespace wintrel::stage {

std::size_t CartoonBox::IndexOf(ObjectId id) const {
  if (id <= 0) return sprites_.size();
  for (std::size_t i = 0; i < sprites_.size(); ++i)
    if (sprites_[i]->id == id) return i;
  return sprites_.size();
}

Sprite* CartoonBox::FindObject(ObjectId id) {
  const std::size_t i = IndexOf(id);
  return i < sprites_.size() ? sprites_[i].get() : nullptr;
}

void CartoonBox::PlaySound(const ByteBlock* sound) {
  if (sound != nullptr && !sound->empty()) host_.PlaySound(*sound);
}

int32_t CartoonBox::RaiseEvent(int32_t event, std::span<const int32_t> args, ObjectId about,
                               bool* answer) {
  StageCall call(*this);
  if (answer != nullptr) *answer = true;
  if (StageGone()) return kStatusStageGone;
  const runtime::EventOutcome outcome = host_.RaiseUnitEvent(windowId_, unitId_, event, args);
  if (answer != nullptr) *answer = outcome.handled ? outcome.result : true;
  if (StageGone()) return kStatusStageGone;
  if (about > 0 && IndexOf(about) == sprites_.size()) return kStatusSpriteGone;
  return kStatusGoOn;
}

void CartoonBox::InvalidateSprite(const Sprite& sprite) {
  if (!sprite.visible || !Usable(sprite.prepared) || hwnd_ == 0) return;
  const ws::Rect r = SpriteRect(sprite);
  host_.Windows().InvalidateRect(hwnd_, &r, true);
}

void CartoonBox::PrepareImage(Sprite& s) {
  pool_.Release(s.prepared);
  s.prepared = nullptr;
  s.paintCache.reset();
  if (!Usable(s.base)) return;
  const bool turn = s.turnType >= 1 && s.turnType <= 3;
  const bool rotate = s.rotateFollow != 0 && s.angle != 0;
  if (!rotate && s.trendDepth <= 0 && s.light == 0 && s.zoomX == 1000 && s.zoomY == 1000 &&
      !turn) {
    // Nothing changes the picture: share the base image itself.
    s.prepared = pool_.AcquireImage(s.base);
    return;
  }
  auto built = std::make_unique<image::SpriteImage>();
  if (!turn && !LiteralPaths()) {
    // The turn and the zoom in one go, at the zoomed size.
    image::RotateScaleImage(*s.base, rotate ? s.angle : 0, s.zoomX, s.zoomY, *built);
    image::TrendImage(*built, s.trendColor, s.trendDepth);
    image::LightImage(*built, s.light);
    s.prepared = pool_.AdoptImage(std::move(built));
    return;
  }
  image::SpriteImage flipped;
  bool haveFlipped = false;
  if (turn) {
    haveFlipped = image::CloneImage(*s.base, flipped);
    if (haveFlipped) image::FlipImage(flipped, s.turnType);
  }
  if (rotate) {
    image::RotateImage(haveFlipped ? flipped : *s.base, s.angle, *built);
  } else if (haveFlipped) {
    *built = std::move(flipped);
  } else {
    image::CloneImage(*s.base, *built);
  }
  // Rotation comes before the zoom.
  image::ScaleImage(*built, s.zoomX, s.zoomY);
  image::TrendImage(*built, s.trendColor, s.trendDepth);
  image::LightImage(*built, s.light);
  s.prepared = pool_.AdoptImage(std::move(built));
}

ObjectId CartoonBox::CreateObject(const CartoonObject* templ, int32_t x, int32_t y, bool visible,
                                  const std::string& tag) {
  StageCall call(*this);
  auto record = std::make_unique<Sprite>();
  Sprite& s = *record;
  s.id = nextId_;
  nextId_ = static_cast<ObjectId>(static_cast<uint32_t>(nextId_) + 1u);
  s.visible = visible ? 1 : 0;
  s.x = x;
  s.y = y;
  if (templ != nullptr) {
    const TemplateSettings& t = templ->Settings();
    s.type = t.type;
    s.caption = t.text;
    s.captionFont = t.font.size() == static_cast<std::size_t>(kCaptionFontSize)
                        ? pool_.AcquireBytes(t.font)
                        : nullptr;
    s.captionColor = t.textColor;
    s.frame = 0;
    s.frameStart = 0;
    s.base = LiteralPaths() ? pool_.AcquireImage(&templ->TemplateImage())
                            : pool_.AcquireShared(templ->SharedTemplateImage());
    s.playFrames = t.playGif;
    s.loopsLeft = t.gifAutoDestroy;
    s.destroyAfterLoops = t.gifAutoDestroy > 0 ? 1 : 0;
    s.extraFrameDelay = 0;
    s.loopPause = t.gifDelay;
    s.trendColor = t.trendColor;
    s.trendDepth = t.trendDepth;
    s.light = t.light;
    s.alpha = t.alpha;
    s.zoomX = t.zoom;
    s.zoomY = t.zoom;
    s.layer = t.layer;
    s.angle = t.angle;
    s.rotateFollow = t.rotateFollow;
    s.turnType = t.turnType;
    s.destroySound = pool_.AcquireBytes(t.destroySound);
    s.destroySoundLength = s.destroySound ? static_cast<int32_t>(s.destroySound->size()) : 0;
    s.collideAllowed = t.collideAllowed;
    s.collidedSound = pool_.AcquireBytes(t.collidedSound);
    s.collidedSoundLength = s.collidedSound ? static_cast<int32_t>(s.collidedSound->size()) : 0;
    s.prepared = nullptr;
    PrepareImage(s);
    s.expiry = t.existTime != 0 ? TickAfter(Now(), t.existTime) : 0;
  }
  s.tag = tag;
  s.motion = MotionState{};
  s.rotation = RotationState{};
  // After every sprite of the same or a lower layer.
  auto at = std::find_if(sprites_.begin(), sprites_.end(),
                         [layer = s.layer](const auto& other) { return other->layer > layer; });
  const ObjectId id = s.id;
  sprites_.insert(at, std::move(record));
  InvalidateSprite(s);
  if (templ != nullptr && !templ->Settings().createSound.empty())
    host_.PlaySound(templ->Settings().createSound);
  return id;
}

void CartoonBox::ReleaseSpriteItems(Sprite& s) {
  pool_.Release(s.prepared);
  pool_.Release(s.base);
  pool_.Release(s.captionFont);
  pool_.Release(s.destroySound);
  pool_.Release(s.collidedSound);
  s.prepared = s.base = nullptr;
  s.paintCache.reset();
  s.captionFont = s.destroySound = s.collidedSound = nullptr;
}

int32_t CartoonBox::DestroyObject(ObjectId id) {
  StageCall call(*this);
  if (IndexOf(id) == sprites_.size()) return kStatusGoOn;
  const int32_t args[] = {id};
  const int32_t status = RaiseEvent(kEventWillDestroy, args, id);
  if (status != kStatusGoOn) return status;
  const std::size_t at = IndexOf(id);  // the handler may have reordered the list
  if (at == sprites_.size()) return kStatusSpriteGone;
  std::unique_ptr<Sprite> gone = std::move(sprites_[at]);
  sprites_.erase(sprites_.begin() + static_cast<std::ptrdiff_t>(at));
  InvalidateSprite(*gone);
  PlaySound(gone->destroySound);
  ReleaseSpriteItems(*gone);
  return kStatusGoOn;
}

void CartoonBox::ResetStage() {
  // Silently: no event, no sound, no repaint.
  sprites_.clear();
  pool_.Clear();
  nextId_ = 1;
}

}  // namespace wintrel::stage
