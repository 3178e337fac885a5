#include "resource/parallel_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <deque>
#include <random>

#include "common/memory_file_system.h"
#include "resource/deflate_cache.h"
#include "resource/resource_file.h"
#include "resource/test_util.h"

namespace resource {
namespace {

using namespace test;

// Data with both long matches and noise, like texture blocks.
Bytes TextureLike(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (std::size_t i = 0; i < size; i += 16) {
    bool plain = rng() % 3 != 0;
    for (std::size_t k = 0; k < 16 && i + k < size; ++k)
      out[i + k] = plain ? std::byte(k < 2 ? 0xFF : 0) : std::byte(rng());
  }
  return out;
}

Bytes InflateRaw(const Bytes& data, const Bytes& dictionary = {}) {
  z_stream s{};
  EXPECT_EQ(inflateInit2(&s, -15), Z_OK);
  if (!dictionary.empty())
    inflateSetDictionary(&s, reinterpret_cast<const Bytef*>(dictionary.data()),
                         static_cast<uInt>(dictionary.size()));
  s.next_in = const_cast<Bytef*>(reinterpret_cast<const Bytef*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  Bytes out;
  std::byte chunk[65536];
  int result;
  do {
    s.next_out = reinterpret_cast<Bytef*>(chunk);
    s.avail_out = sizeof chunk;
    result = inflate(&s, Z_SYNC_FLUSH);
    out.insert(out.end(), chunk, chunk + (sizeof chunk - s.avail_out));
  } while (result == Z_OK && (s.avail_in > 0 || s.avail_out == 0));
  inflateEnd(&s);
  return out;
}

TEST(DeflateRawTest, ChunksJoinIntoOneStreamWhateverTheThreads) {
  Bytes data = TextureLike(3 * kDeflateChunkBytes + 12345, 1);
  Bytes parallel = DeflateRaw(data, {}, DeflateEnd::Final, true);
  Bytes serial = DeflateRaw(data, {}, DeflateEnd::Final, false);
  EXPECT_EQ(parallel, serial);
  EXPECT_EQ(InflateRaw(parallel), data);
}

TEST(DeflateRawTest, ChunkingCostsAlmostNothing) {
  // Repeats of 20,000 bytes: every match lies within the 32 KiB window, so
  // chunks primed with the data before them compress as one stream would.
  Bytes unit = TextureLike(20000, 2);
  Bytes data;
  while (data.size() < 2 * kDeflateChunkBytes + 5000)
    data.insert(data.end(), unit.begin(), unit.end());
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  Bytes whole(size);
  ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(whole.data()), &size,
                      reinterpret_cast<const Bytef*>(data.data()),
                      static_cast<uLong>(data.size()), 9),
            Z_OK);
  std::size_t chunked = DeflateRaw(data, {}, DeflateEnd::Final).size();
  EXPECT_LT(chunked, size + size / 100 + 64);
}

TEST(DeflateRawTest, HistoryPrimesTheFirstChunk) {
  Bytes history = TextureLike(50000, 3);
  Bytes data(history.end() - 20000, history.end());
  Bytes primed = DeflateRaw(data, history, DeflateEnd::Final);
  EXPECT_LT(primed.size(), DeflateRaw(data, {}, DeflateEnd::Final).size() / 10);
  EXPECT_EQ(InflateRaw(primed, Bytes(history.end() - 32768, history.end())),
            data);
}

TEST(DeflateRawTest, EmptyInputStillEndsTheStream) {
  EXPECT_EQ(InflateRaw(DeflateRaw({}, {}, DeflateEnd::Final)), Bytes{});
  Bytes sync = DeflateRaw({}, {}, DeflateEnd::Sync);
  ASSERT_GE(sync.size(), 4u);
  EXPECT_EQ(sync[sync.size() - 1], std::byte{0xFF});  // 00 00 FF FF
}

// Block lists over host memory, written by both writers.
struct Layout {
  std::deque<Bytes> storage;
  BlockList list;
  void Add(bool isVirtual, Bytes data) {
    storage.push_back(std::move(data));
    ResourceBlock block{storage.back().data(),
                        static_cast<std::uint32_t>(storage.back().size()),
                        nullptr};
    (isVirtual ? list.virtualBlocks : list.physicalBlocks).push_back(block);
  }
};

Bytes Save(const BlockList& blocks, const SaveOptions& options) {
  common::MemoryFileSystem fs;
  SaveResource(*fs.CreateForWrite("f"), {0x05435352, 8, 0x40000000u}, 0x10,
               blocks, options);
  return fs.Get("f");
}

TEST(FastSaveTest, ExpandsExactlyAsTheStraightforwardWriter) {
  for (int shape = 0; shape < 4; ++shape) {
    Layout layout;
    layout.Add(true, TextureLike(32, 4));
    layout.Add(true, TextureLike(100, 5));
    if (shape != 1)
      layout.Add(false, TextureLike(2 * kLargeBlockBytes + 16, 6));
    layout.Add(false, TextureLike(300001, 7));
    if (shape == 2) layout.Add(false, TextureLike(5 * kLargeBlockBytes / 2, 8));
    if (shape == 3) layout.Add(false, Bytes{});
    Bytes reference = Save(layout.list, {.straightforward = true});
    Bytes fast = Save(layout.list, {});
    EXPECT_EQ(std::memcmp(fast.data(), reference.data(), 12), 0);
    Bytes expansion = InflateBody(fast);  // plain zlib, Adler-32 checked
    EXPECT_EQ(expansion, InflateBody(reference)) << "shape " << shape;
    EXPECT_EQ(Save(layout.list, {.parallel = false}), fast);
  }
}

TEST(FastSaveTest, CacheServesOnlyItsImageAndGivesTheSameFiles) {
  texture::CompressedImage image;
  ASSERT_EQ(image.Allocate2D(77, 1024, 1024), 0);  // 1 MiB
  Bytes pixels = TextureLike(image.byteSize(), 9);
  std::memcpy(image.memory(), pixels.data(), pixels.size());

  Layout layout;
  layout.Add(true, TextureLike(64, 10));
  layout.list.physicalBlocks.push_back(
      {image.memory(), static_cast<std::uint32_t>(image.byteSize()), nullptr});
  layout.Add(false, TextureLike(5000, 11));
  Bytes plain = Save(layout.list, {});

  DeflatedBlockCache cache(image);
  Bytes first = Save(layout.list, {.cache = &cache});
  Bytes second = Save(layout.list, {.cache = &cache});
  EXPECT_EQ(cache.hits, 1);
  EXPECT_EQ(first, plain);
  EXPECT_EQ(second, plain);

  // A new allocation, even at the same address, is never served the old
  // bytes.
  std::byte* oldMemory = image.memory();
  image.Clear();
  ASSERT_EQ(image.Allocate2D(77, 1024, 1024), 0);
  std::memset(image.memory(), 0x5A, image.byteSize());
  layout.list.physicalBlocks[0].data = image.memory();
  EXPECT_FALSE(cache.Covers(image.memory(), image.byteSize()));
  Bytes fresh = Save(layout.list, {.cache = &cache});
  EXPECT_EQ(cache.hits, 1);
  EXPECT_EQ(InflateBody(fresh),
            InflateBody(Save(layout.list, {.straightforward = true})));
  (void)oldMemory;

  // A largest block that is not the image is written without the cache.
  Layout other;
  other.Add(true, TextureLike(64, 12));
  other.Add(false, TextureLike(2 * kLargeBlockBytes, 13));
  DeflatedBlockCache unused(image);
  Save(other.list, {.cache = &unused});
  Save(other.list, {.cache = &unused});
  EXPECT_EQ(unused.hits, 0);
}

}  // namespace
}  // namespace resource
