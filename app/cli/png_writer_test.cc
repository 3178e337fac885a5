#include "app/cli/png_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <string>

#include "app/cli/png_io.h"
#include "app/test_util.h"
#include "common/hresult.h"

namespace app {
namespace {

using test::Bytes;

std::uint32_t Load32(const Bytes& b, std::size_t at) {
  return std::to_integer<std::uint32_t>(b[at]) << 24 |
         std::to_integer<std::uint32_t>(b[at + 1]) << 16 |
         std::to_integer<std::uint32_t>(b[at + 2]) << 8 |
         std::to_integer<std::uint32_t>(b[at + 3]);
}

// Splits a PNG into its chunks, checking each CRC on the way.
std::multimap<std::string, Bytes> Chunks(const Bytes& png) {
  std::multimap<std::string, Bytes> chunks;
  EXPECT_EQ(std::to_integer<int>(png.at(0)), 0x89);
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    std::uint32_t length = Load32(png, at);
    std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
    Bytes data(png.begin() + at + 8, png.begin() + at + 8 + length);
    uLong crc =
        crc32(0, reinterpret_cast<const Bytef*>(&png[at + 4]), 4 + length);
    EXPECT_EQ(Load32(png, at + 8 + length), crc) << type;
    chunks.emplace(type, std::move(data));
    at += 12 + length;
  }
  EXPECT_EQ(at, png.size());
  return chunks;
}

Bytes Inflate(const Bytes& data) {
  Bytes out(1 << 20);
  auto size = static_cast<uLongf>(out.size());
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                       reinterpret_cast<const Bytef*>(data.data()),
                       static_cast<uLong>(data.size())),
            Z_OK);
  out.resize(size);
  return out;
}

TEST(EncodePngTest, WritesRgbaRowsWithValidChunks) {
  // 3 x 2 pixels, rows 16 bytes apart (4 bytes of padding each).
  Bytes bgra(32);
  for (std::size_t i = 0; i < bgra.size(); ++i) bgra[i] = std::byte(i);
  Bytes png = EncodePng(3, 2, 16, bgra);
  auto chunks = Chunks(png);
  ASSERT_EQ(chunks.count("IHDR"), 1u);
  ASSERT_EQ(chunks.count("IEND"), 1u);
  const Bytes& header = chunks.find("IHDR")->second;
  EXPECT_EQ(Load32(header, 0), 3u);
  EXPECT_EQ(Load32(header, 4), 2u);
  EXPECT_EQ(std::to_integer<int>(header[8]), 8);  // bit depth
  EXPECT_EQ(std::to_integer<int>(header[9]), 6);  // RGBA
  Bytes rows = Inflate(chunks.find("IDAT")->second);
  ASSERT_EQ(rows.size(), 2u * (1 + 12));
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(std::to_integer<int>(rows[y * 13]), 0);
    for (int x = 0; x < 3; ++x) {
      const std::byte* src = &bgra[y * 16 + x * 4];
      const std::byte* dst = &rows[y * 13 + 1 + x * 4];
      EXPECT_EQ(dst[0], src[2]);
      EXPECT_EQ(dst[1], src[1]);
      EXPECT_EQ(dst[2], src[0]);
      EXPECT_EQ(dst[3], src[3]);
    }
  }
}

TEST(EncodePngTest, PlatformDecoderReadsBackTheSamePixels) {
  // libpng on Linux, the Windows Imaging Component on Windows.
  const std::uint32_t width = 37, height = 19;
  Bytes bgra(std::size_t{width} * height * 4);
  for (std::size_t i = 0; i < bgra.size(); ++i)
    bgra[i] = std::byte((i * 7919) >> 3);
  BgraImage decoded = DecodePng(EncodePng(width, height, width * 4, bgra));
  EXPECT_EQ(decoded.width, width);
  EXPECT_EQ(decoded.height, height);
  EXPECT_TRUE(decoded.pixels == bgra);
}

TEST(EncodePngTest, RefusesEmptyOrShortImages) {
  Bytes bgra(16);
  EXPECT_EQ(test::CodeOf([&] { EncodePng(0, 1, 4, bgra); }),
            common::kEInvalidArg);
  EXPECT_EQ(test::CodeOf([&] { EncodePng(2, 3, 8, bgra); }),
            common::kEInvalidArg);
  EXPECT_EQ(test::CodeOf([&] { EncodePng(2, 1, 4, bgra); }),
            common::kEInvalidArg);
}

TEST(UnpremultiplyBgraTest, DividesByAlphaAndClearsTransparentPixels) {
  Bytes pixels = {
      std::byte{64},  std::byte{64},  std::byte{32},  std::byte{128},
      std::byte{9},   std::byte{9},   std::byte{9},   std::byte{0},
      std::byte{255}, std::byte{255}, std::byte{255}, std::byte{255},
      std::byte{200}, std::byte{0},   std::byte{0},   std::byte{100}};
  UnpremultiplyBgra(pixels);
  Bytes expected = {
      std::byte{128}, std::byte{128}, std::byte{64},  std::byte{128},
      std::byte{0},   std::byte{0},   std::byte{0},   std::byte{0},
      std::byte{255}, std::byte{255}, std::byte{255}, std::byte{255},
      std::byte{255}, std::byte{0},   std::byte{0},   std::byte{100}};
  EXPECT_EQ(pixels, expected);
}

}  // namespace
}  // namespace app
