// The stage's timed behaviour: the tick over the sprite list (expiry, frames, turning,
// motion), single steps with their edge and collision tests, and the calls that start
// and shape motion.
#include <cmath>
#include <cstdlib>

#include "stage/render/cartoon_box.h"
#include "stage/render/stage_call.h"

namespace wintrel::stage {
namespace {

// Degrees to radians with the factor 3.1415926535 / 180: the flakes' paths depend on it.
constexpr double kDegreesToRadians = 3.1415926535 / 180;
static_assert(kDegreesToRadians == 0.017453292519444445);

int32_t NormalizeAngle(int32_t degrees) {
  int32_t a = degrees % 360;
  return a < 0 ? a + 360 : a;
}

bool OpaquePixel(uint32_t px, const image::ImageFrame& frame) {
  if ((px >> 24) == 255u) return false;
  if (frame.colorKey != image::kNoColorKey && px == image::KeyToPixel(frame.colorKey)) return false;
  return true;
}

// Whether the part `area` (stage coordinates) of the sprite holds an opaque pixel.
bool AnyOpaque(const Sprite& s, const ws::Rect& area) {
  const image::ImageFrame* frame = CurrentFrame(s);
  if (frame == nullptr) return false;
  const ws::Rect r = Intersect(SpriteRect(s), area);
  if (r.Empty()) return false;
  const int32_t w = s.prepared->width;
  for (int32_t y = r.top; y < r.bottom; ++y) {
    const uint32_t* row = frame->pixels.data() + static_cast<std::size_t>(y - SpriteRect(s).top) * w;
    for (int32_t x = r.left; x < r.right; ++x)
      if (OpaquePixel(row[x - SpriteRect(s).left], *frame)) return true;
  }
  return false;
}

// Whether two sprites have an opaque pixel at the same place.
bool PixelsOverlap(const Sprite& a, const Sprite& b) {
  const image::ImageFrame* fa = CurrentFrame(a);
  const image::ImageFrame* fb = CurrentFrame(b);
  if (fa == nullptr || fb == nullptr) return false;
  const ws::Rect ra = SpriteRect(a), rb = SpriteRect(b);
  const ws::Rect r = Intersect(ra, rb);
  for (int32_t y = r.top; y < r.bottom; ++y) {
    const uint32_t* rowA = fa->pixels.data() + static_cast<std::size_t>(y - ra.top) * a.prepared->width;
    const uint32_t* rowB = fb->pixels.data() + static_cast<std::size_t>(y - rb.top) * b.prepared->width;
    for (int32_t x = r.left; x < r.right; ++x)
      if (OpaquePixel(rowA[x - ra.left], *fa) && OpaquePixel(rowB[x - rb.left], *fb)) return true;
  }
  return false;
}

}  // namespace

void CartoonBox::AutoMove(ObjectId id, int32_t step, int32_t interval, int32_t distance,
                          int32_t duration, bool stopOnCollision, int32_t edgeMode,
                          bool deleteAtEnd, std::span<const int32_t> path, int32_t repeats) {
  StageCall call(*this);
  if (step <= 0) return;
  Sprite* s = FindObject(id);
  if (s == nullptr || !Usable(s->prepared)) return;
  const uint32_t now = Now();
  MotionState& m = s->motion;
  m = MotionState{};
  m.interval = interval;
  m.state = 1;
  m.step = step;
  m.edgeMode = edgeMode;
  m.stopOnCollision = stopOnCollision ? 1 : 0;
  m.deleteAtEnd = deleteAtEnd ? 1 : 0;
  m.lastStep = now;
  m.distanceLeft = distance;
  m.endTime = duration > 0 ? TickAfter(now, duration) : 0;
  m.lastCollisionPartner = 0;
  m.pathPosition = 0;
  m.pathRepeats = repeats;
  if (!path.empty()) ReadPath(*s, path);
}

int32_t CartoonBox::TurnSprite(Sprite& s, int32_t newAngle) {
  // Keep the centre, by integer halves of the old and the new size.
  const double cx = s.x + s.prepared->width / 2;
  const double cy = s.y + s.prepared->height / 2;
  s.angle = newAngle;
  InvalidateSprite(s);
  PrepareImage(s);
  if (Usable(s.prepared)) {
    const int32_t status =
        MoveObjectTo(s, cx - s.prepared->width / 2, cy - s.prepared->height / 2);
    if (status != kStatusGoOn) return status;
  }
  InvalidateSprite(s);
  return kStatusGoOn;
}

int32_t CartoonBox::SetObjectAngle(ObjectId id, int32_t degrees) {
  StageCall call(*this);
  Sprite* s = FindObject(id);
  if (s == nullptr) return kStatusGoOn;
  const int32_t a = NormalizeAngle(degrees);
  if (a == s->angle) return kStatusGoOn;
  if (!s->rotateFollow || !Usable(s->prepared)) {
    s->angle = a;  // the heading changes all the same
    return kStatusGoOn;
  }
  return TurnSprite(*s, a);
}

void CartoonBox::SetObjectLifetime(ObjectId id, int32_t ms) {
  StageCall call(*this);
  Sprite* s = FindObject(id);
  if (s == nullptr) return;
  s->expiry = ms == 0 ? 0 : TickAfter(Now(), ms);
}

void CartoonBox::AutoRotate(ObjectId id, int32_t step, int32_t interval, int32_t degrees,
                            int32_t duration) {
  StageCall call(*this);
  Sprite* s = FindObject(id);
  if (s == nullptr || step == 0) return;
  const uint32_t now = Now();
  s->rotation = RotationState{};
  s->rotation.active = 1;
  s->rotation.interval = interval;
  s->rotation.step = step;
  s->rotation.lastTurn = now;
  s->rotation.degreesLeft = degrees;
  s->rotation.endTime = duration > 0 ? TickAfter(now, duration) : 0;
}

int32_t CartoonBox::MoveObjectTo(Sprite& s, double nx, double ny) {
  StageCall call(*this);
  const int32_t tx = TruncToInt(nx), ty = TruncToInt(ny);
  if (tx == TruncToInt(s.x) && ty == TruncToInt(s.y)) {
    s.x = nx;
    s.y = ny;
    return kStatusGoOn;
  }
  const ObjectId id = s.id;
  const int32_t args[] = {id, tx, ty};
  bool allowed = true;
  int32_t status = RaiseEvent(kEventWillMove, args, id, &allowed);
  if (status != kStatusGoOn) return status;
  if (!allowed) return kStatusGoOn;
  InvalidateSprite(s);
  s.x = nx;
  s.y = ny;
  InvalidateSprite(s);
  return RaiseEvent(kEventMoved, args, id);
}

int32_t CartoonBox::CheckAfterStep(Sprite& s, int32_t ox, int32_t oy, int32_t& flags) {
  if (!Usable(s.prepared)) return kStatusGoOn;
  const ObjectId id = s.id;
  const ws::Rect client = hwnd_ != 0 ? host_.Windows().GetClientRect(hwnd_) : ws::Rect{};
  const ws::Rect r = SpriteRect(s);
  const ws::Rect overlap = Intersect(r, client);
  const bool wholly = r.left >= client.left && r.top >= client.top && r.right <= client.right &&
                      r.bottom <= client.bottom && !client.Empty();
  const bool inside = wholly || (!overlap.Empty() && AnyOpaque(s, overlap));
  int32_t status = kStatusGoOn;
  if (!inside) {
    flags |= kStepLeftStage;
    const int32_t args[] = {id};
    status = RaiseEvent(kEventLeftStage, args, id);
    if (status != kStatusGoOn) return status;
  }
  if (!Usable(s.prepared)) return kStatusGoOn;
  if (inside) {
    const ws::Rect now = SpriteRect(s);
    const int32_t rowTop = std::max(now.top, client.top), rowBottom = std::min(now.bottom, client.bottom);
    const int32_t colLeft = std::max(now.left, client.left), colRight = std::min(now.right, client.right);
    int32_t bits = 0;
    if (now.left < client.left &&
        AnyOpaque(s, ws::Rect{now.left, rowTop, std::min(client.left, now.right), rowBottom}))
      bits |= kEdgeLeft;
    if (now.top < client.top &&
        AnyOpaque(s, ws::Rect{colLeft, now.top, colRight, std::min(client.top, now.bottom)}))
      bits |= kEdgeTop;
    if (now.right > client.right &&
        AnyOpaque(s, ws::Rect{std::max(client.right, now.left), rowTop, now.right, rowBottom}))
      bits |= kEdgeRight;
    if (now.bottom > client.bottom &&
        AnyOpaque(s, ws::Rect{colLeft, std::max(client.bottom, now.top), colRight, now.bottom}))
      bits |= kEdgeBottom;
    if (bits != 0) {
      flags |= kStepCrossedEdge;
      const int32_t args[] = {id, ox, oy, bits};
      status = RaiseEvent(kEventHitEdge, args, id);
      if (status != kStatusGoOn) return status;
    }
  }
  if (s.collideAllowed && Usable(s.prepared)) {
    // From the top of the list down, within this sprite's layer.
    for (std::size_t j = sprites_.size(); j-- > 0;) {
      const Sprite& other = *sprites_[j];
      if (other.layer < s.layer) break;
      if (&other == &s || !other.collideAllowed || other.layer != s.layer || other.type == s.type)
        continue;
      if (!PixelsOverlap(s, other)) continue;
      flags |= kStepHitSprite;
      const ObjectId otherId = other.id;
      if (otherId == s.motion.lastCollisionPartner) return kStatusGoOn;
      s.motion.lastCollisionPartner = otherId;
      PlaySound(s.collidedSound);
      const int32_t args[] = {id, ox, oy, otherId};
      return RaiseEvent(kEventHitObject, args, id);
    }
  }
  s.motion.lastCollisionPartner = 0;
  return kStatusGoOn;
}

int32_t CartoonBox::StepObject(Sprite& s, int32_t step, int32_t& flags) {
  StageCall call(*this);
  flags = 0;
  const double theta = NormalizeAngle(s.angle) * kDegreesToRadians;
  const double nx = s.x + step * std::sin(theta);
  const double ny = s.y - step * std::cos(theta);
  const int32_t ox = TruncToInt(s.x), oy = TruncToInt(s.y);
  const int32_t status = MoveObjectTo(s, nx, ny);
  if (status != kStatusGoOn) return status;
  if (TruncToInt(s.x) == ox && TruncToInt(s.y) == oy) return kStatusGoOn;
  return CheckAfterStep(s, ox, oy, flags);
}

int32_t CartoonBox::EndAutoMove(ObjectId id) {
  StageCall call(*this);
  Sprite* s = FindObject(id);
  if (s == nullptr || s->motion.state == 0) return kStatusGoOn;
  const bool deleteAtEnd = s->motion.deleteAtEnd != 0;
  s->motion = MotionState{};
  const int32_t args[] = {id};
  const int32_t status = RaiseEvent(kEventAutoMoveEnded, args, id);
  if (status != kStatusGoOn) return status;
  if (deleteAtEnd) {
    return DestroyObject(id) == kStatusStageGone ? kStatusStageGone : kStatusSpriteGone;
  }
  return kStatusGoOn;
}

void CartoonBox::StageTick() {
  StageCall call(*this);
  uint32_t now = Now();
  std::size_t i = 0;
  while (i < sprites_.size()) {
    now = Now();
    Sprite* s = sprites_[i].get();
    const ObjectId id = s->id;
    const int32_t idArgs[] = {id};

    // Expiry, visible or not, moving or not.
    if (s->expiry != 0 && TickReached(now, s->expiry)) {
      if (DestroyObject(id) == kStatusStageGone) return;
      continue;  // the next sprite has moved into this position
    }
    if (!s->visible || !Usable(s->prepared)) {
      ++i;
      continue;
    }

    // Frame animation.
    const int32_t frames = s->prepared->FrameCount();
    if (s->playFrames && frames > 1) {
      if (s->frameStart == 0) s->frameStart = now;
      if (s->frame < 0 || s->frame >= frames) s->frame = 0;
      int64_t due = int64_t{s->prepared->frames[static_cast<std::size_t>(s->frame)].delay} +
                    s->extraFrameDelay + (s->frame == 0 ? s->loopPause : 0);
      if (Elapsed(now, s->frameStart) >= due) {
        if (++s->frame >= frames) {
          s->frame = 0;
          if (s->loopsLeft > 0 && --s->loopsLeft == 0) {
            s->playFrames = 0;
            const int32_t status = RaiseEvent(kEventAnimationDone, idArgs, id);
            if (status == kStatusStageGone) return;
            if (status == kStatusSpriteGone) continue;
            if (s->destroyAfterLoops) {
              if (DestroyObject(id) == kStatusStageGone) return;
              continue;
            }
          }
        }
        s->frameStart = now;
        InvalidateSprite(*s);
      }
    }

    // Turning by itself.
    RotationState& rot = s->rotation;
    if (rot.active && s->rotateFollow && rot.step != 0) {
      int32_t status = kStatusGoOn;
      bool stop = rot.endTime != 0 && TickReached(now, rot.endTime);
      if (!stop && Elapsed(now, rot.lastTurn) >= rot.interval && Usable(s->prepared)) {
        status = TurnSprite(*s, NormalizeAngle(static_cast<int32_t>(
                                    (int64_t{s->angle} + rot.step) % 360)));
        if (status == kStatusGoOn) {
          rot.lastTurn = now;
          if (rot.degreesLeft > 0) {
            rot.degreesLeft -= std::abs(rot.step);
            stop = rot.degreesLeft <= 0;
          }
        }
      }
      if (status == kStatusGoOn && stop) {
        rot = RotationState{};
        status = RaiseEvent(kEventAutoRotateEnded, idArgs, id);
      }
      if (status == kStatusStageGone) return;
      if (status == kStatusSpriteGone) continue;
    }

    // Motion.
    MotionState& m = s->motion;
    if (m.state != 0 && m.step > 0) {
      const bool waited = m.state < 0 && Elapsed(now, m.lastStep) >= kMotionEndWait;
      const bool timeUp = m.endTime != 0 && TickReached(now, m.endTime);
      if (waited || timeUp) {
        const int32_t status = EndAutoMove(id);
        if (status == kStatusStageGone) return;
        if (status == kStatusSpriteGone) continue;
      } else if (m.state > 0 && Elapsed(now, m.lastStep) >= m.interval) {
        int32_t flags = 0;
        const bool onPath = !m.path.empty();
        int32_t status = onPath ? PathStep(*s, m.step, flags) : StepObject(*s, m.step, flags);
        if (status == kStatusStageGone) return;
        if (status == kStatusSpriteGone) continue;
        bool end = false;
        if (onPath && static_cast<std::size_t>(m.pathPosition) >= m.path.size()) {
          m.pathPosition = 0;
          if (m.pathRepeats == 1 || m.pathRepeats < 0) {
            m.path.clear();
            end = true;
          } else if (m.pathRepeats > 1) {
            --m.pathRepeats;
          }
        }
        end = end || (m.edgeMode == 1 && (flags & kStepCrossedEdge)) ||
              (m.edgeMode != 0 && (flags & kStepLeftStage)) ||
              (m.stopOnCollision && (flags & kStepHitSprite)) ||
              ((flags & kStepLeftStage) && m.endTime == 0 && m.distanceLeft == 0 && m.path.empty());
        if (end) {
          status = EndAutoMove(id);
          if (status == kStatusStageGone) return;
          if (status == kStatusSpriteGone) continue;
        } else {
          m.lastStep = now;
          if (m.distanceLeft > 0) {
            m.distanceLeft -= m.step;
            if (m.distanceLeft <= 0) m.state = -1;  // ends 200 ms after this last step
          }
        }
      }
    }
    ++i;
  }
  FlushRepaint(now);
}

}  // namespace wintrel::stage
