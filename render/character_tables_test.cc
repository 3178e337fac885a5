#include "render/character_tables.h"

#include <gtest/gtest.h>

namespace render {
namespace {

TEST(CharacterTablesTest, OnlyLineFeedAndCarriageReturnAreLineBreaks) {
  EXPECT_TRUE(IsLineBreak(u'\n'));
  EXPECT_TRUE(IsLineBreak(u'\r'));
  for (char16_t unit :
       {u'\0', u'\t', u'\v', u'\f', u' ', u'\u2028', u'\u0085'}) {
    EXPECT_FALSE(IsLineBreak(unit)) << int(unit);
  }
}

TEST(CharacterTablesTest, MapsTheFourCornerBracketsToCurlyQuotes) {
  EXPECT_EQ(MapQuote(u'\u300C'), u'\u201C');
  EXPECT_EQ(MapQuote(u'\u300D'), u'\u201D');
  EXPECT_EQ(MapQuote(u'\u300E'), u'\u2018');
  EXPECT_EQ(MapQuote(u'\u300F'), u'\u2019');
  // Neighbours and the curly quotes themselves are no keys.
  for (char16_t unit : {u'\u300B', u'\u3010', u'\u201C', u'"', u'\''}) {
    EXPECT_EQ(MapQuote(unit), unit);
  }
}

TEST(CharacterTablesTest, MainFontRangesAreInclusiveAndNoWider) {
  for (char16_t unit :
       {u'\u4E00', u'\u9FFF', u'\uFF10', u'\uFF19', u'\uFF41', u'\uFF5A'}) {
    EXPECT_TRUE(UsesMainFont(unit)) << std::hex << int(unit);
  }
  for (char16_t unit :
       {u'\u4DFF', u'\uA000', u'\uFF0F', u'\uFF1A', u'\uFF21', u'\uFF40',
        u'\uFF5B', u'\u3042', u'A', u'\u300C', u'\u201C'}) {
    EXPECT_FALSE(UsesMainFont(unit)) << std::hex << int(unit);
  }
}

}  // namespace
}  // namespace render
