// The stand-in for builds configured without libdeflate
// (KARSTEL_DEFLATE=zlib): the writer then deflates with zlib.
#include "common/result.h"
#include "resource/libdeflate_compressor.h"

namespace resource {

bool LibdeflateAvailable() { return false; }

void LibdeflateCompressor::Free::operator()(libdeflate_compressor*) const {}

LibdeflateCompressor::LibdeflateCompressor(int /*level*/) {
  THROW_HR(common::kENotImpl);
}

std::vector<std::byte> LibdeflateCompressor::Compress(
    std::span<const std::byte> /*data*/) {
  THROW_HR(common::kENotImpl);
}

}  // namespace resource
