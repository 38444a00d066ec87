// The whole program on the simulated desktop, once on the literal paths and once on the
// production paths: the same events, the same snowflakes and the same screen.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/handlers.h"
#include "app/ids.h"
#include "app/program.h"
#include "platform/sim/sim_desktop.h"
#include "stage/image/fast_paths.h"
#include "stage/image/render_path.h"
#include "stage/render/cartoon_box.h"

namespace wintrel::app {
namespace {

runtime::Runtime* gRt = nullptr;

int32_t CreatedThenCapture(runtime::Runtime& rt, std::span<const int32_t> args) {
  gRt = &rt;
  return OnWindowCreated(rt, args);
}

uint64_t Digest(const std::vector<uint32_t>& pixels, int32_t width, int32_t height) {
  image::SpriteImage img;
  img.width = width;
  img.height = height;
  img.frames.push_back(image::ImageFrame{0, 0, pixels});
  return image::ImageDigest(img);
}

// What one run left to compare.
struct Record {
  uint32_t exitCode = 0;
  std::vector<std::string> events;        // ms window unit event args...
  std::vector<uint64_t> windowDigests;    // the stage window's pixels, every 8 ms
  std::vector<uint64_t> screenDigests;    // the whole screen, every 248 ms
  std::vector<std::string> sprites;       // id, place, angle, zoom, picture, every 96 ms
  std::vector<int32_t> slots;             // the ring of ids at the end
};

Record RunOn(stage::RenderPath path, uint32_t seconds) {
  const stage::ScopedRenderPath scoped(path);
  sim::SimConfig config;
  config.startTick = 0x00C0FFEE;  // the seed of every draw
  sim::SimDesktop desk(config);
  runtime::ProgramImage program = WintrelProgram();
  for (auto& b : program.handlers)
    if (b.offset == kOnWindowCreated) b.handler = &CreatedThenCapture;
  Record rec;
  program.unitEventObserver = [&](uint32_t win, uint32_t unit, int32_t event, std::span<const int32_t> args) {
    std::ostringstream line;
    line << desk.ElapsedMs() << ' ' << win << ' ' << unit << ' ' << event;
    for (int32_t v : args) line << ' ' << v;
    rec.events.push_back(line.str());
  };
  gRt = nullptr;
  const uint32_t end = seconds * 1000;
  // Every 8 ms: at least once between two ticks of the stage (15.625 ms apart).
  for (uint32_t t = 8; t < end; t += 8)
    desk.At(t, [&, t] {
      if (gRt == nullptr) return;
      stage::CartoonBox* box = stage::AsCartoonBox(gRt->FindLibraryUnit(kWindowId, kStage));
      if (box == nullptr) return;
      const ws::PixelBlock px = desk.ClientPixels(box->Window());
      rec.windowDigests.push_back(Digest(px.pixels, px.width, px.height));
      if (t % 248 == 0) {
        const ws::PixelBlock screen = desk.CaptureScreen();
        rec.screenDigests.push_back(Digest(screen.pixels, screen.width, screen.height));
      }
      if (t % 96 == 0) {
        for (const auto& s : box->Sprites()) {
          std::ostringstream line;
          line.precision(17);
          line << s->id << ' ' << s->x << ' ' << s->y << ' ' << s->angle << ' ' << s->zoomX << ' '
               << s->expiry;
          if (stage::Usable(s->prepared))
            line << ' ' << s->prepared->width << 'x' << s->prepared->height << ' '
                 << image::ImageDigest(*s->prepared);
          rec.sprites.push_back(line.str());
        }
      }
    });
  desk.At(end, [&] {
    if (FlakeSlots != nullptr) rec.slots.assign(FlakeSlots->Elements(), FlakeSlots->Elements() + 100);
    desk.PostMessage(gRt->GetWindowHandle(kWindowId, kWindowUnit), ws::WM_CLOSE, 0, 0);
  });
  desk.SetTimeLimit(end + 60000);
  rec.exitCode = runtime::RunProcess(desk, program);
  EXPECT_FALSE(desk.StoppedByLimit());
  return rec;
}

template <class T>
void ExpectSameList(const std::vector<T>& a, const std::vector<T>& b, const char* what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(a[i], b[i]) << what << ", entry " << i;
}

TEST(ProgramPaths, RunTheSameOnBothPaths) {
  const Record literal = RunOn(stage::RenderPath::kLiteral, 3);
  const Record production = RunOn(stage::RenderPath::kProduction, 3);
  EXPECT_EQ(literal.exitCode, 0u);
  EXPECT_EQ(production.exitCode, 0u);
  ASSERT_GT(literal.events.size(), 100u) << "a few seconds of snowfall raise many events";
  ASSERT_GT(literal.sprites.size(), 100u);
  ExpectSameList(literal.events, production.events, "the event log");
  ExpectSameList(literal.sprites, production.sprites, "the snowflakes");
  ExpectSameList(literal.slots, production.slots, "the ring of ids");
  ExpectSameList(literal.windowDigests, production.windowDigests, "the stage window's pixels");
  ExpectSameList(literal.screenDigests, production.screenDigests, "the screen");
}

}  // namespace
}  // namespace wintrel::app
