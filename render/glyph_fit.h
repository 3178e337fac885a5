// Keeping every glyph inside its own cell. A font whose line is taller than
// the 66-pixel box (WenQuanYi Zen Hei, or the fullwidth forms of Noto Sans
// CJK) draws above or below it: the game then shows the feet of the glyph
// of the row below and loses the glyph's own top. Each glyph is therefore
// drawn alone first, in a cell with room around it, and its ink measured;
// each of the two fonts is then moved as a whole (and shrunk only when its
// ink is taller or wider than a cell), so that the glyphs of one font keep
// their places relative to each other, and every glyph is clipped to its
// box as the last guard.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "render/glyph_cell.h"
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
  int dy = 0;                                   ///< pixels down
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

/// What a fitted drawing did, and what it could not mend. Units are listed
/// in cell order.
struct FitReport {
  GlyphPlacement placement;
  std::u16string cut;   ///< units whose ink leaves their cell (and is lost)
  std::u16string bled;  ///< units whose cell holds ink of another glyph
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
};

/// Draws `cells` (boxes of 64 x 66 pixels) onto `surface`, each glyph
/// composited over what is there. FitMode::Fit moves, and if need be
/// shrinks, each font whose glyphs leave their cells by the least that
/// keeps all of them inside, and clips every glyph to its box.
/// FitMode::None keeps the engine's placement, clipping only where the
/// engine itself clips. Throws the engine's failure.
FitReport DrawFittedGlyphs(DrawingSurface& surface,
                           const GlyphRendererFactory& open,
                           std::span<const GlyphCell> cells,
                           const FitOptions& options);

/// The placement FitMode::Fit gives these cells, without drawing them
/// anywhere: what the preview needs to look like the atlas.
GlyphPlacement PlanGlyphPlacement(const GlyphRendererFactory& open,
                                  std::span<const GlyphCell> cells);

}  // namespace render
