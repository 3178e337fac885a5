#include "app/discovery/registry.h"

#include <algorithm>
#include <array>

namespace app {

std::uint32_t RegistryReader::ReadFolder(const RegistrySource& source,
                                         std::u16string& folder) {
  std::array<char16_t, kRegistryValueUnits> buffer{};
  std::uint32_t byteCount = sizeof buffer;
  std::uint32_t error = ReadString(source, buffer, byteCount);
  if (error != 0) return error;
  // The stored bytes include the terminator; guard against a count that is
  // too small to hold one or larger than the buffer.
  std::size_t units = std::min<std::size_t>(byteCount / 2, buffer.size());
  folder.assign(buffer.data(), units > 0 ? units - 1 : 0);
  // A value with an embedded terminator names only its first part, as every
  // platform call taking the path would see it.
  folder.erase(std::min(folder.find(u'\0'), folder.size()));
  return 0;
}

}  // namespace app
