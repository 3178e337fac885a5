// Reads PNG images as 8-bit B, G, R, A pixels, the layout the compressor
// takes. libpng on Linux, the Windows Imaging Component on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace app {

/// A decoded image: 4 bytes per pixel in the order B, G, R, A, rows
/// top-down without gaps.
struct BgraImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::byte> pixels;
};

/// Decodes the bytes of a PNG file of any colour type and bit depth:
/// palette and grey images are expanded to colour, 16-bit channels reduced
/// to 8, a missing alpha becomes 255 and a present one is kept as it is
/// (colours are not premultiplied). Throws E_INVALIDARG for data that is
/// not a readable PNG and 0x80070216 for an image whose pixels would not
/// fit in 4 GB.
BgraImage DecodePng(std::span<const std::byte> data);

}  // namespace app
