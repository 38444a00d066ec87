// The tray icon's menu, the About box and Exit.
#include "app/handlers.h"
#include "app/ids.h"

namespace wintrel::app {

namespace {
constexpr int32_t kRightButtonReleased = 3;
constexpr uint32_t kInformationIcon = 64;
}  // namespace

int32_t OnTrayEvent(runtime::Runtime& rt, std::span<const int32_t> args) {
  if (!args.empty() && args[0] == kRightButtonReleased) rt.PopupTrayMenu(kWindowId, kMenuTop);
  return 0;
}

int32_t OnAboutSelected(runtime::Runtime& rt, std::span<const int32_t>) {
  rt.ShowMessageBox(kAboutText, kInformationIcon, kAboutTitle);
  return 0;
}

int32_t OnExitSelected(runtime::Runtime& rt, std::span<const int32_t>) {
  rt.RequestDestroy(kWindowId);
  return 0;
}

}  // namespace wintrel::app
