// Kept apart from the command so that programs and tests which bring their
// own atlas builder do not need the renderers linked in.
#include "app/atlas_builder.h"
#include "app/progress.h"
#include "common/result.h"
#include "render/glyph_atlas.h"
#include "texture/compress.h"

namespace app {

AtlasEngine SystemAtlasEngine() {
  AtlasEngine engine;
  engine.measure = [](const render::GlyphFonts& fonts,
                      render::RenderEngine renderEngine, bool curlyQuotes,
                      std::u16string_view text) {
    return render::MeasureGlyphCoverage(fonts, renderEngine, render::kAtlasGrid,
                                        curlyQuotes, text);
  };
  engine.draw = [](render::DrawingSurface& surface,
                   const render::GlyphFonts& fonts,
                   render::RenderEngine renderEngine, bool curlyQuotes,
                   std::u16string_view text) {
    render::DrawGlyphs(surface, renderEngine, fonts, render::kAtlasGrid,
                       curlyQuotes, text);
  };
  return engine;
}

CheckedAtlas DrawCheckedAtlas(const AtlasEngine& engine,
                              const StageObserver& observer,
                              const render::GlyphFonts& fonts,
                              render::RenderEngine renderEngine,
                              bool curlyQuotes, std::u16string_view text) {
  render::GlyphCoverage coverage = TimeStage(observer, "检查字体覆盖", [&] {
    return engine.measure(fonts, renderEngine, curlyQuotes, text);
  });
  std::string drawing =
      "绘制 " + std::to_string(coverage.cells.size()) + " 个字形";
  render::DrawingSurface surface = TimeStage(observer, drawing, [&] {
    render::DrawingSurface canvas(render::GlyphAtlas::kWidth,
                                  render::GlyphAtlas::kHeight);
    engine.draw(canvas, fonts, renderEngine, curlyQuotes, text);
    return canvas;
  });
  render::GlyphFindings findings = render::CheckDrawing(
      surface.pixels(), surface.width(), surface.height(), coverage);
  return {std::move(surface), std::move(findings)};
}

AtlasBuilder CheckedAtlasBuilder(AtlasEngine engine, StageObserver observer) {
  return [engine = std::move(engine), observer = std::move(observer)](
             const render::GlyphFonts& fonts, render::RenderEngine renderEngine,
             bool curlyQuotes, std::u16string_view text) -> BuiltAtlas {
    CheckedAtlas atlas = DrawCheckedAtlas(engine, observer, fonts, renderEngine,
                                          curlyQuotes, text);
    // The compressor reads the engine's bitmap in place: no 64 MiB copy.
    texture::CompressedImage image = TimeStage(observer, "压缩为 BC3", [&] {
      texture::ImageView view;
      view.width = atlas.surface.width();
      view.height = atlas.surface.height();
      view.format = texture::DXGI_FORMAT_B8G8R8A8_UNORM;
      view.rowPitch = atlas.surface.rowPitch();
      view.slicePitch = view.rowPitch * view.height;
      view.pixels = atlas.surface.pixels().data();
      texture::CompressedImage compressed;
      THROW_IF_FAILED(
          texture::CompressImage(view, texture::DXGI_FORMAT_BC3_UNORM,
                                 texture::CompressParallel, 0.5f, compressed));
      return compressed;
    });
    return {std::move(image), std::move(atlas.findings)};
  };
}

AtlasBuilder SystemAtlasBuilder() {
  return CheckedAtlasBuilder(SystemAtlasEngine(), {});
}

}  // namespace app
