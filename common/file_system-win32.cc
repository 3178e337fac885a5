#include "common/file_system.h"

#include <windows.h>
// windows.h names ReplaceFileW "ReplaceFile"; the member keeps its own name.
#undef ReplaceFile

#include "common/platform.h"
#include "common/result.h"
#include "common/scope_exit.h"

namespace common {
namespace {

struct FileHandleTraits {
  using Type = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { ::CloseHandle(h); }
};
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;

class Win32InputFile final : public InputFile {
 public:
  explicit Win32InputFile(UniqueFileHandle h) : h_(std::move(h)) {}
  std::size_t Read(std::span<std::byte> buffer) override {
    DWORD got = 0;
    DWORD want =
        static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 0x7FFFFFFF));
    THROW_LAST_ERROR_IF(
        !::ReadFile(h_.get(), buffer.data(), want, &got, nullptr));
    return got;
  }
  std::uint64_t Size() override {
    LARGE_INTEGER size;
    THROW_LAST_ERROR_IF(!::GetFileSizeEx(h_.get(), &size));
    return static_cast<std::uint64_t>(size.QuadPart);
  }

 private:
  UniqueFileHandle h_;
};

class Win32OutputFile final : public OutputFile {
 public:
  explicit Win32OutputFile(UniqueFileHandle h) : h_(std::move(h)) {}
  std::size_t Write(std::span<const std::byte> data) override {
    THROW_HR_IF(HresultFromWin32(kErrorInvalidHandle), !h_);
    DWORD put = 0;
    DWORD size =
        static_cast<DWORD>(std::min<std::size_t>(data.size(), 0x7FFFFFFF));
    THROW_LAST_ERROR_IF(
        !::WriteFile(h_.get(), data.data(), size, &put, nullptr));
    return put;
  }
  void Flush() override {
    THROW_HR_IF(HresultFromWin32(kErrorInvalidHandle), !h_);
    THROW_LAST_ERROR_IF(!::FlushFileBuffers(h_.get()));
  }
  // ReplaceFileW gives the new file the destination's security descriptor
  // and attributes.
  void MatchOwnerAndMode(const Path&) override {}
  void Close() override {
    HANDLE h = h_.release();
    THROW_LAST_ERROR_IF(h != INVALID_HANDLE_VALUE && !::CloseHandle(h));
  }

 private:
  UniqueFileHandle h_;
};

UniqueFileHandle OpenOrThrow(const Path& path, DWORD access,
                             DWORD disposition) {
  HANDLE h = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  THROW_LAST_ERROR_IF(h == INVALID_HANDLE_VALUE || h == nullptr);
  return UniqueFileHandle(h);
}

}  // namespace

std::unique_ptr<InputFile> RealFileSystem::OpenForRead(const Path& path) {
  return std::make_unique<Win32InputFile>(
      OpenOrThrow(path, GENERIC_READ, OPEN_EXISTING));
}

std::unique_ptr<OutputFile> RealFileSystem::CreateForWrite(const Path& path) {
  // CREATE_NEW fails on any existing name, a link included, so nothing
  // planted there is followed or truncated. The handle shares no delete
  // access: while it is open, no other run can remove the file.
  return std::make_unique<Win32OutputFile>(
      OpenOrThrow(path, GENERIC_WRITE, CREATE_NEW));
}

void RealFileSystem::ReplaceFile(const Path& from, const Path& to) {
  // ReplaceFileW keeps what the player or the store set on the game's file:
  // its ACL, attributes and alternate streams. It cannot replace a file that
  // does not exist yet, and some file systems do not support it; then the
  // file is moved in place.
  // A folder is never the destination of a file (Wine's ReplaceFileW would
  // put the file in place of an empty one); Windows says access denied.
  DWORD attributes = ::GetFileAttributesW(to.c_str());
  THROW_HR_IF(HresultFromWin32(kErrorAccessDenied),
              attributes != INVALID_FILE_ATTRIBUTES &&
                  (attributes & FILE_ATTRIBUTE_DIRECTORY));
  if (::ReplaceFileW(
          to.c_str(), from.c_str(), nullptr,
          REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS,
          nullptr, nullptr))
    return;
  THROW_LAST_ERROR_IF(
      !::MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

void RealFileSystem::RemoveFile(const Path& path) noexcept {
  ::DeleteFileW(path.c_str());
}

void RealFileSystem::RemoveAbandonedTemporaries(
    const Path& destination) noexcept {
  // A live writer's file cannot be deleted while it is open (see
  // CreateForWrite); between closing and moving it, its process still runs.
  RemoveTemporariesIf(destination, [](const Path&, std::uint64_t writer) {
    return !platform::IsProcessRunning(writer);
  });
}

}  // namespace common
