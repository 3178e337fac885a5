// The Windows engines: Direct2D with DirectWrite, and the GDI+ flat
// interface, both drawing through the memory device context that holds a
// DrawingSurface's DIB section.
#include <climits>
#include <cstring>
#include <string>

#include "common/result.h"
#include "common/text.h"
#include "render/platform_services-win32.h"
#include "render/text_engine.h"

namespace render {

struct DrawingSurface::Platform {
  UniqueDc dc;
  UniqueGdiObject bitmap;
  HGDIOBJ previous = nullptr;

  ~Platform() {
    // Deselect before the bitmap, then the context, are deleted.
    if (dc && previous) ::SelectObject(dc.get(), previous);
  }
};

namespace {

HDC SurfaceDc(const DrawingSurface& surface) {
  return surface.platform().dc.get();
}

}  // namespace

DrawingSurface::DrawingSurface(std::uint32_t width, std::uint32_t height)
    : platform_(std::make_unique<Platform>()) {
  THROW_HR_IF(common::kEOutOfMemory,
              width > INT_MAX / 4 || height > INT_MAX ||
                  std::uint64_t{width} * height * 4 > SIZE_MAX);
  // A memory context compatible with the screen; a 32-bit DIB section takes
  // its pixel format from its own header, not from the reference context.
  platform_->dc.reset(::CreateCompatibleDC(nullptr));
  THROW_HR_IF(E_FAIL, !platform_->dc);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = static_cast<LONG>(width);
  info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  platform_->bitmap.reset(::CreateDIBSection(
      platform_->dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  THROW_HR_IF(E_FAIL, !platform_->bitmap || bits == nullptr);
  platform_->previous =
      ::SelectObject(platform_->dc.get(), platform_->bitmap.get());
  width_ = width;
  height_ = height;
  pixels_ = {static_cast<std::byte*>(bits), std::size_t{width} * height * 4};
  std::memset(bits, 0, pixels_.size());
}

DrawingSurface::~DrawingSurface() = default;

DrawingSurface::DrawingSurface(DrawingSurface&& other) noexcept
    : platform_(std::move(other.platform_)),
      width_(std::exchange(other.width_, 0)),
      height_(std::exchange(other.height_, 0)),
      pixels_(std::exchange(other.pixels_, {})) {}

DrawingSurface& DrawingSurface::operator=(DrawingSurface&& other) noexcept {
  platform_ = std::move(other.platform_);
  width_ = std::exchange(other.width_, 0);
  height_ = std::exchange(other.height_, 0);
  pixels_ = std::exchange(other.pixels_, {});
  return *this;
}

std::vector<std::byte> DrawingSurface::TakePixels() {
  // The bitmap owns its bytes; copy them out and let it go.
  std::vector<std::byte> bytes(pixels_.begin(), pixels_.end());
  platform_.reset();
  width_ = height_ = 0;
  pixels_ = {};
  return bytes;
}

DrawingSurface ScaleSurface(const DrawingSurface& source, std::uint32_t width,
                            std::uint32_t height) {
  DrawingSurface target(width, height);
  HDC dc = SurfaceDc(target);
  ::SetStretchBltMode(dc, HALFTONE);
  // HALFTONE leaves the brush origin undefined until it is set again.
  ::SetBrushOrgEx(dc, 0, 0, nullptr);
  ::StretchBlt(dc, 0, 0, static_cast<int>(width), static_cast<int>(height),
               SurfaceDc(source), 0, 0, static_cast<int>(source.width()),
               static_cast<int>(source.height()), SRCCOPY);
  ::GdiFlush();  // before anyone reads the bits directly
  return target;
}

namespace {

const wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}

LOGFONTW ToLogFontW(const LogFont& font) {
  static_assert(sizeof(LOGFONTW) == sizeof(LogFont));
  LOGFONTW record = {};
  record.lfHeight = font.height;
  record.lfWidth = font.width;
  record.lfEscapement = font.escapement;
  record.lfOrientation = font.orientation;
  record.lfWeight = font.weight;
  record.lfItalic = font.italic;
  record.lfUnderline = font.underline;
  record.lfStrikeOut = font.strikeOut;
  record.lfCharSet = font.charSet;
  record.lfOutPrecision = font.outPrecision;
  record.lfClipPrecision = font.clipPrecision;
  record.lfQuality = font.quality;
  record.lfPitchAndFamily = font.pitchAndFamily;
  std::memcpy(record.lfFaceName, font.faceName.data(),
              sizeof(record.lfFaceName));
  record.lfFaceName[LF_FACESIZE - 1] = L'\0';
  return record;
}

/// A text format from the face name and weight alone: DirectWrite draws an
/// italic choice upright. Centred in the box, its line at the box's bottom.
ComPtr<IDWriteTextFormat> CreateCellFormat(IDWriteFactory* factory,
                                           const LogFont& font,
                                           float fontSize) {
  std::u16string face = FaceName(font);
  // A record that leaves the weight to the system (0) means normal; 0 is no
  // DirectWrite weight.
  auto weight = static_cast<DWRITE_FONT_WEIGHT>(font.weight == 0 ? FW_NORMAL
                                                                 : font.weight);
  ComPtr<IDWriteTextFormat> format;
  THROW_IF_FAILED(factory->CreateTextFormat(
      Wide(face.c_str()), nullptr, weight, DWRITE_FONT_STYLE_NORMAL,
      DWRITE_FONT_STRETCH_NORMAL, fontSize, L"", format.GetAddressOf()));
  THROW_IF_FAILED(format->SetTextAlignment(DWRITE_TEXT_ALIGNMENT_CENTER));
  THROW_IF_FAILED(
      format->SetParagraphAlignment(DWRITE_PARAGRAPH_ALIGNMENT_FAR));
  return format;
}

void DrawGlyphCellsDirectWrite(ID2D1RenderTarget* target,
                               const GlyphFonts& fonts, GlyphGrid grid,
                               bool curlyQuotes, float fontSize,
                               std::u16string_view text) {
  IDWriteFactory* factory =
      PlatformServices::Current().state().dwriteFactory.Get();
  // Released in reverse: brush, symbol format, main format.
  ComPtr<IDWriteTextFormat> mainFormat =
      CreateCellFormat(factory, fonts.mainFont, fontSize);
  ComPtr<IDWriteTextFormat> symbolFormat =
      CreateCellFormat(factory, fonts.symbolFont, fontSize);
  ComPtr<ID2D1SolidColorBrush> brush;
  const D2D1_COLOR_F white = D2D1::ColorF(1.0f, 1.0f, 1.0f, 1.0f);
  THROW_IF_FAILED(
      target->CreateSolidColorBrush(&white, nullptr, brush.GetAddressOf()));
  WalkGlyphCells(text, grid, curlyQuotes, [&](const GlyphCell& cell) {
    wchar_t unit = static_cast<wchar_t>(cell.unit);
    IDWriteTextFormat* format =
        cell.font == GlyphFont::Main ? mainFormat.Get() : symbolFormat.Get();
    const D2D1_RECT_F box = D2D1::RectF(cell.box.left, cell.box.top,
                                        cell.box.right, cell.box.bottom);
    target->DrawText(&unit, 1, format, &box, brush.Get(),
                     D2D1_DRAW_TEXT_OPTIONS_NONE,
                     DWRITE_MEASURING_MODE_NATURAL);
  });
}

template <typename T, Gdiplus::GpStatus (*Delete)(T*)>
struct GdipTraits {
  using Type = T*;
  static Type Invalid() { return nullptr; }
  static void Close(Type object) { Delete(object); }
};
using namespace Gdiplus::DllExports;
using UniqueGraphics =
    common::UniqueHandle<GdipTraits<Gdiplus::GpGraphics, GdipDeleteGraphics>>;
using UniqueGdipFont =
    common::UniqueHandle<GdipTraits<Gdiplus::GpFont, GdipDeleteFont>>;
using UniqueStringFormat = common::UniqueHandle<
    GdipTraits<Gdiplus::GpStringFormat, GdipDeleteStringFormat>>;
using UniqueBrush =
    common::UniqueHandle<GdipTraits<Gdiplus::GpBrush, GdipDeleteBrush>>;

#define THROW_IF_GDIP_FAILED(status) \
  THROW_IF_FAILED(GdiplusStatusToHResult(status))

UniqueGdipFont CreateGdipFont(HDC dc, const LogFont& font) {
  LOGFONTW record = ToLogFontW(font);
  Gdiplus::GpFont* created = nullptr;
  THROW_IF_GDIP_FAILED(GdipCreateFontFromLogfontW(dc, &record, &created));
  return UniqueGdipFont(created);
}

}  // namespace

void DrawGlyphsDirectWrite(DrawingSurface& surface, const GlyphFonts& fonts,
                           GlyphGrid grid, bool curlyQuotes, float fontSize,
                           std::u16string_view text) {
  ID2D1Factory* factory = PlatformServices::Current().state().d2dFactory.Get();
  // 96 DPI whatever the display: the cells and the 58-unit font size are
  // laid out in pixels, and a scaled display would otherwise make each
  // unit more than a pixel and push the glyphs out of their cells.
  D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
      D2D1_RENDER_TARGET_TYPE_DEFAULT,
      D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM,
                        D2D1_ALPHA_MODE_PREMULTIPLIED),
      96.0f, 96.0f, D2D1_RENDER_TARGET_USAGE_NONE, D2D1_FEATURE_LEVEL_DEFAULT);
  ComPtr<ID2D1DCRenderTarget> target;
  THROW_IF_FAILED(
      factory->CreateDCRenderTarget(&properties, target.GetAddressOf()));
  RECT bounds = {0, 0, static_cast<LONG>(surface.width()),
                 static_cast<LONG>(surface.height())};
  THROW_IF_FAILED(target->BindDC(SurfaceDc(surface), &bounds));
  target->BeginDraw();
  // On a failure the target is released without EndDraw: nothing of the
  // pass is wanted then.
  DrawGlyphCellsDirectWrite(target.Get(), fonts, grid, curlyQuotes, fontSize,
                            text);
  target->EndDraw(nullptr, nullptr);
  ::GdiFlush();
}

void DrawGlyphsGdiPlus(DrawingSurface& surface, const GlyphFonts& fonts,
                       GlyphGrid grid, bool curlyQuotes,
                       std::u16string_view text) {
  PlatformServices::Current();  // GDI+ must be running
  HDC dc = SurfaceDc(surface);
  // Deleted in reverse: brush, format, symbol font, main font, graphics.
  Gdiplus::GpGraphics* graphicsPtr = nullptr;
  THROW_IF_GDIP_FAILED(GdipCreateFromHDC(dc, &graphicsPtr));
  UniqueGraphics graphics(graphicsPtr);
  THROW_IF_GDIP_FAILED(
      GdipSetSmoothingMode(graphics.get(), Gdiplus::SmoothingModeHighQuality));
  THROW_IF_GDIP_FAILED(GdipSetTextRenderingHint(
      graphics.get(), Gdiplus::TextRenderingHintAntiAliasGridFit));
  UniqueGdipFont mainFont = CreateGdipFont(dc, fonts.mainFont);
  UniqueGdipFont symbolFont = CreateGdipFont(dc, fonts.symbolFont);
  Gdiplus::GpStringFormat* formatPtr = nullptr;
  THROW_IF_GDIP_FAILED(GdipCreateStringFormat(0, LANG_NEUTRAL, &formatPtr));
  UniqueStringFormat format(formatPtr);
  THROW_IF_GDIP_FAILED(
      GdipSetStringFormatAlign(format.get(), Gdiplus::StringAlignmentCenter));
  THROW_IF_GDIP_FAILED(GdipSetStringFormatLineAlign(
      format.get(), Gdiplus::StringAlignmentCenter));
  Gdiplus::GpSolidFill* brushPtr = nullptr;
  THROW_IF_GDIP_FAILED(GdipCreateSolidFill(0xFFFFFFFF, &brushPtr));
  UniqueBrush brush(brushPtr);
  WalkGlyphCells(text, grid, curlyQuotes, [&](const GlyphCell& cell) {
    wchar_t unit = static_cast<wchar_t>(cell.unit);
    Gdiplus::RectF box(cell.box.left, cell.box.top, kCellWidth, kCellHeight);
    // A glyph that fails to draw is simply missing.
    GdipDrawString(
        graphics.get(), &unit, 1,
        cell.font == GlyphFont::Main ? mainFont.get() : symbolFont.get(), &box,
        format.get(), brush.get());
  });
  GdipFlush(graphics.get(), Gdiplus::FlushIntentionSync);
  ::GdiFlush();
}

void CheckFontAvailable(const LogFont& font) {
  IDWriteFactory* factory =
      PlatformServices::Current().state().dwriteFactory.Get();
  std::u16string face = FaceName(font);
  std::string message = "font not found: " + common::Utf16ToUtf8(face);
  if (face.empty()) THROW_HR_MSG(kFontNotFound, message);
  ComPtr<IDWriteFontCollection> fonts;
  THROW_IF_FAILED(
      factory->GetSystemFontCollection(fonts.GetAddressOf(), FALSE));
  UINT32 index = 0;
  BOOL exists = FALSE;
  THROW_IF_FAILED(fonts->FindFamilyName(Wide(face.c_str()), &index, &exists));
  if (exists) return;
  // GDI face names (what the font chooser returns) may name one style of a
  // DirectWrite family, such as "Microsoft YaHei UI Light".
  ComPtr<IDWriteGdiInterop> interop;
  THROW_IF_FAILED(factory->GetGdiInterop(interop.GetAddressOf()));
  LOGFONTW record = ToLogFontW(font);
  ComPtr<IDWriteFont> matched;
  if (FAILED(interop->CreateFontFromLOGFONT(&record, matched.GetAddressOf())))
    THROW_HR_MSG(kFontNotFound, message);
}

}  // namespace render
