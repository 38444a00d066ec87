// A stage and its templates on the simulated desktop, with a host that records what
// the stage tells it and can answer or act from inside an event.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <span>
#include <vector>

#include "platform/runtime/library_unit.h"
#include "platform/sim/sim_desktop.h"
#include "stage/render/cartoon_box.h"
#include "stage/sprites/cartoon_object.h"

namespace wintrel::stage::testing {

using Bytes = std::vector<uint8_t>;

struct RecordedEvent {
  int32_t number = 0;
  std::vector<int32_t> args;
  friend bool operator==(const RecordedEvent&, const RecordedEvent&) = default;
  friend void PrintTo(const RecordedEvent& e, std::ostream* os) {
    *os << "event " << e.number << " (";
    for (size_t i = 0; i < e.args.size(); ++i) *os << (i ? ", " : "") << e.args[i];
    *os << ")";
  }
};

class TestHost final : public runtime::UnitHost {
 public:
  explicit TestHost(sim::SimDesktop& desk) : desk_(desk) {}
  ws::WindowSystem& Windows() override { return desk_; }
  runtime::EventOutcome RaiseUnitEvent(uint32_t windowId, uint32_t unitId, int32_t eventNumber,
                                       std::span<const int32_t> args) override;
  void PlaySound(std::span<const uint8_t> bytes) override { sounds.emplace_back(bytes.begin(), bytes.end()); }
  void UnitGone(uint32_t windowId, uint32_t unitId) override { gone.push_back({windowId, unitId}); }
  runtime::LibraryUnit* FindLibraryUnit(uint32_t, uint32_t) override { return nullptr; }

  // Events of one number, in order.
  std::vector<RecordedEvent> Of(int32_t number) const;
  std::vector<int32_t> Numbers() const;

  std::vector<RecordedEvent> events;
  std::vector<Bytes> sounds;
  std::vector<std::pair<uint32_t, uint32_t>> gone;
  // Runs inside every event; its result answers the event (default: no handler ran).
  std::function<runtime::EventOutcome(int32_t number, std::span<const int32_t> args)> onEvent;

 private:
  sim::SimDesktop& desk_;
};

// --- pictures made on the spot
// Pixels as the stage keeps them (0xTTRRGGBB) into an 8-bit RGBA PNG.
Bytes WritePng(int32_t width, int32_t height, const std::vector<uint32_t>& pixels);
// A GIF of 2-colour frames (indices 0 and 1 into {black, white}), each `delayCs`
// hundredths of a second.
Bytes WriteGif(int32_t width, int32_t height, const std::vector<std::vector<uint8_t>>& frames,
               uint16_t delayCs);
// A 24-bit bottom-up BMP from 0x00RRGGBB colours, rows top-down.
Bytes WriteBmp(int32_t width, int32_t height, const std::vector<uint32_t>& colors);

// --- stored blocks
Bytes StageBlock(uint32_t backColor = 0x00F0F0F0, int32_t picDrawMode = 3, int32_t border = 0,
                 const Bytes& pic = {});
struct TemplateValues {
  uint32_t transparentColor = 0xFF000000u;
  int32_t alpha = 0, zoom = 1000, playGif = 0, gifDelay = 0, gifAutoDestroy = 0;
  int32_t layer = 0, angle = 0, rotateFollow = 0, existTime = 0, collideAllowed = 0, type = 0;
  Bytes picture, createSound, destroySound, collidedSound;
};
Bytes TemplateBlock(const TemplateValues& v);

inline constexpr uint32_t kWindowId = 0x52010001;
inline constexpr uint32_t kStageUnitId = 0x16010003;
inline constexpr uint32_t kTemplateUnitId = 0x16010002;

class StageTest : public ::testing::Test {
 protected:
  StageTest() : StageTest(sim::SimConfig{}) {}
  explicit StageTest(sim::SimConfig config);
  ~StageTest() override;

  // A stage of `width` x `height` at the parent's client origin.
  CartoonBox* MakeStage(int32_t width = 200, int32_t height = 150, const Bytes& stored = StageBlock(),
                        bool designer = false);
  CartoonObject* MakeTemplate(const TemplateValues& values, uint32_t unitId = kTemplateUnitId);
  // A template whose picture is a w x h block of one pixel value (0xTTRRGGBB).
  CartoonObject* SolidTemplate(int32_t w, int32_t h, uint32_t pixel, TemplateValues values = {});

  // Moves the clock without delivering anything.
  void Advance(uint32_t ms) { desk.AdvanceBy(ms); }
  // Paints the stage's pending region now.
  void Paint() { desk.UpdateWindow(stage->Window()); }
  // The stage's client pixels as painted (0x00RRGGBB).
  std::vector<uint32_t> Shown();
  // What a full composition of the stage gives now (0x00RRGGBB).
  std::vector<uint32_t> Reference();

  sim::SimDesktop desk;
  TestHost host{desk};
  ws::Hwnd parent = 0;
  CartoonBox* stage = nullptr;
};

}  // namespace wintrel::stage::testing
