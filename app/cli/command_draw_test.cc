// The drawing commands end to end with a real font on sample folders.
#include <gtest/gtest.h>

#include <sstream>

#include "app/cli/command.h"
#include "app/original_backup.h"
#include "app/test_util.h"
#include "common/text.h"
#include "render/glyph_atlas.h"
#include "testing/temp_dir.h"
#include "texture/compress.h"
#include "texture/dds.h"

namespace app {
namespace {

using test::Bytes;

constexpr char kFont[] = "WenQuanYi Micro Hei";

struct Outcome {
  int code;
  std::string out, err;
};

Outcome Invoke(int (*command)(const CommandContext&, Arguments),
               std::vector<std::string> args) {
  common::RealFileSystem fs;
  std::ostringstream out, err;
  CommandContext context{fs, out, err};
  int code = command(context, args);
  return {code, out.str(), err.str()};
}

class DrawCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Outcome sample = Invoke(RunSample, {Folder()});
    ASSERT_EQ(sample.code, kExitSuccess) << sample.err;
  }
  std::string Folder() const { return common::PathToUtf8(dir_.path()); }
  Bytes Wtd(Episode episode) const {
    return test::ReadBytes(AppendPath(dir_.path(), FontsWtdPath(episode)));
  }
  std::vector<Bytes> AllWtd() const {
    return {Wtd(Episode::IV), Wtd(Episode::TBoGT), Wtd(Episode::TLAD)};
  }

  testutil::TempDir dir_;
};

TEST_F(DrawCommandTest, GenerateStoresTheAtlasTheAtlasCommandDraws) {
  Outcome generate = Invoke(RunGenerate, {"--game-folder", Folder(), "--font",
                                          kFont, "--quotes", "curly"});
  ASSERT_EQ(generate.code, kExitSuccess) << generate.err;
  EXPECT_NE(generate.out.find("生成成功"), std::string::npos);
  for (const char* stage : {"读取字符表", "个字形", "压缩为 BC3", "写入 IV",
                            "写入 TBoGT", "写入 TLAD"})
    EXPECT_NE(generate.err.find(stage), std::string::npos) << stage;
  // What changed, named: the folder, each file written, the backup kept.
  for (const std::string& said :
       {"游戏目录: " + Folder(), std::string("IV: 已写入 "),
        "TLAD: 原文件已备份为 " +
            common::PathToUtf8(BackupPathFor(
                AppendPath(dir_.path(), FontsWtdPath(Episode::TLAD))))})
    EXPECT_NE(generate.err.find(said), std::string::npos) << said;

  std::string out = common::PathToUtf8(dir_.path() / "atlas");
  Outcome atlas = Invoke(RunAtlas, {"--game-folder", Folder(), "--font", kFont,
                                    "--quotes", "curly", "-o", out, "--quiet"});
  ASSERT_EQ(atlas.code, kExitSuccess) << atlas.err;
  EXPECT_TRUE(atlas.err.empty()) << atlas.err;
  Bytes dds = test::ReadBytes(common::PathFromUtf8(out + ".dds"));
  ASSERT_EQ(dds.size(), texture::kDdsHeaderSize + 4096u * 4096u * 4u);
  EXPECT_TRUE(std::filesystem::file_size(common::PathFromUtf8(out + ".png")) >
              0);

  // An independent encoding of the canvas the atlas command wrote.
  texture::ImageView canvas{4096,
                            4096,
                            texture::DXGI_FORMAT_B8G8R8A8_UNORM,
                            4096 * 4,
                            4096 * 4096 * 4,
                            dds.data() + texture::kDdsHeaderSize};
  texture::CompressedImage expected;
  ASSERT_EQ(texture::CompressImage(canvas, texture::DXGI_FORMAT_BC3_UNORM, 0,
                                   0.5f, expected),
            0);
  Bytes expectedBytes = test::ImageBytes(expected);
  for (const Bytes& file : AllWtd())
    EXPECT_TRUE(test::FontChsPixels(file) == expectedBytes);
}

TEST_F(DrawCommandTest, GenerateWithAnUnknownFaceTouchesNothing) {
  std::vector<Bytes> before = AllWtd();
  Outcome generate = Invoke(
      RunGenerate, {"--game-folder", Folder(), "--font", "No Such Face 42"});
  EXPECT_EQ(generate.code, kExitError);
  EXPECT_NE(generate.err.find("No Such Face 42"), std::string::npos);
  EXPECT_EQ(AllWtd(), before);
  // A name cut short gets the installed names near it.
  Outcome near = Invoke(
      RunGenerate, {"--game-folder", Folder(), "--font", "wenquanyi micro"});
  EXPECT_EQ(near.code, kExitError);
  EXPECT_NE(near.err.find("相近的已安装字体: \"WenQuanYi Micro Hei"),
            std::string::npos)
      << near.err;
  EXPECT_NE(near.err.find("运行 karstel fonts"), std::string::npos);
  // The folder is an option's value, and the player hears so.
  Outcome bare = Invoke(RunGenerate, {Folder(), "--font", kFont});
  EXPECT_EQ(bare.code, kExitUsage);
  EXPECT_NE(bare.err.find("游戏目录请写在 --game-folder 之后"),
            std::string::npos)
      << bare.err;
  EXPECT_EQ(AllWtd(), before);
}

TEST_F(DrawCommandTest, GenerateWarnsAboutAFolderWithoutGameFiles) {
  Outcome generate =
      Invoke(RunGenerate, {"--game-folder", Folder() + "/pc", "--font", kFont});
  EXPECT_EQ(generate.code, kExitWarning);
  EXPECT_NE(generate.err.find("选择的目录下未找到 fonts.wtd。"),
            std::string::npos);
}

TEST_F(DrawCommandTest, GenerateOnlyTheChosenVariantsQuietly) {
  Bytes iv = Wtd(Episode::IV);
  Outcome generate =
      Invoke(RunGenerate, {"--game-folder", Folder(), "--font", kFont,
                           "--variants", "TLAD,TBoGT", "--quiet"});
  ASSERT_EQ(generate.code, kExitSuccess) << generate.err;
  EXPECT_TRUE(generate.err.empty()) << generate.err;
  EXPECT_EQ(Wtd(Episode::IV), iv);
  EXPECT_FALSE(test::FontChsPixels(Wtd(Episode::TLAD)).empty());
  EXPECT_EQ(Invoke(RunGenerate, {"--font", kFont, "--variants", "V"}).code,
            kExitUsage);
}

TEST_F(DrawCommandTest, FontsRankFacesAndGenerateTakesTheBest) {
  Outcome fonts = Invoke(RunFonts, {"--game-folder", Folder()});
  ASSERT_EQ(fonts.code, kExitSuccess) << fonts.err;
  EXPECT_NE(fonts.out.find("WenQuanYi Micro Hei  [400]"), std::string::npos);
  // Best first: "covered/total  Family  [weights]".
  std::string first = fonts.out.substr(0, fonts.out.find('\n'));
  std::size_t slash = first.find('/'), gap = first.find("  ");
  ASSERT_NE(gap, std::string::npos) << first;
  EXPECT_EQ(first.substr(0, slash), first.substr(slash + 1, gap - slash - 1));
  std::string best = first.substr(gap + 2, first.find("  [") - gap - 2);

  Outcome generate = Invoke(
      RunGenerate, {"--game-folder", Folder(), "--variants", "IV", "--quiet"});
  ASSERT_EQ(generate.code, kExitSuccess) << generate.err;
  EXPECT_NE(generate.err.find("未指定 --font，使用 \"" + best + "\""),
            std::string::npos)
      << generate.err;
}

TEST_F(DrawCommandTest, StrictGenerateRefusesAFallbackAndNamesIt) {
  // The sample table's fullwidth punctuation is not in DejaVu Sans.
  std::vector<Bytes> before = AllWtd();
  Outcome generate =
      Invoke(RunGenerate, {"--game-folder", Folder(), "--font", kFont,
                           "--symbol-font", "DejaVu Sans", "--strict"});
  EXPECT_EQ(generate.code, kExitError);
  EXPECT_NE(generate.err.find("个字符所选字体中没有，已用 \""),
            std::string::npos)
      << generate.err;
  EXPECT_NE(generate.err.find("\u3002 (U+3002)"), std::string::npos);
  EXPECT_EQ(AllWtd(), before);
}

TEST_F(DrawCommandTest, TallFontIsFittedOrReportedCut) {
  // WenQuanYi Zen Hei's line is taller than the cell (Debian
  // fonts-wqy-zenhei).
  std::string out = common::PathToUtf8(dir_.path() / "atlas");
  Outcome fitted =
      Invoke(RunAtlas, {"--game-folder", Folder(), "--font",
                        "WenQuanYi Zen Hei", "-o", out, "--strict", "--quiet"});
  if (fitted.err.find("找不到字体") != std::string::npos)
    GTEST_SKIP() << "WenQuanYi Zen Hei is not installed";
  EXPECT_EQ(fitted.code, kExitSuccess) << fitted.err;
  EXPECT_NE(fitted.err.find("主字体和符号字体 \"WenQuanYi Zen Hei\" 的字形超出 "
                            "64×66 的格子，已整体下移"),
            std::string::npos)
      << fitted.err;
  Outcome none = Invoke(
      RunAtlas, {"--game-folder", Folder(), "--font", "WenQuanYi Zen Hei", "-o",
                 out, "--strict", "--fit", "none", "--quiet"});
  EXPECT_EQ(none.code, kExitError);
  EXPECT_NE(none.err.find("个字符超出格子，在游戏中会被裁切: "),
            std::string::npos)
      << none.err;
}

TEST_F(DrawCommandTest, ItalicWithDirectWriteIsToldAndRefusedWhenStrict) {
  std::string out = common::PathToUtf8(dir_.path() / "italic");
  Outcome strict = Invoke(RunAtlas, {"--game-folder", Folder(), "--font", kFont,
                                     "--italic", "--strict", "-o", out});
  EXPECT_EQ(strict.code, kExitError);
  EXPECT_NE(strict.err.find("DirectWrite 引擎按正体绘制；斜体请用 GDI+"),
            std::string::npos)
      << strict.err;
  EXPECT_FALSE(std::filesystem::exists(common::PathFromUtf8(out + ".png")));
}

TEST_F(DrawCommandTest, PreviewWritesAPngOfTheGrid) {
  std::string out = common::PathToUtf8(dir_.path() / "preview.png");
  Outcome preview = Invoke(RunPreview, {"--font", kFont, "-o", out});
  ASSERT_EQ(preview.code, kExitSuccess) << preview.err;
  Bytes png = test::ReadBytes(common::PathFromUtf8(out));
  ASSERT_GT(png.size(), 24u);
  // Four cells of 64 x 66 fit one row of the default 283 x 252 area.
  auto load32 = [&](std::size_t at) {
    return std::to_integer<std::uint32_t>(png[at]) << 24 |
           std::to_integer<std::uint32_t>(png[at + 1]) << 16 |
           std::to_integer<std::uint32_t>(png[at + 2]) << 8 |
           std::to_integer<std::uint32_t>(png[at + 3]);
  };
  EXPECT_EQ(load32(16), 4u * 64u);
  EXPECT_EQ(load32(20), 66u);
  EXPECT_EQ(
      Invoke(RunPreview, {"--font", kFont, "--size", "0x5", "-o", out}).code,
      kExitUsage);
}

}  // namespace
}  // namespace app
