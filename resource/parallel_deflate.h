// Level-9 deflate on every core, for the large texture blocks that dominate
// a generation's time. Input is cut into chunks that are compressed
// independently, each primed with the 32 KiB before it so that matches still
// reach back across chunk borders, and each ended on a byte boundary so that
// the pieces join into one valid raw deflate stream.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace resource {

enum class DeflateEnd {
  Sync,   ///< byte-aligned, the stream goes on
  Full,   ///< byte-aligned, and nothing after may refer back before it
  Final,  ///< the last block of the stream
};

/// Compresses data as raw deflate (no zlib wrapper) at level 9. `history`
/// is the data that precedes it in the stream (only its last 32 KiB are
/// used; empty after a full flush). Chunks run in parallel; the output does
/// not depend on the number of threads. Throws E_FAIL if zlib fails.
std::vector<std::byte> DeflateRaw(std::span<const std::byte> data,
                                  std::span<const std::byte> history,
                                  DeflateEnd end, bool parallel = true);

/// Bytes per chunk: large enough that chunk borders cost little
/// compression, small enough to keep both cores busy.
inline constexpr std::size_t kDeflateChunkBytes = 1u << 20;

}  // namespace resource
