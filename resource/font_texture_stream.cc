#include "resource/font_texture_stream.h"

#include <omp.h>
#include <zlib.h>

#include <algorithm>

#include "common/result.h"

namespace resource {
namespace {

// zlib primes each chunk with the 32 KiB before it; libdeflate reads
// nothing before its chunk.
std::size_t HistoryBytes(DeflateEngine engine) {
  return engine == DeflateEngine::Zlib ? 32768 : 0;
}

}  // namespace

FontTextureStream::FontTextureStream(const texture::ImageView& canvas,
                                     DeflateEngine engine, unsigned threads)
    : canvas_(canvas),
      tuning_(texture::DefaultCompressTuning()),
      engine_(engine) {
  THROW_HR_IF(common::kEInvalidArg,
              canvas.format != texture::DXGI_FORMAT_B8G8R8A8_UNORM);
  THROW_IF_FAILED(image_.Allocate2D(texture::DXGI_FORMAT_BC3_UNORM,
                                    canvas.width, canvas.height));
  const texture::ImageView* level = image_.ImageAt(0, 0, 0);
  THROW_HR_IF(common::kEPointer, !level);
  level_ = *level;
  blockRows_ = std::max<std::uint32_t>(1, (canvas.height + 3) / 4);
  bands_ = (blockRows_ + kBandBlockRows - 1) / kBandBlockRows;
  chunks_ = DeflateChunkCount(level_.slicePitch);
  bandDone_.assign(bands_, false);
  chunkTaken_.assign(chunks_, false);
  parts_.resize(chunks_);
  adlers_.assign(chunks_, 1);
  if (threads == 0) threads = static_cast<unsigned>(omp_get_max_threads());
  try {
    for (unsigned i = 1; i < threads; ++i)
      workers_.emplace_back([this] { Work(); });
  } catch (...) {
    StopWorkers();
    throw;
  }
}

FontTextureStream::~FontTextureStream() { StopWorkers(); }

void FontTextureStream::StopWorkers() noexcept {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
}

void FontTextureStream::RowsFinal(std::uint32_t rows) {
  {
    std::lock_guard lock(mutex_);
    if (rows <= rowsFinal_) return;
    rowsFinal_ = std::min(rows, canvas_.height);
  }
  changed_.notify_all();
}

bool FontTextureStream::ChunkReady(std::size_t chunk) const {
  const std::size_t bytes = level_.slicePitch;
  const std::size_t start = chunk * kDeflateChunkBytes;
  const std::size_t from = start - std::min(start, HistoryBytes(engine_));
  const std::size_t to = std::min(bytes, start + kDeflateChunkBytes);
  if (to == 0) return true;
  const std::size_t rowBytes = level_.rowPitch;
  const std::size_t firstBand = from / rowBytes / kBandBlockRows;
  const std::size_t lastBand = (to - 1) / rowBytes / kBandBlockRows;
  for (std::size_t band = firstBand; band <= lastBand; ++band)
    if (!bandDone_[band]) return false;
  return true;
}

FontTextureStream::Task FontTextureStream::NextTask() {
  // Blocks first: they are what the chunks wait for.
  if (nextBand_ < bands_) {
    const std::uint64_t endBlockRow = std::min<std::uint64_t>(
        (nextBand_ + 1) * std::uint64_t{kBandBlockRows}, blockRows_);
    const std::uint64_t endRow =
        std::min<std::uint64_t>(4 * endBlockRow, canvas_.height);
    if (endRow <= rowsFinal_) return {TaskKind::Band, nextBand_++};
  }
  while (firstOpenChunk_ < chunks_ && chunkTaken_[firstOpenChunk_])
    ++firstOpenChunk_;
  for (std::size_t chunk = firstOpenChunk_; chunk < chunks_; ++chunk) {
    if (!chunkTaken_[chunk] && ChunkReady(chunk)) {
      chunkTaken_[chunk] = true;
      return {TaskKind::Chunk, chunk};
    }
  }
  return {};
}

void FontTextureStream::Run(const Task& task, ChunkDeflater& deflater) {
  if (task.kind == TaskKind::Band) {
    const auto first = static_cast<std::uint32_t>(task.index * kBandBlockRows);
    const std::uint32_t last = std::min(first + kBandBlockRows, blockRows_);
    THROW_IF_FAILED(
        texture::CompressBlockRows(canvas_, level_, first, last, tuning_));
    return;
  }
  const std::span<const std::byte> blocks(level_.pixels, level_.slicePitch);
  const std::size_t start = task.index * kDeflateChunkBytes;
  parts_[task.index] =
      deflater.Deflate(blocks, {}, task.index, DeflateEnd::Sync);
  adlers_[task.index] = Adler32(
      1, blocks.subspan(start,
                        std::min(kDeflateChunkBytes, blocks.size() - start)));
}

void FontTextureStream::Work() noexcept {
  // Each thread its own: libdeflate's tables are allocated once per thread.
  ChunkDeflater deflater(engine_);
  std::unique_lock lock(mutex_);
  while (!stop_ && !failure_ && chunksDone_ < chunks_) {
    const Task task = NextTask();
    if (task.kind == TaskKind::None) {
      changed_.wait(lock);
      continue;
    }
    lock.unlock();
    std::exception_ptr failed;
    try {
      Run(task, deflater);
    } catch (...) {
      failed = std::current_exception();
    }
    lock.lock();
    if (failed) {
      if (!failure_) failure_ = failed;
    } else if (task.kind == TaskKind::Band) {
      bandDone_[task.index] = true;
    } else {
      ++chunksDone_;
    }
    changed_.notify_all();
  }
}

FontTexture FontTextureStream::Finish() {
  RowsFinal(canvas_.height);
  Work();
  StopWorkers();
  if (failure_) std::rethrow_exception(failure_);
  THROW_HR_IF(common::kEFail, chunksDone_ != chunks_);
  FontTexture texture;
  texture.deflated.compressed = JoinChunks(parts_);
  texture.deflated.expandedBytes = level_.slicePitch;
  std::uint32_t adler = 1;
  for (std::size_t i = 0; i < chunks_; ++i) {
    const std::size_t start = i * kDeflateChunkBytes;
    const std::size_t size =
        std::min(kDeflateChunkBytes, std::size_t{level_.slicePitch} - start);
    adler = static_cast<std::uint32_t>(
        adler32_combine(adler, adlers_[i], static_cast<z_off_t>(size)));
  }
  texture.deflated.adler = adler;
  texture.image = std::move(image_);
  return texture;
}

}  // namespace resource
