// The sprite template unit type (type id 0x00020009): a hidden child window whose
// properties hold a complete set of sprite settings and whose picture is decoded once
// into the template image. A stage's CreateObject takes a snapshot of it.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/runtime/library_unit.h"
#include "stage/image/fast_paths.h"
#include "stage/image/sprite_image.h"
#include "stage/sprites/template_settings.h"

namespace wintrel::stage {

class CartoonObject final : public runtime::LibraryUnit {
 public:
  ~CartoonObject() override;

  uint32_t TypeId() const override { return runtime::kTypeCartoonObject; }
  ws::Hwnd Window() const override { return hwnd_; }
  bool IsPropertyAvailable(int32_t ownIndex) override;
  // A write by own index with the write rules of each property. Returns 0.
  int32_t PropertyChanged(int32_t ownIndex, const runtime::PropertyValue& value) override;
  std::optional<std::vector<uint8_t>> SaveUnitData() override;
  int32_t ReadProperty(int32_t ownIndex, runtime::PropertyValue& out) override;

  const TemplateSettings& Settings() const { return settings_; }
  const image::SpriteImage& TemplateImage() const { return *image_; }
  // The same image as a share: a rebuild replaces the template image, never changes it.
  const std::shared_ptr<const image::SpriteImage>& SharedTemplateImage() const { return image_; }
  // The caption font block, when the stored font is exactly 60 bytes; empty otherwise.
  std::span<const uint8_t> CaptionFont() const;

 private:
  friend class CartoonObjectType;
  CartoonObject(runtime::UnitHost& host, const runtime::UnitCreateParams& params,
                TemplateSettings settings);
  bool CreateOwnWindow(const runtime::UnitCreateParams& params);
  void RebuildImage();
  static std::intptr_t WindowProc(void* context, ws::Hwnd hwnd, uint32_t message,
                                  std::uintptr_t wParam, std::intptr_t lParam);

  runtime::UnitHost& host_;
  uint32_t windowId_;
  uint32_t unitId_;
  bool designer_;
  ws::Hwnd hwnd_ = 0;
  bool live_ = false;  // CreateUnit has handed the unit to the runtime
  TemplateSettings settings_;
  std::shared_ptr<const image::SpriteImage> image_ = std::make_shared<const image::SpriteImage>();
  // The production paths' decoded pictures, so that a picture written again is not
  // decoded again.
  image::PictureCache pictures_;
};

class CartoonObjectType final : public runtime::LibraryUnitType {
 public:
  uint32_t TypeId() const override { return runtime::kTypeCartoonObject; }
  // Null when the stored data is rejected or the window cannot be made.
  runtime::LibraryUnit* CreateUnit(runtime::UnitHost& host,
                                   const runtime::UnitCreateParams& params) override;
};

// The process's template type, for the program's list of library unit types.
CartoonObjectType& CartoonObjectUnitType();

// The unit as a template, or null when it is none (or null).
CartoonObject* AsCartoonObject(runtime::LibraryUnit* unit);

inline constexpr const char* kCartoonObjectClassName = "WintrelCartoonObject";

}  // namespace wintrel::stage
