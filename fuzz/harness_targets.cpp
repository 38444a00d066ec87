// The fuzz targets by name.
#include "fuzz/harness.h"

namespace wintrel::fuzz {

std::span<const Target> Targets() {
  static const Target kTargets[] = {
      {"picture_png", &DecodePicturePng},
      {"picture_gif", &DecodePictureGif},
      {"picture_other", &DecodePictureOther},
      {"window_definitions", &WindowDefinitions},
      {"program_definitions", &ProgramDefinitions},
      {"window_settings", &WindowAndTimerSettings},
      {"template_data", &TemplateData},
      {"stage_data", &StageData},
      {"stage_unit", &StageUnit},
      {"ico", &IcoFile},
      {"win32_formats", &Win32Formats},
  };
  return kTargets;
}

}  // namespace wintrel::fuzz
