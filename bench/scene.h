// A stage with the program's own snowflake template on a simulated desktop, for the
// benchmarks: the same stored settings and pictures as the program, without its runtime.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>

#include "platform/runtime/library_unit.h"
#include "platform/sim/sim_desktop.h"
#include "stage/render/cartoon_box.h"
#include "stage/sprites/cartoon_object.h"

namespace wintrel::bench {

// The draws of one snowflake, as the spawner makes them.
struct FlakeDraw {
  int32_t picture = 1;  // 1..8
  int32_t zoom = 50;    // 50..80
  int32_t x = 1;        // 1..stage width
  int32_t step = 1;     // 1..3
  int32_t angle = 180;  // 100..260, in the spawner's three bands
};

// A fixed sequence of draws from a seed, with the runtime's generator formula.
class Draws {
 public:
  explicit Draws(uint32_t seed, int32_t width) : state_(seed), width_(width) {}
  FlakeDraw Next();
  int32_t Between(int32_t lo, int32_t hi);

 private:
  uint32_t state_;
  int32_t width_;
};

class Host final : public runtime::UnitHost {
 public:
  explicit Host(sim::SimDesktop& desk) : desk_(desk) {}
  ws::WindowSystem& Windows() override { return desk_; }
  runtime::EventOutcome RaiseUnitEvent(uint32_t, uint32_t, int32_t, std::span<const int32_t>) override {
    ++events;
    return {};
  }
  void PlaySound(std::span<const uint8_t>) override {}
  void UnitGone(uint32_t, uint32_t) override {}
  runtime::LibraryUnit* FindLibraryUnit(uint32_t, uint32_t) override { return nullptr; }
  uint64_t events = 0;

 private:
  sim::SimDesktop& desk_;
};

class Scene {
 public:
  // A stage of width x height; `shown` false keeps its window hidden, so that nothing is
  // marked for repainting.
  Scene(int32_t width, int32_t height, bool shown);
  ~Scene();
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // What the spawner does for one snowflake, up to its angle: picture, zoom, CreateObject
  // at (x, 0), SetObjectAngle. Returns the id.
  stage::ObjectId Spawn(const FlakeDraw& d);
  // A spawn placed at (x, y) and set moving `step` pixels a tick without an end.
  stage::ObjectId SpawnMoving(const FlakeDraw& d, int32_t y);

  sim::SimDesktop desk;
  Host host{desk};
  ws::Hwnd parent = 0;
  stage::CartoonBox* stage = nullptr;
  stage::CartoonObject* flake = nullptr;
};

}  // namespace wintrel::bench
