#include "common/file_system.h"

#include <atomic>
#include <chrono>
#include <string>

#include "common/decimal.h"
#include "common/platform.h"
#include "common/result.h"
#include "common/scope_exit.h"

namespace common {
namespace {

constexpr std::string_view kTemporaryMark = ".karstel-";
constexpr std::string_view kTemporaryEnd = ".tmp";

// A name beside the destination that no other run is using: the temporary
// file must live in the destination's folder so that the final rename stays
// on one volume and is atomic. The process number in it tells a later run
// whether the writer is still alive.
Path TemporaryPathFor(const Path& destination) {
  static std::atomic<std::uint32_t> counter{0};
  std::string suffix = std::string(kTemporaryMark) +
                       std::to_string(platform::CurrentProcessId()) + "-" +
                       std::to_string(counter.fetch_add(1)) +
                       std::string(kTemporaryEnd);
  Path name = destination.filename();
  name += suffix;
  return destination.parent_path() / name;
}

// Another run may hold the name we chose (a process of the same number in
// another container): take the next one.
std::unique_ptr<OutputFile> CreateTemporary(FileSystem& fs,
                                            const Path& destination,
                                            Path& temporary) {
  constexpr int kAttempts = 16;
  for (int attempt = 1;; ++attempt) {
    temporary = TemporaryPathFor(destination);
    try {
      return fs.CreateForWrite(temporary);
    } catch (const ResultException& e) {
      if (e.GetErrorCode() != HresultFromWin32(kErrorFileExists) ||
          attempt == kAttempts)
        throw;
    }
  }
}

}  // namespace

std::optional<std::uint64_t> TemporaryWriterOf(
    std::string_view name, std::string_view destinationName) {
  if (!name.starts_with(destinationName)) return std::nullopt;
  name.remove_prefix(destinationName.size());
  if (!name.starts_with(kTemporaryMark) || !name.ends_with(kTemporaryEnd))
    return std::nullopt;
  name.remove_prefix(kTemporaryMark.size());
  name.remove_suffix(kTemporaryEnd.size());
  std::size_t dash = name.find('-');
  if (dash == std::string_view::npos || !ParseDecimal(name.substr(dash + 1)))
    return std::nullopt;
  return ParseDecimal(name.substr(0, dash));
}

void RemoveTemporariesIf(FileSystem& fs, const Path& destination,
                         const std::function<bool(const Path&, std::uint64_t)>&
                             isAbandoned) noexcept {
  try {
    // Names compared as UTF-8, which every file name converts to.
    auto utf8 = [](const Path& path) {
      std::u8string name = path.u8string();
      return std::string(name.begin(), name.end());
    };
    const std::string destinationName = utf8(destination.filename());
    Path folder = destination.parent_path();
    if (folder.empty()) folder = ".";
    for (const FolderEntry& entry : fs.ListFolder(folder)) {
      std::optional<std::uint64_t> writer =
          TemporaryWriterOf(utf8(entry.name), destinationName);
      // Only what a run can have left: a regular file, never a link or a
      // pipe planted at such a name.
      Path path = folder / entry.name;
      if (writer && entry.kind == EntryKind::RegularFile &&
          isAbandoned(path, *writer))
        fs.RemoveFile(path);
    }
  } catch (...) {
    // Only tidying: a folder that cannot be listed keeps its leftovers.
  }
}

void WriteFileAtomically(FileSystem& fs, const Path& destination,
                         const std::function<void(OutputFile&)>& write) {
  WriteFileAtomically(fs, destination, write, destination);
}

void WriteFileAtomically(FileSystem& fs, const Path& destination,
                         const std::function<void(OutputFile&)>& write,
                         const Path& like) {
  PendingReplacement(fs, destination, write, like).Commit();
}

PendingReplacement::PendingReplacement(
    FileSystem& fs, const Path& destination,
    const std::function<void(OutputFile&)>& write, const Path& like)
    : fs_(fs), destination_(destination) {
  fs.RemoveAbandonedTemporaries(destination);
  auto file = CreateTemporary(fs, destination, temporary_);
  auto removeTemporary = ScopeExit([&] {
    file.reset();
    fs.RemoveFile(temporary_);
  });
  write(*file);
  // The game, and the player who owns it, must still be able to read the
  // file when the run was made by an administrator.
  file->MatchOwnerAndMode(like);
  file->Flush();
  file->Close();
  file.reset();
  removeTemporary.Release();
  pending_ = true;
}

PendingReplacement::~PendingReplacement() {
  if (pending_) fs_.RemoveFile(temporary_);
}

void PendingReplacement::Commit() {
  THROW_HR_IF(kEFail, !pending_);
  fs_.ReplaceFile(temporary_, destination_);
  pending_ = false;
}

void ReadExactly(InputFile& file, std::span<std::byte> buffer) {
  std::size_t got = file.Read(buffer);
  THROW_HR_IF(kHandleEof, got < buffer.size());
}

void WriteExactly(OutputFile& file, std::span<const std::byte> data) {
  std::size_t put = file.Write(data);
  THROW_HR_IF(kHandleDiskFull, put < data.size());
}

}  // namespace common
