// The registry reader of a system without a registry: players on Linux and
// Steam Deck run the game in a Wine or Proton prefix, so the game's own
// value comes from a prefix's system.reg and Steam's from its library files.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "app/discovery/registry.h"
#include "common/file_system.h"

namespace app {

/// The parts of the user's environment that detection looks at.
struct HostEnvironment {
  common::Path home;        ///< $HOME
  common::Path winePrefix;  ///< $WINEPREFIX, empty when unset
};

/// The prefixes to search, in order: $WINEPREFIX, ~/.wine, then
/// steamapps/compatdata/12210/pfx of every Steam library; each once.
std::vector<common::Path> WinePrefixes(
    const HostEnvironment& environment,
    const std::vector<common::Path>& steamLibraries);

/// The host path of a Windows path inside a prefix: "C:\Games\GTAIV" goes
/// through the prefix's dosdevices/c: link. Nothing for a drive the prefix
/// does not have or a path without a drive letter.
std::optional<common::Path> MapWindowsPath(const common::Path& prefix,
                                           std::u16string_view windowsPath);

/// Source 1 from the first prefix whose system.reg holds the value (the
/// 32-bit view being Wow6432Node in a 64-bit prefix), mapped to a host path;
/// source 2 from the Steam libraries. The value handed out is the host path.
class WineSteamRegistry final : public RegistryReader {
 public:
  WineSteamRegistry(common::FileSystem& fs, HostEnvironment environment)
      : fs_(fs), environment_(std::move(environment)) {}

  std::uint32_t ReadString(const RegistrySource& source,
                           std::span<char16_t> buffer,
                           std::uint32_t& byteCount) override;
  /// The host path, however long; the value in the prefix must fit the
  /// registry's 512 units, as it must on Windows.
  std::uint32_t ReadFolder(const RegistrySource& source,
                           std::u16string& folder) override;

 private:
  /// The host folder, or the Win32 error of a value that cannot be read.
  std::uint32_t Find(const RegistrySource& source, common::Path& folder);
  std::uint32_t FromPrefixes(const RegistrySource& source,
                             common::Path& folder);

  common::FileSystem& fs_;
  HostEnvironment environment_;
};

}  // namespace app
