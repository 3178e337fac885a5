#include "texture/compress.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "testing/glyph_atlas.h"
#include "texture/bc3_encoder.h"
#include "texture/block_pixels.h"

namespace texture {
namespace {

using common::MakeHresult;

constexpr HRESULT kNotSupported = MakeHresult(0x80070032u);

ImageView ViewOf(std::vector<std::byte>& bytes, std::uint32_t width,
                 std::uint32_t height, std::uint32_t rowPitch = 0) {
  if (rowPitch == 0) rowPitch = width * 4;
  return {width,
          height,
          DXGI_FORMAT_B8G8R8A8_UNORM,
          rowPitch,
          rowPitch * height,
          bytes.data()};
}

std::vector<std::byte> RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::byte> bytes(size);
  for (auto& b : bytes) b = static_cast<std::byte>(random());
  return bytes;
}

// The block at (x, y) built by hand: source column and row of every pixel
// given explicitly.
std::array<std::uint8_t, 16> EncodeByHand(const std::vector<std::byte>& bytes,
                                          std::uint32_t rowPitch,
                                          const int (&columns)[4],
                                          const int (&rows)[4]) {
  BlockBuffer block;
  for (int t = 0; t < 4; ++t) {
    for (int s = 0; s < 4; ++s) {
      const std::byte* p = bytes.data() + rows[t] * rowPitch + columns[s] * 4;
      UnpackRow(&block.colours[4 * t + s], 1, p, 4, DXGI_FORMAT_B8G8R8A8_UNORM);
    }
  }
  std::array<std::uint8_t, 16> out;
  EncodeBC3Block(out.data(), block, 0);
  return out;
}

std::vector<std::uint8_t> BytesOf(const CompressedImage& image) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(image.memory());
  return {p, p + image.byteSize()};
}

std::vector<std::uint8_t> Compress(const ImageView& view, std::uint32_t flags,
                                   const CompressTuning& tuning,
                                   float threshold = 0.5f) {
  CompressedImage result;
  HRESULT hr = CompressImageTuned(view, DXGI_FORMAT_BC3_UNORM, flags, threshold,
                                  result, tuning);
  EXPECT_EQ(hr, 0);
  return BytesOf(result);
}

TEST(CompressImageTest, CompressesTheAtlasSerialAndParallelAlike) {
  testutil::BgraPixels atlas = testutil::MakeGlyphLikeAtlas(4096, 4096);
  ImageView view = ViewOf(atlas.bytes, 4096, 4096);
  EXPECT_EQ(view.slicePitch, 67108864u);
  CompressedImage parallel, serial;
  ASSERT_EQ(CompressImage(view, 77, CompressParallel, 0.5f, parallel), 0);
  ASSERT_EQ(CompressImage(view, 77, 0, 0.5f, serial), 0);
  EXPECT_EQ(parallel.imageCount(), 1u);
  EXPECT_EQ(parallel.byteSize(), 16777216u);
  const ImageView* image = parallel.ImageAt(0, 0, 0);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->rowPitch, 16384u);
  EXPECT_EQ(image->slicePitch / 16, 1048576u);
  const ImageInfo& info = parallel.info();
  EXPECT_EQ(info.format, 77u);
  EXPECT_EQ(info.dimension, 3u);
  EXPECT_EQ(std::memcmp(parallel.memory(), serial.memory(), 16777216), 0);
  // Spot checks against the encoder called directly.
  const int rows[4] = {0, 1, 2, 3};
  for (std::uint32_t nb : {0u, 1u, 5000u, 123457u, 1048575u}) {
    std::uint32_t x = 4 * (nb % 1024), y = 4 * (nb / 1024);
    int r[4], c[4];
    for (int i = 0; i < 4; ++i) {
      r[i] = static_cast<int>(y) + rows[i];
      c[i] = static_cast<int>(x) + i;
    }
    auto expected = EncodeByHand(atlas.bytes, 16384, c, r);
    EXPECT_EQ(std::memcmp(parallel.memory() + 16 * nb, expected.data(), 16), 0)
        << nb;
  }
}

TEST(CompressImageTest, OnePixelFillsItsBlock) {
  std::vector<std::byte> pixel = {std::byte{10}, std::byte{200}, std::byte{77},
                                  std::byte{128}};
  CompressedImage result;
  ASSERT_EQ(
      CompressImage(ViewOf(pixel, 1, 1), 77, CompressParallel, 0.5f, result),
      0);
  EXPECT_EQ(result.byteSize(), 16u);
  const int zero[4] = {0, 0, 0, 0};
  auto expected = EncodeByHand(pixel, 4, zero, zero);
  EXPECT_EQ(std::memcmp(result.memory(), expected.data(), 16), 0);
}

TEST(CompressImageTest, SixWideRepeatsColumnsFourAndFive) {
  std::vector<std::byte> bytes = RandomBytes(6 * 4 * 4, 21);
  for (std::uint32_t flags : {0u, CompressParallel}) {
    CompressedImage result;
    ASSERT_EQ(CompressImage(ViewOf(bytes, 6, 4), 77, flags, 0.5f, result), 0);
    ASSERT_EQ(result.byteSize(), 32u);
    const int rows[4] = {0, 1, 2, 3};
    const int second[4] = {4, 5, 4, 5};
    auto expected = EncodeByHand(bytes, 24, second, rows);
    EXPECT_EQ(std::memcmp(result.memory() + 16, expected.data(), 16), 0);
  }
}

TEST(CompressImageTest, SevenBySevenRepeatsTheSecondColumnAndRow) {
  std::vector<std::byte> bytes = RandomBytes(7 * 7 * 4, 22);
  CompressedImage result;
  ASSERT_EQ(
      CompressImage(ViewOf(bytes, 7, 7), 77, CompressParallel, 0.5f, result),
      0);
  ASSERT_EQ(result.byteSize(), 64u);
  const int first[4] = {0, 1, 2, 3};
  const int last[4] = {4, 5, 6, 5};
  const int* columns[2] = {first, last};
  for (int by = 0; by < 2; ++by) {
    for (int bx = 0; bx < 2; ++bx) {
      int c[4], r[4];
      std::memcpy(c, columns[bx], sizeof c);
      std::memcpy(r, columns[by], sizeof r);
      auto expected = EncodeByHand(bytes, 28, c, r);
      EXPECT_EQ(std::memcmp(result.memory() + 16 * (2 * by + bx),
                            expected.data(), 16),
                0)
          << bx << "," << by;
    }
  }
}

TEST(CompressImageTest, RefusedFormatsLeaveTheResultUntouched) {
  std::vector<std::byte> bytes = RandomBytes(64, 1);
  CompressedImage result;
  ASSERT_EQ(result.Allocate2D(77, 8, 8), 0);
  std::byte* before = result.memory();
  ImageView view = ViewOf(bytes, 4, 4);
  EXPECT_EQ(CompressImage(view, 87, CompressParallel, 0.5f, result),
            common::kEInvalidArg);
  ImageView compressedSource = view;
  compressedSource.format = 77;
  EXPECT_EQ(CompressImage(compressedSource, 77, 0, 0.5f, result),
            common::kEInvalidArg);
  EXPECT_EQ(CompressImage(view, 76, 0, 0.5f, result), kNotSupported);
  for (std::uint32_t format : {90u, 103u, 110u, 113u}) {
    ImageView odd = view;
    odd.format = format;
    EXPECT_EQ(CompressImage(odd, 77, 0, 0.5f, result), kNotSupported) << format;
  }
  ImageView empty = view;
  empty.width = 0;
  EXPECT_EQ(CompressImage(empty, 77, CompressParallel, 0.5f, result),
            common::kEInvalidArg);
  EXPECT_EQ(result.memory(), before);
  EXPECT_EQ(result.info().width, 8u);
}

TEST(CompressImageTest, FailuresAfterAllocationLeaveNoBuffer) {
  std::vector<std::byte> bytes = RandomBytes(64, 2);
  ImageView view = ViewOf(bytes, 4, 4);
  CompressedImage result;

  ImageView null = view;
  null.pixels = nullptr;
  EXPECT_EQ(CompressImage(null, 77, 0, 0.5f, result), common::kEPointer);
  EXPECT_EQ(result.memory(), nullptr);
  EXPECT_EQ(result.info().format, 0u);

  EXPECT_EQ(CompressImage(view, 71, 0, 0.5f, result), kNotSupported);
  EXPECT_EQ(result.memory(), nullptr);

  ImageView oneBit = view;
  oneBit.format = 66;
  EXPECT_EQ(CompressImage(oneBit, 77, 0, 0.5f, result), kNotSupported);
  ImageView unknown = view;
  unknown.format = 0;
  EXPECT_EQ(CompressImage(unknown, 77, 0, 0.5f, result), common::kEFail);
  ImageView sixteenBit = view;  // sized, but not a format we unpack
  sixteenBit.format = 85;
  EXPECT_EQ(CompressImage(sixteenBit, 77, CompressParallel, 0.5f, result),
            common::kEFail);
  EXPECT_EQ(result.memory(), nullptr);
  EXPECT_EQ(result.imageCount(), 0u);
}

TEST(CompressImageTest, ReportsASizeBeyond32Bits) {
  std::vector<std::byte> bytes(16);
  ImageView view = ViewOf(bytes, 1, 1);
  view.width = 0x40000;
  view.height = 0x40000;
  CompressedImage result;
  EXPECT_EQ(CompressImage(view, 77, 0, 0.5f, result), MakeHresult(0x80070216u));
  EXPECT_EQ(result.memory(), nullptr);
  EXPECT_EQ(result.info().width, 0x40000u);
}

TEST(CompressImageTest, ShortSourceFailsInBothLoops) {
  std::vector<std::byte> bytes = RandomBytes(16 * 16 * 4, 3);
  for (std::uint32_t flags : {0u, CompressParallel}) {
    // The last rows lie past the end the caller gave.
    ImageView view = ViewOf(bytes, 16, 16);
    view.slicePitch = 64 * 14 + 20;
    CompressedImage result;
    EXPECT_EQ(CompressImage(view, 77, flags, 0.5f, result), common::kEFail);
    EXPECT_EQ(result.memory(), nullptr);
    // Rows of two pixels cannot hold a block of four.
    ImageView narrow = ViewOf(bytes, 16, 16, 8);
    EXPECT_EQ(CompressImage(narrow, 77, flags, 0.5f, result), common::kEFail);
    EXPECT_EQ(result.memory(), nullptr);
  }
}

TEST(CompressImageTest, RowPaddingIsSkipped) {
  std::vector<std::byte> packed = RandomBytes(13 * 9 * 4, 4);
  std::vector<std::byte> padded(60 * 9);
  for (int y = 0; y < 9; ++y) std::memcpy(&padded[60 * y], &packed[52 * y], 52);
  CompressTuning tuning = DefaultCompressTuning();
  EXPECT_EQ(Compress(ViewOf(padded, 13, 9, 60), CompressParallel, tuning),
            Compress(ViewOf(packed, 13, 9), CompressParallel, tuning));
}

TEST(CompressImageTest, AlphaThresholdChangesNothing) {
  std::vector<std::byte> bytes = RandomBytes(12 * 12 * 4, 5);
  CompressTuning tuning = DefaultCompressTuning();
  EXPECT_EQ(Compress(ViewOf(bytes, 12, 12), 0, tuning, 0.0f),
            Compress(ViewOf(bytes, 12, 12), 0, tuning, 0.5f));
  EXPECT_EQ(Compress(ViewOf(bytes, 12, 12), 0, tuning, 1.0f),
            Compress(ViewOf(bytes, 12, 12), 0, tuning, 0.5f));
}

// Every block through UnpackRow, ReplicateEdges and EncodeBC3Block, one at
// a time: the plain form of the block loop.
std::vector<std::uint8_t> ReferenceCompress(const ImageView& view) {
  std::uint32_t bw = (view.width + 3) / 4, bh = (view.height + 3) / 4;
  std::vector<std::uint8_t> out(std::size_t{bw} * bh * 16);
  for (std::uint32_t by = 0; by < bh; ++by) {
    for (std::uint32_t bx = 0; bx < bw; ++bx) {
      BlockBuffer block;
      std::uint32_t pw = std::min(4u, view.width - 4 * bx);
      std::uint32_t ph = std::min(4u, view.height - 4 * by);
      for (std::uint32_t k = 0; k < ph; ++k) {
        UnpackRow(&block.colours[4 * k], pw,
                  view.pixels + (4 * by + k) * view.rowPitch + 16 * bx, pw * 4,
                  view.format);
      }
      ReplicateEdges(block, pw, ph);
      EncodeBC3Block(&out[16 * (by * bw + bx)], block, 0);
    }
  }
  return out;
}

TEST(CompressImageTest, EveryLoopAndTuningGivesTheReferenceBytes) {
  std::vector<CompressTuning> tunings = {
      {nullptr, false},
      {nullptr, true},
      {&EncodeBC3BatchScalar, true},
      {&EncodeBC3BatchSse2, false},
      {&EncodeBC3BatchSse2, true},
  };
  if (CpuHasAvx2()) tunings.push_back({&EncodeBC3BatchAvx2, true});
  struct Size {
    std::uint32_t width, height;
  };
  const Size sizes[] = {{1, 1},   {2, 3},   {3, 2},    {4, 4},    {5, 5},
                        {6, 4},   {7, 7},   {9, 13},   {17, 3},   {33, 65},
                        {64, 66}, {127, 1}, {130, 67}, {250, 131}};
  std::uint32_t seed = 100;
  for (const Size& size : sizes) {
    for (int kind = 0; kind < 2; ++kind) {
      std::vector<std::byte> bytes;
      if (kind == 0) {
        bytes = RandomBytes(std::size_t{size.width} * size.height * 4, ++seed);
      } else {
        bytes =
            testutil::MakeGlyphLikeAtlas(size.width, size.height, ++seed).bytes;
        // Cells only fill whole 64 x 66 areas; add some uniform and random
        // blocks elsewhere.
        std::mt19937 random(seed);
        for (std::size_t i = 0; i < bytes.size() / 4; ++i) {
          if (random() % 7 == 0) {
            for (int c = 0; c < 4; ++c) bytes[4 * i + c] = std::byte{255};
          }
        }
      }
      ImageView view = ViewOf(bytes, size.width, size.height);
      std::vector<std::uint8_t> expected = ReferenceCompress(view);
      for (const CompressTuning& tuning : tunings) {
        for (std::uint32_t flags : {0u, CompressParallel}) {
          ASSERT_EQ(Compress(view, flags, tuning), expected)
              << size.width << "x" << size.height << " kind " << kind
              << " flags " << flags;
        }
      }
    }
  }
}

}  // namespace
}  // namespace texture
