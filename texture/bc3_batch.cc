#include "texture/bc3_batch.h"

namespace texture {

void StoreBlockInBatch(const BlockBuffer& block, int lane, BlockBatch& batch) {
  for (int i = 0; i < 16; ++i) {
    batch.r[i][lane] = block.colours[i].r;
    batch.g[i][lane] = block.colours[i].g;
    batch.b[i][lane] = block.colours[i].b;
    batch.a[i][lane] = block.colours[i].a;
  }
}

void LoadBlockFromBatch(const BlockBatch& batch, int lane, BlockBuffer& block) {
  for (int i = 0; i < 16; ++i) {
    block.colours[i] = {batch.r[i][lane], batch.g[i][lane], batch.b[i][lane],
                        batch.a[i][lane]};
  }
}

void EncodeBC3BatchScalar(const BlockBatch& batch,
                          std::uint8_t* const* destinations) {
  BlockBuffer block;
  for (int lane = 0; lane < kBatchLanes; ++lane) {
    LoadBlockFromBatch(batch, lane, block);
    EncodeBC3Block(destinations[lane], block, 0);
  }
}

bool CpuHasAvx2() {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

Bc3BatchKernel SelectBc3BatchKernel() {
  return CpuHasAvx2() ? &EncodeBC3BatchAvx2 : &EncodeBC3BatchSse2;
}

}  // namespace texture
