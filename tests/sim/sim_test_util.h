// Helpers for the simulated desktop's tests: a window procedure that records what reaches
// it and paints its client in one colour, and a way to make such windows.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim_desktop.h"

namespace wintrel::sim::test {

using namespace ws;

struct Got {
  Hwnd hwnd;
  uint32_t message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
  uint32_t tick;
  int16_t ctrl;  // GetKeyState(VK_CONTROL) while it was handled
};

// Records every message; paints with `color` (0x00BBGGRR) on WM_PAINT when set.
struct Recorder {
  SimDesktop* sim = nullptr;
  std::vector<Got> got;
  std::optional<uint32_t> color;
  std::vector<PaintContext> paints;
  // Return a value to answer the message instead of the default handling.
  std::function<std::optional<std::intptr_t>(Hwnd, uint32_t, std::uintptr_t, std::intptr_t)> hook;

  static std::intptr_t Proc(void* context, Hwnd h, uint32_t m, std::uintptr_t w, std::intptr_t l) {
    auto* r = static_cast<Recorder*>(context);
    r->got.push_back({h, m, w, l, r->sim->TickCount(), r->sim->GetKeyState(VK_CONTROL)});
    if (r->hook)
      if (auto v = r->hook(h, m, w, l)) return *v;
    if (m == WM_PAINT) {
      PaintContext pc = r->sim->BeginPaint(h);
      r->paints.push_back(pc);
      if (r->color && !pc.clip.Empty()) r->sim->FillRect(pc, pc.clip, *r->color);
      r->sim->EndPaint(pc);
      return 0;
    }
    return r->sim->DefWindowProc(h, m, w, l);
  }

  std::vector<uint32_t> Messages(Hwnd h = 0) const {
    std::vector<uint32_t> r;
    for (const auto& g : got)
      if (h == 0 || g.hwnd == h) r.push_back(g.message);
    return r;
  }
  // The messages among `wanted`, in the order they arrived.
  std::vector<uint32_t> Only(std::initializer_list<uint32_t> wanted, Hwnd h = 0) const {
    std::vector<uint32_t> r;
    for (const auto& g : got)
      if (h == 0 || g.hwnd == h)
        for (uint32_t w : wanted)
          if (g.message == w) r.push_back(g.message);
    return r;
  }
  size_t Count(uint32_t message, Hwnd h = 0) const {
    size_t n = 0;
    for (const auto& g : got)
      if (g.message == message && (h == 0 || g.hwnd == h)) ++n;
    return n;
  }
};

inline void Register(SimDesktop& sim, const std::string& name = "TestClass", uint32_t style = 0) {
  sim.RegisterClass({name, style, true});
}

inline Hwnd Make(SimDesktop& sim, Recorder& rec, Rect r, uint32_t style = WS_POPUP | WS_VISIBLE,
                 uint32_t exStyle = 0, Hwnd parentOrOwner = 0, const std::string& cls = "TestClass",
                 std::uintptr_t id = 0) {
  rec.sim = &sim;
  CreateDesc d;
  d.className = cls;
  d.style = style;
  d.exStyle = exStyle;
  d.x = r.left;
  d.y = r.top;
  d.width = r.Width();
  d.height = r.Height();
  d.parentOrOwner = parentOrOwner;
  d.menuOrId = id;
  d.proc = &Recorder::Proc;
  d.context = &rec;
  return sim.CreateWindow(d);
}

// 0x00RRGGBB pixel of a 0x00BBGGRR colour.
inline uint32_t Px(uint32_t bgr) {
  return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

}  // namespace wintrel::sim::test
