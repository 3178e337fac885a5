#include "render/preview.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/result.h"
#include "render/drawing_check.h"
#include "render/render_test_util.h"

namespace render {
namespace {

using testutil::MakeFont;

// The dialog's picture control: 283 x 252 pixels, 4 columns, 3 rows.
constexpr std::uint32_t kClientWidth = 283;
constexpr std::uint32_t kClientHeight = 252;

struct LayoutCase {
  std::uint32_t count;
  std::uint32_t columns, rows, width, height;
  bool scaled;
  std::uint32_t shownWidth, shownHeight;
};

class PreviewLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PreviewLayoutTest, ChoosesGridAndShownSize) {
  const LayoutCase& c = GetParam();
  PreviewLayout layout =
      ChoosePreviewLayout(c.count, kClientWidth, kClientHeight);
  EXPECT_EQ(layout.grid.columns, c.columns);
  EXPECT_EQ(layout.grid.rows, c.rows);
  EXPECT_EQ(layout.width, c.width);
  EXPECT_EQ(layout.height, c.height);
  EXPECT_EQ(layout.scaled, c.scaled);
  EXPECT_EQ(layout.shownWidth, c.shownWidth);
  EXPECT_EQ(layout.shownHeight, c.shownHeight);
}

INSTANTIATE_TEST_SUITE_P(
    DialogClientArea, PreviewLayoutTest,
    ::testing::Values(LayoutCase{3, 3, 1, 192, 66, false, 192, 66},
                      LayoutCase{4, 4, 1, 256, 66, false, 256, 66},
                      LayoutCase{5, 4, 2, 256, 132, false, 256, 132},
                      LayoutCase{12, 4, 3, 256, 198, false, 256, 198},
                      LayoutCase{13, 4, 4, 256, 264, true, 244, 252},
                      LayoutCase{20, 5, 4, 320, 264, true, 283, 233},
                      LayoutCase{100, 10, 10, 640, 660, true, 244, 252}));

TEST(PreviewLayoutTest, AreaNarrowerThanACellStillGetsOneColumn) {
  PreviewLayout oneUnit = ChoosePreviewLayout(1, 40, 300);
  EXPECT_EQ(oneUnit.grid.columns, 1u);
  EXPECT_EQ(oneUnit.grid.rows, 1u);
  EXPECT_FALSE(oneUnit.scaled);

  PreviewLayout stacked = ChoosePreviewLayout(3, 0, 300);
  EXPECT_EQ(stacked.grid.columns, 1u);
  EXPECT_EQ(stacked.grid.rows, 3u);
  EXPECT_FALSE(stacked.scaled);

  PreviewLayout empty = ChoosePreviewLayout(5, 0, 0);
  EXPECT_TRUE(empty.scaled);
  EXPECT_EQ(empty.grid.columns, 3u);
  EXPECT_EQ(empty.grid.rows, 2u);
  EXPECT_GE(empty.shownWidth, 1u);
  EXPECT_GE(empty.shownHeight, 1u);
}

TEST(PreviewBackgroundTest, ChequersCellsLightWhereColumnAndRowMatch) {
  GlyphGrid grid{3, 2};
  std::uint32_t width = 192, height = 132;
  std::vector<std::byte> pixels(width * height * 4);
  PaintPreviewBackground(pixels.data(), width, height, grid);
  auto at = [&](std::uint32_t x, std::uint32_t y, int k) {
    return static_cast<int>(pixels[(y * width + x) * 4 + k]);
  };
  for (std::uint32_t row = 0; row < 2; ++row) {
    for (std::uint32_t column = 0; column < 3; ++column) {
      int grey = column % 2 == row % 2 ? 0x30 : 0x20;
      for (auto [x, y] : {std::pair{0u, 0u}, {63u, 65u}, {31u, 40u}}) {
        std::uint32_t px = column * 64 + x, py = row * 66 + y;
        EXPECT_EQ(at(px, py, 0), grey) << column << "," << row;
        EXPECT_EQ(at(px, py, 1), grey);
        EXPECT_EQ(at(px, py, 2), grey);
        EXPECT_EQ(at(px, py, 3), 255);
      }
    }
  }
}

class DrawPreviewTest : public ::testing::TestWithParam<RenderEngine> {
 protected:
  GlyphFonts fonts_ = testutil::SameFonts(MakeFont(testutil::kLatinFace));
};

TEST_P(DrawPreviewTest, EmptyTextGivesNoImage) {
  PreviewImage image =
      DrawPreview(fonts_, GetParam(), false, u"", kClientWidth, kClientHeight);
  EXPECT_EQ(image.width, 0u);
  EXPECT_EQ(image.height, 0u);
  EXPECT_TRUE(image.pixels.empty());
}

TEST_P(DrawPreviewTest, UnscaledPreviewShowsGlyphsOnOpaqueChequer) {
  // Each glyph is drawn apart and laid over the chequer, so Wine's DC
  // render target, which overwrites what it is bound to, keeps it too.
  // A, B, LF: three cells; the line break leaves the third one bare.
  PreviewImage image = DrawPreview(fonts_, GetParam(), false, u"AB\n",
                                   kClientWidth, kClientHeight);
  ASSERT_EQ(image.width, 192u);
  ASSERT_EQ(image.height, 66u);
  ASSERT_EQ(image.pixels.size(), 192u * 66 * 4);
  std::vector<std::byte> background(image.pixels.size());
  PaintPreviewBackground(background.data(), 192, 66, {3, 1});
  for (std::size_t i = 3; i < image.pixels.size(); i += 4)
    ASSERT_EQ(image.pixels[i], std::byte{255}) << "pixel " << i / 4;
  for (int cell = 0; cell < 3; ++cell) {
    testutil::PixelRect box{cell * 64, 0, cell * 64 + 64, 66};
    testutil::Ink ink =
        testutil::MeasureInk(image.pixels, background, 192, box, box);
    EXPECT_EQ(ink.empty(), cell == 2) << "cell " << cell;
  }
  // Cell (0, 0) is the lighter grey, cell (1, 0) the darker.
  EXPECT_EQ(image.pixels[0], std::byte{0x30});
  EXPECT_EQ(image.pixels[64 * 4], std::byte{0x20});
}

TEST_P(DrawPreviewTest, LongTextIsScaledIntoTheClientArea) {
  PreviewImage image =
      DrawPreview(fonts_, GetParam(), false, std::u16string(20, u'H'),
                  kClientWidth, kClientHeight);
  ASSERT_EQ(image.width, 283u);
  ASSERT_EQ(image.height, 233u);
  ASSERT_EQ(image.pixels.size(), 283u * 233 * 4);
  bool anyBright = false;
  for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
    ASSERT_EQ(image.pixels[i + 3], std::byte{255}) << "pixel " << i / 4;
    anyBright |= static_cast<int>(image.pixels[i]) > 0x80;
  }
  EXPECT_TRUE(anyBright);  // the white glyphs survive the shrinking
}

TEST_P(DrawPreviewTest, EngineThatDrawsNothingFailsAndSaysWhichToUse) {
  // As GDI+ under Wine does for every ideograph at 58 pixels.
  GlyphCoverage coverage;
  coverage.cells.resize(2);
  coverage.cells[0].cell.unit = u'\u6D4B';
  coverage.cells[1].cell.unit = u' ';
  FitReport drawn;
  drawn.inked = {false, false};
  try {
    CheckDrawing(drawn, coverage, GetParam());
    ADD_FAILURE() << "an empty drawing passed";
  } catch (const common::ResultException& e) {
    const std::string& text = e.GetFailureInfo().message;
    EXPECT_EQ(text.find(GetParam() == RenderEngine::GdiPlus ? "GDI+" : "Dir"),
              0u);
    EXPECT_EQ(text.find("请改用 DirectWrite 引擎") != std::string::npos,
              GetParam() == RenderEngine::GdiPlus)
        << text;
  }
  if (GetParam() == RenderEngine::GdiPlus &&
      testutil::GdiPlusDropsWideGlyphs()) {
    EXPECT_THROW(DrawPreview(testutil::SameFonts(MakeFont(testutil::kCjkFace)),
                             GetParam(), false, u"测试文本", kClientWidth,
                             kClientHeight),
                 common::ResultException);
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, DrawPreviewTest,
                         ::testing::Values(RenderEngine::DirectWrite,
                                           RenderEngine::GdiPlus));

}  // namespace
}  // namespace render
