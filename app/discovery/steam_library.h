// Finding a Steam app on Linux: the Steam installations of a home folder,
// their libraries (libraryfolders.vdf) and an app's folder in them
// (appmanifest_<id>.acf and steamapps/common/<installdir>).
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "common/file_system.h"

namespace app {

/// GTA IV's Steam app id.
inline constexpr std::string_view kGameSteamAppId = "12210";

/// Where Steam lives under a home folder, in the order they are searched:
/// ~/.local/share/Steam, ~/.steam/steam, ~/.steam/root and the Flatpak one.
std::vector<common::Path> SteamRoots(const common::Path& home);

/// Every library of the Steam installations under `home`: each existing
/// root, then the folders its libraryfolders.vdf lists; each folder once,
/// even when reached through links.
std::vector<common::Path> SteamLibraries(common::FileSystem& fs,
                                         const common::Path& home);

/// The folder of an installed app: steamapps/common/<installdir> of the
/// first library whose appmanifest_<appId>.acf names one. An installdir
/// that is not one plain folder name is refused.
std::optional<common::Path> FindSteamApp(
    common::FileSystem& fs, const std::vector<common::Path>& libraries,
    std::string_view appId);

/// The libraries listed in the text of a libraryfolders.vdf (both the
/// current "path" blocks and the older bare entries); only absolute paths.
std::vector<common::Path> ParseLibraryFolders(std::string_view text);

/// The installdir of an appmanifest_<id>.acf's text, when it is one plain
/// folder name.
std::optional<std::string> ParseInstallDir(std::string_view text);

}  // namespace app
