// Keeping every glyph inside its own cell. A font whose line is taller than
// the 66-pixel box (WenQuanYi Zen Hei, or the fullwidth forms of Noto Sans
// CJK) draws above or below it: the game then shows the feet of the glyph
// of the row below and loses the glyph's own top. Each glyph is therefore
// drawn alone first, in a cell with room around it, and its ink measured.
// In the game a hanzi and the comma beside it sit in one line, so all faces
// of an atlas move by one vertical offset, chosen from their ordinary
// glyphs; a font shrinks (about its baseline) only where the ordinary glyphs
// of both fonts cannot fit a cell together. A rare glyph that cannot fit
// that way (a vertical-text mark taller than a cell, a dash three ems wide,
// a tone mark drawn left of its pen) is fitted alone and named, so that it
// never decides the size or place of thousands of others. Every glyph is
// clipped to its box as the last guard.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "render/glyph_cell.h"
#include "render/glyph_coverage.h"
#include "render/text_engine.h"

namespace render {

enum class FitMode {
  Fit,   ///< move or shrink fonts whose ink leaves the cells, clip the rest
  None,  ///< the engines' own placement; cut and bled cells are reported
};

/// Where one of the two fonts is drawn, relative to the engine's own
/// placement.
struct FontPlacement {
  int size = static_cast<int>(kGlyphFontSize);  ///< em size, pixels
  int dx = 0;                                   ///< pixels to the right
  int dy = 0;  ///< pixels down; the same for both fonts unless one shrank
  bool IsEngines() const {
    return size == static_cast<int>(kGlyphFontSize) && dx == 0 && dy == 0;
  }
};

struct GlyphPlacement {
  FontPlacement main;
  FontPlacement symbol;

  const FontPlacement& Of(GlyphFont font) const {
    return font == GlyphFont::Main ? main : symbol;
  }
};

/// A glyph that did not fit its cell at its font's placement and was moved
/// (and, if taller or wider than a cell, shrunk) into it by itself.
struct AloneGlyph {
  char16_t unit = 0;
  int size = static_cast<int>(kGlyphFontSize);  ///< em size it is drawn at
  int dx = 0;  ///< pixels moved right from its font's placement
  int dy = 0;  ///< pixels moved down from its font's placement
};

/// What a fitted drawing did, and what it could not mend. Units are listed
/// in cell order.
struct FitReport {
  GlyphPlacement placement;
  std::u16string cut;   ///< units whose ink leaves their cell (and is lost)
  std::u16string bled;  ///< units whose cell holds ink of another glyph
  std::vector<AloneGlyph> alone;  ///< glyphs fitted by themselves
  /// Units a fallback face was to draw whose ink is the chosen face's
  /// .notdef box: the engine found no face for them, so they stay blank.
  std::u16string notdef;
  /// Per cell, whether its glyph left any ink; empty when the engine drew
  /// straight onto a blank canvas.
  std::vector<bool> inked;
};

/// Makes the engine ready for the two fonts at the given scales (the
/// platform's OpenGlyphRenderer, or a stand-in in tests).
using GlyphRendererFactory =
    std::function<std::unique_ptr<GlyphRenderer>(const GlyphScale& scale)>;

/// The platform's engine for the fonts, at the glyph font size.
GlyphRendererFactory SystemGlyphRenderers(RenderEngine engine,
                                          const GlyphFonts& fonts);

struct FitOptions {
  FitMode mode = FitMode::Fit;
  /// The engine clips each glyph to its box by itself (GDI+).
  bool engineClips = false;
  /// The surface is still all zero (the atlas): where the engine says where
  /// it drew, the glyphs may then be drawn on it directly, and are kept when
  /// every one stays inside its box.
  bool blankCanvas = false;
  /// Used instead of fitting the cells (the preview takes the atlas's).
  const GlyphPlacement* placement = nullptr;
  /// Per cell, where its glyph comes from (empty: every glyph is the chosen
  /// face's). Missing units are not drawn at all, so that no engine's
  /// .notdef box lands in the texture; fallback glyphs never make a font
  /// shrink.
  std::span<const GlyphSource> sources;
  /// Told, top down, how many pixel rows of the surface are final while the
  /// glyphs are composited, so that work on them can start; a drawing that
  /// keeps the engine's placement (or goes straight onto a blank canvas,
  /// which may yet have to be drawn again) tells nothing until it is done.
  std::function<void(std::uint32_t rows)> rowsDrawn;
};

/// Draws `cells` (boxes of 64 x 66 pixels) onto `surface`, each glyph
/// composited over what is there. FitMode::Fit moves all faces by the one
/// vertical offset that keeps their ordinary glyphs inside the cells
/// (shrinking a font about its baseline only where both cannot fit
/// together), fits every other glyph alone, and clips each to its box.
/// FitMode::None keeps the engine's placement, clipping only where the
/// engine itself clips. Throws the engine's failure.
FitReport DrawFittedGlyphs(DrawingSurface& surface,
                           const GlyphRendererFactory& open,
                           std::span<const GlyphCell> cells,
                           const FitOptions& options);

/// The placement FitMode::Fit gives these cells, without drawing them
/// anywhere: what the preview needs to look like the atlas.
GlyphPlacement PlanGlyphPlacement(const GlyphRendererFactory& open,
                                  std::span<const GlyphCell> cells,
                                  std::span<const GlyphSource> sources = {});

}  // namespace render
