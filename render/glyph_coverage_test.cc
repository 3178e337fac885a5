#include "render/glyph_coverage.h"

#include <gtest/gtest.h>

#include "render/render_test_util.h"

namespace render {
namespace {

TEST(GlyphCoverageTest, TellsPerCellWhichFaceHasTheGlyph) {
  // The CJK main font has the ideograph; the Latin symbol font has A and
  // the space, but not the corner bracket, which another installed face
  // has; no face has the unassigned U+0378. Z does not fit a 5-cell grid.
  GlyphFonts fonts{testutil::MakeFont(testutil::kCjkFace),
                   testutil::MakeFont(testutil::kLatinFace)};
  for (RenderEngine engine :
       {RenderEngine::DirectWrite, RenderEngine::GdiPlus}) {
    GlyphCoverage coverage = MeasureGlyphCoverage(fonts, engine, {5, 1}, false,
                                                  u"\u6C49A\n \u300C\u0378Z");
    ASSERT_EQ(coverage.cells.size(), 5u);
    EXPECT_EQ(coverage.cells[0].source, GlyphSource::Chosen);
    EXPECT_EQ(coverage.cells[1].source, GlyphSource::Chosen);
    EXPECT_EQ(coverage.cells[2].source, GlyphSource::Chosen);
    EXPECT_EQ(coverage.cells[3].source, GlyphSource::Fallback);
    EXPECT_FALSE(coverage.cells[3].fallbackFace.empty());
    EXPECT_NE(coverage.cells[3].fallbackFace, testutil::kLatinFace);
    EXPECT_EQ(coverage.cells[4].source, GlyphSource::Missing);
    EXPECT_EQ(coverage.cells[4].cell.column, 4u);
    EXPECT_EQ(coverage.overflow, u"Z");
  }
}

}  // namespace
}  // namespace render
