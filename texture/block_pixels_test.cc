#include "texture/block_pixels.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstddef>

#include "texture/image.h"

namespace texture {
namespace {

float UnpackByte(std::uint8_t value) {
  std::byte pixel[4] = {std::byte{value}, std::byte{0}, std::byte{0},
                        std::byte{0}};
  Rgba colour;
  EXPECT_TRUE(UnpackRow(&colour, 1, pixel, 4, DXGI_FORMAT_B8G8R8A8_UNORM));
  return colour.b;
}

TEST(UnpackRowTest, MultipliesByTheSinglePrecisionInverseOf255) {
  EXPECT_EQ(std::bit_cast<std::uint32_t>(bc3::k255), 0x3B808081u);
  EXPECT_EQ(UnpackByte(255), 1.0f);
  EXPECT_EQ(UnpackByte(0), 0.0f);
  EXPECT_EQ(UnpackByte(128), 128.0f * bc3::k255);
  // Against a division by 255, 126 byte values differ in the last bit, the
  // first of them 3.
  volatile float divisor = 255.0f;
  int differing = 0, first = -1;
  for (int v = 0; v < 256; ++v) {
    float byDivision = static_cast<float>(v) / divisor;
    float unpacked = UnpackByte(static_cast<std::uint8_t>(v));
    ASSERT_EQ(unpacked, static_cast<float>(v) * bc3::k255);
    if (unpacked != byDivision) {
      ++differing;
      if (first < 0) first = v;
      EXPECT_EQ(std::abs(std::bit_cast<std::int32_t>(unpacked) -
                         std::bit_cast<std::int32_t>(byDivision)),
                1)
          << v;
    }
  }
  EXPECT_EQ(differing, 126);
  EXPECT_EQ(first, 3);
}

TEST(UnpackRowTest, ReadsBlueGreenRedAlphaBytesAsRgba) {
  std::byte pixels[8] = {std::byte{0},   std::byte{51},  std::byte{102},
                         std::byte{255}, std::byte{255}, std::byte{0},
                         std::byte{0},   std::byte{3}};
  Rgba colours[2];
  ASSERT_TRUE(UnpackRow(colours, 2, pixels, 8, DXGI_FORMAT_B8G8R8A8_UNORM));
  EXPECT_EQ(colours[0].r, 102.0f * bc3::k255);
  EXPECT_EQ(colours[0].g, 51.0f * bc3::k255);
  EXPECT_EQ(colours[0].b, 0.0f);
  EXPECT_EQ(colours[0].a, 1.0f);
  EXPECT_EQ(colours[1].b, 1.0f);
  EXPECT_EQ(colours[1].a, 3.0f * bc3::k255);
}

TEST(UnpackRowTest, StopsAtTheBytesItIsGivenAndAtN) {
  std::byte pixels[12] = {};
  pixels[4] = std::byte{255};
  Rgba colours[3];
  colours[1].b = 0.5f;
  colours[2].b = 0.25f;
  ASSERT_TRUE(UnpackRow(colours, 3, pixels, 7, DXGI_FORMAT_B8G8R8A8_UNORM));
  EXPECT_EQ(colours[1].b, 0.5f);  // 3 bytes left: not a pixel
  ASSERT_TRUE(UnpackRow(colours, 2, pixels, 12, DXGI_FORMAT_B8G8R8A8_UNORM));
  EXPECT_EQ(colours[1].b, 1.0f);
  EXPECT_EQ(colours[2].b, 0.25f);  // n is 2
  EXPECT_FALSE(UnpackRow(colours, 1, pixels, 3, DXGI_FORMAT_B8G8R8A8_UNORM));
  EXPECT_FALSE(UnpackRow(colours, 1, pixels, 12, 28));  // not unpackable
}

BlockBuffer Numbered() {
  BlockBuffer block;
  for (int i = 0; i < 16; ++i) block.colours[i].r = static_cast<float>(i);
  return block;
}

TEST(ReplicateEdgesTest, RepeatsColumnsThroughTheEdgeTable) {
  const int expectedColumns[5][4] = {
      {}, {0, 0, 0, 0}, {0, 1, 0, 1}, {0, 1, 2, 1}, {0, 1, 2, 3}};
  for (std::uint32_t width = 1; width <= 4; ++width) {
    for (std::uint32_t height = 1; height <= 4; ++height) {
      BlockBuffer block = Numbered();
      ReplicateEdges(block, width, height);
      for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
          int source =
              4 * expectedColumns[height][row] + expectedColumns[width][column];
          EXPECT_EQ(block.colours[4 * row + column].r, source)
              << width << "x" << height << " at " << row << "," << column;
        }
      }
    }
  }
}

TEST(ConvertBlockPixelsTest, ChangesNothingFromBgraToBc3) {
  BlockBuffer block = Numbered();
  block.colours[5] = {0.1f, 0.2f, 0.3f, 0.4f};
  ConvertBlockPixels(block.colours, 16, DXGI_FORMAT_BC3_UNORM,
                     DXGI_FORMAT_B8G8R8A8_UNORM, 0);
  EXPECT_EQ(block.colours[5].g, 0.2f);
  EXPECT_EQ(block.colours[15].r, 15.0f);
}

TEST(SelectBlockEncoderTest, OnlyBc3HasAnEncoder) {
  auto bc3 = SelectBlockEncoder(DXGI_FORMAT_BC3_UNORM);
  ASSERT_TRUE(bc3.has_value());
  EXPECT_EQ(bc3->encode, &EncodeBC3Block);
  EXPECT_EQ(bc3->blockSize, 16u);
  EXPECT_EQ(bc3->conversionBits, 0u);
  EXPECT_FALSE(SelectBlockEncoder(DXGI_FORMAT_BC1_UNORM).has_value());
  EXPECT_FALSE(SelectBlockEncoder(DXGI_FORMAT_BC2_UNORM).has_value());
}

}  // namespace
}  // namespace texture
