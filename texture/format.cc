#include "texture/format.h"

#include <algorithm>
#include <array>

namespace texture {

std::uint32_t FormatBits(std::uint32_t format) {
  if (format >= 1 && format <= 4) return 128;
  if (format >= 5 && format <= 8) return 96;
  if (format >= 9 && format <= 22) return 64;
  if ((format >= 23 && format <= 47) || (format >= 67 && format <= 69) ||
      (format >= 87 && format <= 93))
    return 32;
  if ((format >= 48 && format <= 59) || format == 85 || format == 86 ||
      format == 115)
    return 16;
  if (format >= 60 && format <= 65) return 8;
  if (format == 66) return 1;
  return 0;
}

std::uint32_t BlockBytes(std::uint32_t format) {
  switch (format) {
    case 70:
    case 71:
    case 72:
    case 79:
    case 80:
    case 81:
      return 8;
    default:
      return 16;
  }
}

bool IsTypeless(std::uint32_t format) {
  static constexpr std::array<std::uint32_t, 28> kTypeless = {
      1,  5,  9,  15, 19, 21, 22, 23, 27, 33, 39, 44, 46,  47,
      48, 53, 60, 70, 73, 76, 79, 82, 90, 92, 94, 97, 119, 120};
  return std::find(kTypeless.begin(), kTypeless.end(), format) !=
         kTypeless.end();
}

bool IsPlanar(std::uint32_t format) {
  return (format >= 103 && format <= 106) || format == 110 ||
         (format >= 118 && format <= 120) || (format >= 130 && format <= 132);
}

bool IsPalettized(std::uint32_t format) {
  return format >= 111 && format <= 114;
}

}  // namespace texture
