// Deflate on every core, for the large texture blocks that dominate a
// generation's time. Input is cut into chunks that are compressed
// independently and each ended on a byte boundary, so that the pieces join
// into one valid raw deflate stream.
//
// Two engines make the chunks. libdeflate, where the build has it, is about
// 2.5 times as fast as zlib at the same strength; it takes no history, so
// every chunk starts its matches afresh. zlib primes each chunk with the
// 32 KiB before it. Either way zlib reads the result (and checks each
// libdeflate chunk before it is used).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "resource/libdeflate_compressor.h"

namespace resource {

enum class DeflateEnd {
  Sync,   ///< byte-aligned, the stream goes on
  Full,   ///< byte-aligned, and nothing after may refer back before it
  Final,  ///< the last block of the stream
};

enum class DeflateEngine {
  Zlib,        ///< zlib level 9, each chunk primed with the data before it
  Libdeflate,  ///< libdeflate at kLibdeflateLevel
};

/// libdeflate's level for the written files: the lowest whose chunked
/// output for a drawn font texture stays within 0.5 % of one zlib level-9
/// stream of it (+0.35 % for WenQuanYi Micro Hei, at two thirds of level
/// 9's time; level 7 gives +0.7 %). resource_bench and generate_bench print
/// both sizes.
inline constexpr int kLibdeflateLevel = 8;

/// The engine the writer uses: libdeflate where the build links it.
DeflateEngine WriterDeflateEngine();

/// Bytes per chunk: large enough that chunk borders cost little
/// compression, small enough to keep every core busy.
inline constexpr std::size_t kDeflateChunkBytes = 1u << 20;

/// How many chunks `bytes` of input make (at least one: an empty input
/// still ends its stream).
std::size_t DeflateChunkCount(std::size_t bytes);

/// Compresses chunks of one stream, one at a time, in any order. Each thread
/// that compresses needs its own; the libdeflate compressor is made on the
/// first chunk and kept.
class ChunkDeflater {
 public:
  explicit ChunkDeflater(DeflateEngine engine) : engine_(engine) {}

  /// Chunk `index` of `data` as raw deflate, to be joined in order with the
  /// others. `history` precedes `data` in the stream (zlib uses its last
  /// 32 KiB for the first chunk; empty after a full flush). The last chunk
  /// ends the way `end` says, every other one on a byte boundary with the
  /// stream going on. Throws E_FAIL if the engine fails.
  std::vector<std::byte> Deflate(std::span<const std::byte> data,
                                 std::span<const std::byte> history,
                                 std::size_t index, DeflateEnd end);

 private:
  DeflateEngine engine_;
  std::optional<LibdeflateCompressor> libdeflate_;
};

/// The chunks in order, as one stream.
std::vector<std::byte> JoinChunks(
    const std::vector<std::vector<std::byte>>& parts);

/// Compresses data as raw deflate (no zlib wrapper), chunk by chunk. Chunks
/// run in parallel unless `parallel` is false; the output does not depend
/// on the number of threads. Throws E_FAIL if the engine fails.
std::vector<std::byte> DeflateRaw(std::span<const std::byte> data,
                                  std::span<const std::byte> history,
                                  DeflateEnd end, bool parallel = true,
                                  DeflateEngine engine = WriterDeflateEngine());

/// A run of a zlib stream: raw deflate data, and the Adler-32 and length of
/// what it expands to, so that runs made apart join into one stream.
struct DeflatedRun {
  std::vector<std::byte> compressed;
  std::uint32_t adler = 1;
  std::size_t expandedBytes = 0;
};

/// The Adler-32 of `data` continued from `adler` (1 to start).
std::uint32_t Adler32(std::uint32_t adler, std::span<const std::byte> data);

/// DeflateRaw without history, with the Adler-32 and length of `data`.
DeflatedRun DeflateRun(std::span<const std::byte> data, DeflateEnd end,
                       bool parallel,
                       DeflateEngine engine = WriterDeflateEngine());

}  // namespace resource
