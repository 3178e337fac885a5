#include "resource/parallel_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>

#include "common/result.h"
#include "common/scope_exit.h"

namespace resource {
namespace {

constexpr std::size_t kWindow = 32768;

// One chunk through its own zlib raw deflate stream, zpipe-style.
std::vector<std::byte> DeflateChunkZlib(std::span<const std::byte> data,
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

// Where the last block of a complete raw deflate stream starts and where it
// ends, in bits from the stream's start (deflate packs bits from the least
// significant end of each byte).
struct LastBlock {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
};

// Walks `stream` block by block with zlib (inflate stops at each block
// boundary when asked for Z_BLOCK) and checks that it expands to exactly
// `expansion`. Throws E_FAIL otherwise: a chunk that would not read back as
// its input is never written.
LastBlock FindLastBlock(std::span<const std::byte> stream,
                        std::span<const std::byte> expansion) {
  z_stream s{};
  THROW_HR_IF(common::kEFail,
              inflateInit2_(&s, -15, ZLIB_VERSION,
                            static_cast<int>(sizeof(z_stream))) != Z_OK);
  auto close = common::ScopeExit([&] { inflateEnd(&s); });
  // One byte more than expected, so that a longer expansion shows.
  std::vector<std::byte> out(expansion.size() + 1);
  s.next_in = const_cast<Bytef*>(reinterpret_cast<const Bytef*>(stream.data()));
  s.avail_in = static_cast<uInt>(stream.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  LastBlock last;  // a raw stream's first block starts at bit 0
  for (;;) {
    int result = inflate(&s, Z_BLOCK);
    // With all the input and room to spare, inflate returns only at a block
    // boundary (data_type bit 128); its low three bits are the bits of the
    // last byte read that belong to what follows, bit 64 says the block
    // that just ended was the stream's last.
    THROW_HR_IF(common::kEFail, result != Z_OK || (s.data_type & 128) == 0);
    const std::uint64_t position =
        std::uint64_t{s.total_in} * 8 - static_cast<unsigned>(s.data_type & 7);
    if (s.data_type & 64) {
      last.end = position;
      break;
    }
    last.start = position;
  }
  THROW_HR_IF(common::kEFail, s.total_out != expansion.size() ||
                                  (!expansion.empty() &&
                                   std::memcmp(out.data(), expansion.data(),
                                               expansion.size()) != 0));
  return last;
}

// Makes a complete raw deflate stream one that more blocks may follow: the
// last block loses its final flag, and an empty stored block (three zero
// header bits, zero bits to the byte boundary, then its length 0 and the
// length's complement) ends it on a byte boundary, as zlib's sync flush
// does.
void ContinueStream(std::vector<std::byte>& stream, const LastBlock& last) {
  stream[last.start / 8] &= ~std::byte(1u << (last.start % 8));
  stream.resize((last.end + 3 + 7) / 8, std::byte{0});
  if (last.end % 8 != 0)
    stream[last.end / 8] &= std::byte((1u << (last.end % 8)) - 1);
  for (std::byte b :
       {std::byte{0x00}, std::byte{0x00}, std::byte{0xFF}, std::byte{0xFF}})
    stream.push_back(b);
}

}  // namespace

DeflateEngine WriterDeflateEngine() {
  return LibdeflateAvailable() ? DeflateEngine::Libdeflate
                               : DeflateEngine::Zlib;
}

std::size_t DeflateChunkCount(std::size_t bytes) {
  return std::max<std::size_t>(
      1, (bytes + kDeflateChunkBytes - 1) / kDeflateChunkBytes);
}

std::vector<std::byte> ChunkDeflater::Deflate(
    std::span<const std::byte> data, std::span<const std::byte> history,
    std::size_t index, DeflateEnd end) {
  const std::size_t start = std::min(index * kDeflateChunkBytes, data.size());
  auto chunk =
      data.subspan(start, std::min(kDeflateChunkBytes, data.size() - start));
  const bool last = index + 1 == DeflateChunkCount(data.size());
  const DeflateEnd chunkEnd = last ? end : DeflateEnd::Sync;
  if (engine_ == DeflateEngine::Zlib) {
    const int flush = chunkEnd == DeflateEnd::Final  ? Z_FINISH
                      : chunkEnd == DeflateEnd::Full ? Z_FULL_FLUSH
                                                     : Z_SYNC_FLUSH;
    return DeflateChunkZlib(chunk, start == 0 ? history : data.first(start),
                            flush);
  }
  if (!libdeflate_) libdeflate_.emplace(kLibdeflateLevel);
  // libdeflate makes whole streams only: ended on a final block, each
  // chunk but the stream's last is turned into one the next may follow.
  // Without history, a full flush is the same as a sync flush.
  std::vector<std::byte> out = libdeflate_->Compress(chunk);
  LastBlock block = FindLastBlock(out, chunk);
  if (chunkEnd != DeflateEnd::Final) ContinueStream(out, block);
  return out;
}

std::vector<std::byte> JoinChunks(
    const std::vector<std::vector<std::byte>>& parts) {
  std::size_t total = 0;
  for (const auto& part : parts) total += part.size();
  std::vector<std::byte> out;
  out.reserve(total);
  for (const auto& part : parts)
    out.insert(out.end(), part.begin(), part.end());
  return out;
}

std::vector<std::byte> DeflateRaw(std::span<const std::byte> data,
                                  std::span<const std::byte> history,
                                  DeflateEnd end, bool parallel,
                                  DeflateEngine engine) {
  const std::size_t count = DeflateChunkCount(data.size());
  std::vector<std::vector<std::byte>> parts(count);
  std::vector<std::exception_ptr> failures(count);
  const long n = static_cast<long>(count);
#pragma omp parallel if (parallel && count > 1)
  {
    // One per thread: libdeflate's tables are allocated once, not per
    // chunk. Nothing is shared but the input (read only) and each chunk's
    // own slots.
    ChunkDeflater deflater(engine);
#pragma omp for schedule(dynamic, 1)
    for (long i = 0; i < n; ++i) {
      const auto index = static_cast<std::size_t>(i);
      try {
        parts[index] = deflater.Deflate(data, history, index, end);
      } catch (...) {
        failures[index] = std::current_exception();
      }
    }
  }
  for (const auto& failure : failures)
    if (failure) std::rethrow_exception(failure);
  return JoinChunks(parts);
}

std::uint32_t Adler32(std::uint32_t adler, std::span<const std::byte> data) {
  // zlib's adler32 takes at most 4 GiB per call, so larger spans go in
  // pieces; a null buffer would ask it for the initial value instead.
  constexpr std::size_t kPiece = std::size_t{1} << 30;
  while (!data.empty()) {
    auto piece = data.first(std::min(data.size(), kPiece));
    adler = static_cast<std::uint32_t>(
        adler32(adler, reinterpret_cast<const Bytef*>(piece.data()),
                static_cast<uInt>(piece.size())));
    data = data.subspan(piece.size());
  }
  return adler;
}

DeflatedRun DeflateRun(std::span<const std::byte> data, DeflateEnd end,
                       bool parallel, DeflateEngine engine) {
  return {DeflateRaw(data, {}, end, parallel, engine), Adler32(1, data),
          data.size()};
}

}  // namespace resource
