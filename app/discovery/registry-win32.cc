#include "app/discovery/registry.h"

#include <windows.h>

namespace app {
namespace {

class Win32RegistryReader final : public RegistryReader {
 public:
  std::uint32_t ReadString(const RegistrySource& source,
                           std::span<char16_t> buffer,
                           std::uint32_t& byteCount) override {
    DWORD flags = RRF_RT_REG_SZ |
                  (source.view == RegistryView::Bits32 ? RRF_SUBKEY_WOW6432KEY
                                                       : RRF_SUBKEY_WOW6464KEY);
    std::wstring key(source.key.begin(), source.key.end());
    std::wstring value(source.valueName.begin(), source.valueName.end());
    DWORD size = byteCount;
    LSTATUS status =
        ::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value.c_str(), flags,
                       nullptr, buffer.data(), &size);
    byteCount = size;
    return static_cast<std::uint32_t>(status);
  }
};

}  // namespace

std::unique_ptr<RegistryReader> MakeSystemRegistryReader() {
  return std::make_unique<Win32RegistryReader>();
}

}  // namespace app
