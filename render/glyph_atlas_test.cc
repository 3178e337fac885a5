#include "render/glyph_atlas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "render/render_test_util.h"

namespace render {
namespace {

using testutil::MakeFont;

/// The largest alpha of the 16 pixels of a BC3 block, decoded as the
/// format is published: two end points and sixteen 3-bit indices.
int MaxBc3Alpha(const std::byte* block) {
  int a0 = static_cast<int>(block[0]), a1 = static_cast<int>(block[1]);
  int palette[8] = {a0, a1};
  for (int i = 2; i < 8; ++i) {
    palette[i] = a0 > a1  ? ((8 - i) * a0 + (i - 1) * a1) / 7
                 : i < 6  ? ((6 - i) * a0 + (i - 1) * a1) / 5
                 : i == 6 ? 0
                          : 255;
  }
  std::uint64_t bits = 0;
  for (int i = 0; i < 6; ++i)
    bits |= std::uint64_t{static_cast<std::uint8_t>(block[2 + i])} << (8 * i);
  int most = 0;
  for (int p = 0; p < 16; ++p)
    most = std::max(most, palette[(bits >> (3 * p)) & 7]);
  return most;
}

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

TEST_P(GlyphAtlasTest, BuildsOneBc3LevelOfTheWholeAtlas) {
  texture::CompressedImage image =
      BuildGlyphAtlas(fonts_, GetParam(), false, TestGlyph());
  EXPECT_EQ(image.info().width, 4096u);
  EXPECT_EQ(image.info().height, 4096u);
  EXPECT_EQ(image.info().format, 77u);
  EXPECT_EQ(image.info().mipCount, 1u);
  ASSERT_EQ(image.byteSize(), 16777216u);
  const texture::ImageView* level = image.ImageAt(0, 0, 0);
  ASSERT_NE(level, nullptr);
  EXPECT_EQ(level->rowPitch, 16384u);
  // The glyph sits in the first cell: blocks there carry alpha; blocks of
  // the empty second row of cells are transparent.
  auto maxAlpha = [&](std::uint32_t bx, std::uint32_t by) {
    return MaxBc3Alpha(level->pixels + std::size_t{by} * level->rowPitch +
                       bx * 16);
  };
  int glyphAlpha = 0;
  for (std::uint32_t by = 0; by < 16; ++by)
    for (std::uint32_t bx = 0; bx < 16; ++bx)
      glyphAlpha = std::max(glyphAlpha, maxAlpha(bx, by));
  EXPECT_GE(glyphAlpha, 250);
  for (std::uint32_t bx = 0; bx < 16; ++bx) EXPECT_EQ(maxAlpha(bx, 20), 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, GlyphAtlasTest,
                         ::testing::Values(RenderEngine::DirectWrite,
                                           RenderEngine::GdiPlus));

}  // namespace
}  // namespace render
