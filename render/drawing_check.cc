#include "render/drawing_check.h"

#include <algorithm>
#include <string>

#include "common/result.h"

namespace render {
namespace {

// Any byte that differs from zero: the engines draw on a zero-filled
// canvas, and an unpremultiplied engine may leave alpha and colour apart.
bool CellHasInk(std::span<const std::byte> pixels, std::uint32_t width,
                std::uint32_t height, const CellBox& box) {
  auto left = static_cast<std::uint32_t>(box.left);
  auto top = static_cast<std::uint32_t>(box.top);
  std::uint32_t right = std::min(static_cast<std::uint32_t>(box.right), width);
  std::uint32_t bottom =
      std::min(static_cast<std::uint32_t>(box.bottom), height);
  if (left >= right) return false;
  for (std::uint32_t y = top; y < bottom; ++y) {
    const std::byte* row = pixels.data() + (std::size_t(y) * width + left) * 4;
    const std::byte* end = row + std::size_t(right - left) * 4;
    if (std::any_of(row, end, [](std::byte b) { return b != std::byte{0}; }))
      return true;
  }
  return false;
}

void AddFallback(std::vector<FallbackUse>& uses, const std::u16string& face,
                 char16_t unit) {
  auto it = std::find_if(uses.begin(), uses.end(), [&](const FallbackUse& use) {
    return use.face == face;
  });
  if (it == uses.end()) it = uses.insert(uses.end(), FallbackUse{face, {}});
  it->units += unit;
}

}  // namespace

std::size_t GlyphFindings::FallbackCount() const {
  std::size_t count = 0;
  for (const FallbackUse& use : fallback) count += use.units.size();
  return count;
}

void GlyphFindings::Add(const FitReport& report, const GlyphFonts& fonts) {
  cut += report.cut;
  bled += report.bled;
  alone.insert(alone.end(), report.alone.begin(), report.alone.end());
  for (GlyphFont font : {GlyphFont::Main, GlyphFont::Symbol}) {
    const FontPlacement& placement = report.placement.Of(font);
    if (placement.IsEngines()) continue;
    adjustments.push_back(
        {font,
         FaceName(font == GlyphFont::Main ? fonts.mainFont : fonts.symbolFont),
         placement});
  }
}

const char* EngineName(RenderEngine engine) {
  return engine == RenderEngine::GdiPlus ? "GDI+" : "DirectWrite";
}

std::vector<GlyphSource> SourcesOf(const GlyphCoverage& coverage) {
  std::vector<GlyphSource> sources;
  sources.reserve(coverage.cells.size());
  for (const CellCoverage& entry : coverage.cells)
    sources.push_back(entry.source);
  return sources;
}

void CheckChineseCovered(const GlyphCoverage& coverage) {
  std::size_t ideographs = 0, missing = 0;
  for (const CellCoverage& entry : coverage.cells) {
    char16_t unit = entry.cell.unit;
    if (unit < 0x4E00 || unit > 0x9FFF) continue;
    ++ideographs;
    missing += entry.source == GlyphSource::Missing;
  }
  if (ideographs == 0 || missing * 2 <= ideographs) return;
  THROW_HR_MSG(common::kEFail,
               "没有安装中文字体：字符表的 " + std::to_string(ideographs) +
                   " 个汉字中有 " + std::to_string(missing) +
                   " 个任何已安装的字体都没有，贴图上将是一片空白。" +
                   ChineseFontAdvice());
}

namespace {

// The findings of a drawing, given which cells got ink.
template <typename HasInk>
GlyphFindings CheckCells(GlyphCoverage& coverage, RenderEngine engine,
                         const FitReport& drawn, HasInk hasInk) {
  // A fallback the engine did not find drew the .notdef box, which the
  // drawing left out: the cell is blank, as for a unit no face has.
  for (CellCoverage& entry : coverage.cells) {
    if (entry.source == GlyphSource::Fallback &&
        drawn.notdef.find(entry.cell.unit) != std::u16string::npos) {
      entry.source = GlyphSource::Missing;
      entry.fallbackFace.clear();
    }
  }
  GlyphFindings findings;
  findings.overflow = coverage.overflow;
  std::size_t drawable = 0, inked = 0, chosen = 0, outside = 0;
  for (std::size_t i = 0; i < coverage.cells.size(); ++i) {
    const CellCoverage& entry = coverage.cells[i];
    char16_t unit = entry.cell.unit;
    if (entry.source == GlyphSource::Missing) {
      findings.missing += unit;
      continue;
    }
    if (entry.source == GlyphSource::Fallback)
      AddFallback(findings.fallback, entry.fallbackFace, unit);
    if (IsInkless(unit)) continue;
    ++drawable;
    chosen += entry.source == GlyphSource::Chosen;
    if (hasInk(i, entry)) {
      ++inked;
    } else {
      findings.blank += unit;
      outside += drawn.cut.find(unit) != std::u16string::npos;
    }
  }
  // A few empty cells are a font's own business (a glyph that is really
  // blank); an engine that drew nothing, or hardly anything, failed, and so
  // did a drawing whose cells are mostly blank for want of any face.
  std::size_t empty = drawable - inked;
  std::size_t shown = drawable + findings.missing.size();
  if ((chosen > 0 && inked == 0) ||
      (empty + findings.missing.size()) * 2 > shown) {
    std::string advice;
    if (outside * 2 > empty) {
      // Drawn, but outside the cells: the engine's own placement was kept.
      advice = "：字形画在了各自的格子之外，请使用默认的自动适配";
    } else if (engine == RenderEngine::GdiPlus && empty * 2 > drawable) {
      // GDI+ under Wine draws no glyph as wide as an ideograph; DirectWrite
      // is the engine that works there.
      advice = "，请改用 DirectWrite 引擎";
    } else if (empty * 2 <= drawable) {
      advice = "；任何已安装的字体都没有 " +
               std::to_string(findings.missing.size()) +
               " 个字符，请选择含有这些字符的字体";
    }
    THROW_HR_MSG(common::kEFail,
                 std::string(EngineName(engine)) + " 引擎没有画出字形：" +
                     std::to_string(shown) + " 个应有笔画的格子中有 " +
                     std::to_string(empty + findings.missing.size()) +
                     " 个是空的" + advice);
  }
  return findings;
}

}  // namespace

GlyphFindings CheckDrawing(std::span<const std::byte> pixels,
                           std::uint32_t width, std::uint32_t height,
                           GlyphCoverage coverage, RenderEngine engine,
                           const FitReport& drawn) {
  return CheckCells(coverage, engine, drawn,
                    [&](std::size_t, const CellCoverage& entry) {
                      return CellHasInk(pixels, width, height, entry.cell.box);
                    });
}

GlyphFindings CheckDrawing(const FitReport& drawn, GlyphCoverage coverage,
                           RenderEngine engine) {
  return CheckCells(coverage, engine, drawn,
                    [&](std::size_t i, const CellCoverage&) {
                      return i < drawn.inked.size() && drawn.inked[i];
                    });
}

}  // namespace render
