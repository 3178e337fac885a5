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
#include <map>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "common/result.h"
#include "common/scope_exit.h"
#include "common/text.h"
#include "render/area_scale.h"
#include "render/drawing_check.h"
#include "render/font_catalog.h"
#include "render/font_ranking.h"
#include "render/glyph_coverage.h"
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

  bool operator==(const FontFile& other) const {
    return path == other.path && index == other.index;
  }
};

/// The record's weight on the OpenType scale; 0 leaves it to the system,
/// which means normal.
int WeightOf(const LogFont& font) {
  return font.weight == 0 ? 400 : std::clamp(font.weight, 1, 1000);
}

/// What fontconfig is asked for a record: its face name, weight and slant,
/// scalable, with the configuration's substitutions applied.
UniquePattern FontPattern(const std::string& name, int weight, bool italic) {
  UniquePattern pattern(FcPatternCreate());
  THROW_HR_IF(common::kEOutOfMemory, !pattern);
  const auto* family = reinterpret_cast<const FcChar8*>(name.c_str());
  FcPatternAddString(pattern.get(), FC_FAMILY, family);
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, FcWeightFromOpenType(weight));
  FcPatternAddInteger(pattern.get(), FC_SLANT,
                      italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
  THROW_HR_IF(common::kEOutOfMemory,
              !FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern));
  FcDefaultSubstitute(pattern.get());
  return pattern;
}

/// Every installed face, best match for the pattern first. The best of the
/// sorted list is the font file's own pattern; FcFontMatch would instead
/// apply the configuration's synthesis rules, which rewrite weight and slant
/// to what was asked, while the engines decide synthesis themselves, as the
/// Windows ones do, and need the face's own.
UniqueFontSet SortFonts(FcPattern* pattern) {
  FcResult result = FcResultNoMatch;
  return UniqueFontSet(FcFontSort(nullptr, pattern, FcTrue, nullptr, &result));
}

bool HasFamily(FcPattern* match, const FcChar8* family) {
  FcChar8* matchFamily = nullptr;
  for (int i = 0;
       FcPatternGetString(match, FC_FAMILY, i, &matchFamily) == FcResultMatch;
       ++i) {
    if (FcStrCmpIgnoreCase(matchFamily, family) == 0) return true;
  }
  return false;
}

/// The file, weight and slant of a face fontconfig listed.
std::optional<FontFile> FileOf(FcPattern* match) {
  FontFile file;
  FcChar8* path = nullptr;
  if (FcPatternGetString(match, FC_FILE, 0, &path) != FcResultMatch)
    return std::nullopt;
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

/// The first family name of a face fontconfig listed.
std::u16string FamilyOf(FcPattern* match) {
  FcChar8* family = nullptr;
  if (FcPatternGetString(match, FC_FAMILY, 0, &family) != FcResultMatch)
    return u"";
  return common::Utf8ToUtf16(reinterpret_cast<const char*>(family));
}

/// Finds the face of exactly the record's face name (any of the family's
/// names, letter case aside) nearest to the asked weight and slant. A
/// substitute family would draw every glyph in a font the user never chose,
/// so a missing face is an error.
FontFile FindFontFile(const LogFont& font, bool italic) {
  std::string name = common::Utf16ToUtf8(FaceName(font));
  if (name.empty()) THROW_HR_MSG(kFontNotFound, "no font face name");
  UniquePattern pattern = FontPattern(name, WeightOf(font), italic);
  UniqueFontSet sorted = SortFonts(pattern.get());
  FcPattern* match =
      sorted && sorted.get()->nfont > 0 ? sorted.get()->fonts[0] : nullptr;
  const auto* family = reinterpret_cast<const FcChar8*>(name.c_str());
  if (!match || !HasFamily(match, family))
    THROW_HR_MSG(kFontNotFound, "font not found: " + name);
  std::optional<FontFile> file = FileOf(match);
  THROW_HR_IF(kFontNotFound, !file);
  return *file;
}

/// How one engine draws: which record fields count, hinting, placement.
enum class Engine { DirectWrite, GdiPlus };

Engine EngineOf(RenderEngine engine) {
  return engine == RenderEngine::GdiPlus ? Engine::GdiPlus
                                         : Engine::DirectWrite;
}

/// Only GDI+ sees the record's italic flag.
bool WantsItalic(const LogFont& font, Engine engine) {
  return engine == Engine::GdiPlus && font.italic != 0;
}

/// One opened face, sized, with the metrics that place its line.
class GlyphFace {
 public:
  /// The face in `file` drawn for the record `font`: the record's size,
  /// and bold or slant simulated where the file lacks them.
  GlyphFace(FT_Library library, const LogFont& font, const FontFile& file,
            Engine engine, float fontSize, float scale)
      : engine_(engine) {
    FT_Face face = nullptr;
    ThrowIfFreeTypeFailed(
        FT_New_Face(library, file.path.c_str(), file.index, &face),
        "FT_New_Face");
    face_.reset(face);
    THROW_HR_IF(kFontNotFound, !FT_IS_SCALABLE(face));
    // Both Windows engines simulate bold for a family without a bold face;
    // only GDI+ sees the italic flag, and slants a family without italics.
    embolden_ = WeightOf(font) >= 600 && file.weight < 600;
    oblique_ = WantsItalic(font, engine) && !file.italic;
    ReadMetrics();
    float emSize =
        (engine == Engine::DirectWrite ? fontSize : EmSize(font)) * scale;
    ThrowIfFreeTypeFailed(
        FT_Set_Char_Size(face, 0, std::lround(emSize * 64.0f), 72, 72),
        "FT_Set_Char_Size");
    float toPixels = emSize / face->units_per_EM;
    ascent_ *= toPixels;
    descent_ *= toPixels;
    lineGap_ *= toPixels;
  }

  bool HasGlyph(char16_t unit) const {
    return FT_Get_Char_Index(face_.get(), unit) != 0;
  }

  /// Draws one code unit in its cell box, inside the box only with `clip`,
  /// and returns the pixels its bitmap covers (clipped or not). Draws
  /// nothing for a glyph FreeType cannot load.
  PixelBox Draw(const GlyphCell& cell, DrawingSurface& surface,
                bool clip) const;

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
    return static_cast<float>(font.height * face_.get()->units_per_EM) /
           (ascent_ + descent_);
  }

  Engine engine_;
  UniqueFace face_;
  bool embolden_ = false;
  bool oblique_ = false;
  float ascent_ = 0;
  float descent_ = 0;
  float lineGap_ = 0;
};

/// Composites white of the given coverage over the pixels inside `clip`,
/// premultiplied: every channel becomes c + d x (255 - c) / 255.
void CompositeWhite(const FT_Bitmap& bitmap, int left, int top, PixelBox clip,
                    DrawingSurface& surface) {
  const int width = static_cast<int>(surface.width());
  std::byte* pixels = surface.pixels().data();
  for (int y = 0; y < static_cast<int>(bitmap.rows); ++y) {
    int canvasY = top + y;
    if (canvasY < clip.top || canvasY >= clip.bottom) continue;
    const unsigned char* row = bitmap.buffer + y * bitmap.pitch;
    for (int x = 0; x < static_cast<int>(bitmap.width); ++x) {
      int canvasX = left + x;
      unsigned c = row[x];
      if (c == 0 || canvasX < clip.left || canvasX >= clip.right) continue;
      std::byte* pixel = pixels + (std::size_t(canvasY) * width + canvasX) * 4;
      for (int k = 0; k < 4; ++k) {
        unsigned d = static_cast<unsigned>(pixel[k]);
        pixel[k] = static_cast<std::byte>(c + (d * (255 - c) + 127) / 255);
      }
    }
  }
}

PixelBox GlyphFace::Draw(const GlyphCell& cell, DrawingSurface& surface,
                         bool clip) const {
  FT_Face face = face_.get();
  bool hinted = engine_ == Engine::GdiPlus;
  FT_Int32 flags =
      FT_LOAD_NO_BITMAP | (hinted ? FT_LOAD_TARGET_NORMAL : FT_LOAD_NO_HINTING);
  if (FT_Load_Glyph(face, FT_Get_Char_Index(face, cell.unit), flags) != 0)
    return {};
  FT_GlyphSlot slot = face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return {};
  FT_Pos advanceBefore = slot->advance.x;
  if (embolden_) FT_GlyphSlot_Embolden(slot);
  if (oblique_) FT_GlyphSlot_Oblique(slot);

  float penX = 0;
  float baseline = 0;
  PixelBox bounds{0, 0, static_cast<int>(surface.width()),
                  static_cast<int>(surface.height())};
  if (clip) {
    bounds = {std::max(bounds.left, static_cast<int>(cell.box.left)),
              std::max(bounds.top, static_cast<int>(cell.box.top)),
              std::min(bounds.right, static_cast<int>(cell.box.right)),
              std::min(bounds.bottom, static_cast<int>(cell.box.bottom))};
  }
  if (hinted) {
    // GDI+ centres the whole line box and fits it to the pixel grid.
    float advance = static_cast<float>(slot->advance.x) / 64.0f;
    float lineHeight = ascent_ + descent_ + lineGap_;
    penX = std::round(cell.box.left + (kCellWidth - advance) / 2);
    baseline =
        std::round(cell.box.top + (kCellHeight - lineHeight) / 2 + ascent_);
  } else {
    // DirectWrite with natural measuring keeps fractional advances, and far
    // paragraph alignment puts the line's bottom on the box's bottom.
    // Direct2D without D2D1_DRAW_TEXT_OPTIONS_NO_SNAP snaps the baseline to
    // whole pixels vertically.
    float advance = static_cast<float>(slot->linearHoriAdvance) / 65536.0f +
                    static_cast<float>(slot->advance.x - advanceBefore) / 64.0f;
    penX = cell.box.left + (kCellWidth - advance) / 2;
    baseline = std::round(cell.box.bottom - descent_ - lineGap_);
  }
  float wholeX = std::floor(penX);
  float wholeY = std::floor(baseline);
  // FreeType's y axis points up; the canvas's down.
  FT_Outline_Translate(&slot->outline, std::lround((penX - wholeX) * 64),
                       -std::lround((baseline - wholeY) * 64));
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return {};
  int left = static_cast<int>(wholeX) + slot->bitmap_left;
  int top = static_cast<int>(wholeY) - slot->bitmap_top;
  CompositeWhite(slot->bitmap, left, top, bounds, surface);
  return {left, top, left + static_cast<int>(slot->bitmap.width),
          top + static_cast<int>(slot->bitmap.rows)};
}

/// A chosen font and the faces that stand in for it, as DirectWrite's
/// system font fallback and GDI+'s font linking do on Windows: a unit the
/// chosen face lacks is drawn with the best installed face that has it, at
/// the same size and in the same box. The best is the first in fontconfig's
/// order for the chosen face's own pattern (family, then the configured
/// fallback families, language, weight and slant) whose character set has
/// the unit: what a sort by the pattern with the unit in its character set
/// would put first, from one sort instead of one per unit.
class FaceChain {
 public:
  FaceChain(FT_Library library, const LogFont& font, Engine engine,
            float fontSize, float scale = 1.0f)
      : library_(library),
        font_(font),
        engine_(engine),
        fontSize_(fontSize),
        scale_(scale),
        chosenFile_(FindFontFile(font, WantsItalic(font, engine))),
        chosen_(library, font, chosenFile_, engine, fontSize, scale) {}

  const GlyphFace& chosen() const { return chosen_; }

  /// The face that draws `unit`: the chosen one when it has the glyph,
  /// else the best fallback; null when no installed face has it, or for a
  /// unit that leaves no ink anyway. Sets `faceName` for a fallback.
  const GlyphFace* FaceFor(char16_t unit, std::u16string* faceName = nullptr) {
    if (chosen_.HasGlyph(unit)) return &chosen_;
    if (IsInkless(unit)) return nullptr;
    auto it = byUnit_.find(unit);
    if (it == byUnit_.end())
      it = byUnit_.emplace(unit, FindFallback(unit)).first;
    if (faceName && it->second.face) *faceName = it->second.name;
    return it->second.face;
  }

 private:
  struct Fallback {
    const GlyphFace* face = nullptr;
    std::u16string name;
  };

  Fallback FindFallback(char16_t unit) {
    if (!sorted_) {
      bool italic = WantsItalic(font_, engine_);
      UniquePattern pattern = FontPattern(common::Utf16ToUtf8(FaceName(font_)),
                                          WeightOf(font_), italic);
      sorted_ = SortFonts(pattern.get());
      THROW_HR_IF(common::kEOutOfMemory, !sorted_);
    }
    FcFontSet* set = sorted_.get();
    for (int i = 0; i < set->nfont; ++i) {
      FcPattern* candidate = set->fonts[i];
      FcCharSet* charset = nullptr;
      FcBool scalable = FcTrue;
      if (FcPatternGetCharSet(candidate, FC_CHARSET, 0, &charset) !=
              FcResultMatch ||
          !FcCharSetHasChar(charset, unit))
        continue;
      FcPatternGetBool(candidate, FC_SCALABLE, 0, &scalable);
      std::optional<FontFile> file = FileOf(candidate);
      if (!scalable || !file || *file == chosenFile_) continue;
      const GlyphFace* face = Open(*file);
      if (face && face->HasGlyph(unit)) return {face, FamilyOf(candidate)};
    }
    return {};
  }

  // Each fallback file is opened once, however many units it draws; a file
  // FreeType cannot open is passed over.
  const GlyphFace* Open(const FontFile& file) {
    auto key = std::make_pair(file.path, file.index);
    auto it = opened_.find(key);
    if (it == opened_.end()) {
      std::unique_ptr<GlyphFace> face;
      try {
        face = std::make_unique<GlyphFace>(library_, font_, file, engine_,
                                           fontSize_, scale_);
      } catch (const common::ResultException&) {
        LOG_CAUGHT_EXCEPTION();
      }
      it = opened_.emplace(key, std::move(face)).first;
    }
    return it->second.get();
  }

  FT_Library library_;
  LogFont font_;
  Engine engine_;
  float fontSize_;
  float scale_;
  FontFile chosenFile_;
  GlyphFace chosen_;
  UniqueFontSet sorted_;
  std::unordered_map<char16_t, Fallback> byUnit_;
  std::map<std::pair<std::string, int>, std::unique_ptr<GlyphFace>> opened_;
};

FT_Library Library() {
  return PlatformServices::Current().state().freetype.get();
}

class FreeTypeRenderer final : public GlyphRenderer {
 public:
  FreeTypeRenderer(const GlyphFonts& fonts, Engine engine, float fontSize,
                   const GlyphScale& scale)
      : main_(Library(), fonts.mainFont, engine, fontSize, scale.main),
        symbol_(Library(), fonts.symbolFont, engine, fontSize, scale.symbol) {}

  bool Draw(DrawingSurface& surface, std::span<const GlyphCell> cells,
            bool clip, std::span<PixelBox> touched) override {
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const GlyphCell& cell = cells[i];
      FaceChain& chain = cell.font == GlyphFont::Main ? main_ : symbol_;
      // Never the chosen face's .notdef box: a unit no face has stays blank.
      PixelBox drawn;
      if (const GlyphFace* face = chain.FaceFor(cell.unit))
        drawn = face->Draw(cell, surface, clip);
      if (i < touched.size()) touched[i] = drawn;
    }
    return touched.size() >= cells.size();
  }
  bool ReportsTouched() const override { return true; }

 private:
  FaceChain main_;
  FaceChain symbol_;
};

class ChainCoverage final : public FontCoverage {
 public:
  ChainCoverage(const LogFont& font, Engine engine)
      : chain_(Library(), font, engine, kGlyphFontSize) {}

  GlyphSource Find(char16_t unit, std::u16string& fallbackFace) override {
    if (chain_.chosen().HasGlyph(unit)) return GlyphSource::Chosen;
    return chain_.FaceFor(unit, &fallbackFace) ? GlyphSource::Fallback
                                               : GlyphSource::Missing;
  }

 private:
  FaceChain chain_;
};

}  // namespace

std::unique_ptr<GlyphRenderer> OpenGlyphRenderer(RenderEngine engine,
                                                 const GlyphFonts& fonts,
                                                 float fontSize,
                                                 const GlyphScale& scale) {
  return std::make_unique<FreeTypeRenderer>(fonts, EngineOf(engine), fontSize,
                                            scale);
}

void CheckFontAvailable(const LogFont& font) {
  PlatformServices::Current();
  FindFontFile(font, font.italic != 0);
}

std::unique_ptr<FontCoverage> OpenFontCoverage(const LogFont& font,
                                               RenderEngine engine) {
  return std::make_unique<ChainCoverage>(font, EngineOf(engine));
}

std::vector<InstalledFamily> ListInstalledFamilies() {
  PlatformServices::Current();
  UniquePattern pattern(FcPatternCreate());
  THROW_HR_IF(common::kEOutOfMemory, !pattern);
  FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
  std::unique_ptr<FcObjectSet, decltype(&FcObjectSetDestroy)> objects(
      FcObjectSetBuild(FC_FAMILY, FC_WEIGHT, nullptr), &FcObjectSetDestroy);
  THROW_HR_IF(common::kEOutOfMemory, !objects);
  UniqueFontSet listed(FcFontList(nullptr, pattern.get(), objects.get()));
  THROW_HR_IF(common::kEOutOfMemory, !listed);
  FamilyWeights byName;
  for (int i = 0; i < listed.get()->nfont; ++i) {
    FcPattern* face = listed.get()->fonts[i];
    std::u16string name = FamilyOf(face);
    if (name.empty()) continue;
    std::set<int>& weights = byName[name];
    double fcWeight = FC_WEIGHT_REGULAR;
    if (FcPatternGetDouble(face, FC_WEIGHT, 0, &fcWeight) != FcResultMatch) {
      int whole = FC_WEIGHT_REGULAR;
      FcPatternGetInteger(face, FC_WEIGHT, 0, &whole);
      fcWeight = whole;
    }
    int weight = static_cast<int>(FcWeightToOpenTypeDouble(fcWeight));
    weights.insert(weight);
  }
  return ListedFamilies(byName);
}

std::vector<std::u16string> PreferredChineseFamilies() {
  PlatformServices::Current();
  UniquePattern pattern(
      FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif:lang=zh-cn")));
  THROW_HR_IF(common::kEOutOfMemory, !pattern);
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  UniquePattern match(FcFontMatch(nullptr, pattern.get(), &result));
  if (!match) return {};
  std::u16string family = FamilyOf(match.get());
  if (family.empty()) return {};
  return {family};
}

const char* ChineseFontAdvice() {
  return "请先安装中文字体，例如 Debian、Ubuntu 和 SteamOS 的 fonts-noto-cjk "
         "或 "
         "fonts-wqy-microhei 软件包，再重新运行。";
}

std::size_t CountCoveredUnits(std::u16string_view family,
                              std::u16string_view units) {
  LogFont font;
  font.weight = 400;
  SetFaceName(font, family);
  FontFile file = FindFontFile(font, false);
  FT_Face face = nullptr;
  ThrowIfFreeTypeFailed(
      FT_New_Face(Library(), file.path.c_str(), file.index, &face),
      "FT_New_Face");
  UniqueFace owner(face);
  // Only what the face really has: a unit missing from its character map
  // (controls, surrogates, non-characters, and spaces it lacks) is drawn by
  // some other face, or by none.
  return std::count_if(units.begin(), units.end(), [&](char16_t unit) {
    return FT_Get_Char_Index(face, unit) != 0;
  });
}

}  // namespace render
