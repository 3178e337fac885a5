#include "render/preview.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/drawing_check.h"
#include "render/glyph_coverage.h"
#include "render/glyph_fit.h"
#include "render/text_engine.h"

namespace render {
namespace {

std::uint32_t CeilDiv(std::uint32_t a, std::uint32_t b) {
  return a / b + (a % b != 0 ? 1 : 0);
}

}  // namespace

PreviewLayout ChoosePreviewLayout(std::uint32_t count,
                                  std::uint32_t clientWidth,
                                  std::uint32_t clientHeight) {
  PreviewLayout layout;
  // An area narrower than one cell still gets one column: the row count
  // below divides by it.
  std::uint32_t columns = std::max<std::uint32_t>(1, clientWidth / kCellWidth);
  std::uint32_t maxRows = clientHeight / kCellHeight;
  if (count <= columns) {
    layout.grid = {count, 1};
  } else if (std::uint32_t rows = CeilDiv(count, columns); rows <= maxRows) {
    layout.grid = {columns, rows};
  } else {
    columns = static_cast<std::uint32_t>(
        std::ceil(std::sqrt(static_cast<float>(count))));
    layout.grid = {columns, CeilDiv(count, columns)};
    layout.scaled = true;
  }
  layout.width = layout.grid.columns * kCellWidth;
  layout.height = layout.grid.rows * kCellHeight;
  layout.shownWidth = layout.width;
  layout.shownHeight = layout.height;
  if (layout.scaled) {
    // Widened to 64 bits: a long text times a wide area overflows 32.
    if (layout.width > layout.height) {
      layout.shownWidth = clientWidth;
      layout.shownHeight = static_cast<std::uint32_t>(
          std::uint64_t{layout.height} * clientWidth / layout.width);
    } else {
      layout.shownWidth = static_cast<std::uint32_t>(
          std::uint64_t{layout.width} * clientHeight / layout.height);
      layout.shownHeight = clientHeight;
    }
    // A bitmap needs at least one pixel each way.
    layout.shownWidth = std::max<std::uint32_t>(1, layout.shownWidth);
    layout.shownHeight = std::max<std::uint32_t>(1, layout.shownHeight);
  }
  return layout;
}

void PaintPreviewBackground(std::byte* pixels, std::uint32_t width,
                            std::uint32_t height, GlyphGrid grid) {
  for (std::uint32_t y = 0; y < height; ++y) {
    std::byte* row = pixels + std::size_t{y} * width * 4;
    std::uint32_t cellRow = y / kCellHeight;
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint32_t cellColumn = x / kCellWidth;
      bool light = cellRow < grid.rows && cellColumn < grid.columns &&
                   cellColumn % 2 == cellRow % 2;
      auto grey =
          static_cast<std::byte>(light ? kPreviewLightGrey : kPreviewDarkGrey);
      std::byte* pixel = row + std::size_t{x} * 4;
      pixel[0] = pixel[1] = pixel[2] = grey;
      pixel[3] = std::byte{255};
    }
  }
}

PreviewImage DrawPreview(const GlyphFonts& fonts, RenderEngine engine,
                         bool curlyQuotes, std::u16string_view text,
                         std::uint32_t clientWidth, std::uint32_t clientHeight,
                         FitMode fit, const GlyphPlacement* placement) {
  PreviewImage image;
  if (text.empty()) return image;
  PreviewLayout layout =
      ChoosePreviewLayout(static_cast<std::uint32_t>(
                              std::min<std::size_t>(text.size(), UINT32_MAX)),
                          clientWidth, clientHeight);
  DrawingSurface surface(layout.width, layout.height);
  PaintPreviewBackground(surface.pixels().data(), layout.width, layout.height,
                         layout.grid);
  std::vector<GlyphCell> cells =
      CollectGlyphCells(text, layout.grid, curlyQuotes);
  GlyphCoverage coverage =
      MeasureGlyphCoverage(fonts, engine, layout.grid, curlyQuotes, text);
  std::vector<GlyphSource> sources = SourcesOf(coverage);
  FitOptions options;
  options.mode = fit;
  options.engineClips = engine == RenderEngine::GdiPlus;
  options.placement = placement;
  options.sources = sources;
  FitReport drawn = DrawFittedGlyphs(
      surface, SystemGlyphRenderers(engine, fonts), cells, options);
  // An engine that draws nothing here (GDI+ under Wine, for ideographs) is
  // a failure the player must hear of, not a preview of empty cells.
  CheckDrawing(drawn, std::move(coverage), engine);
  if (layout.scaled) {
    surface = ScaleSurface(surface, layout.shownWidth, layout.shownHeight);
  }
  // The background was made opaque before drawing, but what GDI+ and
  // GDI's stretch write into the fourth byte is theirs to choose; the
  // preview is shown opaque.
  std::span<std::byte> pixels = surface.pixels();
  for (std::size_t i = 3; i < pixels.size(); i += 4) pixels[i] = std::byte{255};
  image.width = surface.width();
  image.height = surface.height();
  image.pixels = surface.TakePixels();
  return image;
}

}  // namespace render
