// A paint whose composed pixel block cannot be allocated: the paint is skipped, the
// program runs on, and the next paint shows everything again. On both of the stage's
// paths (the literal one composes each paint's bounding box in a new block; the
// production one composes into a kept block that grows when a paint needs more).
//
// This test program replaces the global allocation functions (all but the aligned
// ones), as a program may: they take memory from malloc and, while armed, refuse large
// requests, throwing or returning null as each form does.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "app/handlers.h"
#include "app/ids.h"
#include "app/program.h"
#include "platform/sim/sim_desktop.h"
#include "stage/image/render_path.h"
#include "stage/render/cartoon_box.h"

namespace {

constexpr std::size_t kLarge = std::size_t{1} << 20;
std::atomic<int> g_refuseLarge{0};  // the next this many large requests are refused
std::atomic<int> g_refused{0};
std::atomic<std::size_t> g_refusedSize{0};

void* Allocate(std::size_t size) noexcept {
  if (size >= kLarge && g_refuseLarge.load() > 0) {
    g_refuseLarge.fetch_sub(1);
    g_refused.fetch_add(1);
    g_refusedSize.store(size);
    return nullptr;
  }
  return std::malloc(size == 0 ? 1 : size);
}

void* AllocateOrThrow(std::size_t size) {
  void* p = Allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace wintrel::app {
namespace {

runtime::Runtime* gRt = nullptr;
bool gArmOnNextSize = false;

// What the paint that was refused its block did.
struct RefusedPaint {
  bool happened = false;
  int32_t paints = 0;        // paints of the stage it took
  std::size_t outputs = 9;   // output calls to the stage it made
  std::size_t pending = 9;   // rectangles it left pending
};
RefusedPaint gRefused;

int32_t CreatedThenCapture(runtime::Runtime& rt, std::span<const int32_t> args) {
  gRt = &rt;
  return OnWindowCreated(rt, args);
}

// When the stage has followed the window to its new size (its background rebuilt), the
// next large request is refused, and the stage is painted at once: the first paint of
// the larger stage, which needs a block of its whole area.
int32_t SizeChangedThenArm(runtime::Runtime& rt, std::span<const int32_t> args) {
  const int32_t r = OnWindowSizeChanged(rt, args);
  if (gArmOnNextSize) {
    gArmOnNextSize = false;
    auto& desk = static_cast<sim::SimDesktop&>(rt.Windows());
    const ws::Hwnd stage = stage::AsCartoonBox(rt.FindLibraryUnit(kWindowId, kStage))->Window();
    desk.ClearOutputLog();
    const int32_t before = desk.PaintCount(stage);
    g_refuseLarge = 1;
    desk.UpdateWindow(stage);
    g_refuseLarge = 0;
    gRefused.happened = true;
    gRefused.paints = desk.PaintCount(stage) - before;
    gRefused.outputs = desk.OutputLog().size();
    gRefused.pending = desk.PendingUpdate(stage).size();
  }
  return r;
}

class PaintFaults : public ::testing::TestWithParam<stage::RenderPath> {
 protected:
  void SetUp() override {
    gRt = nullptr;
    gArmOnNextSize = false;
    gRefused = {};
    g_refuseLarge = 0;
    g_refused = 0;
    g_refusedSize = 0;
    image = WintrelProgram();
    for (auto& b : image.handlers) {
      if (b.offset == kOnWindowCreated) b.handler = &CreatedThenCapture;
      if (b.offset == kOnWindowSizeChanged) b.handler = &SizeChangedThenArm;
    }
    desk.SetTimeLimit(60000);
  }
  void TearDown() override { g_refuseLarge = 0; }

  stage::CartoonBox* Box() { return stage::AsCartoonBox(gRt->FindLibraryUnit(kWindowId, kStage)); }
  ws::Hwnd Window() { return gRt->GetWindowHandle(kWindowId, kWindowUnit); }

  stage::ScopedRenderPath path{GetParam()};
  sim::SimDesktop desk;
  runtime::ProgramImage image;
};

TEST_P(PaintFaults, PaintWhoseBlockCannotBeAllocatedIsSkippedAndTheNextRecovers) {
  ws::Hwnd stageWindow = 0;
  std::size_t recoveredOutputs = 0, differing = 1, flakePixels = 0;
  ws::Rect recovered;
  desk.At(2000, [&] {
    stageWindow = Box()->Window();
    desk.UpdateWindow(stageWindow);
    gArmOnNextSize = true;
    desk.SetScreenSize(2560, 1440);
  });
  desk.At(2100, [&] {
    // The next paint of the whole stage shows all of it again.
    desk.ClearOutputLog();
    desk.InvalidateRect(stageWindow, nullptr, false);
    desk.UpdateWindow(stageWindow);
    for (const auto& o : desk.OutputLog())
      if (o.hwnd == stageWindow) {
        ++recoveredOutputs;
        recovered = o.rect;
      }
    const ws::Rect client = desk.GetClientRect(stageWindow);
    const stage::ComposedBlock expected = Box()->ComposeRegion(client);
    const ws::PixelBlock shown = desk.ClientPixels(stageWindow);
    ASSERT_TRUE(expected.pixels);
    ASSERT_EQ(shown.pixels.size(), static_cast<std::size_t>(expected.width) * expected.height);
    differing = 0;
    for (std::size_t i = 0; i < shown.pixels.size(); ++i) {
      differing += (shown.pixels[i] & 0x00FFFFFFu) != expected.pixels[i] ? 1 : 0;
      flakePixels += (shown.pixels[i] & 0x00FFFFFFu) != 0x00F0F0F0u ? 1 : 0;
    }
  });
  desk.At(2500, [&] { desk.PressKey(ws::VK_ESCAPE); });
  EXPECT_EQ(runtime::RunProcess(desk, image), 0u);
  ASSERT_TRUE(gRefused.happened);
  EXPECT_EQ(g_refused.load(), 1);
  // A block for the whole new stage (the kept block may ask for more, as vectors grow).
  EXPECT_GE(g_refusedSize.load(), std::size_t{2560} * 1400 * 4);
  EXPECT_EQ(gRefused.paints, 1);   // the paint ran...
  EXPECT_EQ(gRefused.outputs, 0u);  // ...wrote nothing...
  EXPECT_EQ(gRefused.pending, 0u);  // ...and left nothing pending to paint again at once
  EXPECT_EQ(recoveredOutputs, 1u);
  EXPECT_EQ(recovered, (ws::Rect{0, 0, 2560, 1400}));
  EXPECT_EQ(differing, 0u);
  EXPECT_GT(flakePixels, 0u);
  EXPECT_EQ(desk.MessageBoxCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, PaintFaults,
                         ::testing::Values(stage::RenderPath::kLiteral, stage::RenderPath::kProduction),
                         [](const ::testing::TestParamInfo<stage::RenderPath>& info) {
                           return info.param == stage::RenderPath::kLiteral ? "Literal" : "Production";
                         });

}  // namespace
}  // namespace wintrel::app
