// wintrel-soak: the snowfall program on the simulated desktop for hours of simulated
// time, from 60 seconds before the 32-bit tick counter wraps, checked every simulated
// minute and at every creation and destruction of a flake.
//
// Checked:
//   - at most 60 live sprites;
//   - no live sprite older than its ten-second lifetime plus one stage tick, and every
//     one with an expiry exactly ten seconds after its creation;
//   - no more pool entries than the live sprites' distinct pictures;
//   - ids strictly increasing, in creation order and along the sprite list;
//   - no flake destroyed early: one destroyed without having ended its fall is at least
//     ten seconds old, one that ended its fall has had the time a fall takes; none is
//     destroyed later than its lifetime plus one tick;
//   - memory in use back to its level after the warm-up: every later minute within the
//     band of the warm-up minutes plus a small allowance.
// Writes one line a minute (CSV) to --report and a summary to the output; exits 1 when
// any check failed.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/handlers.h"
#include "app/ids.h"
#include "app/program.h"
#include "platform/sim/sim_desktop.h"
#include "stage/render/cartoon_box.h"

namespace {

using namespace wintrel;

constexpr uint32_t kStartTick = 0xFFFFFFFFu - 59999u;  // the counter wraps 60 s in
constexpr int32_t kLifetime = 10000;
// One stage tick: the 5 ms timer fires at the timer granularity, 15.625 ms.
constexpr int32_t kOneTick = 16;
// The shortest fall: the screen height at 3 pixels a tick, less a little.
constexpr int32_t kShortestFall = 1080 / 3 * 15;
constexpr std::size_t kMaxLive = 60;
constexpr int32_t kEventWillDestroy = 10;
constexpr int32_t kEventAutoMoveEnded = 14;

struct Soak {
  sim::SimDesktop* desk = nullptr;
  runtime::Runtime* rt = nullptr;
  std::unordered_map<int32_t, uint32_t> created;  // live ids: their creation tick
  std::unordered_set<int32_t> fallEnded;          // live ids whose fall has ended
  int32_t lastId = 0;
  uint64_t creations = 0, byExpiry = 0, byFall = 0;
  int32_t youngestByExpiry = INT32_MAX, oldestByExpiry = 0;
  int32_t youngestByFall = INT32_MAX, oldestByFall = 0;
  uint64_t destroyedAroundWrap = 0;  // within 20 s after the wrap
  std::vector<std::string> failures;

  void Fail(const std::string& what) {
    if (failures.size() < 50) failures.push_back(what);
    std::fprintf(stderr, "FAIL at %u ms: %s\n", desk->ElapsedMs(), what.c_str());
  }
  stage::CartoonBox* Box() const {
    return rt ? stage::AsCartoonBox(rt->FindLibraryUnit(app::kWindowId, app::kStage)) : nullptr;
  }
};
Soak g;

int32_t Since(uint32_t now, uint32_t then) { return static_cast<int32_t>(now - then); }

int32_t OnCreated(runtime::Runtime& rt, std::span<const int32_t> args) {
  g.rt = &rt;
  return app::OnWindowCreated(rt, args);
}

int32_t OnSpawn(runtime::Runtime& rt, std::span<const int32_t> args) {
  const int32_t r = app::OnSpawnTimer(rt, args);
  stage::CartoonBox* box = g.Box();
  if (box == nullptr) return r;
  const int32_t id = box->NextId() - 1;
  if (id <= g.lastId) g.Fail("id " + std::to_string(id) + " after " + std::to_string(g.lastId));
  g.lastId = id;
  const uint32_t now = rt.Windows().TickCount();
  g.created[id] = now;
  ++g.creations;
  const stage::Sprite* s = box->FindObject(id);
  if (s == nullptr)
    g.Fail("flake " + std::to_string(id) + " gone at its creation");
  else if (Since(s->expiry, now) != kLifetime)
    g.Fail("flake " + std::to_string(id) + " expires " + std::to_string(Since(s->expiry, now)) + " ms after creation");
  return r;
}

void OnEvent(uint32_t, uint32_t unit, int32_t event, std::span<const int32_t> args) {
  if (unit != app::kStage || args.empty()) return;
  const int32_t id = args[0];
  if (event == kEventAutoMoveEnded) {
    g.fallEnded.insert(id);
    return;
  }
  if (event != kEventWillDestroy) return;
  const uint32_t now = g.desk->TickCount();
  auto it = g.created.find(id);
  if (it == g.created.end()) {
    g.Fail("flake " + std::to_string(id) + " destroyed but never seen created");
    return;
  }
  const int32_t age = Since(now, it->second);
  const bool fell = g.fallEnded.erase(id) > 0;
  if (fell) {
    ++g.byFall;
    g.youngestByFall = std::min(g.youngestByFall, age);
    g.oldestByFall = std::max(g.oldestByFall, age);
    if (age < kShortestFall) g.Fail("flake " + std::to_string(id) + " ended its fall after " + std::to_string(age) + " ms");
  } else {
    ++g.byExpiry;
    g.youngestByExpiry = std::min(g.youngestByExpiry, age);
    g.oldestByExpiry = std::max(g.oldestByExpiry, age);
    if (age < kLifetime) g.Fail("flake " + std::to_string(id) + " destroyed early, at " + std::to_string(age) + " ms");
  }
  if (age > kLifetime + kOneTick) g.Fail("flake " + std::to_string(id) + " destroyed late, at " + std::to_string(age) + " ms");
  const uint32_t sinceWrap = now;  // the counter has wrapped once it is small again
  if (sinceWrap < 20000u) ++g.destroyedAroundWrap;
  g.created.erase(it);
}

struct Memory {
  uint64_t heap = 0;  // bytes handed out by malloc, mapped blocks included
  uint64_t rss = 0;
};

Memory MeasureMemory() {
  Memory m;
  const struct mallinfo2 mi = mallinfo2();
  m.heap = mi.uordblks + mi.hblkhd;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    unsigned long size = 0, resident = 0;
    if (std::fscanf(f, "%lu %lu", &size, &resident) == 2) m.rss = uint64_t{resident} * sysconf(_SC_PAGESIZE);
    std::fclose(f);
  }
  return m;
}

struct Minute {
  uint32_t minute = 0;
  uint32_t tick = 0;
  std::size_t live = 0;
  int32_t oldest = 0;
  std::size_t poolEntries = 0, distinctPictures = 0;
  Memory memory;
  int32_t nextId = 0;
};

const char kUsage[] =
    "usage: wintrel-soak [--minutes M | --hours H] [--warmup M] [--report FILE.csv]\n"
    "Runs the snowfall on a 1920x1080 simulated desktop from 60 s before the tick counter\n"
    "wraps, for M simulated minutes (default 60), checking it every minute.\n";

}  // namespace

int main(int argc, char** argv) {
  uint32_t minutes = 60, warmup = 10;
  std::string reportPath;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (a == "--minutes" && v) {
      minutes = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
      ++i;
    } else if (a == "--hours" && v) {
      minutes = static_cast<uint32_t>(std::strtod(v, nullptr) * 60);
      ++i;
    } else if (a == "--warmup" && v) {
      warmup = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
      ++i;
    } else if (a == "--report" && v) {
      reportPath = v;
      ++i;
    } else {
      std::fputs(kUsage, a == "--help" ? stdout : stderr);
      return a == "--help" ? 0 : 2;
    }
  }
  if (minutes == 0 || warmup >= minutes) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  sim::SimConfig config;
  config.screenWidth = 1920;
  config.screenHeight = 1080;
  config.startTick = kStartTick;
  sim::SimDesktop desk(config);
  g.desk = &desk;
  runtime::ProgramImage program = app::WintrelProgram();
  for (auto& b : program.handlers) {
    if (b.offset == app::kOnWindowCreated) b.handler = &OnCreated;
    if (b.offset == app::kOnSpawnTimer) b.handler = &OnSpawn;
  }
  program.unitEventObserver = &OnEvent;

  std::vector<Minute> log;
  std::ofstream report;
  if (!reportPath.empty()) {
    report.open(reportPath);
    if (!report) {
      std::fprintf(stderr, "cannot write %s\n", reportPath.c_str());
      return 2;
    }
    report << "minute,tick,live,oldest_ms,pool_entries,distinct_pictures,heap_bytes,rss_bytes,next_id\n";
  }
  const auto wallStart = std::chrono::steady_clock::now();

  // The simulated desktop keeps a record of every output call for the tests to read. It
  // belongs to the desktop, not to the program, and would grow with every paint: it is
  // emptied every simulated second.
  std::function<void()> clearOutputLog = [&] {
    desk.ClearOutputLog();
    desk.After(1000, clearOutputLog);
  };
  desk.After(1000, clearOutputLog);

  for (uint32_t m = 1; m <= minutes; ++m) {
    desk.At(m * 60000, [&, m] {
      stage::CartoonBox* box = g.Box();
      if (box == nullptr) return g.Fail("no stage at minute " + std::to_string(m));
      Minute row;
      row.minute = m;
      row.tick = desk.TickCount();
      row.live = box->Sprites().size();
      row.nextId = box->NextId();
      std::set<const void*> pictures;
      int32_t previous = 0;
      for (const auto& s : box->Sprites()) {
        if (s->id <= previous) g.Fail("sprite list out of id order at minute " + std::to_string(m));
        previous = s->id;
        if (s->base) pictures.insert(s->base);
        if (s->prepared) pictures.insert(s->prepared);
        auto it = g.created.find(s->id);
        if (it == g.created.end()) {
          g.Fail("live sprite " + std::to_string(s->id) + " never seen created");
          continue;
        }
        const int32_t age = Since(row.tick, it->second);
        row.oldest = std::max(row.oldest, age);
        if (age > kLifetime + kOneTick) g.Fail("sprite " + std::to_string(s->id) + " is " + std::to_string(age) + " ms old");
      }
      if (g.created.size() != row.live)
        g.Fail(std::to_string(g.created.size()) + " flakes created and not destroyed, " + std::to_string(row.live) + " live");
      row.poolEntries = box->Pool().Entries().size();
      row.distinctPictures = pictures.size();
      if (row.live > kMaxLive) g.Fail(std::to_string(row.live) + " live sprites");
      if (row.poolEntries > row.distinctPictures)
        g.Fail(std::to_string(row.poolEntries) + " pool entries for " + std::to_string(row.distinctPictures) + " pictures");
      row.memory = MeasureMemory();
      log.push_back(row);
      if (report)
        report << row.minute << ',' << row.tick << ',' << row.live << ',' << row.oldest << ',' << row.poolEntries
               << ',' << row.distinctPictures << ',' << row.memory.heap << ',' << row.memory.rss << ','
               << row.nextId << '\n'
               << std::flush;
      if (m % 60 == 0) {
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        std::printf("hour %u: %zu live, heap %.1f MiB, rss %.1f MiB, %.0f s wall\n", m / 60, row.live,
                    row.memory.heap / 1048576.0, row.memory.rss / 1048576.0, wall);
        std::fflush(stdout);
      }
    });
  }
  desk.At(minutes * 60000 + 100, [&] {
    for (ws::Hwnd h : desk.TopLevelWindows())
      if (auto info = desk.Info(h); info && info->className == "WintrelWindow") desk.PostMessage(h, ws::WM_CLOSE, 0, 0);
  });
  desk.SetTimeLimit(minutes * 60000 + 60000);
  const uint32_t code = runtime::RunProcess(desk, program);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  if (code != 0) g.Fail("exit code " + std::to_string(static_cast<int32_t>(code)));
  if (desk.StoppedByLimit()) g.Fail("stopped by the time limit");
  if (log.size() != minutes) g.Fail(std::to_string(log.size()) + " of " + std::to_string(minutes) + " minutes checked");

  // Memory: the warm-up minutes (after the first two, while the first flakes land) give
  // the level; every later minute stays within it, allowing a little for the heap's
  // own bookkeeping.
  constexpr uint64_t kAllowance = 1u << 20;
  uint64_t levelLow = UINT64_MAX, levelHigh = 0, laterHigh = 0, laterLow = UINT64_MAX, rssHigh = 0;
  uint32_t worstMinute = 0;
  for (const Minute& row : log) {
    rssHigh = std::max(rssHigh, row.memory.rss);
    if (row.minute > 2 && row.minute <= warmup) {
      levelLow = std::min(levelLow, row.memory.heap);
      levelHigh = std::max(levelHigh, row.memory.heap);
    } else if (row.minute > warmup) {
      if (row.memory.heap > laterHigh) {
        laterHigh = row.memory.heap;
        worstMinute = row.minute;
      }
      laterLow = std::min(laterLow, row.memory.heap);
    }
  }
  if (laterHigh > levelHigh + kAllowance)
    g.Fail("heap " + std::to_string(laterHigh) + " at minute " + std::to_string(worstMinute) +
           " above the warm-up level " + std::to_string(levelHigh));

  std::size_t maxLive = 0, minLive = SIZE_MAX, maxPool = 0;
  int32_t oldest = 0;
  for (const Minute& row : log) {
    maxLive = std::max(maxLive, row.live);
    minLive = std::min(minLive, row.live);
    maxPool = std::max(maxPool, row.poolEntries);
    oldest = std::max(oldest, row.oldest);
  }
  std::printf("simulated: %u minutes from tick 0x%08X (the counter wrapped at 60 s), %.0f s wall (%.0fx)\n",
              minutes, kStartTick, wall, minutes * 60.0 / wall);
  std::printf("flakes: %" PRIu64 " created, %" PRIu64 " destroyed at their lifetime, %" PRIu64
              " at the end of their fall, %" PRIu64 " destroyed in the 20 s after the wrap; last id %d\n",
              g.creations, g.byExpiry, g.byFall, g.destroyedAroundWrap, g.lastId);
  std::printf("ages at destruction: lifetime %d..%d ms, fall %d..%d ms\n", g.youngestByExpiry,
              g.oldestByExpiry, g.youngestByFall, g.oldestByFall);
  std::printf("each minute: live sprites %zu..%zu, oldest %d ms, pool entries at most %zu\n", minLive, maxLive,
              oldest, maxPool);
  std::printf("heap in use: warm-up (minutes 3..%u) %.2f..%.2f MiB, later %.2f..%.2f MiB (highest at minute %u); "
              "rss at most %.1f MiB\n",
              warmup, levelLow / 1048576.0, levelHigh / 1048576.0, laterLow / 1048576.0, laterHigh / 1048576.0,
              worstMinute, rssHigh / 1048576.0);
  std::printf("exit code %d; %zu checks failed\n", static_cast<int32_t>(code), g.failures.size());
  return g.failures.empty() ? 0 : 1;
}
