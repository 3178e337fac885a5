// The compression driver: turns a 32-bit image into a BC3 texture, block by
// block, serially or on the OpenMP worker team, with identical bytes.
#pragma once

#include <cstdint>

#include "common/hresult.h"
#include "texture/image.h"

namespace texture {

/// Runs the block loop on the worker team instead of the calling thread.
inline constexpr std::uint32_t CompressParallel = 0x10000000u;

/// Compresses `source` into `result` (replaced). Returns an HRESULT; on
/// failure `result` holds no pixel buffer. This system passes target 77,
/// flags CompressParallel and threshold 0.5.
HRESULT CompressImage(const ImageView& source, std::uint32_t targetFormat,
                      std::uint32_t flags, float alphaThreshold,
                      CompressedImage& result);

}  // namespace texture
