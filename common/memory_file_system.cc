#include "common/memory_file_system.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "common/result.h"

namespace common {
namespace {

class MemoryInputFile final : public InputFile {
 public:
  explicit MemoryInputFile(MemoryFileSystem::Bytes content)
      : content_(std::move(content)) {}
  std::size_t Read(std::span<std::byte> buffer) override {
    std::size_t n = std::min(buffer.size(), content_.size() - position_);
    if (n) std::memcpy(buffer.data(), content_.data() + position_, n);
    position_ += n;
    return n;
  }
  std::uint64_t Size() override { return content_.size(); }

 private:
  MemoryFileSystem::Bytes content_;
  std::size_t position_ = 0;
};

class MemoryOutputFile final : public OutputFile {
 public:
  MemoryOutputFile(MemoryFileSystem& fs, std::string key)
      : fs_(fs), key_(std::move(key)) {}
  std::size_t Write(std::span<const std::byte> data) override {
    auto guard = fs_.Guard();
    fs_.Change("write " + key_);
    std::size_t n = data.size();
    if (fs_.writeLimit) {
      std::size_t room = *fs_.writeLimit > fs_.bytesWritten
                             ? *fs_.writeLimit - fs_.bytesWritten
                             : 0;
      if (n > room) {
        if (fs_.writeFailure) THROW_HR(fs_.writeFailure);
        n = room;
      }
    }
    auto& file = fs_.files[key_];
    file.insert(file.end(), data.begin(), data.begin() + n);
    fs_.bytesWritten += n;
    return n;
  }
  void Flush() override {
    auto guard = fs_.Guard();
    fs_.Change("flush " + key_);
    fs_.log.push_back("flush " + key_);
  }
  void MatchOwnerAndMode(const Path&) override {}
  void Close() override {}

 private:
  MemoryFileSystem& fs_;
  std::string key_;
};

// The folder a key lies in; "" for the top.
std::string ParentKey(const std::string& key) {
  std::size_t slash = key.rfind('/');
  return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

std::string FolderKey(const Path& folder) {
  std::string key = folder.generic_string();
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key == "." ? std::string() : key;
}

}  // namespace

std::unique_ptr<InputFile> MemoryFileSystem::OpenForRead(const Path& path) {
  auto guard = Guard();
  log.push_back("read " + Key(path));
  auto it = files.find(Key(path));
  THROW_HR_IF(HresultFromWin32(kErrorFileNotFound), it == files.end());
  return std::make_unique<MemoryInputFile>(it->second);
}

bool MemoryFileSystem::IsFolder(const std::string& key) const {
  if (key.empty() || folders.count(key)) return true;
  const std::string prefix = key + "/";
  auto below = [&](const auto& set) {
    auto it = set.lower_bound(prefix);
    return it != set.end() && std::string_view(it->first).starts_with(prefix);
  };
  auto folderBelow = folders.lower_bound(prefix);
  return below(files) ||
         (folderBelow != folders.end() && folderBelow->starts_with(prefix));
}

void MemoryFileSystem::CheckWritable(const Path& path) const {
  THROW_HR_IF(HresultFromWin32(kErrorAccessDenied),
              readOnlyFolders.count(ParentKey(Key(path))) != 0);
}

EntryKind MemoryFileSystem::StatusOf(const Path& path) {
  auto guard = Guard();
  const std::string key = FolderKey(path);
  if (files.count(key)) return EntryKind::RegularFile;
  return IsFolder(key) ? EntryKind::Folder : EntryKind::Absent;
}

void MemoryFileSystem::CreateFolders(const Path& folder) {
  auto guard = Guard();
  Change("mkdir " + Key(folder));
  log.push_back("mkdir " + Key(folder));
  const std::string key = FolderKey(folder);
  for (std::size_t end = 0; end != std::string::npos;) {
    end = key.find('/', end + 1);
    std::string prefix = key.substr(0, end);
    if (prefix.empty() || IsFolder(prefix)) continue;
    THROW_HR_IF(HresultFromWin32(kErrorAlreadyExists), files.count(prefix));
    CheckWritable(prefix);
    folders.insert(prefix);
  }
}

std::vector<FolderEntry> MemoryFileSystem::ListFolder(const Path& folder) {
  auto guard = Guard();
  const std::string key = FolderKey(folder);
  THROW_HR_IF(HresultFromWin32(kErrorPathNotFound),
              files.count(key) || !IsFolder(key));
  const std::string prefix = key.empty() ? "" : key + "/";
  std::map<std::string, EntryKind> names;
  auto add = [&](const std::string& path, EntryKind kind) {
    if (!path.starts_with(prefix) || path.size() == prefix.size()) return;
    std::string rest = path.substr(prefix.size());
    std::size_t slash = rest.find('/');
    if (slash != std::string::npos) {
      rest.resize(slash);
      kind = EntryKind::Folder;
    }
    names.emplace(rest, kind);
  };
  for (const auto& [path, content] : files) add(path, EntryKind::RegularFile);
  for (const std::string& path : folders) add(path, EntryKind::Folder);
  std::vector<FolderEntry> entries;
  for (const auto& [name, kind] : names)
    entries.push_back({common::Path(name), kind});
  return entries;
}

Path MemoryFileSystem::CanonicalPath(const Path& path) {
  auto guard = Guard();
  Path normal = path.lexically_normal();
  THROW_HR_IF(HresultFromWin32(kErrorFileNotFound),
              StatusOf(normal) == EntryKind::Absent);
  return normal;
}

std::unique_ptr<OutputFile> MemoryFileSystem::CreateForWrite(const Path& path) {
  auto guard = Guard();
  Change("create " + Key(path));
  log.push_back("create " + Key(path));
  CheckWritable(path);
  THROW_HR_IF(HresultFromWin32(kErrorFileExists), files.count(Key(path)));
  files[Key(path)];
  return std::make_unique<MemoryOutputFile>(*this, Key(path));
}

void MemoryFileSystem::ReplaceFile(const Path& from, const Path& to) {
  auto guard = Guard();
  Change("replace " + Key(from) + " " + Key(to));
  log.push_back("replace " + Key(from) + " " + Key(to));
  if (replaceFailure) THROW_HR(replaceFailure);
  CheckWritable(to);
  auto it = files.find(Key(from));
  THROW_HR_IF(HresultFromWin32(kErrorFileNotFound), it == files.end());
  Bytes content = std::move(it->second);
  files.erase(it);
  files[Key(to)] = std::move(content);
}

void MemoryFileSystem::RemoveFile(const Path& path) noexcept {
  auto guard = Guard();
  try {
    Change("remove " + Key(path));
  } catch (...) {
    return;  // a killed run removes nothing
  }
  log.push_back("remove " + Key(path));
  if (readOnlyFolders.count(ParentKey(Key(path)))) return;
  files.erase(Key(path));
}

void MemoryFileSystem::Change(const std::string& line) {
  THROW_HR_IF(kEFail, frozen);
  if (beforeChange) beforeChange(line);
}

void MemoryFileSystem::RemoveAbandonedTemporaries(
    const Path& destination) noexcept {
  if (!earlierRunsGone) return;
  RemoveTemporariesIf(*this, destination,
                      [](const Path&, std::uint64_t) { return true; });
}

namespace {

class MemoryFileLock final : public FileLock {
 public:
  MemoryFileLock(MemoryFileSystem& fs, std::string key)
      : fs_(fs), key_(std::move(key)) {}
  ~MemoryFileLock() override {
    auto guard = fs_.Guard();
    fs_.locks.erase(key_);
  }

 private:
  MemoryFileSystem& fs_;
  std::string key_;
};

}  // namespace

std::unique_ptr<FileLock> MemoryFileSystem::LockExclusive(
    const Path& path, std::chrono::milliseconds) {
  auto guard = Guard();
  log.push_back("lock " + Key(path));
  if (!locks.insert(Key(path)).second) return nullptr;
  return std::make_unique<MemoryFileLock>(*this, Key(path));
}

}  // namespace common
