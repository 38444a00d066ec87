// One live sprite of a stage: where it is, what it shows, and its timed behaviour.
// Sprites are stamped out of a template (CartoonObject) by CartoonBox::CreateObject and
// owned by the stage's sprite list. Pictures and byte blocks are held through the
// stage's AssetPool only; the pointers below are references into it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "stage/image/sprite_image.h"

namespace wintrel::stage {

// A positive id naming one live sprite of a stage, handed out 1, 2, 3, ...
using ObjectId = int32_t;

using ByteBlock = std::vector<uint8_t>;

// Automatic straight (or path) motion, started by AutoMove.
struct MotionState {
  int32_t state = 0;            // 0 idle, 1 moving, -1 finished, waiting 200 ms to end
  int32_t interval = 0;         // ms between two steps
  int32_t step = 0;             // pixels per step; runs only while > 0
  int32_t edgeMode = 0;         // 0 ignore edges, 1 end on an edge or leave, other: end on leave
  int32_t stopOnCollision = 0;  // bool
  std::vector<int32_t> path;    // (x, y) pairs in stage coordinates; empty: along the angle
  int32_t pathPosition = 0;     // index of the next point's x in `path`
  int32_t pathRepeats = 0;      // passes still to make; 0 = without end
  int32_t deleteAtEnd = 0;      // bool
  uint32_t lastStep = 0;        // tick of the last step (or of the start)
  int32_t distanceLeft = 0;     // pixels still to travel; 0 = no limit
  uint32_t endTime = 0;         // tick at which the motion ends; 0 = none
  int32_t lastCollisionPartner = 0;
};

// Turning by itself at a fixed interval (only with rotate follow on).
struct RotationState {
  int32_t active = 0;
  int32_t interval = 0;   // ms
  int32_t step = 0;       // degrees per turn
  uint32_t lastTurn = 0;  // tick of the last turn
  int32_t degreesLeft = 0;
  uint32_t endTime = 0;   // 0 = none
};

// What the production paint keeps of a sprite between paints: its current frame laid
// over a plain background of one pixel value, with a margin of that background on every
// side, for sprites that nothing lies under. It says for which prepared image, frame,
// alpha and background it was made, and is dropped whenever the prepared image is.
struct PaintCache {
  static constexpr int32_t kMargin = 4;  // covers a sprite's old place after a small step
  const image::SpriteImage* image = nullptr;
  int32_t frame = -1;
  int32_t alpha = 0;
  uint32_t background = 0;
  int32_t stride = 0;            // the image's width + 2 margins
  // stride x (the image's height + 2 margins), and one row more, so that an output taken
  // from any place in it has stride x height pixels to read
  std::vector<uint32_t> pixels;
};

struct Sprite {
  ObjectId id = 0;
  int32_t type = 0;        // collision type value
  double x = 0.0;          // left edge, stage client pixels
  double y = 0.0;          // top edge
  int32_t visible = 1;     // an invisible sprite is neither drawn, animated nor moved
  uint32_t expiry = 0;     // tick at which the sprite is destroyed; 0 = never
  std::string caption;
  uint32_t captionColor = 0;
  const ByteBlock* captionFont = nullptr;  // pooled 60-byte font block, or none
  int32_t frame = 0;                       // frame shown, from 0
  uint32_t frameStart = 0;                 // tick the current frame began; 0 = not started
  const image::SpriteImage* prepared = nullptr;  // pooled: what is drawn
  const image::SpriteImage* base = nullptr;      // pooled: the template image at creation
  int32_t playFrames = 0;
  int32_t loopsLeft = 0;
  int32_t loopPause = 0;        // ms added to frame 0's delay
  int32_t extraFrameDelay = 0;  // ms added to every frame's delay
  int32_t destroyAfterLoops = 0;
  uint32_t trendColor = 0xFFFFFF;
  int32_t trendDepth = 0;
  int32_t light = 0;
  int32_t alpha = 0;  // percent transparency, 0..100
  int32_t zoomX = 1000;
  int32_t zoomY = 1000;
  int32_t layer = 0;
  int32_t angle = 0;  // degrees clockwise from straight up: heading, and rotation with rotate follow
  int32_t rotateFollow = 0;
  int32_t turnType = 0;
  const ByteBlock* destroySound = nullptr;  // pooled
  int32_t destroySoundLength = 0;
  int32_t collideAllowed = 0;
  const ByteBlock* collidedSound = nullptr;  // pooled
  int32_t collidedSoundLength = 0;
  MotionState motion;
  RotationState rotation;
  std::string tag;
  std::shared_ptr<PaintCache> paintCache;  // production paths only
};

// An image is usable when it exists and has a width, height and frame count above 0.
inline bool Usable(const image::SpriteImage* image) { return image != nullptr && image->Usable(); }

}  // namespace wintrel::stage
