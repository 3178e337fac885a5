// The char_table.dat of a sample game folder, for players and tests without
// the localisation patch.
#pragma once

#include <string>

namespace app {

/// The GB2312 level-1 hanzi, a line break after each GB2312 row, then common
/// full-width punctuation, full-width digits and small letters, and the
/// quote characters of both styles. Fits the atlas grid.
std::u16string SampleCharacterTable();

}  // namespace app
