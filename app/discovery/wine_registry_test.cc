#include "app/discovery/wine_registry.h"

#include <gtest/gtest.h>

#include "app/discovery/registry.h"

namespace app {
namespace {

constexpr std::u16string_view kKey =
    u"Software\\Wow6432Node\\Rockstar Games\\Grand Theft Auto IV";

std::u16string Find(std::string_view text, std::u16string_view key = kKey,
                    std::u16string_view value = u"InstallFolder",
                    std::uint32_t expected = 0) {
  std::u16string data = u"untouched";
  EXPECT_EQ(FindWineRegistryString(text, key, value, data), expected);
  return data;
}

constexpr char kSystemReg[] =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n"
    "\n"
    "#arch=win64\n"
    "\n"
    "[Software\\\\Wow6432Node\\\\Rockstar Games] 1650000000\n"
    "#time=1d8a0b0c0d0e0f0\n"
    "\"InstallFolder\"=\"C:\\\\wrong\"\n"
    "\n"
    "[Software\\\\Wow6432Node\\\\Rockstar Games\\\\Grand Theft Auto IV] "
    "1650000000\n"
    "#time=1d8a0b0c0d0e0f0\n"
    "@=\"default\"\n"
    "\"Count\"=dword:00000003\n"
    "\"InstallFolder\"=\"C:\\\\Program Files (x86)\\\\Rockstar Games\\\\"
    "Grand Theft Auto IV\"\n"
    "\"Blob\"=hex:01,02,03,\\\n"
    "  04,05\n"
    "\"Expand\"=str(2):\"%ProgramFiles%\"\n";

TEST(WineRegistryTest, FindsTheValueOfTheRightKey) {
  EXPECT_EQ(Find(kSystemReg),
            u"C:\\Program Files (x86)\\Rockstar Games\\Grand Theft Auto IV");
}

TEST(WineRegistryTest, ComparesKeysAndNamesWithoutCase) {
  EXPECT_EQ(Find(kSystemReg,
                 u"SOFTWARE\\wow6432node\\rockstar games\\GRAND THEFT AUTO IV",
                 u"installfolder"),
            u"C:\\Program Files (x86)\\Rockstar Games\\Grand Theft Auto IV");
}

TEST(WineRegistryTest, ReadsTheDefaultValue) {
  EXPECT_EQ(Find(kSystemReg, kKey, u""), u"default");
}

TEST(WineRegistryTest, OtherTypesAreNotStrings) {
  Find(kSystemReg, kKey, u"Count", kRegistryUnsupportedType);
  Find(kSystemReg, kKey, u"Blob", kRegistryUnsupportedType);
  Find(kSystemReg, kKey, u"Expand", kRegistryUnsupportedType);
}

TEST(WineRegistryTest, AbsentKeysAndValuesAreNotFound) {
  Find(kSystemReg, kKey, u"Missing", kRegistryFileNotFound);
  Find(kSystemReg, u"Software\\Rockstar Games\\Grand Theft Auto IV",
       u"InstallFolder", kRegistryFileNotFound);
  Find("", kKey, u"InstallFolder", kRegistryFileNotFound);
}

TEST(WineRegistryTest, DecodesEscapes) {
  std::string text =
      "[A\\\\B]\n"
      "\"V\"=\"q\\\"b\\\\t\\tn\\nx\\x4e2d\\x6587!o\\101\\0e\\z\"\n";
  EXPECT_EQ(Find(text, u"A\\B", u"V"),
            (std::u16string{u"q\"b\\t\tn\nx中文!oA"} + u'\0' + u"ez"));
}

TEST(WineRegistryTest, ShortHexEscapeStopsAtANonDigit) {
  EXPECT_EQ(Find("[K]\n\"V\"=\"\\xe9t\\x\"\n", u"K", u"V"),
            u"ét"
            u"x");
}

TEST(WineRegistryTest, ReadsRawUtf8AndReplacesBrokenBytes) {
  EXPECT_EQ(Find("[K]\n\"V\"=\"D:\\\\游戏\xff\"\n", u"K", u"V"),
            u"D:\\游戏\uFFFD");
  // An overlong NUL would cut the path short where Windows reads it.
  EXPECT_EQ(Find("[K]\n\"V\"=\"a\xc0\x80z\"\n", u"K", u"V"), u"a\uFFFD\uFFFDz");
}

TEST(WineRegistryTest, JoinsContinuationLines) {
  std::string text =
      "[K]\r\n"
      "\"V\"=\"C:\\\\long\\\r\n"
      "    \\\\path\"\r\n";
  EXPECT_EQ(Find(text, u"K", u"V"), u"C:\\long\\path");
}

// A line far longer than any key or value (a value of megabytes, or a file
// of one line) is skipped whole, continued or not, and costs no copy; the
// lines after it are read.
TEST(WineRegistryTest, SkipsOverlongLines) {
  const std::string huge(1 << 17, 'x');
  std::string text = "\"Big\"=\"" + huge + "\\\n  " + huge + "\"\n" +
                     kSystemReg + "[K] 1\n\"V\"=\"" + huge + "\"\n";
  EXPECT_EQ(Find(text),
            u"C:\\Program Files (x86)\\Rockstar Games\\Grand Theft Auto IV");
  Find(text, u"K", u"V", 2);
}

TEST(WineRegistryTest, EvenBackslashesAtLineEndDoNotContinue) {
  // Joined to the comment, the value line would be lost.
  std::string text =
      "[K]\n"
      ";; ends in C:\\\\\n"
      "\"V\"=\"b\"\n";
  EXPECT_EQ(Find(text, u"K", u"V"), u"b");
}

TEST(WineRegistryTest, ReadsHexEncodedStrings) {
  std::string text =
      "[K]\n"
      "\"V\"=hex(1):43,00,3a,00,5c,00,\\\n"
      "  47,00,00,00\n";
  EXPECT_EQ(Find(text, u"K", u"V"), u"C:\\G");
  Find("[K]\n\"V\"=hex(1):4z,00\n", u"K", u"V", kRegistryFileNotFound);
}

TEST(WineRegistryTest, KeyNamesMayHoldEscapedBrackets) {
  EXPECT_EQ(Find("[A\\\\B\\]C] 1\n\"V\"=\"x\"\n", u"A\\B]C", u"V"), u"x");
}

TEST(WineRegistryTest, MalformedLinesAreSkippedOrNotFound) {
  Find("[K\n\"V\"=\"x\"\n", u"K", u"V", kRegistryFileNotFound);
  Find("[K]\n\"V\"=\"unterminated\n", u"K", u"V", kRegistryFileNotFound);
  Find("[K]\n\"V\"\"x\"\n", u"K", u"V", kRegistryFileNotFound);
  Find("[K]\n\"V\"=\"x\\", u"K", u"V", kRegistryFileNotFound);
}

TEST(WineRegistryTest, TellsTheArchitecture) {
  EXPECT_FALSE(IsWin32Registry(kSystemReg));
  EXPECT_TRUE(IsWin32Registry("WINE REGISTRY Version 2\n#arch=win32\n[K]\n"));
  EXPECT_FALSE(IsWin32Registry("[K]\n#arch=win32\n"));
}

}  // namespace
}  // namespace app
