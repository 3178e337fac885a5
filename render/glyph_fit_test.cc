#include "render/glyph_fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "render/glyph_coverage.h"
#include "render/render_test_util.h"

namespace render {
namespace {

using testutil::Ink;
using testutil::MakeFont;
using testutil::MeasureInk;
using testutil::PixelRect;

/// Where a stand-in glyph lies relative to its box's top-left corner at
/// scale 1: a solid rectangle, shrinking with the scale about the box's
/// bottom-centre, as a bottom-aligned line does.
struct FakeGlyph {
  int left, top, right, bottom;
};

/// An engine that draws each unit as its rectangle in opaque white, and
/// tells where it drew when `reports`.
class FakeRenderer final : public GlyphRenderer {
 public:
  FakeRenderer(const std::map<char16_t, FakeGlyph>& glyphs, GlyphScale scale,
               bool reports)
      : glyphs_(glyphs), scale_(scale), reports_(reports) {}

  bool Draw(DrawingSurface& surface, std::span<const GlyphCell> cells,
            bool clip, std::span<PixelBox> touched) override {
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const GlyphCell& cell = cells[i];
      FakeGlyph g = glyphs_.at(cell.unit);
      float s = cell.font == GlyphFont::Main ? scale_.main : scale_.symbol;
      auto x = [&](int v) {
        return int(cell.box.left + 32 + static_cast<float>(v - 32) * s);
      };
      auto y = [&](int v) {
        return int(cell.box.top + 66 + static_cast<float>(v - 66) * s);
      };
      PixelBox box{x(g.left), y(g.top), x(g.right), y(g.bottom)};
      if (clip) {
        box = {std::max(box.left, int(cell.box.left)),
               std::max(box.top, int(cell.box.top)),
               std::min(box.right, int(cell.box.right)),
               std::min(box.bottom, int(cell.box.bottom))};
      }
      for (int py = std::max(box.top, 0);
           py < std::min<int>(box.bottom, surface.height()); ++py)
        for (int px = std::max(box.left, 0);
             px < std::min<int>(box.right, surface.width()); ++px)
          std::fill_n(surface.pixels().begin() +
                          (std::size_t(py) * surface.width() + px) * 4,
                      4, std::byte{0xFF});
      if (reports_ && i < touched.size()) touched[i] = box;
    }
    return reports_;
  }
  bool ReportsTouched() const override { return reports_; }

 private:
  const std::map<char16_t, FakeGlyph>& glyphs_;
  GlyphScale scale_;
  bool reports_;
};

class GlyphFitTest : public ::testing::TestWithParam<bool> {
 protected:
  GlyphRendererFactory Fake() {
    return [this](const GlyphScale& scale) {
      return std::make_unique<FakeRenderer>(glyphs_, scale, GetParam());
    };
  }

  std::vector<std::byte> Draw(const std::u16string& text, GlyphGrid grid,
                              FitMode mode, FitReport* report = nullptr) {
    DrawingSurface surface(grid.columns * 64, grid.rows * 66);
    FitOptions options;
    options.mode = mode;
    options.blankCanvas = true;
    FitReport made = DrawFittedGlyphs(
        surface, Fake(), CollectGlyphCells(text, grid, false), options);
    if (report) *report = made;
    return {surface.pixels().begin(), surface.pixels().end()};
  }

  // The engine's own drawing, straight onto the canvas.
  std::vector<std::byte> Direct(const std::u16string& text, GlyphGrid grid) {
    DrawingSurface surface(grid.columns * 64, grid.rows * 66);
    Fake()({})->Draw(surface, CollectGlyphCells(text, grid, false), false, {});
    return {surface.pixels().begin(), surface.pixels().end()};
  }

  static Ink CellInk(const std::vector<std::byte>& image, GlyphGrid grid,
                     std::uint32_t cell) {
    std::vector<std::byte> blank(image.size());
    int left = int(cell % grid.columns) * 64,
        top = int(cell / grid.columns) * 66;
    PixelRect box{left, top, left + 64, top + 66};
    return MeasureInk(image, blank, grid.columns * 64, box, box);
  }

  // Ideograph-like 'A' and 'B' keep to the box; 'T' sticks out 8 pixels
  // above it and 'L' sits 4 pixels lower than 'T'; 'W' is 80 pixels tall
  // (main font: U+4E00 to U+9FFF, so these are U+4E0x).
  std::map<char16_t, FakeGlyph> glyphs_ = {
      {u'A', {8, 6, 56, 60}},        {u'B', {10, 10, 54, 64}},
      {u'\u4E00', {8, -8, 56, 40}},  {u'\u4E01', {12, -4, 52, 44}},
      {u'\u4E02', {8, -14, 56, 66}}, {u' ', {0, 0, 0, 0}}};
};

TEST_P(GlyphFitTest, FittingGlyphsAreDrawnAsTheEngineDrawsThem) {
  GlyphGrid grid{3, 2};
  FitReport report;
  EXPECT_EQ(Draw(u"AB AB", grid, FitMode::Fit, &report),
            Direct(u"AB AB", grid));
  EXPECT_TRUE(report.placement.main.IsEngines());
  EXPECT_TRUE(report.placement.symbol.IsEngines());
  EXPECT_TRUE(report.cut.empty());
}

TEST_P(GlyphFitTest, TallFontMovesDownAsAWholeAndStaysInItsCells) {
  // Row 1 holds the tall glyphs; without fitting their tops land in row 0.
  GlyphGrid grid{3, 2};
  std::u16string text = u"AB \u4E00\u4E01";
  FitReport none;
  std::vector<std::byte> engines = Draw(text, grid, FitMode::None, &none);
  EXPECT_EQ(engines, Direct(text, grid));
  EXPECT_EQ(none.cut, u"\u4E00\u4E01");
  EXPECT_EQ(none.bled, u"AB");

  FitReport fitted;
  std::vector<std::byte> image = Draw(text, grid, FitMode::Fit, &fitted);
  EXPECT_EQ(fitted.placement.main.dy, 8);
  EXPECT_EQ(fitted.placement.main.size, 58);
  EXPECT_TRUE(fitted.placement.symbol.IsEngines());  // A and B fit as drawn
  EXPECT_TRUE(fitted.cut.empty());
  EXPECT_TRUE(fitted.bled.empty());
  // Both moved by the same 8 pixels: the second still 4 lower, and whole.
  Ink first = CellInk(image, grid, 3), second = CellInk(image, grid, 4);
  EXPECT_EQ(first.bounds.top, 66);
  EXPECT_EQ(second.bounds.top - first.bounds.top, 4);
  EXPECT_EQ(first.pixels, 48u * 48u);
  EXPECT_EQ(CellInk(image, grid, 0).pixels, 48u * 54u);  // A alone
}

TEST_P(GlyphFitTest, InkTallerThanTheCellShrinksTheFontJustEnough) {
  GlyphGrid grid{2, 1};
  FitReport report;
  std::vector<std::byte> image =
      Draw(u"\u4E02\u4E00", grid, FitMode::Fit, &report);
  // 80 pixels from the top of one glyph to the bottom of the other: the
  // font shrinks to 58 x 66 / 80 = 47 pixels, and moves down into place.
  EXPECT_EQ(report.placement.main.size, 47);
  EXPECT_TRUE(report.cut.empty());
  for (std::uint32_t cell = 0; cell < 2; ++cell) {
    Ink ink = CellInk(image, grid, cell);
    EXPECT_GE(ink.bounds.top, 0);
    EXPECT_LE(ink.bounds.bottom, 66);
  }
}

TEST_P(GlyphFitTest, GivenPlacementIsKeptAndClipsWhatStillLeaves) {
  GlyphPlacement atlas;
  atlas.main.dy = 4;  // as planned over a whole table
  DrawingSurface surface(64, 66);
  FitOptions options;
  options.placement = &atlas;
  FitReport report = DrawFittedGlyphs(
      surface, Fake(), CollectGlyphCells(u"\u4E00", {1, 1}, false), options);
  EXPECT_EQ(report.placement.main.dy, 4);
  EXPECT_EQ(report.cut, u"\u4E00");  // 8 pixels above, moved by 4
  std::vector<std::byte> blank(surface.pixels().size());
  Ink ink =
      MeasureInk(surface.pixels(), blank, 64, {0, 0, 64, 66}, {0, 0, 64, 66});
  EXPECT_EQ(ink.bounds.top, 0);
  EXPECT_EQ(ink.bounds.bottom, 44);
}

INSTANTIATE_TEST_SUITE_P(Engines, GlyphFitTest, ::testing::Bool(),
                         [](const auto& param) {
                           return param.param ? std::string("TellsWhereItDrew")
                                              : std::string("MustBeLookedAt");
                         });

// The platform's engines with real faces.
class SystemFitTest : public ::testing::TestWithParam<RenderEngine> {
 protected:
  static std::u16string Ideographs(std::size_t count) {
    std::u16string text;
    for (char16_t unit = 0x4E00; text.size() < count; ++unit) text += unit;
    return text;
  }
};

TEST_P(SystemFitTest, FontThatFitsIsTheEnginesDrawingByteForByte) {
  if (GetParam() == RenderEngine::GdiPlus && testutil::GdiPlusDropsWideGlyphs())
    GTEST_SKIP() << "Wine's GDI+ draws no ideograph at 58 pixels";
  GlyphFonts fonts = testutil::SameFonts(MakeFont(testutil::kCjkFace));
  std::u16string text = Ideographs(600);
  GlyphGrid grid{64, 10};
  DrawingSurface direct(4096, 660), fitted(4096, 660);
  DrawGlyphs(direct, GetParam(), fonts, grid, false, text);
  FitOptions options;
  options.engineClips = GetParam() == RenderEngine::GdiPlus;
  FitReport report =
      DrawFittedGlyphs(fitted, SystemGlyphRenderers(GetParam(), fonts),
                       CollectGlyphCells(text, grid, false), options);
  EXPECT_TRUE(report.placement.main.IsEngines());
  EXPECT_TRUE(std::equal(direct.pixels().begin(), direct.pixels().end(),
                         fitted.pixels().begin()));
}

TEST_P(SystemFitTest, LineTallerThanTheCellIsMovedNotCut) {
  // WenQuanYi Zen Hei (Debian fonts-wqy-zenhei): its line is about 73
  // pixels at 58. DirectWrite puts the line's bottom on the box's bottom,
  // so the tops of its ideographs stand above the 66-pixel box (how many,
  // depends on the engine's line metrics: most with the FreeType stand-in,
  // a few under Wine); GDI+ centres the line, and cuts only the tallest.
  LogFont zenHei = MakeFont(u"WenQuanYi Zen Hei");
  try {
    CheckFontAvailable(zenHei);
  } catch (...) {
    GTEST_SKIP() << "WenQuanYi Zen Hei is not installed";
  }
  if (GetParam() == RenderEngine::GdiPlus && testutil::GdiPlusDropsWideGlyphs())
    GTEST_SKIP() << "Wine's GDI+ draws no ideograph at 58 pixels";
  GlyphFonts fonts = testutil::SameFonts(zenHei);
  std::u16string text = Ideographs(128);
  GlyphGrid grid{64, 2};
  std::vector<GlyphCell> cells = CollectGlyphCells(text, grid, false);
  FitOptions options;
  options.engineClips = GetParam() == RenderEngine::GdiPlus;
  options.mode = FitMode::None;
  DrawingSurface engines(4096, 132);
  FitReport none = DrawFittedGlyphs(
      engines, SystemGlyphRenderers(GetParam(), fonts), cells, options);
  EXPECT_FALSE(none.cut.empty());

  options.mode = FitMode::Fit;
  DrawingSurface fitted(4096, 132);
  FitReport report = DrawFittedGlyphs(
      fitted, SystemGlyphRenderers(GetParam(), fonts), cells, options);
  EXPECT_FALSE(report.placement.main.IsEngines());
  EXPECT_TRUE(report.cut.empty());
  EXPECT_TRUE(report.bled.empty());
  // A glyph of the second row keeps every pixel it has when drawn alone,
  // all of them inside its own cell.
  DrawingSurface alone(64, 66 * 3);
  GlyphCell cell = cells[64 + 5];
  cell.box = {0, 66 + float(report.placement.main.dy), 64,
              132 + float(report.placement.main.dy)};
  OpenGlyphRenderer(GetParam(), fonts, kGlyphFontSize)
      ->Draw(alone, std::span(&cell, 1), false, {});
  std::vector<std::byte> blankAlone(alone.pixels().size());
  std::vector<std::byte> blank(fitted.pixels().size());
  Ink own = MeasureInk(alone.pixels(), blankAlone, 64, {0, 0, 64, 198},
                       {0, 66, 64, 132});
  Ink kept = MeasureInk(fitted.pixels(), blank, 4096, {320, 66, 384, 132},
                        {320, 66, 384, 132});
  EXPECT_EQ(own.outside, 0u);
  EXPECT_EQ(kept.pixels, own.pixels);
}

INSTANTIATE_TEST_SUITE_P(Engines, SystemFitTest,
                         ::testing::Values(RenderEngine::DirectWrite,
                                           RenderEngine::GdiPlus),
                         [](const auto& param) {
                           return param.param == RenderEngine::GdiPlus
                                      ? std::string("GdiPlus")
                                      : std::string("DirectWrite");
                         });

}  // namespace
}  // namespace render
