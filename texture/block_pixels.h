// From source pixels to the encoder's BlockBuffer: unpacking a row of
// 32-bit pixels into floats, the format adaptation, the repetition that
// fills blocks sticking over the image's right or bottom edge, and the
// choice of block encoder for a target format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "texture/bc3_encoder.h"

namespace texture {

/// For a missing column (or row) c of an edge block, the column (or row)
/// whose values it takes: a block 3 wide repeats column 1, not column 2.
inline constexpr std::uint32_t EdgeSourceTable[4] = {0, 0, 0, 1};

/// Writes at most `n` colours unpacked from the `byteCount` bytes at
/// `source`, which hold pixels of `format`. Returns false when not even one
/// pixel can be read: fewer than 4 bytes, or a format other than 87.
/// Each channel is its byte times the single-precision 1/255, one rounding.
bool UnpackRow(Rgba* destination, std::size_t n, const std::byte* source,
               std::size_t byteCount, std::uint32_t format);

/// Adapts `count` colours from the source format's conventions to the
/// target's in place. B8G8R8A8 and BC3 both carry unsigned-normalised
/// linear channels, and no colour-space conversion is offered, so this
/// changes nothing.
void ConvertBlockPixels(Rgba* colours, std::size_t count,
                        std::uint32_t targetFormat, std::uint32_t sourceFormat,
                        std::uint32_t bits);

/// Fills the columns from `width` and the rows from `height` (each 1 to 4)
/// of a block by repeating inner ones through EdgeSourceTable.
void ReplicateEdges(BlockBuffer& block, std::uint32_t width,
                    std::uint32_t height);

/// Encodes one block into 16 (or blockSize) bytes.
using BlockEncoder = void (*)(std::uint8_t* destination,
                              const BlockBuffer& block,
                              std::uint32_t optionBits);

/// The encoder of a target format, the size of its blocks and the bits
/// ConvertBlockPixels needs for it.
struct BlockEncoderChoice {
  BlockEncoder encode = nullptr;
  std::uint32_t blockSize = 0;
  std::uint32_t conversionBits = 0;
};

/// EncodeBC3Block for target 77; no other target is supported.
std::optional<BlockEncoderChoice> SelectBlockEncoder(
    std::uint32_t targetFormat);

}  // namespace texture
