#include "app/discovery/wine_steam_registry.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "app/discovery/settings_file.h"
#include "app/discovery/steam_library.h"
#include "app/discovery/wine_registry.h"
#include "common/result.h"
#include "common/text.h"

namespace app {
namespace {

// A prefix's system.reg grows with what is installed in it, to a few dozen
// MiB at most; a larger one is no registry of a prefix, and is not read.
constexpr std::uint64_t kMaxRegistryFileBytes = 64u << 20;

// The key as a 64-bit prefix stores it for the given view: 32-bit programs'
// HKLM\Software lives under Software\Wow6432Node.
std::u16string KeyInPrefix(const RegistrySource& source, bool win32Prefix) {
  std::u16string key(source.key);
  constexpr std::u16string_view kSoftware = u"Software\\";
  if (source.view == RegistryView::Bits32 && !win32Prefix &&
      key.size() > kSoftware.size() &&
      std::equal(
          kSoftware.begin(), kSoftware.end(), key.begin(),
          [](char16_t a, char16_t b) { return (a | 0x20) == (b | 0x20); }))
    key.insert(kSoftware.size(), u"Wow6432Node\\");
  return key;
}

bool IsDriveLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

}  // namespace

std::vector<common::Path> WinePrefixes(
    const HostEnvironment& environment,
    const std::vector<common::Path>& steamLibraries) {
  std::vector<common::Path> prefixes;
  std::set<common::Path> seen;
  auto add = [&](const common::Path& prefix) {
    if (!prefix.empty() && seen.insert(prefix).second)
      prefixes.push_back(prefix);
  };
  add(environment.winePrefix);
  if (!environment.home.empty()) add(environment.home / ".wine");
  for (const common::Path& library : steamLibraries)
    add(library / "steamapps" / "compatdata" /
        common::PathFromUtf8(kGameSteamAppId) / "pfx");
  return prefixes;
}

std::optional<common::Path> MapWindowsPath(const common::Path& prefix,
                                           std::u16string_view windowsPath) {
  if (windowsPath.starts_with(u"\\\\?\\")) windowsPath.remove_prefix(4);
  if (windowsPath.size() < 2 || !IsDriveLetter(windowsPath[0]) ||
      windowsPath[1] != u':')
    return std::nullopt;
  char16_t drive = windowsPath[0] | 0x20;
  std::u16string deviceName{drive, u':'};
  std::error_code error;
  common::Path device = std::filesystem::canonical(
      prefix / "dosdevices" /
          common::PathFromUtf8(common::Utf16ToUtf8(deviceName)),
      error);
  if (error) return std::nullopt;

  // Windows names folders case-blind and lets ".." climb; only the climbing
  // is followed here, bounded by the drive's root.
  std::vector<std::u16string> parts;
  std::size_t start = 2;
  while (start <= windowsPath.size()) {
    std::size_t end = windowsPath.find_first_of(u"\\/", start);
    if (end == std::u16string_view::npos) end = windowsPath.size();
    std::u16string part(windowsPath.substr(start, end - start));
    start = end + 1;
    if (part.empty() || part == u".") continue;
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(std::move(part));
  }
  common::Path host = device;
  for (const std::u16string& part : parts)
    host /= common::PathFromUtf8(common::Utf16ToUtf8(part));
  return host;
}

std::uint32_t WineSteamRegistry::FromPrefixes(const RegistrySource& source,
                                              common::Path& folder) {
  std::vector<common::Path> libraries = SteamLibraries(fs_, environment_.home);
  for (const common::Path& prefix : WinePrefixes(environment_, libraries)) {
    auto text =
        ReadSettingsFile(fs_, prefix / "system.reg", kMaxRegistryFileBytes);
    if (!text) continue;
    std::u16string value;
    std::u16string key = KeyInPrefix(source, IsWin32Registry(*text));
    if (FindWineRegistryString(*text, key, source.valueName, value) != 0)
      continue;
    // The value, as Windows would read it, must fit the registry buffer;
    // the host path it maps to may be longer.
    if (value.size() + 1 > kRegistryValueUnits) return kRegistryMoreData;
    // An empty value is a value: the caller decides what it means.
    if (value.empty()) {
      folder.clear();
      return 0;
    }
    if (auto host = MapWindowsPath(prefix, value)) {
      folder = *host;
      return 0;
    }
  }
  return kRegistryFileNotFound;
}

std::uint32_t WineSteamRegistry::Find(const RegistrySource& source,
                                      common::Path& folder) {
  // Whatever the files hold, a read ends in a value or "not found".
  try {
    if (source.key != kSteamSource.key) return FromPrefixes(source, folder);
    // Steam's own record holds the library path itself.
    std::optional<common::Path> app = FindSteamApp(
        fs_, SteamLibraries(fs_, environment_.home), kGameSteamAppId);
    if (!app) return kRegistryFileNotFound;
    folder = *app;
    return 0;
  } catch (...) {
    LOG_CAUGHT_EXCEPTION();
    return kRegistryFileNotFound;
  }
}

std::uint32_t WineSteamRegistry::ReadFolder(const RegistrySource& source,
                                            std::u16string& folder) {
  common::Path host;
  std::uint32_t error = Find(source, host);
  if (error == 0) folder = common::Utf8ToUtf16(common::PathToUtf8(host));
  return error;
}

std::uint32_t WineSteamRegistry::ReadString(const RegistrySource& source,
                                            std::span<char16_t> buffer,
                                            std::uint32_t& byteCount) {
  std::u16string text;
  std::uint32_t error = ReadFolder(source, text);
  if (error != 0) return error;
  std::size_t needed = (text.size() + 1) * sizeof(char16_t);
  std::size_t room =
      std::min<std::size_t>(byteCount, buffer.size() * sizeof(char16_t));
  if (needed > room) {
    byteCount = static_cast<std::uint32_t>(needed);
    return kRegistryMoreData;
  }
  std::copy(text.begin(), text.end(), buffer.begin());
  buffer[text.size()] = u'\0';
  byteCount = static_cast<std::uint32_t>(needed);
  return 0;
}

}  // namespace app
