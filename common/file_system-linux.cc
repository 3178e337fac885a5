#include "common/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "common/platform.h"
#include "common/result.h"
#include "common/scope_exit.h"

namespace common {
namespace {

struct FdTraits {
  using Type = int;
  static int Invalid() { return -1; }
  static void Close(int fd) { ::close(fd); }
};
using UniqueFd = UniqueHandle<FdTraits>;

// Reads and writes retry on EINTR only; one call otherwise, as the callers
// count short transfers themselves.
class PosixInputFile final : public InputFile {
 public:
  explicit PosixInputFile(UniqueFd fd) : fd_(std::move(fd)) {}
  std::size_t Read(std::span<std::byte> buffer) override {
    ssize_t n;
    do {
      n = ::read(fd_.get(), buffer.data(),
                 std::min<std::size_t>(buffer.size(), INT_MAX));
    } while (n < 0 && errno == EINTR);
    THROW_LAST_ERROR_IF(n < 0);
    return static_cast<std::size_t>(n);
  }
  std::uint64_t Size() override {
    struct stat st;
    THROW_LAST_ERROR_IF(::fstat(fd_.get(), &st) != 0);
    return static_cast<std::uint64_t>(st.st_size);
  }

 private:
  UniqueFd fd_;
};

class PosixOutputFile final : public OutputFile {
 public:
  explicit PosixOutputFile(UniqueFd fd) : fd_(std::move(fd)) {}
  std::size_t Write(std::span<const std::byte> data) override {
    THROW_HR_IF(HresultFromWin32(kErrorInvalidHandle), !fd_);
    std::size_t done = 0;
    // POSIX may store part of a large write and succeed; keep going until
    // all is stored or the device refuses, so that a short count means
    // "full", as it does on Windows.
    while (done < data.size()) {
      ssize_t n = ::write(fd_.get(), data.data() + done,
                          std::min<std::size_t>(data.size() - done, INT_MAX));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == ENOSPC && done > 0) break;
      THROW_LAST_ERROR_IF(n < 0);
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    return done;
  }
  void Flush() override {
    THROW_HR_IF(HresultFromWin32(kErrorInvalidHandle), !fd_);
    THROW_LAST_ERROR_IF(::fsync(fd_.get()) != 0);
  }
  void MatchOwnerAndMode(const Path& original) override {
    THROW_HR_IF(HresultFromWin32(kErrorInvalidHandle), !fd_);
    struct stat st;
    if (::stat(original.c_str(), &st) != 0) return;
    // Owner first: a change of owner may clear the set-id bits that the
    // mode then restores. Only root may give a file away; anyone else keeps
    // the file as theirs, which is what they could do by hand too.
    if (::fchown(fd_.get(), st.st_uid, st.st_gid) != 0)
      (void)::fchown(fd_.get(), static_cast<uid_t>(-1), st.st_gid);
    // A disk that keeps no modes (FAT32 or exFAT through FUSE says ENOSYS,
    // others EPERM or ENOTSUP) gives every file the same: the copy is as
    // good as the original there, and the write goes on.
    if (::fchmod(fd_.get(), st.st_mode & 07777) != 0)
      THROW_LAST_ERROR_IF(errno != ENOSYS && errno != EPERM &&
                          errno != ENOTSUP && errno != EOPNOTSUPP);
  }
  void Close() override {
    int fd = fd_.release();
    THROW_LAST_ERROR_IF(fd >= 0 && ::close(fd) != 0);
  }

 private:
  UniqueFd fd_;
};

UniqueFd OpenOrThrow(const Path& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  THROW_LAST_ERROR_IF(fd < 0);
  return UniqueFd(fd);
}

}  // namespace

namespace {

// Opening a pipe for reading waits for a writer, which may never come: the
// open does not wait, and only a regular file is read.
std::unique_ptr<InputFile> OpenRegularForRead(const Path& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags);
  } while (fd < 0 && errno == EINTR);
  // O_NOFOLLOW fails with ELOOP on a link at the name.
  THROW_HR_IF(kNotRegularFile,
              fd < 0 && errno == ELOOP && (flags & O_NOFOLLOW));
  THROW_LAST_ERROR_IF(fd < 0);
  UniqueFd owner(fd);
  struct stat st;
  THROW_LAST_ERROR_IF(::fstat(fd, &st) != 0);
  // Windows refuses to open a folder as a file; do the same here.
  THROW_HR_IF(HresultFromWin32(kErrorAccessDenied), S_ISDIR(st.st_mode));
  THROW_HR_IF(kNotRegularFile, !S_ISREG(st.st_mode));
  // Reads of a regular file never wait anyway; clear the flag all the same.
  THROW_LAST_ERROR_IF(::fcntl(fd, F_SETFL, 0) != 0);
  return std::make_unique<PosixInputFile>(std::move(owner));
}

}  // namespace

std::unique_ptr<InputFile> RealFileSystem::OpenForRead(const Path& path) {
  return OpenRegularForRead(path, 0);
}

std::unique_ptr<InputFile> RealFileSystem::OpenForReadNoFollow(
    const Path& path) {
  return OpenRegularForRead(path, O_NOFOLLOW);
}

namespace {

EntryKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::RegularFile;
  return S_ISDIR(mode) ? EntryKind::Folder : EntryKind::Other;
}

struct DirTraits {
  using Type = DIR*;
  static DIR* Invalid() { return nullptr; }
  static void Close(DIR* dir) { ::closedir(dir); }
};

}  // namespace

EntryKind RealFileSystem::EntryKindOf(const Path& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    THROW_LAST_ERROR_IF(errno != ENOENT && errno != ENOTDIR);
    return EntryKind::Absent;
  }
  return KindOf(st.st_mode);
}

EntryKind RealFileSystem::StatusOf(const Path& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    // Nothing there: a missing name, a file where a folder should be, an
    // empty or overlong name.
    THROW_LAST_ERROR_IF(errno != ENOENT && errno != ENOTDIR &&
                        errno != EINVAL && errno != ENAMETOOLONG);
    return EntryKind::Absent;
  }
  return KindOf(st.st_mode);
}

void RealFileSystem::CreateFolders(const Path& folder) {
  Path current;
  for (const Path& part : folder) {
    current /= part;
    if (part.empty()) continue;  // a trailing separator
    struct stat st;
    if (::stat(current.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
    if (::mkdir(current.c_str(), 0777) == 0) continue;
    // Made meanwhile by another run: as good as made here.
    int error = errno;
    if (error == EEXIST && ::stat(current.c_str(), &st) == 0 &&
        S_ISDIR(st.st_mode))
      continue;
    errno = error;
    THROW_LAST_ERROR_IF(true);
  }
}

std::vector<FolderEntry> RealFileSystem::ListFolder(const Path& folder) {
  UniqueHandle<DirTraits> dir(::opendir(folder.c_str()));
  THROW_LAST_ERROR_IF(!dir);
  std::vector<FolderEntry> entries;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (!entry) {
      THROW_LAST_ERROR_IF(errno != 0);
      return entries;
    }
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    EntryKind kind = EntryKind::Other;
    if (entry->d_type == DT_REG) kind = EntryKind::RegularFile;
    if (entry->d_type == DT_DIR) kind = EntryKind::Folder;
    if (entry->d_type == DT_UNKNOWN) {
      // Some file systems do not say: ask, the name itself looked at.
      struct stat st;
      if (::fstatat(::dirfd(dir.get()), entry->d_name, &st,
                    AT_SYMLINK_NOFOLLOW) != 0)
        continue;  // gone meanwhile
      kind = KindOf(st.st_mode);
    }
    entries.push_back({Path(std::string(name)), kind});
  }
}

Path RealFileSystem::CanonicalPath(const Path& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(
      ::realpath(path.c_str(), nullptr), &std::free);
  THROW_LAST_ERROR_IF(!resolved);
  return Path(resolved.get());
}

std::unique_ptr<OutputFile> RealFileSystem::CreateForWrite(const Path& path) {
  UniqueFd fd = OpenOrThrow(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW);
  // The lock says "being written" to a later run that finds the file: it
  // lasts as long as this process keeps the file open, and no longer.
  ::flock(fd.get(), LOCK_EX | LOCK_NB);
  return std::make_unique<PosixOutputFile>(std::move(fd));
}

void RealFileSystem::ReplaceFile(const Path& from, const Path& to) {
  THROW_LAST_ERROR_IF(::rename(from.c_str(), to.c_str()) != 0);
  // The rename itself is durable only once the folder entry is on disk.
  Path folder = to.has_parent_path() ? to.parent_path() : Path(".");
  UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir) ::fsync(dir.get());
}

void RealFileSystem::RemoveFile(const Path& path) noexcept {
  ::unlink(path.c_str());
}

bool RealFileSystem::LinkFile(const Path& existing, const Path& link) noexcept {
  struct stat st;
  if (::lstat(existing.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (::link(existing.c_str(), link.c_str()) != 0) return false;
  // The new name is durable only once its folder entry is on disk.
  Path folder = link.has_parent_path() ? link.parent_path() : Path(".");
  UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir && ::fsync(dir.get()) == 0) return true;
  ::unlink(link.c_str());
  return false;
}

namespace {

// Older versions named temporaries after a clock reading rather than the
// process, and did not lock them; such a file is abandoned once nothing has
// written to it for a while (a run writes its file within seconds).
constexpr std::uint64_t kLargestProcessId = 1u << 22;
constexpr time_t kLegacyQuietSeconds = 600;

bool IsAbandoned(const Path& path, std::uint64_t writer) {
  // A pipe at the name would make the open wait for a writer.
  UniqueFd fd(
      ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return false;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return false;  // being written
  if (writer > kLargestProcessId)
    return ::time(nullptr) - st.st_mtime > kLegacyQuietSeconds;
  // Between closing its file and renaming it, a live writer holds no lock.
  return !platform::IsProcessRunning(writer);
}

}  // namespace

void RealFileSystem::RemoveAbandonedTemporaries(
    const Path& destination) noexcept {
  RemoveTemporariesIf(*this, destination, IsAbandoned);
}

namespace {

class PosixFileLock final : public FileLock {
 public:
  PosixFileLock(UniqueFd fd, Path path)
      : fd_(std::move(fd)), path_(std::move(path)) {}
  // Removed while still held, then unlocked by the close: a run that opened
  // the old file meanwhile finds its name gone once it gets the lock, and
  // starts over on a new one.
  ~PosixFileLock() override { ::unlink(path_.c_str()); }

 private:
  UniqueFd fd_;
  Path path_;
};

constexpr std::chrono::milliseconds kLockPoll{50};

// The lock is byte 0 of the file, taken as an open-file-description lock:
// it lasts while the file is open here and ends with the process, and it
// meets the POSIX record locks that Wine makes of the Windows program's
// LockFileEx, so that the two programs exclude each other. Earlier
// versions took flock, which is taken too, so that they are excluded as
// well. Returns false when another holder has it.
bool TryLockFirstByte(int fd) {
  struct flock range {};
  range.l_type = F_WRLCK;
  range.l_whence = SEEK_SET;
  range.l_start = 0;
  range.l_len = 1;
  if (::fcntl(fd, F_OFD_SETLK, &range) != 0) {
    THROW_LAST_ERROR_IF(errno != EAGAIN && errno != EACCES && errno != EINTR);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
  THROW_LAST_ERROR_IF(errno != EWOULDBLOCK && errno != EINTR);
  range.l_type = F_UNLCK;
  ::fcntl(fd, F_OFD_SETLK, &range);
  return false;
}

// Whether the kernel lists a lock of any kind on the file (one that a live
// process holds): for a lock file that this user cannot open. Unsure
// answers count as held.
bool AnyoneLocks(const struct stat& file) {
  UniqueFd fd(::open("/proc/locks", O_RDONLY | O_CLOEXEC));
  if (!fd) return true;
  std::string text;
  char chunk[4096];
  for (;;) {
    ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return true;
    if (n == 0) break;
    text.append(chunk, static_cast<std::size_t>(n));
    if (text.size() > (64u << 20)) return true;
  }
  // "1: POSIX  ADVISORY  WRITE 4321 08:02:131 0 EOF"; "1: -> ..." lines
  // are waiters, which hold nothing. The device is in hexadecimal.
  char device[64];
  std::snprintf(device, sizeof device, " %02x:%02x:%llu ", major(file.st_dev),
                minor(file.st_dev),
                static_cast<unsigned long long>(file.st_ino));
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (line.find(" -> ") != std::string_view::npos) continue;
    if ((std::string(line) + " ").find(device) != std::string::npos)
      return true;
  }
  return false;
}

// A lock file this user may not open, as a run of another user leaves it
// when it is killed (root's, mode 0600): removed when no live process holds
// a lock on it, so that it never blocks a run. The name is checked to hold
// the same file right before the removal; another run that replaced it in
// between would have had to remove and make it within that instant.
bool RemoveIfStale(const Path& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (AnyoneLocks(st)) return false;
  struct stat again;
  if (::lstat(path.c_str(), &again) != 0 || again.st_ino != st.st_ino ||
      again.st_dev != st.st_dev)
    return false;
  return ::unlink(path.c_str()) == 0;
}

}  // namespace

std::unique_ptr<FileLock> RealFileSystem::LockExclusive(
    const Path& path, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    int fd;
    do {
      fd = ::open(path.c_str(),
                  O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    THROW_HR_IF(kNotRegularFile, fd < 0 && errno == ELOOP);
    if (fd < 0 && errno == EACCES) {
      // Someone else's file: gone if nobody holds it, else theirs to wait
      // for. A folder this user may not write keeps it, and says so.
      const int error = errno;
      if (RemoveIfStale(path)) continue;
      struct stat st;
      const bool held = ::lstat(path.c_str(), &st) == 0 && AnyoneLocks(st);
      THROW_HR_IF(HresultFromErrno(error), !held);
      if (std::chrono::steady_clock::now() >= deadline) return nullptr;
      std::this_thread::sleep_for(kLockPoll);
      continue;
    }
    THROW_LAST_ERROR_IF(fd < 0);
    UniqueFd owner(fd);
    struct stat held;
    THROW_LAST_ERROR_IF(::fstat(fd, &held) != 0);
    THROW_HR_IF(kNotRegularFile, !S_ISREG(held.st_mode));
    // Any user must be able to take the lock after a run of this one was
    // killed, whatever the umask: the file may outlive its maker.
    if (held.st_uid == ::geteuid()) (void)::fchmod(fd, 0666);
    if (TryLockFirstByte(fd)) {
      struct stat named;
      if (::stat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
          named.st_ino == held.st_ino)
        return std::make_unique<PosixFileLock>(std::move(owner), path);
      continue;  // the holder before us removed it
    }
    if (std::chrono::steady_clock::now() >= deadline) return nullptr;
    std::this_thread::sleep_for(kLockPoll);
  }
}

}  // namespace common
