#include <gtest/gtest.h>

#include <cstdint>

#include "texture/image.h"

namespace texture {
namespace {

using common::MakeHresult;

TEST(BlockPitchRuleTest, SizesTheFormatsOfTheGame) {
  std::uint32_t row, slice;
  ASSERT_EQ(BlockPitchRule(77, 4096, 4096, row, slice), 0);
  EXPECT_EQ(row, 16384u);
  EXPECT_EQ(slice, 16777216u);
  ASSERT_EQ(BlockPitchRule(77, 1, 1, row, slice), 0);
  EXPECT_EQ(row, 16u);
  EXPECT_EQ(slice, 16u);
  ASSERT_EQ(BlockPitchRule(87, 4096, 4096, row, slice), 0);
  EXPECT_EQ(row, 16384u);
  EXPECT_EQ(slice, 67108864u);
  ASSERT_EQ(BlockPitchRule(71, 5, 9, row, slice), 0);
  EXPECT_EQ(row, 16u);  // two blocks of 8 bytes
  EXPECT_EQ(slice, 48u);
  ASSERT_EQ(BlockPitchRule(74, 0, 0, row, slice), 0);
  EXPECT_EQ(row, 16u);  // at least one block each way
  EXPECT_EQ(slice, 16u);
}

TEST(BlockPitchRuleTest, RefusesSizesBeyond32Bits) {
  std::uint32_t row = 1, slice = 1;
  EXPECT_EQ(BlockPitchRule(77, 0xFFFFFFFFu, 0xFFFFFFFFu, row, slice),
            MakeHresult(0x80070216u));
  EXPECT_EQ(row, 0u);
  EXPECT_EQ(slice, 0u);
  // w + 3 is formed in 64 bits: 0xFFFFFFFF wide is 0x40000000 blocks.
  EXPECT_EQ(BlockPitchRule(77, 0xFFFFFFFFu, 4, row, slice),
            MakeHresult(0x80070216u));
  EXPECT_EQ(BlockPitchRule(87, 65536, 65536, row, slice),
            MakeHresult(0x80070216u));
  ASSERT_EQ(BlockPitchRule(87, 32768, 32767, row, slice), 0);
  EXPECT_EQ(slice, 32768u * 4 * 32767);
}

TEST(CompressedImageTest, AllocatesTheAtlasTexture) {
  CompressedImage image;
  ASSERT_EQ(image.Allocate2D(77, 4096, 4096), 0);
  EXPECT_EQ(image.imageCount(), 1u);
  EXPECT_EQ(image.byteSize(), 16777216u);
  const ImageInfo& info = image.info();
  EXPECT_EQ(info.width, 4096u);
  EXPECT_EQ(info.depth, 1u);
  EXPECT_EQ(info.arrayCount, 1u);
  EXPECT_EQ(info.mipCount, 1u);
  EXPECT_EQ(info.format, 77u);
  EXPECT_EQ(info.dimension, 3u);
  const ImageView* view = image.ImageAt(0, 0, 0);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->rowPitch, 16384u);
  EXPECT_EQ(view->slicePitch, 16777216u);
  EXPECT_EQ(view->pixels, image.memory());
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(image.memory()) % 16, 0u);
  EXPECT_EQ(image.ImageAt(1, 0, 0), nullptr);
  EXPECT_EQ(image.ImageAt(0, 1, 0), nullptr);
  EXPECT_EQ(image.ImageAt(0, 0, 1), nullptr);
}

TEST(CompressedImageTest, RefusesBadArgumentsAndOverflow) {
  CompressedImage image;
  EXPECT_EQ(image.Allocate2D(77, 0, 4), common::kEInvalidArg);
  EXPECT_EQ(image.Allocate2D(0, 4, 4), common::kEInvalidArg);
  EXPECT_EQ(image.Allocate2D(191, 4, 4), common::kEInvalidArg);
  EXPECT_EQ(image.Allocate2D(113, 4, 4), common::kNotSupported);
  EXPECT_EQ(image.memory(), nullptr);
  EXPECT_EQ(image.Allocate2D(87, 65536, 32768), MakeHresult(0x80070216u));
  EXPECT_EQ(image.memory(), nullptr);
  EXPECT_EQ(image.info().width, 65536u);  // info is set before sizing
}

TEST(CompressedImageTest, MovesOwnershipAndClears) {
  CompressedImage a;
  ASSERT_EQ(a.Allocate2D(77, 16, 16), 0);
  std::byte* memory = a.memory();
  CompressedImage b(std::move(a));
  // The moved-from image is what this checks.
  EXPECT_EQ(a.memory(), nullptr);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(a.byteSize(), 0u);
  EXPECT_EQ(b.memory(), memory);
  CompressedImage c;
  c = std::move(b);
  EXPECT_EQ(c.memory(), memory);
  c.Clear();
  EXPECT_EQ(c.memory(), nullptr);
  EXPECT_EQ(c.imageCount(), 0u);
  EXPECT_EQ(c.info().format, 0u);
  EXPECT_EQ(c.ImageAt(0, 0, 0), nullptr);
}

}  // namespace
}  // namespace texture
