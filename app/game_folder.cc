#include "app/game_folder.h"

#include <algorithm>
#include <array>

#include "app/episode.h"
#include "common/hresult.h"
#include "common/result.h"
#include "common/text.h"

namespace app {
namespace {

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

bool IsRegularFile(common::FileSystem& fs, const common::Path& path) {
  return fs.StatusOf(path) == common::EntryKind::RegularFile;
}

bool HasAllFontsWtd(common::FileSystem& fs, const common::Path& folder) {
  return std::all_of(
      kEpisodeOrder.begin(), kEpisodeOrder.end(), [&](Episode episode) {
        return IsRegularFile(fs, AppendPath(folder, FontsWtdPath(episode)));
      });
}

bool ResolveGameFolder(common::FileSystem& fs, common::Path& folder) {
  if (HasAllFontsWtd(fs, folder)) return true;
  folder = AppendPath(folder, kGameSubfolder);
  return HasAllFontsWtd(fs, folder);
}

bool HasCharacterTable(common::FileSystem& fs, const common::Path& folder) {
  return IsRegularFile(fs, AppendPath(folder, CharacterTablePath()));
}

bool DetectGameFolder(common::FileSystem& fs, MessageSink& messages,
                      RegistryReader& registry, common::Path& gameFolder) {
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
  if (!CheckLogged([&] { return ResolveGameFolder(fs, folder); })) {
    messages.ShowMessage(MessageIcon::Warning, kDetectedWithoutFontsWtd);
    return false;
  }
  if (!CheckLogged([&] { return HasCharacterTable(fs, folder); })) {
    messages.ShowMessage(MessageIcon::Warning, kDetectedWithoutCharacterTable);
    return false;
  }
  gameFolder = std::move(folder);
  return true;
}

bool AcceptChosenFolder(common::FileSystem& fs, MessageSink& messages,
                        common::Path chosen, common::Path& gameFolder) {
  if (!ResolveGameFolder(fs, chosen)) {
    messages.ShowMessage(MessageIcon::Warning, kChosenWithoutFontsWtd);
    return false;
  }
  if (!HasCharacterTable(fs, chosen)) {
    messages.ShowMessage(MessageIcon::Warning, kChosenWithoutCharacterTable);
    return false;
  }
  gameFolder = std::move(chosen);
  return true;
}

}  // namespace app
