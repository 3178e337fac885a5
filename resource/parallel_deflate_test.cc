#include "resource/parallel_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

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

// Inflates a raw deflate stream with zlib. `ended` tells whether zlib met
// the final block; a stream that goes on ends with all its input read.
Bytes InflateRaw(const Bytes& data, bool& ended, const Bytes& dictionary = {}) {
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
  ended = result == Z_STREAM_END;
  EXPECT_EQ(s.avail_in, 0u);  // nothing after the end, or left unread
  inflateEnd(&s);
  return out;
}

Bytes InflateRaw(const Bytes& data) {
  bool ended = false;
  Bytes out = InflateRaw(data, ended);
  EXPECT_TRUE(ended);
  return out;
}

// Every engine this build has.
std::vector<DeflateEngine> Engines() {
  std::vector<DeflateEngine> engines = {DeflateEngine::Zlib};
  if (LibdeflateAvailable()) engines.push_back(DeflateEngine::Libdeflate);
  return engines;
}

const char* NameOf(DeflateEngine engine) {
  return engine == DeflateEngine::Zlib ? "zlib" : "libdeflate";
}

TEST(DeflateRawTest, TheWriterUsesLibdeflateWhereTheBuildHasIt) {
  EXPECT_EQ(WriterDeflateEngine() == DeflateEngine::Libdeflate,
            LibdeflateAvailable());
}

// One chunk, many, an input that ends just past a border, and a border
// inside a long run of one repeated block, whose matches each chunk must
// start afresh (libdeflate) or carry over (zlib): the chunks join into one
// stream that zlib reads back whole, and the thread count changes nothing.
TEST(DeflateRawTest, ChunksJoinIntoOneStreamWhateverTheThreads) {
  Bytes run = TextureLike(2 * kDeflateChunkBytes + 40000, 4);
  const Bytes block(run.begin(), run.begin() + 16);
  for (std::size_t i = kDeflateChunkBytes - 300000;
       i < kDeflateChunkBytes + 300000; i += 16)
    std::copy(block.begin(), block.end(), run.begin() + i);
  const std::vector<Bytes> inputs = {
      TextureLike(70000, 1), TextureLike(3 * kDeflateChunkBytes + 12345, 2),
      TextureLike(kDeflateChunkBytes + 1, 3), run};
  for (DeflateEngine engine : Engines()) {
    for (const Bytes& data : inputs) {
      SCOPED_TRACE(std::string(NameOf(engine)) + ", " +
                   std::to_string(data.size()) + " bytes");
      Bytes parallel = DeflateRaw(data, {}, DeflateEnd::Final, true, engine);
      Bytes serial = DeflateRaw(data, {}, DeflateEnd::Final, false, engine);
      EXPECT_EQ(parallel, serial);
      EXPECT_TRUE(InflateRaw(parallel) == data);
    }
  }
}

// Runs ended with a sync or a full flush go on: the pipeline writes a run
// before the texture, the texture and a final run as one stream.
TEST(DeflateRawTest, RunsEndedOnByteBoundariesJoin) {
  const Bytes a = TextureLike(300000, 5);
  const Bytes b = TextureLike(kDeflateChunkBytes + 5000, 6);
  const Bytes c = TextureLike(1000, 7);
  for (DeflateEngine engine : Engines()) {
    SCOPED_TRACE(NameOf(engine));
    Bytes stream = DeflateRaw(a, {}, DeflateEnd::Full, true, engine);
    bool ended = true;
    EXPECT_TRUE(InflateRaw(stream, ended) == a);
    EXPECT_FALSE(ended);
    Bytes middle = DeflateRaw(b, {}, DeflateEnd::Sync, true, engine);
    Bytes last = DeflateRaw(c, {}, DeflateEnd::Final, true, engine);
    // A sync flush's mark, as zlib ends one: an empty stored block.
    ASSERT_GE(middle.size(), 4u);
    EXPECT_EQ(
        Bytes(middle.end() - 4, middle.end()),
        (Bytes{std::byte{0}, std::byte{0}, std::byte{0xFF}, std::byte{0xFF}}));
    stream.insert(stream.end(), middle.begin(), middle.end());
    stream.insert(stream.end(), last.begin(), last.end());
    Bytes expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    expected.insert(expected.end(), c.begin(), c.end());
    EXPECT_TRUE(InflateRaw(stream) == expected);
  }
}

TEST(DeflateRawTest, EmptyInputStillEndsTheStream) {
  for (DeflateEngine engine : Engines()) {
    SCOPED_TRACE(NameOf(engine));
    EXPECT_EQ(InflateRaw(DeflateRaw({}, {}, DeflateEnd::Final, true, engine)),
              Bytes{});
    bool ended = true;
    EXPECT_EQ(
        InflateRaw(DeflateRaw({}, {}, DeflateEnd::Sync, true, engine), ended),
        Bytes{});
    EXPECT_FALSE(ended);
  }
}

std::size_t Zlib9Size(const Bytes& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  Bytes whole(size);
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(whole.data()), &size,
                      reinterpret_cast<const Bytef*>(data.data()),
                      static_cast<uLong>(data.size()), 9),
            Z_OK);
  return size;
}

TEST(DeflateRawTest, ChunkingCostsAlmostNothing) {
  // Repeats of 20,000 bytes: every match lies within the 32 KiB window, so
  // zlib's chunks, primed with the data before them, compress as one stream
  // would.
  Bytes unit = TextureLike(20000, 2);
  Bytes data;
  while (data.size() < 2 * kDeflateChunkBytes + 5000)
    data.insert(data.end(), unit.begin(), unit.end());
  std::size_t chunked =
      DeflateRaw(data, {}, DeflateEnd::Final, true, DeflateEngine::Zlib).size();
  EXPECT_LT(chunked, Zlib9Size(data) * 101 / 100 + 64);
}

TEST(DeflateRawTest, LibdeflateIsAsStrongAsZlibLevel9) {
  if (!LibdeflateAvailable()) GTEST_SKIP() << "built without libdeflate";
  // Chunks without history lose a little at each border; the level keeps
  // the whole within half a percent of one zlib level-9 stream.
  Bytes data = TextureLike(4 * kDeflateChunkBytes, 8);
  std::size_t size =
      DeflateRaw(data, {}, DeflateEnd::Final, true, DeflateEngine::Libdeflate)
          .size();
  EXPECT_LE(size, Zlib9Size(data) * 1005 / 1000);
}

TEST(DeflateRawTest, ZlibHistoryPrimesTheFirstChunk) {
  Bytes history = TextureLike(50000, 3);
  Bytes data(history.end() - 20000, history.end());
  Bytes primed =
      DeflateRaw(data, history, DeflateEnd::Final, true, DeflateEngine::Zlib);
  EXPECT_LT(primed.size(),
            DeflateRaw(data, {}, DeflateEnd::Final, true, DeflateEngine::Zlib)
                    .size() /
                10);
  bool ended = false;
  EXPECT_EQ(
      InflateRaw(primed, ended, Bytes(history.end() - 32768, history.end())),
      data);
  EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace resource
