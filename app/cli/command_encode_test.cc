#include "app/cli/command_encode.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/cli/png_io.h"
#include "common/result.h"
#include "testing/temp_dir.h"
#include "texture/compress.h"
#include "texture/dds.h"
#include "texture/dxt5_test_decoder.h"

namespace app {
namespace {

using Bytes = std::vector<std::byte>;

void Put32Big(Bytes& out, std::uint32_t v) {
  for (int i = 3; i >= 0; --i)
    out.push_back(static_cast<std::byte>(v >> (8 * i)));
}

void Chunk(Bytes& out, const char* type, const Bytes& data) {
  Put32Big(out, static_cast<std::uint32_t>(data.size()));
  Bytes typed(4);
  std::transform(type, type + 4, typed.begin(),
                 [](char c) { return static_cast<std::byte>(c); });
  typed.insert(typed.end(), data.begin(), data.end());
  out.insert(out.end(), typed.begin(), typed.end());
  Put32Big(out, static_cast<std::uint32_t>(
                    crc32(0, reinterpret_cast<const Bytef*>(typed.data()),
                          static_cast<uInt>(typed.size()))));
}

// A minimal PNG writer for tests: rows unfiltered, one IDAT chunk.
Bytes MakePng(std::uint32_t width, std::uint32_t height, int colourType,
              int depth, const Bytes& rowsData, const Bytes& palette = {},
              const Bytes& transparency = {}) {
  Bytes out;
  const unsigned char signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  for (unsigned char c : signature) out.push_back(std::byte{c});
  Bytes header;
  Put32Big(header, width);
  Put32Big(header, height);
  header.push_back(static_cast<std::byte>(depth));
  header.push_back(static_cast<std::byte>(colourType));
  header.insert(header.end(), 3, std::byte{0});
  Chunk(out, "IHDR", header);
  if (!palette.empty()) Chunk(out, "PLTE", palette);
  if (!transparency.empty()) Chunk(out, "tRNS", transparency);
  std::size_t rowBytes = rowsData.size() / height;
  Bytes raw;
  for (std::uint32_t y = 0; y < height; ++y) {
    raw.push_back(std::byte{0});
    raw.insert(raw.end(), rowsData.begin() + y * rowBytes,
               rowsData.begin() + (y + 1) * rowBytes);
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes packed(size);
  EXPECT_EQ(compress(reinterpret_cast<Bytef*>(packed.data()), &size,
                     reinterpret_cast<const Bytef*>(raw.data()),
                     static_cast<uLong>(raw.size())),
            Z_OK);
  packed.resize(size);
  Chunk(out, "IDAT", packed);
  Chunk(out, "IEND", {});
  return out;
}

Bytes RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::byte>(random());
  return bytes;
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string s((std::istreambuf_iterator<char>(in)), {});
  Bytes out(s.size());
  std::memcpy(out.data(), s.data(), s.size());
  return out;
}

// The DDS file CompressImage and WriteDds make of B, G, R, A pixels.
Bytes ExpectedDds(std::uint32_t width, std::uint32_t height, Bytes bgra) {
  texture::ImageView view{width,
                          height,
                          87,
                          width * 4,
                          static_cast<std::uint32_t>(bgra.size()),
                          bgra.data()};
  texture::CompressedImage result;
  EXPECT_EQ(
      texture::CompressImage(view, 77, texture::CompressParallel, 0.5f, result),
      0);
  return texture::BuildDdsFile(*result.ImageAt(0, 0, 0));
}

Bytes RgbaToBgra(const Bytes& rgba) {
  Bytes bgra = rgba;
  for (std::size_t i = 0; i < bgra.size(); i += 4)
    std::swap(bgra[i], bgra[i + 2]);
  return bgra;
}

int Encode(std::vector<std::string> args) {
  return RunEncode(std::span<const std::string>(args));
}

std::string Utf8(const std::filesystem::path& path) {
  auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

TEST(RunEncodeTest, EncodesAPngIntoTheDriversDds) {
  testutil::TempDir dir;
  const std::uint32_t width = 37, height = 23;
  Bytes rgba = RandomBytes(width * height * 4, 1);
  WriteFile(dir.path() / "in.png", MakePng(width, height, 6, 8, rgba));
  ASSERT_EQ(Encode({Utf8(dir.path() / "in.png"), Utf8(dir.path() / "out.dds")}),
            0);
  EXPECT_EQ(ReadFile(dir.path() / "out.dds"),
            ExpectedDds(width, height, RgbaToBgra(rgba)));
}

TEST(RunEncodeTest, EncodesRawBgra) {
  testutil::TempDir dir;
  Bytes bgra = RandomBytes(5 * 9 * 4, 2);
  WriteFile(dir.path() / "in.bgra", bgra);
  ASSERT_EQ(Encode({"--raw", "5", "9", Utf8(dir.path() / "in.bgra"),
                    Utf8(dir.path() / "out.dds")}),
            0);
  EXPECT_EQ(ReadFile(dir.path() / "out.dds"), ExpectedDds(5, 9, bgra));
}

TEST(RunEncodeTest, ReportsBadArgumentsAndInputs) {
  testutil::TempDir dir;
  std::string out = Utf8(dir.path() / "out.dds");
  EXPECT_EQ(Encode({}), 2);
  EXPECT_EQ(Encode({"only-one"}), 2);
  EXPECT_EQ(Encode({"--raw", "4", "x", "a", out}), 2);
  EXPECT_EQ(Encode({"--raw", "0", "4", "a", out}), 2);
  EXPECT_EQ(Encode({Utf8(dir.path() / "missing.png"), out}), 1);
  WriteFile(dir.path() / "short.bgra", Bytes(60));
  EXPECT_EQ(Encode({"--raw", "4", "4", Utf8(dir.path() / "short.bgra"), out}),
            1);
  WriteFile(dir.path() / "bad.png", RandomBytes(100, 3));
  EXPECT_EQ(Encode({Utf8(dir.path() / "bad.png"), out}), 1);
  Bytes truncated = MakePng(8, 8, 6, 8, RandomBytes(256, 4));
  truncated.resize(truncated.size() - 30);
  WriteFile(dir.path() / "truncated.png", truncated);
  EXPECT_EQ(Encode({Utf8(dir.path() / "truncated.png"), out}), 1);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.dds"));
}

TEST(DecodePngTest, ExpandsPaletteGreyAndSixteenBits) {
  // Palette of three entries, the second half transparent.
  Bytes palette = {std::byte{10}, std::byte{20}, std::byte{30},
                   std::byte{40}, std::byte{50}, std::byte{60},
                   std::byte{70}, std::byte{80}, std::byte{90}};
  Bytes indices = {std::byte{0}, std::byte{1}, std::byte{2}, std::byte{1}};
  BgraImage indexed = DecodePng(
      MakePng(2, 2, 3, 8, indices, palette, {std::byte{255}, std::byte{128}}));
  ASSERT_EQ(indexed.width, 2u);
  Bytes expected = {
      std::byte{30}, std::byte{20}, std::byte{10}, std::byte{255},
      std::byte{60}, std::byte{50}, std::byte{40}, std::byte{128},
      std::byte{90}, std::byte{80}, std::byte{70}, std::byte{255},
      std::byte{60}, std::byte{50}, std::byte{40}, std::byte{128}};
  EXPECT_EQ(indexed.pixels, expected);

  // Grey with alpha, 8 bits.
  BgraImage greyAlpha =
      DecodePng(MakePng(1, 1, 4, 8, {std::byte{77}, std::byte{9}}));
  EXPECT_EQ(greyAlpha.pixels,
            (Bytes{std::byte{77}, std::byte{77}, std::byte{77}, std::byte{9}}));

  // RGB without alpha gets 255.
  BgraImage rgb = DecodePng(
      MakePng(1, 1, 2, 8, {std::byte{1}, std::byte{2}, std::byte{3}}));
  EXPECT_EQ(rgb.pixels,
            (Bytes{std::byte{3}, std::byte{2}, std::byte{1}, std::byte{255}}));

#if !defined(_WIN32)
  // 16-bit grey keeps its high byte (WIC rounds instead).
  BgraImage deep = DecodePng(MakePng(
      2, 1, 0, 16,
      {std::byte{0x12}, std::byte{0x34}, std::byte{0xFF}, std::byte{0x80}}));
  EXPECT_EQ(deep.pixels,
            (Bytes{std::byte{0x12}, std::byte{0x12}, std::byte{0x12},
                   std::byte{255}, std::byte{0xFF}, std::byte{0xFF},
                   std::byte{0xFF}, std::byte{255}}));
#endif
  EXPECT_THROW(DecodePng(RandomBytes(64, 5)), common::ResultException);
}

TEST(RunEncodeTest, PillowReadsTheDdsAsTheTestDecoderDoes) {
#if defined(_WIN32)
  GTEST_SKIP() << "Pillow check runs in the Linux build";
#else
  if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "/usr/bin/python3 has no PIL";
  testutil::TempDir dir;
  const std::uint32_t width = 64, height = 40;
  // Glyph-like content: premultiplied white ramps on transparent black.
  Bytes rgba(width * height * 4);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      int v = std::clamp(static_cast<int>((x * 7 + y * 3) % 300) - 30, 0, 255);
      for (int c = 0; c < 4; ++c) rgba[(y * width + x) * 4 + c] = std::byte(v);
    }
  }
  WriteFile(dir.path() / "in.png", MakePng(width, height, 6, 8, rgba));
  ASSERT_EQ(Encode({Utf8(dir.path() / "in.png"), Utf8(dir.path() / "out.dds")}),
            0);
  std::string script =
      "import sys\nfrom PIL import Image\n"
      "im = Image.open(sys.argv[1])\n"
      "assert im.size == (64, 40), im.size\n"
      "open(sys.argv[2], 'wb').write(im.convert('RGBA').tobytes())\n";
  WriteFile(
      dir.path() / "read.py",
      Bytes(reinterpret_cast<const std::byte*>(script.data()),
            reinterpret_cast<const std::byte*>(script.data()) + script.size()));
  std::string command = "/usr/bin/python3 '" +
                        (dir.path() / "read.py").string() + "' '" +
                        (dir.path() / "out.dds").string() + "' '" +
                        (dir.path() / "pillow.rgba").string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  Bytes pillow = ReadFile(dir.path() / "pillow.rgba");
  ASSERT_EQ(pillow.size(), rgba.size());

  Bytes dds = ReadFile(dir.path() / "out.dds");
  for (std::uint32_t by = 0; by < height / 4; ++by) {
    for (std::uint32_t bx = 0; bx < width / 4; ++bx) {
      auto block = texture::testing::DecodeDxt5Block(
          reinterpret_cast<const std::uint8_t*>(dds.data()) +
          texture::kDdsHeaderSize + 16 * (by * (width / 4) + bx));
      for (int i = 0; i < 16; ++i) {
        std::size_t at = ((4 * by + i / 4) * width + 4 * bx + i % 4) * 4;
        const int ours[4] = {block[i].r, block[i].g, block[i].b, block[i].a};
        for (int c = 0; c < 4; ++c) {
          int theirs = std::to_integer<int>(pillow[at + c]);
          // Decoders may round the interpolated entries differently.
          ASSERT_LE(std::abs(theirs - ours[c]), 1) << at << " channel " << c;
          // And the picture is the source, within the encoder's error.
          ASSERT_LE(std::abs(theirs - std::to_integer<int>(rgba[at + c])), 48);
        }
      }
    }
  }
#endif
}

}  // namespace
}  // namespace app
