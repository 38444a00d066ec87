// The stage's literal and production paths, measured side by side:
//   spawn        from a snowflake's picture bytes to its prepared image, one spawn
//   paint        the paints that follow one stage tick, fifty flakes on 1920 x 1040
//   snow_second  the whole program on the simulated desktop at 1920 x 1080: the CPU time
//                of one simulated second, over 60 s after a 10 s warm-up, in a process
//                of its own (its peak resident memory is reported as peak_rss_mb)
// Every benchmark runs once per path; scripts/bench.sh turns the medians into ratios.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <string>

#include "app/ids.h"
#include "app/program.h"
#include "bench/scene.h"
#include "platform/runtime/runtime.h"
#include "platform/sim/sim_desktop.h"
#include "stage/image/render_path.h"

namespace wintrel::bench {
namespace {

using stage::RenderPath;

constexpr uint32_t kSeed = 0x5EED2024;
constexpr size_t kLiveFlakes = 50;

double ThreadCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

double ProcessCpuSeconds() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// One spawn per iteration, the oldest of fifty live flakes destroyed to make room, as in
// the running program. The stage's window is hidden: nothing is marked for repainting.
void Spawn(benchmark::State& state, RenderPath path) {
  const stage::ScopedRenderPath scoped(path);
  Scene scene(1920, 1040, false);
  Draws draws(kSeed, 1920);
  std::deque<stage::ObjectId> live;
  for (auto _ : state) {
    live.push_back(scene.Spawn(draws.Next()));
    if (live.size() > kLiveFlakes) {
      scene.stage->DestroyObject(live.front());
      live.pop_front();
    }
  }
  benchmark::DoNotOptimize(scene.host.events);
}

// Fifty flakes spread over the stage; each iteration makes one stage tick (not timed) and
// then the paints of what it marked (timed, thread CPU time). The clock moves 1 ms a
// tick, so that the tick's own forced repaint comes only once in a hundred. Every hundred
// ticks the flakes are made afresh (and painted, not timed).
void Paint(benchmark::State& state, RenderPath path) {
  const stage::ScopedRenderPath scoped(path);
  Scene scene(1920, 1040, true);
  Draws draws(kSeed, 1920);
  int64_t tick = 0, outputs = 0, pixels = 0;
  for (auto _ : state) {
    if (tick % 100 == 0) {
      scene.stage->ResetStage();
      for (size_t i = 0; i < kLiveFlakes; ++i) scene.SpawnMoving(draws.Next(), draws.Between(0, 1000));
      scene.desk.UpdateWindow(scene.stage->Window());
    }
    ++tick;
    scene.desk.AdvanceBy(1);
    scene.stage->StageTick();
    scene.desk.ClearOutputLog();
    const double t0 = ThreadCpuSeconds();
    scene.desk.UpdateWindow(scene.stage->Window());
    state.SetIterationTime(ThreadCpuSeconds() - t0);
    for (const sim::OutputRecord& out : scene.desk.OutputLog()) {
      ++outputs;
      pixels += int64_t{out.rect.Width()} * out.rect.Height();
    }
  }
  state.counters["outputs_per_paint"] = static_cast<double>(outputs) / static_cast<double>(tick);
  state.counters["pixels_per_paint"] = static_cast<double>(pixels) / static_cast<double>(tick);
}

// The child process of SnowSecond: runs the program and prints the CPU seconds of the
// measured minute.
int RunSnowChild(RenderPath path) {
  stage::SetRenderPath(path);
  sim::SimDesktop desk;  // 1920 x 1080, a 40-pixel taskbar, timers at 15.625 ms
  double start = 0, end = 0;
  // The desktop's record of every output is a test's instrument, not the program's
  // memory: emptied every simulated second, as the soak run does.
  for (uint32_t t = 1000; t < 70000; t += 1000) desk.At(t, [&] { desk.ClearOutputLog(); });
  desk.At(10000, [&] { start = ProcessCpuSeconds(); });
  desk.At(70000, [&] {
    end = ProcessCpuSeconds();
    for (ws::Hwnd h : desk.TopLevelWindows())
      if (auto info = desk.Info(h); info && info->className == "WintrelWindow")
        desk.PostMessage(h, ws::WM_CLOSE, 0, 0);
  });
  desk.SetTimeLimit(130000);
  const uint32_t code = runtime::RunProcess(desk, app::WintrelProgram());
  if (code != 0 || desk.StoppedByLimit() || end <= start) return 1;
  std::printf("%.9f\n", end - start);
  return 0;
}

const char* g_self = nullptr;

void SnowSecond(benchmark::State& state, RenderPath path) {
  const char* name = path == RenderPath::kLiteral ? "literal" : "production";
  double peakMb = 0;
  for (auto _ : state) {
    int fds[2];
    if (pipe(fds) != 0) return state.SkipWithError("pipe");
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(fds[1], STDOUT_FILENO);
      close(fds[0]);
      close(fds[1]);
      execl(g_self, g_self, "--snow-child", name, static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char buffer[64] = {};
    const ssize_t got = read(fds[0], buffer, sizeof buffer - 1);
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (got <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
      return state.SkipWithError("the program's run failed");
    state.SetIterationTime(std::strtod(buffer, nullptr) / 60.0);
    peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  }
  state.counters["peak_rss_mb"] = peakMb;
}

}  // namespace
}  // namespace wintrel::bench

using wintrel::bench::Paint;
using wintrel::bench::SnowSecond;
using wintrel::bench::Spawn;
using wintrel::stage::RenderPath;

BENCHMARK_CAPTURE(Spawn, literal, RenderPath::kLiteral)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Spawn, production, RenderPath::kProduction)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Paint, literal, RenderPath::kLiteral)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Paint, production, RenderPath::kProduction)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(SnowSecond, literal, RenderPath::kLiteral)
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SnowSecond, production, RenderPath::kProduction)
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--snow-child") == 0) {
    return wintrel::bench::RunSnowChild(std::strcmp(argv[2], "literal") == 0 ? RenderPath::kLiteral
                                                                              : RenderPath::kProduction);
  }
  wintrel::bench::g_self = "/proc/self/exe";
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
