// Reading string values from a Wine registry file such as a prefix's
// system.reg: "[key\\path] time" section lines followed by value lines
// "name"="data", with C-like escapes, \xHHHH code units and lines continued
// by a trailing backslash. Malformed input never fails loudly: what cannot
// be read simply is not found.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace app {

/// Looks up the REG_SZ value `valueName` ("" for the default value) of the
/// key `keyPath` (backslash-separated, relative to the file's root); both
/// compared without regard to ASCII case. On success returns 0 and stores
/// the data without its terminator in `data`. Otherwise returns 2 when the
/// key or value is absent (or the text is malformed where it lies) and 1630
/// when the value has another type.
std::uint32_t FindWineRegistryString(std::string_view fileText,
                                     std::u16string_view keyPath,
                                     std::u16string_view valueName,
                                     std::u16string& data);

/// True when the file says its prefix is 32-bit ("#arch=win32"): such a
/// prefix has no Wow6432Node, its only view is the 32-bit one.
bool IsWin32Registry(std::string_view fileText);

}  // namespace app
