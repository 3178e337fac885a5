// Writes 8-bit RGBA PNG files with zlib alone, the same bytes on every
// platform: the preview and the atlas commands' pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace app {

/// The PNG file of an image given as B, G, R, A bytes per pixel, rows
/// top-down `rowPitch` bytes apart, alpha straight (not premultiplied).
/// Throws E_INVALIDARG for a zero size or pixels too short for the size.
std::vector<std::byte> EncodePng(std::uint32_t width, std::uint32_t height,
                                 std::uint32_t rowPitch,
                                 std::span<const std::byte> bgra);

/// Turns premultiplied B, G, R, A pixels into straight alpha in place: each
/// colour is divided by its alpha (rounded, at most 255); a fully
/// transparent pixel becomes all zero.
void UnpremultiplyBgra(std::span<std::byte> bgra);

}  // namespace app
