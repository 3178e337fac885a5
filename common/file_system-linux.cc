#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "common/file_system.h"
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

std::unique_ptr<InputFile> RealFileSystem::OpenForRead(const Path& path) {
  UniqueFd fd = OpenOrThrow(path, O_RDONLY);
  // Windows refuses to open a folder as a file; do the same here.
  struct stat st;
  THROW_LAST_ERROR_IF(::fstat(fd.get(), &st) != 0);
  THROW_HR_IF(HresultFromWin32(kErrorAccessDenied), S_ISDIR(st.st_mode));
  return std::make_unique<PosixInputFile>(std::move(fd));
}

std::unique_ptr<OutputFile> RealFileSystem::CreateForWrite(const Path& path) {
  return std::make_unique<PosixOutputFile>(
      OpenOrThrow(path, O_WRONLY | O_CREAT | O_TRUNC));
}

void RealFileSystem::ReplaceFile(const Path& from, const Path& to) {
  // Keep the destination's permission bits: players may have made the game
  // files read-only for other users on purpose.
  struct stat st;
  if (::stat(to.c_str(), &st) == 0) ::chmod(from.c_str(), st.st_mode & 07777);
  THROW_LAST_ERROR_IF(::rename(from.c_str(), to.c_str()) != 0);
  // The rename itself is durable only once the folder entry is on disk.
  Path folder = to.has_parent_path() ? to.parent_path() : Path(".");
  UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir) ::fsync(dir.get());
}

void RealFileSystem::RemoveFile(const Path& path) noexcept {
  ::unlink(path.c_str());
}

}  // namespace common
