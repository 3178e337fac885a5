#include "resource/layout.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>

#include "resource/bytes.h"
#include "resource/sample_wtd.h"
#include "resource/test_util.h"
#include "resource/texture_dictionary.h"

namespace resource {
namespace {

using namespace test;

TEST(PageFlagsTest, WorkedExamples) {
  EXPECT_EQ(0x10 | PhysicalPageFlags({16777216, 1048576, 262144}), 0x30090010u);
  EXPECT_EQ(
      0x10 | PhysicalPageFlags({16777216, 1048576, 1048576, 1048576, 1048576}),
      0x300A0010u);
  EXPECT_EQ(0x10 | PhysicalPageFlags({3000, 1097}), 0x000C0010u);
  EXPECT_EQ(0x10 | PhysicalPageFlags({3000, 1000}), 0x00080010u);
}

TEST(PageFlagsTest, CountsRoundedSizesSoEverythingWrittenIsDeclared) {
  // 3,000 and 1,096 fit one page as gathered, but are written as 3,008 and
  // 1,104 bytes, which do not.
  std::uint32_t flags = 0x10 | PhysicalPageFlags({3000, 1096});
  EXPECT_EQ(flags, 0x000C0010u);
  EXPECT_GE(DecodeSegmentSizes(flags).physicalSize, 3008u + 1104u);
  // Exactly filling a page is fine.
  EXPECT_EQ(0x10 | PhysicalPageFlags({3008, 1088}), 0x00080010u);
}

TEST(PageFlagsTest, BaseShiftFollowsTheLargestBlock) {
  EXPECT_EQ(DecodeSegmentSizes(0x10 | PhysicalPageFlags({4096})).physicalSize,
            4096u);
  EXPECT_EQ(DecodeSegmentSizes(0x10 | PhysicalPageFlags({4097})).physicalSize,
            8192u);
  EXPECT_EQ(PhysicalPageFlags({4097}) >> 26, 1u);
  // Empty blocks take no space and never open a page.
  EXPECT_EQ(PhysicalPageFlags({4096, 0, 0}), PhysicalPageFlags({4096}));
  EXPECT_EQ(DecodeSegmentSizes(0x10 | PhysicalPageFlags({})).physicalSize,
            4096u);
}

TEST(PageFlagsTest, RefusesWhatTheFieldsCannotHold) {
  // A largest block above 2^27 needs a shift above 15.
  EXPECT_EQ(CodeOf([] { PhysicalPageFlags({(1u << 27) + 16}); }),
            common::kENotImpl);
  EXPECT_EQ(CodeOf([] { PhysicalPageFlags({1u << 27}); }), 0);
  // 128 full pages overflow the seven-bit count.
  std::vector<std::uint32_t> pages(127, 4096);
  EXPECT_EQ(CodeOf([&] { PhysicalPageFlags(pages); }), 0);
  pages.push_back(4096);
  EXPECT_EQ(CodeOf([&] { PhysicalPageFlags(pages); }), common::kENotImpl);
}

// Blocks over host buffers, each with a slot of its own.
class HostBlocks {
 public:
  ResourceBlock Make(std::uint32_t size, bool withSlot = true) {
    storage_.push_back({Bytes(size), {}});
    Write32(storage_.back().slot.data(), 0x50000000);
    return {storage_.back().data.data(), size,
            withSlot ? storage_.back().slot.data() : nullptr};
  }

 private:
  struct Block {
    Bytes data;
    std::array<std::byte, 4> slot;
  };
  std::deque<Block> storage_;
};

TEST(ComputeLayoutTest, RootFirstThenLargestFirstInGatheringOrder) {
  HostBlocks h;
  BlockList list;
  ResourceBlock root = h.Make(32, false), aux = h.Make(528), keys = h.Make(4),
                name1 = h.Make(19), name2 = h.Make(19);
  list.virtualBlocks = {root, keys, name1, aux, name2};
  ResourceBlock p1 = h.Make(64), p2 = h.Make(4096), p3 = h.Make(64),
                p4 = h.Make(0);
  list.physicalBlocks = {p1, p2, p3, p4};
  std::uint32_t flags = ComputeLayout(list);

  ASSERT_EQ(list.virtualBlocks.size(), 5u);
  EXPECT_EQ(list.virtualBlocks[0].data, root.data);  // stays first
  EXPECT_EQ(list.virtualBlocks[1].data, aux.data);
  EXPECT_EQ(list.virtualBlocks[2].data, name1.data);  // equal sizes keep order
  EXPECT_EQ(list.virtualBlocks[3].data, name2.data);
  EXPECT_EQ(list.virtualBlocks[4].data, keys.data);
  EXPECT_EQ(Read32(aux.slot), 0x50000020u);
  EXPECT_EQ(Read32(name1.slot), 0x50000230u);  // 32 + 528
  EXPECT_EQ(Read32(name2.slot), 0x50000250u);  // a 19-byte name takes 32
  EXPECT_EQ(Read32(keys.slot), 0x50000270u);

  EXPECT_EQ(list.physicalBlocks[0].data, p2.data);
  EXPECT_EQ(list.physicalBlocks[1].data, p1.data);
  EXPECT_EQ(list.physicalBlocks[2].data, p3.data);
  EXPECT_EQ(Read32(p2.slot), 0x60000000u);
  EXPECT_EQ(Read32(p1.slot), 0x60001000u);
  EXPECT_EQ(Read32(p3.slot), 0x60001040u);
  EXPECT_EQ(Read32(p4.slot), 0x60001080u);
  EXPECT_EQ(flags, 0x10u | PhysicalPageFlags({4096, 64, 64, 0}));
  EXPECT_EQ(flags & 0xC0000000u, 0u);
}

TEST(ComputeLayoutTest, ABlockThatWouldStraddleAPageStartsTheNext) {
  HostBlocks h;
  BlockList list;
  list.virtualBlocks = {h.Make(32, false)};
  ResourceBlock first = h.Make(3000), second = h.Make(1097);
  list.physicalBlocks = {first, second};
  // The second block needs a page of its own (the flags declare 4096 and
  // 2048 bytes); written end to end it would run from 3008 across 4096.
  EXPECT_EQ(ComputeLayout(list), 0x000C0010u);
  EXPECT_EQ(Read32(first.slot), 0x60000000u);
  EXPECT_EQ(Read32(second.slot), 0x60001000u);
  EXPECT_EQ(list.physicalBlocks[1].offset, 4096u);
}

TEST(ComputeLayoutTest, VirtualBlocksBeyond4096BytesArePaged) {
  for (std::uint32_t extra : {0u, 1u}) {
    HostBlocks h;
    BlockList list;
    list.virtualBlocks = {h.Make(32, false), h.Make(528), h.Make(3520),
                          h.Make(16 + extra)};
    list.physicalBlocks = {h.Make(16)};
    std::uint32_t flags = ComputeLayout(list);
    std::uint32_t virtualSize = DecodeSegmentSizes(flags).virtualSize;
    if (extra == 0) {
      // Exactly 4096 bytes: the word every such file is written with.
      EXPECT_EQ(flags & 0x7FFFu, 0x10u);
    } else {
      // 4,112 bytes: declared in pages, as the physical segment is. End to
      // end, the last block would straddle the end of the first page
      // (0xFF0..0x1010): it starts the next one instead.
      EXPECT_EQ(flags & 0x7FFFu, VirtualPageFlags({32, 3520, 528, 17}));
      EXPECT_EQ(virtualSize, 4096u + 256);
      EXPECT_EQ(Read32(list.virtualBlocks[3].slot), 0x50001000u);
    }
  }
  // The largest block decides the unit, wherever the root stands.
  EXPECT_EQ(
      DecodeSegmentSizes(VirtualPageFlags({32, 35000})).virtualSize,
      DecodeSegmentSizes(0x10 | PhysicalPageFlags({35000, 32})).physicalSize);
}

TEST(CollectBlocksTest, GathersInOrderAndChecksLengths) {
  SampleWtdOptions options;
  options.textures = {{"pack:/one.dds", 8, 8, kFormatDxt1, 1},
                      {"pack:/two_two.dds", 4, 4, kFormatA8R8G8B8, 1}};
  options.scatter = true;
  ResourceFile file = LoadBytes(BuildSampleWtd(options));
  ResourceContext context(file);
  BlockList blocks = CollectBlocks(context);
  ASSERT_EQ(blocks.virtualBlocks.size(), 8u);
  EXPECT_EQ(blocks.virtualBlocks[0].data, file.virtualBase());
  EXPECT_EQ(blocks.virtualBlocks[0].slot, nullptr);
  EXPECT_EQ(blocks.virtualBlocks[1].size, 528u);
  EXPECT_EQ(blocks.virtualBlocks[2].size, 8u);  // keys
  EXPECT_EQ(blocks.virtualBlocks[3].size, 8u);  // texture pointers
  EXPECT_EQ(blocks.virtualBlocks[4].size, 80u);
  EXPECT_EQ(blocks.virtualBlocks[5].size, 14u);  // "pack:/one.dds" + NUL
  EXPECT_EQ(blocks.virtualBlocks[7].size, 18u);
  ASSERT_EQ(blocks.physicalBlocks.size(), 2u);
  EXPECT_EQ(blocks.physicalBlocks[0].size, 32u);
  EXPECT_EQ(blocks.physicalBlocks[1].size, 64u);
  EXPECT_EQ(blocks.physicalBlocks[1].slot,
            blocks.virtualBlocks[6].data + kRecordPixelsOffset);
}

TEST(CollectBlocksTest, RefusesBlocksThatRunPastTheirSegment) {
  SampleWtdOptions options;
  options.textures = {{"pack:/one.dds", 8, 8, kFormatDxt1, 1},
                      {"pack:/two.dds", 8, 8, kFormatDxt1, 1}};
  Bytes bytes = BuildSampleWtd(options);
  auto collect = [&](auto&& edit) {
    ResourceFile file = LoadBytes(bytes);
    ResourceContext context(file);
    edit(file, context);
    return CodeOf([&] { CollectBlocks(context); });
  };
  auto record = [](ResourceFile& f, ResourceContext& c, int i = 0) {
    return c.ResolvePointer(
        c.ResolvePointer(f.virtualBase() + kRootTexturesOffset,
                         Pointee::ArrayElement) +
            4 * i,
        Pointee::TextureRecord);
  };
  EXPECT_EQ(collect([](auto&, auto&) {}), 0);
  // An array whose first element fits but whose second does not.
  EXPECT_EQ(collect([](ResourceFile& f, auto&) {
              Write32(f.virtualBase() + kRootKeysOffset, 0x50000FFC);
            }),
            common::kEInvalidArg);
  // Key and texture counts that differ.
  EXPECT_EQ(collect([](ResourceFile& f, auto&) {
              Write16(f.virtualBase() + kRootKeysOffset + 4, 0);
            }),
            common::kEInvalidArg);
  // A name without a terminator before the segment ends.
  EXPECT_EQ(collect([&](ResourceFile& f, ResourceContext& c) {
              std::memset(f.virtualBase() + 4080, 'x', 16);
              Write32(record(f, c) + kRecordNameOffset, 0x50000FF0);
            }),
            common::kEInvalidArg);
  // Pixel data larger than what is left of the physical segment.
  EXPECT_EQ(collect([&](ResourceFile& f, ResourceContext& c) {
              Write16(record(f, c) + kRecordWidthOffset, 4096);
            }),
            common::kEInvalidArg);
  // A name that runs into another block, here the tail of another name.
  EXPECT_EQ(collect([&](ResourceFile& f, ResourceContext& c) {
              std::byte* first = record(f, c, 0);
              std::byte* second = record(f, c, 1);
              Write32(second + kRecordNameOffset,
                      Read32(first + kRecordNameOffset) + 1);
            }),
            common::kEInvalidArg);
  // Two records sharing one name is not an overlap.
  EXPECT_EQ(collect([&](ResourceFile& f, ResourceContext& c) {
              std::byte* first = record(f, c, 0);
              std::byte* second = record(f, c, 1);
              Write32(second + kRecordNameOffset,
                      Read32(first + kRecordNameOffset));
            }),
            0);
  // An unknown format.
  EXPECT_EQ(collect([&](ResourceFile& f, ResourceContext& c) {
              Write32(record(f, c) + kRecordFormatOffset, 0x12345678);
            }),
            common::kInvalidPixelFormat);
}

// A name whose bytes are exactly another record's 80 bytes is not that
// record reached twice: the record's rewritten pointers would rename the
// texture. Such a record has no zero byte before its last, so its pointers'
// offsets need all three low bytes set.
TEST(CollectBlocksTest, RefusesANameThatIsAnotherRecord) {
  SampleWtdOptions options;
  options.textures = {{"pack:/one.dds", 8, 8, kFormatDxt1, 1},
                      {"pack:/two.dds", 8, 8, kFormatDxt1, 1}};
  options.virtualSize = 0x11000;
  Bytes bytes = BuildSampleWtd(options);
  // A physical segment of 512 units of 256 bytes.
  Write32(bytes.data() + 8, (FlagsOf(bytes) & 0x7FFFu) | (512u << 15));
  ResourceFile file = LoadBytes(bytes);
  ResourceContext context(file);
  std::byte* textures = context.ResolvePointer(
      file.virtualBase() + kRootTexturesOffset, Pointee::ArrayElement);
  std::byte* first = context.ResolvePointer(textures, Pointee::TextureRecord);
  std::byte* second =
      context.ResolvePointer(textures + 4, Pointee::TextureRecord);
  std::memset(second, 0x11, kRecordSize - 1);
  second[kRecordSize - 1] = std::byte{0};
  std::memcpy(file.virtualBase() + 0x10101, "two", 4);
  Write32(second + kRecordNameOffset, MakePointer(kVirtualTag, 0x10101));
  Write16(second + kRecordWidthOffset, 0x0108);
  Write16(second + kRecordHeightOffset, 0x0108);
  Write32(second + kRecordFormatOffset, kFormatDxt1);
  second[kRecordMipLevelsOffset] = std::byte{1};
  Write32(second + kRecordPixelsOffset, MakePointer(kPhysicalTag, 0x10101));
  ASSERT_EQ(CodeOf([&] { CollectBlocks(context); }), 0);
  Write32(first + kRecordNameOffset, Read32(textures + 4));
  std::byte* name;
  ASSERT_EQ(context.ResolveName(first + kRecordNameOffset, &name), kRecordSize);
  EXPECT_EQ(CodeOf([&] { CollectBlocks(context); }), common::kEInvalidArg);
}

}  // namespace
}  // namespace resource
