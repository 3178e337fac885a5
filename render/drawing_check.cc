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

namespace {

// The findings of a drawing, given which cells got ink.
template <typename HasInk>
GlyphFindings CheckCells(const GlyphCoverage& coverage, RenderEngine engine,
                         HasInk hasInk) {
  GlyphFindings findings;
  findings.overflow = coverage.overflow;
  std::size_t drawable = 0, inked = 0, chosen = 0;
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
    }
  }
  // A few empty cells are a font's own business (a glyph that is really
  // blank); an engine that drew nothing, or hardly anything, failed.
  std::size_t empty = drawable - inked;
  if ((chosen > 0 && inked == 0) || empty * 2 > drawable) {
    // GDI+ under Wine draws no glyph as wide as an ideograph; DirectWrite
    // is the engine that works there.
    std::string advice =
        engine == RenderEngine::GdiPlus ? "，请改用 DirectWrite 引擎" : "";
    THROW_HR_MSG(common::kEFail,
                 std::string(EngineName(engine)) + " 引擎没有画出字形：" +
                     std::to_string(drawable) + " 个应有笔画的格子中有 " +
                     std::to_string(empty) + " 个是空的" + advice);
  }
  return findings;
}

}  // namespace

GlyphFindings CheckDrawing(std::span<const std::byte> pixels,
                           std::uint32_t width, std::uint32_t height,
                           const GlyphCoverage& coverage, RenderEngine engine) {
  return CheckCells(coverage, engine,
                    [&](std::size_t, const CellCoverage& entry) {
                      return CellHasInk(pixels, width, height, entry.cell.box);
                    });
}

GlyphFindings CheckDrawing(const FitReport& drawn,
                           const GlyphCoverage& coverage, RenderEngine engine) {
  return CheckCells(coverage, engine, [&](std::size_t i, const CellCoverage&) {
    return i < drawn.inked.size() && drawn.inked[i];
  });
}

}  // namespace render
