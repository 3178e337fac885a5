#include "common/file_system.h"

#include <windows.h>
// windows.h names ReplaceFileW "ReplaceFile"; the member keeps its own name.
#undef ReplaceFile

#include <thread>

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

UniqueFileHandle OpenOrThrow(const Path& path, DWORD access, DWORD disposition,
                             DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  HANDLE h = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr,
                           disposition, flags, nullptr);
  THROW_LAST_ERROR_IF(h == INVALID_HANDLE_VALUE || h == nullptr);
  return UniqueFileHandle(h);
}

// A link: a symbolic link, a junction or another reparse point that names
// another file. Other reparse points hold a file's data behind a file
// system filter (compressed, deduplicated, kept in the cloud) and are read
// like any file.
bool IsLink(DWORD attributes, DWORD reparseTag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         IsReparseTagNameSurrogate(reparseTag);
}

// Only a file on a disk is read: a pipe or a console named like a file
// could keep a read waiting for ever. A folder cannot be opened this way at
// all (access denied).
UniqueFileHandle OpenDiskFile(const Path& path, DWORD flags) {
  UniqueFileHandle h = OpenOrThrow(path, GENERIC_READ, OPEN_EXISTING, flags);
  THROW_HR_IF(kNotRegularFile, ::GetFileType(h.get()) != FILE_TYPE_DISK);
  return h;
}

struct FileIdentity {
  DWORD volume, high, low;
  bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  THROW_LAST_ERROR_IF(!::GetFileInformationByHandle(h, &info));
  return {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

}  // namespace

std::unique_ptr<InputFile> RealFileSystem::OpenForRead(const Path& path) {
  return std::make_unique<Win32InputFile>(
      OpenDiskFile(path, FILE_ATTRIBUTE_NORMAL));
}

std::unique_ptr<InputFile> RealFileSystem::OpenForReadNoFollow(
    const Path& path) {
  // Opened as itself, a link shows what it is.
  UniqueFileHandle h =
      OpenDiskFile(path, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
  FILE_ATTRIBUTE_TAG_INFO tag;
  THROW_LAST_ERROR_IF(!::GetFileInformationByHandleEx(
      h.get(), FileAttributeTagInfo, &tag, sizeof tag));
  THROW_HR_IF(kNotRegularFile,
              (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
                  IsLink(tag.FileAttributes, tag.ReparseTag));
  if (!(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return std::make_unique<Win32InputFile>(std::move(h));
  // Data behind a filter is read through it: opened again the usual way,
  // and only if that is still the same file.
  UniqueFileHandle data = OpenDiskFile(path, FILE_ATTRIBUTE_NORMAL);
  THROW_HR_IF(kNotRegularFile, IdentityOf(data.get()) != IdentityOf(h.get()));
  return std::make_unique<Win32InputFile>(std::move(data));
}

EntryKind RealFileSystem::EntryKindOf(const Path& path) {
  // The entry of a link describes the link, not its target.
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW(path.c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) {
    DWORD error = ::GetLastError();
    THROW_HR_IF(HresultFromWin32(error),
                error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND);
    return EntryKind::Absent;
  }
  ::FindClose(find);
  if (IsLink(entry.dwFileAttributes, entry.dwReserved0))
    return EntryKind::Other;
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) ? EntryKind::Other
         : (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
             ? EntryKind::Folder
             : EntryKind::RegularFile;
}

namespace {

// Failures of a lookup that mean "there is nothing there": a missing file
// or folder on the way, a network name that does not exist, a malformed
// name.
bool MeansAbsent(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
    case ERROR_FILENAME_EXCED_RANGE:
      return true;
  }
  return false;
}

EntryKind KindOfAttributes(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_DEVICE) return EntryKind::Other;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Folder
                                                 : EntryKind::RegularFile;
}

bool IsFolderAt(const Path& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

struct FindTraits {
  using Type = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { ::FindClose(h); }
};

}  // namespace

EntryKind RealFileSystem::StatusOf(const Path& path) {
  // Opened without any access, the name's target (a link followed) shows
  // what it is; a folder needs backup semantics to be opened at all.
  HANDLE h = ::CreateFileW(
      path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) {
    DWORD error = ::GetLastError();
    if (MeansAbsent(error)) return EntryKind::Absent;
    // A file opened by another program that shares nothing still has its
    // attributes.
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    THROW_HR_IF(HresultFromWin32(error),
                error != ERROR_SHARING_VIOLATION ||
                    attributes == INVALID_FILE_ATTRIBUTES);
    return KindOfAttributes(attributes);
  }
  UniqueFileHandle owner(h);
  if (::GetFileType(h) != FILE_TYPE_DISK) return EntryKind::Other;
  BY_HANDLE_FILE_INFORMATION info;
  THROW_LAST_ERROR_IF(!::GetFileInformationByHandle(h, &info));
  return KindOfAttributes(info.dwFileAttributes);
}

void RealFileSystem::CreateFolders(const Path& folder) {
  Path current;
  for (const Path& part : folder) {
    current /= part;
    // The drive and the root, and the server and share of a network path,
    // are not made here; neither is a folder that exists.
    if (part.empty() || current == current.root_path() || IsFolderAt(current))
      continue;
    if (::CreateDirectoryW(current.c_str(), nullptr)) continue;
    DWORD error = ::GetLastError();
    // Made meanwhile by another run: as good as made here.
    THROW_HR_IF(HresultFromWin32(error), !IsFolderAt(current));
  }
}

std::vector<FolderEntry> RealFileSystem::ListFolder(const Path& folder) {
  WIN32_FIND_DATAW entry;
  UniqueHandle<FindTraits> find(
      ::FindFirstFileW((folder / L"*").c_str(), &entry));
  std::vector<FolderEntry> entries;
  if (!find) {
    DWORD error = ::GetLastError();
    // The top folder of an empty drive has not even "." and "..".
    THROW_HR_IF(HresultFromWin32(error), error != ERROR_FILE_NOT_FOUND);
    return entries;
  }
  do {
    std::wstring_view name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    EntryKind kind = IsLink(entry.dwFileAttributes, entry.dwReserved0)
                         ? EntryKind::Other
                         : KindOfAttributes(entry.dwFileAttributes);
    entries.push_back({Path(std::wstring(name)), kind});
  } while (::FindNextFileW(find.get(), &entry));
  THROW_LAST_ERROR_IF(::GetLastError() != ERROR_NO_MORE_FILES);
  return entries;
}

Path RealFileSystem::CanonicalPath(const Path& path) {
  // Without any access, and sharing everything: only the name is asked for.
  HANDLE opened = ::CreateFileW(
      path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  THROW_LAST_ERROR_IF(opened == INVALID_HANDLE_VALUE || opened == nullptr);
  UniqueFileHandle h(opened);
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = ::GetFinalPathNameByHandleW(
        h.get(), name.data(), static_cast<DWORD>(name.size()),
        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    THROW_LAST_ERROR_IF(length == 0);
    if (length < name.size()) {
      name.resize(length);
      break;
    }
    name.resize(length);
  }
  // The system answers in its long form: \\?\C:\... or \\?\UNC\server\...
  if (name.starts_with(L"\\\\?\\UNC\\")) return Path(L"\\\\" + name.substr(8));
  if (name.starts_with(L"\\\\?\\")) return Path(name.substr(4));
  return Path(name);
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
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  THROW_HR_IF(HresultFromWin32(kErrorAccessDenied),
              exists && (attributes & FILE_ATTRIBUTE_DIRECTORY));
  // A read-only file cannot be replaced: the bit is cleared for the
  // replace and set again on the new file, so that the player's choice
  // stays (Wine's ReplaceFileW would drop it, too). Should the replace
  // fail, the old file gets its bit back.
  const bool readOnly = exists && (attributes & FILE_ATTRIBUTE_READONLY);
  if (readOnly)
    THROW_LAST_ERROR_IF(!::SetFileAttributesW(
        to.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}));
  auto restore = ScopeExit([&] {
    if (readOnly) ::SetFileAttributesW(to.c_str(), attributes);
  });
  if (!::ReplaceFileW(
          to.c_str(), from.c_str(), nullptr,
          REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS,
          nullptr, nullptr))
    THROW_LAST_ERROR_IF(
        !::MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  // The new file is in place: the bit goes on it, as the old one had it.
  restore.Release();
  if (readOnly) {
    DWORD now = ::GetFileAttributesW(to.c_str());
    if (now != INVALID_FILE_ATTRIBUTES)
      ::SetFileAttributesW(to.c_str(), now | FILE_ATTRIBUTE_READONLY);
  }
}

void RealFileSystem::RemoveFile(const Path& path) noexcept {
  ::DeleteFileW(path.c_str());
}

// A second name of a game file would keep the file open to changes through
// either name, and a replace through ReplaceFileW may carry the replaced
// file's identity over; a copy is plain.
bool RealFileSystem::LinkFile(const Path&, const Path&) noexcept {
  return false;
}

void RealFileSystem::RemoveAbandonedTemporaries(
    const Path& destination) noexcept {
  // A live writer's file cannot be deleted while it is open (see
  // CreateForWrite); between closing and moving it, its process still runs.
  RemoveTemporariesIf(*this, destination,
                      [](const Path&, std::uint64_t writer) {
                        return !platform::IsProcessRunning(writer);
                      });
}

namespace {

// The lock is byte 0 of the file, locked with LockFileEx: the file itself is
// shared, so that the next run can open it and try. Wine carries such a
// lock onto a POSIX record lock of the file, which the Linux program's
// open-file-description lock meets: the two programs exclude each other.
// Released, the file is marked for removal while still locked, then
// unlocked and closed.
class Win32FileLock final : public FileLock {
 public:
  Win32FileLock(UniqueFileHandle h, bool removable)
      : h_(std::move(h)), removable_(removable) {}
  ~Win32FileLock() override {
    if (removable_) {
      FILE_DISPOSITION_INFO remove{TRUE};
      ::SetFileInformationByHandle(h_.get(), FileDispositionInfo, &remove,
                                   sizeof remove);
    }
    OVERLAPPED at{};
    ::UnlockFileEx(h_.get(), 0, 1, 0, &at);
  }

 private:
  UniqueFileHandle h_;
  bool removable_;
};

constexpr std::chrono::milliseconds kLockPoll{50};
constexpr DWORD kShareAll =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens the lock file, making it if needed: for writing where this user may
// (Wine then takes a write lock on it), else for reading, which LockFileEx
// is content with (a file another user made). Null when access is denied
// either way, which a file being removed also gives for a moment.
HANDLE OpenLockFile(const Path& path, bool& removable) {
  // A link at the name is opened, and removed, as itself.
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  for (DWORD access :
       {DWORD{GENERIC_READ | GENERIC_WRITE | DELETE}, DWORD{GENERIC_READ}}) {
    HANDLE h = ::CreateFileW(path.c_str(), access, kShareAll, nullptr,
                             OPEN_ALWAYS, flags, nullptr);
    if (h != INVALID_HANDLE_VALUE && h != nullptr) {
      removable = (access & DELETE) != 0;
      return h;
    }
    THROW_LAST_ERROR_IF(::GetLastError() != ERROR_ACCESS_DENIED);
  }
  return nullptr;
}

// Whether `path` still names the file open as `h`: the holder before us may
// have removed it while we waited.
bool StillNamed(const Path& path, HANDLE h) {
  HANDLE named =
      ::CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (named == INVALID_HANDLE_VALUE || named == nullptr) return false;
  UniqueFileHandle owner(named);
  return IdentityOf(named) == IdentityOf(h);
}

}  // namespace

std::unique_ptr<FileLock> RealFileSystem::LockExclusive(
    const Path& path, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    bool removable = false;
    HANDLE h = OpenLockFile(path, removable);
    if (h) {
      UniqueFileHandle owner(h);
      FILE_ATTRIBUTE_TAG_INFO tag;
      THROW_LAST_ERROR_IF(!::GetFileInformationByHandleEx(
          h, FileAttributeTagInfo, &tag, sizeof tag));
      THROW_HR_IF(kNotRegularFile,
                  ::GetFileType(h) != FILE_TYPE_DISK ||
                      (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
                      IsLink(tag.FileAttributes, tag.ReparseTag));
      OVERLAPPED at{};
      if (::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY,
                       0, 1, 0, &at)) {
        if (StillNamed(path, h))
          return std::make_unique<Win32FileLock>(std::move(owner), removable);
        continue;  // the holder before us removed it: start over
      }
      DWORD error = ::GetLastError();
      THROW_HR_IF(HresultFromWin32(error),
                  error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING);
    } else if (std::chrono::steady_clock::now() >= deadline) {
      // Never opened: not a holder's file but one this user may not use.
      THROW_HR(HresultFromWin32(kErrorAccessDenied));
    }
    if (std::chrono::steady_clock::now() >= deadline) return nullptr;
    std::this_thread::sleep_for(kLockPoll);
  }
}

}  // namespace common
