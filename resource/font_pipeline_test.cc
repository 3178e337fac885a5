#include "resource/font_pipeline.h"

#include <gtest/gtest.h>

#include "resource/patch.h"
#include "resource/sample_wtd.h"
#include "resource/test_util.h"
#include "resource/texture_dictionary.h"

namespace resource {
namespace {

using namespace test;

SampleWtdOptions Small(std::uint32_t seed) {
  SampleWtdOptions options;
  options.textures = {{"pack:/font_en.dds", 64, 64, kFormatDxt5, 3},
                      {"pack:/font_hud.dds", 32, 16, kFormatDxt1, 2}};
  SortByKey(options.textures);
  options.seed = seed;
  return options;
}

// The pipeline's files expand exactly as the straightforward writer's: for
// a small file, for files with another texture as large as the font
// texture or larger (an HD mod's) that must not be taken for it, and for a
// dictionary whose blocks are kept inside their pages with gaps.
TEST(FontTexturePipelineTest, ExpandsAsTheStraightforwardWriter) {
  std::vector<SampleWtdOptions> samples = {Small(1), Small(2), Small(3)};
  samples[1].textures.push_back(
      {"pack:/font_hd.dds", 4096, 4096, kFormatDxt5, 1});
  samples[2].textures.push_back(
      {"pack:/font_hd.dds", 4096, 1040, kFormatA8R8G8B8, 1});
  SampleWtdOptions paged;
  for (int i = 0; i < 44; ++i)
    paged.textures.push_back({"pack:/button_" + std::to_string(i) + ".dds",
                              static_cast<std::uint16_t>(32 << (i % 3)), 32,
                              kFormatDxt5, 1});
  paged.virtualSize = 8192;
  samples.push_back(paged);
  common::MemoryFileSystem fs;
  std::vector<FontFile> files;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    SortByKey(samples[i].textures);
    std::string name = std::to_string(i) + ".wtd";
    fs.Put(name, BuildSampleWtd(samples[i]));
    files.push_back({name, name});
  }
  FontTexturePipeline pipeline(fs, files);
  pipeline.Write(Atlas());
  EXPECT_EQ(pipeline.replaced(), samples.size());
  EXPECT_EQ(fs.files.size(), samples.size());
  int gaps = 0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    FontPatch oracle(LoadBytes(BuildSampleWtd(samples[i])));
    oracle.Apply(Atlas().memory());
    common::MemoryFileSystem plain;
    SaveResource(*plain.CreateForWrite("f"), oracle.header(),
                 oracle.layoutFlags(), oracle.blocks());
    const Bytes& written = fs.Get(files[i].destination);
    EXPECT_EQ(FlagsOf(written), FlagsOf(plain.Get("f"))) << i;
    // zlib checks the Adler-32 trailer too.
    EXPECT_TRUE(InflateBody(written) == InflateBody(plain.Get("f"))) << i;
    gaps += CheckPages(written).gaps;
  }
  EXPECT_GT(gaps, 0);
}

// All or none: a failure on the third file, however it comes, leaves the
// first two as they were and no temporary behind.
TEST(FontTexturePipelineTest, AFailureOnTheThirdFileChangesNothing) {
  enum class Failure { Truncated, ReadOnlyFolder, DiskFull, KeepOriginal };
  for (Failure failure : {Failure::Truncated, Failure::ReadOnlyFolder,
                          Failure::DiskFull, Failure::KeepOriginal}) {
    SCOPED_TRACE(static_cast<int>(failure));
    common::MemoryFileSystem fs;
    std::vector<FontFile> files;
    std::vector<Bytes> before;
    for (std::uint32_t i = 0; i < 3; ++i) {
      const char* folders[] = {"v0", "v1", "v2"};
      common::Path path = common::Path(folders[i]) / "fonts.wtd";
      before.push_back(BuildSampleWtd(Small(i + 1)));
      files.push_back({path, path});
    }
    if (failure == Failure::Truncated) before[2].resize(before[2].size() / 2);
    for (std::size_t i = 0; i < 3; ++i) fs.Put(files[i].source, before[i]);
    if (failure == Failure::ReadOnlyFolder) fs.readOnlyFolders.insert("v2");
    std::size_t firstTwo = 0;
    if (failure == Failure::DiskFull) {
      FontTexturePipeline measure(fs, {files[0], files[1]});
      measure.Write(Atlas());
      firstTwo = fs.bytesWritten;
      for (std::size_t i = 0; i < 3; ++i) fs.Put(files[i].source, before[i]);
      fs.writeLimit = fs.bytesWritten + firstTwo + 1000;
      fs.writeFailure = common::HresultFromWin32(112);
    }
    std::vector<std::size_t> kept;
    FontTexturePipeline pipeline(fs, files);
    HRESULT hr = CodeOf([&] {
      pipeline.Write(Atlas(), {}, [&](std::size_t i) {
        kept.push_back(i);
        if (failure == Failure::KeepOriginal && i == 2)
          THROW_HR(common::kEAccessDenied);
      });
    });
    const HRESULT expected[] = {common::kHandleEof, common::kEAccessDenied,
                                common::HresultFromWin32(112),
                                common::kEAccessDenied};
    EXPECT_EQ(hr, expected[static_cast<int>(failure)]);
    EXPECT_EQ(pipeline.replaced(), 0u);
    EXPECT_EQ(fs.files.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
      EXPECT_TRUE(fs.Get(files[i].source) == before[i]) << i;
    // Originals are kept only once every new file is written.
    EXPECT_EQ(kept.size(), failure == Failure::KeepOriginal ? 3u : 0u);
  }
}

}  // namespace
}  // namespace resource
