#include "render/glyph_atlas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "render/render_test_util.h"

namespace render {
namespace {

using testutil::MakeFont;

class GlyphAtlasTest : public ::testing::TestWithParam<RenderEngine> {
 protected:
  std::u16string TestGlyph() const {
    return GetParam() == RenderEngine::GdiPlus &&
                   testutil::GdiPlusDropsWideGlyphs()
               ? u"H"
               : u"\u6D4B";
  }
  GlyphFonts fonts_ = testutil::SameFonts(MakeFont(testutil::kCjkFace));
};

TEST(GlyphAtlasViewTest, DescribesTheCanvasAsB8G8R8A8) {
  GlyphAtlas atlas;
  atlas.pixels.resize(16);
  texture::ImageView view = atlas.View();
  EXPECT_EQ(view.width, 4096u);
  EXPECT_EQ(view.height, 4096u);
  EXPECT_EQ(view.format, 87u);
  EXPECT_EQ(view.rowPitch, 16384u);
  EXPECT_EQ(view.slicePitch, 67108864u);
  EXPECT_EQ(view.pixels, atlas.pixels.data());
}

TEST_P(GlyphAtlasTest, LastCellOfTheGridHoldsThe3968thGlyph) {
  std::u16string text(3967, u' ');
  text += TestGlyph();
  GlyphAtlas atlas = DrawGlyphAtlas(fonts_, GetParam(), false, text);
  ASSERT_EQ(atlas.pixels.size(), 67108864u);
  testutil::PixelRect lastCell{4032, 4026, 4096, 4092};
  // Only the bottom right corner can hold ink; measure it against zeros.
  std::vector<std::byte> background(atlas.pixels.size());
  testutil::Ink ink = testutil::MeasureInk(atlas.pixels, background, 4096,
                                           {3968, 3960, 4096, 4096}, lastCell);
  EXPECT_GT(ink.pixels, 100u);
  EXPECT_EQ(ink.outside, 0u);
  auto end = atlas.pixels.begin() + std::ptrdiff_t{3960} * 16384;
  EXPECT_TRUE(std::all_of(atlas.pixels.begin(), end,
                          [](std::byte b) { return b == std::byte{0}; }));
}

TEST_P(GlyphAtlasTest, UnitsBeyondTheGridAreNotDrawn) {
  std::u16string text(3968, u' ');
  text += TestGlyph();
  GlyphAtlas atlas = DrawGlyphAtlas(fonts_, GetParam(), false, text);
  ASSERT_EQ(atlas.pixels.size(), 67108864u);
  EXPECT_TRUE(std::all_of(atlas.pixels.begin(), atlas.pixels.end(),
                          [](std::byte b) { return b == std::byte{0}; }));
}

INSTANTIATE_TEST_SUITE_P(Engines, GlyphAtlasTest,
                         ::testing::Values(RenderEngine::DirectWrite,
                                           RenderEngine::GdiPlus));

}  // namespace
}  // namespace render
