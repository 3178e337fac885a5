#include "app/original_backup.h"

#include <vector>

#include "common/result.h"
#include "resource/patch.h"
#include "resource/resource_file.h"

namespace app {
namespace {

// Copies in fixed chunks: the file is not needed in memory as a whole. The
// copy takes the owner, group and mode of `like`.
void CopyFile(common::FileSystem& fs, common::InputFile& source,
              const common::Path& to, const common::Path& like) {
  common::WriteFileAtomically(
      fs, to,
      [&](common::OutputFile& out) {
        std::vector<std::byte> chunk(1 << 20);
        while (std::size_t got = source.Read(chunk))
          common::WriteExactly(out, std::span(chunk).first(got));
      },
      like);
}

}  // namespace

common::Path BackupPathFor(const common::Path& wtd) {
  common::Path backup = wtd;
  backup += ".karstel-backup";
  return backup;
}

common::Path BeforeRunPathFor(const common::Path& wtd) {
  common::Path copy = wtd;
  copy += ".karstel-before";
  return copy;
}

void KeepBeforeRun(common::FileSystem& fs, const common::Path& wtd) {
  const common::Path copy = BeforeRunPathFor(wtd);
  // A second name of the file costs no copy of its bytes: the replacement
  // that follows gives `wtd` a new file and leaves this one as it was.
  fs.RemoveFile(copy);
  if (fs.LinkFile(wtd, copy)) return;
  auto source = fs.OpenForRead(wtd);
  CopyFile(fs, *source, copy, wtd);
}

bool KeepOriginalOnce(common::FileSystem& fs, const common::Path& wtd) {
  common::Path backup = BackupPathFor(wtd);
  switch (fs.EntryKindOf(backup)) {
    case common::EntryKind::RegularFile:
      return false;
    case common::EntryKind::Folder:
    case common::EntryKind::Other:
      // Only this program writes that name, and only as a regular file: a
      // link there was planted, and would either pass for the original or
      // send `restore` to its target.
      THROW_HR(common::kNotRegularFile);
    case common::EntryKind::Absent:
      break;
  }
  auto source = fs.OpenForRead(wtd);
  // The backup is as private as the original: the player's, with its mode,
  // even when an administrator runs the generation.
  CopyFile(fs, *source, backup, wtd);
  return true;
}

RestoreOutcome RestoreOriginal(common::FileSystem& fs,
                               const common::Path& wtd) {
  common::Path backup = BackupPathFor(wtd);
  switch (fs.EntryKindOf(backup)) {
    case common::EntryKind::Absent:
      return RestoreOutcome::NoBackup;
    case common::EntryKind::Folder:
    case common::EntryKind::Other:
      return RestoreOutcome::BackupNotRegular;
    case common::EntryKind::RegularFile:
      break;
  }
  {
    // A backup that cannot be opened is a failure of the disk and is
    // thrown; one that a generation would refuse to read (a container that
    // does not load, pointers or blocks that inspect and generate refuse)
    // is refused: the game would fare no better with it.
    auto file = fs.OpenForReadNoFollow(backup);
    try {
      resource::FontPatch(resource::LoadResource(*file)).Apply(nullptr);
    } catch (const common::ResultException&) {
      LOG_CAUGHT_EXCEPTION();
      return RestoreOutcome::DamagedBackup;
    }
  }
  auto source = fs.OpenForReadNoFollow(backup);
  // A fonts.wtd the player removed comes back as private as its backup.
  const bool wtdGone = fs.EntryKindOf(wtd) == common::EntryKind::Absent;
  CopyFile(fs, *source, wtd, wtdGone ? backup : wtd);
  source.reset();
  fs.RemoveFile(backup);
  return RestoreOutcome::Restored;
}

}  // namespace app
