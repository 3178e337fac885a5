// FreeType and fontconfig standing in for DirectWrite and GDI+. Both engines
// share font lookup, rasterising and compositing; they differ where the two
// Windows engines differ: which fields of the font record count, hinting,
// and where the line sits in the 66-pixel box.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <new>
#include <string>

#include "common/result.h"
#include "common/scope_exit.h"
#include "common/text.h"
#include "render/area_scale.h"
#include "render/platform_services-linux.h"
#include "render/text_engine.h"

namespace render {

struct DrawingSurface::Platform {
  std::vector<std::byte> bytes;
};

DrawingSurface::DrawingSurface(std::uint32_t width, std::uint32_t height)
    : platform_(std::make_unique<Platform>()) {
  try {
    platform_->bytes.resize(std::size_t{width} * height * 4);
  } catch (const std::bad_alloc&) {
    THROW_HR(common::kEOutOfMemory);
  } catch (const std::length_error&) {
    THROW_HR(common::kEOutOfMemory);
  }
  width_ = width;
  height_ = height;
  pixels_ = platform_->bytes;
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
  std::vector<std::byte> bytes;
  if (platform_) bytes = std::move(platform_->bytes);
  width_ = height_ = 0;
  pixels_ = {};
  return bytes;
}

DrawingSurface ScaleSurface(const DrawingSurface& source, std::uint32_t width,
                            std::uint32_t height) {
  DrawingSurface target(width, height);
  ScaleAreaAverage(source.pixels(), source.width(), source.height(),
                   target.pixels(), width, height);
  return target;
}

namespace {

struct PatternTraits {
  using Type = FcPattern*;
  static Type Invalid() { return nullptr; }
  static void Close(Type pattern) { FcPatternDestroy(pattern); }
};
using UniquePattern = common::UniqueHandle<PatternTraits>;

struct FontSetTraits {
  using Type = FcFontSet*;
  static Type Invalid() { return nullptr; }
  static void Close(Type set) { FcFontSetDestroy(set); }
};
using UniqueFontSet = common::UniqueHandle<FontSetTraits>;

struct FaceTraits {
  using Type = FT_Face;
  static Type Invalid() { return nullptr; }
  static void Close(Type face) { FT_Done_Face(face); }
};
using UniqueFace = common::UniqueHandle<FaceTraits>;

/// FreeType reports failures as small positive numbers with no HRESULT of
/// their own.
void ThrowIfFreeTypeFailed(FT_Error error, const char* what) {
  if (error != 0) {
    THROW_HR_MSG(common::kEFail, std::string(what) + ": FreeType error " +
                                     std::to_string(error));
  }
}

/// A font file that fontconfig found for a face name.
struct FontFile {
  std::string path;
  int index = 0;
  int weight = 400;  ///< on the OpenType 100 to 900 scale
  bool italic = false;
};

/// Finds the face of exactly the record's face name (any of the family's
/// names, letter case aside) nearest to the asked weight and slant. A
/// substitute family would draw every glyph in a font the user never chose,
/// so a missing face is an error.
FontFile FindFontFile(const LogFont& font, bool italic) {
  std::string name = common::Utf16ToUtf8(FaceName(font));
  if (name.empty()) THROW_HR_MSG(kFontNotFound, "no font face name");
  UniquePattern pattern(FcPatternCreate());
  THROW_HR_IF(common::kEOutOfMemory, !pattern);
  const auto* family = reinterpret_cast<const FcChar8*>(name.c_str());
  int weight = font.weight == 0 ? 400 : std::clamp(font.weight, 1, 1000);
  FcPatternAddString(pattern.get(), FC_FAMILY, family);
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, FcWeightFromOpenType(weight));
  FcPatternAddInteger(pattern.get(), FC_SLANT,
                      italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
  THROW_HR_IF(common::kEOutOfMemory,
              !FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern));
  FcDefaultSubstitute(pattern.get());
  // The best of the sorted list is the font file's own pattern. FcFontMatch
  // would instead apply the configuration's synthesis rules, which rewrite
  // weight and slant to what was asked; the engines decide synthesis
  // themselves, as the Windows ones do, so they need the face's own.
  FcResult result = FcResultNoMatch;
  UniqueFontSet sorted(
      FcFontSort(nullptr, pattern.get(), FcTrue, nullptr, &result));
  FcPattern* match =
      sorted && sorted.get()->nfont > 0 ? sorted.get()->fonts[0] : nullptr;

  bool sameFamily = false;
  FcChar8* matchFamily = nullptr;
  for (int i = 0;
       match && !sameFamily &&
       FcPatternGetString(match, FC_FAMILY, i, &matchFamily) == FcResultMatch;
       ++i) {
    sameFamily = FcStrCmpIgnoreCase(matchFamily, family) == 0;
  }
  if (!sameFamily) THROW_HR_MSG(kFontNotFound, "font not found: " + name);

  FontFile file;
  FcChar8* path = nullptr;
  THROW_HR_IF(kFontNotFound,
              FcPatternGetString(match, FC_FILE, 0, &path) != FcResultMatch);
  file.path = reinterpret_cast<const char*>(path);
  FcPatternGetInteger(match, FC_INDEX, 0, &file.index);
  double fcWeight = FC_WEIGHT_REGULAR;
  if (FcPatternGetDouble(match, FC_WEIGHT, 0, &fcWeight) != FcResultMatch) {
    int whole = FC_WEIGHT_REGULAR;
    FcPatternGetInteger(match, FC_WEIGHT, 0, &whole);
    fcWeight = whole;
  }
  file.weight = static_cast<int>(FcWeightToOpenTypeDouble(fcWeight));
  int slant = FC_SLANT_ROMAN;
  FcPatternGetInteger(match, FC_SLANT, 0, &slant);
  file.italic = slant != FC_SLANT_ROMAN;
  return file;
}

/// How one engine draws: which record fields count, hinting, placement.
enum class Engine { DirectWrite, GdiPlus };

/// One opened face, sized, with the metrics that place its line.
class GlyphFace {
 public:
  GlyphFace(FT_Library library, const LogFont& font, Engine engine,
            float fontSize)
      : engine_(engine) {
    bool wantItalic = engine == Engine::GdiPlus && font.italic != 0;
    FontFile file = FindFontFile(font, wantItalic);
    FT_Face face = nullptr;
    ThrowIfFreeTypeFailed(
        FT_New_Face(library, file.path.c_str(), file.index, &face),
        "FT_New_Face");
    face_.reset(face);
    THROW_HR_IF(kFontNotFound, !FT_IS_SCALABLE(face));
    int weight = font.weight == 0 ? 400 : font.weight;
    // Both Windows engines simulate bold for a family without a bold face;
    // only GDI+ sees the italic flag, and slants a family without italics.
    embolden_ = weight >= 600 && file.weight < 600;
    oblique_ = wantItalic && !file.italic;
    ReadMetrics();
    float emSize = engine == Engine::DirectWrite ? fontSize : EmSize(font);
    ThrowIfFreeTypeFailed(
        FT_Set_Char_Size(face, 0, std::lround(emSize * 64.0f), 72, 72),
        "FT_Set_Char_Size");
    float scale = emSize / face->units_per_EM;
    ascent_ *= scale;
    descent_ *= scale;
    lineGap_ *= scale;
  }

  /// Draws one code unit in its cell box; a unit the face lacks draws the
  /// face's .notdef glyph. Draws nothing for a glyph FreeType cannot load.
  void Draw(const GlyphCell& cell, DrawingSurface& surface) const;

 private:
  /// Ascent, descent and line gap in font units, the way the Windows engines
  /// read them: the OS/2 Windows metrics when present, with whatever the
  /// horizontal header's line spacing adds beyond them as the gap.
  void ReadMetrics() {
    FT_Face face = face_.get();
    ascent_ = face->ascender;
    descent_ = -face->descender;
    auto* hhea =
        static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    lineGap_ = hhea ? hhea->Line_Gap : face->height - ascent_ - descent_;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF &&
        os2->usWinAscent + os2->usWinDescent > 0) {
      float spacing = ascent_ + descent_ + lineGap_;
      ascent_ = os2->usWinAscent;
      descent_ = os2->usWinDescent;
      lineGap_ = std::max(0.0f, spacing - ascent_ - descent_);
    }
  }

  /// The record's height: negative is the character (em) height, positive
  /// the cell height (ascent plus descent), 0 the height this system uses.
  float EmSize(const LogFont& font) const {
    if (font.height < 0) return static_cast<float>(-font.height);
    if (font.height == 0) return kGlyphFontSize;
    return font.height * face_.get()->units_per_EM / (ascent_ + descent_);
  }

  Engine engine_;
  UniqueFace face_;
  bool embolden_ = false;
  bool oblique_ = false;
  float ascent_ = 0;
  float descent_ = 0;
  float lineGap_ = 0;
};

/// Composites white of the given coverage over the pixels, premultiplied:
/// every channel becomes c + d x (255 - c) / 255.
void CompositeWhite(const FT_Bitmap& bitmap, int left, int top,
                    DrawingSurface& surface) {
  const int width = static_cast<int>(surface.width());
  const int height = static_cast<int>(surface.height());
  std::byte* pixels = surface.pixels().data();
  for (int y = 0; y < static_cast<int>(bitmap.rows); ++y) {
    int canvasY = top + y;
    if (canvasY < 0 || canvasY >= height) continue;
    const unsigned char* row = bitmap.buffer + y * bitmap.pitch;
    for (int x = 0; x < static_cast<int>(bitmap.width); ++x) {
      int canvasX = left + x;
      unsigned c = row[x];
      if (c == 0 || canvasX < 0 || canvasX >= width) continue;
      std::byte* pixel = pixels + (std::size_t(canvasY) * width + canvasX) * 4;
      for (int k = 0; k < 4; ++k) {
        unsigned d = static_cast<unsigned>(pixel[k]);
        pixel[k] = static_cast<std::byte>(c + (d * (255 - c) + 127) / 255);
      }
    }
  }
}

void GlyphFace::Draw(const GlyphCell& cell, DrawingSurface& surface) const {
  FT_Face face = face_.get();
  bool hinted = engine_ == Engine::GdiPlus;
  FT_Int32 flags =
      FT_LOAD_NO_BITMAP | (hinted ? FT_LOAD_TARGET_NORMAL : FT_LOAD_NO_HINTING);
  if (FT_Load_Glyph(face, FT_Get_Char_Index(face, cell.unit), flags) != 0)
    return;
  FT_GlyphSlot slot = face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return;
  FT_Pos advanceBefore = slot->advance.x;
  if (embolden_) FT_GlyphSlot_Embolden(slot);
  if (oblique_) FT_GlyphSlot_Oblique(slot);

  float penX = 0;
  float baseline = 0;
  if (hinted) {
    // GDI+ centres the whole line box and fits it to the pixel grid.
    float advance = slot->advance.x / 64.0f;
    float lineHeight = ascent_ + descent_ + lineGap_;
    penX = std::round(cell.box.left + (kCellWidth - advance) / 2);
    baseline =
        std::round(cell.box.top + (kCellHeight - lineHeight) / 2 + ascent_);
  } else {
    // DirectWrite with natural measuring keeps fractional advances, and far
    // paragraph alignment puts the line's bottom on the box's bottom.
    float advance = slot->linearHoriAdvance / 65536.0f +
                    (slot->advance.x - advanceBefore) / 64.0f;
    penX = cell.box.left + (kCellWidth - advance) / 2;
    baseline = cell.box.bottom - descent_ - lineGap_;
  }
  float wholeX = std::floor(penX);
  float wholeY = std::floor(baseline);
  // FreeType's y axis points up; the canvas's down.
  FT_Outline_Translate(&slot->outline, std::lround((penX - wholeX) * 64),
                       -std::lround((baseline - wholeY) * 64));
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return;
  CompositeWhite(slot->bitmap, static_cast<int>(wholeX) + slot->bitmap_left,
                 static_cast<int>(wholeY) - slot->bitmap_top, surface);
}

void DrawGlyphs(DrawingSurface& surface, const GlyphFonts& fonts,
                GlyphGrid grid, bool curlyQuotes, float fontSize,
                std::u16string_view text, Engine engine) {
  FT_Library library = PlatformServices::Current().state().freetype.get();
  GlyphFace mainFace(library, fonts.mainFont, engine, fontSize);
  GlyphFace symbolFace(library, fonts.symbolFont, engine, fontSize);
  WalkGlyphCells(text, grid, curlyQuotes, [&](const GlyphCell& cell) {
    (cell.font == GlyphFont::Main ? mainFace : symbolFace).Draw(cell, surface);
  });
}

}  // namespace

void DrawGlyphsDirectWrite(DrawingSurface& surface, const GlyphFonts& fonts,
                           GlyphGrid grid, bool curlyQuotes, float fontSize,
                           std::u16string_view text) {
  DrawGlyphs(surface, fonts, grid, curlyQuotes, fontSize, text,
             Engine::DirectWrite);
}

void DrawGlyphsGdiPlus(DrawingSurface& surface, const GlyphFonts& fonts,
                       GlyphGrid grid, bool curlyQuotes,
                       std::u16string_view text) {
  DrawGlyphs(surface, fonts, grid, curlyQuotes, kGlyphFontSize, text,
             Engine::GdiPlus);
}

void CheckFontAvailable(const LogFont& font) {
  PlatformServices::Current();
  FindFontFile(font, font.italic != 0);
}

}  // namespace render
