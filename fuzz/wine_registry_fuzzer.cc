// A Wine prefix's system.reg: the reader finds the value, says it is absent
// or of another type, and never fails otherwise.
#include "app/discovery/wine_registry.h"
#include "fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string_view text = fuzz::TextOf(data, size);
  for (std::u16string_view key :
       {u"Software\\Wow6432Node\\Rockstar Games\\Grand Theft Auto IV",
        u"Software\\Rockstar Games\\Grand Theft Auto IV"}) {
    for (std::u16string_view name :
         {u"InstallFolder", u"InstallLocation", u""}) {
      std::u16string value = u"unchanged";
      std::uint32_t error = app::FindWineRegistryString(text, key, name, value);
      fuzz::Check(error == 0 || error == 2 || error == 1630,
                  "found, absent or of another type");
      if (error != 0) fuzz::Check(value == u"unchanged", "no data on failure");
    }
  }
  app::IsWin32Registry(text);
  return 0;
}
