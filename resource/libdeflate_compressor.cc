#include "resource/libdeflate_compressor.h"

#include <libdeflate.h>

#include "common/result.h"

namespace resource {

bool LibdeflateAvailable() { return true; }

void LibdeflateCompressor::Free::operator()(
    libdeflate_compressor* compressor) const {
  libdeflate_free_compressor(compressor);
}

LibdeflateCompressor::LibdeflateCompressor(int level)
    : compressor_(libdeflate_alloc_compressor(level)) {
  // A level libdeflate does not know also gives null; ours are constants.
  THROW_HR_IF(common::kEOutOfMemory, !compressor_);
}

std::vector<std::byte> LibdeflateCompressor::Compress(
    std::span<const std::byte> data) {
  std::vector<std::byte> out(
      libdeflate_deflate_compress_bound(compressor_.get(), data.size()));
  // Within the bound libdeflate always succeeds; 0 means it did not.
  std::size_t size = libdeflate_deflate_compress(
      compressor_.get(), data.data(), data.size(), out.data(), out.size());
  THROW_HR_IF(common::kEFail, size == 0);
  out.resize(size);
  return out;
}

}  // namespace resource
