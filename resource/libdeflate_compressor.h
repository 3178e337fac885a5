// The libdeflate compressor behind the writer's chunked deflate, in a
// move-only owner. Builds without libdeflate link a stand-in whose
// constructor refuses, and the writer keeps to zlib (DeflateEngine).
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

struct libdeflate_compressor;

namespace resource {

/// True when this build links libdeflate.
bool LibdeflateAvailable();

/// One libdeflate compressor: its match finder's tables, allocated once and
/// reused for every chunk a thread compresses. Not for two threads at once.
class LibdeflateCompressor {
 public:
  /// Throws E_NOTIMPL where the build has no libdeflate, E_OUTOFMEMORY when
  /// the compressor cannot be allocated.
  explicit LibdeflateCompressor(int level);

  /// `data` as one complete raw deflate stream (its last block final, the
  /// last byte padded with zero bits). Throws E_FAIL if libdeflate fails.
  std::vector<std::byte> Compress(std::span<const std::byte> data);

 private:
  struct Free {
    void operator()(libdeflate_compressor* compressor) const;
  };
  std::unique_ptr<libdeflate_compressor, Free> compressor_;
};

}  // namespace resource
