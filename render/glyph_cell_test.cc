#include "render/glyph_cell.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace render {
namespace {

/// A fake engine that records every cell it is asked to draw.
struct RecordingEngine {
  std::vector<GlyphCell> cells;

  std::uint32_t Walk(std::u16string_view text, GlyphGrid grid,
                     bool curlyQuotes = false) {
    return WalkGlyphCells(text, grid, curlyQuotes,
                          [this](const GlyphCell& c) { cells.push_back(c); });
  }
  std::u16string Units() const {
    std::u16string units;
    for (const GlyphCell& cell : cells) units += cell.unit;
    return units;
  }
};

TEST(GlyphCellWalkTest, FillsRowsLeftToRightWithBoxesOf64By66) {
  RecordingEngine engine;
  EXPECT_EQ(engine.Walk(u"abcdefg", {3, 3}), 7u);
  ASSERT_EQ(engine.cells.size(), 7u);
  EXPECT_EQ(engine.Units(), u"abcdefg");
  const GlyphCell& f = engine.cells[5];
  EXPECT_EQ(f.column, 2u);
  EXPECT_EQ(f.row, 1u);
  EXPECT_EQ(f.box.left, 128.0f);
  EXPECT_EQ(f.box.top, 66.0f);
  EXPECT_EQ(f.box.right, 192.0f);
  EXPECT_EQ(f.box.bottom, 132.0f);
  EXPECT_EQ(engine.cells[6].column, 0u);
  EXPECT_EQ(engine.cells[6].row, 2u);
}

TEST(GlyphCellWalkTest, LineBreaksTakeNoCell) {
  RecordingEngine engine;
  engine.Walk(u"A\nB\r\n\rC", {8, 1});
  EXPECT_EQ(engine.Units(), u"ABC");
  EXPECT_EQ(engine.cells[1].column, 1u);
  EXPECT_EQ(engine.cells[2].column, 2u);
}

TEST(GlyphCellWalkTest, TrailingLineBreaksDrawNothing) {
  RecordingEngine engine;
  EXPECT_EQ(engine.Walk(u"\u4E00\r\n\n", {4, 4}), 1u);
  EXPECT_EQ(engine.Units(), u"\u4E00");
  RecordingEngine onlyBreaks;
  EXPECT_EQ(onlyBreaks.Walk(u"\n\r", {4, 4}), 0u);
}

TEST(GlyphCellWalkTest, EveryOtherUnitTakesOneCellEvenWithoutAGlyph) {
  RecordingEngine engine;
  std::u16string text = {u' ', u'\0', u'\t', u'\xD83D', u'\xDE00', u'\x7F'};
  EXPECT_EQ(engine.Walk(text, {8, 1}), 6u);
  EXPECT_EQ(engine.Units(), text);  // surrogates stay single units
}

TEST(GlyphCellWalkTest, StopsAtTheEndOfTheAtlasGrid) {
  std::u16string text(5000, u'\u4E00');
  text[3967] = u'\u4E8C';
  text[3968] = u'\u4E09';
  RecordingEngine engine;
  EXPECT_EQ(engine.Walk(text, kAtlasGrid), 3968u);
  ASSERT_EQ(engine.cells.size(), 3968u);
  const GlyphCell& last = engine.cells.back();
  EXPECT_EQ(last.unit, u'\u4E8C');
  EXPECT_EQ(last.column, 63u);
  EXPECT_EQ(last.row, 61u);
  EXPECT_EQ(last.box.left, 4032.0f);
  EXPECT_EQ(last.box.top, 4026.0f);
  EXPECT_EQ(last.box.right, 4096.0f);
  EXPECT_EQ(last.box.bottom, 4092.0f);
}

TEST(GlyphCellWalkTest, FiveThousandUnitsDrawAsTheirFirst3968) {
  std::u16string text;
  for (int i = 0; i < 5000; ++i) text += static_cast<char16_t>(0x4E00 + i);
  RecordingEngine all, first;
  all.Walk(text, kAtlasGrid);
  first.Walk(std::u16string_view(text).substr(0, 3968), kAtlasGrid);
  EXPECT_EQ(all.Units(), first.Units());
  EXPECT_EQ(all.Units(), text.substr(0, 3968));
}

TEST(GlyphCellWalkTest, LineBreaksDoNotCountAgainstTheGrid) {
  std::u16string text;
  for (int i = 0; i < 3968; ++i) text += u"\u4E00\n";
  text += u"X";
  RecordingEngine engine;
  EXPECT_EQ(engine.Walk(text, kAtlasGrid), 3968u);
  EXPECT_EQ(engine.cells.back().unit, u'\u4E00');
}

TEST(GlyphCellWalkTest, EmptyGridOrTextDrawsNothing) {
  RecordingEngine engine;
  EXPECT_EQ(engine.Walk(u"abc", {0, 5}), 0u);
  EXPECT_EQ(engine.Walk(u"abc", {5, 0}), 0u);
  EXPECT_EQ(engine.Walk(u"", {5, 5}), 0u);
  EXPECT_TRUE(engine.cells.empty());
}

TEST(GlyphCellWalkTest, CurlyQuotesReplaceCornerBracketsAndKeepTheirFont) {
  const std::u16string corners = u"\u300C\u300D\u300E\u300F";
  RecordingEngine curly;
  curly.Walk(corners, {4, 1}, true);
  EXPECT_EQ(curly.Units(), u"\u201C\u201D\u2018\u2019");
  for (const GlyphCell& cell : curly.cells)
    EXPECT_EQ(cell.font, GlyphFont::Symbol);

  RecordingEngine cornerStyle;
  cornerStyle.Walk(corners, {4, 1}, false);
  EXPECT_EQ(cornerStyle.Units(), corners);
  for (const GlyphCell& cell : cornerStyle.cells)
    EXPECT_EQ(cell.font, GlyphFont::Symbol);
}

TEST(GlyphCellWalkTest, CurlyQuotesLeaveOtherUnitsAlone) {
  RecordingEngine engine;
  engine.Walk(u"\u201C\"'\u4E00", {4, 1}, true);
  EXPECT_EQ(engine.Units(), u"\u201C\"'\u4E00");
}

TEST(GlyphCellWalkTest, ChoosesTheMainFontInsideItsRangesOnly) {
  const std::u16string mainUnits =
      u"\u4E00\u9FFF\uFF10\uFF19\uFF41\uFF5A\u6D4B";
  const std::u16string symbolUnits =
      u"\u4DFF\uA000\uFF0F\uFF1A\uFF21\uFF3A\uFF40\uFF5B\u3042A1\u3002";
  RecordingEngine engine;
  engine.Walk(mainUnits + symbolUnits, {32, 1});
  ASSERT_EQ(engine.cells.size(), mainUnits.size() + symbolUnits.size());
  for (std::size_t i = 0; i < engine.cells.size(); ++i) {
    GlyphFont expected =
        i < mainUnits.size() ? GlyphFont::Main : GlyphFont::Symbol;
    EXPECT_EQ(engine.cells[i].font, expected)
        << "unit U+" << std::hex << int(engine.cells[i].unit);
  }
}

}  // namespace
}  // namespace render
