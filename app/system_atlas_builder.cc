// Kept apart from the command so that programs and tests which bring their
// own atlas builder do not need the renderers linked in.
#include "app/atlas_builder.h"
#include "app/character_table.h"
#include "app/episode.h"
#include "app/progress.h"
#include "common/result.h"
#include "render/drawing_check.h"
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
                   std::u16string_view text, render::FitMode fit,
                   std::span<const render::GlyphSource> sources) {
    std::vector<render::GlyphCell> cells =
        render::CollectGlyphCells(text, render::kAtlasGrid, curlyQuotes);
    render::FitOptions options;
    options.mode = fit;
    options.sources = sources;
    options.engineClips = renderEngine == render::RenderEngine::GdiPlus;
    options.blankCanvas = true;
    return render::DrawFittedGlyphs(
        surface, render::SystemGlyphRenderers(renderEngine, fonts), cells,
        options);
  };
  return engine;
}

CheckedAtlas DrawCheckedAtlas(const AtlasEngine& engine,
                              const StageObserver& observer,
                              const render::GlyphFonts& fonts,
                              render::RenderEngine renderEngine,
                              bool curlyQuotes, std::u16string_view text,
                              render::FitMode fit) {
  render::GlyphCoverage coverage = TimeStage(observer, "检查字体覆盖", [&] {
    return engine.measure(fonts, renderEngine, curlyQuotes, text);
  });
  render::CheckChineseCovered(coverage);
  std::vector<render::GlyphSource> sources = render::SourcesOf(coverage);
  std::string drawing =
      "绘制 " + std::to_string(coverage.cells.size()) + " 个字形";
  render::FitReport fitted;
  render::DrawingSurface surface = TimeStage(observer, drawing, [&] {
    render::DrawingSurface canvas(render::GlyphAtlas::kWidth,
                                  render::GlyphAtlas::kHeight);
    fitted = engine.draw(canvas, fonts, renderEngine, curlyQuotes, text, fit,
                         sources);
    return canvas;
  });
  render::GlyphFindings findings =
      render::CheckDrawing(surface.pixels(), surface.width(), surface.height(),
                           std::move(coverage), renderEngine, fitted);
  findings.Add(fitted, fonts);
  return {std::move(surface), std::move(findings)};
}

BuiltAtlas BuildGlyphAtlas(const AtlasEngine& engine,
                           const StageObserver& observer,
                           const render::GlyphFonts& fonts,
                           render::RenderEngine renderEngine, bool curlyQuotes,
                           std::u16string_view text, render::FitMode fit) {
  CheckedAtlas atlas = DrawCheckedAtlas(engine, observer, fonts, renderEngine,
                                        curlyQuotes, text, fit);
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
    THROW_IF_FAILED(texture::CompressImage(view, texture::DXGI_FORMAT_BC3_UNORM,
                                           texture::CompressParallel, 0.5f,
                                           compressed));
    return compressed;
  });
  return {std::move(image), std::move(atlas.findings)};
}

AtlasBuilder CheckedAtlasBuilder(AtlasEngine engine, StageObserver observer,
                                 render::FitMode fit) {
  return [engine = std::move(engine), observer = std::move(observer), fit](
             const render::GlyphFonts& fonts, render::RenderEngine renderEngine,
             bool curlyQuotes, std::u16string_view text) {
    return BuildGlyphAtlas(engine, observer, fonts, renderEngine, curlyQuotes,
                           text, fit);
  };
}

std::optional<render::GlyphPlacement> AtlasPlacement(
    common::FileSystem& fs, const GenerationSettings& settings) {
  if (settings.gameFolder.empty()) return std::nullopt;
  CharacterTable table;
  try {
    auto file =
        fs.OpenForRead(AppendPath(settings.gameFolder, CharacterTablePath()));
    table = ReadCharacterTable(*file);
  } catch (...) {
    LOG_CAUGHT_EXCEPTION();  // the preview then fits its own text
    return std::nullopt;
  }
  return render::PlanTablePlacement(
      {settings.mainFont, settings.symbolFont}, settings.renderEngine,
      settings.quoteStyle == QuoteStyle::CurlyQuotes, table);
}

AtlasBuilder SystemAtlasBuilder() {
  return CheckedAtlasBuilder(SystemAtlasEngine(), {});
}

}  // namespace app
