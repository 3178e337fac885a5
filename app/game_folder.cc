#include "app/game_folder.h"

#include <algorithm>
#include <array>
#include <system_error>

#include "app/episode.h"
#include "common/hresult.h"
#include "common/result.h"
#include "common/text.h"

namespace app {
namespace {

// Failures of a status query that mean "there is nothing there".
bool MeansAbsent(const std::error_code& error) {
  if (error == std::errc::no_such_file_or_directory ||
      error == std::errc::not_a_directory ||
      error == std::errc::invalid_argument ||
      error == std::errc::filename_too_long)
    return true;
#if defined(_WIN32)
  // ERROR_INVALID_NAME, ERROR_BAD_NETPATH, ERROR_BAD_NET_NAME,
  // ERROR_BAD_PATHNAME when the runtime reports the Win32 code itself.
  if (error.category() == std::system_category()) {
    switch (error.value()) {
      case 2:
      case 3:
      case 53:
      case 67:
      case 123:
      case 161:
        return true;
    }
  }
#endif
  return false;
}

// Reads one source into `value`, the string without its terminator. A failed
// read is logged and returns false.
bool ReadSource(RegistryReader& registry, const RegistrySource& source,
                std::u16string& value) {
  std::uint32_t error = registry.ReadFolder(source, value);
  if (error != 0) {
    LOG_HR(common::HresultFromWin32(error));
    return false;
  }
  return true;
}

common::Path PathFromUtf16(const std::u16string& text) {
  return common::PathFromUtf8(common::Utf16ToUtf8(text));
}

// A file test during detection that fails for a reason other than absence is
// logged and counts as a failed check; detection never throws at the user.
template <typename Check>
bool CheckLogged(Check check) {
  try {
    return check();
  } catch (...) {
    LOG_CAUGHT_EXCEPTION();
    return false;
  }
}

}  // namespace

bool IsRegularFile(const common::Path& path) {
  std::error_code error;
  std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) {
    if (MeansAbsent(error)) return false;
    throw std::filesystem::filesystem_error("status", path, error);
  }
  return std::filesystem::is_regular_file(status);
}

bool HasAllFontsWtd(const common::Path& folder) {
  return std::all_of(
      kEpisodeOrder.begin(), kEpisodeOrder.end(), [&](Episode episode) {
        return IsRegularFile(AppendPath(folder, FontsWtdPath(episode)));
      });
}

bool ResolveGameFolder(common::Path& folder) {
  if (HasAllFontsWtd(folder)) return true;
  folder = AppendPath(folder, kGameSubfolder);
  return HasAllFontsWtd(folder);
}

bool HasCharacterTable(const common::Path& folder) {
  return IsRegularFile(AppendPath(folder, CharacterTablePath()));
}

bool DetectGameFolder(MessageSink& messages, RegistryReader& registry,
                      common::Path& gameFolder) {
  // Source 2 only when source 1 cannot be read at all: not when it is empty
  // and not when its folder fails the checks.
  std::u16string value;
  if (!ReadSource(registry, kRockstarSource, value))
    ReadSource(registry, kSteamSource, value);
  if (value.empty()) {
    messages.ShowMessage(MessageIcon::Warning, kNoGameFolderFound);
    return false;
  }
  common::Path folder = PathFromUtf16(value);
  if (!CheckLogged([&] { return ResolveGameFolder(folder); })) {
    messages.ShowMessage(MessageIcon::Warning, kDetectedWithoutFontsWtd);
    return false;
  }
  if (!CheckLogged([&] { return HasCharacterTable(folder); })) {
    messages.ShowMessage(MessageIcon::Warning, kDetectedWithoutCharacterTable);
    return false;
  }
  gameFolder = std::move(folder);
  return true;
}

bool AcceptChosenFolder(MessageSink& messages, common::Path chosen,
                        common::Path& gameFolder) {
  if (!ResolveGameFolder(chosen)) {
    messages.ShowMessage(MessageIcon::Warning, kChosenWithoutFontsWtd);
    return false;
  }
  if (!HasCharacterTable(chosen)) {
    messages.ShowMessage(MessageIcon::Warning, kChosenWithoutCharacterTable);
    return false;
  }
  gameFolder = std::move(chosen);
  return true;
}

}  // namespace app
