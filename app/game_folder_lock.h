// Generation, backup and restore of one game folder exclude each other: a
// restore between a generation's backup check and its replace would take
// away the only copy of the original.
#pragma once

#include <chrono>
#include <memory>

#include "common/file_system.h"

namespace app {

/// The file the lock is held on: "karstel.lock" in the game folder, there
/// only while a run holds it.
common::Path GameFolderLockPath(const common::Path& gameFolder);

/// How long a run waits for another run on the same folder.
inline constexpr std::chrono::seconds kGameFolderLockWait{5};

/// Takes the folder's lock, waiting up to kGameFolderLockWait for another
/// run to finish. Throws kFolderBusy when it still holds the lock, and the
/// failure when the lock file cannot be made.
std::unique_ptr<common::FileLock> LockGameFolder(
    common::FileSystem& fs, const common::Path& gameFolder);

}  // namespace app
