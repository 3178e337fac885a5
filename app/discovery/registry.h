// Reading the two registry strings that name the game folder. On Windows
// this is the registry itself; on Linux the game runs in a Wine or Proton
// prefix, so the same questions are answered from the prefix's registry
// file and from Steam's library files.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace app {

/// Which view of HKEY_LOCAL_MACHINE a value is read from.
enum class RegistryView { Bits32, Bits64 };

/// A string value under HKEY_LOCAL_MACHINE.
struct RegistrySource {
  std::u16string_view key;
  std::u16string_view valueName;
  RegistryView view;
};

/// Source 1: the game's own installer.
inline constexpr RegistrySource kRockstarSource{
    u"Software\\Rockstar Games\\Grand Theft Auto IV", u"InstallFolder",
    RegistryView::Bits32};
/// Source 2: Steam's record of app 12210.
inline constexpr RegistrySource kSteamSource{
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    u"Steam App 12210",
    u"InstallLocation", RegistryView::Bits64};

/// RegGetValueW reads a value into this many UTF-16 units, terminator
/// included; a longer value fails to read and counts as absent.
inline constexpr std::uint32_t kRegistryValueUnits = 512;

// Win32 error numbers a reader reports.
inline constexpr std::uint32_t kRegistryFileNotFound = 2;
inline constexpr std::uint32_t kRegistryMoreData = 234;
inline constexpr std::uint32_t kRegistryUnsupportedType = 1630;

class RegistryReader {
 public:
  virtual ~RegistryReader() = default;
  /// Reads a REG_SZ value into `buffer` as RegGetValueW does: returns 0 and
  /// sets `byteCount` to the bytes stored, terminator included, or returns a
  /// Win32 error (2 when absent, 234 when the value does not fit in
  /// `byteCount` bytes, 1630 for another type). On entry `byteCount` is the
  /// buffer's size in bytes.
  virtual std::uint32_t ReadString(const RegistrySource& source,
                                   std::span<char16_t> buffer,
                                   std::uint32_t& byteCount) = 0;
  /// The folder a source names, as game-folder detection reads it: the
  /// value read into kRegistryValueUnits units and cut at an embedded
  /// terminator. Returns 0 or the Win32 error of the read. A reader that
  /// answers with a host path of its own overrides this, so that the limit
  /// applies to the value and not to the (longer) path it hands out.
  virtual std::uint32_t ReadFolder(const RegistrySource& source,
                                   std::u16string& folder);
};

/// This system's reader: the registry on Windows; on Linux the Wine and
/// Proton prefixes and the Steam libraries of the user's home.
std::unique_ptr<RegistryReader> MakeSystemRegistryReader();

}  // namespace app
