// The compression driver: turns a 32-bit image into a BC3 texture, block by
// block, serially or on the OpenMP worker team, with identical bytes.
#pragma once

#include <cstdint>

#include "common/hresult.h"
#include "texture/bc3_batch.h"
#include "texture/image.h"

namespace texture {

/// Runs the block loop on the worker team instead of the calling thread.
inline constexpr std::uint32_t CompressParallel = 0x10000000u;
/// Flag bits handed to the block encoder and to the pixel conversion.
inline constexpr std::uint32_t kEncoderOptionMask = 0x001F0000u;
inline constexpr std::uint32_t kColourSpaceMask = 0x0F000000u;

/// Compresses `source` into `result` (replaced). Returns an HRESULT; on
/// failure `result` holds no pixel buffer, and it is untouched when the
/// formats are refused. This system passes target 77, flags
/// CompressParallel and threshold 0.5; the threshold only matters to
/// single-bit-alpha formats, so BC3 ignores it.
///
/// Failures: E_INVALIDARG for a block-compressed source, a target that is
/// not block-compressed, a zero size or a bad format code; 0x80070032 for
/// typeless, planar or palettized formats, sources below 8 bits per pixel
/// and targets without an encoder; 0x80070216 when the texture's size
/// does not fit in 32 bits; E_OUTOFMEMORY; E_POINTER for null pixels;
/// E_FAIL when a source row holds fewer pixels than the image is wide
/// (its rowPitch or slicePitch is too small) or the format has no known
/// size or cannot be unpacked.
HRESULT CompressImage(const ImageView& source, std::uint32_t targetFormat,
                      std::uint32_t flags, float alphaThreshold,
                      CompressedImage& result);

/// How the block loop does its work; none of it changes a byte.
struct CompressTuning {
  /// Encodes eight blocks at once; null encodes one block at a time.
  Bc3BatchKernel batchKernel = nullptr;
  /// Encodes each distinct uniform block (16 equal pixels) once per worker.
  bool reuseUniformBlocks = true;
};

/// The tuning CompressImage uses: the fastest batch kernel of this
/// processor and the uniform-block reuse.
CompressTuning DefaultCompressTuning();

/// CompressImage with an explicit tuning, for tests and measurements.
HRESULT CompressImageTuned(const ImageView& source, std::uint32_t targetFormat,
                           std::uint32_t flags, float alphaThreshold,
                           CompressedImage& result,
                           const CompressTuning& tuning);

/// The block loop over the rows of blocks [firstRow, lastRow) of `source`
/// alone, on the calling thread, into `image`, the level that Allocate2D
/// made for it. For a texture made in pieces while its source is still
/// being drawn: pieces that cover the image write the bytes of one
/// CompressImage call, whatever their order or thread. Returns an HRESULT
/// as CompressImage does; rows past the image are E_INVALIDARG.
HRESULT CompressBlockRows(const ImageView& source, const ImageView& image,
                          std::uint32_t firstRow, std::uint32_t lastRow,
                          const CompressTuning& tuning);

}  // namespace texture
