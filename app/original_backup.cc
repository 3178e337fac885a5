#include "app/original_backup.h"

#include <vector>

#include "app/game_folder.h"
#include "common/result.h"
#include "resource/resource_file.h"

namespace app {
namespace {

// Copies in fixed chunks: the file is not needed in memory as a whole.
void CopyFile(common::FileSystem& fs, const common::Path& from,
              const common::Path& to) {
  auto source = fs.OpenForRead(from);
  common::WriteFileAtomically(fs, to, [&](common::OutputFile& out) {
    std::vector<std::byte> chunk(1 << 20);
    while (std::size_t got = source->Read(chunk))
      common::WriteExactly(out, std::span(chunk).first(got));
  });
}

}  // namespace

common::Path BackupPathFor(const common::Path& wtd) {
  common::Path backup = wtd;
  backup += ".karstel-backup";
  return backup;
}

bool KeepOriginalOnce(common::FileSystem& fs, const common::Path& wtd) {
  common::Path backup = BackupPathFor(wtd);
  if (IsRegularFile(backup)) return false;
  CopyFile(fs, wtd, backup);
  return true;
}

RestoreOutcome RestoreOriginal(common::FileSystem& fs,
                               const common::Path& wtd) {
  common::Path backup = BackupPathFor(wtd);
  if (!IsRegularFile(backup)) return RestoreOutcome::NoBackup;
  {
    // A backup that cannot be opened is a failure of the disk and is
    // thrown; one whose content does not load is refused.
    auto file = fs.OpenForRead(backup);
    try {
      resource::LoadResource(*file);
    } catch (const common::ResultException&) {
      LOG_CAUGHT_EXCEPTION();
      return RestoreOutcome::DamagedBackup;
    }
  }
  CopyFile(fs, backup, wtd);
  fs.RemoveFile(backup);
  return RestoreOutcome::Restored;
}

}  // namespace app
