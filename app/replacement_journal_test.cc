#include "app/replacement_journal.h"

#include <gtest/gtest.h>

#include "app/game_folder_lock.h"
#include "app/generation.h"
#include "app/original_backup.h"
#include "app/test_util.h"
#include "common/text.h"
#include "testing/bytes_of.h"

namespace app {
namespace {

using test::Bytes;

// Unwinds a run at the step where the test kills it; the file system is
// frozen first, so that nothing the run does on the way out reaches it.
struct Killed {};

class InterruptedRunTest : public ::testing::Test {
 protected:
  InterruptedRunTest() { test::MakeGameFolder(fs_, folder_); }

  GenerationOutcome Generate(unsigned seed) {
    GenerationSettings settings;
    render::SetFaceName(settings.mainFont, u"Main");
    render::SetFaceName(settings.symbolFont, u"Main");
    settings.gameFolder = folder_;
    settings.episodes = {Episode::IV, Episode::TBoGT, Episode::TLAD};
    GenerationServices services{
        fs_, messages_,
        [seed](const render::GlyphFonts&, render::RenderEngine, bool,
               std::u16string_view) { return test::PatternAtlas(seed); }};
    services.onFailure = [this](const GenerationFailure& failure) {
      failure_ = failure;
    };
    return GenerateFontTexture(services, settings);
  }
  // What the next run does first.
  std::string Recover() {
    auto lock = LockGameFolder(fs_, folder_);
    std::string told = FinishInterruptedRun(fs_, folder_);
    RemoveLeftovers(fs_, folder_);
    return told;
  }
  common::Path Wtd(Episode episode) const {
    return AppendPath(folder_, FontsWtdPath(episode));
  }
  std::vector<Bytes> AllWtd() const {
    std::vector<Bytes> all;
    for (Episode episode : kEpisodeOrder) all.push_back(fs_.Get(Wtd(episode)));
    return all;
  }
  std::vector<Bytes> AllBackups() const {
    std::vector<Bytes> all;
    for (Episode episode : kEpisodeOrder)
      all.push_back(fs_.Get(BackupPathFor(Wtd(episode))));
    return all;
  }
  // Every file but the game's own, the backups and the table.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> names;
    for (const auto& [name, content] : fs_.files)
      if (name.find("karstel") != std::string::npos &&
          !name.ends_with(".karstel-backup"))
        names.push_back(name);
    return names;
  }
  // Kills a run at the change numbered `step` (counted from 0).
  void KillAt(std::size_t step) {
    std::size_t seen = 0;
    fs_.beforeChange = [this, step, seen](const std::string&) mutable {
      if (seen++ != step) return;
      fs_.frozen = true;
      throw Killed{};
    };
  }
  // Kills a run as it is about to put the new file of `episode` in place.
  void KillAtReplacementOf(Episode episode) {
    const std::string path = Wtd(episode).generic_string();
    fs_.beforeChange = [this, path](const std::string& change) {
      if (!change.starts_with("replace ") || !change.ends_with(" " + path))
        return;
      fs_.frozen = true;
      throw Killed{};
    };
  }
  // The system as it is when the killed run's process is gone.
  void Restart() {
    fs_.beforeChange = {};
    fs_.frozen = false;
    fs_.earlierRunsGone = true;
  }

  common::MemoryFileSystem fs_;
  const common::Path folder_ = "game";
  RecordingMessageSink messages_;
  std::optional<GenerationFailure> failure_;
};

// All variants or none, whenever the power goes: a run killed at any change
// it makes to the folder leaves, once the next run has looked, every
// variant as it was before the run or every one with the new texture, the
// originals in their backups, and nothing else.
TEST_F(InterruptedRunTest, AKillAtAnyStepEndsAllOldOrAllNew) {
  const std::vector<Bytes> originals = AllWtd();
  ASSERT_EQ(Generate(1), GenerationOutcome::Generated);
  const std::vector<Bytes> old = AllWtd();
  const auto saved = fs_.files;
  std::vector<std::string> changes;
  fs_.beforeChange = [&](const std::string& change) {
    changes.push_back(change);
  };
  ASSERT_EQ(Generate(2), GenerationOutcome::Generated);
  const std::vector<Bytes> fresh = AllWtd();
  ASSERT_NE(fresh, old);

  int finished = 0, undone = 0;
  for (std::size_t step = 0; step < changes.size(); ++step) {
    // The many writes of the new files' bytes are one step each way.
    if (changes[step].starts_with("write ") &&
        changes[step].find("karstel.journal") == std::string::npos &&
        step > 0 && changes[step - 1].starts_with("write "))
      continue;
    SCOPED_TRACE(std::to_string(step) + ": " + changes[step]);
    fs_.files = saved;
    KillAt(step);
    Generate(2);
    const bool journalLeft = fs_.Exists(JournalPath(folder_));
    Restart();
    std::string told = Recover();
    EXPECT_EQ(told.empty(), !journalLeft) << told;
    const std::vector<Bytes> now = AllWtd();
    EXPECT_TRUE(now == old || now == fresh);
    finished += now == fresh && journalLeft;
    undone += now == old && journalLeft;
    EXPECT_TRUE(AllBackups() == originals);
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
  }
  // The kills among the replacements were finished.
  EXPECT_GE(finished, 3);
  EXPECT_EQ(undone, 0);
}

TEST_F(InterruptedRunTest, TheNextGenerationTellsWhatItFinished) {
  ASSERT_EQ(Generate(1), GenerationOutcome::Generated);
  // Killed at the replacement of TLAD.
  KillAtReplacementOf(Episode::TLAD);
  Generate(2);
  Restart();
  ASSERT_EQ(Generate(3), GenerationOutcome::Generated);
  ASSERT_EQ(messages_.messages.size(), 3u);
  EXPECT_EQ(messages_.messages.back().text,
            "上次生成在替换 TLAD 前中断，已完成替换 (IV、TBoGT、TLAD "
            "均已是新贴图)\n\n生成成功");
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

// What only looks (detect, the dialog) settles a journal too, but never the
// one of a run that holds the folder, and touches nothing without one.
TEST_F(InterruptedRunTest, LookingSettlesOnlyWhenNoRunHoldsTheFolder) {
  ASSERT_EQ(Generate(1), GenerationOutcome::Generated);
  fs_.log.clear();
  EXPECT_EQ(FinishInterruptedRunIfIdle(fs_, folder_), "");
  EXPECT_EQ(fs_.log, std::vector<std::string>{});
  KillAtReplacementOf(Episode::TLAD);
  Generate(2);
  Restart();
  const auto killed = fs_.files;
  {
    auto running = LockGameFolder(fs_, folder_);
    EXPECT_EQ(FinishInterruptedRunIfIdle(fs_, folder_), "");
    EXPECT_TRUE(fs_.files == killed);
  }
  EXPECT_NE(FinishInterruptedRunIfIdle(fs_, folder_), "");
  EXPECT_FALSE(fs_.Exists(JournalPath(folder_)));
}

// A new file lost after the kill (a disk check, another tool) cannot be put
// in place: every file goes back to how it was before the run.
TEST_F(InterruptedRunTest, ALostNewFileUndoesTheWholeRun) {
  ASSERT_EQ(Generate(1), GenerationOutcome::Generated);
  const std::vector<Bytes> old = AllWtd();
  KillAtReplacementOf(Episode::TBoGT);
  Generate(2);
  Restart();
  const std::string tlad = Wtd(Episode::TLAD).generic_string() + ".karstel-";
  std::erase_if(fs_.files, [&](const auto& file) {
    return file.first.starts_with(tlad) && file.first.ends_with(".tmp");
  });
  EXPECT_EQ(
      Recover(),
      "上次生成在替换游戏文件时中断，且新文件已不全，已将 IV、TBoGT、TLAD "
      "还原为那次生成前的状态");
  EXPECT_TRUE(AllWtd() == old);
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

// A failure at the second replacement puts the first back as it was right
// before this run (not as the first backup has it), and says that nothing
// changed; an undo that fails too says which file holds what, and the next
// run finishes it.
TEST_F(InterruptedRunTest, AFailedReplacementIsUndone) {
  const std::vector<Bytes> originals = AllWtd();
  ASSERT_EQ(Generate(1), GenerationOutcome::Generated);
  const std::vector<Bytes> old = AllWtd();
  const std::string tbogt = Wtd(Episode::TBoGT).generic_string();
  const std::string ivBefore =
      BeforeRunPathFor(Wtd(Episode::IV)).generic_string();
  for (std::uint32_t error :
       {1117u /* EIO */, 5u /* EACCES */, 17u /* EXDEV */, 112u /* ENOSPC */}) {
    SCOPED_TRACE(error);
    fs_.beforeChange = [&](const std::string& change) {
      if (change.starts_with("replace ") && change.ends_with(" " + tbogt))
        THROW_HR(common::HresultFromWin32(error));
    };
    EXPECT_EQ(Generate(2), GenerationOutcome::Failed);
    EXPECT_TRUE(AllWtd() == old);
    EXPECT_TRUE(AllBackups() == originals);
    EXPECT_NE(messages_.details.back().find("没有更改任何游戏文件。"),
              std::string::npos)
        << messages_.details.back();
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
  }

  fs_.beforeChange = [&](const std::string& change) {
    if (change.starts_with("replace ") &&
        (change.ends_with(" " + tbogt) ||
         change.starts_with("replace " + ivBefore + " ")))
      THROW_HR(common::kEAccessDenied);
  };
  EXPECT_EQ(Generate(2), GenerationOutcome::Failed);
  ASSERT_TRUE(failure_);
  EXPECT_EQ(failure_->replaced, std::vector<Episode>{Episode::IV});
  EXPECT_NE(messages_.details.back().find(
                "IV 仍是这次生成的新文件，生成前的文件保存在 " +
                common::PathToUtf8(BeforeRunPathFor(Wtd(Episode::IV)))),
            std::string::npos)
      << messages_.details.back();
  fs_.beforeChange = {};
  EXPECT_EQ(Recover(),
            "上次生成失败后未能撤销完，已将 IV、TBoGT、TLAD "
            "还原为那次生成前的状态");
  EXPECT_TRUE(AllWtd() == old);
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

// What killed runs leave of their own naming goes at the next run: the
// temporaries of each file, of its backup beside an existing backup, of its
// copy from before a run and of the journal, and such copies themselves.
TEST_F(InterruptedRunTest, LeftoversOfKilledRunsAreRemoved) {
  ASSERT_EQ(Generate(1), GenerationOutcome::Generated);
  const std::string wtd = Wtd(Episode::TBoGT).generic_string();
  for (const std::string& name :
       {wtd + ".karstel-77-0.tmp", wtd + ".karstel-backup.karstel-77-1.tmp",
        wtd + ".karstel-before.karstel-77-2.tmp", wtd + ".karstel-before",
        JournalPath(folder_).generic_string() + ".karstel-77-3.tmp"})
    fs_.Put(name, test::SmallFontsWtd(5));
  fs_.earlierRunsGone = true;
  EXPECT_EQ(Recover(), "");
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

// The journal is outside data: anything but what the program writes is
// refused, with the player told, and no file is touched.
TEST(ReplacementJournalTest, ReadsWhatItWritesAndRefusesAnythingElse) {
  Journal journal;
  journal.entries = {{Episode::IV, "fonts.wtd.karstel-12-0.tmp", true},
                     {Episode::TLAD, "fonts.wtd.karstel-12-1.tmp", false}};
  const std::string text = EncodeJournal(journal);
  Journal read = DecodeJournal(text);
  EXPECT_EQ(EncodeJournal(read), text);
  journal.state = JournalState::Undoing;
  EXPECT_EQ(DecodeJournal(EncodeJournal(journal)).state, JournalState::Undoing);

  const std::string head = "Karstel journal 1\nreplacing\n";
  const std::string damaged[] = {
      "",
      text.substr(0, text.size() - 1),
      text.substr(0, text.size() / 2),
      head + "end\n",
      head +
          "IV fonts.wtd.karstel-1-0.tmp backup\nIV "
          "fonts.wtd.karstel-1-1.tmp before\nend\n",
      head + "GTA5 fonts.wtd.karstel-1-0.tmp backup\nend\n",
      head + "IV fonts.wtd.karstel-1-0.tmp kept\nend\n",
      head + "IV  fonts.wtd.karstel-1-0.tmp backup\nend\n",
      std::string("Karstel journal 2\nreplacing\n") +
          "IV fonts.wtd.karstel-1-0.tmp backup\nend\n",
      "Karstel journal 1\npaused\nIV fonts.wtd.karstel-1-0.tmp backup\nend\n",
      head + "IV fonts.wtd.karstel-1-0.tmp backup\r\nend\n",
      head + std::string(5000, 'x') + "\nend\n",
  };
  for (const std::string& bad : damaged)
    EXPECT_EQ(test::CodeOf([&] { DecodeJournal(bad); }), kJournalDamaged)
        << bad;
  const std::string elsewhere[] = {
      "../../../etc/passwd", "fonts.wtd.karstel-1-0.tmp/../../x", "fonts.wtd",
      "fonts.wtd.karstel-backup", "/fonts.wtd.karstel-1-0.tmp"};
  for (const std::string& name : elsewhere)
    EXPECT_EQ(test::CodeOf([&] {
                DecodeJournal(head + "TBoGT " + name + " before\nend\n");
              }),
              kJournalDamaged)
        << name;
}

TEST_F(InterruptedRunTest, ADamagedJournalIsRefusedAndNothingTouched) {
  ASSERT_EQ(Generate(1), GenerationOutcome::Generated);
  fs_.Put(JournalPath(folder_), testutil::BytesOf("Karstel journal 1\nrepl"));
  const auto before = fs_.files;
  EXPECT_EQ(Generate(2), GenerationOutcome::Failed);
  EXPECT_NE(messages_.details.back().find("karstel.journal 已损坏"),
            std::string::npos)
      << messages_.details.back();
  EXPECT_TRUE(fs_.files == before);
}

}  // namespace
}  // namespace app
