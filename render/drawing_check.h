// The check of a drawn canvas against the coverage that came before it: a
// text engine that reports success but leaves the cells empty (GDI+ under
// Wine drops every glyph wider than its layout box) must not pass as a
// finished texture, and what the game will show differently from the
// player's choice is gathered for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "render/glyph_coverage.h"
#include "render/glyph_fit.h"

namespace render {

/// Units drawn with one fallback face.
struct FallbackUse {
  std::u16string face;
  std::u16string units;
};

/// A font moved or shrunk so that its glyphs stay inside their cells.
struct FontAdjustment {
  GlyphFont font = GlyphFont::Main;
  std::u16string face;
  FontPlacement placement;
};

/// What the game will show differently from what the player chose. Units
/// are listed in cell order, repeats included.
struct GlyphFindings {
  std::vector<FallbackUse> fallback;  ///< drawn by other faces, by face
  std::u16string missing;   ///< no installed face has them, or controls
  std::u16string blank;     ///< a face has them, yet their cells got no ink
  std::u16string overflow;  ///< past the grid: not in the texture at all
  std::u16string cut;       ///< ink leaves their cell: cut in the game
  std::u16string bled;      ///< their cell holds ink of another glyph
  /// Moved, or shrunk, into their cells by themselves: they do not sit
  /// where their font puts the others.
  std::vector<AloneGlyph> alone;
  /// Not a finding but a mend: fonts placed away from the engine's own
  /// placement to keep their glyphs whole.
  std::vector<FontAdjustment> adjustments;

  std::size_t FallbackCount() const;
  bool empty() const {
    return fallback.empty() && missing.empty() && blank.empty() &&
           overflow.empty() && cut.empty() && bled.empty() && alone.empty();
  }
  /// Adds what a fitted drawing could not mend, the glyphs it fitted alone,
  /// and how it placed the fonts.
  void Add(const FitReport& report, const GlyphFonts& fonts);
};

/// Where each cell's glyph comes from, as the drawing takes it.
std::vector<GlyphSource> SourcesOf(const GlyphCoverage& coverage);

/// Throws E_FAIL, saying that no Chinese font is installed and what to
/// install, when no installed face has most of the ideographs among the
/// cells: a texture of blank cells in their place is no texture at all.
void CheckChineseCovered(const GlyphCoverage& coverage);

/// What to install or choose where no face has the ideographs, for the
/// platform's players.
const char* ChineseFontAdvice();

/// Counts the cells of drawable units (a face has them, and they leave ink)
/// that received no ink on the canvas (`width` pixels a row, 4 bytes a
/// pixel). Units the drawing found drawn as the .notdef box count as
/// missing. Throws E_FAIL, with a message naming `engine` and the count of
/// empty cells, when the engine plainly did not draw: the chosen fonts have
/// glyphs but no cell has any ink, or more than half of the cells that
/// should show something are empty or missing. Otherwise returns the
/// findings, with what the fitted drawing reports added.
GlyphFindings CheckDrawing(std::span<const std::byte> pixels,
                           std::uint32_t width, std::uint32_t height,
                           GlyphCoverage coverage, RenderEngine engine,
                           const FitReport& drawn = {});

/// The same from a fitted drawing's report of which cells got ink, for a
/// canvas that was not blank (the preview's chequered background).
GlyphFindings CheckDrawing(const FitReport& drawn, GlyphCoverage coverage,
                           RenderEngine engine);

/// "DirectWrite" or "GDI+".
const char* EngineName(RenderEngine engine);

}  // namespace render
