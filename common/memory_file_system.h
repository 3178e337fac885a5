// An in-memory FileSystem for tests: files live in a map, every operation is
// recorded, and writes can be made to fail part-way.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/file_system.h"
#include "common/hresult.h"

namespace common {

class MemoryFileSystem final : public FileSystem {
 public:
  using Bytes = std::vector<std::byte>;

  std::unique_ptr<InputFile> OpenForRead(const Path& path) override;
  /// Memory holds no links: the same as OpenForRead.
  std::unique_ptr<InputFile> OpenForReadNoFollow(const Path& path) override {
    return OpenForRead(path);
  }
  /// Memory holds no links: the same as StatusOf.
  EntryKind EntryKindOf(const Path& path) override { return StatusOf(path); }
  /// A file, a folder made by CreateFolders, or any folder above a file.
  EntryKind StatusOf(const Path& path) override;
  /// A file in the way throws ERROR_ALREADY_EXISTS.
  void CreateFolders(const Path& folder) override;
  /// A folder that does not exist throws ERROR_PATH_NOT_FOUND.
  std::vector<FolderEntry> ListFolder(const Path& folder) override;
  /// Memory holds no links: the name without "." and "..".
  Path CanonicalPath(const Path& path) override;
  std::unique_ptr<OutputFile> CreateForWrite(const Path& path) override;
  void ReplaceFile(const Path& from, const Path& to) override;
  void RemoveFile(const Path& path) noexcept override;
  /// Memory holds no links: always false.
  bool LinkFile(const Path&, const Path&) noexcept override { return false; }
  /// Removes the temporaries of runs that were killed, once the test says
  /// so with earlierRunsGone: memory knows no processes.
  void RemoveAbandonedTemporaries(const Path& destination) noexcept override;

  /// Never waits: a lock that is held is refused at once.
  std::unique_ptr<FileLock> LockExclusive(const Path& path,
                                          std::chrono::milliseconds) override;

  void Put(const Path& path, Bytes content) {
    files[Key(path)] = std::move(content);
  }
  bool Exists(const Path& path) const { return files.count(Key(path)) != 0; }
  const Bytes& Get(const Path& path) const { return files.at(Key(path)); }

  /// path (generic form) -> content.
  std::map<std::string, Bytes> files;
  /// Folders made by CreateFolders (generic form); the folders above a file
  /// exist without being listed here.
  std::set<std::string> folders;
  /// Folders (generic form) where nothing may be created, replaced or
  /// removed: each such call throws ERROR_ACCESS_DENIED, as for a folder the
  /// user may not write.
  std::set<std::string> readOnlyFolders;
  /// The paths of the locks held.
  std::set<std::string> locks;
  /// One line per operation: "read P", "create P", "replace A B", "remove P",
  /// "lock P".
  std::vector<std::string> log;
  /// When set, writes store at most this many bytes in all; the write that
  /// crosses the limit stores what fits and reports a short count.
  std::optional<std::size_t> writeLimit;
  /// When set, a write past writeLimit throws this code instead.
  HRESULT writeFailure = 0;
  /// When set, ReplaceFile throws this code.
  HRESULT replaceFailure = 0;
  std::size_t bytesWritten = 0;
  /// Hears each change as it is about to happen ("create P", "write P",
  /// "flush P", "replace A B", "remove P", "mkdir P"); a throw stops it.
  /// With `frozen`, a test kills a run at a chosen step.
  std::function<void(const std::string& change)> beforeChange;
  /// Nothing more reaches the files, as after the process was killed: every
  /// change throws E_FAIL, and removals are ignored.
  bool frozen = false;
  /// The temporaries found are those of a killed run, which
  /// RemoveAbandonedTemporaries then removes.
  bool earlierRunsGone = false;
  /// Tells beforeChange of a change; throws E_FAIL when frozen.
  void Change(const std::string& line);

  /// Held by every operation and by the files' writes: a generation reads
  /// the next variant's file on another thread while it writes this one.
  std::unique_lock<std::recursive_mutex> Guard() const {
    return std::unique_lock(mutex_);
  }

 private:
  mutable std::recursive_mutex mutex_;
  static std::string Key(const Path& path) { return path.generic_string(); }
  bool IsFolder(const std::string& key) const;
  void CheckWritable(const Path& path) const;
};

}  // namespace common
