// Which face will draw each cell of a walk, known before anything is drawn:
// the chosen font, a fallback face the platform picks for a unit the font
// lacks, or none at all. The generation tells the player what the game will
// show from this, and checks the drawing against it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "render/font.h"
#include "render/glyph_cell.h"

namespace render {

/// Where the glyph of a drawn unit comes from.
enum class GlyphSource {
  Chosen,    ///< the chosen font has it; spaces always count as present
  Fallback,  ///< only another installed face has it, and draws it
  Missing,   ///< no installed face has it, or a control: the cell stays blank
};

struct CellCoverage {
  GlyphCell cell;
  GlyphSource source = GlyphSource::Chosen;
  std::u16string fallbackFace;  ///< the face that draws a Fallback unit
};

struct GlyphCoverage {
  std::vector<CellCoverage> cells;  ///< one per cell of the walk, in order
  std::u16string overflow;  ///< units past the grid's last cell, as stored
};

/// True for units that leave no ink in any font: white space, control
/// characters and invisible format characters.
bool IsInkless(char16_t unit);

/// The C0 and C1 control characters and the line and paragraph separators:
/// no font draws them, and the game's text never shows them.
bool IsControl(char16_t unit);

/// One chosen font's answer, from the platform's own font matching.
class FontCoverage {
 public:
  virtual ~FontCoverage() = default;
  /// Where `unit` would be drawn from; sets `fallbackFace` for Fallback.
  virtual GlyphSource Find(char16_t unit, std::u16string& fallbackFace) = 0;
};

/// The platform's coverage of one font as `engine` resolves it. Throws
/// kFontNotFound for a face the system does not have.
std::unique_ptr<FontCoverage> OpenFontCoverage(const LogFont& font,
                                               RenderEngine engine);

/// Walks the grid as the engines do (line breaks skipped, font chosen from
/// the stored unit, quotes mapped) and tells per cell where its glyph comes
/// from, and which units do not fit. Throws what OpenFontCoverage throws.
GlyphCoverage MeasureGlyphCoverage(const GlyphFonts& fonts, RenderEngine engine,
                                   GlyphGrid grid, bool curlyQuotes,
                                   std::u16string_view text);

/// The same with given coverages of the main and the symbol font.
GlyphCoverage MeasureGlyphCoverage(FontCoverage& mainFont,
                                   FontCoverage& symbolFont, GlyphGrid grid,
                                   bool curlyQuotes, std::u16string_view text);

}  // namespace render
