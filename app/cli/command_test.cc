#include "app/cli/command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/character_table.h"
#include "app/cli/sample_table.h"
#include "app/game_folder.h"
#include "app/generation.h"
#include "app/test_util.h"
#include "common/memory_file_system.h"
#include "resource/sample_wtd.h"
#include "resource/texture_dictionary.h"
#include "testing/temp_dir.h"

namespace app {
namespace {

struct Outcome {
  int code;
  std::string out, err;
};

Outcome Invoke(common::FileSystem& fs,
               int (*command)(const CommandContext&, Arguments),
               std::vector<std::string> args) {
  std::ostringstream out, err;
  CommandContext context{fs, out, err};
  int code = command(context, args);
  return {code, out.str(), err.str()};
}

TEST(SampleCommandTest, WritesThreeVariantsThatInspectReads) {
  testutil::TempDir dir;
  common::RealFileSystem fs;
  Outcome sample = Invoke(fs, RunSample, {dir.path().string()});
  ASSERT_EQ(sample.code, kExitSuccess) << sample.err;
  for (const char* variant : {"pc", "TBoGT/pc", "TLAD/pc"}) {
    auto path = dir.path() / variant / "textures" / "fonts.wtd";
    ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path;
    Outcome inspect = Invoke(fs, RunInspect, {path.string()});
    ASSERT_EQ(inspect.code, kExitSuccess) << inspect.err;
    EXPECT_NE(inspect.out.find("0x05435352"), std::string::npos);
    EXPECT_NE(inspect.out.find("textures): 7"), std::string::npos)
        << inspect.out;
    EXPECT_NE(inspect.out.find("pack:/font_en.dds"), std::string::npos);
    EXPECT_NE(inspect.out.find("DXT5"), std::string::npos);
  }
}

TEST(SampleCommandTest, WritesATableThatMakesTheFolderAcceptable) {
  testutil::TempDir dir;
  common::RealFileSystem fs;
  Outcome sample = Invoke(fs, RunSample, {dir.path().string()});
  ASSERT_EQ(sample.code, kExitSuccess) << sample.err;
  auto table =
      fs.OpenForRead(dir.path() / "plugins" / "Lirvane" / "char_table.dat");
  EXPECT_EQ(ReadCharacterTable(*table), SampleCharacterTable());
  RecordingMessageSink messages;
  common::Path gameFolder;
  EXPECT_TRUE(AcceptChosenFolder(fs, messages, dir.path(), gameFolder));
  EXPECT_TRUE(messages.messages.empty());
}

TEST(InspectCommandTest, ReportsBadInputWithAnExitCode) {
  common::MemoryFileSystem fs;
  Outcome missing = Invoke(fs, RunInspect, {"nope.wtd"});
  EXPECT_EQ(missing.code, kExitError);
  EXPECT_NE(missing.err.find("找不到文件"), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find("0x80070002"), std::string::npos);

  auto bytes = resource::BuildSampleWtd(resource::RealisticSampleOptions());
  bytes.resize(bytes.size() / 2);
  fs.Put("cut.wtd", bytes);
  Outcome cut = Invoke(fs, RunInspect, {"cut.wtd"});
  EXPECT_EQ(cut.code, kExitError);
  EXPECT_NE(cut.err.find("0x80070026"), std::string::npos) << cut.err;

  Outcome usage = Invoke(fs, RunInspect, {});
  EXPECT_EQ(usage.code, kExitUsage);
  EXPECT_TRUE(usage.out.empty());
}

}  // namespace
}  // namespace app

namespace app {
namespace {

TEST(ExportCommandTest, WritesAStandardDdsOfTheTexture) {
  testutil::TempDir dir;
  common::RealFileSystem fs;
  resource::SampleWtdOptions options;
  options.textures = {{"pack:/font_en.dds", 16, 8, resource::kFormatDxt5, 2},
                      {"pack:/icons.dds", 4, 2, resource::kFormatA8R8G8B8, 1},
                      {"pack:/font_tiny.dds", 8, 8, resource::kFormatDxt1, 1}};
  auto bytes = resource::BuildSampleWtd(options);
  common::Path wtd = dir.path() / "fonts.wtd";
  {
    auto out = fs.CreateForWrite(wtd);
    common::WriteExactly(*out, bytes);
  }
  auto readAll = [&](const common::Path& path) {
    auto in = fs.OpenForRead(path);
    std::vector<std::byte> content(in->Size());
    common::ReadExactly(*in, content);
    return content;
  };
  auto word = [](const std::vector<std::byte>& b, std::size_t at) {
    return std::to_integer<std::uint32_t>(b[at]) |
           std::to_integer<std::uint32_t>(b[at + 1]) << 8 |
           std::to_integer<std::uint32_t>(b[at + 2]) << 16 |
           std::to_integer<std::uint32_t>(b[at + 3]) << 24;
  };

  common::Path dds = dir.path() / "en.dds";
  Outcome run = Invoke(fs, RunExport, {wtd.string(), "font_en", dds.string()});
  ASSERT_EQ(run.code, kExitSuccess) << run.err;
  auto file = readAll(dds);
  ASSERT_EQ(file.size(), 128u + 128 + 32);  // two levels of 16 x 8 DXT5
  EXPECT_EQ(word(file, 0), 0x20534444u);    // "DDS "
  EXPECT_EQ(word(file, 12), 8u);            // height
  EXPECT_EQ(word(file, 16), 16u);           // width
  EXPECT_EQ(word(file, 28), 2u);            // levels
  EXPECT_EQ(word(file, 84), 0x35545844u);   // "DXT5"

  run = Invoke(fs, RunExport,
               {wtd.string(), "pack:/font_tiny.dds", dds.string()});
  ASSERT_EQ(run.code, kExitSuccess) << run.err;
  file = readAll(dds);
  EXPECT_EQ(file.size(), 128u + 32);
  EXPECT_EQ(word(file, 84), 0x31545844u);  // "DXT1"

  run = Invoke(fs, RunExport, {wtd.string(), "icons", dds.string()});
  ASSERT_EQ(run.code, kExitSuccess) << run.err;
  file = readAll(dds);
  EXPECT_EQ(file.size(), 128u + 32);
  EXPECT_EQ(word(file, 88), 32u);  // 32 bits per pixel, B,G,R,A masks
  EXPECT_EQ(word(file, 104), 0xFF000000u);

  run = Invoke(fs, RunExport, {wtd.string(), "font_chs", dds.string()});
  EXPECT_EQ(run.code, kExitError);
  EXPECT_NE(run.err.find("font_chs"), std::string::npos);
}

}  // namespace
}  // namespace app

namespace app {
namespace {

// What the command line prints when a generation fails: the real cause
// in Chinese with its own code, what to do, and that nothing was changed.
TEST(GenerateFailureTest, AccessDeniedDiskFullAndDamageKeepTheirCodes) {
  struct Case {
    const char* reason;
    const char* code;
  };
  for (Case expected :
       {Case{"拒绝访问", "0x80070005"}, Case{"磁盘空间不足", "0x80070070"},
        Case{"文件不完整或已损坏", "0x80070026"}}) {
    common::MemoryFileSystem fs;
    test::MakeGameFolder(fs, "game");
    const common::Path tlad = AppendPath("game", FontsWtdPath(Episode::TLAD));
    if (expected.code == std::string("0x80070005")) {
      fs.readOnlyFolders.insert(tlad.parent_path().generic_string());
    } else if (expected.code == std::string("0x80070026")) {
      fs.files[tlad.generic_string()].resize(40);  // cut short
    } else {
      fs.writeLimit = 0;  // a full disk
      fs.writeFailure = common::HresultFromWin32(common::kErrorDiskFull);
    }
    auto before = fs.files;
    GenerationSettings settings;
    render::SetFaceName(settings.mainFont, u"Main");
    settings.symbolFont = settings.mainFont;
    settings.gameFolder = "game";
    settings.episodes = {Episode::IV, Episode::TBoGT, Episode::TLAD};
    std::ostringstream out, err;
    TerminalMessageSink messages(out, err);
    GenerationServices services{
        fs, messages,
        [](const render::GlyphFonts&, render::RenderEngine, bool,
           std::u16string_view) { return test::PatternAtlas(); }};
    EXPECT_EQ(GenerateFontTexture(services, settings),
              GenerationOutcome::Failed);
    EXPECT_NE(err.str().find(expected.reason), std::string::npos) << err.str();
    EXPECT_NE(err.str().find(expected.code), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("没有更改任何游戏文件"), std::string::npos);
    if (expected.code == std::string("0x80070026")) {
      EXPECT_NE(err.str().find("验证游戏文件的完整性"), std::string::npos);
    }
    // The system's own text, English on Linux, is never the cause.
    EXPECT_EQ(err.str().find("The "), std::string::npos) << err.str();
    EXPECT_EQ(fs.files, before);
  }
}

TEST(RestoreCommandTest, AFolderWithoutAnyVariantIsAnError) {
  common::MemoryFileSystem fs;
  std::ostringstream out, err;
  int code = RunRestore(CommandContext{fs, out, err},
                        std::vector<std::string>{"--game-folder", "nowhere"});
  EXPECT_EQ(code, kExitError);
  EXPECT_EQ(err.str(),
            "karstel: 错误: nowhere 不是游戏目录：其中没有任何版本的 "
            "fonts.wtd，也没有它们的备份\n"
            "karstel: 目录: nowhere\n"
            "karstel: 这个目录不存在。\n");
}

}  // namespace
}  // namespace app
