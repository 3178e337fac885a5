#include "render/font.h"

#include <algorithm>

namespace render {

std::u16string FaceName(const LogFont& font) {
  auto end = std::find(font.faceName.begin(), font.faceName.end(), u'\0');
  return std::u16string(font.faceName.begin(), end);
}

void SetFaceName(LogFont& font, std::u16string_view name) {
  font.faceName.fill(u'\0');
  std::size_t n = std::min<std::size_t>(name.size(), font.faceName.size() - 1);
  std::copy_n(name.begin(), n, font.faceName.begin());
}

}  // namespace render
