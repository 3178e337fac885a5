// Several BC3 blocks encoded at once. The batch holds eight blocks channel
// by channel (structure of arrays), so that vector instructions can run the
// encoder's operations on one lane per block. Every kernel writes exactly
// the bytes EncodeBC3Block writes for each block.
#pragma once

#include <cstdint>

#include "texture/bc3_encoder.h"

namespace texture {

inline constexpr int kBatchLanes = 8;

/// Eight blocks: r[i][j] is the red channel of pixel i of block j.
struct alignas(32) BlockBatch {
  float r[16][kBatchLanes];
  float g[16][kBatchLanes];
  float b[16][kBatchLanes];
  float a[16][kBatchLanes];
};

/// Encodes the eight blocks of `batch` into the 16 bytes at each of
/// `destinations`.
using Bc3BatchKernel = void (*)(const BlockBatch& batch,
                                std::uint8_t* const* destinations);

/// One block after the other through EncodeBC3Block.
void EncodeBC3BatchScalar(const BlockBatch& batch,
                          std::uint8_t* const* destinations);
/// Four lanes at a time with SSE2, which every x86-64 processor has.
void EncodeBC3BatchSse2(const BlockBatch& batch,
                        std::uint8_t* const* destinations);
/// Eight lanes at a time with AVX2; only where CpuHasAvx2().
void EncodeBC3BatchAvx2(const BlockBatch& batch,
                        std::uint8_t* const* destinations);

/// True when the processor and the operating system support AVX2.
bool CpuHasAvx2();
/// The fastest kernel this processor runs.
Bc3BatchKernel SelectBc3BatchKernel();

/// Unpacks eight blocks of B8G8R8A8 pixels, pixels[i][j] being pixel i of
/// block j, into a batch: each channel its byte times the single-precision
/// 1/255, exactly as UnpackRow forms it.
void UnpackBgraBatch(const std::uint32_t (&pixels)[16][kBatchLanes],
                     BlockBatch& batch);

/// Copies one block into lane `lane` of a batch.
void StoreBlockInBatch(const BlockBuffer& block, int lane, BlockBatch& batch);
/// Copies lane `lane` of a batch out as one block.
void LoadBlockFromBatch(const BlockBatch& batch, int lane, BlockBuffer& block);

}  // namespace texture
