// The events a stage raises to its host, and the statuses its operations report.
#pragma once
#include <cstdint>

namespace wintrel::stage {

// Event numbers, as the window definition binds them.
inline constexpr int32_t kEventObjectLeftDown = 0;
inline constexpr int32_t kEventObjectRightDown = 1;
inline constexpr int32_t kEventObjectLeftUp = 2;
inline constexpr int32_t kEventObjectRightUp = 3;
inline constexpr int32_t kEventObjectDoubleClick = 4;
inline constexpr int32_t kEventObjectEnter = 5;
inline constexpr int32_t kEventObjectLeave = 6;
inline constexpr int32_t kEventStageMouseMove = 7;
inline constexpr int32_t kEventWillMove = 8;       // id, new x, new y; false refuses the move
inline constexpr int32_t kEventMoved = 9;          // id, new x, new y
inline constexpr int32_t kEventWillDestroy = 10;   // id
inline constexpr int32_t kEventHitObject = 11;     // id, x and y before the step, id hit
inline constexpr int32_t kEventHitEdge = 12;       // id, x and y before the step, edge bits
inline constexpr int32_t kEventLeftStage = 13;     // id
inline constexpr int32_t kEventAutoMoveEnded = 14;    // id
inline constexpr int32_t kEventAutoRotateEnded = 15;  // id
inline constexpr int32_t kEventAnimationDone = 16;    // id
inline constexpr int32_t kEventWatchedKey = 17;       // key code, modifier bits

// Edge bits of kEventHitEdge.
inline constexpr int32_t kEdgeLeft = 1;
inline constexpr int32_t kEdgeTop = 2;
inline constexpr int32_t kEdgeRight = 4;
inline constexpr int32_t kEdgeBottom = 8;

// What is left standing after an event (and so after any operation that raises one).
inline constexpr int32_t kStatusGoOn = 0;        // go on
inline constexpr int32_t kStatusStageGone = 1;   // the stage's window no longer exists: stop
inline constexpr int32_t kStatusSpriteGone = 2;  // the sprite no longer exists: abandon it

// Flags of one step (StepObject).
inline constexpr int32_t kStepLeftStage = 1;
inline constexpr int32_t kStepCrossedEdge = 2;
inline constexpr int32_t kStepHitSprite = 4;

}  // namespace wintrel::stage
