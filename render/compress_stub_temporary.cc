// TEMPORARY: lets the render library link until the compression driver
// lands on main. Remove before merging.
#include "texture/compress.h"

namespace texture {
HRESULT CompressImage(const ImageView&, std::uint32_t, std::uint32_t, float,
                      CompressedImage&) {
  return common::kENotImpl;
}
}  // namespace texture
