// The one file layer of the program. Core code reads and writes through these
// interfaces so that tests can swap the disk for memory, record access
// patterns and make writes fail part-way. Operating-system failures are
// thrown as the HRESULT of the matching Win32 error on every platform.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace common {

using Path = std::filesystem::path;

/// A file opened for reading, positioned at its start.
class InputFile {
 public:
  virtual ~InputFile() = default;
  /// Reads up to buffer.size() bytes in one call and returns how many
  /// arrived; 0 means the end of the file. Throws the operating-system error.
  virtual std::size_t Read(std::span<std::byte> buffer) = 0;
  /// The size of the file in bytes.
  virtual std::uint64_t Size() = 0;
};

/// A file opened for writing.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  /// Writes data in one call and returns how many bytes were stored, which
  /// may be fewer than given. Throws the operating-system error.
  virtual std::size_t Write(std::span<const std::byte> data) = 0;
  /// Makes everything written so far durable on the storage device.
  virtual void Flush() = 0;
  /// Gives the file the owner, group and permission bits of `original`
  /// (followed if it is a link), as far as the system permits: only an
  /// administrator may give a file away. Nothing happens when `original`
  /// does not exist, or where replacing a file keeps its attributes anyway.
  virtual void MatchOwnerAndMode(const Path& original) = 0;
  /// Closes the file, reporting a failure of the close itself.
  virtual void Close() = 0;
};

/// An exclusive lock that lasts until it is destroyed.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

/// What a name holds: nothing, a regular file, a folder, or anything else
/// (a link where links are not followed, a pipe, a device).
enum class EntryKind { Absent, RegularFile, Folder, Other };

/// One name in a folder, and what it holds, a link not followed.
struct FolderEntry {
  Path name;  ///< the name alone, without the folder
  EntryKind kind = EntryKind::Absent;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  /// Opens an existing regular file for reading, following a link at the
  /// name; others may read it meanwhile. Never waits for a writer: a pipe,
  /// a device or anything else that is no regular file is refused with
  /// kNotRegularFile, a folder with ERROR_ACCESS_DENIED.
  virtual std::unique_ptr<InputFile> OpenForRead(const Path& path) = 0;
  /// Like OpenForRead, but a link at the name is refused (kNotRegularFile)
  /// rather than followed: for names only this program writes, where a link
  /// can only have been planted.
  virtual std::unique_ptr<InputFile> OpenForReadNoFollow(const Path& path) = 0;
  /// What `path` holds, without following a link at it. Throws the
  /// operating-system error when that cannot be told (a folder on the way
  /// that may not be searched).
  virtual EntryKind EntryKindOf(const Path& path) = 0;
  /// What `path` holds, links followed (a link to nothing is Absent).
  /// Absent too when a name on the way is missing or no folder, or when the
  /// name is invalid or too long; any other failure (a folder on the way
  /// that may not be searched) throws the operating-system error.
  virtual EntryKind StatusOf(const Path& path) = 0;
  /// Creates `folder` and every missing folder above it; nothing when it
  /// exists. Throws the operating-system error: access denied, a full disk,
  /// a file in the way.
  virtual void CreateFolders(const Path& folder) = 0;
  /// The names in `folder` (without "." and ".."), in no set order. Throws
  /// the operating-system error when it cannot be listed.
  virtual std::vector<FolderEntry> ListFolder(const Path& folder) = 0;
  /// The absolute form of `path` with every link resolved and no "." or
  /// ".." left: two names of one file or folder give the same. Throws the
  /// operating-system error, ERROR_FILE_NOT_FOUND for a name that does not
  /// exist.
  virtual Path CanonicalPath(const Path& path) = 0;
  /// Creates a new file for writing. Fails with ERROR_FILE_EXISTS when the
  /// name is taken, by a file or by a link, which is never followed: a file
  /// planted at that name is neither truncated nor written through.
  virtual std::unique_ptr<OutputFile> CreateForWrite(const Path& path) = 0;
  /// Puts `from` in place of `to` in one step; once this returns, the
  /// replacement survives a crash or power loss.
  virtual void ReplaceFile(const Path& from, const Path& to) = 0;
  /// Removes a file if it exists; failures are ignored (cleanup only).
  virtual void RemoveFile(const Path& path) noexcept = 0;
  /// Makes `link`, which must not exist, a second name of the regular file
  /// `existing`, durably, where the file system allows it. Returns false
  /// where it does not (no such links there, another volume, any failure):
  /// the caller copies instead.
  virtual bool LinkFile(const Path& existing, const Path& link) noexcept = 0;
  /// Takes the exclusive lock of the file `path`, creating it, and waits up
  /// to `wait` while another holder has it: another process, or another
  /// lock taken here. Returns null when it is still held after the wait.
  /// The file is removed when the lock is released. Throws kNotRegularFile
  /// when the name holds a link (never followed) or anything but a regular
  /// file, and the operating-system error when the file cannot be made.
  virtual std::unique_ptr<FileLock> LockExclusive(
      const Path& path, std::chrono::milliseconds wait) = 0;
  /// Removes the temporary files that WriteFileAtomically left beside
  /// `destination` in runs that were killed: only those whose writing
  /// process is gone, never one that a live run is still writing.
  virtual void RemoveAbandonedTemporaries(const Path& destination) noexcept = 0;
};

/// The operating system's file system.
class RealFileSystem final : public FileSystem {
 public:
  std::unique_ptr<InputFile> OpenForRead(const Path& path) override;
  std::unique_ptr<InputFile> OpenForReadNoFollow(const Path& path) override;
  EntryKind EntryKindOf(const Path& path) override;
  EntryKind StatusOf(const Path& path) override;
  void CreateFolders(const Path& folder) override;
  std::vector<FolderEntry> ListFolder(const Path& folder) override;
  Path CanonicalPath(const Path& path) override;
  std::unique_ptr<OutputFile> CreateForWrite(const Path& path) override;
  void ReplaceFile(const Path& from, const Path& to) override;
  void RemoveFile(const Path& path) noexcept override;
  bool LinkFile(const Path& existing, const Path& link) noexcept override;
  void RemoveAbandonedTemporaries(const Path& destination) noexcept override;
  std::unique_ptr<FileLock> LockExclusive(
      const Path& path, std::chrono::milliseconds wait) override;
};

/// Writes `destination` without ever leaving it damaged: `write` fills a
/// temporary file in the same folder ("NAME.karstel-PID-N.tmp", created
/// exclusively), which takes the destination's owner and mode, is flushed
/// and then replaces the destination in one step. On any failure the
/// temporary file is removed, the destination keeps its previous bytes, and
/// the failure propagates. Temporaries of earlier runs that were killed are
/// removed first. A link named `destination` is replaced by a regular file,
/// and a hard link is split: the file outside the game folder stays as it
/// was.
void WriteFileAtomically(FileSystem& fs, const Path& destination,
                         const std::function<void(OutputFile&)>& write);
/// The same, for a new file that is to take the owner and mode of another
/// one, `like`, rather than of the destination (a copy kept beside it).
void WriteFileAtomically(FileSystem& fs, const Path& destination,
                         const std::function<void(OutputFile&)>& write,
                         const Path& like);

/// The first half of WriteFileAtomically: the new file is written, flushed
/// and closed beside its destination, and takes the destination's place
/// only when committed. Several files can so be written in full before any
/// of them replaces its destination. Destroyed uncommitted, the temporary
/// file is removed and the destination keeps its bytes.
class PendingReplacement {
 public:
  /// Writes the temporary file as WriteFileAtomically does; on a failure
  /// nothing is left behind and the failure propagates.
  PendingReplacement(FileSystem& fs, const Path& destination,
                     const std::function<void(OutputFile&)>& write,
                     const Path& like);
  PendingReplacement(FileSystem& fs, const Path& destination,
                     const std::function<void(OutputFile&)>& write)
      : PendingReplacement(fs, destination, write, destination) {}
  ~PendingReplacement();
  PendingReplacement(const PendingReplacement&) = delete;
  PendingReplacement& operator=(const PendingReplacement&) = delete;

  /// Puts the new file in place of the destination in one step. Throws the
  /// failure of the replace; the temporary is then removed when this is
  /// destroyed.
  void Commit();

  /// The finished new file, until it is committed.
  const Path& temporary() const { return temporary_; }

 private:
  FileSystem& fs_;
  Path destination_;
  Path temporary_;
  bool pending_ = false;
};

/// Whether `name` is one that WriteFileAtomically gives the temporary files
/// for a destination called `destinationName`; if so, the number of the
/// process that wrote it.
std::optional<std::uint64_t> TemporaryWriterOf(
    std::string_view name, std::string_view destinationName);

/// Removes the regular files beside `destination` that TemporaryWriterOf
/// recognises as its temporaries and `isAbandoned` accepts; anything else at
/// such a name (a link, a pipe) stays. Failures are ignored.
void RemoveTemporariesIf(
    FileSystem& fs, const Path& destination,
    const std::function<bool(const Path&, std::uint64_t writer)>&
        isAbandoned) noexcept;

/// Reads exactly buffer.size() bytes; a short read throws 0x80070026.
void ReadExactly(InputFile& file, std::span<std::byte> buffer);
/// Writes all of data with one call; a short write throws 0x80070027.
void WriteExactly(OutputFile& file, std::span<const std::byte> data);

}  // namespace common
