// The stage unit: creation from its stored settings, its window and its messages, its
// properties, and its end.
#include "stage/render/cartoon_box.h"

#include <algorithm>

#include "stage/render/stage_call.h"

namespace wintrel::stage {

CartoonBox::CartoonBox(runtime::UnitHost& host, const runtime::UnitCreateParams& params,
                       StageSettings settings)
    : host_(host),
      windowId_(params.windowId),
      unitId_(params.unitId),
      designer_(params.designer),
      settings_(std::move(settings)) {
  ResetStage();
}

CartoonBox::~CartoonBox() {
  ResetStage();
  ReleaseBackground();
}

void CartoonBox::Leave() {
  if (--callDepth_ == 0 && deletePending_) delete this;
}

uint32_t CartoonBox::Now() { return host_.Windows().TickCount(); }

bool CartoonBox::CreateOwnWindow(const runtime::UnitCreateParams& params) {
  ws::WindowSystem& windows = host_.Windows();
  ws::ClassDesc cls;
  cls.name = kCartoonBoxClassName;
  cls.style = ws::CS_DBLCLKS | ws::CS_HREDRAW | ws::CS_VREDRAW;
  cls.nullBrush = true;
  if (!windows.RegisterClass(cls)) return false;
  ws::CreateDesc desc;
  desc.exStyle = 0;
  desc.className = kCartoonBoxClassName;
  desc.style = params.style | ws::WS_CHILD | ws::WS_CLIPSIBLINGS;
  desc.x = params.left;
  desc.y = params.top;
  desc.width = params.width;
  desc.height = params.height;
  desc.parentOrOwner = params.parent;
  desc.menuOrId = static_cast<std::uintptr_t>(static_cast<uint32_t>(params.controlId));
  desc.proc = &CartoonBox::WindowProc;
  desc.context = this;
  hwnd_ = windows.CreateWindow(desc);
  return hwnd_ != 0 && !windowGone_;
}

void CartoonBox::ApplyBorderStyle() {
  if (hwnd_ == 0) return;
  ws::WindowSystem& windows = host_.Windows();
  uint32_t ex = static_cast<uint32_t>(windows.GetWindowLong(hwnd_, ws::GWL_EXSTYLE));
  uint32_t style = static_cast<uint32_t>(windows.GetWindowLong(hwnd_, ws::GWL_STYLE));
  ex &= ~(ws::WS_EX_CLIENTEDGE | ws::WS_EX_DLGMODALFRAME | ws::WS_EX_STATICEDGE);
  style &= ~ws::WS_BORDER;
  switch (settings_.border) {
    case 1: ex |= ws::WS_EX_CLIENTEDGE; break;
    case 2: ex |= ws::WS_EX_DLGMODALFRAME; break;
    case 3: ex |= ws::WS_EX_STATICEDGE; break;
    case 4: ex |= ws::WS_EX_CLIENTEDGE | ws::WS_EX_DLGMODALFRAME; break;
    case 5: style |= ws::WS_BORDER; break;
    default: break;
  }
  windows.SetWindowLong(hwnd_, ws::GWL_STYLE, static_cast<int32_t>(style));
  windows.SetWindowLong(hwnd_, ws::GWL_EXSTYLE, static_cast<int32_t>(ex));
  windows.SetWindowPos(hwnd_, ws::HWND_TOP, 0, 0, 0, 0,
                       ws::SWP_NOMOVE | ws::SWP_NOSIZE | ws::SWP_NOZORDER | ws::SWP_NOACTIVATE |
                           ws::SWP_FRAMECHANGED);
}

std::intptr_t CartoonBox::WindowProc(void* context, ws::Hwnd hwnd, uint32_t message,
                                     std::uintptr_t wParam, std::intptr_t lParam) {
  return static_cast<CartoonBox*>(context)->HandleMessage(hwnd, message, wParam, lParam);
}

std::intptr_t CartoonBox::HandleMessage(ws::Hwnd hwnd, uint32_t message, std::uintptr_t wParam,
                                        std::intptr_t lParam) {
  StageCall call(*this);
  ws::WindowSystem& windows = host_.Windows();
  if (hwnd_ == 0 && !windowGone_) hwnd_ = hwnd;  // messages sent during creation
  switch (message) {
    case ws::WM_PAINT:
      PaintStage();
      return 0;
    case ws::WM_TIMER: {
      std::intptr_t r = windows.DefWindowProc(hwnd, message, wParam, lParam);
      if (live_ && !windowGone_) StageTick();
      return r;
    }
    case ws::WM_SIZE: {
      std::intptr_t r = windows.DefWindowProc(hwnd, message, wParam, lParam);
      if (!windowGone_) EnsureBackgroundSize();
      return r;
    }
    case ws::WM_LBUTTONDOWN:
    case ws::WM_RBUTTONDOWN:
      windows.SetFocus(hwnd);
      return windows.DefWindowProc(hwnd, message, wParam, lParam);
    case ws::WM_DESTROY: {
      std::intptr_t r = windows.DefWindowProc(hwnd, message, wParam, lParam);
      if (timerRunning_) {
        windows.KillTimer(hwnd, kStageTimerId);
        timerRunning_ = false;
      }
      windowGone_ = true;
      return r;
    }
    case ws::WM_NCDESTROY: {
      std::intptr_t r = windows.DefWindowProc(hwnd, message, wParam, lParam);
      windowGone_ = true;
      hwnd_ = 0;
      if (live_) {
        // The window's last message: tell the runtime, and go once no stage call is
        // left on the stack (this one included).
        host_.UnitGone(windowId_, unitId_);
        deletePending_ = true;
      }
      return r;
    }
    default:
      return windows.DefWindowProc(hwnd, message, wParam, lParam);
  }
}

bool CartoonBox::IsPropertyAvailable(int32_t ownIndex) {
  if (ownIndex == kStagePicDrawMode) return !settings_.pic.empty();
  return true;
}

int32_t CartoonBox::PropertyChanged(int32_t ownIndex, const runtime::PropertyValue& value) {
  StageCall call(*this);
  const bool isBlock = ownIndex == kStagePic || ownIndex == kStageFont;
  if (ownIndex < 0 || ownIndex > kStageFont || isBlock != value.isBytes) return 0;
  const int32_t v = value.value;
  const uint32_t u = static_cast<uint32_t>(v);
  auto redraw = [this] {
    RebuildBackground();
    if (hwnd_ != 0) host_.Windows().InvalidateRect(hwnd_, nullptr, false);
  };
  switch (ownIndex) {
    case kStageBorder:
      settings_.border = std::clamp(v, 0, 5);
      ApplyBorderStyle();
      break;
    case kStageBackColor:
      settings_.backColor = u;
      redraw();
      break;
    case kStagePic:
      settings_.pic.assign(value.bytes.begin(), value.bytes.end());
      redraw();
      break;
    case kStagePicDrawMode:
      settings_.picDrawMode = std::clamp(v, 0, 3);
      redraw();
      break;
    case kStagePenStyle: settings_.penStyle = std::clamp(v, 0, 6); break;
    case kStageDrawRop2: settings_.drawRop2 = std::clamp(v, 0, 15); break;
    case kStagePenWidth: settings_.penWidth = std::clamp(v, 0, 32767); break;
    case kStagePenColor: settings_.penColor = u; break;
    case kStageBrushStyle: settings_.brushStyle = std::clamp(v, 0, 55); break;
    case kStageBrushColor: settings_.brushColor = u; break;
    case kStageTextColor: settings_.textColor = u; break;
    case kStageTextBackColor: settings_.textBackColor = u; break;
    case kStageFont: settings_.font.assign(value.bytes.begin(), value.bytes.end()); break;
    default: break;
  }
  return 0;
}

std::optional<std::vector<uint8_t>> CartoonBox::SaveUnitData() { return WriteStageData(settings_); }

int32_t CartoonBox::ReadProperty(int32_t ownIndex, runtime::PropertyValue& out) {
  auto u32 = [&](uint32_t v) { out = runtime::PropertyValue::Int(static_cast<int32_t>(v)); };
  auto i32 = [&](int32_t v) { out = runtime::PropertyValue::Int(v); };
  switch (ownIndex) {
    case kStageBorder: i32(settings_.border); break;
    case kStageBackColor: u32(settings_.backColor); break;
    case kStagePic: out = runtime::PropertyValue::Bytes(settings_.pic); break;
    case kStagePicDrawMode: i32(settings_.picDrawMode); break;
    case kStagePenStyle: i32(settings_.penStyle); break;
    case kStageDrawRop2: i32(settings_.drawRop2); break;
    case kStagePenWidth: i32(settings_.penWidth); break;
    case kStagePenColor: u32(settings_.penColor); break;
    case kStageBrushStyle: i32(settings_.brushStyle); break;
    case kStageBrushColor: u32(settings_.brushColor); break;
    case kStageTextColor: u32(settings_.textColor); break;
    case kStageTextBackColor: u32(settings_.textBackColor); break;
    case kStageFont: out = runtime::PropertyValue::Bytes(settings_.font); break;
    default: break;  // unknown: `out` stays as it was
  }
  return 1;
}

runtime::LibraryUnit* CartoonBoxType::CreateUnit(runtime::UnitHost& host,
                                                 const runtime::UnitCreateParams& params) {
  std::optional<StageSettings> settings = ReadStageData(params.stored);
  if (!settings) return nullptr;
  std::unique_ptr<CartoonBox> box(new CartoonBox(host, params, std::move(*settings)));
  if (!box->CreateOwnWindow(params)) return nullptr;
  ws::WindowSystem& windows = host.Windows();
  if (!params.designer)
    box->timerRunning_ = windows.SetTimer(box->hwnd_, kStageTimerId, kStageTimerPeriod);
  box->ApplyBorderStyle();
  box->EnsureBackgroundSize();
  box->live_ = true;
  return box.release();
}

CartoonBoxType& CartoonBoxUnitType() {
  static CartoonBoxType type;
  return type;
}

CartoonBox* AsCartoonBox(runtime::LibraryUnit* unit) {
  if (unit == nullptr || unit->TypeId() != runtime::kTypeCartoonBox) return nullptr;
  return static_cast<CartoonBox*>(unit);
}

}  // namespace wintrel::stage
