#include "texture/block_pixels.h"

#include "texture/image.h"

namespace texture {

bool UnpackRow(Rgba* destination, std::size_t n, const std::byte* source,
               std::size_t byteCount, std::uint32_t format) {
  if (format != DXGI_FORMAT_B8G8R8A8_UNORM || byteCount < 4) return false;
  // A multiplication, not a division by 255: the two differ in the last
  // bit for about half the byte values, and the encoder sees every bit.
  for (std::size_t i = 0; i < n && byteCount - 4 * i >= 4; ++i) {
    const std::byte* p = source + 4 * i;
    destination[i] = {static_cast<float>(p[2]) * bc3::k255,
                      static_cast<float>(p[1]) * bc3::k255,
                      static_cast<float>(p[0]) * bc3::k255,
                      static_cast<float>(p[3]) * bc3::k255};
  }
  return true;
}

void ConvertBlockPixels(Rgba* /*colours*/, std::size_t /*count*/,
                        std::uint32_t /*targetFormat*/,
                        std::uint32_t /*sourceFormat*/,
                        std::uint32_t /*bits*/) {}

void ReplicateEdges(BlockBuffer& block, std::uint32_t width,
                    std::uint32_t height) {
  if (width < 4) {
    for (std::uint32_t t = 0; t < height && t < 4; ++t) {
      for (std::uint32_t s = width; s < 4; ++s)
        block.colours[4 * t + s] = block.colours[4 * t + EdgeSourceTable[s]];
    }
  }
  if (height < 4) {
    for (std::uint32_t t = height; t < 4; ++t) {
      for (std::uint32_t s = 0; s < 4; ++s)
        block.colours[4 * t + s] = block.colours[4 * EdgeSourceTable[t] + s];
    }
  }
}

std::optional<BlockEncoderChoice> SelectBlockEncoder(
    std::uint32_t targetFormat) {
  if (targetFormat == DXGI_FORMAT_BC3_UNORM)
    return BlockEncoderChoice{&EncodeBC3Block, 16, 0};
  return std::nullopt;
}

}  // namespace texture
