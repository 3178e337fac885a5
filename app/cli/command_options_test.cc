#include "app/cli/command_options.h"

#include <gtest/gtest.h>

namespace app {
namespace {

CommandSyntax TestSyntax() {
  CommandSyntax syntax{"test", "", "", {}, DrawingOptionSyntax()};
  syntax.options.push_back({"-o", "OUT", "output"});
  syntax.options.push_back({"--variants", "LIST", "variants"});
  return syntax;
}

std::optional<CommandOptions> Parse(std::vector<std::string> args,
                                    std::string& error) {
  return ParseOptions(args, TestSyntax(), error);
}

std::optional<DrawingOptions> Drawing(std::vector<std::string> args,
                                      std::string& error) {
  auto options = Parse(std::move(args), error);
  return options ? ParseDrawingOptions(*options, error) : std::nullopt;
}

TEST(ParseOptionsTest, TakesValuesFlagsAndPositionals) {
  std::string error;
  auto options = Parse(
      {"--font", "A B", "--quotes=curly", "--bold", "x", "-o", "out"}, error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->Value("--font"), "A B");
  EXPECT_EQ(options->Value("--quotes"), "curly");
  EXPECT_EQ(options->Value("-o"), "out");
  EXPECT_TRUE(options->Flag("--bold"));
  EXPECT_FALSE(options->Flag("--italic"));
  EXPECT_EQ(options->positional, std::vector<std::string>{"x"});
}

TEST(ParseOptionsTest, RefusesUnknownMissingAndRepeatedOptions) {
  std::string error;
  EXPECT_FALSE(Parse({"--colour", "red"}, error));
  EXPECT_NE(error.find("--colour"), std::string::npos);
  EXPECT_FALSE(Parse({"--font"}, error));
  EXPECT_FALSE(Parse({"--font", "A", "--font", "B"}, error));
  EXPECT_FALSE(Parse({"--bold=yes"}, error));
}

TEST(ParseOptionsTest, HelpListsEveryOptionWithItsLine) {
  std::string help = HelpText(TestSyntax());
  for (const OptionSyntax& option : TestSyntax().options) {
    std::size_t at = help.find("  " + std::string(option.name));
    ASSERT_NE(at, std::string::npos) << option.name;
    std::string line = help.substr(at, help.find('\n', at) - at);
    EXPECT_NE(line.find(option.help), std::string::npos) << line;
  }
  EXPECT_NE(help.find("  --quiet"), std::string::npos);
  EXPECT_NE(help.find("  -h, --help"), std::string::npos);
  EXPECT_EQ(help.find("用法: karstel test"), 0u);
}

TEST(ParseOptionsTest, VariantsIgnoreLetterCase) {
  EXPECT_EQ(ParseVariants("iv,Tlad,TBOGT"),
            (std::set<Episode>{Episode::IV, Episode::TLAD, Episode::TBoGT}));
  EXPECT_FALSE(ParseVariants("IV,GTA5"));
}

TEST(ParseDrawingOptionsTest, DefaultsFollowTheDialog) {
  std::string error;
  auto drawing = Drawing({"--font", "WenQuanYi Micro Hei"}, error);
  ASSERT_TRUE(drawing) << error;
  const render::LogFont& main = drawing->fonts.mainFont;
  EXPECT_EQ(render::FaceName(main), u"WenQuanYi Micro Hei");
  EXPECT_EQ(main.height, -58);
  EXPECT_EQ(main.weight, 400);
  EXPECT_EQ(main.charSet, 134);
  EXPECT_EQ(main.italic, 0);
  EXPECT_EQ(render::FaceName(drawing->fonts.symbolFont),
            u"WenQuanYi Micro Hei");
  EXPECT_EQ(drawing->quoteStyle, QuoteStyle::CornerBrackets);
  EXPECT_EQ(drawing->engine, render::RenderEngine::DirectWrite);
  EXPECT_FALSE(drawing->quiet);
}

TEST(ParseDrawingOptionsTest, ReadsEveryChoice) {
  std::string error;
  auto drawing =
      Drawing({"--font", "黑体", "--symbol-font", "Sym", "--bold", "--italic",
               "--quotes", "curly", "--engine", "gdiplus", "--quiet"},
              error);
  ASSERT_TRUE(drawing) << error;
  EXPECT_EQ(render::FaceName(drawing->fonts.mainFont), u"黑体");
  EXPECT_EQ(render::FaceName(drawing->fonts.symbolFont), u"Sym");
  EXPECT_EQ(drawing->fonts.symbolFont.weight, 700);
  EXPECT_EQ(drawing->fonts.mainFont.italic, 1);
  EXPECT_EQ(drawing->quoteStyle, QuoteStyle::CurlyQuotes);
  EXPECT_EQ(drawing->engine, render::RenderEngine::GdiPlus);
  EXPECT_TRUE(drawing->quiet);
}

TEST(ParseDrawingOptionsTest, TakesTheFirstNameOfAPastedFcListLine) {
  std::string error;
  for (const char* pasted :
       {"WenQuanYi Micro Hei,文泉驿微米黑,文泉驛微米黑",
        "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc: WenQuanYi Micro "
        "Hei,文泉驿微米黑:style=Regular"}) {
    auto drawing = Drawing({"--font", pasted}, error);
    ASSERT_TRUE(drawing) << error;
    EXPECT_EQ(render::FaceName(drawing->fonts.mainFont),
              u"WenQuanYi Micro Hei");
  }
}

TEST(ParseDrawingOptionsTest, RefusesInvalidChoices) {
  std::string error;
  EXPECT_FALSE(Drawing({"--font", ""}, error));
  EXPECT_FALSE(Drawing({"--symbol-font", ""}, error));
  EXPECT_FALSE(Drawing({"--font", std::string(32, 'a')}, error));
  EXPECT_TRUE(Drawing({"--font", std::string(31, 'a')}, error));
  EXPECT_FALSE(Drawing({"--font", "A", "--quotes", "french"}, error));
  EXPECT_FALSE(Drawing({"--font", "A", "--engine", "opengl"}, error));
}

TEST(ParseDrawingOptionsTest, WithoutFontLeavesTheFaceToBeChosen) {
  std::string error;
  auto drawing = Drawing({"--symbol-font", "Sym", "--bold"}, error);
  ASSERT_TRUE(drawing) << error;
  EXPECT_TRUE(drawing->bestFace);
  EXPECT_FALSE(render::IsChosen(drawing->fonts.mainFont));
  EXPECT_EQ(drawing->fonts.mainFont.weight, 700);
  EXPECT_EQ(drawing->fonts.mainFont.height, -58);
  EXPECT_EQ(render::FaceName(drawing->fonts.symbolFont), u"Sym");
}

}  // namespace
}  // namespace app
