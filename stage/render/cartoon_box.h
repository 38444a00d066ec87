// The animation stage unit type (type id 0x00020008): a child window that owns a list
// of sprites stamped out of templates, moves them on its own 5 ms timer and draws them
// over its background with per-pixel transparency.
//
// Everything runs on the window's thread. Event handlers run inside the stage's calls
// (RaiseEvent) and may create or destroy sprites, or destroy the stage itself; every
// operation that raises an event reports what is left standing (kStatus*). When the
// stage's window goes while a stage call is on the stack, the stage object stays alive
// until the outermost such call has returned, and then deletes itself.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/runtime/library_unit.h"
#include "stage/sprites/asset_pool.h"
#include "stage/sprites/sprite.h"
#include "stage/sprites/stage_events.h"
#include "stage/render/stage_settings.h"

namespace wintrel::stage {

class CartoonObject;

// The stage's background: exactly the client size, 32-bit top-down pixels.
struct BackgroundBuffer {
  ws::Hsurface surface = 0;
  uint32_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
};

// A block of composed pixels for one paint.
struct ComposedBlock {
  std::unique_ptr<uint32_t[]> pixels;
  int32_t width = 0;
  int32_t height = 0;
};

inline constexpr std::uintptr_t kStageTimerId = 1;
inline constexpr uint32_t kStageTimerPeriod = 5;          // ms
inline constexpr int32_t kMotionEndWait = 200;            // ms after the last step
inline constexpr int32_t kForcedRepaintInterval = 100;    // ms between forced repaints
inline constexpr const char* kCartoonBoxClassName = "WintrelCartoonBox";

class CartoonBox final : public runtime::LibraryUnit {
 public:
  ~CartoonBox() override;

  // --- the unit's entries
  uint32_t TypeId() const override { return runtime::kTypeCartoonBox; }
  ws::Hwnd Window() const override { return hwnd_; }
  bool IsPropertyAvailable(int32_t ownIndex) override;
  int32_t PropertyChanged(int32_t ownIndex, const runtime::PropertyValue& value) override;
  std::optional<std::vector<uint8_t>> SaveUnitData() override;
  int32_t ReadProperty(int32_t ownIndex, runtime::PropertyValue& out) override;

  // --- sprites
  // A new sprite from a snapshot of `templ` (which may be null) at (x, y). Never fails.
  ObjectId CreateObject(const CartoonObject* templ, int32_t x, int32_t y, bool visible = true,
                        const std::string& tag = {});
  // The first sprite with that id in list order; ids of 0 or less are never found.
  Sprite* FindObject(ObjectId id);
  // Raises kEventWillDestroy, then removes the sprite. 0 for an unknown id.
  int32_t DestroyObject(ObjectId id);
  // Discards every sprite and the pool silently; ids start again at 1.
  void ResetStage();
  // (Re)builds the sprite's prepared image from its base image and settings, releasing
  // the old one.
  void PrepareImage(Sprite& sprite);
  // Marks the sprite's current rectangle for repainting.
  void InvalidateSprite(const Sprite& sprite);
  // Delivers one event to the host. `about` is the sprite the event concerns (0: none);
  // `answer`, if given, receives the handler's boolean result (true without a handler).
  int32_t RaiseEvent(int32_t event, std::span<const int32_t> args, ObjectId about,
                     bool* answer = nullptr);

  // --- motion and timing
  void AutoMove(ObjectId id, int32_t step, int32_t interval, int32_t distance = 0,
                int32_t duration = 0, bool stopOnCollision = false, int32_t edgeMode = 0,
                bool deleteAtEnd = false, std::span<const int32_t> path = {},
                int32_t repeats = 1);
  // Sets the heading (and, with rotate follow, the picture's turn about its centre).
  int32_t SetObjectAngle(ObjectId id, int32_t degrees);
  // 0 clears the expiry; any other value destroys the sprite `ms` from now.
  void SetObjectLifetime(ObjectId id, int32_t ms);
  // Turns the sprite by `step` degrees every `interval` ms, for `degrees` in all (0: no
  // limit) or until `duration` ms have passed (0: none). Needs rotate follow.
  void AutoRotate(ObjectId id, int32_t step, int32_t interval, int32_t degrees = 0,
                  int32_t duration = 0);
  // The timer's work: expiry, frames, turning and motion of every sprite.
  void StageTick();
  // One step along the angle with its edge and collision tests; `flags` gets kStep*.
  int32_t StepObject(Sprite& sprite, int32_t step, int32_t& flags);
  // Moves the sprite, raising kEventWillMove (which may refuse) and kEventMoved.
  int32_t MoveObjectTo(Sprite& sprite, double nx, double ny);
  // Ends the sprite's motion, raising kEventAutoMoveEnded; deletes it if asked.
  int32_t EndAutoMove(ObjectId id);

  // --- rendering
  void EnsureBackgroundSize();
  void RebuildBackground();
  // The background and the sprites composed for `r` (client coordinates); nothing for
  // an empty rectangle or when the block cannot be allocated.
  ComposedBlock ComposeRegion(const ws::Rect& r);
  void PaintStage();
  // The end of a tick: a synchronous repaint when the last forced one (across all
  // stages) is more than 100 ms old.
  void FlushRepaint(uint32_t now);

  // --- read access
  const std::vector<std::unique_ptr<Sprite>>& Sprites() const { return sprites_; }
  const AssetPool& Pool() const { return pool_; }
  const StageSettings& Settings() const { return settings_; }
  const BackgroundBuffer& Background() const { return background_; }
  bool TimerRunning() const { return timerRunning_; }
  ObjectId NextId() const { return nextId_; }
  uint32_t WindowId() const { return windowId_; }
  uint32_t UnitId() const { return unitId_; }

 private:
  friend class CartoonBoxType;
  friend class StageCall;
  CartoonBox(runtime::UnitHost& host, const runtime::UnitCreateParams& params,
             StageSettings settings);
  bool CreateOwnWindow(const runtime::UnitCreateParams& params);
  void ApplyBorderStyle();
  void ReleaseBackground();
  // The background of `r` into `out` (r's width x height), the buffer being at the client
  // size already. `production` lets a plain buffer be filled rather than copied; then the
  // result is true and `hole` is left unfilled.
  bool ComposeBackground(const ws::Rect& r, uint32_t* out, bool production, const ws::Rect& hole);
  // The production paint: the pieces of the region composed and sent one by one.
  void PaintPieces(const ws::PaintContext& paint, const ws::Rect& r);
  // True when the background buffer lies under all of `r`.
  bool Covered(const ws::Rect& r) const;
  // Finds out, once per rebuild of the buffer, whether it holds one value throughout.
  void FindPlainBackground();
  bool PlainUnder(const ws::Rect& r) const { return flatBackground_.has_value() && Covered(r); }
  // The cached pixel at client (x, y) of a sprite whose rectangle is `spriteRect`.
  static const uint32_t* CacheAt(const PaintCache& cache, const ws::Rect& spriteRect, int32_t x,
                                 int32_t y);
  // The sprite's current frame blended over a plain `background`, kept with the sprite.
  const PaintCache& OverPlainBackground(Sprite& sprite, const image::ImageFrame& frame,
                                        uint32_t background);
  uint32_t BackgroundColor();
  uint32_t Now();
  void PlaySound(const ByteBlock* sound);
  void ReleaseSpriteItems(Sprite& sprite);
  std::size_t IndexOf(ObjectId id) const;  // sprites_.size() when absent
  bool StageGone() const { return windowGone_; }
  int32_t TurnSprite(Sprite& sprite, int32_t newAngle);
  void ReadPath(Sprite& sprite, std::span<const int32_t> path);
  int32_t PathStep(Sprite& sprite, int32_t step, int32_t& flags);
  int32_t CheckAfterStep(Sprite& sprite, int32_t ox, int32_t oy, int32_t& flags);
  void Leave();  // the end of a stage call: deletes the stage when it is due
  std::intptr_t HandleMessage(ws::Hwnd hwnd, uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam);
  static std::intptr_t WindowProc(void* context, ws::Hwnd hwnd, uint32_t message,
                                  std::uintptr_t wParam, std::intptr_t lParam);

  runtime::UnitHost& host_;
  uint32_t windowId_;
  uint32_t unitId_;
  bool designer_;
  ws::Hwnd hwnd_ = 0;
  bool live_ = false;        // CreateUnit has handed the unit to the runtime
  bool windowGone_ = false;  // the window has been destroyed
  bool deletePending_ = false;
  int32_t callDepth_ = 0;    // stage calls on the stack
  bool timerRunning_ = false;
  StageSettings settings_;
  BackgroundBuffer background_;
  std::vector<std::unique_ptr<Sprite>> sprites_;
  AssetPool pool_;
  ObjectId nextId_ = 1;
  std::vector<uint32_t> scratch_;  // the production paint's composed pixels, reused
  // The production paint's lists, kept between paints rather than allocated afresh by each.
  struct DrawnSprite {
    ws::Rect rect;
    Sprite* sprite;
    const image::ImageFrame* frame;
    bool alone;  // no sprite drawn before it covers any of its pixels
  };
  std::vector<DrawnSprite> drawn_;       // in list order
  std::vector<uint32_t> bandStart_;      // drawn sprites by bands of rows: band b's are
  std::vector<uint32_t> bandSprites_;    // bandSprites_[bandStart_[b] .. bandStart_[b + 1])
  std::vector<uint32_t> inPiece_;
  // The production paint's knowledge of the background buffer: whether every pixel of it
  // holds one value (a plain fill), found out once per rebuild.
  bool flatChecked_ = false;
  std::optional<uint32_t> flatBackground_;
};

class CartoonBoxType final : public runtime::LibraryUnitType {
 public:
  uint32_t TypeId() const override { return runtime::kTypeCartoonBox; }
  // Null when the stored settings are rejected or the window cannot be made.
  runtime::LibraryUnit* CreateUnit(runtime::UnitHost& host,
                                   const runtime::UnitCreateParams& params) override;
};

// The process's stage type, for the program's list of library unit types.
CartoonBoxType& CartoonBoxUnitType();

// The unit as a stage, or null when it is none (or null).
CartoonBox* AsCartoonBox(runtime::LibraryUnit* unit);

// The process-wide time of the last forced repaint, shared by all stages; none before
// the first. ResetForcedRepaintTick returns it to the state of a fresh process.
std::optional<uint32_t> ForcedRepaintTick();
void ResetForcedRepaintTick();
// Puts back a value ForcedRepaintTick gave, for tools and tests that run stages of
// several simulated processes side by side, each with its own.
void RestoreForcedRepaintTick(std::optional<uint32_t> tick);

}  // namespace wintrel::stage
