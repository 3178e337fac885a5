#include "app/game_folder_lock.h"

#include "app/episode.h"
#include "common/result.h"

namespace app {

common::Path GameFolderLockPath(const common::Path& gameFolder) {
  return AppendPath(gameFolder, "karstel.lock");
}

std::unique_ptr<common::FileLock> LockGameFolder(
    common::FileSystem& fs, const common::Path& gameFolder) {
  auto lock =
      fs.LockExclusive(GameFolderLockPath(gameFolder), kGameFolderLockWait);
  THROW_HR_IF(common::kFolderBusy, !lock);
  return lock;
}

}  // namespace app
