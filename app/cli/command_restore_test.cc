#include <gtest/gtest.h>

#include <sstream>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "app/cli/command.h"
#include "app/game_folder_lock.h"
#include "app/generation.h"
#include "app/original_backup.h"
#include "app/replacement_journal.h"
#include "app/test_util.h"
#include "common/memory_file_system.h"
#include "resource/bytes.h"
#include "resource/test_util.h"
#include "resource/texture_dictionary.h"
#include "testing/temp_dir.h"

namespace app {
namespace {

using test::Bytes;

class OriginalBackupTest : public ::testing::Test {
 protected:
  OriginalBackupTest() {
    test::MakeGameFolder(dir_.path());
    files_.lockWait = std::chrono::milliseconds(0);
  }

  common::Path Wtd(Episode episode) const {
    return AppendPath(dir_.path(), FontsWtdPath(episode));
  }
  common::Path Backup(Episode episode) const {
    return BackupPathFor(Wtd(episode));
  }
  GenerationOutcome Generate(unsigned seed) {
    GenerationSettings settings;
    render::SetFaceName(settings.mainFont, u"Main");
    render::SetFaceName(settings.symbolFont, u"Main");
    settings.gameFolder = dir_.path();
    settings.episodes = {Episode::IV, Episode::TBoGT, Episode::TLAD};
    GenerationServices services{
        files_, messages_,
        [seed](const render::GlyphFonts&, render::RenderEngine, bool,
               std::u16string_view) { return test::PatternAtlas(seed); }};
    return GenerateFontTexture(services, settings);
  }
  int Restore(std::vector<std::string> args, std::string* err = nullptr) {
    std::ostringstream out, errors;
    CommandContext context{files_, out, errors};
    int code = RunRestore(context, args);
    if (err) *err = errors.str();
    return code;
  }
  std::string FolderOption() const {
    return "--game-folder=" + dir_.path().string();
  }

  testutil::TempDir dir_;
  common::RealFileSystem fs_;
  test::RecordingFileSystem files_{fs_};
  RecordingMessageSink messages_;
};

TEST_F(OriginalBackupTest, GenerationKeepsTheFirstOriginalOnly) {
  std::vector<Bytes> original;
  for (Episode episode : kEpisodeOrder)
    original.push_back(test::ReadBytes(Wtd(episode)));
  ASSERT_EQ(Generate(1), GenerationOutcome::Generated);
  ASSERT_EQ(Generate(2), GenerationOutcome::Generated);
  for (std::size_t i = 0; i < 3; ++i) {
    Episode episode = kEpisodeOrder[i];
    EXPECT_TRUE(test::ReadBytes(Backup(episode)) == original[i])
        << EpisodeName(episode);
    EXPECT_FALSE(test::FontChsPixels(test::ReadBytes(Wtd(episode))).empty());
  }
  // Nothing but the file and its backup stays in the folder.
  std::size_t entries = 0;
  for (auto& entry :
       std::filesystem::directory_iterator(Wtd(Episode::IV).parent_path())) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 2u);
}

TEST_F(OriginalBackupTest, RestorePutsTheExactBytesBackAndRemovesTheBackup) {
  std::vector<Bytes> original;
  for (Episode episode : kEpisodeOrder)
    original.push_back(test::ReadBytes(Wtd(episode)));
  ASSERT_EQ(Generate(1), GenerationOutcome::Generated);
  ASSERT_EQ(Restore({FolderOption(), "--variants", "IV,TLAD"}), kExitSuccess);
  EXPECT_TRUE(test::ReadBytes(Wtd(Episode::IV)) == original[0]);
  EXPECT_TRUE(test::ReadBytes(Wtd(Episode::TLAD)) == original[2]);
  EXPECT_FALSE(std::filesystem::exists(Backup(Episode::IV)));
  EXPECT_FALSE(std::filesystem::exists(Backup(Episode::TLAD)));
  // TBoGT was not chosen: still patched, its backup still there.
  EXPECT_FALSE(
      test::FontChsPixels(test::ReadBytes(Wtd(Episode::TBoGT))).empty());
  EXPECT_TRUE(test::ReadBytes(Backup(Episode::TBoGT)) == original[1]);

  // The next generation keeps the restored file as the new original.
  ASSERT_EQ(Generate(2), GenerationOutcome::Generated);
  EXPECT_TRUE(test::ReadBytes(Backup(Episode::IV)) == original[0]);
}

TEST_F(OriginalBackupTest, RestoreWithoutBackupChangesNothing) {
  Bytes before = test::ReadBytes(Wtd(Episode::IV));
  std::string err;
  EXPECT_EQ(Restore({FolderOption()}, &err), kExitWarning);
  EXPECT_NE(err.find("IV: 没有备份"), std::string::npos) << err;
  EXPECT_TRUE(test::ReadBytes(Wtd(Episode::IV)) == before);
  EXPECT_FALSE(std::filesystem::exists(Backup(Episode::IV)));
}

TEST_F(OriginalBackupTest, DamagedBackupIsRefusedAndNothingChanges) {
  ASSERT_EQ(Generate(1), GenerationOutcome::Generated);
  Bytes patched = test::ReadBytes(Wtd(Episode::IV));
  Bytes backup = test::ReadBytes(Backup(Episode::IV));
  // A header that declares almost 4 GiB, which no file of the game does.
  Bytes huge = backup;
  const std::uint32_t flags = 0x10 | (2047u << 15) | (13u << 26);
  for (int i = 0; i < 4; ++i) huge[8 + i] = std::byte(flags >> (8 * i));
  // A sound container whose first texture pointer has tag 0xF, which no file
  // holds and generate refuses.
  Bytes body = resource::test::InflateBody(backup);
  const std::uint32_t pointers = resource::PointerPayload(
      resource::Read32(body.data() + resource::kRootTexturesOffset));
  resource::Write32(body.data() + pointers, 0xF0000000u);
  const Bytes external = resource::test::Recompressed(backup, body);
  for (const Bytes& damaged :
       {Bytes(backup.begin(), backup.begin() + backup.size() / 2),
        Bytes(16, std::byte{'x'}), Bytes{}, huge, external}) {
    test::WriteBytes(Backup(Episode::IV), damaged);
    EXPECT_EQ(RestoreOriginal(fs_, Wtd(Episode::IV)),
              RestoreOutcome::DamagedBackup);
    EXPECT_TRUE(test::ReadBytes(Wtd(Episode::IV)) == patched);
    EXPECT_TRUE(test::ReadBytes(Backup(Episode::IV)) == damaged);
  }
  // The command says so and fails, after restoring the sound ones.
  std::string err;
  EXPECT_EQ(Restore({FolderOption()}, &err), kExitError);
  EXPECT_NE(err.find("IV: 备份"), std::string::npos) << err;
  EXPECT_TRUE(test::ReadBytes(Wtd(Episode::IV)) == patched);
  EXPECT_FALSE(std::filesystem::exists(Backup(Episode::TLAD)));
}

TEST_F(OriginalBackupTest, FailedBackupStopsTheGenerationBeforeTheWrite) {
  // A folder where the backup should go cannot be replaced by a file.
  Bytes before = test::ReadBytes(Wtd(Episode::IV));
  std::filesystem::create_directory(Backup(Episode::IV));
  EXPECT_EQ(Generate(1), GenerationOutcome::Failed);
  EXPECT_TRUE(test::ReadBytes(Wtd(Episode::IV)) == before);
}

// A restore that comes while a generation is writing is refused: it must
// not put the original back and remove the backup between the generation's
// backup check and its replace, which would lose the original.
TEST_F(OriginalBackupTest, RestoreDuringAGenerationIsRefused) {
  const Bytes original = test::ReadBytes(Wtd(Episode::IV));
  ASSERT_EQ(Generate(1), GenerationOutcome::Generated);
  const std::string temporary =
      "create " + Wtd(Episode::IV).generic_string() + ".karstel-";
  bool steppedIn = false;
  int restore = -1;
  std::string err;
  files_.onRecord = [&](const std::string& line) {
    if (!line.starts_with(temporary) || steppedIn) return;
    steppedIn = true;
    restore = Restore({FolderOption()}, &err);
  };
  EXPECT_EQ(Generate(2), GenerationOutcome::Generated);
  EXPECT_EQ(restore, kExitError);
  EXPECT_NE(err.find("另一个 Karstel"), std::string::npos) << err;
  EXPECT_TRUE(test::ReadBytes(Backup(Episode::IV)) == original);
  EXPECT_TRUE(test::FontChsPixels(test::ReadBytes(Wtd(Episode::IV))) ==
              test::ImageBytes(test::PatternAtlas(2)));
  EXPECT_FALSE(std::filesystem::exists(GameFolderLockPath(dir_.path())));
}

// Only Karstel writes the backup's name, and only as a regular file: a link
// planted there is neither taken for the original nor followed by restore.
TEST_F(OriginalBackupTest, ALinkAtTheBackupNameIsNeitherTakenNorFollowed) {
  common::Path elsewhere = dir_.path() / "elsewhere.wtd";
  const Bytes planted = test::SmallFontsWtd(9);
  test::WriteBytes(elsewhere, planted);
  std::error_code error;
  std::filesystem::create_symlink(elsewhere, Backup(Episode::IV), error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  const Bytes before = test::ReadBytes(Wtd(Episode::IV));

  EXPECT_EQ(Generate(1), GenerationOutcome::Failed);
  EXPECT_TRUE(test::ReadBytes(Wtd(Episode::IV)) == before);
  std::string err;
  EXPECT_EQ(Restore({FolderOption(), "--variants", "IV"}, &err), kExitError);
  EXPECT_NE(err.find("不是普通文件"), std::string::npos) << err;
  EXPECT_TRUE(test::ReadBytes(Wtd(Episode::IV)) == before);
  EXPECT_TRUE(std::filesystem::is_symlink(Backup(Episode::IV)));
  EXPECT_TRUE(test::ReadBytes(elsewhere) == planted);
}

// A restore after a generation killed between two replacements first
// finishes that generation and says so, then restores the originals, and
// leaves none of the dead run's files.
TEST(RestoreAfterKillTest, FinishesTheKilledRunFirst) {
  common::MemoryFileSystem fs;
  test::MakeGameFolder(fs, "game");
  std::vector<Bytes> originals;
  for (Episode episode : kEpisodeOrder)
    originals.push_back(fs.Get(AppendPath("game", FontsWtdPath(episode))));
  GenerationSettings settings;
  render::SetFaceName(settings.mainFont, u"Main");
  render::SetFaceName(settings.symbolFont, u"Main");
  settings.gameFolder = "game";
  settings.episodes = {Episode::IV, Episode::TBoGT, Episode::TLAD};
  RecordingMessageSink messages;
  GenerationServices services{
      fs, messages,
      [](const render::GlyphFonts&, render::RenderEngine, bool,
         std::u16string_view) { return test::PatternAtlas(1); }};
  const std::string tbogt =
      AppendPath("game", FontsWtdPath(Episode::TBoGT)).generic_string();
  fs.beforeChange = [&](const std::string& change) {
    if (change.starts_with("replace ") && change.ends_with(" " + tbogt)) {
      fs.frozen = true;  // nothing more reaches the disk
      THROW_HR(common::kEFail);
    }
  };
  GenerateFontTexture(services, settings);
  ASSERT_TRUE(fs.Exists(JournalPath("game")));
  fs.beforeChange = {};
  fs.frozen = false;
  fs.earlierRunsGone = true;

  std::ostringstream out, err;
  CommandContext context{fs, out, err};
  const std::vector<std::string> args = {"--game-folder=game"};
  EXPECT_EQ(RunRestore(context, args), kExitSuccess);
  EXPECT_NE(err.str().find("上次生成在替换 TBoGT 前中断，已完成替换"),
            std::string::npos)
      << err.str();
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_TRUE(fs.Get(AppendPath("game", FontsWtdPath(kEpisodeOrder[i]))) ==
                originals[i]);
  for (const auto& [name, content] : fs.files)
    EXPECT_EQ(name.find("karstel"), std::string::npos) << name;
}

#if !defined(_WIN32)
TEST_F(OriginalBackupTest, TheBackupKeepsOwnerGroupAndMode) {
  const common::Path wtd = Wtd(Episode::IV);
  ASSERT_EQ(::chmod(wtd.c_str(), 0640), 0);
  const bool root = ::geteuid() == 0;
  // As root (sudo on a Steam Deck), the backup stays the player's.
  if (root) {
    ASSERT_EQ(::chown(wtd.c_str(), 1234, 2345), 0);
  }
  struct stat original, backup;
  ASSERT_EQ(::stat(wtd.c_str(), &original), 0);
  ASSERT_TRUE(KeepOriginalOnce(fs_, wtd));
  ASSERT_EQ(::stat(Backup(Episode::IV).c_str(), &backup), 0);
  EXPECT_EQ(backup.st_mode & 07777, 0640u);
  EXPECT_EQ(backup.st_uid, original.st_uid);
  EXPECT_EQ(backup.st_gid, original.st_gid);
  if (!root) GTEST_SKIP() << "owner change needs root; mode checked";
}
#endif

}  // namespace
}  // namespace app
