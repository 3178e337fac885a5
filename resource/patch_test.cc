#include "resource/patch.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>

#include "resource/bytes.h"
#include "resource/layout.h"
#include "resource/sample_wtd.h"
#include "resource/test_util.h"
#include "resource/texture_dictionary.h"
#include "testing/temp_dir.h"

namespace resource {
namespace {

using namespace test;

SampleWtdOptions ThreeTextures() {
  SampleWtdOptions options;
  options.textures = {{"pack:/font_en.dds", 64, 64, kFormatDxt5, 3},
                      {"pack:/font_hud.dds", 32, 16, kFormatDxt1, 2},
                      {"pack:/icons.dds", 8, 8, kFormatA8R8G8B8, 2}};
  SortByKey(options.textures);
  options.topFlagBits = 0x40000000u;
  return options;
}

// A loaded file with its dictionary read out.
struct Written {
  explicit Written(const Bytes& bytes) : file(LoadBytes(bytes)), context(file) {
    entries = ListTextures(context);
  }
  const TextureEntry* Find(const std::string& name) const {
    for (const auto& e : entries)
      if (e.name == name) return &e;
    return nullptr;
  }
  const std::byte* Record(const TextureEntry& e) const {
    return file.virtualBase() + e.recordOffset;
  }
  std::uint16_t Count(std::uint32_t field) const {
    return Read16(file.virtualBase() + field + kArrayCountOffset);
  }
  std::uint16_t Capacity(std::uint32_t field) const {
    return Read16(file.virtualBase() + field + kArrayCapacityOffset);
  }
  ResourceFile file;
  ResourceContext context;
  std::vector<TextureEntry> entries;
};

Bytes Patched(const Bytes& original) {
  common::MemoryFileSystem fs;
  fs.Put("fonts.wtd", original);
  PatchFontsWtd(fs, "fonts.wtd", "fonts.wtd", Atlas());
  EXPECT_EQ(fs.files.size(), 1u);  // no temporary file left behind
  return fs.Get("fonts.wtd");
}

TEST(PatchFontsWtdTest, InsertsFontChsAtItsSortedPosition) {
  SampleWtdOptions options = ThreeTextures();
  Bytes original = BuildSampleWtd(options);
  Written before(original);
  Written after(Patched(original));

  ASSERT_EQ(after.entries.size(), 4u);
  EXPECT_EQ(after.Count(kRootKeysOffset), 4);
  EXPECT_EQ(after.Capacity(kRootKeysOffset), 4);
  EXPECT_EQ(after.Count(kRootTexturesOffset), 4);
  EXPECT_EQ(after.Capacity(kRootTexturesOffset), 4);
  for (std::size_t i = 1; i < after.entries.size(); ++i)
    EXPECT_LT(after.entries[i - 1].key, after.entries[i].key);
  const TextureEntry* font = after.Find(kFontChsName);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->key, kFontChsKey);  // record and key share the index
  EXPECT_EQ(font->width, 4096);
  EXPECT_EQ(font->height, 4096);
  EXPECT_EQ(font->format, kFormatDxt5);
  EXPECT_EQ(font->mipLevels, 1);
  EXPECT_EQ(font->pixelBytes, 16777216u);
  EXPECT_EQ(std::memcmp(font->pixels, Atlas().memory(), 16777216), 0);
  EXPECT_EQ(after.file.header.flags & 0xC0000000u, 0x40000000u);
}

TEST(PatchFontsWtdTest, NewRecordCopiesTheFirstTexture) {
  Bytes original = BuildSampleWtd(ThreeTextures());
  Written before(original);
  Written after(Patched(original));
  const std::byte* templ = before.Record(before.entries[0]);
  const std::byte* record = after.Record(*after.Find(kFontChsName));
  auto same = [&](int from, int to) {
    return std::memcmp(templ + from, record + from, to - from) == 0;
  };
  EXPECT_TRUE(same(0, 20));
  EXPECT_TRUE(same(24, 28));
  EXPECT_TRUE(same(38, 39));
  EXPECT_TRUE(same(40, 64));
  EXPECT_TRUE(same(76, 80));
  EXPECT_EQ(Read16(record + kRecordWord36Offset), 4096);
  EXPECT_EQ(Read32(record + kRecordWord64Offset), 0u);
  EXPECT_EQ(Read32(record + kRecordWord68Offset), 0u);
  // The template has several levels; the image has one, and the record
  // says so.
  EXPECT_GE(std::to_integer<int>(templ[kRecordMipLevelsOffset]), 2);
  EXPECT_EQ(std::to_integer<int>(record[kRecordMipLevelsOffset]), 1);
  const std::byte* name =
      after.file.virtualBase() + after.Find(kFontChsName)->nameOffset;
  EXPECT_EQ(std::memcmp(name, "pack:/font_chs.dds", 19), 0);
}

TEST(PatchFontsWtdTest, CarriesOtherTexturesByteForByte) {
  SampleWtdOptions options = ThreeTextures();
  options.scatter = true;  // blocks out of order, at unaligned offsets
  Bytes original = BuildSampleWtd(options);
  Written before(original);
  Written after(Patched(original));
  const std::byte* beforeRoot = before.file.virtualBase();
  const std::byte* afterRoot = after.file.virtualBase();
  EXPECT_EQ(std::memcmp(beforeRoot, afterRoot, 4), 0);
  EXPECT_EQ(std::memcmp(beforeRoot + 8, afterRoot + 8, 8), 0);
  EXPECT_EQ(
      std::memcmp(before.context.ResolvePointer(
                      beforeRoot + kRootAuxBlockOffset, Pointee::RootAuxBlock),
                  after.context.ResolvePointer(afterRoot + kRootAuxBlockOffset,
                                               Pointee::RootAuxBlock),
                  528),
      0);
  for (const TextureEntry& old : before.entries) {
    const TextureEntry* now = after.Find(old.name);
    ASSERT_NE(now, nullptr) << old.name;
    EXPECT_EQ(now->key, old.key);
    const std::byte* a = before.Record(old);
    const std::byte* b = after.Record(*now);
    EXPECT_EQ(std::memcmp(a, b, kRecordNameOffset), 0);
    EXPECT_EQ(std::memcmp(a + 24, b + 24, kRecordPixelsOffset - 24), 0);
    EXPECT_EQ(std::memcmp(a + 76, b + 76, 4), 0);
    ASSERT_EQ(now->pixelBytes, old.pixelBytes);
    EXPECT_EQ(std::memcmp(now->pixels, old.pixels, old.pixelBytes), 0);
  }
}

TEST(PatchFontsWtdTest, WritesTheLayoutWithPadding) {
  Bytes written = Patched(BuildSampleWtd(ThreeTextures()));
  Bytes body = InflateBody(written);
  std::uint32_t flags = FlagsOf(written);
  EXPECT_EQ(flags & 0x7FFFu, 0x10u);  // a 4096-byte virtual segment
  SegmentSizes sizes = DecodeSegmentSizes(flags);
  EXPECT_LE(body.size(), std::size_t{sizes.virtualSize} + sizes.physicalSize);
  EXPECT_EQ(body.size() % 16, 0u);
  // The largest physical block, the font texture, comes first.
  EXPECT_EQ(std::memcmp(body.data() + 4096, Atlas().memory(), 4096), 0);
  Written after(written);
  for (const TextureEntry& e : after.entries) {
    EXPECT_EQ(e.recordOffset % 16, 0u);
    EXPECT_EQ(e.pixelOffset % 16, 0u);
  }
  // The pad after a 19-byte name is 0xCD.
  std::uint32_t nameEnd = after.Find(kFontChsName)->nameOffset + 19;
  EXPECT_EQ(body[nameEnd], std::byte{0xCD});
}

TEST(PatchFontsWtdTest, ReplacingKeepsCountsAndDropsTheOldTexture) {
  SampleWtdOptions options = ThreeTextures();
  options.textures.insert(options.textures.begin() + 1,
                          {"pack:/font_chs.dds", 256, 256, kFormatDxt5, 1});
  options.extraCapacity = 3;
  Bytes original = BuildSampleWtd(options);
  Written before(original);
  Bytes written = Patched(original);
  Written after(written);
  ASSERT_EQ(after.entries.size(), 4u);
  EXPECT_EQ(after.Count(kRootKeysOffset), 4);
  EXPECT_EQ(after.Capacity(kRootKeysOffset), 7);  // the arrays were not copied
  for (std::size_t i = 0; i < 4; ++i)
    EXPECT_EQ(after.entries[i].key, before.entries[i].key);
  EXPECT_EQ(after.entries[1].name, kFontChsName);
  EXPECT_EQ(after.entries[1].width, 4096);
  // The old 64 KiB of pixels are gone: only the new texture and the others
  // remain in the physical segment.
  std::size_t physical = InflateBody(written).size() - 4096;
  std::size_t expected = 16777216;
  for (const auto& e : after.entries)
    if (e.name != kFontChsName) expected += (e.pixelBytes + 15) & ~15u;
  EXPECT_EQ(physical, expected);
}

TEST(PatchFontsWtdTest, PatchingTwiceEqualsPatchingOnce) {
  for (bool scatter : {false, true}) {
    SampleWtdOptions options = ThreeTextures();
    options.scatter = scatter;
    Bytes once = Patched(BuildSampleWtd(options));
    Bytes twice = Patched(once);
    EXPECT_EQ(FlagsOf(once), FlagsOf(twice));
    EXPECT_EQ(InflateBody(once), InflateBody(twice));
  }
}

TEST(PatchFontsWtdTest, FontChsFirstOrInTheMiddle) {
  for (std::size_t at : {0u, 1u, 3u}) {
    SampleWtdOptions options = ThreeTextures();
    options.textures.insert(options.textures.begin() + at,
                            {"pack:/font_chs.dds", 16, 16, kFormatDxt5, 1});
    Written after(Patched(BuildSampleWtd(options)));
    ASSERT_EQ(after.entries.size(), 4u);
    EXPECT_EQ(after.entries[at].name, kFontChsName);
    EXPECT_EQ(after.entries[at].pixelBytes, 16777216u);
    // The template is the first texture even when that is font_chs itself.
    EXPECT_EQ(Read16(after.Record(after.entries[at]) + kRecordWord36Offset),
              4096);
  }
}

TEST(PatchFontsWtdTest, EmptyPixelDataSurvivesRepeatedPatches) {
  SampleWtdOptions options = ThreeTextures();
  options.textures.push_back({"pack:/empty.dds", 64, 64, kFormatDxt1, 0});
  Bytes once = Patched(BuildSampleWtd(options));
  Bytes twice = Patched(once);
  Written after(twice);
  ASSERT_NE(after.Find("pack:/empty.dds"), nullptr);
  EXPECT_EQ(after.Find("pack:/empty.dds")->pixelBytes, 0u);
}

TEST(PatchFontsWtdTest, AcceptsOtherVirtualSegmentSizes) {
  SampleWtdOptions options = ThreeTextures();
  options.virtualSize = 8192;
  Bytes written = Patched(BuildSampleWtd(options));
  EXPECT_EQ(DecodeSegmentSizes(FlagsOf(written)).virtualSize, 4096u);
  EXPECT_EQ(Written(written).entries.size(), 4u);
}

TEST(PatchFontsWtdTest, SamplesAndPatchedFilesAreShapedLikeTheGames) {
  Bytes original = BuildSampleWtd(RealisticSampleOptions());
  for (const Bytes& file : {original, Patched(original)}) {
    EXPECT_EQ(file[12], std::byte{0x78});  // zlib, level 9
    EXPECT_EQ(file[13], std::byte{0xDA});
    Written written(file);
    for (const TextureEntry& e : written.entries) {
      const std::byte* record = written.Record(e);
      EXPECT_EQ(Read32(record + 4), 0u) << e.name;
      EXPECT_EQ(Read32(record + 8), 0x10000u) << e.name;
      EXPECT_EQ(Read32(record + kRecordWord64Offset), 0u) << e.name;
      EXPECT_EQ(Read32(record + kRecordWord68Offset), 0u) << e.name;
    }
  }
}

// Files of the shape of every fonts.wtd: written byte for byte as they
// always were (the expansions' CRC-32 before blocks were kept inside their
// pages), blocks end to end and inside their pages.
TEST(PatchFontsWtdTest, FontsWtdShapedFilesKeepTheirBytes) {
  const std::pair<SampleWtdOptions, std::uint32_t> samples[] = {
      {RealisticSampleOptions(), 0x9C045162u}, {ThreeTextures(), 0x39A99A4Cu}};
  for (const auto& [options, crc] : samples) {
    Bytes written = Patched(BuildSampleWtd(options));
    ResourceFile file = LoadBytes(written);
    EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(file.body.data()),
                    static_cast<uInt>(file.body.size())),
              crc);
    PageReport pages = CheckPages(written);
    EXPECT_EQ(pages.crossing, 0);
    EXPECT_EQ(pages.gaps, 0);
  }
}

// Dictionaries of many small textures (the game's button sets) need more
// than 4096 bytes of records and names; end to end, some record or pixel
// block would straddle a page end, font_chs's own record among them.
TEST(PatchFontsWtdTest, NoBlockCrossesAPage) {
  int gaps = 0;
  for (int count = 36; count < 56; ++count) {
    SampleWtdOptions options;
    for (int i = 0; i < count; ++i)
      options.textures.push_back({"pack:/button_" + std::to_string(i) + ".dds",
                                  static_cast<std::uint16_t>(32 << (i % 3)),
                                  static_cast<std::uint16_t>(32 << (i % 2)),
                                  i % 4 ? kFormatDxt5 : kFormatA8R8G8B8,
                                  static_cast<std::uint8_t>(1 + i % 3)});
    SortByKey(options.textures);
    options.virtualSize = 8192;
    options.seed = static_cast<std::uint32_t>(count);
    Bytes written = Patched(BuildSampleWtd(options));
    EXPECT_GT(DecodeSegmentSizes(FlagsOf(written)).virtualSize, 4096u);
    PageReport pages = CheckPages(written);
    EXPECT_EQ(pages.crossing, 0) << count;
    EXPECT_EQ(pages.blocks, 4 + 2 * (count + 1) + count + 1);
    gaps += pages.gaps;
    EXPECT_EQ(Written(written).entries.size(), std::size_t(count) + 1);
  }
  EXPECT_GT(gaps, 0);
}

TEST(PatchFontsWtdTest, WritesDictionariesLargerThan4096Bytes) {
  SampleWtdOptions options;
  for (int i = 0; i < 40; ++i)
    options.textures.push_back(
        {"pack:/texture_number_" + std::to_string(i) + ".dds", 8, 8,
         kFormatDxt1, 1});
  SortByKey(options.textures);
  options.virtualSize = 8192;
  Bytes original = BuildSampleWtd(options);
  Bytes written = Patched(original);
  EXPECT_GT(DecodeSegmentSizes(FlagsOf(written)).virtualSize, 4096u);
  Written before(original), after(written);
  ASSERT_EQ(after.entries.size(), 41u);
  for (const TextureEntry& e : before.entries) {
    const TextureEntry* kept = after.Find(e.name);
    ASSERT_NE(kept, nullptr) << e.name;
    EXPECT_EQ(std::memcmp(kept->pixels, e.pixels, e.pixelBytes), 0);
  }
}

// Failures: the destination keeps its bytes, and nothing else is created.
class PatchFailureTest : public ::testing::Test {
 protected:
  HRESULT Patch(const Bytes& original) {
    fs.Put("fonts.wtd", original);
    return CodeOf(
        [&] { PatchFontsWtd(fs, "fonts.wtd", "fonts.wtd", Atlas()); });
  }
  void ExpectUntouched(const Bytes& original) {
    ASSERT_TRUE(fs.Exists("fonts.wtd"));
    EXPECT_EQ(fs.Get("fonts.wtd"), original);
    EXPECT_EQ(fs.files.size(), 1u);
  }
  common::MemoryFileSystem fs;
};

TEST_F(PatchFailureTest, MissingSourceCreatesNothing) {
  HRESULT hr = CodeOf([&] { PatchFontsWtd(fs, "a.wtd", "a.wtd", Atlas()); });
  EXPECT_EQ(hr, common::MakeHresult(0x80070002u));
  EXPECT_TRUE(fs.files.empty());
}

TEST_F(PatchFailureTest, WriteFailingPartWayLeavesTheFileIntact) {
  Bytes original = BuildSampleWtd(ThreeTextures());
  std::size_t size = Patched(original).size();
  ASSERT_GT(size, 1000u);
  for (std::size_t limit :
       {std::size_t{0}, std::size_t{12}, size / 2, size - 1}) {
    fs.writeLimit = limit;
    fs.bytesWritten = 0;
    EXPECT_EQ(Patch(original), common::kHandleDiskFull) << limit;
    ExpectUntouched(original);
  }
  fs.writeLimit = 1000;
  fs.bytesWritten = 0;
  fs.writeFailure = common::MakeHresult(0x80070070u);  // ERROR_DISK_FULL
  EXPECT_EQ(Patch(original), common::MakeHresult(0x80070070u));
  ExpectUntouched(original);
}

TEST_F(PatchFailureTest, OverlappingBlocksTouchNothing) {
  Bytes original = BuildSampleWtd(ThreeTextures());
  Bytes body = InflateBody(original);
  Written sample(original);
  // The second record's name starts inside the first's.
  Write32(body.data() + sample.entries[1].recordOffset + kRecordNameOffset,
          MakePointer(kVirtualTag, sample.entries[0].nameOffset + 1));
  Bytes damaged = Recompressed(original, body);
  EXPECT_EQ(Patch(damaged), common::kEInvalidArg);
  ExpectUntouched(damaged);
}

// Tag 0xF names a host block of the edit; no file holds one. Read from a
// file it is refused as `inspect` refuses it, before the edit has made
// table entries it could name: the font's pixels, its name, its record.
TEST_F(PatchFailureTest, ExternalPointersInTheFileAreRefusedOnEveryPath) {
  Bytes original = BuildSampleWtd(ThreeTextures());
  Bytes body = InflateBody(original);
  Written sample(original);
  const std::uint32_t other = sample.entries[1].recordOffset;
  const std::uint32_t pointers =
      PointerPayload(Read32(body.data() + kRootTexturesOffset));
  const std::pair<std::uint32_t, std::uint32_t> edits[] = {
      {other + kRecordPixelsOffset, 0xF0000001u},
      {other + kRecordNameOffset, 0xF0000000u},
      {pointers + 4, 0xF0000002u}};
  for (auto [offset, value] : edits) {
    SCOPED_TRACE(value);
    Bytes edited = body;
    Write32(edited.data() + offset, value);
    Bytes damaged = Recompressed(original, edited);
    EXPECT_EQ(CodeOf([&] { Written listed(damaged); }), common::kEInvalidArg);
    EXPECT_EQ(Patch(damaged), common::kEInvalidArg);
    ExpectUntouched(damaged);
  }
}

TEST_F(PatchFailureTest, DictionaryWithoutTexturesIsRefused) {
  SampleWtdOptions options;
  Bytes original = BuildSampleWtd(options);
  EXPECT_EQ(Patch(original), common::kEInvalidArg);
  ExpectUntouched(original);
}

TEST_F(PatchFailureTest, ImageSmallerThanTheTextureIsRefused) {
  Bytes original = BuildSampleWtd(ThreeTextures());
  fs.Put("fonts.wtd", original);
  texture::CompressedImage small;
  ASSERT_EQ(small.Allocate2D(77, 64, 64), 0);
  EXPECT_EQ(CodeOf([&] { PatchFontsWtd(fs, "fonts.wtd", "fonts.wtd", small); }),
            common::kEInvalidArg);
  ExpectUntouched(original);
}

TEST(InsertKeySortedTest, RefusesAFullDictionary) {
  ResourceFile file;
  file.sizes = {0x50000, 4096};
  file.body = ZeroedBuffer(0x50000 + 4096);
  ResourceContext context(file);
  std::byte* field = file.virtualBase() + kRootKeysOffset;
  Write32(field, 0x50000100);
  Write16(field + kArrayCountOffset, 0xFFFF);
  std::vector<std::byte> array;
  EXPECT_EQ(CodeOf([&] { InsertKeySorted(context, field, 5, array); }),
            common::kENotImpl);
  EXPECT_EQ(Read32(field), 0x50000100u);
  Write16(field + kArrayCountOffset, 0xFFFE);
  // Every stored key is 0, so 5 goes last, and the count reaches its limit.
  EXPECT_EQ(InsertKeySorted(context, field, 5, array), 0xFFFEu);
  EXPECT_EQ(Read16(field + kArrayCountOffset), 0xFFFF);
  EXPECT_EQ(Read32(array.data() + 4 * 0xFFFE), 5u);
}

TEST(PatchOnDiskTest, RewritesTheFileInPlace) {
  testutil::TempDir dir;
  common::Path path = dir.path() / "fonts.wtd";
  Bytes original = BuildSampleWtd(ThreeTextures());
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(original.data()), original.size());
  }
  common::RealFileSystem fs;
  PatchFontsWtd(fs, path, path, Atlas());
  std::ifstream in(path, std::ios::binary);
  Bytes written;
  for (char c; in.get(c);) written.push_back(std::byte(c));
  EXPECT_EQ(Written(written).entries.size(), 4u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
}  // namespace resource
