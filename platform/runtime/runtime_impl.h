// The runtime's implementation of its commands, its window and timer unit types and
// its side of the library-unit interface.
#pragma once
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/runtime/definition.h"
#include "platform/runtime/runtime.h"

namespace wintrel::runtime {

class RuntimeImpl;
struct LiveWindow;

struct LiveUnit {
  RuntimeImpl* runtime = nullptr;
  LiveWindow* window = nullptr;
  const StoredUnit* stored = nullptr;
  ws::Hwnd hwnd = 0;
  LibraryUnit* library = nullptr;
  int32_t period = 0;  // timer units
  uint32_t commandId = 0;  // menu units
};

struct LiveWindow {
  RuntimeImpl* runtime = nullptr;
  const StoredWindow* stored = nullptr;
  WindowSettings settings;
  ws::Hwnd hwnd = 0;
  bool open = false;
  bool closing = false;  // a deferred destroy request is pending
  ws::Hmenu menuBar = 0;
  std::vector<std::unique_ptr<LiveUnit>> units;  // stored order; [0] is the window itself
  // The notification-area icon.
  ws::Hicon trayIcon = 0;
  bool trayShown = false;
  ws::NotifyIconData trayData;

  LiveUnit* Unit(uint32_t unitId);
};

class RuntimeImpl final : public Runtime, public UnitHost {
 public:
  RuntimeImpl(ws::WindowSystem& windows, const ProgramImage& program);
  ~RuntimeImpl() override;

  // The end of the process after the entry routine has returned; the exit code.
  uint32_t FinishProcess();

  // Runtime
  void StartRuntime() override;
  void AddExitRoutine(ExitRoutine routine) override;
  void LoadStartupWindow(uint32_t windowId) override;
  void RunMessageLoop() override;
  void* Allocate(std::size_t bytes) override;
  void Free(void* block) override;
  void RaiseRuntimeError(int32_t code) override;
  bool Ended() const override { return ended_; }
  int32_t* ArrayElement(ArrayBlock* block, int32_t index) override;
  ws::Hwnd GetWindowHandle(uint32_t windowId, uint32_t unitId) override;
  int32_t BitwiseOr(int32_t a, int32_t b) override { return a | b; }
  std::intptr_t CallExternalRoutine(int32_t number, std::span<const std::intptr_t> args) override;
  PropertyValue ReadUnitProperty(uint32_t windowId, uint32_t unitId, int32_t property) override;
  void WriteUnitProperty(uint32_t windowId, uint32_t unitId, int32_t property,
                         const PropertyValue& value) override;
  void MoveControl(uint32_t windowId, uint32_t unitId, std::optional<int32_t> left,
                   std::optional<int32_t> top, std::optional<int32_t> width,
                   std::optional<int32_t> height) override;
  LibraryUnit* FindLibraryUnit(uint32_t windowId, uint32_t unitId) override;
  void SetRandomSeed(std::optional<uint32_t> seed) override;
  int32_t RandomNumber(int32_t lo, int32_t hi) override;
  int32_t ScreenWidth() override;
  int32_t ScreenHeight() override;
  void SetTrayIcon(uint32_t windowId, std::span<const uint8_t> icon,
                   const ws::GbkText& tooltip) override;
  void PopupTrayMenu(uint32_t windowId, uint32_t menuUnitId) override;
  int32_t ShowMessageBox(const ws::GbkText& text, uint32_t flags, const ws::GbkText& title,
                         std::optional<uint32_t> ownerWindowId) override;
  void RequestDestroy(uint32_t windowId, bool immediately) override;
  ws::WindowSystem& Windows() override { return ws_; }

  // UnitHost
  EventOutcome RaiseUnitEvent(uint32_t windowId, uint32_t unitId, int32_t eventNumber,
                              std::span<const int32_t> args) override;
  void PlaySound(std::span<const uint8_t> bytes) override;
  void UnitGone(uint32_t windowId, uint32_t unitId) override;

  int32_t SuppressionCount() const { return suppression_; }

  // Window procedures.
  static std::intptr_t WindowUnitProc(void* context, ws::Hwnd hwnd, uint32_t message,
                                      std::uintptr_t wParam, std::intptr_t lParam);
  static std::intptr_t OwnerProc(void* context, ws::Hwnd hwnd, uint32_t message,
                                 std::uintptr_t wParam, std::intptr_t lParam);
  static std::intptr_t TimerUnitProc(void* context, ws::Hwnd hwnd, uint32_t message,
                                     std::uintptr_t wParam, std::intptr_t lParam);

 private:
  void Fatal(int32_t code);
  void ExitProcessing();
  void DispatchPending();
  bool PreTranslate(const ws::Message& msg);
  bool BuildWindow(LiveWindow& w);
  bool CreateWindowUnit(LiveWindow& w);
  bool CreateControl(LiveWindow& w, LiveUnit& u);
  void BuildMenuBar(LiveWindow& w);
  ws::Hmenu BuildPopup(LiveWindow& w, std::size_t index);
  void ShowInStartState(LiveWindow& w);
  void FollowWorkArea(LiveWindow& w);
  void SetTimerPeriod(LiveUnit& timer, int32_t period);
  EventOutcome RaiseEvent(LiveWindow& w, const LiveUnit& u, int32_t eventNumber,
                          std::span<const int32_t> args);
  void RaiseMenuSelected(LiveWindow& w, const LiveUnit& menu);
  void RemoveTrayIcon(LiveWindow& w);
  void MoveFocus(LiveWindow& w);
  bool AnyWindowOpen() const;
  LiveWindow* FindWindow(uint32_t windowId);
  LiveUnit* FindUnitOrFail(uint32_t windowId, uint32_t unitId);
  uint32_t BackgroundColor(const LiveWindow& w);
  std::intptr_t HandleWindowMessage(LiveWindow& w, ws::Hwnd hwnd, uint32_t message,
                                    std::uintptr_t wParam, std::intptr_t lParam);

  ws::WindowSystem& ws_;
  const ProgramImage& program_;
  std::optional<WindowDefinitions> defs_;
  std::unordered_map<int32_t, Handler> handlers_;
  std::vector<std::unique_ptr<LiveWindow>> windows_;
  std::vector<ExitRoutine> exitRoutines_;
  std::vector<std::uintptr_t> externals_;  // resolved routines, 0 = not yet
  ws::Hwnd owner_ = 0;
  uint32_t taskbarCreated_ = 0;
  int32_t suppression_ = 0;
  bool loopRunning_ = false;
  bool ended_ = false;
  bool failed_ = false;
  uint32_t quitCode_ = 0;
  uint32_t exitCode_ = 0;
  uint32_t randomState_ = 0;
  uint32_t seedCounter_ = 0;
};

// Shortcut names of menu entries, 1 to 77; empty for others.
std::string ShortcutName(int32_t shortcut);

}  // namespace wintrel::runtime
