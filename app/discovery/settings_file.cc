#include "app/discovery/settings_file.h"

#include "common/result.h"
#include "common/text.h"

namespace app {

std::optional<std::string> ReadSettingsFile(common::FileSystem& fs,
                                            const common::Path& path,
                                            std::uint64_t maxBytes) {
  try {
    if (fs.StatusOf(path) != common::EntryKind::RegularFile)
      return std::nullopt;
    auto file = fs.OpenForRead(path);
    std::uint64_t size = file->Size();
    if (size > maxBytes) {
      common::LogFailedHr(
          common::kFileTooLarge, std::source_location::current(),
          KARSTEL_RETURN_ADDRESS(),
          common::PathToUtf8(path) + " 过大，不是设置文件，未读取");
      return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    std::size_t done = 0;
    while (done < text.size()) {
      std::size_t got = file->Read(
          std::as_writable_bytes(std::span<char>(text).subspan(done)));
      if (got == 0) break;  // shrank while we read: take what is there
      done += got;
    }
    text.resize(done);
    return text;
  } catch (...) {
    LOG_CAUGHT_EXCEPTION();
    return std::nullopt;
  }
}

}  // namespace app
