#include "common/decimal.h"

#include <charconv>

namespace common {

std::optional<std::uint64_t> ParseDecimal(std::string_view digits) {
  // from_chars takes no blank or '+', and no '-' for an unsigned type.
  std::uint64_t value = 0;
  const char* end = digits.data() + digits.size();
  auto [stop, error] = std::from_chars(digits.data(), end, value);
  if (digits.empty() || error != std::errc() || stop != end)
    return std::nullopt;
  return value;
}

}  // namespace common
