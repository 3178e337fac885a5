// Text as the bytes a test writes into a file.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

namespace testutil {

inline std::vector<std::byte> BytesOf(std::string_view text) {
  std::vector<std::byte> out(text.size());
  std::memcpy(out.data(), text.data(), text.size());
  return out;
}

}  // namespace testutil
