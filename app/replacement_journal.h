// A generation replaces up to three fonts.wtd files one after another; a kill
// or a power cut between two replacements would leave the variants mixed,
// some with the new texture and some with the old. So the replacements are
// one commit, as a database makes one of a transaction over several files:
// before the first replacement a journal in the game folder names every file
// of the run, with its finished new file and a copy of the file as it was
// before the run; it is removed after the last. A later run that finds it
// finishes the replacements, or puts every file back as it was, before it
// does anything else.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/episode.h"
#include "common/file_system.h"
#include "common/hresult.h"

namespace app {

/// One file of a run.
struct JournalEntry {
  Episode episode = Episode::IV;
  /// The name of the finished new file beside the variant's fonts.wtd, as
  /// WriteFileAtomically names its temporaries.
  common::Path newFile;
  /// The file as it was before the run is kept in its backup, written by
  /// this run because there was none, rather than in BeforeRunPathFor.
  bool keptInBackup = false;
};

enum class JournalState {
  Replacing,  ///< the new files are going in place, in order
  Undoing,    ///< every file is going back to how it was before the run
};

struct Journal {
  JournalState state = JournalState::Replacing;
  std::vector<JournalEntry> entries;
};

/// "karstel.journal" in the game folder.
common::Path JournalPath(const common::Path& gameFolder);

/// The journal as it is stored: a few lines of text.
std::string EncodeJournal(const Journal& journal);

/// A journal that does not read back as EncodeJournal wrote it.
inline constexpr HRESULT kJournalDamaged = common::HresultFromWin32(1392);

/// Reads a stored journal. Anything else than what EncodeJournal writes
/// (damaged, cut short, one variant twice, a name that is no new file beside
/// a fonts.wtd, which could lead outside the game folder) throws
/// kJournalDamaged, with the words for the player as its message.
Journal DecodeJournal(std::string_view text);

/// The paths an entry names under `gameFolder`.
common::Path WtdOf(const common::Path& gameFolder, const JournalEntry& entry);
common::Path NewFileOf(const common::Path& gameFolder,
                       const JournalEntry& entry);
common::Path BeforeRunOf(const common::Path& gameFolder,
                         const JournalEntry& entry);

/// Stores the journal durably (written, flushed, put in place, its folder
/// flushed) before the caller goes on.
void WriteJournal(common::FileSystem& fs, const common::Path& gameFolder,
                  const Journal& journal);

/// What became of each file when a run was undone.
struct UndoOutcome {
  /// The variants still holding the run's new file, with why each could
  /// not be put back; empty when every file is as it was before the run.
  std::vector<std::pair<Episode, HRESULT>> stillNew;
  bool complete() const { return stillNew.empty(); }
};

/// Puts every file of the run back as it was before it, from the copies
/// the journal names, then removes those copies, the new files and, once
/// every file is back, the journal. `replaced` is how many files the run
/// put in place, where the run itself knows it; where it does not, every
/// file is put back from its copy. Where a file cannot be put back its copy
/// stays, and so does the journal, which then says Undoing: the next run
/// tries again. Throws nothing.
UndoOutcome UndoRun(common::FileSystem& fs, const common::Path& gameFolder,
                    Journal journal, std::optional<std::size_t> replaced);

/// Looks for the journal of an interrupted run and settles it; call with the
/// folder's lock held. Returns one line for the player saying what was
/// found and done, empty when there was no journal. Finishes the
/// replacements from the finished new files; where one of those is gone
/// (or the journal says Undoing), puts every file back as it was before the
/// run. A journal that is damaged, or anything but a regular file, is
/// refused: kJournalDamaged is thrown with the words for the player, and
/// nothing is touched. Throws the failure of a file that cannot be put in
/// place; the journal then stays for the next run.
std::string FinishInterruptedRun(common::FileSystem& fs,
                                 const common::Path& gameFolder);

/// For what only looks at a folder (detect, the dialog): settles an
/// interrupted run in `gameFolder` as FinishInterruptedRun does, unless there
/// is no journal (nothing is touched then, not even the lock) or another run
/// holds the folder, whose journal is then no interrupted one. Returns the
/// line to tell, empty for nothing; throws as FinishInterruptedRun does.
std::string FinishInterruptedRunIfIdle(common::FileSystem& fs,
                                       const common::Path& gameFolder);

/// Removes what killed runs left in the game folder: temporaries of their
/// own naming whose writer is gone, beside each fonts.wtd, its backup, its
/// copy from before a run and the journal, and such copies, which only a
/// journal still needs. Call with the folder's lock held, after
/// FinishInterruptedRun. Throws nothing.
void RemoveLeftovers(common::FileSystem& fs, const common::Path& gameFolder);

}  // namespace app
