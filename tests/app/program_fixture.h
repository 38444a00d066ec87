// The snowfall program on a fresh simulated desktop, with the runtime it runs on kept
// for the test (captured when the window has been created).
#pragma once
#include <gtest/gtest.h>

#include "app/handlers.h"
#include "app/ids.h"
#include "app/program.h"
#include "platform/sim/sim_desktop.h"
#include "stage/render/cartoon_box.h"
#include "stage/sprites/cartoon_object.h"

namespace wintrel::app {

inline runtime::Runtime* gRt = nullptr;

inline int32_t CreatedThenCapture(runtime::Runtime& rt, std::span<const int32_t> args) {
  gRt = &rt;
  return OnWindowCreated(rt, args);
}

class ProgramOnSim : public ::testing::Test {
 protected:
  void SetUp() override {
    gRt = nullptr;
    image = WintrelProgram();
    for (auto& b : image.handlers)
      if (b.offset == kOnWindowCreated) b.handler = &CreatedThenCapture;
    desk.SetTimeLimit(120000);
  }

  uint32_t Run() { return runtime::RunProcess(desk, image); }

  stage::CartoonBox* Box() { return stage::AsCartoonBox(gRt->FindLibraryUnit(kWindowId, kStage)); }
  stage::CartoonObject* Template() {
    return stage::AsCartoonObject(gRt->FindLibraryUnit(kWindowId, kFlakeTemplate));
  }
  ws::Hwnd Window() { return gRt->GetWindowHandle(kWindowId, kWindowUnit); }
  void Close() { desk.PostMessage(Window(), ws::WM_CLOSE, 0, 0); }

  sim::SimDesktop desk;
  runtime::ProgramImage image;
};

}  // namespace wintrel::app
