#include "render/glyph_coverage.h"

#include <gtest/gtest.h>

#include "render/font_catalog.h"
#include "render/render_test_util.h"

namespace render {
namespace {

TEST(GlyphCoverageTest, TellsPerCellWhichFaceHasTheGlyph) {
  // The CJK main font has the ideograph; the Latin symbol font has A and
  // the space, but not the corner bracket, which another installed face
  // has; no face has the unassigned U+0378, and none draws the control
  // U+0007 nor the paragraph separator. Z does not fit a 7-cell grid.
  GlyphFonts fonts{testutil::MakeFont(testutil::kCjkFace),
                   testutil::MakeFont(testutil::kLatinFace)};
  for (RenderEngine engine :
       {RenderEngine::DirectWrite, RenderEngine::GdiPlus}) {
    GlyphCoverage coverage = MeasureGlyphCoverage(
        fonts, engine, {7, 1}, false, u"\u6C49A\n \u300C\u0378\u0007\u2029Z");
    ASSERT_EQ(coverage.cells.size(), 7u);
    EXPECT_EQ(coverage.cells[0].source, GlyphSource::Chosen);
    EXPECT_EQ(coverage.cells[1].source, GlyphSource::Chosen);
    EXPECT_EQ(coverage.cells[2].source, GlyphSource::Chosen);
    EXPECT_EQ(coverage.cells[3].source, GlyphSource::Fallback);
    EXPECT_FALSE(coverage.cells[3].fallbackFace.empty());
    EXPECT_NE(coverage.cells[3].fallbackFace, testutil::kLatinFace);
    EXPECT_EQ(coverage.cells[4].source, GlyphSource::Missing);
    EXPECT_EQ(coverage.cells[4].cell.column, 4u);
    EXPECT_EQ(coverage.cells[5].source, GlyphSource::Missing);
    EXPECT_EQ(coverage.cells[6].source, GlyphSource::Missing);
    EXPECT_EQ(coverage.overflow, u"Z");
  }
}

TEST(GlyphCoverageTest, FamilyCoversOnlyWhatItsCharacterMapHas) {
  // Not the control, the lone surrogate, the non-character or the
  // ideograph DejaVu Sans lacks; its space it does have.
  std::u16string units = u"A \u0001\uFFFF\u6C49";
  units += char16_t(0xD800);
  EXPECT_EQ(CountCoveredUnits(testutil::kLatinFace, units), 2u);
}

}  // namespace
}  // namespace render
