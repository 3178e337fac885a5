#include "app/game_folder.h"

#include <gtest/gtest.h>

#include <map>

#include "app/test_util.h"
#include "common/text.h"
#include "testing/temp_dir.h"

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
  common::Path Root() const { return dir_.path() / "GTA IV"; }
  std::vector<Message> Warned(const char* text) const {
    return {{MessageIcon::Warning, text}};
  }

  testutil::TempDir dir_;
  RecordingMessageSink messages_;
  FakeRegistry registry_;
  common::Path gameFolder_ = "earlier";
};

TEST_F(GameFolderTest, IsRegularFileTellsFilesFromFoldersAndAbsence) {
  test::MakeGameFolder(Root());
  EXPECT_TRUE(IsRegularFile(Root() / "pc" / "textures" / "fonts.wtd"));
  EXPECT_FALSE(IsRegularFile(Root() / "pc" / "textures"));
  EXPECT_FALSE(IsRegularFile(Root() / "nothing"));
  EXPECT_FALSE(IsRegularFile(Root() / "nothing" / "deeper"));
  // A folder on the way that is really a file.
  EXPECT_FALSE(IsRegularFile(Root() / "pc" / "textures" / "fonts.wtd" / "x"));
}

TEST_F(GameFolderTest, AcceptsAFolderWithAllThreeFontsWtd) {
  test::MakeGameFolder(Root());
  common::Path folder = Root();
  EXPECT_TRUE(ResolveGameFolder(folder));
  EXPECT_EQ(folder, Root());
  EXPECT_TRUE(HasCharacterTable(folder));
}

TEST_F(GameFolderTest, FindsTheFilesInTheGtaivSubfolder) {
  test::MakeGameFolder(Root() / "GTAIV");
  common::Path folder = Root();
  EXPECT_TRUE(ResolveGameFolder(folder));
  EXPECT_EQ(folder, AppendPath(Root(), "GTAIV"));
}

TEST_F(GameFolderTest, MissingTbogtFileFailsEvenWithIvAndTlad) {
  test::MakeGameFolder(Root());
  std::filesystem::remove(AppendPath(Root(), FontsWtdPath(Episode::TBoGT)));
  common::Path folder = Root();
  EXPECT_FALSE(HasAllFontsWtd(Root()));
  EXPECT_FALSE(ResolveGameFolder(folder));
  EXPECT_EQ(folder, AppendPath(Root(), "GTAIV"));  // callers discard it
}

TEST_F(GameFolderTest, FontsWtdThatIsAFolderCountsAsMissing) {
  test::MakeGameFolder(Root());
  common::Path tlad = AppendPath(Root(), FontsWtdPath(Episode::TLAD));
  std::filesystem::remove(tlad);
  std::filesystem::create_directories(tlad);
  EXPECT_FALSE(HasAllFontsWtd(Root()));
}

TEST_F(GameFolderTest, DetectStoresSourceOneWithGtaivAppended) {
  test::MakeGameFolder(Root() / "GTAIV");
  registry_.Set(kRockstarSource, Root());
  EXPECT_TRUE(DetectGameFolder(messages_, registry_, gameFolder_));
  EXPECT_EQ(gameFolder_, AppendPath(Root(), "GTAIV"));
  EXPECT_TRUE(messages_.messages.empty());
  EXPECT_EQ(registry_.reads, std::vector<std::u16string>{u"InstallFolder"});
}

TEST_F(GameFolderTest, DetectDoesNotFallBackWhenSourceOneFailsChecks) {
  test::MakeGameFolder(Root());
  registry_.Set(kRockstarSource, dir_.path() / "empty");
  registry_.Set(kSteamSource, Root());
  EXPECT_FALSE(DetectGameFolder(messages_, registry_, gameFolder_));
  EXPECT_EQ(messages_.messages, Warned(kDetectedWithoutFontsWtd));
  EXPECT_EQ(gameFolder_, "earlier");
  EXPECT_EQ(registry_.reads.size(), 1u);
}

TEST_F(GameFolderTest, DetectUsesSourceTwoWhenSourceOneIsAbsent) {
  test::MakeGameFolder(Root());
  registry_.Set(kSteamSource, Root());
  EXPECT_TRUE(DetectGameFolder(messages_, registry_, gameFolder_));
  EXPECT_EQ(gameFolder_, Root());
  EXPECT_EQ(registry_.reads, (std::vector<std::u16string>{u"InstallFolder",
                                                          u"InstallLocation"}));
}

TEST_F(GameFolderTest, DetectWarnsWhenNeitherSourceReads) {
  EXPECT_FALSE(DetectGameFolder(messages_, registry_, gameFolder_));
  EXPECT_EQ(messages_.messages, Warned(kNoGameFolderFound));
  EXPECT_EQ(gameFolder_, "earlier");
}

TEST_F(GameFolderTest, DetectTreatsAnEmptySourceOneAsNotFound) {
  test::MakeGameFolder(Root());
  registry_.values[u"InstallFolder"] = u"";
  registry_.Set(kSteamSource, Root());
  EXPECT_FALSE(DetectGameFolder(messages_, registry_, gameFolder_));
  EXPECT_EQ(messages_.messages, Warned(kNoGameFolderFound));
  EXPECT_EQ(registry_.reads.size(), 1u);  // it was read, so no fallback
}

TEST_F(GameFolderTest, DetectCountsAValueOf512UnitsAsAbsent) {
  test::MakeGameFolder(Root());
  registry_.values[u"InstallFolder"] = std::u16string(512, u'a');
  registry_.Set(kSteamSource, Root());
  EXPECT_TRUE(DetectGameFolder(messages_, registry_, gameFolder_));
  EXPECT_EQ(gameFolder_, Root());
}

TEST_F(GameFolderTest, DetectWarnsAboutAMissingTable) {
  test::MakeGameFolder(Root(), /*withTable=*/false);
  registry_.Set(kRockstarSource, Root());
  EXPECT_FALSE(DetectGameFolder(messages_, registry_, gameFolder_));
  EXPECT_EQ(messages_.messages, Warned(kDetectedWithoutCharacterTable));
  EXPECT_EQ(gameFolder_, "earlier");
}

TEST_F(GameFolderTest, DetectLooksForTheTableInTheGtaivSubfolder) {
  test::MakeGameFolder(Root() / "GTAIV", /*withTable=*/false);
  test::WriteBytes(AppendPath(Root(), CharacterTablePath()),
                   EncodeCharacterTable(u"一"));
  registry_.Set(kRockstarSource, Root());
  EXPECT_FALSE(DetectGameFolder(messages_, registry_, gameFolder_));
  EXPECT_EQ(messages_.messages, Warned(kDetectedWithoutCharacterTable));
}

TEST_F(GameFolderTest, DetectCutsAValueAtAnEmbeddedTerminator) {
  test::MakeGameFolder(Root());
  registry_.Set(kRockstarSource, Root());
  registry_.values[u"InstallFolder"] += std::u16string(1, u'\0') + u"junk";
  EXPECT_TRUE(DetectGameFolder(messages_, registry_, gameFolder_));
  EXPECT_EQ(gameFolder_, Root());
}

TEST_F(GameFolderTest, ChosenFolderIsStoredResolved) {
  test::MakeGameFolder(Root() / "GTAIV");
  EXPECT_TRUE(AcceptChosenFolder(messages_, Root(), gameFolder_));
  EXPECT_EQ(gameFolder_, AppendPath(Root(), "GTAIV"));
  EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(GameFolderTest, ChosenFolderWarnsWithItsOwnTexts) {
  EXPECT_FALSE(AcceptChosenFolder(messages_, Root(), gameFolder_));
  test::MakeGameFolder(Root(), /*withTable=*/false);
  EXPECT_FALSE(AcceptChosenFolder(messages_, Root(), gameFolder_));
  EXPECT_EQ(messages_.messages,
            (std::vector<Message>{
                {MessageIcon::Warning, kChosenWithoutFontsWtd},
                {MessageIcon::Warning, kChosenWithoutCharacterTable}}));
  EXPECT_EQ(gameFolder_, "earlier");
}

}  // namespace
}  // namespace app
