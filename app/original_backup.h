// The undo of a generation: before Karstel first rewrites a fonts.wtd, the
// file as it was is kept beside it, and `karstel restore` puts it back.
#pragma once

#include "common/file_system.h"

namespace app {

/// The backup beside `wtd`: "fonts.wtd.karstel-backup".
common::Path BackupPathFor(const common::Path& wtd);

/// The copy of `wtd` as it was before a generation, kept beside it until the
/// generation has replaced every file or been undone:
/// "fonts.wtd.karstel-before".
common::Path BeforeRunPathFor(const common::Path& wtd);

/// Keeps `wtd` as it is at BeforeRunPathFor, in place of any earlier such
/// copy: as a second name of the file where the file system allows it, else
/// as a copy written atomically with the owner, group and mode of `wtd`.
/// Throws the failure; `wtd` itself is never changed.
void KeepBeforeRun(common::FileSystem& fs, const common::Path& wtd);

/// Copies `wtd` to its backup, written atomically with the owner, group and
/// mode of `wtd`, unless a backup already exists: it then holds the file
/// from before the first generation, which later runs must not replace with
/// their own output. Returns whether a backup was written. Throws
/// kNotRegularFile when the backup's name holds a link, a folder or anything
/// else but a regular file (which is left alone), and the failure when `wtd`
/// cannot be read or the backup cannot be written; `wtd` itself is never
/// changed.
bool KeepOriginalOnce(common::FileSystem& fs, const common::Path& wtd);

enum class RestoreOutcome {
  Restored,  ///< the backup replaced `wtd` and was removed
  NoBackup,  ///< nothing to restore; nothing changed
  /// The backup is no fonts.wtd that a generation would read (a container
  /// that does not load, pointers or blocks that `inspect` refuses);
  /// nothing changed.
  DamagedBackup,
  /// The backup's name holds a link, a folder or another special entry,
  /// which is neither followed nor removed; nothing changed.
  BackupNotRegular,
};

/// Puts the backup of `wtd` in its place, atomically, then removes the
/// backup. A backup that fails the checks a generation makes of a fonts.wtd
/// before it replaces it, or that is no
/// regular file (a link is not followed), is left alone, as is `wtd`. Throws
/// when a file cannot be read or written; `wtd` then keeps its previous bytes
/// and the backup stays.
RestoreOutcome RestoreOriginal(common::FileSystem& fs, const common::Path& wtd);

}  // namespace app
