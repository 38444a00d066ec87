#include "stage/sprites/cartoon_object.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "stage/image/render_path.h"

namespace wintrel::stage {
namespace {

std::string TextFromBytes(std::span<const uint8_t> bytes) {
  // A stored text may carry its terminator; the text ends at the first zero byte.
  auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
  return std::string(bytes.begin(), end);
}

runtime::PropertyValue BytesValue(std::span<const uint8_t> bytes) {
  return runtime::PropertyValue::Bytes(bytes.empty() ? std::span<const uint8_t>{} : bytes);
}

}  // namespace

CartoonObject::CartoonObject(runtime::UnitHost& host, const runtime::UnitCreateParams& params,
                             TemplateSettings settings)
    : host_(host),
      windowId_(params.windowId),
      unitId_(params.unitId),
      designer_(params.designer),
      settings_(std::move(settings)) {}

CartoonObject::~CartoonObject() = default;

std::span<const uint8_t> CartoonObject::CaptionFont() const {
  if (settings_.font.size() != static_cast<std::size_t>(kCaptionFontSize)) return {};
  return settings_.font;
}

void CartoonObject::RebuildImage() {
  if (!LiteralPaths() && settings_.text.empty()) {
    // The same picture written again gives the same image: take it from the cache.
    if (auto cached = pictures_.Decode(host_.Windows(), settings_.picture,
                                       settings_.transparentColor, settings_.autoGetTransColor != 0)) {
      image_ = std::move(cached);
      return;
    }
  }
  image::TemplateInputs in;
  in.text = settings_.text;
  in.font = CaptionFont();
  in.textColor = settings_.textColor;
  in.picture = settings_.picture;
  in.autoTransparent = settings_.autoGetTransColor != 0;
  in.transparentColor = settings_.transparentColor;
  auto image = std::make_shared<image::SpriteImage>();
  image::BuildTemplateImage(host_.Windows(), *image, in);
  image_ = std::move(image);
}

bool CartoonObject::CreateOwnWindow(const runtime::UnitCreateParams& params) {
  ws::WindowSystem& windows = host_.Windows();
  ws::ClassDesc cls;
  cls.name = kCartoonObjectClassName;
  cls.style = 0;
  cls.nullBrush = true;
  if (!windows.RegisterClass(cls)) return false;
  ws::CreateDesc desc;
  desc.exStyle = 0;
  desc.className = kCartoonObjectClassName;
  // The template draws nothing and takes no input: a hidden child.
  desc.style = (params.style | ws::WS_CHILD) & ~ws::WS_VISIBLE;
  desc.x = params.left;
  desc.y = params.top;
  desc.width = params.width;
  desc.height = params.height;
  desc.parentOrOwner = params.parent;
  desc.menuOrId = static_cast<std::uintptr_t>(static_cast<uint32_t>(params.controlId));
  desc.proc = &CartoonObject::WindowProc;
  desc.context = this;
  hwnd_ = windows.CreateWindow(desc);
  return hwnd_ != 0;
}

std::intptr_t CartoonObject::WindowProc(void* context, ws::Hwnd hwnd, uint32_t message,
                                        std::uintptr_t wParam, std::intptr_t lParam) {
  auto* self = static_cast<CartoonObject*>(context);
  ws::WindowSystem& windows = self->host_.Windows();
  if (self->hwnd_ == 0) self->hwnd_ = hwnd;
  std::intptr_t result = windows.DefWindowProc(hwnd, message, wParam, lParam);
  if (message == ws::WM_NCDESTROY) {
    self->hwnd_ = 0;
    if (self->live_) {
      // The window's last message: tell the runtime, then go.
      self->host_.UnitGone(self->windowId_, self->unitId_);
      delete self;
    }
  }
  return result;
}

bool CartoonObject::IsPropertyAvailable(int32_t ownIndex) {
  return ownIndex >= 0 && ownIndex < kTplPropertyCount;
}

int32_t CartoonObject::PropertyChanged(int32_t ownIndex, const runtime::PropertyValue& value) {
  TemplateSettings& s = settings_;
  const int32_t v = value.value;
  auto bytes = [&](std::vector<uint8_t>& field) {
    field.assign(value.bytes.begin(), value.bytes.end());
  };
  const bool isBlock = ownIndex == kTplText || ownIndex == kTplFont || ownIndex == kTplPicture ||
                       ownIndex == kTplCreateSound || ownIndex == kTplDestroySound ||
                       ownIndex == kTplCollidedSound;
  // A value of the wrong kind is not this property's: nothing is changed.
  if (isBlock != value.isBytes) return 0;
  switch (ownIndex) {
    case kTplText:
      s.text = TextFromBytes(value.bytes);
      RebuildImage();
      break;
    case kTplFont:
      bytes(s.font);
      if (s.font.size() == static_cast<std::size_t>(kCaptionFontSize)) RebuildImage();
      break;
    case kTplTextColor:
      if (static_cast<uint32_t>(v) != s.textColor) {
        s.textColor = static_cast<uint32_t>(v);
        RebuildImage();
      }
      break;
    case kTplPicture:
      bytes(s.picture);
      RebuildImage();
      break;
    case kTplAutoGetTransColor:
      s.autoGetTransColor = v;
      RebuildImage();
      break;
    case kTplTransparentColor:
      s.transparentColor = static_cast<uint32_t>(v);
      RebuildImage();
      break;
    case kTplPlayGif: s.playGif = v; break;
    case kTplGifDelay: s.gifDelay = std::max(v, 0); break;
    case kTplGifAutoDestroy: s.gifAutoDestroy = v; break;
    case kTplTrendColor: s.trendColor = static_cast<uint32_t>(v); break;
    case kTplTrendDepth: s.trendDepth = std::clamp(v, 0, 100); break;
    case kTplLight: s.light = v; break;
    case kTplAlpha: s.alpha = std::clamp(v, 0, 100); break;
    case kTplZoom: s.zoom = std::max(v, 0); break;
    case kTplLayer: s.layer = v; break;
    case kTplAngle: s.angle = std::clamp(v, -360, 360); break;
    case kTplRotateFollow: s.rotateFollow = v; break;
    case kTplTurnType: s.turnType = std::clamp(v, 0, 3); break;
    case kTplExistTime: s.existTime = std::max(v, 0); break;
    case kTplCreateSound: bytes(s.createSound); break;
    case kTplDestroySound: bytes(s.destroySound); break;
    case kTplCollideAllowed: s.collideAllowed = v; break;
    case kTplCollidedSound: bytes(s.collidedSound); break;
    case kTplType: s.type = v; break;
    default: break;
  }
  return 0;
}

std::optional<std::vector<uint8_t>> CartoonObject::SaveUnitData() {
  return WriteTemplateData(settings_);
}

int32_t CartoonObject::ReadProperty(int32_t ownIndex, runtime::PropertyValue& out) {
  const TemplateSettings& s = settings_;
  auto i32 = [&](int32_t v) { out = runtime::PropertyValue::Int(v); };
  auto u32 = [&](uint32_t v) { out = runtime::PropertyValue::Int(static_cast<int32_t>(v)); };
  switch (ownIndex) {
    case kTplText:
      out = BytesValue(std::span(reinterpret_cast<const uint8_t*>(s.text.data()), s.text.size()));
      break;
    case kTplFont: out = BytesValue(s.font); break;
    case kTplTextColor: u32(s.textColor); break;
    case kTplPicture: out = BytesValue(s.picture); break;
    case kTplAutoGetTransColor: i32(s.autoGetTransColor); break;
    case kTplTransparentColor: u32(s.transparentColor); break;
    case kTplPlayGif: i32(s.playGif); break;
    case kTplGifDelay: i32(s.gifDelay); break;
    case kTplGifAutoDestroy: i32(s.gifAutoDestroy); break;
    case kTplTrendColor: u32(s.trendColor); break;
    case kTplTrendDepth: i32(s.trendDepth); break;
    case kTplLight: i32(s.light); break;
    case kTplAlpha: i32(s.alpha); break;
    case kTplZoom: i32(s.zoom); break;
    case kTplLayer: i32(s.layer); break;
    case kTplAngle: i32(s.angle); break;
    case kTplRotateFollow: i32(s.rotateFollow); break;
    case kTplTurnType: i32(s.turnType); break;
    case kTplExistTime: i32(s.existTime); break;
    case kTplCreateSound: out = BytesValue(s.createSound); break;
    case kTplDestroySound: out = BytesValue(s.destroySound); break;
    case kTplCollideAllowed: i32(s.collideAllowed); break;
    case kTplCollidedSound: out = BytesValue(s.collidedSound); break;
    case kTplType: i32(s.type); break;
    default: break;  // unknown: `out` stays as it was
  }
  return 1;
}

runtime::LibraryUnit* CartoonObjectType::CreateUnit(runtime::UnitHost& host,
                                                    const runtime::UnitCreateParams& params) {
  std::optional<TemplateSettings> settings = ReadTemplateData(params.stored);
  if (!settings) return nullptr;
  std::unique_ptr<CartoonObject> unit(new CartoonObject(host, params, std::move(*settings)));
  if (!unit->CreateOwnWindow(params)) {
    // A window that was made and went again during creation has already said its last.
    if (unit->hwnd_ != 0 && host.Windows().IsWindow(unit->hwnd_))
      host.Windows().DestroyWindow(unit->hwnd_);
    return nullptr;
  }
  unit->RebuildImage();
  unit->live_ = true;
  return unit.release();
}

CartoonObjectType& CartoonObjectUnitType() {
  static CartoonObjectType type;
  return type;
}

CartoonObject* AsCartoonObject(runtime::LibraryUnit* unit) {
  if (unit == nullptr || unit->TypeId() != runtime::kTypeCartoonObject) return nullptr;
  return static_cast<CartoonObject*>(unit);
}

}  // namespace wintrel::stage
