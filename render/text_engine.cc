#include "render/text_engine.h"

namespace render {
namespace {

void DrawWalk(DrawingSurface& surface, RenderEngine engine,
              const GlyphFonts& fonts, float fontSize, GlyphGrid grid,
              bool curlyQuotes, std::u16string_view text) {
  // The engine is made ready even for an empty walk, as the platform's own
  // engines make their formats before they look at the text.
  std::unique_ptr<GlyphRenderer> renderer =
      OpenGlyphRenderer(engine, fonts, fontSize);
  std::vector<GlyphCell> cells = CollectGlyphCells(text, grid, curlyQuotes);
  // GDI+ clips each string to its layout box; DirectWrite does not.
  renderer->Draw(surface, cells, engine == RenderEngine::GdiPlus, {});
}

}  // namespace

void DrawGlyphsDirectWrite(DrawingSurface& surface, const GlyphFonts& fonts,
                           GlyphGrid grid, bool curlyQuotes, float fontSize,
                           std::u16string_view text) {
  DrawWalk(surface, RenderEngine::DirectWrite, fonts, fontSize, grid,
           curlyQuotes, text);
}

void DrawGlyphsGdiPlus(DrawingSurface& surface, const GlyphFonts& fonts,
                       GlyphGrid grid, bool curlyQuotes,
                       std::u16string_view text) {
  DrawWalk(surface, RenderEngine::GdiPlus, fonts, kGlyphFontSize, grid,
           curlyQuotes, text);
}

void DrawGlyphs(DrawingSurface& surface, RenderEngine engine,
                const GlyphFonts& fonts, GlyphGrid grid, bool curlyQuotes,
                std::u16string_view text) {
  DrawWalk(surface, engine, fonts, kGlyphFontSize, grid, curlyQuotes, text);
}

}  // namespace render
