// Off-screen surfaces, device bitmaps, picture decoding, fonts and text.
#include <algorithm>
#include <cstring>

#include "platform/win32/byte_formats.h"
#include "platform/win32/win32_internal.h"

namespace wintrel::win32 {
namespace {

// Larger pictures than this (256 MiB of pixels) are refused rather than attempted.
constexpr int64_t kMaxPixels = int64_t{1} << 26;

bool SizeAllowed(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width * height <= kMaxPixels;
}

HBITMAP B(ws::Hbitmap bitmap) { return reinterpret_cast<HBITMAP>(bitmap); }

HFONT FontOrDefault(ws::Hfont font) {
  return font != 0 ? reinterpret_cast<HFONT>(font)
                   : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

std::optional<ws::TextExtent> SizeOf(HBITMAP bitmap) {
  BITMAP bm{};
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof bm, &bm) != sizeof bm) return std::nullopt;
  return ws::TextExtent{bm.bmWidth, bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight};
}

// A DC of its own with `bitmap` selected, released at the end of the scope.
class SelectedDc {
 public:
  explicit SelectedDc(HGDIOBJ bitmap) : dc_(CreateCompatibleDC(nullptr)) {
    if (dc_ != nullptr) previous_ = SelectObject(dc_, bitmap);
  }
  ~SelectedDc() {
    if (dc_ == nullptr) return;
    if (previous_ != nullptr) SelectObject(dc_, previous_);
    DeleteDC(dc_);
  }
  SelectedDc(const SelectedDc&) = delete;
  SelectedDc& operator=(const SelectedDc&) = delete;
  bool Ok() const { return dc_ != nullptr && previous_ != nullptr && previous_ != HGDI_ERROR; }
  HDC Dc() const { return dc_; }

 private:
  HDC dc_ = nullptr;
  HGDIOBJ previous_ = nullptr;
};

// A new top-down DIB of width x height, white, with `draw` applied to its DC.
template <typename Draw>
HBITMAP DrawOnWhite(int32_t width, int32_t height, Draw draw) {
  if (!SizeAllowed(width, height)) return nullptr;
  DibSection dib = CreateTopDownDib(width, height);
  if (dib.bitmap == nullptr) return nullptr;
  bool drawn = false;
  {
    SelectedDc target(dib.bitmap);
    if (target.Ok()) {
      PatBlt(target.Dc(), 0, 0, width, height, WHITENESS);
      drawn = draw(target.Dc());
      GdiFlush();
    }
  }
  if (!drawn) {
    DeleteObject(dib.bitmap);
    return nullptr;
  }
  return dib.bitmap;
}

HBITMAP CopyToDib(HBITMAP source) {
  const auto size = SizeOf(source);
  if (!size) return nullptr;
  return DrawOnWhite(size->width, size->height, [&](HDC target) {
    SelectedDc from(source);
    return from.Ok() &&
           BitBlt(target, 0, 0, size->width, size->height, from.Dc(), 0, 0, SRCCOPY) != 0;
  });
}

HBITMAP IconOnWhite(HICON icon, int32_t width, int32_t height) {
  return DrawOnWhite(width, height, [&](HDC target) {
    return DrawIconEx(target, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL) != 0;
  });
}

// ICO and CUR files: the directory's first image, drawn on white at its own size.
HBITMAP IconFileToBitmap(const IconDirectory& directory) {
  const IconDirectoryEntry& entry = directory.entries.front();
  const auto size = IconImageSize(entry.image);
  if (!size) return nullptr;
  std::vector<BYTE> copy(entry.image.begin(), entry.image.end());
  // A cursor's image is an icon image too; drawing it needs no hotspot.
  HICON icon = CreateIconFromResourceEx(copy.data(), static_cast<DWORD>(copy.size()), TRUE,
                                        0x00030000, size->width, size->height, LR_DEFAULTCOLOR);
  if (icon == nullptr) return nullptr;
  HBITMAP bitmap = IconOnWhite(icon, size->width, size->height);
  DestroyIcon(icon);
  return bitmap;
}

HBITMAP IconHandleToBitmap(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return nullptr;
  const auto colorSize = SizeOf(info.hbmColor);
  const auto maskSize = SizeOf(info.hbmMask);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
  int32_t width = 0, height = 0;
  if (colorSize) {
    width = colorSize->width;
    height = colorSize->height;
  } else if (maskSize) {  // a monochrome icon: mask and colour stacked in one bitmap
    width = maskSize->width;
    height = maskSize->height / 2;
  }
  return IconOnWhite(icon, width, height);
}

// Everything else the system's picture loader reads (BMP, JPEG, GIF, metafiles).
HBITMAP LoadWithPictureObject(std::span<const uint8_t> bytes) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (memory == nullptr) return nullptr;
  void* target = GlobalLock(memory);
  if (target == nullptr) {
    GlobalFree(memory);
    return nullptr;
  }
  std::memcpy(target, bytes.data(), bytes.size());
  GlobalUnlock(memory);
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream)) || stream == nullptr) {
    GlobalFree(memory);
    return nullptr;
  }
  IPicture* picture = nullptr;
  const HRESULT loaded = OleLoadPicture(stream, static_cast<LONG>(bytes.size()), FALSE,
                                        IID_IPicture, reinterpret_cast<void**>(&picture));
  stream->Release();  // frees the memory block too
  if (FAILED(loaded) || picture == nullptr) return nullptr;

  HBITMAP result = nullptr;
  SHORT type = PICTYPE_UNINITIALIZED;
  OLE_HANDLE handle = 0;
  if (SUCCEEDED(picture->get_Type(&type)) && SUCCEEDED(picture->get_Handle(&handle))) {
    if (type == PICTYPE_BITMAP) {
      result = CopyToDib(static_cast<HBITMAP>(LongToHandle(static_cast<LONG>(handle))));
    } else if (type == PICTYPE_ICON) {
      result = IconHandleToBitmap(static_cast<HICON>(LongToHandle(static_cast<LONG>(handle))));
    } else {
      OLE_XSIZE_HIMETRIC widthHimetric = 0;
      OLE_YSIZE_HIMETRIC heightHimetric = 0;
      if (SUCCEEDED(picture->get_Width(&widthHimetric)) &&
          SUCCEEDED(picture->get_Height(&heightHimetric))) {
        HDC screen = GetDC(nullptr);
        const int dpiX = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
        const int dpiY = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen) ReleaseDC(nullptr, screen);
        const int32_t width = MulDiv(widthHimetric, dpiX, 2540);
        const int32_t height = MulDiv(heightHimetric, dpiY, 2540);
        result = DrawOnWhite(width, height, [&](HDC target) {
          return SUCCEEDED(picture->Render(target, 0, 0, width, height, 0, heightHimetric,
                                           widthHimetric, -heightHimetric, nullptr));
        });
      }
    }
  }
  picture->Release();
  return result;
}

Surface* FindSurface(std::unordered_map<ws::Hsurface, Surface>& surfaces, ws::Hsurface id) {
  const auto it = surfaces.find(id);
  return it == surfaces.end() ? nullptr : &it->second;
}

}  // namespace

BITMAPINFO TopDownHeader(int32_t width, int32_t height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // rows run top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}
static_assert(sizeof(BITMAPINFOHEADER) == 40);

DibSection CreateTopDownDib(int32_t width, int32_t height) {
  DibSection dib;
  if (!SizeAllowed(width, height)) return dib;
  const BITMAPINFO info = TopDownHeader(width, height);
  void* bits = nullptr;
  dib.bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib.bitmap == nullptr || bits == nullptr) {
    if (dib.bitmap != nullptr) DeleteObject(dib.bitmap);
    return DibSection{};
  }
  dib.bits = static_cast<uint32_t*>(bits);
  return dib;
}

// --- pictures

ws::Hbitmap Win32WindowSystem::PictureToBitmap(std::span<const uint8_t> bytes) {
  if (bytes.size() < 4 || bytes.size() > 0x7FFFFFFF) return 0;
  if (const auto directory = ParseIconDirectory(bytes)) {
    return reinterpret_cast<ws::Hbitmap>(IconFileToBitmap(*directory));
  }
  // The system's loader trusts a bitmap file's stated sizes; they are checked here.
  if (bytes[0] == 'B' && bytes[1] == 'M' && !BitmapFileFits(bytes)) return 0;
  return reinterpret_cast<ws::Hbitmap>(LoadWithPictureObject(bytes));
}

std::optional<ws::TextExtent> Win32WindowSystem::BitmapSize(ws::Hbitmap bitmap) {
  return SizeOf(B(bitmap));
}

std::optional<ws::PixelBlock> Win32WindowSystem::BitmapToPixels(ws::Hbitmap bitmap) {
  const auto size = SizeOf(B(bitmap));
  if (!size || !SizeAllowed(size->width, size->height)) return std::nullopt;
  ws::PixelBlock block;
  block.width = size->width;
  block.height = size->height;
  block.pixels.resize(static_cast<std::size_t>(size->width) * static_cast<std::size_t>(size->height));
  BITMAPINFO info = TopDownHeader(size->width, size->height);
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return std::nullopt;
  const int rows = GetDIBits(screen, B(bitmap), 0, static_cast<UINT>(size->height),
                             block.pixels.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (rows != size->height) return std::nullopt;
  return block;
}

void Win32WindowSystem::DeleteBitmap(ws::Hbitmap bitmap) {
  if (bitmap != 0) DeleteObject(B(bitmap));
}

// --- fonts and text

ws::Hfont Win32WindowSystem::CreateFontFromLogFont(std::span<const uint8_t> logFont) {
  const auto fields = ParseLogFont(logFont);
  if (!fields) return 0;
  LOGFONTW lf{};
  lf.lfHeight = fields->height;
  lf.lfWidth = fields->width;
  lf.lfEscapement = fields->escapement;
  lf.lfOrientation = fields->orientation;
  lf.lfWeight = fields->weight;
  lf.lfItalic = fields->italic;
  lf.lfUnderline = fields->underline;
  lf.lfStrikeOut = fields->strikeOut;
  lf.lfCharSet = fields->charSet;
  lf.lfOutPrecision = fields->outPrecision;
  lf.lfClipPrecision = fields->clipPrecision;
  lf.lfQuality = fields->quality;
  lf.lfPitchAndFamily = fields->pitchAndFamily;
  // The face name is GBK like every text of the program; the wide form keeps it intact.
  const std::wstring face = WideFromGbk(fields->faceName);
  const std::size_t chars = std::min<std::size_t>(face.size(), LF_FACESIZE - 1);
  std::copy_n(face.begin(), chars, lf.lfFaceName);
  lf.lfFaceName[chars] = L'\0';
  return reinterpret_cast<ws::Hfont>(CreateFontIndirectW(&lf));
}

void Win32WindowSystem::DeleteFont(ws::Hfont font) {
  if (font == 0 || reinterpret_cast<HGDIOBJ>(font) == GetStockObject(DEFAULT_GUI_FONT)) return;
  DeleteObject(reinterpret_cast<HFONT>(font));
}

ws::TextExtent Win32WindowSystem::MeasureText(ws::Hfont font, const ws::GbkText& line) {
  if (state_->textDc == nullptr) state_->textDc = CreateCompatibleDC(nullptr);
  HDC dc = state_->textDc;
  if (dc == nullptr) return {};
  const HGDIOBJ previous = SelectObject(dc, FontOrDefault(font));
  const std::wstring text = WideFromGbk(line);
  SIZE size{};
  const BOOL ok = GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  if (previous != nullptr && previous != HGDI_ERROR) SelectObject(dc, previous);
  if (!ok) return {};
  return ws::TextExtent{size.cx, size.cy};
}

ws::PixelBlock Win32WindowSystem::DrawTextLines(ws::Hfont font, std::span<const ws::GbkText> lines,
                                                std::span<const int32_t> tops, uint32_t color,
                                                uint32_t background, int32_t width,
                                                int32_t height) {
  DibSection dib = CreateTopDownDib(width, height);
  if (dib.bitmap == nullptr) return {};
  ws::PixelBlock block;
  {
    SelectedDc target(dib.bitmap);
    if (target.Ok()) {
      HDC dc = target.Dc();
      if (HBRUSH brush = CreateSolidBrush(background & 0x00FFFFFF)) {
        const RECT all{0, 0, width, height};
        ::FillRect(dc, &all, brush);
        DeleteObject(brush);
      }
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, color & 0x00FFFFFF);
      const HGDIOBJ previousFont = SelectObject(dc, FontOrDefault(font));
      const std::size_t count = std::min(lines.size(), tops.size());
      for (std::size_t i = 0; i < count; ++i) {
        const std::wstring text = WideFromGbk(lines[i]);
        TextOutW(dc, 0, tops[i], text.c_str(), static_cast<int>(text.size()));
      }
      if (previousFont != nullptr && previousFont != HGDI_ERROR) SelectObject(dc, previousFont);
      GdiFlush();
      block.width = width;
      block.height = height;
      block.pixels.assign(dib.bits, dib.bits + static_cast<std::size_t>(width) * height);
    }
  }
  DeleteObject(dib.bitmap);
  return block;
}

// --- off-screen surfaces

ws::Hsurface Win32WindowSystem::CreateSurface(int32_t width, int32_t height, uint32_t** pixels) {
  if (pixels != nullptr) *pixels = nullptr;
  DibSection dib = CreateTopDownDib(width, height);
  if (dib.bitmap == nullptr) return 0;
  Surface surface;
  surface.dc = CreateCompatibleDC(nullptr);
  if (surface.dc == nullptr) {
    DeleteObject(dib.bitmap);
    return 0;
  }
  surface.previous = SelectObject(surface.dc, dib.bitmap);
  surface.bitmap = dib.bitmap;
  surface.width = width;
  surface.height = height;
  surface.bits = dib.bits;
  const ws::Hsurface id = state_->nextSurface++;
  state_->surfaces.emplace(id, surface);
  if (pixels != nullptr) *pixels = surface.bits;
  return id;
}

void Win32WindowSystem::DestroySurface(ws::Hsurface id) {
  const auto it = state_->surfaces.find(id);
  if (it == state_->surfaces.end()) return;
  SelectObject(it->second.dc, it->second.previous);
  DeleteObject(it->second.bitmap);
  DeleteDC(it->second.dc);
  state_->surfaces.erase(it);
}

void Win32WindowSystem::FillSurface(ws::Hsurface id, const ws::Rect& rect, uint32_t color) {
  Surface* surface = FindSurface(state_->surfaces, id);
  if (surface == nullptr || rect.Empty()) return;
  HBRUSH brush = CreateSolidBrush(color & 0x00FFFFFF);
  if (brush == nullptr) return;
  const HGDIOBJ previous = SelectObject(surface->dc, brush);
  PatBlt(surface->dc, rect.left, rect.top, rect.Width(), rect.Height(), PATCOPY);
  SelectObject(surface->dc, previous);
  DeleteObject(brush);
  GdiFlush();  // the caller reads the pixels directly next
}

void Win32WindowSystem::DrawBitmap(ws::Hsurface id, ws::Hbitmap bitmap, int32_t x, int32_t y) {
  Surface* surface = FindSurface(state_->surfaces, id);
  const auto size = SizeOf(B(bitmap));
  if (surface == nullptr || !size) return;
  SelectedDc source(B(bitmap));
  if (!source.Ok()) return;
  BitBlt(surface->dc, x, y, size->width, size->height, source.Dc(), 0, 0, SRCCOPY);
  GdiFlush();
}

void Win32WindowSystem::StretchBitmap(ws::Hsurface id, ws::Hbitmap bitmap, const ws::Rect& dest,
                                      bool halftone) {
  Surface* surface = FindSurface(state_->surfaces, id);
  const auto size = SizeOf(B(bitmap));
  if (surface == nullptr || !size) return;
  SelectedDc source(B(bitmap));
  if (!source.Ok()) return;
  SetStretchBltMode(surface->dc, halftone ? HALFTONE : COLORONCOLOR);
  if (halftone) SetBrushOrgEx(surface->dc, 0, 0, nullptr);  // required after HALFTONE
  StretchBlt(surface->dc, dest.left, dest.top, dest.Width(), dest.Height(), source.Dc(), 0, 0,
             size->width, size->height, SRCCOPY);
  GdiFlush();
}

std::optional<int32_t> Win32WindowSystem::DisplayBitsPerPixel() {
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) return std::nullopt;
  return static_cast<int32_t>(mode.dmBitsPerPel);
}

}  // namespace wintrel::win32
