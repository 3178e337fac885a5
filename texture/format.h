// Facts about DXGI format codes that the compressor and the pitch rule need.
#pragma once

#include <cstdint>

namespace texture {

/// Bits per pixel of an uncompressed format, 0 when unknown or not a pixel
/// format this system handles.
std::uint32_t FormatBits(std::uint32_t format);
/// Bytes per 4 x 4 block of a block-compressed format (8 or 16).
std::uint32_t BlockBytes(std::uint32_t format);
bool IsTypeless(std::uint32_t format);
bool IsPlanar(std::uint32_t format);
bool IsPalettized(std::uint32_t format);

}  // namespace texture
