#include "app/discovery/steam_library.h"

#include <algorithm>
#include <set>

#include "app/discovery/settings_file.h"
#include "app/discovery/vdf.h"
#include "common/result.h"
#include "common/text.h"

namespace app {
namespace {

// Steam's files are small; anything larger is not one of them.
constexpr std::uint64_t kMaxSteamFileBytes = 4 << 20;

// Steam's files are not guaranteed to be valid UTF-8; broken sequences
// become U+FFFD rather than a conversion failure.
common::Path PathFromText(std::string_view text) {
  return common::PathFromUtf8(common::Utf16ToUtf8(common::Utf8ToUtf16(text)));
}

bool IsAllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return c >= '0' && c <= '9';
  });
}

// Two spellings of one folder (a link, a trailing separator) compare equal.
common::Path Identity(common::FileSystem& fs, const common::Path& folder) {
  try {
    return fs.CanonicalPath(folder);
  } catch (const common::ResultException&) {
    return folder.lexically_normal();
  }
}

// A library file may list thousands of folders: a set keeps this linear.
void AddOnce(common::FileSystem& fs, std::vector<common::Path>& folders,
             std::set<common::Path>& identities, const common::Path& folder) {
  if (identities.insert(Identity(fs, folder)).second) folders.push_back(folder);
}

// A folder that cannot be looked at counts as none.
bool IsFolder(common::FileSystem& fs, const common::Path& path) {
  try {
    return fs.StatusOf(path) == common::EntryKind::Folder;
  } catch (...) {
    LOG_CAUGHT_EXCEPTION();
    return false;
  }
}

}  // namespace

std::vector<common::Path> SteamRoots(const common::Path& home) {
  return {home / ".local" / "share" / "Steam", home / ".steam" / "steam",
          home / ".steam" / "root",
          home / ".var" / "app" / "com.valvesoftware.Steam" / ".local" /
              "share" / "Steam"};
}

std::vector<common::Path> ParseLibraryFolders(std::string_view text) {
  std::vector<common::Path> libraries;
  std::optional<VdfNode> root = ParseVdf(text);
  if (!root || root->children.empty() || !root->children[0].isBlock)
    return libraries;
  for (const VdfNode& entry : root->children[0].children) {
    if (!IsAllDigits(entry.key)) continue;
    std::optional<std::string> path =
        entry.isBlock ? entry.ValueOf("path") : entry.value;
    if (!path || path->empty()) continue;
    common::Path folder = PathFromText(*path);
    if (folder.is_absolute()) libraries.push_back(folder);
  }
  return libraries;
}

std::optional<std::string> ParseInstallDir(std::string_view text) {
  std::optional<VdfNode> root = ParseVdf(text);
  if (!root) return std::nullopt;
  const VdfNode* state = root->Find("AppState");
  if (!state || !state->isBlock) return std::nullopt;
  std::optional<std::string> dir = state->ValueOf("installdir");
  // A manifest must not lead anywhere but one folder below steamapps/common.
  if (!dir || dir->empty() || *dir == "." || *dir == ".." ||
      dir->find_first_of("/\\:") != std::string::npos ||
      dir->find('\0') != std::string::npos)
    return std::nullopt;
  return dir;
}

std::vector<common::Path> SteamLibraries(common::FileSystem& fs,
                                         const common::Path& home) {
  std::vector<common::Path> libraries;
  std::set<common::Path> identities;
  for (const common::Path& root : SteamRoots(home)) {
    if (!IsFolder(fs, root)) continue;
    AddOnce(fs, libraries, identities, root);
    for (const char* place : {"steamapps", "config"}) {
      auto text = ReadSettingsFile(fs, root / place / "libraryfolders.vdf",
                                   kMaxSteamFileBytes);
      if (!text) continue;
      for (const common::Path& library : ParseLibraryFolders(*text))
        if (IsFolder(fs, library)) AddOnce(fs, libraries, identities, library);
    }
  }
  return libraries;
}

std::optional<common::Path> FindSteamApp(
    common::FileSystem& fs, const std::vector<common::Path>& libraries,
    std::string_view appId) {
  std::string manifest = "appmanifest_" + std::string(appId) + ".acf";
  for (const common::Path& library : libraries) {
    auto text = ReadSettingsFile(fs, library / "steamapps" / manifest,
                                 kMaxSteamFileBytes);
    if (!text) continue;
    std::optional<std::string> dir = ParseInstallDir(*text);
    if (dir) return library / "steamapps" / "common" / PathFromText(*dir);
  }
  return std::nullopt;
}

}  // namespace app
