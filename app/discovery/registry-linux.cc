#include "app/discovery/registry.h"

#include <cstdlib>

#include "app/discovery/wine_steam_registry.h"
#include "common/text.h"

namespace app {
namespace {

common::Path PathFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value ? common::PathFromUtf8(value) : common::Path();
}

// Owns the file system the reader goes through.
class LinuxRegistryReader final : public RegistryReader {
 public:
  LinuxRegistryReader()
      : reader_(fs_, HostEnvironment{PathFromEnvironment("HOME"),
                                     PathFromEnvironment("WINEPREFIX")}) {}
  std::uint32_t ReadString(const RegistrySource& source,
                           std::span<char16_t> buffer,
                           std::uint32_t& byteCount) override {
    return reader_.ReadString(source, buffer, byteCount);
  }

 private:
  common::RealFileSystem fs_;
  WineSteamRegistry reader_;
};

}  // namespace

std::unique_ptr<RegistryReader> MakeSystemRegistryReader() {
  return std::make_unique<LinuxRegistryReader>();
}

}  // namespace app
