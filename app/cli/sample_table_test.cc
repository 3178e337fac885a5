#include "app/cli/sample_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "app/cli/gb2312_level1.h"

namespace app {
namespace {

bool IsIdeograph(char16_t c) { return c >= 0x4E00 && c <= 0x9FFF; }

TEST(SampleTableTest, Level1HoldsTheCommonHanziOnceEach) {
  ASSERT_EQ(kGb2312Level1.size(), 3755u);
  EXPECT_EQ(kGb2312Level1.front(), u'啊');
  EXPECT_EQ(kGb2312Level1.back(), u'座');
  EXPECT_TRUE(
      std::all_of(kGb2312Level1.begin(), kGb2312Level1.end(), IsIdeograph));
  std::set<char16_t> unique(kGb2312Level1.begin(), kGb2312Level1.end());
  EXPECT_EQ(unique.size(), 3755u);
  for (char16_t common : u"的一是了我不在人有这中大来上个国和们")
    if (common) {
      EXPECT_TRUE(unique.contains(common)) << int(common);
    }
}

TEST(SampleTableTest, FitsTheAtlasWithBothQuoteStylesAndLineBreaks) {
  std::u16string table = SampleCharacterTable();
  std::size_t cells = std::count_if(table.begin(), table.end(), [](char16_t c) {
    return c != u'\n' && c != u'\r';
  });
  EXPECT_LE(cells, 3968u);
  EXPECT_EQ(std::count_if(table.begin(), table.end(), IsIdeograph), 3755);
  for (char16_t quote : u"「」『』“”‘’")
    if (quote) {
      EXPECT_NE(table.find(quote), std::u16string::npos);
    }
  EXPECT_NE(table.find(u'\n'), std::u16string::npos);
  EXPECT_NE(table.find(u'\r'), std::u16string::npos);
  EXPECT_NE(table.find(u"０１２"), std::u16string::npos);
  EXPECT_NE(table.find(u'ｚ'), std::u16string::npos);
}

}  // namespace
}  // namespace app
