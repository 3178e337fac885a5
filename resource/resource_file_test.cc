#include "resource/resource_file.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "resource/bytes.h"
#include "resource/test_util.h"

namespace resource {
namespace {

using namespace test;

Bytes Header(std::uint32_t magic, std::uint32_t version, std::uint32_t flags) {
  Bytes h(12);
  Write32(h.data(), magic);
  Write32(h.data() + 4, version);
  Write32(h.data() + 8, flags);
  return h;
}

Bytes Deflated(const Bytes& body, int level = 9) {
  uLongf size = compressBound(static_cast<uLong>(body.size()));
  Bytes out(size);
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                      reinterpret_cast<const Bytef*>(body.data()),
                      static_cast<uLong>(body.size()), level),
            Z_OK);
  out.resize(size);
  return out;
}

Bytes FileOf(std::uint32_t flags, const Bytes& body) {
  Bytes file = Header(kRscMagic, kRscVersion, flags);
  Bytes packed = Deflated(body);
  file.insert(file.end(), packed.begin(), packed.end());
  return file;
}

constexpr std::uint32_t kFlags4K4K = 0x10 | (16u << 15);  // 4096 + 4096

TEST(SegmentSizesTest, DecodesTheFlagsWord) {
  SegmentSizes s = DecodeSegmentSizes(0x30090010);
  EXPECT_EQ(s.virtualSize, 4096u);
  EXPECT_EQ(s.physicalSize, 18u << 20);
  s = DecodeSegmentSizes(0xC0000000u | kFlags4K4K);  // bits 30-31 ignored
  EXPECT_EQ(s.virtualSize, 4096u);
  EXPECT_EQ(s.physicalSize, 4096u);
}

TEST(SegmentSizesTest, RefusesSizesBeyond32Bits) {
  // 2047 << 23 is about 17 GB.
  EXPECT_EQ(CodeOf([] { DecodeSegmentSizes(0x7FF | (15u << 11)); }),
            common::kEInvalidArg);
  EXPECT_EQ(CodeOf([] { DecodeSegmentSizes((0x7FFu << 15) | (15u << 26)); }),
            common::kEInvalidArg);
  // Each half fits (2^31), the sum does not.
  std::uint32_t half = 256 | (15u << 11) | (256u << 15) | (15u << 26);
  EXPECT_EQ(CodeOf([&] { DecodeSegmentSizes(half); }), common::kEInvalidArg);
  // The largest sum that fits is accepted.
  EXPECT_EQ(DecodeSegmentSizes(256 | (15u << 11)).virtualSize, 1u << 31);
}

TEST(LoadResourceTest, RejectsShortAndForeignHeaders) {
  Bytes good = Header(kRscMagic, kRscVersion, kFlags4K4K);
  EXPECT_EQ(CodeOf([&] { LoadBytes(Bytes(good.begin(), good.begin() + 11)); }),
            common::kHandleEof);
  EXPECT_EQ(CodeOf([&] { LoadBytes(good); }), common::kHandleEof);
  EXPECT_EQ(CodeOf([&] { LoadBytes(Header(0x06435352, 8, kFlags4K4K)); }),
            common::kEInvalidArg);
  EXPECT_EQ(CodeOf([&] { LoadBytes(Header(kRscMagic, 7, kFlags4K4K)); }),
            common::kEInvalidArg);
  EXPECT_EQ(CodeOf([&] { LoadBytes({}); }), common::kHandleEof);
}

TEST(LoadResourceTest, ShortOrCorruptStreamsRunOutOfFile) {
  Bytes body = Filled(8192, 0x41);
  Bytes file = FileOf(kFlags4K4K, body);
  Bytes cut(file.begin(), file.end() - 5);
  EXPECT_EQ(CodeOf([&] { LoadBytes(cut); }), common::kHandleEof);
  Bytes corrupt = Header(kRscMagic, kRscVersion, kFlags4K4K);
  for (int i = 0; i < 300; ++i) corrupt.push_back(std::byte(i * 37 + 11));
  EXPECT_EQ(CodeOf([&] { LoadBytes(corrupt); }), common::kHandleEof);
  // A stream that expands past the declared sizes never ends inside them.
  Bytes tooLong = FileOf(kFlags4K4K, Filled(8193, 1));
  EXPECT_EQ(CodeOf([&] { LoadBytes(tooLong); }), common::kHandleEof);
}

TEST(LoadResourceTest, ShortExpansionLeavesZeros) {
  Bytes file = FileOf(0x80000000u | kFlags4K4K, Filled(5000, 0x77));
  file.push_back(std::byte{0x99});  // bytes after the stream are ignored
  ResourceFile r = LoadBytes(file);
  EXPECT_EQ(r.header.flags, 0x80000000u | kFlags4K4K);
  ASSERT_EQ(r.body.size(), 8192u);
  EXPECT_EQ(r.body.data()[4999], std::byte{0x77});
  EXPECT_EQ(r.body.data()[5000], std::byte{0});
  EXPECT_EQ(r.body.data()[8191], std::byte{0});
}

// No dictionary of the game comes near the bound; a small file that
// declares gigabytes is refused from its header, before anything is
// allocated or inflated.
TEST(LoadResourceTest, RefusesDeclaredSizesBeyondTheBound) {
  Bytes body = Filled(5000, 0x77);
  // 128 MiB + 128 MiB: exactly the bound.
  const std::uint32_t atBound = 16 | (15u << 11) | (16u << 15) | (15u << 26);
  ASSERT_EQ(std::uint64_t{DecodeSegmentSizes(atBound).virtualSize} +
                DecodeSegmentSizes(atBound).physicalSize,
            kMaxDeclaredBytes);
  EXPECT_EQ(LoadBytes(FileOf(atBound, body)).body.size(), kMaxDeclaredBytes);
  EXPECT_EQ(CodeOf([&] { LoadBytes(FileOf(atBound + (1u << 15), body)); }),
            common::kFileTooLarge);
  // 4096 bytes and 2047 << 21: almost 4 GiB.
  const std::uint32_t fourGiB = 0x10 | (2047u << 15) | (13u << 26);
  EXPECT_EQ(CodeOf([&] { LoadBytes(FileOf(fourGiB, body)); }),
            common::kFileTooLarge);
}

TEST(LoadResourceTest, ReadsStreamsLargerThanOneChunk) {
  Bytes body(4096 + (300u << 10));
  for (std::size_t i = 0; i < body.size(); ++i)
    body[i] = std::byte((i * 2654435761u) >> 24);  // barely compressible
  std::uint32_t flags = 0x10 | (300u << 15) | (2u << 26);  // 300 KiB
  ResourceFile r = LoadBytes(FileOf(flags, body));
  ASSERT_EQ(r.body.size(), body.size());
  EXPECT_EQ(std::memcmp(r.body.data(), body.data(), body.size()), 0);
}

TEST(SaveResourceTest, PadsBlocksAndTheVirtualSegment) {
  Bytes a = Filled(32, 0xAA), b = Filled(20, 0xBB), c = Filled(48, 0xCC),
        d = Filled(7, 0xDD);
  BlockList blocks;
  blocks.virtualBlocks = {{a.data(), 32, nullptr}, {b.data(), 20, nullptr}};
  blocks.physicalBlocks = {{c.data(), 48, nullptr}, {d.data(), 7, nullptr}};
  common::MemoryFileSystem fs;
  SaveResource(*fs.CreateForWrite("out"), {kRscMagic, 8, 0xC0000000u}, 0x1234,
               blocks);
  const Bytes& file = fs.Get("out");
  EXPECT_EQ(Read32(file.data()), kRscMagic);
  EXPECT_EQ(Read32(file.data() + 4), 8u);
  EXPECT_EQ(FlagsOf(file), 0xC0001234u);  // top bits carried
  Bytes body = InflateBody(file);
  Bytes expected = a;
  expected.insert(expected.end(), b.begin(), b.end());
  expected.resize(4096, std::byte{0xCD});               // 12 + 4032 fill bytes
  expected.insert(expected.end(), c.begin(), c.end());  // no padding
  expected.insert(expected.end(), d.begin(), d.end());
  expected.resize(expected.size() + 9, std::byte{0xCD});  // and no more
  EXPECT_EQ(body, expected);
}

TEST(SaveResourceTest, TopBitsComeOnlyFromTheLoadedHeader) {
  BlockList none;
  common::MemoryFileSystem fs;
  SaveResource(*fs.CreateForWrite("out"), {kRscMagic, 8, 0x4000ABCDu},
               0x80000010u, none);
  // The layout never sets bits 30-31; whatever it passes, the loaded ones
  // are ORed in.
  EXPECT_EQ(FlagsOf(fs.Get("out")), 0xC0000010u);
}

TEST(SaveResourceTest, RoundTripKeepsTheExpansion) {
  Bytes body(4096 + 200000);
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = std::byte(i % 251);
  std::uint32_t flags = 0x10 | (196u << 15) | (2u << 26);  // 200,704 bytes
  ResourceFile r = LoadBytes(FileOf(flags, body));
  BlockList blocks;
  blocks.virtualBlocks = {{r.virtualBase(), 4096, nullptr}};
  blocks.physicalBlocks = {{r.physicalBase(), r.sizes.physicalSize, nullptr}};
  common::MemoryFileSystem fs;
  SaveResource(*fs.CreateForWrite("out"), r.header, r.header.flags, blocks);
  ResourceFile again = LoadBytes(fs.Get("out"));
  EXPECT_EQ(again.header.flags, flags);
  ASSERT_EQ(again.body.size(), r.body.size());
  EXPECT_EQ(std::memcmp(again.body.data(), r.body.data(), r.body.size()), 0);
}

TEST(SaveResourceTest, ShortWritesAreDiskFull) {
  Bytes big(1 << 20);
  std::mt19937 rng(7);  // incompressible: the stream is over 1 MiB
  for (auto& b : big) b = std::byte(rng());
  BlockList blocks;
  blocks.physicalBlocks = {
      {big.data(), static_cast<std::uint32_t>(big.size()), nullptr}};
  for (std::size_t limit : {0u, 11u, 12u, 5000u, 100000u}) {
    common::MemoryFileSystem fs;
    fs.writeLimit = limit;
    EXPECT_EQ(CodeOf([&] {
                SaveResource(*fs.CreateForWrite("out"), {kRscMagic, 8, 0}, 0x10,
                             blocks);
              }),
              common::kHandleDiskFull)
        << limit;
  }
  common::MemoryFileSystem fs;
  fs.writeLimit = 0;
  fs.writeFailure = common::HresultFromWin32(112);  // the OS's own code
  EXPECT_EQ(CodeOf([&] {
              SaveResource(*fs.CreateForWrite("out"), {kRscMagic, 8, 0}, 0x10,
                           blocks);
            }),
            common::MakeHresult(0x80070070u));
}

}  // namespace
}  // namespace resource
