// The font texture made while its atlas is still being drawn. Its BC3
// blocks are compressed a band of block rows at a time, as soon as the
// band's pixel rows are final, and each deflate chunk as soon as the blocks
// it reads exist, so that every core is busy from the first drawn row to
// the last deflated chunk. The bytes are those of the stages one after the
// other (CompressImage, then DeflateRun of its blocks), whatever the number
// of threads or the order in which rows become final.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "resource/parallel_deflate.h"
#include "texture/compress.h"
#include "texture/image.h"

namespace resource {

/// A compressed font texture and its blocks as a run of a zlib stream,
/// ended with a sync flush, as the writer stores them.
struct FontTexture {
  texture::CompressedImage image;
  DeflatedRun deflated;
};

class FontTextureStream {
 public:
  /// Rows of blocks compressed as one piece of work (64 pixel rows).
  static constexpr std::uint32_t kBandBlockRows = 16;

  /// Prepares the texture of `canvas`, a B8G8R8A8 image whose pixels must
  /// stay alive until Finish returns or the stream is destroyed, and starts
  /// `threads` - 1 workers (0: as many threads as OpenMP would use). The
  /// thread that draws is the last: it joins the work in Finish. Throws
  /// what the allocation of the texture or a thread throws.
  explicit FontTextureStream(const texture::ImageView& canvas,
                             DeflateEngine engine = WriterDeflateEngine(),
                             unsigned threads = 0);
  /// Stops the work and waits for the workers; an unfinished texture is
  /// dropped.
  ~FontTextureStream();
  FontTextureStream(const FontTextureStream&) = delete;
  FontTextureStream& operator=(const FontTextureStream&) = delete;

  /// The canvas's top `rows` pixel rows are final: nothing writes them
  /// again. Counts only grow; a smaller one than before changes nothing.
  void RowsFinal(std::uint32_t rows);

  /// Every row is final. Works on the calling thread too until the texture
  /// is compressed and deflated, waits for the workers and returns it.
  /// Throws the first failure of any piece; call once.
  FontTexture Finish();

 private:
  enum class TaskKind { None, Band, Chunk };
  struct Task {
    TaskKind kind = TaskKind::None;
    std::size_t index = 0;
  };

  // The loop of every worker and of Finish's thread.
  void Work() noexcept;
  // Both under mutex_.
  Task NextTask();
  bool ChunkReady(std::size_t chunk) const;
  void Run(const Task& task, ChunkDeflater& deflater);
  void StopWorkers() noexcept;

  // Set up before the workers start, then read only.
  texture::ImageView canvas_;
  texture::CompressedImage image_;
  texture::ImageView level_;  // image_'s one level
  texture::CompressTuning tuning_;
  DeflateEngine engine_;
  std::uint32_t blockRows_ = 0;
  std::size_t bands_ = 0;
  std::size_t chunks_ = 0;

  // Synchronisation: one mutex guards everything below it. A piece is
  // taken and marked done under it, so a chunk is only taken after the
  // bands it reads were marked done by whichever thread encoded them, and
  // the mutex orders those writes before its reads. Each piece writes only
  // its own bytes of the texture and its own slot of parts_ and adlers_.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint32_t rowsFinal_ = 0;
  std::size_t nextBand_ = 0;
  std::vector<bool> bandDone_;
  std::vector<bool> chunkTaken_;
  std::size_t firstOpenChunk_ = 0;
  std::size_t chunksDone_ = 0;
  bool stop_ = false;
  std::exception_ptr failure_;
  std::vector<std::vector<std::byte>> parts_;
  std::vector<std::uint32_t> adlers_;

  std::vector<std::thread> workers_;
};

}  // namespace resource
