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
  // Leads beyond U+10FFFF's stand for nothing; what follows is not theirs.
  EXPECT_EQ(Utf8ToUtf16("\xF8\x80\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xFF"
                        "a"),
            u"\uFFFDa");
  EXPECT_EQ(TruncateUtf8("ab生成", 3), "ab生");
  EXPECT_EQ(TruncateUtf8("a\xF0\x9F\x98\x80", 2), "a");  // a pair or nothing
  EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");   // lone surrogate
}

}  // namespace
}  // namespace common
