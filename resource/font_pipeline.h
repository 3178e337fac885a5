// Writes the font texture into the chosen variants' fonts.wtd files, all or
// none: every file is read, checked, laid out and written beside itself
// before the first one replaces its original.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "common/file_system.h"
#include "resource/parallel_deflate.h"
#include "texture/image.h"

namespace resource {

/// One file to patch: read from `source`, written to `destination` (the
/// generation names the same file twice).
struct FontFile {
  common::Path source;
  common::Path destination;
};

/// What the pipeline is doing, for progress and for telling where a
/// failure struck.
enum class PipelineStep {
  Read,          ///< waiting for the file's preparation (read, check, layout)
  Write,         ///< writing its new file beside it
  KeepOriginal,  ///< the caller's turn to keep the original
  Replace,       ///< putting the new file in place of the old
};

class FontTexturePipeline {
 public:
  /// Hears each step as it starts, with the index of its file.
  using StepObserver = std::function<void(PipelineStep, std::size_t file)>;
  /// Keeps the original of a file before any file is replaced; a throw
  /// stops the run with nothing replaced.
  using KeepOriginal = std::function<void(std::size_t file)>;
  /// Hears the finished new files, in the order of the files, once every
  /// original is kept and before the first replacement: the caller's
  /// chance to note them durably, so that a run killed among the
  /// replacements can be finished. A throw stops the run with nothing
  /// replaced.
  using BeforeReplacing =
      std::function<void(const std::vector<common::Path>& newFiles)>;
  /// Hears a failed replacement, with how many files were replaced before
  /// it, while the new files of the rest still exist: the caller's chance
  /// to undo the replaced ones. The failure is thrown after it.
  using ReplaceFailed = std::function<void(std::size_t replaced)>;

  /// Starts preparing the files, in order, on a worker thread: each is
  /// loaded, checked, edited and laid out around a font texture still to
  /// come, and everything but that texture compressed. The compression keeps
  /// one core busy, which the atlas drawing leaves free.
  FontTexturePipeline(common::FileSystem& fs, std::vector<FontFile> files);
  /// Stops the preparation and waits for the worker.
  ~FontTexturePipeline();
  FontTexturePipeline(const FontTexturePipeline&) = delete;
  FontTexturePipeline& operator=(const FontTexturePipeline&) = delete;

  /// Compresses the image's pixels once (4096 x 4096 DXT5, one level), then
  /// waits for each file's preparation and writes its new file beside it.
  /// Once every new file is written, `keepOriginal` runs for each file, and
  /// then `beforeReplacing`, and only then do the new files replace the
  /// old, in order. A failure before the first replacement leaves every file
  /// as it was and no temporary behind; one during the replacements leaves
  /// the files before it replaced (replaced() says how many) and the rest as
  /// they were, once `replaceFailed` has heard of it. Throws that failure;
  /// call at most once.
  void Write(const texture::CompressedImage& image,
             const StepObserver& onStep = {},
             const KeepOriginal& keepOriginal = {},
             const BeforeReplacing& beforeReplacing = {},
             const ReplaceFailed& replaceFailed = {});

  /// The font texture's blocks already deflated, as a run ended with a sync
  /// flush (FontTextureStream makes it while the blocks are compressed):
  /// Write then stores it instead of deflating the image itself. It must
  /// expand to the bytes of the image given to Write.
  void SetDeflatedTexture(DeflatedRun texture) {
    deflatedTexture_ = std::move(texture);
  }

  /// How many files Write has put in place.
  std::size_t replaced() const { return replaced_; }

  /// A file ready but for its font texture.
  struct Prepared;

 private:
  common::FileSystem& fs_;
  std::vector<FontFile> files_;
  std::vector<std::promise<std::shared_ptr<Prepared>>> promises_;
  std::vector<std::future<std::shared_ptr<Prepared>>> futures_;
  std::atomic<bool> stop_{false};
  std::size_t replaced_ = 0;
  DeflatedRun deflatedTexture_;
  std::thread worker_;
};

}  // namespace resource
