#include "render/glyph_fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "common/text.h"
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
      auto known = glyphs_.find(cell.unit);
      if (known == glyphs_.end()) continue;  // no glyph: nothing drawn
      FakeGlyph g = known->second;
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

  std::vector<std::byte> DrawFrom(const std::u16string& text, GlyphGrid grid,
                                  const std::vector<GlyphSource>& sources,
                                  FitReport* report = nullptr) {
    DrawingSurface surface(grid.columns * 64, grid.rows * 66);
    FitOptions options;
    options.blankCanvas = true;
    options.sources = sources;
    FitReport made = DrawFittedGlyphs(
        surface, Fake(), CollectGlyphCells(text, grid, false), options);
    if (report) *report = made;
    return {surface.pixels().begin(), surface.pixels().end()};
  }

  static std::vector<std::byte> CellPixels(const std::vector<std::byte>& image,
                                           GlyphGrid grid, std::uint32_t cell) {
    std::vector<std::byte> pixels;
    std::size_t pitch = std::size_t(grid.columns) * 64 * 4;
    std::size_t left = (cell % grid.columns) * 64 * 4;
    for (std::size_t y = 0; y < 66; ++y) {
      auto row =
          image.begin() +
          std::ptrdiff_t(((cell / grid.columns) * 66 + y) * pitch + left);
      pixels.insert(pixels.end(), row, row + 64 * 4);
    }
    return pixels;
  }

  // Ideograph-like 'A' and 'B' keep to the box, and so does the comma-like
  // 'C'; U+4E00 sticks out 8 pixels above it and U+4E01 sits 4 pixels lower;
  // U+4E02 is 80 pixels tall (main font: U+4E00 to U+9FFF). 'D' is a dash
  // wider than a cell, 'M' a mark drawn left of its pen, 'F' a fallback
  // glyph that sits low; U+FFFE is what the engine draws for a unit no face
  // has, and 'X' (a fallback unit) comes out as that box.
  std::map<char16_t, FakeGlyph> glyphs_ = {
      {u'A', {8, 6, 56, 60}},        {u'B', {10, 10, 54, 64}},
      {u'C', {8, 4, 56, 52}},        {u'\u4E00', {8, -8, 56, 40}},
      {u'\u4E01', {12, -4, 52, 44}}, {u'\u4E02', {8, -14, 56, 66}},
      {u'D', {-20, 30, 84, 36}},     {u'M', {-12, 20, 4, 30}},
      {u'F', {8, 20, 56, 70}},       {u'X', {16, 10, 48, 56}},
      {u'\uFFFE', {16, 10, 48, 56}}, {u' ', {0, 0, 0, 0}}};
};

TEST_P(GlyphFitTest, FittingGlyphsAreDrawnAsTheEngineDrawsThem) {
  GlyphGrid grid{3, 2};
  FitReport report;
  EXPECT_EQ(Draw(u"AB AB", grid, FitMode::Fit, &report),
            Direct(u"AB AB", grid));
  EXPECT_TRUE(report.placement.main.IsEngines());
  EXPECT_TRUE(report.placement.symbol.IsEngines());
  EXPECT_TRUE(report.cut.empty());
  EXPECT_TRUE(report.alone.empty());
}

TEST_P(GlyphFitTest, EveryFaceMovesDownByOneOffsetAndStaysInItsCells) {
  // Row 1 holds the tall glyphs; without fitting their tops land in row 0.
  GlyphGrid grid{3, 2};
  std::u16string text = u"CC \u4E00\u4E01";
  FitReport none;
  std::vector<std::byte> engines = Draw(text, grid, FitMode::None, &none);
  EXPECT_EQ(engines, Direct(text, grid));
  EXPECT_EQ(none.cut, u"\u4E00\u4E01");
  EXPECT_EQ(none.bled, u"CC");

  FitReport fitted;
  std::vector<std::byte> image = Draw(text, grid, FitMode::Fit, &fitted);
  // The comma-like glyphs move with the ideographs: one line, one baseline.
  EXPECT_EQ(fitted.placement.main.dy, 8);
  EXPECT_EQ(fitted.placement.symbol.dy, 8);
  EXPECT_EQ(fitted.placement.main.size, 58);
  EXPECT_EQ(fitted.placement.symbol.size, 58);
  EXPECT_TRUE(fitted.cut.empty());
  EXPECT_TRUE(fitted.bled.empty());
  EXPECT_TRUE(fitted.alone.empty());
  Ink first = CellInk(image, grid, 3), second = CellInk(image, grid, 4);
  Ink comma = CellInk(image, grid, 0);
  EXPECT_EQ(first.bounds.top, 66);
  EXPECT_EQ(second.bounds.top - first.bounds.top, 4);
  EXPECT_EQ((comma.bounds.bottom) - (first.bounds.bottom - 66), 52 - 40);
  EXPECT_EQ(first.pixels, 48u * 48u);
}

TEST_P(GlyphFitTest, FontsThatCannotFitTogetherShrinkOneAboutItsBaseline) {
  // U+4E00's top and B's bottom are 72 pixels apart: the ideographs shrink
  // about their foot (shrinking B's font, whose foot is its bottom, would
  // not help), and the symbol font keeps its size and place.
  GlyphGrid grid{2, 1};
  FitReport report;
  std::vector<std::byte> image = Draw(u"\u4E00B", grid, FitMode::Fit, &report);
  EXPECT_LT(report.placement.main.size, 58);
  EXPECT_GE(report.placement.main.size, 50);
  EXPECT_EQ(report.placement.symbol.size, 58);
  EXPECT_TRUE(report.cut.empty());
  Ink ideograph = CellInk(image, grid, 0), letter = CellInk(image, grid, 1);
  EXPECT_GE(ideograph.bounds.top, 0);
  EXPECT_EQ(letter.bounds.bottom - ideograph.bounds.bottom, 64 - 40);
}

TEST_P(GlyphFitTest, RowsAreToldFinalOnlyOnceNothingWritesThemAgain) {
  // The tall ideographs of the second row move down: the rows are told as
  // they are composited, each only when every glyph above is in place.
  GlyphGrid grid{2, 3};
  DrawingSurface surface(128, 198);
  std::vector<std::uint32_t> told;
  std::vector<std::byte> snapshot;
  FitOptions options;
  options.blankCanvas = true;
  options.rowsDrawn = [&](std::uint32_t rows) {
    // What is told final never changes later.
    told.push_back(rows);
    snapshot.assign(surface.pixels().begin(),
                    surface.pixels().begin() + rows * 128 * 4);
  };
  DrawFittedGlyphs(surface, Fake(),
                   CollectGlyphCells(u"CC\u4E00\u4E01AB", grid, false),
                   options);
  EXPECT_EQ(told, (std::vector<std::uint32_t>{66, 132}));
  EXPECT_TRUE(
      std::equal(snapshot.begin(), snapshot.end(), surface.pixels().begin()));
}

TEST_P(GlyphFitTest, RareGlyphIsFittedAloneAndLeavesEveryOtherCellAsBefore) {
  // U+4E02 is taller than a cell, D wider, M lies left of its cell: each is
  // fitted by itself, and the other cells are what they are without them.
  GlyphGrid grid{4, 2};
  FitReport with, without;
  std::vector<std::byte> rare =
      Draw(u"\u4E02\u4E00DMCC", grid, FitMode::Fit, &with);
  std::vector<std::byte> plain =
      Draw(u" \u4E00  CC", grid, FitMode::Fit, &without);
  for (std::uint32_t cell : {1u, 4u, 5u})
    EXPECT_EQ(CellPixels(rare, grid, cell), CellPixels(plain, grid, cell))
        << "cell " << cell;
  EXPECT_EQ(with.placement.main.size, 58);
  EXPECT_EQ(with.placement.main.dy, without.placement.main.dy);
  ASSERT_EQ(with.alone.size(), 3u);
  EXPECT_EQ(with.alone[0].unit, u'\u4E02');
  EXPECT_EQ(with.alone[0].size, 47);  // 58 x 66 / 80
  EXPECT_EQ(with.alone[0].dy, -8);    // from where its font's 8 put it
  EXPECT_EQ(with.alone[1].unit, u'D');
  EXPECT_EQ(with.alone[1].size, 35);  // 58 x 64 / 104
  EXPECT_EQ(with.alone[2].unit, u'M');
  EXPECT_EQ(with.alone[2].size, 58);
  EXPECT_EQ(with.alone[2].dx, 12);
  EXPECT_TRUE(with.cut.empty());
  for (std::uint32_t cell = 0; cell < 4; ++cell)
    EXPECT_GT(CellInk(rare, grid, cell).pixels, 0u) << "cell " << cell;
}

TEST_P(GlyphFitTest, FallbackGlyphsNeverMoveOrShrinkTheFonts) {
  // F, from a fallback face, sits too low to fit with the ideographs; the
  // chosen faces decide, and F is moved up by itself.
  GlyphGrid grid{3, 1};
  std::vector<GlyphSource> sources = {GlyphSource::Chosen, GlyphSource::Chosen,
                                      GlyphSource::Fallback};
  FitReport report;
  std::vector<std::byte> image = DrawFrom(u"\u4E00CF", grid, sources, &report);
  EXPECT_EQ(report.placement.main.dy, 8);
  EXPECT_EQ(report.placement.symbol.dy, 8);
  EXPECT_EQ(report.placement.symbol.size, 58);
  ASSERT_EQ(report.alone.size(), 1u);
  EXPECT_EQ(report.alone[0].unit, u'F');
  EXPECT_EQ(report.alone[0].dy, -12);
  EXPECT_EQ(CellInk(image, grid, 2).bounds.bottom, 66);
}

TEST_P(GlyphFitTest, NotdefBoxesAndMissingUnitsLeaveTheirCellsBlank) {
  // X should come from a fallback face but is drawn as the .notdef box; A is
  // missing from every face (the engine would draw it anyway). The chosen
  // face's own glyph that looks like the box stays.
  GlyphGrid grid{4, 1};
  std::vector<GlyphSource> sources = {GlyphSource::Fallback,
                                      GlyphSource::Missing, GlyphSource::Chosen,
                                      GlyphSource::Fallback};
  FitReport report;
  std::vector<std::byte> image = DrawFrom(u"XAXB", grid, sources, &report);
  EXPECT_EQ(report.notdef, u"X");
  EXPECT_EQ(CellInk(image, grid, 0).pixels, 0u);
  EXPECT_EQ(CellInk(image, grid, 1).pixels, 0u);
  EXPECT_EQ(CellInk(image, grid, 2).pixels, 32u * 46u);
  EXPECT_GT(CellInk(image, grid, 3).pixels, 0u);
}

TEST_P(GlyphFitTest,
       GivenPlacementIsKeptAndAGlyphThatStillLeavesIsFittedAlone) {
  GlyphPlacement atlas;
  atlas.main.dy = 4;  // as planned over a whole table
  DrawingSurface surface(64, 66);
  FitOptions options;
  options.placement = &atlas;
  FitReport report = DrawFittedGlyphs(
      surface, Fake(), CollectGlyphCells(u"\u4E00", {1, 1}, false), options);
  EXPECT_EQ(report.placement.main.dy, 4);
  EXPECT_TRUE(report.cut.empty());
  ASSERT_EQ(report.alone.size(), 1u);  // 8 pixels above, moved by 4 and 4
  EXPECT_EQ(report.alone[0].dy, 4);
  std::vector<std::byte> blank(surface.pixels().size());
  Ink ink =
      MeasureInk(surface.pixels(), blank, 64, {0, 0, 64, 66}, {0, 0, 64, 66});
  EXPECT_EQ(ink.bounds.top, 0);
  EXPECT_EQ(ink.bounds.bottom, 48);
}

INSTANTIATE_TEST_SUITE_P(Engines, GlyphFitTest, ::testing::Bool(),
                         [](const auto& param) {
                           return param.param ? std::string("TellsWhereItDrew")
                                              : std::string("MustBeLookedAt");
                         });

// The platform's engines with real faces.
class SystemFitTest : public ::testing::TestWithParam<RenderEngine> {
 protected:
  // Why a test with this face cannot run here; empty when it can.
  std::string WhyNot(const LogFont& font) const {
    try {
      CheckFontAvailable(font);
    } catch (...) {
      return common::Utf16ToUtf8(FaceName(font)) + " is not installed";
    }
    if (GetParam() == RenderEngine::GdiPlus &&
        testutil::GdiPlusDropsWideGlyphs())
      return "Wine's GDI+ draws no ideograph at 58 pixels";
    return {};
  }

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
  if (std::string why = WhyNot(zenHei); !why.empty()) GTEST_SKIP() << why;
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

TEST_P(SystemFitTest, RareGlyphsOfARealFaceLeaveTheOthersAsTheyAre) {
  // Noto Sans CJK SC (Debian fonts-noto-cjk): the sample's kind of table,
  // then the same with a three-em dash, a vertical repeat mark taller than
  // a cell and a tone mark drawn left of its pen.
  LogFont noto = MakeFont(u"Noto Sans CJK SC");
  if (std::string why = WhyNot(noto); !why.empty()) GTEST_SKIP() << why;
  GlyphFonts fonts = testutil::SameFonts(noto);
  std::u16string plain =
      Ideographs(60) + u"，。！？《》「」“”（）ABCgjpqy0123ｇｊｙ";
  std::u16string rare = plain + u"\u2E3A\u3031\u302A";
  GlyphGrid grid{64, 2};
  FitOptions options;
  options.engineClips = GetParam() == RenderEngine::GdiPlus;
  DrawingSurface without(4096, 132), with(4096, 132);
  FitReport before =
      DrawFittedGlyphs(without, SystemGlyphRenderers(GetParam(), fonts),
                       CollectGlyphCells(plain + u"   ", grid, false), options);
  FitReport after =
      DrawFittedGlyphs(with, SystemGlyphRenderers(GetParam(), fonts),
                       CollectGlyphCells(rare, grid, false), options);
  EXPECT_EQ(after.placement.symbol.size, 58);
  EXPECT_EQ(after.placement.main.dy, before.placement.main.dy);
  EXPECT_EQ(after.placement.symbol.dy, after.placement.main.dy);
  // The dash and the tall mark cannot fit as drawn; where the tone mark
  // lands depends on the engine (Wine's DirectWrite draws it in its cell).
  ASSERT_GE(after.alone.size(), 2u);
  for (const AloneGlyph& glyph : after.alone)
    EXPECT_NE(std::u16string(u"\u2E3A\u3031\u302A").find(glyph.unit),
              std::u16string::npos);
  EXPECT_TRUE(after.cut.empty());
  // Every cell but the three rare ones, byte for byte.
  std::size_t rareLeft = plain.size() % 64 * 64 * 4;
  for (std::size_t y = 0; y < 132; ++y) {
    std::size_t row = y * 4096 * 4;
    std::size_t end = y < 66 ? 4096 * 4 : rareLeft;
    ASSERT_TRUE(std::equal(without.pixels().begin() + row,
                           without.pixels().begin() + row + end,
                           with.pixels().begin() + row))
        << "row " << y;
  }
}

TEST_P(SystemFitTest, OneFaceAsBothFontsMovesByOneOffset) {
  LogFont zenHei = MakeFont(u"WenQuanYi Zen Hei");
  if (std::string why = WhyNot(zenHei); !why.empty()) GTEST_SKIP() << why;
  GlyphFonts fonts = testutil::SameFonts(zenHei);
  std::u16string text = Ideographs(60) + u"，。《》【】〈〉「」";
  FitOptions options;
  options.engineClips = GetParam() == RenderEngine::GdiPlus;
  DrawingSurface surface(4096, 132);
  FitReport report =
      DrawFittedGlyphs(surface, SystemGlyphRenderers(GetParam(), fonts),
                       CollectGlyphCells(text, {64, 2}, false), options);
  EXPECT_EQ(report.placement.main.dy, report.placement.symbol.dy);
  EXPECT_EQ(report.placement.main.size, report.placement.symbol.size);
  EXPECT_TRUE(report.cut.empty());
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
