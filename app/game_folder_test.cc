#include "app/game_folder.h"

#include <gtest/gtest.h>

#include <map>

#include "app/test_util.h"
#include "common/text.h"

namespace app {
namespace {

using Message = RecordingMessageSink::Message;

// Answers reads from a table, as RegGetValueW would; counts reads.
class FakeRegistry final : public RegistryReader {
 public:
  std::uint32_t ReadString(const RegistrySource& source,
                           std::span<char16_t> buffer,
                           std::uint32_t& byteCount) override {
    reads.push_back(std::u16string(source.valueName));
    auto it = values.find(std::u16string(source.valueName));
    if (it == values.end()) return kRegistryFileNotFound;
    std::size_t needed = (it->second.size() + 1) * 2;
    if (needed > byteCount) return kRegistryMoreData;
    std::copy(it->second.begin(), it->second.end(), buffer.begin());
    buffer[it->second.size()] = 0;
    byteCount = static_cast<std::uint32_t>(needed);
    return 0;
  }
  void Set(const RegistrySource& source, const common::Path& folder) {
    values[std::u16string(source.valueName)] =
        common::Utf8ToUtf16(common::PathToUtf8(folder));
  }
  std::map<std::u16string, std::u16string> values;
  std::vector<std::u16string> reads;
};

class GameFolderTest : public ::testing::Test {
 protected:
  // Everything in memory: where the game is matters, not the disk.
  common::Path Root() const { return common::Path("games") / "GTA IV"; }
  std::vector<Message> Warned(const char* text) const {
    return {{MessageIcon::Warning, text}};
  }

  common::MemoryFileSystem fs_;
  RecordingMessageSink messages_;
  FakeRegistry registry_;
  common::Path gameFolder_ = "earlier";
};

TEST_F(GameFolderTest, IsRegularFileTellsFilesFromFoldersAndAbsence) {
  test::MakeGameFolder(fs_, Root());
  EXPECT_TRUE(IsRegularFile(fs_, Root() / "pc" / "textures" / "fonts.wtd"));
  EXPECT_FALSE(IsRegularFile(fs_, Root() / "pc" / "textures"));
  EXPECT_FALSE(IsRegularFile(fs_, Root() / "nothing"));
  EXPECT_FALSE(IsRegularFile(fs_, Root() / "nothing" / "deeper"));
  // A folder on the way that is really a file.
  EXPECT_FALSE(
      IsRegularFile(fs_, Root() / "pc" / "textures" / "fonts.wtd" / "x"));
}

TEST_F(GameFolderTest, AcceptsAFolderWithAllThreeFontsWtd) {
  test::MakeGameFolder(fs_, Root());
  common::Path folder = Root();
  EXPECT_TRUE(ResolveGameFolder(fs_, folder));
  EXPECT_EQ(folder, Root());
  EXPECT_TRUE(HasCharacterTable(fs_, folder));
}

TEST_F(GameFolderTest, FindsTheFilesInTheGtaivSubfolder) {
  test::MakeGameFolder(fs_, Root() / "GTAIV");
  common::Path folder = Root();
  EXPECT_TRUE(ResolveGameFolder(fs_, folder));
  EXPECT_EQ(folder, AppendPath(Root(), "GTAIV"));
}

TEST_F(GameFolderTest, MissingTbogtFileFailsEvenWithIvAndTlad) {
  test::MakeGameFolder(fs_, Root());
  fs_.RemoveFile(AppendPath(Root(), FontsWtdPath(Episode::TBoGT)));
  common::Path folder = Root();
  EXPECT_FALSE(HasAllFontsWtd(fs_, Root()));
  EXPECT_FALSE(ResolveGameFolder(fs_, folder));
  EXPECT_EQ(folder, AppendPath(Root(), "GTAIV"));  // callers discard it
}

TEST_F(GameFolderTest, FontsWtdThatIsAFolderCountsAsMissing) {
  test::MakeGameFolder(fs_, Root());
  common::Path tlad = AppendPath(Root(), FontsWtdPath(Episode::TLAD));
  fs_.RemoveFile(tlad);
  fs_.CreateFolders(tlad);
  EXPECT_FALSE(HasAllFontsWtd(fs_, Root()));
}

TEST_F(GameFolderTest, WrongFoldersSayWhatIsMissingAndWhere) {
  test::MakeGameFolder(fs_, Root(), false);
  fs_.Put(Root() / "pc" / "note.txt", {});
  const common::Path onlyIv = common::Path("games") / "only IV";
  fs_.Put(AppendPath(onlyIv, FontsWtdPath(Episode::IV)), {});
  const common::Path common = common::Path("steamapps") / "common";
  fs_.Put(common / "Other Game" / "x", {});
  auto wtd = [](Episode episode) {
    return common::PathToUtf8(FontsWtdPath(episode));
  };
  const std::string all =
      wtd(Episode::IV) + "、" + wtd(Episode::TBoGT) + "、" + wtd(Episode::TLAD);
  struct Case {
    common::Path folder;
    std::string said;  // after the line naming the folder
  };
  const Case cases[] = {
      {"missing", "这个目录不存在。"},
      {Root() / "pc" / "note.txt",
       "这是一个文件，不是文件夹：请选择游戏的安装文件夹。"},
      {Root() / "pc", "缺少: " + all +
                          "\n这是游戏目录里面的文件夹：请选择游戏的安装文件夹 "
                          "(含有 pc、TLAD 和 TBoGT 的那一个)。"},
      {common, "缺少: " + all +
                   "\n这是 Steam 库的 common 文件夹：请选择其中的 Grand Theft "
                   "Auto IV 文件夹。"},
      {onlyIv,
       "缺少: " + wtd(Episode::TBoGT) + "、" + wtd(Episode::TLAD) +
           "\n即使只写入其中一个版本，三个版本的 fonts.wtd 也都必须存在。"},
  };
  for (const Case& c : cases) {
    RecordingMessageSink messages;
    common::Path stored;
    EXPECT_FALSE(AcceptChosenFolder(fs_, messages, c.folder, stored));
    ASSERT_EQ(messages.details.size(), 1u);
    EXPECT_EQ(messages.details[0],
              "目录: " + common::PathToUtf8(c.folder) + "\n" + c.said);
  }
  // The table is named when the fonts are all there.
  RecordingMessageSink messages;
  common::Path stored;
  EXPECT_FALSE(AcceptChosenFolder(fs_, messages, Root(), stored));
  EXPECT_EQ(messages.details.at(0),
            "目录: " + common::PathToUtf8(Root()) +
                "\n缺少: " + common::PathToUtf8(CharacterTablePath()));
}

TEST_F(GameFolderTest, DetectStoresSourceOneWithGtaivAppended) {
  test::MakeGameFolder(fs_, Root() / "GTAIV");
  registry_.Set(kRockstarSource, Root());
  EXPECT_TRUE(DetectGameFolder(fs_, messages_, registry_, gameFolder_));
  EXPECT_EQ(gameFolder_, AppendPath(Root(), "GTAIV"));
  EXPECT_TRUE(messages_.messages.empty());
  EXPECT_EQ(registry_.reads, std::vector<std::u16string>{u"InstallFolder"});
}

TEST_F(GameFolderTest, DetectDoesNotFallBackWhenSourceOneFailsChecks) {
  test::MakeGameFolder(fs_, Root());
  registry_.Set(kRockstarSource, common::Path("empty"));
  registry_.Set(kSteamSource, Root());
  EXPECT_FALSE(DetectGameFolder(fs_, messages_, registry_, gameFolder_));
  EXPECT_EQ(messages_.messages, Warned(kDetectedWithoutFontsWtd));
  EXPECT_EQ(gameFolder_, "earlier");
  EXPECT_EQ(registry_.reads.size(), 1u);
}

TEST_F(GameFolderTest, DetectUsesSourceTwoWhenSourceOneIsAbsent) {
  test::MakeGameFolder(fs_, Root());
  registry_.Set(kSteamSource, Root());
  EXPECT_TRUE(DetectGameFolder(fs_, messages_, registry_, gameFolder_));
  EXPECT_EQ(gameFolder_, Root());
  EXPECT_EQ(registry_.reads, (std::vector<std::u16string>{u"InstallFolder",
                                                          u"InstallLocation"}));
}

TEST_F(GameFolderTest, DetectWarnsWhenNeitherSourceReads) {
  EXPECT_FALSE(DetectGameFolder(fs_, messages_, registry_, gameFolder_));
  EXPECT_EQ(messages_.messages, Warned(kNoGameFolderFound));
  EXPECT_EQ(gameFolder_, "earlier");
}

TEST_F(GameFolderTest, DetectTreatsAnEmptySourceOneAsNotFound) {
  test::MakeGameFolder(fs_, Root());
  registry_.values[u"InstallFolder"] = u"";
  registry_.Set(kSteamSource, Root());
  EXPECT_FALSE(DetectGameFolder(fs_, messages_, registry_, gameFolder_));
  EXPECT_EQ(messages_.messages, Warned(kNoGameFolderFound));
  EXPECT_EQ(registry_.reads.size(), 1u);  // it was read, so no fallback
}

TEST_F(GameFolderTest, DetectCountsAValueOf512UnitsAsAbsent) {
  test::MakeGameFolder(fs_, Root());
  registry_.values[u"InstallFolder"] = std::u16string(512, u'a');
  registry_.Set(kSteamSource, Root());
  EXPECT_TRUE(DetectGameFolder(fs_, messages_, registry_, gameFolder_));
  EXPECT_EQ(gameFolder_, Root());
}

TEST_F(GameFolderTest, DetectWarnsAboutAMissingTable) {
  test::MakeGameFolder(fs_, Root(), /*withTable=*/false);
  registry_.Set(kRockstarSource, Root());
  EXPECT_FALSE(DetectGameFolder(fs_, messages_, registry_, gameFolder_));
  EXPECT_EQ(messages_.messages, Warned(kDetectedWithoutCharacterTable));
  EXPECT_EQ(gameFolder_, "earlier");
}

TEST_F(GameFolderTest, DetectLooksForTheTableInTheGtaivSubfolder) {
  test::MakeGameFolder(fs_, Root() / "GTAIV", /*withTable=*/false);
  fs_.Put(AppendPath(Root(), CharacterTablePath()),
          EncodeCharacterTable(u"一"));
  registry_.Set(kRockstarSource, Root());
  EXPECT_FALSE(DetectGameFolder(fs_, messages_, registry_, gameFolder_));
  EXPECT_EQ(messages_.messages, Warned(kDetectedWithoutCharacterTable));
}

TEST_F(GameFolderTest, DetectCutsAValueAtAnEmbeddedTerminator) {
  test::MakeGameFolder(fs_, Root());
  registry_.Set(kRockstarSource, Root());
  registry_.values[u"InstallFolder"] += std::u16string(1, u'\0') + u"junk";
  EXPECT_TRUE(DetectGameFolder(fs_, messages_, registry_, gameFolder_));
  EXPECT_EQ(gameFolder_, Root());
}

TEST_F(GameFolderTest, ChosenFolderIsStoredResolved) {
  test::MakeGameFolder(fs_, Root() / "GTAIV");
  EXPECT_TRUE(AcceptChosenFolder(fs_, messages_, Root(), gameFolder_));
  EXPECT_EQ(gameFolder_, AppendPath(Root(), "GTAIV"));
  EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(GameFolderTest, ChosenFolderWarnsWithItsOwnTexts) {
  EXPECT_FALSE(AcceptChosenFolder(fs_, messages_, Root(), gameFolder_));
  test::MakeGameFolder(fs_, Root(), /*withTable=*/false);
  EXPECT_FALSE(AcceptChosenFolder(fs_, messages_, Root(), gameFolder_));
  EXPECT_EQ(messages_.messages,
            (std::vector<Message>{
                {MessageIcon::Warning, kChosenWithoutFontsWtd},
                {MessageIcon::Warning, kChosenWithoutCharacterTable}}));
  EXPECT_EQ(gameFolder_, "earlier");
}

}  // namespace
}  // namespace app
