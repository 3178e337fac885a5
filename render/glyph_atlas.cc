#include "render/glyph_atlas.h"

#include "render/drawing_check.h"
#include "render/glyph_coverage.h"
#include "render/text_engine.h"

namespace render {
namespace {

texture::ImageView AtlasView(std::byte* pixels) {
  texture::ImageView view;
  view.width = GlyphAtlas::kWidth;
  view.height = GlyphAtlas::kHeight;
  view.format = texture::DXGI_FORMAT_B8G8R8A8_UNORM;
  view.rowPitch = GlyphAtlas::kRowPitch;
  view.slicePitch = GlyphAtlas::kRowPitch * GlyphAtlas::kHeight;
  view.pixels = pixels;
  return view;
}

DrawingSurface DrawAtlasSurface(const GlyphFonts& fonts, RenderEngine engine,
                                bool curlyQuotes, std::u16string_view text) {
  DrawingSurface surface(GlyphAtlas::kWidth, GlyphAtlas::kHeight);
  DrawGlyphs(surface, engine, fonts, kAtlasGrid, curlyQuotes, text);
  return surface;
}

}  // namespace

texture::ImageView GlyphAtlas::View() { return AtlasView(pixels.data()); }

GlyphAtlas DrawGlyphAtlas(const GlyphFonts& fonts, RenderEngine engine,
                          bool curlyQuotes, std::u16string_view text) {
  GlyphAtlas atlas;
  atlas.pixels =
      DrawAtlasSurface(fonts, engine, curlyQuotes, text).TakePixels();
  return atlas;
}

GlyphPlacement PlanTablePlacement(const GlyphFonts& fonts, RenderEngine engine,
                                  bool curlyQuotes, std::u16string_view text) {
  GlyphCoverage coverage =
      MeasureGlyphCoverage(fonts, engine, kAtlasGrid, curlyQuotes, text);
  return PlanGlyphPlacement(SystemGlyphRenderers(engine, fonts),
                            CollectGlyphCells(text, kAtlasGrid, curlyQuotes),
                            SourcesOf(coverage));
}

}  // namespace render
