#include "render/text_engine.h"

namespace render {

void DrawGlyphs(DrawingSurface& surface, RenderEngine engine,
                const GlyphFonts& fonts, GlyphGrid grid, bool curlyQuotes,
                std::u16string_view text) {
  if (engine == RenderEngine::GdiPlus) {
    DrawGlyphsGdiPlus(surface, fonts, grid, curlyQuotes, text);
  } else {
    DrawGlyphsDirectWrite(surface, fonts, grid, curlyQuotes, kGlyphFontSize,
                          text);
  }
}

}  // namespace render
