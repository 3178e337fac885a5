// An in-memory FileSystem for tests: files live in a map, every operation is
// recorded, and writes can be made to fail part-way.
#pragma once

#include <map>
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
  EntryKind EntryKindOf(const Path& path) override {
    return Exists(path) ? EntryKind::RegularFile : EntryKind::Absent;
  }
  std::unique_ptr<OutputFile> CreateForWrite(const Path& path) override;
  void ReplaceFile(const Path& from, const Path& to) override;
  void RemoveFile(const Path& path) noexcept override;
  /// Memory has no other runs to leave files behind.
  void RemoveAbandonedTemporaries(const Path&) noexcept override {}

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

 private:
  static std::string Key(const Path& path) { return path.generic_string(); }
};

}  // namespace common
