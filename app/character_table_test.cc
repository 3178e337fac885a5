#include "app/character_table.h"

#include <gtest/gtest.h>

#include "app/test_util.h"
#include "common/hresult.h"
#include "common/memory_file_system.h"
#include "common/result.h"

namespace app {
namespace {

using test::Bytes;
using test::CodeOf;

Bytes Le32(std::span<const std::uint32_t> words) {
  Bytes bytes;
  bytes.reserve(words.size() * 4);
  for (std::uint32_t w : words)
    for (int i = 0; i < 4; ++i) bytes.push_back(std::byte(w >> (8 * i)));
  return bytes;
}
Bytes Le32(std::initializer_list<std::uint32_t> words) {
  return Le32(std::span(words.begin(), words.size()));
}

CharacterTable Read(const Bytes& bytes) {
  common::MemoryFileSystem fs;
  fs.Put("char_table.dat", bytes);
  return ReadCharacterTable(*fs.OpenForRead("char_table.dat"));
}

HRESULT ReadCode(const Bytes& bytes) {
  return CodeOf([&] { Read(bytes); });
}

// Hands out at most `chunk` bytes per read, as a pipe or network file may.
class TricklingFile final : public common::InputFile {
 public:
  TricklingFile(Bytes bytes, std::size_t chunk)
      : bytes_(std::move(bytes)), chunk_(chunk) {}
  std::size_t Read(std::span<std::byte> buffer) override {
    std::size_t n = std::min({buffer.size(), chunk_, bytes_.size() - at_});
    std::copy_n(bytes_.begin() + at_, n, buffer.begin());
    at_ += n;
    return n;
  }
  std::uint64_t Size() override { return size_ ? size_ : bytes_.size(); }
  std::uint64_t size_ = 0;  // when set, the size the file claims

 private:
  Bytes bytes_;
  std::size_t chunk_;
  std::size_t at_ = 0;
};

TEST(ReadCharacterTableTest, KeepsEntriesInFileOrderWithDuplicates) {
  EXPECT_EQ(Read(Le32({4, 0x4E2D, 0x6587, 0x4E2D, 0x300C})), u"中文中「");
}

TEST(ReadCharacterTableTest, EmptyTableIsFourBytes) {
  EXPECT_EQ(Read(Le32({0})), u"");
}

TEST(ReadCharacterTableTest, PassesZeroSurrogatesAndLineBreaksThrough) {
  CharacterTable table = Read(Le32({4, 0, 0xD800, 0x000A, 0xFFFF}));
  EXPECT_EQ(table, (std::u16string{0, 0xD800, 0x000A, 0xFFFF}));
}

TEST(ReadCharacterTableTest, ShortCountIsHandleEof) {
  EXPECT_EQ(ReadCode({}), common::kHandleEof);
  EXPECT_EQ(ReadCode({std::byte{1}, std::byte{0}, std::byte{0}}),
            common::kHandleEof);
}

TEST(ReadCharacterTableTest, TrailingBytesAreRefused) {
  Bytes bytes = Le32({2, 0x4E00, 0x4E01, 0});
  ASSERT_EQ(bytes.size(), 16u);
  EXPECT_EQ(ReadCode(bytes), common::kEInvalidArg);
}

TEST(ReadCharacterTableTest, MissingEntriesAreRefusedBeforeReading) {
  EXPECT_EQ(ReadCode(Le32({3, 0x4E00, 0x4E01})), common::kEInvalidArg);
}

TEST(ReadCharacterTableTest, HugeCountDoesNotWrapTheSizeCheck) {
  // 4 + 4 x 0x40000000 wraps to 4 in 32 bits, the size of this file.
  EXPECT_EQ(ReadCode(Le32({0x40000000})), common::kEInvalidArg);
  EXPECT_EQ(ReadCode(Le32({0xFFFFFFFF, 1, 2})), common::kEInvalidArg);
}

TEST(ReadCharacterTableTest, SizeBeyondFourGigabytesIsNotCutTo32Bits) {
  // A file of 4 GiB + 8 bytes would look like 8 bytes if the size were cut.
  TricklingFile file(Le32({1, 0x4E00}), 4096);
  file.size_ = (std::uint64_t{1} << 32) + 8;
  EXPECT_EQ(CodeOf([&] { ReadCharacterTable(file); }), common::kEInvalidArg);
}

// A table larger than the code units there are is refused before its
// entries take any memory: a 1 GiB file with a matching count, or one entry
// too many; the largest table is read.
TEST(ReadCharacterTableTest, TablePastOneEntryPerUnitIsRefused) {
  for (std::uint32_t count : {0x10000000u, kMaxCharacterTableEntries + 1}) {
    TricklingFile file(Le32({count}), 4096);
    file.size_ = 4 + 4 * std::uint64_t{count};
    EXPECT_EQ(CodeOf([&] { ReadCharacterTable(file); }), common::kFileTooLarge);
  }
  std::vector<std::uint32_t> largest(kMaxCharacterTableEntries + 1, 0x4E00);
  largest[0] = kMaxCharacterTableEntries;
  EXPECT_EQ(Read(Le32(largest)).size(), kMaxCharacterTableEntries);
}

TEST(ReadCharacterTableTest, EntryBeyondTheBasicPlaneIsNotImplemented) {
  EXPECT_EQ(ReadCode(Le32({3, 0x4E00, 0x1F600, 0x4E01})), common::kENotImpl);
  EXPECT_EQ(ReadCode(Le32({1, 0x10000})), common::kENotImpl);
  // The player hears which entry it was.
  try {
    Read(Le32({3, 0x4E00, 0x1F600, 0x4E01}));
  } catch (const common::ResultException& e) {
    EXPECT_NE(e.GetFailureInfo().message.find("第 2 项 U+1F600"),
              std::string::npos)
        << e.GetFailureInfo().message;
  }
}

TEST(ReadCharacterTableTest, FileEndingBeforeItsSizeIsHandleEof) {
  // The file claims 12 bytes but delivers 8.
  TricklingFile file(Le32({2, 0x4E00}), 4096);
  file.size_ = 12;
  EXPECT_EQ(CodeOf([&] { ReadCharacterTable(file); }), common::kHandleEof);
}

TEST(ReadCharacterTableTest, ReadsAcrossShortReads) {
  TricklingFile file(Le32({3, 0x4E00, 0x4E01, 0x4E02}), 3);
  EXPECT_EQ(ReadCharacterTable(file), u"一丁丂");
}

TEST(ReadCharacterTableTest, EncodeAndReadRoundTrip) {
  std::u16string units = u"测试\n「」『』“”‘’\r０ａ";
  Bytes bytes = EncodeCharacterTable(units);
  EXPECT_EQ(bytes.size(), 4 + 4 * units.size());
  EXPECT_EQ(Read(bytes), units);
}

}  // namespace
}  // namespace app
