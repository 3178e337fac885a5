// Measures the compression of a glyph-like 4096 x 4096 atlas: the plain
// scalar block loop, the serial and the parallel driver, and the batch
// kernels against the scalar encoder on one core over the blocks that are
// not uniform. Every figure comes from this one run; every fast form is
// checked to write the plain loop's bytes.
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "testing/glyph_atlas.h"
#include "texture/bc3_batch.h"
#include "texture/bc3_encoder.h"
#include "texture/block_pixels.h"
#include "texture/compress.h"

namespace {

using Clock = std::chrono::steady_clock;
using texture::BlockBatch;
using texture::BlockBuffer;

// The fastest of a few runs, in milliseconds.
double BestMs(int runs, const std::function<void()>& work) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    work();
    std::chrono::duration<double, std::milli> took = Clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

// The plain form of the block loop: every block unpacked and encoded one at
// a time on the calling thread.
void PlainScalarLoop(const texture::ImageView& view, std::uint8_t* out) {
  const std::uint32_t bw = view.width / 4, bh = view.height / 4;
  BlockBuffer block;
  for (std::uint32_t by = 0; by < bh; ++by) {
    for (std::uint32_t bx = 0; bx < bw; ++bx) {
      for (int k = 0; k < 4; ++k) {
        texture::UnpackRow(&block.colours[4 * k], 4,
                           view.pixels + (4 * by + k) * view.rowPitch + 16 * bx,
                           16, view.format);
      }
      texture::EncodeBC3Block(out + 16 * (by * bw + bx), block, 0);
    }
  }
}

}  // namespace

int main() {
  const std::uint32_t size = 4096;
  testutil::BgraPixels atlas = testutil::MakeGlyphLikeAtlas(size, size);
  texture::ImageView view{size,
                          size,
                          texture::DXGI_FORMAT_B8G8R8A8_UNORM,
                          size * 4,
                          size * size * 4,
                          atlas.bytes.data()};
  const std::uint32_t blocks = (size / 4) * (size / 4);

  // What the atlas holds, and the non-uniform blocks as batches.
  std::vector<BlockBatch> batches;
  std::vector<BlockBuffer> nonUniform;
  std::uint32_t zero = 0, full = 0;
  for (std::uint32_t nb = 0; nb < blocks; ++nb) {
    std::uint32_t x = 4 * (nb % (size / 4)), y = 4 * (nb / (size / 4));
    std::uint32_t p[16];
    for (int k = 0; k < 4; ++k)
      std::memcpy(&p[4 * k], view.pixels + (y + k) * view.rowPitch + 4 * x, 16);
    bool uniform =
        std::all_of(p, p + 16, [&](std::uint32_t v) { return v == p[0]; });
    if (uniform && p[0] == 0) ++zero;
    if (uniform && p[0] == 0xFFFFFFFFu) ++full;
    if (uniform) continue;
    BlockBuffer block;
    for (int k = 0; k < 4; ++k) {
      texture::UnpackRow(&block.colours[4 * k], 4,
                         view.pixels + (y + k) * view.rowPitch + 4 * x, 16,
                         view.format);
    }
    nonUniform.push_back(block);
  }
  batches.resize(nonUniform.size() / texture::kBatchLanes);
  for (std::size_t i = 0; i < batches.size() * texture::kBatchLanes; ++i) {
    texture::StoreBlockInBatch(nonUniform[i], static_cast<int>(i % 8),
                               batches[i / 8]);
  }
  std::printf(
      "atlas %ux%u: %u blocks, %.1f %% all zero, %.2f %% all 255, "
      "%zu not uniform\n",
      size, size, blocks, 100.0 * zero / blocks, 100.0 * full / blocks,
      nonUniform.size());
  std::printf("threads %d, AVX2 %s\n", omp_get_max_threads(),
              texture::CpuHasAvx2() ? "yes" : "no");

  std::vector<std::uint8_t> plain(std::size_t{blocks} * 16);
  double plainMs = BestMs(2, [&] { PlainScalarLoop(view, plain.data()); });

  auto run = [&](std::uint32_t flags, bool& same) {
    texture::CompressedImage result;
    double ms = BestMs(
        5, [&] { texture::CompressImage(view, 77, flags, 0.5f, result); });
    same = result.byteSize() == plain.size() &&
           std::memcmp(result.memory(), plain.data(), plain.size()) == 0;
    return ms;
  };
  bool serialSame = false, parallelSame = false;
  double serialMs = run(0, serialSame);
  double parallelMs = run(texture::CompressParallel, parallelSame);

  std::printf("plain scalar loop (1 core)   %8.1f ms\n", plainMs);
  std::printf("CompressImage serial         %8.1f ms  %s\n", serialMs,
              serialSame ? "same bytes" : "BYTES DIFFER");
  std::printf("CompressImage parallel       %8.1f ms  %s\n", parallelMs,
              parallelSame ? "same bytes" : "BYTES DIFFER");
  std::printf("parallel blocks per second   %8.1f million\n",
              blocks / parallelMs / 1000.0);
  std::printf("speed-up over plain loop     serial %.1fx, parallel %.1fx\n",
              plainMs / serialMs, plainMs / parallelMs);

  // One core, non-uniform blocks only.
  const std::size_t count = batches.size() * texture::kBatchLanes;
  std::vector<std::uint8_t> scalarOut(count * 16), vectorOut(count * 16);
  auto runKernel = [&](texture::Bc3BatchKernel kernel,
                       std::vector<std::uint8_t>& out) {
    return BestMs(3, [&] {
      for (std::size_t b = 0; b < batches.size(); ++b) {
        std::uint8_t* dest[texture::kBatchLanes];
        for (int lane = 0; lane < texture::kBatchLanes; ++lane)
          dest[lane] = &out[(b * texture::kBatchLanes + lane) * 16];
        kernel(batches[b], dest);
      }
    });
  };
  double scalarMs = runKernel(&texture::EncodeBC3BatchScalar, scalarOut);
  std::printf(
      "non-uniform blocks, 1 core: scalar encoder %8.1f ms "
      "(%.2f million blocks/s)\n",
      scalarMs, static_cast<double>(count) / scalarMs / 1000.0);
  struct Kernel {
    const char* name;
    texture::Bc3BatchKernel kernel;
    bool available;
  } kernels[] = {{"SSE2", &texture::EncodeBC3BatchSse2, true},
                 {"AVX2", &texture::EncodeBC3BatchAvx2, texture::CpuHasAvx2()}};
  for (const Kernel& k : kernels) {
    if (!k.available) continue;
    std::fill(vectorOut.begin(), vectorOut.end(), 0);
    double ms = runKernel(k.kernel, vectorOut);
    bool same = vectorOut == scalarOut;
    std::printf(
        "non-uniform blocks, 1 core: %s kernel    %8.1f ms  %.2fx "
        "scalar  %s\n",
        k.name, ms, scalarMs / ms, same ? "same bytes" : "BYTES DIFFER");
  }
  return serialSame && parallelSame ? 0 : 1;
}
