// The three game variants and where their files sit under a game folder.
#pragma once

#include <array>
#include <string_view>

#include "common/file_system.h"

namespace app {

/// The game variants, declared in the order a generation processes them:
/// TBoGT comes before TLAD, unlike the dialog's checkboxes.
enum class Episode { IV, TBoGT, TLAD };

inline constexpr std::array<Episode, 3> kEpisodeOrder = {
    Episode::IV, Episode::TBoGT, Episode::TLAD};

/// "IV", "TBoGT" or "TLAD", as the checkboxes name them.
std::string_view EpisodeName(Episode episode);

/// The variant's fonts.wtd relative to the game folder, such as
/// "TBoGT\pc\textures\fonts.wtd" (native separators).
common::Path FontsWtdPath(Episode episode);

/// "plugins\Lirvane\char_table.dat" relative to the game folder.
common::Path CharacterTablePath();

/// Joins folder and relative part with one separator: none is added when the
/// folder already ends in one, and an empty folder adds nothing.
common::Path AppendPath(const common::Path& folder,
                        const common::Path& relative);

}  // namespace app
