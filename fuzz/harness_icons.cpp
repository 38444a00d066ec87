// Icons: the image the tray icon picks from an ICO file and the icon the simulated
// desktop makes of it; and the Win32 back end's checks of the blocks it hands on.
#include <string_view>

#include "fuzz/harness.h"
#include "fuzz/harness_check.h"
#include "fuzz/harness_desktop.h"
#include "platform/runtime/ico.h"
#include "platform/sim/sim_desktop.h"
#include "platform/win32/byte_formats.h"

namespace wintrel::fuzz {
namespace {

sim::SimDesktop& Desktop() {
  static sim::SimDesktop* desk = new sim::SimDesktop(SmallScreen(64, 64));
  return *desk;
}

bool Within(std::span<const uint8_t> part, std::span<const uint8_t> whole) {
  return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

// As SetTrayIcon does: the 16-pixel choice, then the 32-pixel one if that gave no icon.
void PickAndMake(Bytes ico) {
  sim::SimDesktop& desk = Desktop();
  for (int32_t wanted : {16, 32}) {
    const auto image = runtime::PickIcoImage(ico, wanted);
    if (!image) continue;
    WINTREL_FUZZ_CHECK(Within(image->bytes, ico));
    WINTREL_FUZZ_CHECK(image->width > 0 && image->height > 0);
    const ws::Hicon icon = desk.CreateIconFromResourceEx(image->bytes, image->width, image->height);
    if (icon == 0) continue;
    const auto pixels = desk.IconPixels(icon);
    WINTREL_FUZZ_CHECK(pixels.has_value());
    WINTREL_FUZZ_CHECK(pixels->width == image->width && pixels->height == image->height);
    WINTREL_FUZZ_CHECK(pixels->pixels.size() ==
                       static_cast<std::size_t>(pixels->width) * static_cast<std::size_t>(pixels->height));
    WINTREL_FUZZ_CHECK(desk.DestroyIcon(icon));
    break;
  }
  WINTREL_FUZZ_CHECK(desk.LiveIcons() == 0);
}

void Win32Icon(Bytes data) {
  if (auto size = win32::IconImageSize(data)) WINTREL_FUZZ_CHECK(size->width > 0 && size->height > 0);
  if (auto dir = win32::ParseIconDirectory(data)) {
    WINTREL_FUZZ_CHECK(!dir->entries.empty());
    for (const auto& e : dir->entries) {
      WINTREL_FUZZ_CHECK(Within(e.image, data) && !e.image.empty());
      win32::IconImageSize(e.image);
    }
  }
}

void Win32Region(Bytes data) {
  const auto rects = win32::RegionRects(data);
  if (!rects) return;
  WINTREL_FUZZ_CHECK(32 + rects->size() * 16 <= data.size());
  const ws::Rect clip{-100, -100, 5000, 5000};
  for (const ws::Rect& r : win32::ClipRects(*rects, clip)) {
    WINTREL_FUZZ_CHECK(!r.Empty());
    WINTREL_FUZZ_CHECK(r.left >= clip.left && r.top >= clip.top && r.right <= clip.right &&
                       r.bottom <= clip.bottom);
  }
}

void Win32Text(Bytes data) {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  for (std::size_t max : {std::size_t{0}, std::size_t{1}, std::size_t{31}, std::size_t{62}, text.size()}) {
    const std::size_t n = win32::WholeGbkPrefix(text, max);
    WINTREL_FUZZ_CHECK(n <= max && n <= text.size());
  }
  const std::string_view c = win32::BoundedCString(std::span<const char>(text.data(), text.size()));
  WINTREL_FUZZ_CHECK(c.size() <= text.size() && c.find('\0') == std::string_view::npos);
  if (auto name = win32::ParseRoutineName(text))
    WINTREL_FUZZ_CHECK(name->name.empty() != (name->ordinal == 0));
  if (auto font = win32::ParseLogFont(data)) {
    WINTREL_FUZZ_CHECK(data.size() == win32::kLogFontSize);
    WINTREL_FUZZ_CHECK(font->faceName.size() < win32::kFaceNameBytes);
  }
}

}  // namespace

void IcoFile(Bytes data) { PickAndMake(data); }

void Win32Formats(Bytes data) {
  if (data.empty()) return;
  const Bytes rest = data.subspan(1);
  switch (data[0] % 5) {
    case 0: return Win32Icon(rest);
    case 1: (void)win32::BitmapFileFits(rest); return;
    case 2: (void)win32::WaveBlockFits(rest); return;
    case 3: return Win32Region(rest);
    default: return Win32Text(rest);
  }
}

}  // namespace wintrel::fuzz
