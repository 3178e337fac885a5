// Patches a realistic synthetic fonts.wtd (about 6 MiB of other textures)
// with a 16 MiB BC3 image and prints the time of each stage and the output
// size. Run: build/linux/bench/Release/resource_bench
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/memory_file_system.h"
#include "resource/font_pipeline.h"
#include "resource/patch.h"
#include "resource/sample_wtd.h"
#include "testing/glyph_atlas.h"
#include "texture/compress.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start)
      .count();
}

// The compressed form of a synthetic glyph atlas: the kind of data the
// font texture holds, without needing fonts.
texture::CompressedImage GlyphLikeBc3() {
  testutil::BgraPixels atlas = testutil::MakeGlyphLikeAtlas(4096, 4096);
  texture::ImageView view{4096, 4096, 87, 16384, 67108864, atlas.bytes.data()};
  texture::CompressedImage image;
  if (common::Failed(texture::CompressImage(view, 77, texture::CompressParallel,
                                            0.5f, image)))
    std::abort();
  return image;
}

}  // namespace

int main() {
  common::MemoryFileSystem fs;
  fs.Put("fonts.wtd",
         resource::BuildSampleWtd(resource::RealisticSampleOptions()));
  texture::CompressedImage image = GlyphLikeBc3();
  std::printf("input: %zu bytes, image %zu bytes\n", fs.Get("fonts.wtd").size(),
              image.byteSize());

  // Three files, as a generation patches them: each written with the
  // straightforward writer, then all three through the pipeline, which
  // compresses the font texture once.
  auto start = Clock::now();
  std::size_t outputBytes = 0;
  for (int variant = 0; variant < 3; ++variant) {
    resource::FontPatch patch(
        resource::LoadResource(*fs.OpenForRead("fonts.wtd")));
    patch.Apply(image.memory());
    common::MemoryFileSystem out;
    resource::SaveResource(*out.CreateForWrite("out.wtd"), patch.header(),
                           patch.layoutFlags(), patch.blocks());
    outputBytes = out.Get("out.wtd").size();
  }
  double plain = MsSince(start);
  std::printf("straightforward: 3 files in %8.1f ms, %zu bytes each\n", plain,
              outputBytes);

  for (const char* name : {"iv.wtd", "tbogt.wtd", "tlad.wtd"})
    fs.Put(name, fs.Get("fonts.wtd"));
  start = Clock::now();
  resource::FontTexturePipeline pipeline(fs, {{"iv.wtd", "iv.wtd"},
                                              {"tbogt.wtd", "tbogt.wtd"},
                                              {"tlad.wtd", "tlad.wtd"}});
  pipeline.Write(image);
  double fast = MsSince(start);
  std::printf("pipeline:        3 files in %8.1f ms, %zu bytes each\n", fast,
              fs.Get("iv.wtd").size());
  std::printf("pipeline %.2fx faster\n", plain / fast);
  return 0;
}
