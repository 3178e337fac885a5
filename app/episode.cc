#include "app/episode.h"

namespace app {
namespace {

bool IsSeparator(common::Path::value_type c) {
  return c == common::Path::preferred_separator || c == '/';
}

}  // namespace

std::string_view EpisodeName(Episode episode) {
  switch (episode) {
    case Episode::IV:
      return "IV";
    case Episode::TBoGT:
      return "TBoGT";
    case Episode::TLAD:
      return "TLAD";
  }
  return "";
}

common::Path FontsWtdPath(Episode episode) {
  common::Path textures = common::Path("pc") / "textures" / "fonts.wtd";
  switch (episode) {
    case Episode::IV:
      return textures;
    case Episode::TBoGT:
      return common::Path("TBoGT") / textures;
    case Episode::TLAD:
      return common::Path("TLAD") / textures;
  }
  return textures;
}

common::Path CharacterTablePath() {
  return common::Path("plugins") / "Lirvane" / "char_table.dat";
}

// std::filesystem's operator/ would drop the folder for an absolute relative
// part and writes "C:pc" for a bare drive; the game folder is always joined
// the same plain way instead.
common::Path AppendPath(const common::Path& folder,
                        const common::Path& relative) {
  const auto& base = folder.native();
  if (base.empty()) return relative;
  auto joined = base;
  if (!IsSeparator(joined.back())) joined += common::Path::preferred_separator;
  joined += relative.native();
  return common::Path(std::move(joined));
}

}  // namespace app
