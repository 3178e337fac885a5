#include "render/glyph_coverage.h"

#include "render/character_tables.h"

namespace render {

bool IsControl(char16_t unit) {
  // The line and paragraph separators break lines as controls do; no face
  // draws them either.
  return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || unit == 0x2028 ||
         unit == 0x2029;
}

bool IsInkless(char16_t unit) {
  if (unit <= 0x20 || (unit >= 0x7F && unit <= 0xA0)) return true;
  switch (unit) {
    case 0x00AD:  // soft hyphen
    case 0x034F:
    case 0x1680:
    case 0x180E:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:  // ideographic space
    case 0xFEFF:
      return true;
  }
  return (unit >= 0x2000 && unit <= 0x200F) ||  // spaces, joiners, marks
         (unit >= 0x202A && unit <= 0x202E) ||  // embedding controls
         (unit >= 0x2060 && unit <= 0x206F) ||  // invisible operators
         (unit >= 0xFE00 && unit <= 0xFE0F);    // variation selectors
}

GlyphCoverage MeasureGlyphCoverage(const GlyphFonts& fonts, RenderEngine engine,
                                   GlyphGrid grid, bool curlyQuotes,
                                   std::u16string_view text) {
  std::unique_ptr<FontCoverage> mainFont =
      OpenFontCoverage(fonts.mainFont, engine);
  std::unique_ptr<FontCoverage> symbolFont =
      OpenFontCoverage(fonts.symbolFont, engine);
  return MeasureGlyphCoverage(*mainFont, *symbolFont, grid, curlyQuotes, text);
}

GlyphCoverage MeasureGlyphCoverage(FontCoverage& mainFont,
                                   FontCoverage& symbolFont, GlyphGrid grid,
                                   bool curlyQuotes, std::u16string_view text) {
  GlyphCoverage coverage;
  std::uint32_t drawn =
      WalkGlyphCells(text, grid, curlyQuotes, [&](const GlyphCell& cell) {
        CellCoverage& entry = coverage.cells.emplace_back();
        entry.cell = cell;
        // A control takes a cell but no face draws it: a blank the player
        // should hear of, like a unit no face has.
        if (IsControl(cell.unit)) {
          entry.source = GlyphSource::Missing;
          return;
        }
        if (IsInkless(cell.unit)) return;
        FontCoverage& font =
            cell.font == GlyphFont::Main ? mainFont : symbolFont;
        entry.source = font.Find(cell.unit, entry.fallbackFace);
      });
  std::uint32_t seen = 0;
  for (char16_t unit : text) {
    if (IsLineBreak(unit)) continue;
    if (seen++ >= drawn) coverage.overflow += unit;
  }
  return coverage;
}

}  // namespace render
