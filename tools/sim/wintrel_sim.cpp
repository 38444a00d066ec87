// wintrel-sim: the snowfall program, its runtime and its stage on the simulated desktop.
// Writes screenshots of the simulated screen and, on request, the stage's event log.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/ids.h"
#include "app/program.h"
#include "platform/sim/sim_desktop.h"

namespace {

const char kUsage[] =
    "usage: wintrel-sim [options]\n"
    "Runs the snowfall on a simulated desktop and ends it with a system close.\n"
    "  --screen WxH          screen size (default 1920x1080)\n"
    "  --work-area X,Y,W,H   work area (default: the screen less a 40-pixel taskbar)\n"
    "  --seconds S           simulated run time before the close (default 10)\n"
    "  --seed N              the start tick; the program seeds its generator from the tick\n"
    "                        count, so this fixes every random draw (default 1000000)\n"
    "  --granularity-us U    timer granularity in microseconds (default 15625)\n"
    "  --shot MS:FILE.png    screenshot at MS simulated milliseconds (repeatable)\n"
    "  --sequence DIR,EVERY,COUNT  COUNT screenshots every EVERY ms into DIR/frame-NNN.png\n"
    "  --event-log FILE      write every stage event: ms window unit event args...\n"
    "  --desktop 0xRRGGBB    a plain desktop colour instead of the default picture\n"
    "  --help                this text\n"
    "Prints the exit code and the number of sprites seen at the end.\n";

bool ParsePair(const char* s, int& a, int& b, char sep) {
  char* end = nullptr;
  a = static_cast<int>(std::strtol(s, &end, 10));
  if (end == nullptr || *end != sep) return false;
  b = static_cast<int>(std::strtol(end + 1, &end, 10));
  return end != nullptr && *end == 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace wintrel;
  sim::SimConfig config;
  uint32_t seconds = 10;
  std::vector<std::pair<uint32_t, std::string>> shots;
  std::string eventLogPath;
  std::optional<uint32_t> desktopColor;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "%s needs a value\n", a.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--screen") {
      int w, h;
      if (!ParsePair(value(), w, h, 'x') || w <= 0 || h <= 0) return std::fputs(kUsage, stderr), 2;
      config.screenWidth = w;
      config.screenHeight = h;
    } else if (a == "--work-area") {
      int x, y, w, h;
      if (std::sscanf(value(), "%d,%d,%d,%d", &x, &y, &w, &h) != 4) return std::fputs(kUsage, stderr), 2;
      config.workArea = ws::Rect{x, y, x + w, y + h};
    } else if (a == "--seconds") {
      seconds = static_cast<uint32_t>(std::strtoul(value(), nullptr, 10));
    } else if (a == "--seed") {
      config.startTick = static_cast<uint32_t>(std::strtoul(value(), nullptr, 0));
    } else if (a == "--granularity-us") {
      config.timerGranularityUs = std::strtoull(value(), nullptr, 10);
    } else if (a == "--shot") {
      const char* v = value();
      const char* colon = std::strchr(v, ':');
      if (colon == nullptr) return std::fputs(kUsage, stderr), 2;
      shots.emplace_back(static_cast<uint32_t>(std::strtoul(v, nullptr, 10)), std::string(colon + 1));
    } else if (a == "--sequence") {
      char dir[4096];
      unsigned every = 0, count = 0;
      if (std::sscanf(value(), "%4095[^,],%u,%u", dir, &every, &count) != 3 || every == 0)
        return std::fputs(kUsage, stderr), 2;
      for (unsigned k = 0; k < count; ++k) {
        char name[4200];
        std::snprintf(name, sizeof name, "%s/frame-%03u.png", dir, k);
        shots.emplace_back(every * (k + 1), name);
      }
    } else if (a == "--event-log") {
      eventLogPath = value();
    } else if (a == "--desktop") {
      desktopColor = static_cast<uint32_t>(std::strtoul(value(), nullptr, 0));
    } else {
      std::fprintf(stderr, "unknown option %s\n%s", a.c_str(), kUsage);
      return 2;
    }
  }

  sim::SimDesktop desk(config);
  if (desktopColor) {
    ws::PixelBlock plain;
    plain.width = 1;
    plain.height = 1;
    plain.pixels = {*desktopColor};
    desk.SetDesktopPicture(plain);
  }
  runtime::ProgramImage program = app::WintrelProgram();
  std::ofstream eventLog;
  if (!eventLogPath.empty()) {
    eventLog.open(eventLogPath);
    if (!eventLog) {
      std::fprintf(stderr, "cannot write %s\n", eventLogPath.c_str());
      return 2;
    }
    program.unitEventObserver = [&](uint32_t win, uint32_t unit, int32_t event,
                                    std::span<const int32_t> args) {
      eventLog << desk.ElapsedMs() << ' ' << std::hex << win << ' ' << unit << std::dec << ' '
               << event;
      for (int32_t v : args) eventLog << ' ' << v;
      eventLog << '\n';
    };
  }
  bool shotsOk = true;
  for (const auto& [when, path] : shots)
    desk.At(when, [&desk, &shotsOk, path = path] {
      if (desk.SaveScreenPng(path))
        std::printf("screenshot %s\n", path.c_str());
      else
        shotsOk = false;
    });
  desk.At(seconds * 1000, [&desk] {
    for (ws::Hwnd h : desk.TopLevelWindows())
      if (auto info = desk.Info(h); info && info->className == "WintrelWindow")
        desk.PostMessage(h, ws::WM_CLOSE, 0, 0);
  });
  desk.SetTimeLimit(seconds * 1000 + 60000);
  const uint32_t code = runtime::RunProcess(desk, program);
  std::printf("exit code %d after %u simulated ms\n", static_cast<int32_t>(code), desk.ElapsedMs());
  if (!shotsOk) {
    std::fprintf(stderr, "a screenshot could not be written\n");
    return 1;
  }
  return desk.StoppedByLimit() ? 1 : static_cast<int>(code);
}
