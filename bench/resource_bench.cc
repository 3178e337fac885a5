// Patches a realistic synthetic fonts.wtd (about 6 MiB of other textures)
// with a 16 MiB BC3 image and prints the time of each stage and the output
// size. Run: build/linux/bench/Release/resource_bench
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/memory_file_system.h"
#include "resource/deflate_cache.h"
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

  // Three files, as a generation patches: once with the straightforward
  // writer, once with the fast one and its cache of the font texture.
  resource::DeflatedBlockCache cache(image);
  for (int mode = 0; mode < 2; ++mode) {
    const char* name = mode == 0 ? "straightforward" : "fast+cache";
    resource::SaveOptions options;
    options.straightforward = mode == 0;
    options.cache = mode == 1 ? &cache : nullptr;
    double loadTotal = 0, layoutTotal = 0, saveTotal = 0;
    std::size_t outputBytes = 0;
    for (int variant = 0; variant < 3; ++variant) {
      auto start = Clock::now();
      resource::ResourceFile file =
          resource::LoadResource(*fs.OpenForRead("fonts.wtd"));
      double load = MsSince(start);

      start = Clock::now();
      resource::FontPatch patch(std::move(file));
      patch.Apply(image);
      double layout = MsSince(start);

      start = Clock::now();
      common::MemoryFileSystem out;
      patch.Write(*out.CreateForWrite("out.wtd"), options);
      double save = MsSince(start);
      outputBytes = out.Get("out.wtd").size();
      std::printf(
          "%-16s file %d: load %7.1f ms  edit+layout %5.2f ms  "
          "save %8.1f ms  output %zu bytes\n",
          name, variant + 1, load, layout, save, outputBytes);
      loadTotal += load;
      layoutTotal += layout;
      saveTotal += save;
    }
    std::printf("%-16s total: load %.1f ms, layout %.2f ms, save %.1f ms\n",
                name, loadTotal, layoutTotal, saveTotal);
  }
  return 0;
}
