#include "render/text_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/result.h"
#include "render/glyph_coverage.h"
#include "render/render_test_util.h"

namespace render {
namespace {

using testutil::Ink;
using testutil::MakeFont;
using testutil::MeasureInk;
using testutil::PixelRect;

std::vector<std::byte> Copy(const DrawingSurface& surface) {
  return {surface.pixels().begin(), surface.pixels().end()};
}

PixelRect Whole(const DrawingSurface& surface) {
  return {0, 0, static_cast<int>(surface.width()),
          static_cast<int>(surface.height())};
}

PixelRect CellRect(std::uint32_t column, std::uint32_t row) {
  return {static_cast<int>(column * 64), static_cast<int>(row * 66),
          static_cast<int>(column * 64 + 64), static_cast<int>(row * 66 + 66)};
}

class TextEngineTest : public ::testing::TestWithParam<RenderEngine> {
 protected:
  bool UsesGdiPlus() const { return GetParam() == RenderEngine::GdiPlus; }

  /// The glyph the pixel tests draw: an ideograph, or a narrow Latin letter
  /// where the engine drops glyphs that wide (GDI+ under Wine).
  std::u16string TestGlyph() const {
    return UsesGdiPlus() && testutil::GdiPlusDropsWideGlyphs() ? u"H"
                                                               : u"\u6D4B";
  }

  void Draw(DrawingSurface& surface, const GlyphFonts& fonts, GlyphGrid grid,
            std::u16string_view text, bool curlyQuotes = false) {
    DrawGlyphs(surface, GetParam(), fonts, grid, curlyQuotes, text);
  }

  GlyphFonts cjk_ = testutil::SameFonts(MakeFont(testutil::kCjkFace));
};

TEST_P(TextEngineTest, GlyphLandsInsideItsCellAndNowhereElse) {
  DrawingSurface surface(256, 132);
  std::vector<std::byte> before = Copy(surface);
  // Spaces draw no ink, so the glyph is alone in cell (1, 1).
  Draw(surface, cjk_, {4, 2}, u"     " + TestGlyph());
  Ink ink =
      MeasureInk(surface.pixels(), before, 256, Whole(surface), CellRect(1, 1));
  EXPECT_GT(ink.pixels, 200u);
  EXPECT_EQ(ink.outside, 0u);
  // Centred horizontally in its cell.
  EXPECT_NEAR(ink.centreX, 96.0, 4.0);
}

TEST_P(TextEngineTest, EachUnitOfTheTextTakesTheNextCell) {
  DrawingSurface surface(192, 132);
  std::vector<std::byte> before = Copy(surface);
  std::u16string glyph = TestGlyph();
  Draw(surface, cjk_, {3, 2}, glyph + u"\n" + glyph + u" " + glyph);
  for (std::uint32_t cell = 0; cell < 6; ++cell) {
    PixelRect box = CellRect(cell % 3, cell / 3);
    Ink ink = MeasureInk(surface.pixels(), before, 192, box, box);
    bool drawn = cell == 0 || cell == 1 || cell == 3;
    EXPECT_EQ(ink.empty(), !drawn) << "cell " << cell;
  }
}

TEST_P(TextEngineTest, EmptyTextOrGridLeavesTheCanvasUntouched) {
  if (!UsesGdiPlus() && testutil::DirectWriteOverwritesDc()) {
    GTEST_SKIP() << "Wine's DC render target overwrites the bound bitmap";
  }
  DrawingSurface surface(128, 66);
  std::span<std::byte> pixels = surface.pixels();
  for (std::size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = static_cast<std::byte>(i * 7 + 3);
  std::vector<std::byte> before = Copy(surface);
  Draw(surface, cjk_, {2, 1}, u"");
  Draw(surface, cjk_, {0, 1}, TestGlyph());
  Draw(surface, cjk_, {2, 0}, TestGlyph());
  Draw(surface, cjk_, {2, 1}, u"\r\n");
  EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), before.begin()));
}

TEST_P(TextEngineTest, DrawsPremultipliedWhiteOnBlack) {
  DrawingSurface surface(64, 66);
  Draw(surface, cjk_, {1, 1}, TestGlyph());
  std::span<std::byte> pixels = surface.pixels();
  int opaque = 0, partial = 0;
  for (std::size_t i = 0; i < pixels.size(); i += 4) {
    int b = int(pixels[i]), g = int(pixels[i + 1]), r = int(pixels[i + 2]),
        a = int(pixels[i + 3]);
    ASSERT_EQ(b, a) << "pixel " << i / 4;
    ASSERT_EQ(g, a) << "pixel " << i / 4;
    ASSERT_EQ(r, a) << "pixel " << i / 4;
    opaque += a == 255;
    partial += a > 0 && a < 255;
  }
  EXPECT_GT(opaque, 100);  // solid strokes
  EXPECT_GT(partial, 20);  // anti-aliased edges
}

TEST_P(TextEngineTest, CompositesOverWhatIsThere) {
  if (!UsesGdiPlus() && testutil::DirectWriteOverwritesDc()) {
    GTEST_SKIP() << "Wine's DC render target overwrites the bound bitmap";
  }
  DrawingSurface surface(64, 66);
  std::span<std::byte> pixels = surface.pixels();
  for (std::size_t i = 0; i < pixels.size(); i += 4) {
    pixels[i] = pixels[i + 1] = pixels[i + 2] = std::byte{0x20};
    pixels[i + 3] = std::byte{255};
  }
  Draw(surface, cjk_, {1, 1}, TestGlyph());
  int white = 0;
  for (std::size_t i = 0; i < pixels.size(); i += 4) {
    int b = int(pixels[i]);
    ASSERT_GE(b, 0x20) << "pixel " << i / 4;
    ASSERT_EQ(int(pixels[i + 1]), b);
    ASSERT_EQ(int(pixels[i + 2]), b);
    white += b == 255;
  }
  EXPECT_GT(white, 100);
}

TEST_P(TextEngineTest, ChoosesMainOrSymbolFontPerUnit) {
  if (UsesGdiPlus() && testutil::GdiPlusDropsWideGlyphs()) {
    GTEST_SKIP() << "Wine's GDI+ drops glyphs as wide as the ideographs and "
                    "fullwidth letters that take the main font";
  }
  // Main font bold, symbol font regular. Fullwidth capital W (U+FF37)
  // takes the symbol font, fullwidth small w (U+FF57) the main font.
  GlyphFonts fonts{MakeFont(testutil::kCjkFace, 700),
                   MakeFont(testutil::kCjkFace, 400)};
  const std::u16string text = u"\uFF37\uFF57";
  DrawingSurface mixed(128, 66), regular(128, 66);
  std::vector<std::byte> before = Copy(mixed);
  Draw(mixed, fonts, {2, 1}, text);
  Draw(regular, testutil::SameFonts(fonts.symbolFont), {2, 1}, text);
  auto inkOf = [&](const DrawingSurface& surface, std::uint32_t column) {
    return MeasureInk(surface.pixels(), before, 128, CellRect(column, 0),
                      CellRect(column, 0))
        .pixels;
  };
  EXPECT_EQ(inkOf(mixed, 0), inkOf(regular, 0));
  EXPECT_GT(inkOf(mixed, 1), inkOf(regular, 1));
}

TEST_P(TextEngineTest, BoldIsSynthesisedForARegularOnlyFamily) {
  DrawingSurface regular(64, 66), bold(64, 66);
  std::vector<std::byte> before = Copy(regular);
  Draw(regular, cjk_, {1, 1}, TestGlyph());
  Draw(bold, testutil::SameFonts(MakeFont(testutil::kCjkFace, 700)), {1, 1},
       TestGlyph());
  Ink thin =
      MeasureInk(regular.pixels(), before, 64, Whole(regular), Whole(regular));
  Ink thick = MeasureInk(bold.pixels(), before, 64, Whole(bold), Whole(bold));
  EXPECT_GT(thick.pixels, thin.pixels + thin.pixels / 20);
}

INSTANTIATE_TEST_SUITE_P(Engines, TextEngineTest,
                         ::testing::Values(RenderEngine::DirectWrite,
                                           RenderEngine::GdiPlus),
                         [](const auto& param) {
                           return param.param == RenderEngine::GdiPlus
                                      ? std::string("GdiPlus")
                                      : std::string("DirectWrite");
                         });

/// The ink of one glyph drawn alone in a 64 x 66 cell.
Ink DrawAlone(RenderEngine engine, const LogFont& font,
              std::u16string_view glyph) {
  DrawingSurface surface(64, 66);
  std::vector<std::byte> before = Copy(surface);
  DrawGlyphs(surface, engine, testutil::SameFonts(font), {1, 1}, false, glyph);
  return MeasureInk(surface.pixels(), before, 64, Whole(surface),
                    Whole(surface));
}

/// How far the top of a glyph's ink leans right of its bottom: the
/// coverage centre of the top third minus that of the bottom third.
double Lean(RenderEngine engine, const LogFont& font,
            std::u16string_view glyph = u"l") {
  DrawingSurface surface(64, 66);
  std::vector<std::byte> before = Copy(surface);
  DrawGlyphs(surface, engine, testutil::SameFonts(font), {1, 1}, false, glyph);
  Ink all =
      MeasureInk(surface.pixels(), before, 64, Whole(surface), Whole(surface));
  int third = (all.bounds.bottom - all.bounds.top) / 3;
  PixelRect top{0, all.bounds.top, 64, all.bounds.top + third};
  PixelRect bottom{0, all.bounds.bottom - third, 64, all.bounds.bottom};
  Ink upper = MeasureInk(surface.pixels(), before, 64, top, top);
  Ink lower = MeasureInk(surface.pixels(), before, 64, bottom, bottom);
  return upper.centreX - lower.centreX;
}

TEST(TextEnginesTest, DirectWriteDrawsItalicUprightAndGdiPlusSlanted) {
  LogFont italic = MakeFont(testutil::kLatinFace, 400, true);
  EXPECT_NEAR(Lean(RenderEngine::DirectWrite, italic), 0.0, 1.0);
  EXPECT_GT(Lean(RenderEngine::GdiPlus, italic), 4.0);
  EXPECT_NEAR(
      Lean(RenderEngine::GdiPlus, MakeFont(testutil::kLatinFace, 400, false)),
      0.0, 1.0);
#if !defined(_WIN32)
  // The face that stands in for a glyph the italic font lacks is slanted
  // too (the ideograph of one vertical stroke, U+4E28, from a CJK face).
  // Wine's GDI+ draws no glyph that wide.
  EXPECT_GT(Lean(RenderEngine::GdiPlus, italic, u"\u4E28"), 4.0);
  EXPECT_NEAR(Lean(RenderEngine::DirectWrite, italic, u"\u4E28"), 0.0, 1.0);
#endif
}

TEST(TextEnginesTest, DirectWriteGlyphSitsLowerThanGdiPlusGlyph) {
  // DirectWrite puts the line's bottom on the cell's bottom; GDI+ centres
  // the line. For a line shorter than the cell (here about 61 of 66
  // pixels) the DirectWrite glyph therefore sits (66 - 61) / 2 lower; a
  // font whose line is taller than the cell would reverse the order.
  std::u16string glyph = testutil::GdiPlusDropsWideGlyphs() ? u"H" : u"\u6D4B";
  LogFont font = MakeFont(testutil::kShortLineFace);
  Ink directWrite = DrawAlone(RenderEngine::DirectWrite, font, glyph);
  Ink gdiPlus = DrawAlone(RenderEngine::GdiPlus, font, glyph);
  ASSERT_FALSE(directWrite.empty());
  ASSERT_FALSE(gdiPlus.empty());
  EXPECT_GE(directWrite.centreY - gdiPlus.centreY, 1.5);
  EXPECT_LE(directWrite.centreY - gdiPlus.centreY, 4.0);
  EXPECT_GT(directWrite.bounds.bottom, gdiPlus.bounds.bottom);
}

TEST(TextEnginesTest, SymbolTheFontLacksIsDrawnByAFallbackInItsCell) {
  // DejaVu Sans has no CJK punctuation. Windows draws the corner bracket
  // with another installed font (DirectWrite's fallback, GDI+'s linking);
  // the Linux stand-ins do the same, never the font's .notdef box: the cell
  // holds what the face the coverage names draws there.
  LogFont latin = MakeFont(testutil::kLatinFace);
  for (RenderEngine engine :
       {RenderEngine::DirectWrite, RenderEngine::GdiPlus}) {
    DrawingSurface surface(192, 66);
    std::vector<std::byte> before = Copy(surface);
    DrawGlyphs(surface, engine, testutil::SameFonts(latin), {3, 1}, false,
               u" \u300C");
    Ink ink = MeasureInk(surface.pixels(), before, 192, Whole(surface),
                         CellRect(1, 0));
    EXPECT_EQ(ink.outside, 0u);
#if !defined(_WIN32)
    EXPECT_GT(ink.pixels, 50u);
    GlyphCoverage coverage = MeasureGlyphCoverage(
        testutil::SameFonts(latin), engine, {3, 1}, false, u" \u300C");
    ASSERT_EQ(coverage.cells.at(1).source, GlyphSource::Fallback);
    DrawingSurface direct(192, 66);
    DrawGlyphs(direct, engine,
               testutil::SameFonts(MakeFont(coverage.cells[1].fallbackFace)),
               {3, 1}, false, u" \u300C");
    EXPECT_TRUE(std::equal(surface.pixels().begin(), surface.pixels().end(),
                           direct.pixels().begin()));
#endif
  }
}

TEST(TextEnginesTest, StyleNamedFaceIsDrawnInThatFace) {
  // "DejaVu Sans Light" is how GDI (and fontconfig) name the ExtraLight
  // face; DirectWrite knows it only as a weight of the family "DejaVu
  // Sans". Drawing must take that face, not a fallback for a family name
  // DirectWrite does not know.
  LogFont styleNamed = MakeFont(u"DejaVu Sans Light");
  styleNamed.charSet = 1;  // as MakeFont gives the Latin face
  std::vector<std::byte> drawn[3];
  const LogFont fonts[3] = {styleNamed, MakeFont(testutil::kLatinFace, 200),
                            MakeFont(testutil::kLatinFace, 400)};
  for (int i = 0; i < 3; ++i) {
    DrawingSurface surface(64, 66);
    DrawGlyphs(surface, RenderEngine::DirectWrite,
               testutil::SameFonts(fonts[i]), {1, 1}, false, u"H");
    drawn[i] = Copy(surface);
  }
  EXPECT_TRUE(std::any_of(drawn[0].begin(), drawn[0].end(),
                          [](std::byte b) { return b != std::byte{0}; }));
  EXPECT_EQ(drawn[0], drawn[1]);
  EXPECT_NE(drawn[0], drawn[2]);
}

TEST(TextEnginesTest, UnknownFaceIsAnErrorNotASubstitute) {
  LogFont missing = MakeFont(u"Karstel No Such Face");
  try {
    CheckFontAvailable(missing);
    ADD_FAILURE() << "missing face reported available";
  } catch (const common::ResultException& e) {
    EXPECT_EQ(e.GetErrorCode(), kFontNotFound);
  }
#if !defined(_WIN32)
  // The stand-ins refuse the face while drawing too: fontconfig would
  // otherwise hand over whatever family it likes best.
  DrawingSurface surface(64, 66);
  for (RenderEngine engine :
       {RenderEngine::DirectWrite, RenderEngine::GdiPlus}) {
    try {
      DrawGlyphs(surface, engine, testutil::SameFonts(missing), {1, 1}, false,
                 u"A");
      ADD_FAILURE() << "drew with a missing face";
    } catch (const common::ResultException& e) {
      EXPECT_EQ(e.GetErrorCode(), kFontNotFound);
    }
  }
#endif
}

TEST(TextEnginesTest, ChecksFaceNamesExactlyButIgnoresLetterCase) {
  EXPECT_NO_THROW(CheckFontAvailable(MakeFont(testutil::kCjkFace)));
  EXPECT_NO_THROW(CheckFontAvailable(MakeFont(u"wenquanyi micro hei")));
  EXPECT_NO_THROW(CheckFontAvailable(MakeFont(testutil::kLatinFace, 700)));
  EXPECT_THROW(CheckFontAvailable(MakeFont(u"WenQuanYi Micro")),
               common::ResultException);
  EXPECT_THROW(CheckFontAvailable(MakeFont(u"")), common::ResultException);
}

}  // namespace
}  // namespace render
