// The Windows engines: Direct2D with DirectWrite, and the GDI+ flat
// interface, both drawing through the memory device context that holds a
// DrawingSurface's DIB section.
#include "render/text_engine.h"

#include <dwrite_2.h>
#include <dwrite_3.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <unordered_map>

#include "common/result.h"
#include "common/text.h"
#include "render/drawing_check.h"
#include "render/font_catalog.h"
#include "render/font_ranking.h"
#include "render/glyph_coverage.h"
#include "render/platform_services-win32.h"

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

IDWriteFactory* DWriteFactory() {
  return PlatformServices::Current().state().dwriteFactory.Get();
}

ComPtr<IDWriteFontCollection> SystemFonts() {
  ComPtr<IDWriteFontCollection> fonts;
  THROW_IF_FAILED(
      DWriteFactory()->GetSystemFontCollection(fonts.GetAddressOf(), FALSE));
  return fonts;
}

/// A name in the user's language, else in US English, else the first.
std::wstring LocalizedName(IDWriteLocalizedStrings* names) {
  UINT32 index = 0;
  BOOL exists = FALSE;
  wchar_t locale[LOCALE_NAME_MAX_LENGTH] = L"";
  if (::GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH) > 0)
    THROW_IF_FAILED(names->FindLocaleName(locale, &index, &exists));
  if (!exists)
    THROW_IF_FAILED(names->FindLocaleName(L"en-us", &index, &exists));
  if (!exists) index = 0;
  UINT32 length = 0;
  THROW_IF_FAILED(names->GetStringLength(index, &length));
  std::wstring name(length + 1, L'\0');
  THROW_IF_FAILED(names->GetString(index, name.data(), length + 1));
  name.resize(length);
  return name;
}

std::wstring FamilyName(IDWriteFontFamily* family) {
  ComPtr<IDWriteLocalizedStrings> names;
  THROW_IF_FAILED(family->GetFamilyNames(names.GetAddressOf()));
  return LocalizedName(names.Get());
}

std::wstring FamilyNameOf(IDWriteFont* font) {
  ComPtr<IDWriteFontFamily> family;
  THROW_IF_FAILED(font->GetFontFamily(family.GetAddressOf()));
  return FamilyName(family.Get());
}

/// The record's weight for DirectWrite: 0 leaves it to the system, which
/// means normal, and is no DirectWrite weight.
DWRITE_FONT_WEIGHT WeightOf(const LogFont& font) {
  return static_cast<DWRITE_FONT_WEIGHT>(font.weight == 0 ? FW_NORMAL
                                                          : font.weight);
}

/// What a text format is made from for a record.
struct ResolvedFont {
  std::wstring family;
  DWRITE_FONT_WEIGHT weight = DWRITE_FONT_WEIGHT_NORMAL;
  DWRITE_FONT_STYLE style = DWRITE_FONT_STYLE_NORMAL;
  DWRITE_FONT_STRETCH stretch = DWRITE_FONT_STRETCH_NORMAL;
  ComPtr<IDWriteFont> font;  ///< null when nothing resolves the name
};

/// The font GDI itself picks for the record, as DirectWrite knows it; null
/// when GDI would substitute another face for the name, or the platform
/// cannot say. Where CreateFontFromLOGFONT only looks the name up among the
/// families (Wine does), this still finds a style that GDI lists as a
/// family of its own: the face GDI selects names its DirectWrite family,
/// weight, stretch and style.
ComPtr<IDWriteFont> FontGdiPicks(IDWriteGdiInterop* interop,
                                 IDWriteFontCollection* fonts,
                                 const LOGFONTW& record) {
  UniqueGdiObject gdiFont(::CreateFontIndirectW(&record));
  UniqueDc dc(::CreateCompatibleDC(nullptr));
  if (!gdiFont || !dc) return nullptr;
  HGDIOBJ previous = ::SelectObject(dc.get(), gdiFont.get());
  auto deselect =
      common::ScopeExit([&] { ::SelectObject(dc.get(), previous); });
  wchar_t picked[LF_FACESIZE] = L"";
  ::GetTextFaceW(dc.get(), LF_FACESIZE, picked);
  ComPtr<IDWriteFontFace> face;
  ComPtr<IDWriteFontFace3> face3;
  if (::lstrcmpiW(picked, record.lfFaceName) != 0 ||
      FAILED(interop->CreateFontFaceFromHdc(dc.get(), face.GetAddressOf())) ||
      FAILED(face.As(&face3)))
    return nullptr;
  ComPtr<IDWriteLocalizedStrings> names;
  ComPtr<IDWriteFontFamily> family;
  ComPtr<IDWriteFont> font;
  UINT32 index = 0;
  BOOL exists = FALSE;
  if (FAILED(face3->GetFamilyNames(names.GetAddressOf()))) return nullptr;
  std::wstring name = LocalizedName(names.Get());
  if (FAILED(fonts->FindFamilyName(name.c_str(), &index, &exists)) || !exists ||
      FAILED(fonts->GetFontFamily(index, family.GetAddressOf())) ||
      FAILED(
          family->GetFirstMatchingFont(face3->GetWeight(), face3->GetStretch(),
                                       face3->GetStyle(), font.GetAddressOf())))
    return nullptr;
  return font;
}

/// The family, weight, style and stretch a text format takes for a record.
/// A face name that is a family of the system collection is passed as it is
/// with the record's weight, upright and of normal stretch. A GDI face name
/// (what the font chooser returns) may instead name one style of a family,
/// such as "Microsoft YaHei UI Light" or "Segoe UI Semibold": with it,
/// CreateTextFormat finds no family and would draw everything in a fallback
/// face, so the record is resolved the way GDI resolves it, and the format
/// takes that font's family name, weight, stretch and style.
ResolvedFont ResolveFont(const LogFont& font) {
  IDWriteFactory* factory = DWriteFactory();
  ComPtr<IDWriteFontCollection> fonts = SystemFonts();
  std::u16string face = FaceName(font);
  ResolvedFont resolved;
  resolved.family.assign(face.begin(), face.end());
  resolved.weight = WeightOf(font);
  UINT32 index = 0;
  BOOL exists = FALSE;
  THROW_IF_FAILED(
      fonts->FindFamilyName(resolved.family.c_str(), &index, &exists));
  if (exists) {
    ComPtr<IDWriteFontFamily> family;
    THROW_IF_FAILED(fonts->GetFontFamily(index, family.GetAddressOf()));
    THROW_IF_FAILED(family->GetFirstMatchingFont(
        resolved.weight, resolved.stretch, resolved.style,
        resolved.font.GetAddressOf()));
    return resolved;
  }
  if (face.empty()) return resolved;
  ComPtr<IDWriteGdiInterop> interop;
  THROW_IF_FAILED(factory->GetGdiInterop(interop.GetAddressOf()));
  // DirectWrite draws an italic choice upright: only the face name and the
  // weight count.
  LOGFONTW record = ToLogFontW(font);
  record.lfItalic = FALSE;
  ComPtr<IDWriteFont> matched;
  if (FAILED(interop->CreateFontFromLOGFONT(&record, matched.GetAddressOf())))
    matched = FontGdiPicks(interop.Get(), fonts.Get(), record);
  if (!matched) return resolved;
  resolved.family = FamilyNameOf(matched.Get());
  resolved.weight = matched->GetWeight();
  resolved.style = matched->GetStyle();
  resolved.stretch = matched->GetStretch();
  resolved.font = std::move(matched);
  return resolved;
}

/// A text format for the record, centred in the box, its line at the box's
/// bottom. A name nothing resolves is passed on as it is: the platform then
/// draws what it draws for it.
ComPtr<IDWriteTextFormat> CreateCellFormat(IDWriteFactory* factory,
                                           const LogFont& font,
                                           float fontSize) {
  ResolvedFont resolved = ResolveFont(font);
  ComPtr<IDWriteTextFormat> format;
  THROW_IF_FAILED(factory->CreateTextFormat(
      resolved.family.c_str(), nullptr, resolved.weight, resolved.style,
      resolved.stretch, fontSize, L"", format.GetAddressOf()));
  THROW_IF_FAILED(format->SetTextAlignment(DWRITE_TEXT_ALIGNMENT_CENTER));
  THROW_IF_FAILED(
      format->SetParagraphAlignment(DWRITE_PARAGRAPH_ALIGNMENT_FAR));
  return format;
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

/// A GDI+ font from the whole record, its height scaled.
UniqueGdipFont CreateGdipFont(HDC dc, const LogFont& font, float scale) {
  LOGFONTW record = ToLogFontW(font);
  if (scale != 1.0f)
    record.lfHeight = static_cast<LONG>(
        std::lround(static_cast<float>(record.lfHeight) * scale));
  Gdiplus::GpFont* created = nullptr;
  THROW_IF_GDIP_FAILED(GdipCreateFontFromLogfontW(dc, &record, &created));
  return UniqueGdipFont(created);
}

UniqueStringFormat CreateCellStringFormat(INT flags) {
  Gdiplus::GpStringFormat* formatPtr = nullptr;
  THROW_IF_GDIP_FAILED(GdipCreateStringFormat(flags, LANG_NEUTRAL, &formatPtr));
  UniqueStringFormat format(formatPtr);
  THROW_IF_GDIP_FAILED(
      GdipSetStringFormatAlign(format.get(), Gdiplus::StringAlignmentCenter));
  THROW_IF_GDIP_FAILED(GdipSetStringFormatLineAlign(
      format.get(), Gdiplus::StringAlignmentCenter));
  return format;
}

/// Direct2D and DirectWrite: the two text formats are made once; each pass
/// binds a render target of its own to the surface's device context.
class DirectWriteRenderer final : public GlyphRenderer {
 public:
  DirectWriteRenderer(const GlyphFonts& fonts, float fontSize,
                      const GlyphScale& scale) {
    IDWriteFactory* factory = DWriteFactory();
    mainFormat_ =
        CreateCellFormat(factory, fonts.mainFont, fontSize * scale.main);
    symbolFormat_ =
        CreateCellFormat(factory, fonts.symbolFont, fontSize * scale.symbol);
  }

  bool Draw(DrawingSurface& surface, std::span<const GlyphCell> cells,
            bool clip, std::span<PixelBox>) override {
    ID2D1Factory* factory =
        PlatformServices::Current().state().d2dFactory.Get();
    // 96 DPI whatever the display: the cells and the 58-unit font size are
    // laid out in pixels, and a scaled display would otherwise make each
    // unit more than a pixel and push the glyphs out of their cells.
    D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
        D2D1_RENDER_TARGET_TYPE_DEFAULT,
        D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM,
                          D2D1_ALPHA_MODE_PREMULTIPLIED),
        96.0f, 96.0f, D2D1_RENDER_TARGET_USAGE_NONE,
        D2D1_FEATURE_LEVEL_DEFAULT);
    ComPtr<ID2D1DCRenderTarget> target;
    THROW_IF_FAILED(
        factory->CreateDCRenderTarget(&properties, target.GetAddressOf()));
    RECT bounds = {0, 0, static_cast<LONG>(surface.width()),
                   static_cast<LONG>(surface.height())};
    THROW_IF_FAILED(target->BindDC(SurfaceDc(surface), &bounds));
    ComPtr<ID2D1SolidColorBrush> brush;
    const D2D1_COLOR_F white = D2D1::ColorF(1.0f, 1.0f, 1.0f, 1.0f);
    THROW_IF_FAILED(
        target->CreateSolidColorBrush(&white, nullptr, brush.GetAddressOf()));
    // On a failure the target is released without EndDraw: nothing of the
    // pass is wanted then.
    target->BeginDraw();
    for (const GlyphCell& cell : cells) {
      wchar_t unit = static_cast<wchar_t>(cell.unit);
      IDWriteTextFormat* format = cell.font == GlyphFont::Main
                                      ? mainFormat_.Get()
                                      : symbolFormat_.Get();
      const D2D1_RECT_F box = D2D1::RectF(cell.box.left, cell.box.top,
                                          cell.box.right, cell.box.bottom);
      target->DrawText(
          &unit, 1, format, &box, brush.Get(),
          clip ? D2D1_DRAW_TEXT_OPTIONS_CLIP : D2D1_DRAW_TEXT_OPTIONS_NONE,
          DWRITE_MEASURING_MODE_NATURAL);
    }
    target->EndDraw(nullptr, nullptr);
    ::GdiFlush();
    return false;
  }
  bool ReportsTouched() const override { return false; }

 private:
  ComPtr<IDWriteTextFormat> mainFormat_;
  ComPtr<IDWriteTextFormat> symbolFormat_;
};

/// The GDI+ flat interface: fonts and string formats are made once (from a
/// memory context of the screen's resolution, as the surfaces have); each
/// pass draws through a graphics object on the surface's device context.
class GdiPlusRenderer final : public GlyphRenderer {
 public:
  GdiPlusRenderer(const GlyphFonts& fonts, const GlyphScale& scale) {
    PlatformServices::Current();  // GDI+ must be running
    UniqueDc dc(::CreateCompatibleDC(nullptr));
    THROW_HR_IF(E_FAIL, !dc);
    mainFont_ = CreateGdipFont(dc.get(), fonts.mainFont, scale.main);
    symbolFont_ = CreateGdipFont(dc.get(), fonts.symbolFont, scale.symbol);
    clipped_ = CreateCellStringFormat(0);
    // Only to measure a glyph whole: the caller clips in its place.
    unclipped_ = CreateCellStringFormat(Gdiplus::StringFormatFlagsNoClip);
    Gdiplus::GpSolidFill* brushPtr = nullptr;
    THROW_IF_GDIP_FAILED(GdipCreateSolidFill(0xFFFFFFFF, &brushPtr));
    brush_.reset(brushPtr);
  }

  bool Draw(DrawingSurface& surface, std::span<const GlyphCell> cells,
            bool clip, std::span<PixelBox>) override {
    Gdiplus::GpGraphics* graphicsPtr = nullptr;
    THROW_IF_GDIP_FAILED(GdipCreateFromHDC(SurfaceDc(surface), &graphicsPtr));
    UniqueGraphics graphics(graphicsPtr);
    THROW_IF_GDIP_FAILED(GdipSetSmoothingMode(
        graphics.get(), Gdiplus::SmoothingModeHighQuality));
    THROW_IF_GDIP_FAILED(GdipSetTextRenderingHint(
        graphics.get(), Gdiplus::TextRenderingHintAntiAliasGridFit));
    Gdiplus::GpStringFormat* format = clip ? clipped_.get() : unclipped_.get();
    for (const GlyphCell& cell : cells) {
      wchar_t unit = static_cast<wchar_t>(cell.unit);
      Gdiplus::RectF box(cell.box.left, cell.box.top, kCellWidth, kCellHeight);
      // A glyph that fails to draw is simply missing.
      GdipDrawString(
          graphics.get(), &unit, 1,
          cell.font == GlyphFont::Main ? mainFont_.get() : symbolFont_.get(),
          &box, format, brush_.get());
    }
    GdipFlush(graphics.get(), Gdiplus::FlushIntentionSync);
    ::GdiFlush();
    return false;
  }
  bool ReportsTouched() const override { return false; }

 private:
  // Deleted in reverse: brush, formats, symbol font, main font.
  UniqueGdipFont mainFont_;
  UniqueGdipFont symbolFont_;
  UniqueStringFormat clipped_;
  UniqueStringFormat unclipped_;
  UniqueBrush brush_;
};

}  // namespace

std::unique_ptr<GlyphRenderer> OpenGlyphRenderer(RenderEngine engine,
                                                 const GlyphFonts& fonts,
                                                 float fontSize,
                                                 const GlyphScale& scale) {
  if (engine == RenderEngine::GdiPlus)
    return std::make_unique<GdiPlusRenderer>(fonts, scale);
  return std::make_unique<DirectWriteRenderer>(fonts, fontSize, scale);
}

void CheckFontAvailable(const LogFont& font) {
  std::u16string face = FaceName(font);
  if (!ResolveFont(font).font)
    THROW_HR_MSG(kFontNotFound, "font not found: " + common::Utf16ToUtf8(face));
}

namespace {

/// The one unit MapCharacters asks about, as a text analysis source.
class UnitSource final : public IDWriteTextAnalysisSource {
 public:
  explicit UnitSource(wchar_t unit) : unit_(unit) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (id == __uuidof(IUnknown) || id == __uuidof(IDWriteTextAnalysisSource)) {
      *object = static_cast<IDWriteTextAnalysisSource*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // Lives on the stack of one look-up: references are not counted.
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE GetTextAtPosition(UINT32 position,
                                              const WCHAR** text,
                                              UINT32* length) override {
    *text = position == 0 ? &unit_ : nullptr;
    *length = position == 0 ? 1 : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTextBeforePosition(UINT32 position,
                                                  const WCHAR** text,
                                                  UINT32* length) override {
    *text = position == 1 ? &unit_ : nullptr;
    *length = position == 1 ? 1 : 0;
    return S_OK;
  }
  DWRITE_READING_DIRECTION STDMETHODCALLTYPE
  GetParagraphReadingDirection() override {
    return DWRITE_READING_DIRECTION_LEFT_TO_RIGHT;
  }
  HRESULT STDMETHODCALLTYPE GetLocaleName(UINT32, UINT32* length,
                                          const WCHAR** locale) override {
    // The text formats are made with the empty locale: the user's.
    *locale = L"";
    *length = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  GetNumberSubstitution(UINT32, UINT32* length,
                        IDWriteNumberSubstitution** substitution) override {
    *substitution = nullptr;
    *length = 1;
    return S_OK;
  }

 private:
  wchar_t unit_;
};

/// Coverage of a record as DirectWrite resolves it: IDWriteFont::HasCharacter
/// for the chosen font, the system font fallback for the rest (where the
/// platform has one), and otherwise the first installed family that has the
/// unit. A record DirectWrite does not resolve is asked through GDI.
class DWriteCoverage final : public FontCoverage {
 public:
  explicit DWriteCoverage(const LogFont& font)
      : resolved_(ResolveFont(font)), fonts_(SystemFonts()) {
    if (!resolved_.font) OpenGdiFont(font);
    ComPtr<IDWriteFactory2> factory2;
    if (SUCCEEDED(DWriteFactory()->QueryInterface(
            __uuidof(IDWriteFactory2),
            reinterpret_cast<void**>(factory2.GetAddressOf()))))
      factory2->GetSystemFontFallback(fallback_.GetAddressOf());
  }

  ~DWriteCoverage() override {
    // Deselect before the context, then the font, are deleted.
    if (gdiDc_ && previous_) ::SelectObject(gdiDc_.get(), previous_);
  }
  DWriteCoverage(const DWriteCoverage&) = delete;
  DWriteCoverage& operator=(const DWriteCoverage&) = delete;

  GlyphSource Find(char16_t unit, std::u16string& fallbackFace) override {
    if (ChosenHas(unit)) return GlyphSource::Chosen;
    auto it = byUnit_.find(unit);
    if (it == byUnit_.end())
      it = byUnit_.emplace(unit, FallbackFor(unit)).first;
    if (it->second.empty()) return GlyphSource::Missing;
    fallbackFace.assign(it->second.begin(), it->second.end());
    return GlyphSource::Fallback;
  }

 private:
  static bool Has(IDWriteFont* font, char16_t unit) {
    BOOL exists = FALSE;
    return SUCCEEDED(font->HasCharacter(unit, &exists)) && exists;
  }

  bool ChosenHas(char16_t unit) const {
    if (resolved_.font) return Has(resolved_.font.Get(), unit);
    if (!gdiDc_) return false;
    wchar_t text = static_cast<wchar_t>(unit);
    WORD glyph = 0xFFFF;
    return ::GetGlyphIndicesW(gdiDc_.get(), &text, 1, &glyph,
                              GGI_MARK_NONEXISTING_GLYPHS) == 1 &&
           glyph != 0xFFFF;
  }

  void OpenGdiFont(const LogFont& font) {
    LOGFONTW record = ToLogFontW(font);
    gdiFont_.reset(::CreateFontIndirectW(&record));
    gdiDc_.reset(::CreateCompatibleDC(nullptr));
    THROW_HR_IF(E_FAIL, !gdiFont_ || !gdiDc_);
    previous_ = ::SelectObject(gdiDc_.get(), gdiFont_.get());
  }

  // The family that draws a unit the chosen font lacks; empty for none.
  std::wstring FallbackFor(char16_t unit) {
    if (fallback_) {
      UnitSource source(static_cast<wchar_t>(unit));
      UINT32 mappedLength = 0;
      ComPtr<IDWriteFont> mapped;
      FLOAT scale = 1.0f;
      if (SUCCEEDED(fallback_->MapCharacters(
              &source, 0, 1, fonts_.Get(), resolved_.family.c_str(),
              resolved_.weight, resolved_.style, resolved_.stretch,
              &mappedLength, mapped.GetAddressOf(), &scale)) &&
          mapped && Has(mapped.Get(), unit))
        return FamilyNameOf(mapped.Get());
    }
    UINT32 count = fonts_->GetFontFamilyCount();
    for (UINT32 i = 0; i < count; ++i) {
      ComPtr<IDWriteFontFamily> family;
      ComPtr<IDWriteFont> font;
      if (FAILED(fonts_->GetFontFamily(i, family.GetAddressOf())) ||
          FAILED(family->GetFirstMatchingFont(
              resolved_.weight, resolved_.stretch, resolved_.style,
              font.GetAddressOf())))
        continue;
      if (Has(font.Get(), unit)) return FamilyName(family.Get());
    }
    return {};
  }

  ResolvedFont resolved_;
  ComPtr<IDWriteFontCollection> fonts_;
  ComPtr<IDWriteFontFallback> fallback_;
  UniqueGdiObject gdiFont_;
  UniqueDc gdiDc_;
  HGDIOBJ previous_ = nullptr;
  std::unordered_map<char16_t, std::wstring> byUnit_;
};

}  // namespace

std::unique_ptr<FontCoverage> OpenFontCoverage(const LogFont& font,
                                               RenderEngine) {
  PlatformServices::Current();
  return std::make_unique<DWriteCoverage>(font);
}

std::vector<InstalledFamily> ListInstalledFamilies() {
  ComPtr<IDWriteFontCollection> fonts = SystemFonts();
  FamilyWeights byName;
  for (UINT32 i = 0; i < fonts->GetFontFamilyCount(); ++i) {
    ComPtr<IDWriteFontFamily> family;
    THROW_IF_FAILED(fonts->GetFontFamily(i, family.GetAddressOf()));
    std::wstring wide = FamilyName(family.Get());
    std::set<int>& weights = byName[std::u16string(wide.begin(), wide.end())];
    for (UINT32 k = 0; k < family->GetFontCount(); ++k) {
      ComPtr<IDWriteFont> font;
      if (FAILED(family->GetFont(k, font.GetAddressOf()))) continue;
      if (font->GetSimulations() != DWRITE_FONT_SIMULATIONS_NONE) continue;
      int weight = font->GetWeight();
      weights.insert(weight);
    }
  }
  return ListedFamilies(byName);
}

std::vector<std::u16string> PreferredChineseFamilies() {
  // Windows draws Simplified Chinese user-interface text with Microsoft
  // YaHei since Vista, DengXian since Windows 10, SimHei before; a Chinese
  // Windows lists them by their Chinese names.
  return {u"Microsoft YaHei", u"微软雅黑", u"DengXian", u"等线",
          u"SimHei",          u"黑体"};
}

const char* ChineseFontAdvice() {
  // Windows ships Microsoft YaHei; a Wine or Proton prefix has no Chinese
  // face until one is installed into it or linked from the host.
  return "请选择中文字体，例如 Windows 自带的“微软雅黑”(Microsoft YaHei)；"
         "在 Wine 或 Proton 中，请先在其中安装中文字体。";
}

std::size_t CountCoveredUnits(std::u16string_view family,
                              std::u16string_view units) {
  LogFont record;
  record.weight = 400;
  SetFaceName(record, family);
  ResolvedFont resolved = ResolveFont(record);
  if (!resolved.font)
    THROW_HR_MSG(kFontNotFound,
                 "font not found: " + common::Utf16ToUtf8(FaceName(record)));
  // Only what the face really has: a unit missing from its character map
  // (controls, surrogates, non-characters, and spaces it lacks) is drawn by
  // some other face, or by none.
  return std::count_if(units.begin(), units.end(), [&](char16_t unit) {
    BOOL exists = FALSE;
    return SUCCEEDED(resolved.font->HasCharacter(unit, &exists)) && exists;
  });
}

}  // namespace render
