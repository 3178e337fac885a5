#include "texture/dds.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/memory_file_system.h"
#include "common/result.h"

namespace texture {
namespace {

std::uint32_t Get32(const std::vector<std::byte>& bytes, std::size_t offset) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i)
    v |= std::to_integer<std::uint32_t>(bytes[offset + i]) << (8 * i);
  return v;
}

TEST(DdsTest, Dxt5HeaderDescribesOneLevelOfLinearSize) {
  std::vector<std::byte> header = BuildDdsHeader(77, 6, 5);
  ASSERT_EQ(header.size(), kDdsHeaderSize);
  EXPECT_EQ(std::memcmp(header.data(), "DDS ", 4), 0);
  EXPECT_EQ(Get32(header, 4), 124u);
  EXPECT_EQ(Get32(header, 8), 0x1u | 0x2 | 0x4 | 0x1000 | 0x20000 | 0x80000);
  EXPECT_EQ(Get32(header, 12), 5u);   // height
  EXPECT_EQ(Get32(header, 16), 6u);   // width
  EXPECT_EQ(Get32(header, 20), 64u);  // 2 x 2 blocks
  EXPECT_EQ(Get32(header, 28), 1u);
  EXPECT_EQ(Get32(header, 76), 32u);
  EXPECT_EQ(Get32(header, 80), 0x4u);
  EXPECT_EQ(std::memcmp(header.data() + 84, "DXT5", 4), 0);
  EXPECT_EQ(Get32(header, 108), 0x1000u);
}

TEST(DdsTest, BgraHeaderHasMasksAndPitch) {
  std::vector<std::byte> header = BuildDdsHeader(87, 3, 2);
  EXPECT_EQ(Get32(header, 8) & 0x8, 0x8u);
  EXPECT_EQ(Get32(header, 20), 12u);
  EXPECT_EQ(Get32(header, 80), 0x41u);
  EXPECT_EQ(Get32(header, 88), 32u);
  EXPECT_EQ(Get32(header, 92), 0x00FF0000u);
  EXPECT_EQ(Get32(header, 104), 0xFF000000u);
}

TEST(DdsTest, RefusesOtherFormatsAndEmptyImages) {
  EXPECT_THROW(BuildDdsHeader(80, 4, 4), common::ResultException);
  EXPECT_THROW(BuildDdsHeader(77, 4, 4, 0), common::ResultException);
  EXPECT_THROW(BuildDdsHeader(77, 0, 4), common::ResultException);
  std::vector<std::byte> pixels(16);
  ImageView tooShort{4, 4, 87, 16, 16, pixels.data()};
  EXPECT_THROW(BuildDdsFile(tooShort), common::ResultException);
}

TEST(DdsTest, WritesPackedRowsToAFile) {
  // Two rows of 3 pixels with 4 bytes of padding each.
  std::vector<std::byte> pixels(32);
  for (std::size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = static_cast<std::byte>(i);
  ImageView view{3, 2, 87, 16, 32, pixels.data()};
  std::vector<std::byte> inMemory = BuildDdsFile(view);
  ASSERT_EQ(inMemory.size(), kDdsHeaderSize + 24);
  EXPECT_EQ(inMemory[kDdsHeaderSize + 12], std::byte{16});

  common::MemoryFileSystem fs;
  auto file = fs.CreateForWrite("out.dds");
  WriteDds(*file, view);
  file->Close();
  EXPECT_EQ(fs.Get("out.dds"), inMemory);
}

}  // namespace
}  // namespace texture
