// Writes an image as a DirectDraw Surface (.dds) file, the container every
// texture tool reads: "DDS ", a 124-byte header and the pixel data of one
// or more mip levels. Supports BC1, BC2 and BC3 as FourCC "DXT1", "DXT3"
// and "DXT5", and uncompressed B8G8R8A8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/file_system.h"
#include "texture/image.h"

namespace texture {

/// Size of the magic word and the header that precede the pixel data.
inline constexpr std::size_t kDdsHeaderSize = 128;

/// The 128 header bytes of a DDS file holding an image of `format`
/// (71, 74, 77 or 87), the given size and mipCount levels (the pixel data
/// that follows holds the levels largest first). Throws E_INVALIDARG for
/// another format, a zero size or a zero level count, 0x80070216 for a size
/// beyond 32 bits.
std::vector<std::byte> BuildDdsHeader(std::uint32_t format, std::uint32_t width,
                                      std::uint32_t height,
                                      std::uint32_t mipCount = 1);

/// Writes the header and the pixels of `image` (format 77 or 87) to `file`.
/// Rows are written packed, whatever image.rowPitch is. Throws E_INVALIDARG
/// for another format or when image.rowPitch or image.slicePitch is too
/// small for the image, E_POINTER for null pixels, and what the file
/// throws (0x80070027 for a short write).
void WriteDds(common::OutputFile& file, const ImageView& image);

/// The whole DDS file of `image` in memory; same checks as WriteDds.
std::vector<std::byte> BuildDdsFile(const ImageView& image);

}  // namespace texture
