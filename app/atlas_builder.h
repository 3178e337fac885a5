// The atlas build of a generation: the coverage of the table, the drawing,
// its check, and the compression, from one set of parts so that tests can
// put a stand-in engine in.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "app/generation.h"
#include "render/glyph_coverage.h"
#include "render/glyph_fit.h"
#include "render/text_engine.h"

namespace app {

/// Hears that the canvas's top `rows` pixel rows are final: the drawing
/// will not write them again. The texture of those rows is then made while
/// the rest is drawn.
using RowsDrawn = std::function<void(std::uint32_t rows)>;

/// The parts an atlas is drawn with.
struct AtlasEngine {
  /// Where each cell's glyph will come from, on the atlas grid.
  std::function<render::GlyphCoverage(
      const render::GlyphFonts& fonts, render::RenderEngine engine,
      bool curlyQuotes, std::u16string_view text)>
      measure;
  /// Draws the table into the zero-filled atlas surface, each glyph kept
  /// inside its cell unless the mode is FitMode::None; `sources` says per
  /// cell where its glyph comes from (units no face has are not drawn). It
  /// tells `rowsDrawn` (which may be empty) of the rows it has finished, top
  /// down, as it goes; an engine that never does leaves all the texture to
  /// the end.
  std::function<render::FitReport(
      render::DrawingSurface& surface, const render::GlyphFonts& fonts,
      render::RenderEngine engine, bool curlyQuotes, std::u16string_view text,
      render::FitMode fit, std::span<const render::GlyphSource> sources,
      const RowsDrawn& rowsDrawn)>
      draw;
};

/// The platform's coverage and text engines on the atlas grid.
AtlasEngine SystemAtlasEngine();

/// A drawn atlas canvas and its findings.
struct CheckedAtlas {
  render::DrawingSurface surface;
  render::GlyphFindings findings;
};

/// Measures the coverage, draws the atlas and checks the drawing, reporting
/// each as a stage. Throws before drawing when no installed face has the
/// table's ideographs, and after it when the engine did not draw (the
/// glyphs of the chosen fonts left the cells empty).
CheckedAtlas DrawCheckedAtlas(const AtlasEngine& engine,
                              const StageObserver& observer,
                              const render::GlyphFonts& fonts,
                              render::RenderEngine renderEngine,
                              bool curlyQuotes, std::u16string_view text,
                              render::FitMode fit = render::FitMode::Fit);

/// Where the atlas of the game folder's character table will place each
/// font's glyphs with these choices, for the preview to show the same;
/// nothing when the table cannot be read. Throws the engine's failure.
std::optional<render::GlyphPlacement> AtlasPlacement(
    common::FileSystem& fs, const GenerationSettings& settings);

/// The glyph atlas of a generation: DrawCheckedAtlas (the coverage, the
/// drawing with each glyph kept inside its cell, the check of the drawing),
/// with the compression to one 4096 x 4096 BC3 level and the deflate of its
/// blocks for the files (FontTextureStream) started on the rows the engine
/// reports drawn and finished as one more stage. Throws when the drawing
/// fails its check or the compression fails.
BuiltAtlas BuildGlyphAtlas(const AtlasEngine& engine,
                           const StageObserver& observer,
                           const render::GlyphFonts& fonts,
                           render::RenderEngine renderEngine, bool curlyQuotes,
                           std::u16string_view text,
                           render::FitMode fit = render::FitMode::Fit);

/// BuildGlyphAtlas with these parts, as the generation's AtlasBuilder.
AtlasBuilder CheckedAtlasBuilder(AtlasEngine engine, StageObserver observer,
                                 render::FitMode fit = render::FitMode::Fit);

}  // namespace app
