// Shrinking or stretching a 32-bit image by area averaging: each target
// pixel is the mean of the source area it covers, weighted by how much of
// each source pixel lies inside. Stands in for the halftone stretch of GDI
// where there is none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace render {

/// Scales `source` (width x height, 4 bytes a pixel, rows without gaps) into
/// `target` (targetWidth x targetHeight, likewise), every channel alike.
void ScaleAreaAverage(std::span<const std::byte> source, std::uint32_t width,
                      std::uint32_t height, std::span<std::byte> target,
                      std::uint32_t targetWidth, std::uint32_t targetHeight);

}  // namespace render
