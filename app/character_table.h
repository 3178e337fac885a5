// The localisation patch's char_table.dat: the characters the atlas holds,
// in atlas order.
//
// Format, little-endian: a 32-bit count, then count 32-bit code points.
// The file is exactly 4 + 4 x count bytes long.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_system.h"

namespace app {

/// One UTF-16 code unit per entry, in file order; nothing sorted, removed or
/// added.
using CharacterTable = std::u16string;

/// The most entries a table may have: one per code unit.
inline constexpr std::uint32_t kMaxCharacterTableEntries = 65536;

/// Reads the whole table from `file`, positioned at its start. Throws
/// 0x80070026 when the count or the entries arrive short, E_INVALIDARG when
/// the file size is not 4 + 4 x count, 0x800700DF (with words for the
/// player) for more than kMaxCharacterTableEntries entries, E_NOTIMPL for an
/// entry above U+FFFF, and what the file throws.
CharacterTable ReadCharacterTable(common::InputFile& file);

/// The file image of a table of `units`: the writer's side of the format.
std::vector<std::byte> EncodeCharacterTable(std::u16string_view units);

}  // namespace app
