#include "resource/texture_dictionary.h"

#include <gtest/gtest.h>

#include "resource/bytes.h"
#include "resource/sample_wtd.h"
#include "resource/test_util.h"

namespace resource {
namespace {

using namespace test;

TEST(HashKeyTest, HashesNamesAsTheGameDoes) {
  EXPECT_EQ(HashKey("font_chs"), 0xE055BCA6u);
  EXPECT_EQ(HashKey("font_chs"), kFontChsKey);
  EXPECT_EQ(HashKey(""), 0u);
  // Case is not folded, and bytes above 0x7F count as negative values.
  EXPECT_NE(HashKey("FONT_CHS"), HashKey("font_chs"));
  std::uint32_t h = 0;
  h += 0xFFFFFFFFu;  // (int8_t)0xFF widened
  h += h << 10;
  h ^= h >> 6;
  h += h << 3;
  h ^= h >> 11;
  h += h << 15;
  EXPECT_EQ(HashKey("\xFF"), h);
}

TEST(TextureRecordTest, FormatCodesReadAsStored) {
  const std::uint8_t bytes[4] = {'D', 'X', 'T', '5'};
  EXPECT_EQ(Read32(reinterpret_cast<const std::byte*>(bytes)), 0x35545844u);
  EXPECT_EQ(kFormatDxt5, 0x35545844u);
  EXPECT_EQ(FormatName(kFormatDxt1), "DXT1");
  EXPECT_EQ(FormatName(21), "21");
}

TEST(PixelDataSizeTest, SumsEveryMipLevel) {
  EXPECT_EQ(PixelDataSize(kFormatDxt5, 4096, 4096, 1), 16777216u);
  EXPECT_EQ(PixelDataSize(kFormatDxt1, 8, 8, 4), 32u + 8 + 8 + 8);
  EXPECT_EQ(PixelDataSize(kFormatDxt3, 16, 4, 3), 64u + 32 + 16);
  EXPECT_EQ(PixelDataSize(kFormatDxt2, 4, 4, 1), 16u);
  EXPECT_EQ(PixelDataSize(kFormatDxt4, 4, 4, 1), 16u);
  EXPECT_EQ(PixelDataSize(kFormatA8R8G8B8, 3, 5, 2), 60u + 8);
  EXPECT_EQ(PixelDataSize(kFormatDxt5, 64, 64, 0), 0u);
  EXPECT_EQ(CodeOf([] { PixelDataSize(FourCc('D', 'X', 'T', '6'), 4, 4, 1); }),
            common::kInvalidPixelFormat);
  EXPECT_EQ(CodeOf([] { PixelDataSize(22, 4, 4, 1); }),
            common::kInvalidPixelFormat);
  // 255 levels of a 65535-square A8R8G8B8 image overflow 32 bits.
  EXPECT_EQ(CodeOf([] { PixelDataSize(21, 65535, 65535, 255); }),
            common::kArithmeticOverflow);
}

TEST(ListTexturesTest, ReadsEveryTextureOfASample) {
  SampleWtdOptions options;
  options.textures = {{"pack:/a.dds", 64, 32, kFormatDxt1, 2},
                      {"pack:/font_chs.dds", 8, 8, kFormatDxt5, 1},
                      {"pack:/icons.dds", 4, 4, kFormatA8R8G8B8, 1}};
  options.scatter = true;
  ResourceFile file = LoadBytes(BuildSampleWtd(options));
  ResourceContext context(file);
  auto entries = ListTextures(context);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "pack:/a.dds");
  EXPECT_EQ(entries[0].key, HashKey("a"));
  EXPECT_EQ(entries[0].width, 64);
  EXPECT_EQ(entries[0].height, 32);
  EXPECT_EQ(entries[0].format, kFormatDxt1);
  EXPECT_EQ(entries[0].mipLevels, 2);
  EXPECT_EQ(entries[0].pixelBytes, 1024u + 256);
  EXPECT_EQ(entries[1].key, kFontChsKey);
  EXPECT_EQ(entries[2].pixelBytes, 64u);
  EXPECT_EQ(entries[2].pixels, context.physicalBase() + entries[2].pixelOffset);
}

TEST(RootLayoutTest, CountsAndCapacitiesAreSixteenBit) {
  SampleWtdOptions options;
  options.textures = {{"pack:/a.dds"}, {"pack:/b.dds"}, {"pack:/c.dds"}};
  for (auto& t : options.textures) t.format = kFormatDxt1;
  options.extraCapacity = 2;
  ResourceFile file = LoadBytes(BuildSampleWtd(options));
  const std::byte* root = file.virtualBase();
  EXPECT_EQ(root[20], std::byte{3});
  EXPECT_EQ(root[21], std::byte{0});
  EXPECT_EQ(Read16(root + 22), 5u);
  EXPECT_EQ(Read16(root + 28), 3u);
  EXPECT_EQ(Read16(root + 30), 5u);
}

}  // namespace
}  // namespace resource
