// Decimal numbers typed by people or written into names by this program:
// one strict reader, so that no caller accepts a sign, a blank or a number
// that wrapped around.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace common {

/// The value of `digits`, ASCII '0' to '9' only (no sign, blank or base
/// prefix). Nothing when it is empty, holds anything else or exceeds 64
/// bits.
std::optional<std::uint64_t> ParseDecimal(std::string_view digits);

}  // namespace common
