// Draws the full atlas of 3968 Chinese characters (U+4E00 upward) with each
// engine and compresses it as a generation does, printing the coverage,
// render, drawing-check and compression times separately (best of a few
// runs). The render is timed twice: drawn straight into the atlas, and
// drawn glyph by glyph, measured, fitted into the cells and composed, as
// the programs draw; their ratio is the cost of keeping glyphs in cells. Then
// draws a table that needs a fallback face for 5 % of its units: every
// twentieth unit is kana or CJK punctuation, drawn with a Latin symbol font
// that lacks them; and a table drawn with a font whose line is taller than
// a cell, so that every glyph is measured and moved. Run:
// build/linux/bench/Release/render_bench ["Face Name"] [runs]
//      ["Latin Symbol Face"] ["Tall Face"]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "common/result.h"
#include "common/text.h"
#include "render/drawing_check.h"
#include "render/glyph_atlas.h"
#include "render/glyph_coverage.h"
#include "render/glyph_fit.h"
#include "render/platform_services.h"
#include "render/text_engine.h"
#include "texture/compress.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start)
      .count();
}

struct Figures {
  double coverageMs = 1e300;
  double renderMs = 1e300;
  double fittedMs = 1e300;
  bool moved = false;
  bool drewNothing = false;
  double checkMs = 1e300;
  double compressMs = 1e300;
  HRESULT compressResult = 0;
  std::size_t fallbackUnits = 0;
};

Figures Measure(const render::GlyphFonts& fonts, render::RenderEngine engine,
                const std::u16string& text, int runs) {
  Figures best;
  for (int run = 0; run < runs; ++run) {
    Clock::time_point start = Clock::now();
    render::GlyphCoverage coverage = render::MeasureGlyphCoverage(
        fonts, engine, render::kAtlasGrid, false, text);
    best.coverageMs = std::min(best.coverageMs, MsSince(start));

    start = Clock::now();
    render::DrawingSurface surface(render::GlyphAtlas::kWidth,
                                   render::GlyphAtlas::kHeight);
    render::DrawGlyphs(surface, engine, fonts, render::kAtlasGrid, false, text);
    best.renderMs = std::min(best.renderMs, MsSince(start));

    start = Clock::now();
    render::DrawingSurface fitted(render::GlyphAtlas::kWidth,
                                  render::GlyphAtlas::kHeight);
    std::vector<render::GlyphCell> cells =
        render::CollectGlyphCells(text, render::kAtlasGrid, false);
    std::vector<render::GlyphSource> sources = render::SourcesOf(coverage);
    render::FitOptions options;
    options.engineClips = engine == render::RenderEngine::GdiPlus;
    options.blankCanvas = true;
    options.sources = sources;
    render::FitReport report = render::DrawFittedGlyphs(
        fitted, render::SystemGlyphRenderers(engine, fonts), cells, options);
    best.fittedMs = std::min(best.fittedMs, MsSince(start));
    best.moved = !report.placement.main.IsEngines() ||
                 !report.placement.symbol.IsEngines();

    start = Clock::now();
    try {
      render::GlyphFindings findings =
          render::CheckDrawing(surface.pixels(), surface.width(),
                               surface.height(), coverage, engine);
      best.fallbackUnits = findings.FallbackCount();
    } catch (const common::ResultException&) {
      best.drewNothing = true;  // GDI+ under Wine: no ideograph at 58 px
    }
    best.checkMs = std::min(best.checkMs, MsSince(start));

    texture::ImageView view;
    view.width = view.height = 4096;
    view.format = texture::DXGI_FORMAT_B8G8R8A8_UNORM;
    view.rowPitch = render::GlyphAtlas::kRowPitch;
    view.slicePitch = view.rowPitch * 4096;
    view.pixels = surface.pixels().data();
    texture::CompressedImage image;
    start = Clock::now();
    best.compressResult =
        texture::CompressImage(view, texture::DXGI_FORMAT_BC3_UNORM,
                               texture::CompressParallel, 0.5f, image);
    best.compressMs = std::min(best.compressMs, MsSince(start));
  }
  return best;
}

// 3968 units: ideographs, with every twentieth one replaced by a distinct
// kana or CJK punctuation mark (198 units), which take the symbol font.
std::u16string FallbackTable() {
  std::u16string symbols;
  for (char16_t unit = 0x3001; unit <= 0x3011; ++unit) symbols += unit;
  for (char16_t unit = 0x3041; unit <= 0x3096; ++unit) symbols += unit;
  for (char16_t unit = 0x30A1; unit <= 0x30FA; ++unit) symbols += unit;
  std::u16string text;
  char16_t ideograph = 0x4E00;
  for (std::size_t i = 0; text.size() < 3968; ++i)
    text += i % 20 == 19 ? symbols[(i / 20) % symbols.size()] : ideograph++;
  return text;
}

void PrintFigures(const char* engine, const Figures& f) {
  std::printf(
      "%-12s coverage %6.1f ms   render %8.1f ms   fitted %8.1f ms (x%.3f%s)"
      "   check %6.1f ms   compress %8.1f ms   (%zu units by a fallback "
      "face)",
      engine, f.coverageMs, f.renderMs, f.fittedMs, f.fittedMs / f.renderMs,
      f.moved ? ", fonts moved" : "", f.checkMs, f.compressMs, f.fallbackUnits);
  if (f.drewNothing) std::printf("   (the engine drew no glyphs here)");
  if (common::Failed(f.compressResult))
    std::printf("   (compression failed: 0x%08X)",
                static_cast<unsigned>(f.compressResult));
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::string face = argc > 1 ? argv[1] : "WenQuanYi Micro Hei";
  int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  std::string symbolFace = argc > 3 ? argv[3] : "DejaVu Sans";
  std::string movingFace = argc > 4 ? argv[4] : "WenQuanYi Zen Hei";
  try {
    render::PlatformServices services;
    render::LogFont font;
    font.height = -58;
    font.weight = 400;
    font.charSet = 134;
    render::SetFaceName(font, common::Utf8ToUtf16(face));
    render::CheckFontAvailable(font);
    std::u16string text;
    for (char16_t unit = 0x4E00; text.size() < 3968; ++unit) text += unit;

    std::printf("atlas of %zu glyphs, 4096 x 4096, font \"%s\", best of %d\n",
                text.size(), face.c_str(), runs);
    for (auto engine :
         {render::RenderEngine::DirectWrite, render::RenderEngine::GdiPlus})
      PrintFigures(render::EngineName(engine),
                   Measure({font, font}, engine, text, runs));

    render::LogFont symbol = font;
    symbol.charSet = 1;  // a Latin font, as the font chooser leaves it
    render::SetFaceName(symbol, common::Utf8ToUtf16(symbolFace));
    render::CheckFontAvailable(symbol);
    std::u16string mixed = FallbackTable();
    std::printf(
        "atlas of %zu glyphs, 5 %% kana and punctuation in symbol font "
        "\"%s\", best of %d\n",
        mixed.size(), symbolFace.c_str(), runs);
    for (auto engine :
         {render::RenderEngine::DirectWrite, render::RenderEngine::GdiPlus})
      PrintFigures(render::EngineName(engine),
                   Measure({font, symbol}, engine, mixed, runs));

    // A font whose line stands out of the cells: every glyph is measured
    // and moved.
    render::LogFont tall = font;
    render::SetFaceName(tall, common::Utf8ToUtf16(movingFace));
    try {
      render::CheckFontAvailable(tall);
    } catch (const common::ResultException&) {
      std::printf(
          "(\"%s\" is not installed: no figures for a font that "
          "moves)\n",
          movingFace.c_str());
      return 0;
    }
    std::printf(
        "atlas of %zu glyphs, font \"%s\" (its line is taller than "
        "a cell), best of %d\n",
        text.size(), movingFace.c_str(), runs);
    for (auto engine :
         {render::RenderEngine::DirectWrite, render::RenderEngine::GdiPlus})
      PrintFigures(render::EngineName(engine),
                   Measure({tall, tall}, engine, text, runs));
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "render_bench: %s\n", e.what());
    return 1;
  }
}
