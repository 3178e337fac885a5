// The atlas build of a generation: the coverage of the table, the drawing,
// its check, and the compression, from one set of parts so that tests can
// put a stand-in engine in.
#pragma once

#include <functional>
#include <string_view>

#include "app/generation.h"
#include "render/glyph_coverage.h"
#include "render/text_engine.h"

namespace app {

/// The parts an atlas is drawn with.
struct AtlasEngine {
  /// Where each cell's glyph will come from, on the atlas grid.
  std::function<render::GlyphCoverage(
      const render::GlyphFonts& fonts, render::RenderEngine engine,
      bool curlyQuotes, std::u16string_view text)>
      measure;
  /// Draws the table into the zero-filled atlas surface.
  std::function<void(
      render::DrawingSurface& surface, const render::GlyphFonts& fonts,
      render::RenderEngine engine, bool curlyQuotes, std::u16string_view text)>
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
/// each as a stage. Throws when the engine did not draw (the glyphs of the
/// chosen fonts left the cells empty).
CheckedAtlas DrawCheckedAtlas(const AtlasEngine& engine,
                              const StageObserver& observer,
                              const render::GlyphFonts& fonts,
                              render::RenderEngine renderEngine,
                              bool curlyQuotes, std::u16string_view text);

/// DrawCheckedAtlas, then the compression to BC3 as one more stage.
AtlasBuilder CheckedAtlasBuilder(AtlasEngine engine, StageObserver observer);

}  // namespace app
