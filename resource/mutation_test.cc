// Seeded mutation of valid files through the loader and the patcher. Built
// with AddressSanitizer and UBSan in CI, so any read or write outside a
// buffer fails the run; here every outcome must be success or a clean
// HRESULT, and the original file must survive every failure.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "resource/bytes.h"
#include "resource/patch.h"
#include "resource/sample_wtd.h"
#include "resource/test_util.h"
#include "resource/texture_dictionary.h"

namespace resource {
namespace {

using namespace test;

// Values that make interesting pointers: every tag, payloads near the
// segment ends, and random ones.
std::uint32_t InterestingWord(std::mt19937& rng) {
  static const std::uint32_t tags[] = {0x0, 0x5, 0x6, 0xF, 0x7, 0xE};
  std::uint32_t tag = tags[rng() % 6];
  std::uint32_t payload;
  switch (rng() % 4) {
    case 0:
      payload = static_cast<std::uint32_t>(rng() % 4100);
      break;
    case 1:
      payload = static_cast<std::uint32_t>(4096 - rng() % 600);
      break;
    case 2:
      payload = rng() % 8;
      break;
    default:
      payload = static_cast<std::uint32_t>(rng());
      break;
  }
  return rng() % 8 == 0 ? static_cast<std::uint32_t>(rng())
                        : MakePointer(tag, payload);
}

Bytes Mutate(const Bytes& file, const Bytes& body, std::mt19937& rng) {
  Bytes header(file.begin(), file.begin() + 12);
  Bytes mutated = body;
  int edits = 1 + rng() % 4;
  for (int e = 0; e < edits; ++e) {
    switch (rng() % 6) {
      case 0:  // a pointer-sized word in the virtual segment, 4-aligned
        Write32(mutated.data() + (rng() % 1024) * 4, InterestingWord(rng));
        break;
      case 1:  // a count or capacity of the root
        Write16(mutated.data() + 20 + (rng() % 6) * 2,
                static_cast<std::uint16_t>(rng() % 3 == 0 ? rng() : rng() % 8));
        break;
      case 2:  // any byte of the virtual segment
        mutated[rng() % 4096] = std::byte(rng());
        break;
      case 3:  // record fields: size, format, mips
        mutated[rng() % 4096] = std::byte(rng() % 2 ? 0 : 0xFF);
        break;
      case 4: {  // the flags word: mostly its counts, rarely anything
        // Huge declared sizes are refused or cost a large allocation each;
        // a few of them are enough.
        std::uint32_t flags = Read32(header.data() + 8);
        if (rng() % 50 == 0)
          flags = static_cast<std::uint32_t>(rng());
        else
          flags ^= 1u << (rng() % 2 ? rng() % 11 : 15 + rng() % 11);
        Write32(header.data() + 8, flags);
        break;
      }
      default:  // truncate the body
        mutated.resize(rng() % mutated.size());
        break;
    }
  }
  if (rng() % 10 == 0) {  // raw damage to the compressed stream
    Bytes raw = Recompressed(header, mutated);
    raw[12 + rng() % (raw.size() - 12)] = std::byte(rng());
    return raw;
  }
  return Recompressed(header, mutated);
}

TEST(MutationTest, LoaderAndPatcherFailCleanly) {
  SampleWtdOptions small;
  small.textures = {{"pack:/font_en.dds", 16, 16, kFormatDxt5, 2},
                    {"pack:/font_chs.dds", 8, 8, kFormatDxt1, 1},
                    {"pack:/icons.dds", 4, 4, kFormatA8R8G8B8, 1}};
  // A few rounds carry a texture as large as the font texture, which the
  // pipeline must never take for it.
  SampleWtdOptions large = small;
  large.textures.insert(large.textures.begin(),
                        {"pack:/font_hd.dds", 4096, 4096, kFormatDxt5, 1});
  texture::CompressedImage atlas;
  ASSERT_EQ(atlas.Allocate2D(77, 4096, 4096), 0);
  std::memset(atlas.memory(), 0, atlas.byteSize());

  std::mt19937 rng(20261207);
  int succeeded = 0, failed = 0;
  for (int round = 0; round < 2000; ++round) {
    SampleWtdOptions& options = round % 400 == 1 ? large : small;
    options.scatter = round % 2;
    options.seed = round % 5;
    Bytes file = BuildSampleWtd(options);
    Bytes body = InflateBody(file);
    Bytes mutated = Mutate(file, body, rng);

    common::MemoryFileSystem fs;
    fs.Put("fonts.wtd", mutated);
    // Most rounds stop at the first write, after loading, editing and
    // laying out; every 40th writes the whole file.
    if (round % 40 != 0) fs.writeLimit = 0;
    HRESULT hr =
        CodeOf([&] { PatchFontsWtd(fs, "fonts.wtd", "fonts.wtd", atlas); });
    if (hr == 0) {
      ++succeeded;
      ResourceFile again = LoadBytes(fs.Get("fonts.wtd"));
      ResourceContext context(again);
      EXPECT_NO_THROW(ListTextures(context)) << "round " << round;
    } else {
      ++failed;
      EXPECT_LT(hr, 0);
      EXPECT_EQ(fs.Get("fonts.wtd"), mutated) << "round " << round;
      EXPECT_EQ(fs.files.size(), 1u);
    }
    // Listing is read-only and must be just as safe.
    CodeOf([&] {
      ResourceFile loaded = LoadBytes(mutated);
      ResourceContext context(loaded);
      ListTextures(context);
    });
  }
  // The mutations should exercise both outcomes.
  EXPECT_GT(succeeded, 0);
  EXPECT_GT(failed, 0);
}

}  // namespace
}  // namespace resource
