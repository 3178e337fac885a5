#include "resource/parallel_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <exception>

#include "common/result.h"
#include "common/scope_exit.h"

namespace resource {
namespace {

constexpr std::size_t kWindow = 32768;

// One chunk through its own raw deflate stream, zpipe-style.
std::vector<std::byte> DeflateChunk(std::span<const std::byte> data,
                                    std::span<const std::byte> history,
                                    int flush) {
  z_stream stream{};
  THROW_HR_IF(
      common::kEFail,
      deflateInit2_(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY,
                    ZLIB_VERSION, static_cast<int>(sizeof(z_stream))) != Z_OK);
  auto end = common::ScopeExit([&] { deflateEnd(&stream); });
  if (!history.empty()) {
    auto window = history.last(std::min(history.size(), kWindow));
    THROW_HR_IF(common::kEFail,
                deflateSetDictionary(
                    &stream, reinterpret_cast<const Bytef*>(window.data()),
                    static_cast<uInt>(window.size())) != Z_OK);
  }
  // A chunk is at most kDeflateChunkBytes, well inside zlib's uLong.
  std::vector<std::byte> out(
      deflateBound(&stream, static_cast<uLong>(data.size())) + 16);
  stream.next_in =
      const_cast<Bytef*>(reinterpret_cast<const Bytef*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  int result = deflate(&stream, flush);
  // deflateBound leaves room for everything, so one call finishes the chunk.
  THROW_HR_IF(common::kEFail, result == Z_STREAM_ERROR ||
                                  stream.avail_in != 0 ||
                                  stream.avail_out == 0);
  out.resize(out.size() - stream.avail_out);
  return out;
}

}  // namespace

std::vector<std::byte> DeflateRaw(std::span<const std::byte> data,
                                  std::span<const std::byte> history,
                                  DeflateEnd end, bool parallel) {
  const std::size_t count = std::max<std::size_t>(
      1, (data.size() + kDeflateChunkBytes - 1) / kDeflateChunkBytes);
  std::vector<std::vector<std::byte>> parts(count);
  std::vector<std::exception_ptr> failures(count);
  const int lastFlush = end == DeflateEnd::Final  ? Z_FINISH
                        : end == DeflateEnd::Full ? Z_FULL_FLUSH
                                                  : Z_SYNC_FLUSH;
  auto run = [&](std::size_t i) {
    try {
      std::size_t start = i * kDeflateChunkBytes;
      auto chunk = data.subspan(
          start, std::min(kDeflateChunkBytes, data.size() - start));
      auto before = start == 0 ? history : data.first(start);
      parts[i] = DeflateChunk(chunk, before,
                              i + 1 == count ? lastFlush : Z_SYNC_FLUSH);
    } catch (...) {
      failures[i] = std::current_exception();
    }
  };
  const long n = static_cast<long>(count);
#pragma omp parallel for schedule(dynamic, 1) if (parallel && count > 1)
  for (long i = 0; i < n; ++i) run(static_cast<std::size_t>(i));
  for (const auto& failure : failures)
    if (failure) std::rethrow_exception(failure);

  std::size_t total = 0;
  for (const auto& part : parts) total += part.size();
  std::vector<std::byte> out;
  out.reserve(total);
  for (const auto& part : parts)
    out.insert(out.end(), part.begin(), part.end());
  return out;
}

}  // namespace resource
