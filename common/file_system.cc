#include "common/file_system.h"

#include <atomic>
#include <chrono>
#include <string>

#include "common/result.h"
#include "common/scope_exit.h"

namespace common {
namespace {

// A name beside the destination that no other run is using: the temporary
// file must live in the destination's folder so that the final rename stays
// on one volume and is atomic.
Path TemporaryPathFor(const Path& destination) {
  static std::atomic<std::uint32_t> counter{0};
  auto ticks = static_cast<std::uint64_t>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  std::string suffix = ".karstel-" + std::to_string(ticks % 1000000007u) + "-" +
                       std::to_string(counter.fetch_add(1)) + ".tmp";
  Path name = destination.filename();
  name += suffix;
  return destination.parent_path() / name;
}

}  // namespace

void WriteFileAtomically(FileSystem& fs, const Path& destination,
                         const std::function<void(OutputFile&)>& write) {
  Path temporary = TemporaryPathFor(destination);
  auto file = fs.CreateForWrite(temporary);
  auto removeTemporary = ScopeExit([&] {
    file.reset();
    fs.RemoveFile(temporary);
  });
  write(*file);
  file->Flush();
  file->Close();
  file.reset();
  fs.ReplaceFile(temporary, destination);
  removeTemporary.Release();
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
