#include "common/text.h"

#include <gtest/gtest.h>

namespace common {
namespace {

TEST(TextTest, RoundTripsChineseAndAstral) {
  std::string utf8 = "生成成功 “A” 😀";
  std::u16string utf16 = Utf8ToUtf16(utf8);
  EXPECT_EQ(utf16[0], u'生');
  EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
  EXPECT_EQ(WideToUtf8(Utf8ToWide(utf8)), utf8);
}

TEST(TextTest, ReplacesInvalidSequences) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xE6\x88"), u"\uFFFD");        // cut short
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong
  EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");  // lone surrogate
}

}  // namespace
}  // namespace common
