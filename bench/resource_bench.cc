// Patches a realistic synthetic fonts.wtd (about 6 MiB of other textures)
// with a 16 MiB BC3 image and prints the time of each stage and the output
// size; deflates the image with each engine beside one zlib level-9 stream;
// and makes the texture of a glyph-like canvas staged (CompressImage, then
// the deflate) and overlapped (FontTextureStream). Every figure comes from
// this one run. Run: build/linux/bench/Release/resource_bench
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "common/memory_file_system.h"
#include "resource/font_pipeline.h"
#include "resource/font_texture_stream.h"
#include "resource/parallel_deflate.h"
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

// The fastest of a few runs, in milliseconds.
double BestMs(int runs, const std::function<void()>& work) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    work();
    best = std::min(best, MsSince(start));
  }
  return best;
}

double Percent(std::size_t size, std::size_t reference) {
  return 100.0 * static_cast<double>(size) / static_cast<double>(reference) -
         100.0;
}

// The compressed form of a synthetic glyph atlas: the kind of data the
// font texture holds, without needing fonts.
texture::CompressedImage Bc3Of(const testutil::BgraPixels& atlas) {
  texture::ImageView view{4096,     4096,
                          87,       16384,
                          67108864, const_cast<std::byte*>(atlas.bytes.data())};
  texture::CompressedImage image;
  if (common::Failed(texture::CompressImage(view, 77, texture::CompressParallel,
                                            0.5f, image)))
    std::abort();
  return image;
}

// The engines on the texture, one core and all, beside one zlib level-9
// stream of it (what the plain writer makes).
void CompareEngines(const texture::CompressedImage& image) {
  std::span<const std::byte> blocks(image.memory(), image.byteSize());
  uLongf zlibSize = compressBound(static_cast<uLong>(blocks.size()));
  std::vector<std::byte> out(zlibSize);
  double zlibMs = BestMs(1, [&] {
    zlibSize = compressBound(static_cast<uLong>(blocks.size()));
    compress2(reinterpret_cast<Bytef*>(out.data()), &zlibSize,
              reinterpret_cast<const Bytef*>(blocks.data()),
              static_cast<uLong>(blocks.size()), 9);
  });
  std::printf(
      "\nfont texture, %zu bytes            size     change   "
      "1 core  all cores\n",
      blocks.size());
  std::printf("zlib 9, one stream          %10lu             %6.0f ms\n",
              zlibSize, zlibMs);
  struct Engine {
    const char* name;
    resource::DeflateEngine engine;
  } engines[] = {
      {"zlib 9, 1 MiB chunks", resource::DeflateEngine::Zlib},
      {"libdeflate, 1 MiB chunks", resource::DeflateEngine::Libdeflate}};
  for (const Engine& e : engines) {
    if (e.engine == resource::DeflateEngine::Libdeflate &&
        !resource::LibdeflateAvailable())
      continue;
    std::size_t size = 0;
    double serial = BestMs(2, [&] {
      size = resource::DeflateRaw(blocks, {}, resource::DeflateEnd::Sync, false,
                                  e.engine)
                 .size();
    });
    double parallel = BestMs(2, [&] {
      resource::DeflateRaw(blocks, {}, resource::DeflateEnd::Sync, true,
                           e.engine);
    });
    std::printf("%-27s %10zu %+8.2f %% %6.0f ms %7.0f ms\n", e.name, size,
                Percent(size, zlibSize), serial, parallel);
  }
}

// The texture of the canvas staged and overlapped, with the writer's
// engine on every core.
void CompareStages(testutil::BgraPixels& atlas) {
  texture::ImageView view{4096, 4096, 87, 16384, 67108864, atlas.bytes.data()};
  resource::DeflatedRun staged;
  texture::CompressedImage image;
  double stagedMs = BestMs(3, [&] {
    if (common::Failed(texture::CompressImage(
            view, 77, texture::CompressParallel, 0.5f, image)))
      std::abort();
    staged = resource::DeflateRun({image.memory(), image.byteSize()},
                                  resource::DeflateEnd::Sync, true);
  });
  resource::FontTexture overlapped;
  double overlappedMs = BestMs(3, [&] {
    resource::FontTextureStream stream(view);
    overlapped = stream.Finish();
  });
  bool same = overlapped.deflated.compressed == staged.compressed &&
              overlapped.deflated.adler == staged.adler;
  std::printf(
      "\nBC3 and deflate of the canvas, all cores: staged %.0f ms, "
      "overlapped %.0f ms (%.2fx), %s\n",
      stagedMs, overlappedMs, stagedMs / overlappedMs,
      same ? "same bytes" : "BYTES DIFFER");
}

}  // namespace

int main() {
  common::MemoryFileSystem fs;
  fs.Put("fonts.wtd",
         resource::BuildSampleWtd(resource::RealisticSampleOptions()));
  testutil::BgraPixels atlas = testutil::MakeGlyphLikeAtlas(4096, 4096);
  texture::CompressedImage image = Bc3Of(atlas);
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
  std::printf("straightforward (zlib 9): 3 files in %8.1f ms, %zu bytes each\n",
              plain, outputBytes);

  for (const char* name : {"iv.wtd", "tbogt.wtd", "tlad.wtd"})
    fs.Put(name, fs.Get("fonts.wtd"));
  start = Clock::now();
  resource::FontTexturePipeline pipeline(fs, {{"iv.wtd", "iv.wtd"},
                                              {"tbogt.wtd", "tbogt.wtd"},
                                              {"tlad.wtd", "tlad.wtd"}});
  pipeline.Write(image);
  double fast = MsSince(start);
  const std::size_t written = fs.Get("iv.wtd").size();
  std::printf(
      "pipeline:                3 files in %8.1f ms, %zu bytes each "
      "(%+.2f %%)\n",
      fast, written, Percent(written, outputBytes));
  std::printf("pipeline %.2fx faster\n", plain / fast);
  CompareEngines(image);
  CompareStages(atlas);
  return 0;
}
