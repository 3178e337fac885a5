#include "common/memory_file_system.h"

#include <algorithm>
#include <cstring>

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
  void Flush() override { fs_.log.push_back("flush " + key_); }
  void MatchOwnerAndMode(const Path&) override {}
  void Close() override {}

 private:
  MemoryFileSystem& fs_;
  std::string key_;
};

}  // namespace

std::unique_ptr<InputFile> MemoryFileSystem::OpenForRead(const Path& path) {
  log.push_back("read " + Key(path));
  auto it = files.find(Key(path));
  THROW_HR_IF(HresultFromWin32(kErrorFileNotFound), it == files.end());
  return std::make_unique<MemoryInputFile>(it->second);
}

std::unique_ptr<OutputFile> MemoryFileSystem::CreateForWrite(const Path& path) {
  log.push_back("create " + Key(path));
  THROW_HR_IF(HresultFromWin32(kErrorFileExists), files.count(Key(path)));
  files[Key(path)];
  return std::make_unique<MemoryOutputFile>(*this, Key(path));
}

void MemoryFileSystem::ReplaceFile(const Path& from, const Path& to) {
  log.push_back("replace " + Key(from) + " " + Key(to));
  if (replaceFailure) THROW_HR(replaceFailure);
  auto it = files.find(Key(from));
  THROW_HR_IF(HresultFromWin32(kErrorFileNotFound), it == files.end());
  Bytes content = std::move(it->second);
  files.erase(it);
  files[Key(to)] = std::move(content);
}

void MemoryFileSystem::RemoveFile(const Path& path) noexcept {
  log.push_back("remove " + Key(path));
  files.erase(Key(path));
}

namespace {

class MemoryFileLock final : public FileLock {
 public:
  MemoryFileLock(MemoryFileSystem& fs, std::string key)
      : fs_(fs), key_(std::move(key)) {}
  ~MemoryFileLock() override { fs_.locks.erase(key_); }

 private:
  MemoryFileSystem& fs_;
  std::string key_;
};

}  // namespace

std::unique_ptr<FileLock> MemoryFileSystem::LockExclusive(
    const Path& path, std::chrono::milliseconds) {
  log.push_back("lock " + Key(path));
  if (!locks.insert(Key(path)).second) return nullptr;
  return std::make_unique<MemoryFileLock>(*this, Key(path));
}

}  // namespace common
