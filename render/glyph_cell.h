// The cell grid shared by the atlas and the preview, and the one walk over it
// that both text engines follow: line breaks take no cell, the font is chosen
// from the unit as stored, quotes are mapped only in the curly style, one
// unit per cell, and the walk stops where the text or the grid ends.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace render {

/// A glyph cell is 64 pixels wide and 66 high; cells sit edge to edge.
inline constexpr std::uint32_t kCellWidth = 64;
inline constexpr std::uint32_t kCellHeight = 66;
/// Character height of every glyph, in pixels (device-independent units at
/// 96 DPI).
inline constexpr float kGlyphFontSize = 58.0f;

struct GlyphGrid {
  std::uint32_t columns = 0;
  std::uint32_t rows = 0;

  std::uint32_t CellCount() const { return columns * rows; }
};

/// The atlas grid: 64 x 62 = 3968 cells covering y = 0 to 4092.
inline constexpr GlyphGrid kAtlasGrid = {64, 62};

/// Which of the two chosen fonts draws a cell.
enum class GlyphFont { Main, Symbol };

/// A layout box in pixels, as the text engines take it.
struct CellBox {
  float left = 0;
  float top = 0;
  float right = 0;
  float bottom = 0;
};

/// One glyph handed to a text engine.
struct GlyphCell {
  char16_t unit = 0;  ///< the unit to draw, after quote mapping
  GlyphFont font = GlyphFont::Symbol;
  std::uint32_t column = 0;
  std::uint32_t row = 0;
  CellBox box;
};

/// Receives the glyphs of a walk, in cell order.
using DrawGlyphCell = std::function<void(const GlyphCell& cell)>;

/// Walks the grid row by row, left to right, handing `draw` one glyph per
/// cell for the units of `text`. Returns the number of cells drawn.
std::uint32_t WalkGlyphCells(std::u16string_view text, GlyphGrid grid,
                             bool curlyQuotes, const DrawGlyphCell& draw);

/// The glyphs of the walk, in cell order.
std::vector<GlyphCell> CollectGlyphCells(std::u16string_view text,
                                         GlyphGrid grid, bool curlyQuotes);

}  // namespace render
