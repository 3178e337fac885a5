#include "resource/parallel_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <deque>
#include <random>

#include "common/memory_file_system.h"
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

}  // namespace
}  // namespace resource
