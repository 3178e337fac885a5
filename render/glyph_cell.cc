#include "render/glyph_cell.h"

#include "render/character_tables.h"

namespace render {

std::uint32_t WalkGlyphCells(std::u16string_view text, GlyphGrid grid,
                             bool curlyQuotes, const DrawGlyphCell& draw) {
  std::size_t i = 0;
  std::uint32_t drawn = 0;
  for (std::uint32_t row = 0; row < grid.rows; ++row) {
    for (std::uint32_t column = 0; column < grid.columns; ++column) {
      while (i < text.size() && IsLineBreak(text[i])) ++i;
      if (i >= text.size()) return drawn;
      // The font follows the unit as stored: a mapped quote keeps the font
      // of its corner bracket.
      GlyphCell cell;
      cell.font = UsesMainFont(text[i]) ? GlyphFont::Main : GlyphFont::Symbol;
      cell.unit = curlyQuotes ? MapQuote(text[i]) : text[i];
      cell.column = column;
      cell.row = row;
      // Whole pixel positions are exact in single precision.
      cell.box.left = static_cast<float>(column * kCellWidth);
      cell.box.top = static_cast<float>(row * kCellHeight);
      cell.box.right = cell.box.left + kCellWidth;
      cell.box.bottom = cell.box.top + kCellHeight;
      draw(cell);
      ++drawn;
      ++i;
    }
  }
  return drawn;
}

std::vector<GlyphCell> CollectGlyphCells(std::u16string_view text,
                                         GlyphGrid grid, bool curlyQuotes) {
  std::vector<GlyphCell> cells;
  WalkGlyphCells(text, grid, curlyQuotes,
                 [&](const GlyphCell& cell) { cells.push_back(cell); });
  return cells;
}

}  // namespace render
