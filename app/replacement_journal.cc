#include "app/replacement_journal.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "app/game_folder_lock.h"
#include "app/original_backup.h"
#include "common/result.h"
#include "common/text.h"
#include "resource/resource_file.h"

namespace app {
namespace {

constexpr std::string_view kFirstLine = "Karstel journal 1";
constexpr std::string_view kLastLine = "end";
// Three lines of a few dozen bytes each: anything much larger is no journal.
constexpr std::size_t kLargestJournal = 4096;

constexpr char kDamaged[] =
    "游戏目录中的 karstel.journal 已损坏，无法判断上次中断的生成替换到了哪里；"
    "为安全起见未更改任何文件。请检查各版本的 fonts.wtd 后删除它";
constexpr char kNamesOtherFiles[] =
    "游戏目录中的 karstel.journal 指向 Karstel 不会写入的文件 (可能在游戏目录"
    "之外)；为安全起见未更改任何文件。请检查后删除它";
constexpr char kNotRegular[] =
    "游戏目录中的 karstel.journal 不是普通文件 (可能是链接)；为安全起见未更改"
    "任何文件。请检查后删除它";

std::string Utf8Name(const common::Path& name) {
  std::u8string text = name.u8string();
  return std::string(text.begin(), text.end());
}

[[noreturn]] void Refuse(const char* words) {
  THROW_HR_MSG(kJournalDamaged, words);
}

std::optional<Episode> EpisodeNamed(std::string_view name) {
  for (Episode episode : kEpisodeOrder)
    if (EpisodeName(episode) == name) return episode;
  return std::nullopt;
}

// Splits "a b c" at single spaces.
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    std::size_t space = line.find(' ', start);
    fields.push_back(line.substr(start, space - start));
    if (space == std::string_view::npos) return fields;
    start = space + 1;
  }
}

bool Exists(common::FileSystem& fs, const common::Path& path) {
  return fs.EntryKindOf(path) == common::EntryKind::RegularFile;
}

// Whether two files hold the same bytes, read in fixed chunks.
bool SameContent(common::FileSystem& fs, const common::Path& a,
                 const common::Path& b) {
  auto first = fs.OpenForReadNoFollow(a);
  auto second = fs.OpenForReadNoFollow(b);
  if (first->Size() != second->Size()) return false;
  std::vector<std::byte> x(1 << 20), y(1 << 20);
  for (;;) {
    std::size_t got = first->Read(x);
    if (got == 0) return true;
    common::ReadExactly(*second, std::span(y).first(got));
    if (std::memcmp(x.data(), y.data(), got) != 0) return false;
  }
}

// A finished new file that the game can load: the run flushed it before it
// wrote the journal, but the disk may have lost it since.
bool Loads(common::FileSystem& fs, const common::Path& path) {
  try {
    auto file = fs.OpenForReadNoFollow(path);
    resource::LoadResource(*file);
    return true;
  } catch (...) {
    LOG_CAUGHT_EXCEPTION();
    return false;
  }
}

std::string Names(const Journal& journal, std::size_t from) {
  std::string names;
  for (std::size_t i = from; i < journal.entries.size(); ++i)
    names += (names.empty() ? "" : "、") +
             std::string(EpisodeName(journal.entries[i].episode));
  return names;
}

}  // namespace

common::Path JournalPath(const common::Path& gameFolder) {
  return AppendPath(gameFolder, "karstel.journal");
}

std::string EncodeJournal(const Journal& journal) {
  std::string text(kFirstLine);
  text += journal.state == JournalState::Replacing ? "\nreplacing\n"
                                                   : "\nundoing\n";
  for (const JournalEntry& entry : journal.entries)
    text += std::string(EpisodeName(entry.episode)) + " " +
            Utf8Name(entry.newFile) + " " +
            (entry.keptInBackup ? "backup" : "before") + "\n";
  text += kLastLine;
  text += "\n";
  return text;
}

Journal DecodeJournal(std::string_view text) {
  if (text.size() > kLargestJournal || !text.ends_with('\n')) Refuse(kDamaged);
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  // The first line, the state, one line per file (at least one, at most one
  // per variant) and the last.
  if (lines.size() < 4 || lines.size() > 3 + kEpisodeOrder.size() ||
      lines.front() != kFirstLine || lines.back() != kLastLine)
    Refuse(kDamaged);
  Journal journal;
  if (lines[1] == "undoing")
    journal.state = JournalState::Undoing;
  else if (lines[1] != "replacing")
    Refuse(kDamaged);
  const std::string wtdName = Utf8Name(FontsWtdPath(Episode::IV).filename());
  for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
    std::vector<std::string_view> fields = Fields(lines[i]);
    if (fields.size() != 3) Refuse(kDamaged);
    std::optional<Episode> episode = EpisodeNamed(fields[0]);
    if (!episode || (fields[2] != "backup" && fields[2] != "before"))
      Refuse(kDamaged);
    for (const JournalEntry& earlier : journal.entries)
      if (earlier.episode == *episode) Refuse(kDamaged);
    // Only a temporary beside the variant's fonts.wtd: its name has no
    // separator and no "..", whatever else it holds.
    if (!common::TemporaryWriterOf(fields[1], wtdName))
      Refuse(kNamesOtherFiles);
    journal.entries.push_back(
        {*episode, common::PathFromUtf8(fields[1]), fields[2] == "backup"});
  }
  return journal;
}

common::Path WtdOf(const common::Path& gameFolder, const JournalEntry& entry) {
  return AppendPath(gameFolder, FontsWtdPath(entry.episode));
}

common::Path NewFileOf(const common::Path& gameFolder,
                       const JournalEntry& entry) {
  return WtdOf(gameFolder, entry).parent_path() / entry.newFile;
}

common::Path BeforeRunOf(const common::Path& gameFolder,
                         const JournalEntry& entry) {
  common::Path wtd = WtdOf(gameFolder, entry);
  return entry.keptInBackup ? BackupPathFor(wtd) : BeforeRunPathFor(wtd);
}

void WriteJournal(common::FileSystem& fs, const common::Path& gameFolder,
                  const Journal& journal) {
  const std::string text = EncodeJournal(journal);
  common::WriteFileAtomically(
      fs, JournalPath(gameFolder), [&](common::OutputFile& out) {
        common::WriteExactly(out, std::as_bytes(std::span(text)));
      });
}

UndoOutcome UndoRun(common::FileSystem& fs, const common::Path& gameFolder,
                    Journal journal, std::optional<std::size_t> replaced) {
  UndoOutcome outcome;
  // From here on, a run that finds the journal undoes too: the new files of
  // the files not replaced may go.
  if (journal.state != JournalState::Undoing) {
    journal.state = JournalState::Undoing;
    try {
      WriteJournal(fs, gameFolder, journal);
    } catch (...) {
      // The journal as it was still leads a later run to the same end
      // while the new files exist, which they do until the undo below.
      LOG_CAUGHT_EXCEPTION();
    }
  }
  for (std::size_t i = 0; i < journal.entries.size(); ++i) {
    const JournalEntry& entry = journal.entries[i];
    const common::Path wtd = WtdOf(gameFolder, entry);
    const common::Path before = BeforeRunOf(gameFolder, entry);
    try {
      if (replaced && i >= *replaced) {
        // Never replaced: the file is as it was; its copy is not needed.
        fs.RemoveFile(before);
      } else if (Exists(fs, before)) {
        fs.ReplaceFile(before, wtd);
        // A copy that shares the file's bytes may be left by the replace.
        fs.RemoveFile(before);
      }
    } catch (...) {
      outcome.stillNew.emplace_back(entry.episode, LOG_CAUGHT_EXCEPTION());
    }
  }
  if (!outcome.complete()) return outcome;
  for (const JournalEntry& entry : journal.entries)
    fs.RemoveFile(NewFileOf(gameFolder, entry));
  fs.RemoveFile(JournalPath(gameFolder));
  return outcome;
}

std::string FinishInterruptedRun(common::FileSystem& fs,
                                 const common::Path& gameFolder) {
  const common::Path path = JournalPath(gameFolder);
  switch (fs.EntryKindOf(path)) {
    case common::EntryKind::Absent:
      return {};
    case common::EntryKind::RegularFile:
      break;
    default:
      Refuse(kNotRegular);
  }
  std::string text;
  {
    auto file = fs.OpenForReadNoFollow(path);
    if (file->Size() > kLargestJournal) Refuse(kDamaged);
    text.resize(static_cast<std::size_t>(file->Size()));
    common::ReadExactly(*file, std::as_writable_bytes(std::span(text)));
  }
  Journal journal = DecodeJournal(text);
  const std::size_t count = journal.entries.size();

  // The replacements went in order, and each took its new file away. A new
  // file gone from a variant that still holds its old bytes was lost, not
  // put in place: the run cannot be finished then.
  std::size_t firstLeft = count;
  bool finishable = journal.state == JournalState::Replacing;
  for (std::size_t i = 0; i < count && finishable; ++i) {
    const JournalEntry& entry = journal.entries[i];
    const common::Path before = BeforeRunOf(gameFolder, entry);
    if (Exists(fs, NewFileOf(gameFolder, entry))) {
      firstLeft = std::min(firstLeft, i);
      finishable = Loads(fs, NewFileOf(gameFolder, entry));
    } else {
      const common::Path wtd = WtdOf(gameFolder, entry);
      finishable =
          firstLeft == count && !(Exists(fs, before) && Exists(fs, wtd) &&
                                  SameContent(fs, before, wtd));
    }
  }
  if (!finishable) {
    const bool undoing = journal.state == JournalState::Undoing;
    UndoOutcome undo = UndoRun(fs, gameFolder, journal, std::nullopt);
    const std::string what =
        undoing ? "上次生成失败后未能撤销完"
                : "上次生成在替换游戏文件时中断，且新文件已不全";
    if (!undo.complete()) {
      std::string names;
      for (const auto& [episode, hr] : undo.stillNew)
        names +=
            (names.empty() ? "" : "、") + std::string(EpisodeName(episode));
      THROW_HR_MSG(undo.stillNew.front().second,
                   what + "，现在也无法全部还原: " + names +
                       " 仍是那次生成的新文件，下次运行时会再试");
    }
    return what + "，已将 " + Names(journal, 0) + " 还原为那次生成前的状态";
  }
  for (std::size_t i = firstLeft; i < count; ++i)
    fs.ReplaceFile(NewFileOf(gameFolder, journal.entries[i]),
                   WtdOf(gameFolder, journal.entries[i]));
  fs.RemoveFile(path);
  for (const JournalEntry& entry : journal.entries)
    if (!entry.keptInBackup) fs.RemoveFile(BeforeRunOf(gameFolder, entry));
  if (firstLeft == count)
    return "上次生成在替换全部完成后、清理前中断，" + Names(journal, 0) +
           " 均已是新贴图，已清理";
  return "上次生成在替换 " +
         std::string(EpisodeName(journal.entries[firstLeft].episode)) +
         " 前中断，已完成替换 (" + Names(journal, 0) + " 均已是新贴图)";
}

std::string FinishInterruptedRunIfIdle(common::FileSystem& fs,
                                       const common::Path& gameFolder) {
  if (fs.EntryKindOf(JournalPath(gameFolder)) == common::EntryKind::Absent)
    return {};
  auto lock = fs.LockExclusive(GameFolderLockPath(gameFolder),
                               std::chrono::milliseconds(0));
  if (!lock) return {};
  std::string told = FinishInterruptedRun(fs, gameFolder);
  RemoveLeftovers(fs, gameFolder);
  return told;
}

void RemoveLeftovers(common::FileSystem& fs, const common::Path& gameFolder) {
  for (Episode episode : kEpisodeOrder) {
    const common::Path wtd = AppendPath(gameFolder, FontsWtdPath(episode));
    const common::Path before = BeforeRunPathFor(wtd);
    fs.RemoveAbandonedTemporaries(wtd);
    fs.RemoveAbandonedTemporaries(BackupPathFor(wtd));
    fs.RemoveAbandonedTemporaries(before);
    try {
      if (Exists(fs, before)) fs.RemoveFile(before);
    } catch (...) {
      LOG_CAUGHT_EXCEPTION();  // only tidying
    }
  }
  fs.RemoveAbandonedTemporaries(JournalPath(gameFolder));
}

}  // namespace app
