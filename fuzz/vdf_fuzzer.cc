// Steam's libraryfolders.vdf and appmanifest_12210.acf: parsed or refused,
// and what is taken from them is safe to join to a path.
#include "app/discovery/steam_library.h"
#include "app/discovery/vdf.h"
#include "fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string_view text = fuzz::TextOf(data, size);
  app::ParseVdf(text);
  for (const common::Path& library : app::ParseLibraryFolders(text))
    fuzz::Check(library.is_absolute(), "libraries are absolute paths");
  if (auto dir = app::ParseInstallDir(text)) {
    fuzz::Check(!dir->empty() &&
                    dir->find_first_of("/\\") == std::string::npos &&
                    *dir != "." && *dir != "..",
                "the install folder is one name inside steamapps/common");
  }
  return 0;
}
