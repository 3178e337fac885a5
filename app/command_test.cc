#include "app/command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/character_table.h"
#include "app/game_folder.h"
#include "app/sample_table.h"
#include "common/memory_file_system.h"
#include "resource/sample_wtd.h"
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
  EXPECT_TRUE(AcceptChosenFolder(messages, dir.path(), gameFolder));
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
