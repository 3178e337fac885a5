// `karstel restore` deciding whether a backup may replace fonts.wtd: it is
// put back byte for byte only when it loads as a resource; otherwise both
// files stay as they were. Nothing else may happen on a file system that
// never fails.
#include "app/original_backup.h"
#include "common/memory_file_system.h"
#include "fuzz/fuzz_util.h"
#include "resource/resource_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const common::Path wtd = "pc/textures/fonts.wtd";
  const fuzz::Bytes current = {std::byte{'R'}, std::byte{'S'}, std::byte{'C'}};
  const fuzz::Bytes backup = fuzz::BytesOf(data, size);
  common::MemoryFileSystem fs;
  fs.Put(wtd, current);
  fs.Put(app::BackupPathFor(wtd), backup);
  bool loads = true;
  try {
    resource::LoadResource(*fs.OpenForRead(app::BackupPathFor(wtd)));
  } catch (const common::ResultException&) {
    loads = false;
  }
  app::RestoreOutcome outcome = app::RestoreOriginal(fs, wtd);
  if (loads) {
    fuzz::Check(outcome == app::RestoreOutcome::Restored,
                "a loadable backup is restored");
    fuzz::Check(fs.Get(wtd) == backup, "byte for byte");
    fuzz::Check(fs.files.size() == 1, "and the backup is gone");
  } else {
    fuzz::Check(outcome == app::RestoreOutcome::DamagedBackup,
                "a backup that does not load is refused");
    fuzz::Check(fs.Get(wtd) == current &&
                    fs.Get(app::BackupPathFor(wtd)) == backup &&
                    fs.files.size() == 2,
                "and nothing changes");
  }
  return 0;
}
