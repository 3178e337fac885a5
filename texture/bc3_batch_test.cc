#include "texture/bc3_batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>

#include "testing/glyph_atlas.h"
#include "texture/compress.h"

namespace texture {
namespace {

// Blocks of many shapes: random bytes, few distinct values, flat colours
// with stray pixels, ramps, 0/255 alpha mixes and raw floats in 0 to 1
// (which no byte produces), so that every branch of the encoder is taken.
class BlockSource {
 public:
  explicit BlockSource(std::uint32_t seed) : random_(seed) {}

  void Fill(BlockBuffer& block) {
    switch (random_() % 8) {
      case 0:
        for (Rgba& c : block.colours) c = RandomByteColour();
        break;
      case 1: {
        Rgba palette[3] = {RandomByteColour(), RandomByteColour(),
                           RandomByteColour()};
        for (Rgba& c : block.colours) c = palette[random_() % 3];
        break;
      }
      case 2: {
        Rgba flat = RandomByteColour();
        for (Rgba& c : block.colours) c = flat;
        block.colours[random_() % 16] = RandomByteColour();
        break;
      }
      case 3: {
        // A glyph edge: premultiplied white on a ramp.
        int start = static_cast<int>(random_() % 256);
        int step = static_cast<int>(random_() % 40) - 20;
        for (int i = 0; i < 16; ++i) {
          float v = Byte(std::clamp(start + step * (i % 4 + i / 4), 0, 255));
          block.colours[i] = {v, v, v, v};
        }
        break;
      }
      case 4:
        for (Rgba& c : block.colours) {
          c = RandomByteColour();
          c.a = (random_() & 1) ? 1.0f : 0.0f;
        }
        break;
      case 5:
        for (Rgba& c : block.colours) {
          c = RandomByteColour();
          int pick = static_cast<int>(random_() % 3);
          c.a = pick == 0 ? 0.0f : pick == 1 ? 1.0f : c.a;
        }
        break;
      case 6:
        for (Rgba& c : block.colours) {
          c = {RandomFloat(), RandomFloat(), RandomFloat(), RandomFloat()};
        }
        break;
      default: {
        // Nearly flat: one or two steps apart in each channel.
        Rgba base = RandomByteColour();
        for (Rgba& c : block.colours) {
          c = {Near(base.r), Near(base.g), Near(base.b), Near(base.a)};
        }
        break;
      }
    }
  }

 private:
  static float Byte(int v) { return static_cast<float>(v) * bc3::k255; }
  Rgba RandomByteColour() {
    auto v = static_cast<std::uint32_t>(random_());
    return {Byte(v & 255), Byte(v >> 8 & 255), Byte(v >> 16 & 255),
            Byte(v >> 24)};
  }
  float RandomFloat() {
    return static_cast<float>(random_() >> 8) * (1.0f / 16777216.0f);
  }
  float Near(float v) {
    int byte = static_cast<int>(v * 255.0f + 0.5f) +
               static_cast<int>(random_() % 5) - 2;
    return Byte(std::clamp(byte, 0, 255));
  }
  std::mt19937 random_;
};

#ifdef NDEBUG
constexpr int kBatches = 1 << 18;  // 2 million blocks
#else
constexpr int kBatches = 1 << 12;  // unoptimised builds: a sample
#endif

void ExpectKernelMatchesEncoder(Bc3BatchKernel kernel, std::uint32_t seed) {
  BlockSource source(seed);
  BlockBatch batch;
  BlockBuffer blocks[kBatchLanes];
  std::uint8_t vector[kBatchLanes][16], scalar[16];
  std::uint8_t* destinations[kBatchLanes];
  for (int lane = 0; lane < kBatchLanes; ++lane)
    destinations[lane] = vector[lane];
  for (int round = 0; round < kBatches; ++round) {
    for (int lane = 0; lane < kBatchLanes; ++lane) {
      source.Fill(blocks[lane]);
      StoreBlockInBatch(blocks[lane], lane, batch);
    }
    kernel(batch, destinations);
    for (int lane = 0; lane < kBatchLanes; ++lane) {
      EncodeBC3Block(scalar, blocks[lane], 0);
      ASSERT_EQ(std::memcmp(scalar, vector[lane], 16), 0)
          << "round " << round << " lane " << lane;
    }
  }
}

TEST(Bc3BatchTest, Sse2KernelWritesTheEncodersBytes) {
  ExpectKernelMatchesEncoder(&EncodeBC3BatchSse2, 1);
}

TEST(Bc3BatchTest, Avx2KernelWritesTheEncodersBytes) {
  if (!CpuHasAvx2()) GTEST_SKIP() << "processor without AVX2";
  ExpectKernelMatchesEncoder(&EncodeBC3BatchAvx2, 2);
}

TEST(Bc3BatchTest, ScalarKernelWritesTheEncodersBytes) {
  ExpectKernelMatchesEncoder(&EncodeBC3BatchScalar, 3);
}

TEST(Bc3BatchTest, BatchRoundTripsBlocks) {
  BlockSource source(4);
  BlockBuffer in, out;
  BlockBatch batch{};
  source.Fill(in);
  StoreBlockInBatch(in, 5, batch);
  LoadBlockFromBatch(batch, 5, out);
  // Bit for bit, so that a sign of zero lost on the way shows too.
  // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
  EXPECT_EQ(std::memcmp(&in, &out, sizeof in), 0);
  LoadBlockFromBatch(batch, 4, out);
  EXPECT_EQ(out.colours[7].g, 0.0f);
}

TEST(Bc3BatchTest, VectorKernelsCompressTheAtlasLikeTheScalarEncoder) {
  testutil::BgraPixels atlas = testutil::MakeGlyphLikeAtlas(1024, 1056, 8);
  ImageView view{1024, 1056,        DXGI_FORMAT_B8G8R8A8_UNORM,
                 4096, 4096 * 1056, atlas.bytes.data()};
  CompressedImage scalar;
  ASSERT_EQ(CompressImageTuned(view, 77, CompressParallel, 0.5f, scalar,
                               {nullptr, false}),
            0);
  std::vector<Bc3BatchKernel> kernels = {&EncodeBC3BatchSse2};
  if (CpuHasAvx2()) kernels.push_back(&EncodeBC3BatchAvx2);
  for (Bc3BatchKernel kernel : kernels) {
    CompressedImage vector;
    ASSERT_EQ(CompressImageTuned(view, 77, CompressParallel, 0.5f, vector,
                                 {kernel, false}),
              0);
    ASSERT_EQ(vector.byteSize(), scalar.byteSize());
    EXPECT_EQ(std::memcmp(vector.memory(), scalar.memory(), scalar.byteSize()),
              0);
  }
}

}  // namespace
}  // namespace texture
