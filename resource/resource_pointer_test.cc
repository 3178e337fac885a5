#include "resource/resource_pointer.h"

#include <gtest/gtest.h>

#include "resource/bytes.h"
#include "resource/test_util.h"

namespace resource {
namespace {

using namespace test;

class ResourcePointerTest : public ::testing::Test {
 protected:
  ResourcePointerTest() : file_{} {
    file_.sizes = {4096, 8192};
    file_.body = ZeroedBuffer(4096 + 8192);
    context_.BindResource(file_);
  }
  std::byte* Slot(std::uint32_t value) {
    Write32(slot_, value);
    return slot_;
  }
  HRESULT Resolve(std::uint32_t value, Pointee pointee) {
    return CodeOf([&] { context_.ResolvePointer(Slot(value), pointee); });
  }

  ResourceFile file_;
  ResourceContext context_;
  std::byte slot_[4];
};

TEST_F(ResourcePointerTest, PacksTagAndPayload) {
  EXPECT_EQ(MakePointer(5, 0x40), 0x50000040u);
  EXPECT_EQ(MakePointer(6, 0x1FFFFFFF), 0x6FFFFFFFu);  // payload masked
  EXPECT_EQ(PointerTag(0xF0000003u), 0xFu);
  EXPECT_EQ(PointerPayload(0xF0000003u), 3u);
}

TEST_F(ResourcePointerTest, BoundsOfEachPointeeKind) {
  EXPECT_EQ(context_.ResolvePointer(Slot(0x50000FB0), Pointee::TextureRecord),
            file_.virtualBase() + 4016);
  EXPECT_EQ(Resolve(0x50000FB1, Pointee::TextureRecord), common::kEInvalidArg);
  EXPECT_EQ(Resolve(0x50000000 | (4096 - 528), Pointee::RootAuxBlock), 0);
  EXPECT_EQ(Resolve(0x50000000 | (4096 - 527), Pointee::RootAuxBlock),
            common::kEInvalidArg);
  EXPECT_EQ(Resolve(0x50000FFC, Pointee::ArrayElement), 0);
  EXPECT_EQ(Resolve(0x50000FFD, Pointee::ArrayElement), common::kEInvalidArg);
  EXPECT_EQ(Resolve(0x50000FFF, Pointee::Name), 0);
  EXPECT_EQ(Resolve(0x50001000, Pointee::Name), common::kEInvalidArg);
  EXPECT_EQ(context_.ResolvePointer(Slot(0x60001FFF), Pointee::PixelData),
            file_.physicalBase() + 8191);
  EXPECT_EQ(Resolve(0x60002000, Pointee::PixelData), common::kEInvalidArg);
  // A payload near 2^28 must not wrap the bound.
  EXPECT_EQ(Resolve(0x5FFFFFFF, Pointee::Name), common::kEInvalidArg);
}

TEST_F(ResourcePointerTest, WrongTagsAndSegmentsFail) {
  EXPECT_EQ(Resolve(0x50000000, Pointee::PixelData), common::kEInvalidArg);
  EXPECT_EQ(Resolve(0x60000000, Pointee::Name), common::kEInvalidArg);
  EXPECT_EQ(Resolve(0, Pointee::TextureRecord), common::kEInvalidArg);
  for (std::uint32_t tag : {0u, 1u, 4u, 7u, 0xEu})
    EXPECT_EQ(Resolve(tag << 28, Pointee::ArrayElement), common::kEInvalidArg);
}

TEST_F(ResourcePointerTest, ExternalIndicesMustNameATableEntry) {
  // A tag-0xF value read from a file names no block of ours.
  EXPECT_EQ(Resolve(0xF0000000, Pointee::TextureRecord), common::kEInvalidArg);
  std::byte record[80];
  std::uint32_t value = context_.AppendExternal(record, sizeof record);
  EXPECT_EQ(value, 0xF0000000u);
  EXPECT_EQ(context_.ResolvePointer(Slot(value), Pointee::TextureRecord),
            record);
  EXPECT_EQ(Resolve(0xF0000001, Pointee::TextureRecord), common::kEInvalidArg);
  // Host blocks have sizes too: a 19-byte name is not a record.
  std::byte name[19] = {};
  std::uint32_t nameValue = context_.AppendExternal(name, sizeof name);
  EXPECT_EQ(Resolve(nameValue, Pointee::TextureRecord), common::kEInvalidArg);
  EXPECT_EQ(Resolve(nameValue, Pointee::Name), 0);
}

TEST_F(ResourcePointerTest, SetExternalAppendsOrReplaces) {
  std::byte a[4] = {}, b[4] = {};
  Slot(0x50000040);
  context_.SetExternal(slot_, a, 4);
  EXPECT_EQ(Read32(slot_), 0xF0000000u);
  EXPECT_EQ(context_.table().size(), 1u);
  context_.SetExternal(slot_, b, 4);
  EXPECT_EQ(Read32(slot_), 0xF0000000u);
  ASSERT_EQ(context_.table().size(), 1u);
  EXPECT_EQ(context_.table()[0].data, b);
  // An index beyond the table is refused and nothing changes.
  Slot(0xF0000007);
  EXPECT_EQ(CodeOf([&] { context_.SetExternal(slot_, a, 4); }),
            common::kEInvalidArg);
  EXPECT_EQ(context_.table().size(), 1u);
  context_.ResetResourceContext();
  EXPECT_EQ(context_.virtualBase(), nullptr);
  EXPECT_EQ(context_.physicalSize(), 0u);
  Slot(0x50000040);
  context_.SetExternal(slot_, a, 4);
  EXPECT_EQ(Read32(slot_), 0xF0000000u);  // appending starts again at 0
}

TEST_F(ResourcePointerTest, WholeBlocksMustFitTheirSegment) {
  EXPECT_EQ(CodeOf([&] {
              context_.ResolveBlock(Slot(0x50000FF0), Pointee::ArrayElement,
                                    16);
            }),
            0);
  EXPECT_EQ(CodeOf([&] {
              context_.ResolveBlock(Slot(0x50000FF0), Pointee::ArrayElement,
                                    20);
            }),
            common::kEInvalidArg);
  EXPECT_EQ(CodeOf([&] {
              context_.ResolveBlock(Slot(0x60000000), Pointee::PixelData, 8193);
            }),
            common::kEInvalidArg);
  // Empty pixel data may sit at the very end of the physical segment: the
  // layout puts it there, and it reads nothing.
  EXPECT_EQ(context_.ResolveBlock(Slot(0x60002000), Pointee::PixelData, 0),
            file_.physicalBase() + 8192);
  EXPECT_EQ(CodeOf([&] {
              context_.ResolveBlock(Slot(0x60002001), Pointee::PixelData, 0);
            }),
            common::kEInvalidArg);
}

TEST_F(ResourcePointerTest, NamesEndInsideTheirSegment) {
  std::memcpy(file_.virtualBase() + 100, "abc", 4);
  std::byte* name;
  EXPECT_EQ(context_.ResolveName(Slot(0x50000064), &name), 4u);
  EXPECT_EQ(name, file_.virtualBase() + 100);
  std::memset(file_.virtualBase() + 4090, 'x', 6);  // no terminator
  EXPECT_EQ(CodeOf([&] { context_.ResolveName(Slot(0x50000FFA), &name); }),
            common::kEInvalidArg);
  char unterminated[3] = {'a', 'b', 'c'};
  std::uint32_t value =
      context_.AppendExternal(reinterpret_cast<std::byte*>(unterminated), 3);
  EXPECT_EQ(CodeOf([&] { context_.ResolveName(Slot(value), &name); }),
            common::kEInvalidArg);
}

}  // namespace
}  // namespace resource
