// Patches a realistic synthetic fonts.wtd (about 6 MiB of other textures)
// with a 16 MiB BC3 image and prints the time of each stage and the output
// size. Run: build/linux/bench/Release/resource_bench
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

#include "common/memory_file_system.h"
#include "resource/deflate_cache.h"
#include "resource/patch.h"
#include "resource/sample_wtd.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start)
      .count();
}

// BC3 blocks in the proportions of a Chinese glyph atlas: about half are
// transparent black, a little over one percent solid white, the rest edges
// of strokes with varied end points and codes.
texture::CompressedImage GlyphLikeBc3() {
  texture::CompressedImage image;
  image.Allocate2D(77, 4096, 4096, 1, 1);
  static const std::uint8_t kClear[16] = {0xFF, 0,    0x49, 0x92,
                                          0x24, 0x49, 0x92, 0x24};
  static const std::uint8_t kWhite[16] = {0xFF, 0xFF, 0,    0,    0,    0,
                                          0,    0,    0xFF, 0xFF, 0xFF, 0xFF};
  std::mt19937 rng(42);
  for (std::size_t b = 0; b < image.byteSize() / 16; ++b) {
    std::byte* block = image.memory() + b * 16;
    unsigned roll = rng() % 1000;
    if (roll < 500) {
      std::memcpy(block, kClear, 16);
    } else if (roll < 514) {
      std::memcpy(block, kWhite, 16);
    } else {
      std::uint8_t bytes[16] = {static_cast<std::uint8_t>(rng()), 0};
      for (int i = 2; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(rng());
      bytes[8] = bytes[9] = bytes[10] = bytes[11] = 0xFF;  // white colour
      std::memcpy(block, bytes, 16);
    }
  }
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
