// Little-endian field access inside segments and host blocks. Segments are
// byte arrays with no alignment promise, so every access goes through memcpy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace resource {

inline std::uint32_t Read32(const std::byte* p) {
  std::uint8_t b[4];
  std::memcpy(b, p, 4);
  return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 |
         std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24;
}

inline std::uint16_t Read16(const std::byte* p) {
  std::uint8_t b[2];
  std::memcpy(b, p, 2);
  return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

inline void Write32(std::byte* p, std::uint32_t v) {
  std::uint8_t b[4] = {
      static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
      static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
  std::memcpy(p, b, 4);
}

inline void Write16(std::byte* p, std::uint16_t v) {
  std::uint8_t b[2] = {static_cast<std::uint8_t>(v),
                       static_cast<std::uint8_t>(v >> 8)};
  std::memcpy(p, b, 2);
}

}  // namespace resource
