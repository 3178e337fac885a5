// Kept apart from the command so that programs and tests which bring their
// own atlas builder do not need the renderers linked in.
#include "app/atlas_builder.h"
#include "app/character_table.h"
#include "app/episode.h"
#include "app/progress.h"
#include "common/result.h"
#include "render/drawing_check.h"
#include "render/glyph_atlas.h"
#include "resource/font_texture_stream.h"
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
                   std::span<const render::GlyphSource> sources,
                   const RowsDrawn& rowsDrawn) {
    std::vector<render::GlyphCell> cells =
        render::CollectGlyphCells(text, render::kAtlasGrid, curlyQuotes);
    render::FitOptions options;
    options.mode = fit;
    options.sources = sources;
    options.rowsDrawn = rowsDrawn;
    options.engineClips = renderEngine == render::RenderEngine::GdiPlus;
    options.blankCanvas = true;
    return render::DrawFittedGlyphs(
        surface, render::SystemGlyphRenderers(renderEngine, fonts), cells,
        options);
  };
  return engine;
}

namespace {

texture::ImageView ViewOf(const render::DrawingSurface& surface) {
  texture::ImageView view;
  view.width = surface.width();
  view.height = surface.height();
  view.format = texture::DXGI_FORMAT_B8G8R8A8_UNORM;
  view.rowPitch = surface.rowPitch();
  view.slicePitch = view.rowPitch * view.height;
  view.pixels = surface.pixels().data();
  return view;
}

// DrawCheckedAtlas into `canvas`, which the caller owns, telling `onCanvas`
// of the zero-filled canvas before the drawing starts and `rowsDrawn` of its
// finished rows. Returns the findings.
render::GlyphFindings DrawAndCheck(
    const AtlasEngine& engine, const StageObserver& observer,
    const render::GlyphFonts& fonts, render::RenderEngine renderEngine,
    bool curlyQuotes, std::u16string_view text, render::FitMode fit,
    std::optional<render::DrawingSurface>& canvas,
    const std::function<void(const render::DrawingSurface&)>& onCanvas,
    const RowsDrawn& rowsDrawn) {
  render::GlyphCoverage coverage = TimeStage(observer, "检查字体覆盖", [&] {
    return engine.measure(fonts, renderEngine, curlyQuotes, text);
  });
  render::CheckChineseCovered(coverage);
  std::vector<render::GlyphSource> sources = render::SourcesOf(coverage);
  std::string drawing =
      "绘制 " + std::to_string(coverage.cells.size()) + " 个字形";
  render::FitReport fitted;
  TimeStage(observer, drawing, [&] {
    canvas.emplace(render::GlyphAtlas::kWidth, render::GlyphAtlas::kHeight);
    if (onCanvas) onCanvas(*canvas);
    fitted = engine.draw(*canvas, fonts, renderEngine, curlyQuotes, text, fit,
                         sources, rowsDrawn);
    // Every row is final now: the texture is made while the drawing is
    // checked, which only reads it.
    if (rowsDrawn) rowsDrawn(canvas->height());
  });
  render::GlyphFindings findings =
      render::CheckDrawing(canvas->pixels(), canvas->width(), canvas->height(),
                           std::move(coverage), renderEngine, fitted);
  findings.Add(fitted, fonts);
  return findings;
}

}  // namespace

CheckedAtlas DrawCheckedAtlas(const AtlasEngine& engine,
                              const StageObserver& observer,
                              const render::GlyphFonts& fonts,
                              render::RenderEngine renderEngine,
                              bool curlyQuotes, std::u16string_view text,
                              render::FitMode fit) {
  std::optional<render::DrawingSurface> canvas;
  render::GlyphFindings findings =
      DrawAndCheck(engine, observer, fonts, renderEngine, curlyQuotes, text,
                   fit, canvas, {}, {});
  return {std::move(*canvas), std::move(findings)};
}

BuiltAtlas BuildGlyphAtlas(const AtlasEngine& engine,
                           const StageObserver& observer,
                           const render::GlyphFonts& fonts,
                           render::RenderEngine renderEngine, bool curlyQuotes,
                           std::u16string_view text, render::FitMode fit) {
  // The stream reads the engine's bitmap in place (no 64 MiB copy) and
  // works on the rows the engine reports finished while it draws the rest.
  // The canvas is declared first so that it outlives the stream: when the
  // drawing or its check throws, the stream's workers are stopped and
  // joined before the bitmap they read is freed.
  std::optional<render::DrawingSurface> canvas;
  std::optional<resource::FontTextureStream> stream;
  render::GlyphFindings findings = DrawAndCheck(
      engine, observer, fonts, renderEngine, curlyQuotes, text, fit, canvas,
      [&](const render::DrawingSurface& drawn) {
        stream.emplace(ViewOf(drawn));
      },
      [&](std::uint32_t rows) { stream->RowsFinal(rows); });
  resource::FontTexture texture = TimeStage(observer, "压缩为 BC3 与 deflate",
                                            [&] { return stream->Finish(); });
  BuiltAtlas built(std::move(texture.image), std::move(findings));
  built.deflatedTexture = std::move(texture.deflated);
  return built;
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
