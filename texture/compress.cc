#include "texture/compress.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "texture/block_pixels.h"
#include "texture/format.h"

namespace texture {
namespace {

using common::kEFail;
using common::kEInvalidArg;
using common::kEPointer;
using common::kNotSupported;

// Blocks handed out as one unit of the static schedule. Each worker still
// walks one contiguous range of block indices upwards.
constexpr std::uint64_t kBlocksPerGroup = 256;

// Everything the block loop reads; shared read-only by all workers.
struct BlockLoop {
  const std::byte* source = nullptr;
  std::uint64_t sourceSize = 0;  // slicePitch: no read goes past it
  std::uint64_t rowPitch = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t sourceFormat = 0;
  std::uint32_t targetFormat = 0;
  std::uint32_t bytesPerPixel = 0;
  std::uint8_t* output = nullptr;
  std::uint64_t blocksPerRow = 0;
  std::uint64_t blockCount = 0;
  BlockEncoderChoice encoder;
  std::uint32_t optionBits = 0;
  std::uint32_t conversionBits = 0;
  // Set when the fast paths below are the same as the general steps: the
  // source unpacks as B8G8R8A8, the conversion changes nothing and the
  // encoder is BC3's.
  bool directBgra = false;
  CompressTuning tuning;
};

// The state of one worker, on its own stack: no allocation per block.
class BlockWorker {
 public:
  explicit BlockWorker(const BlockLoop& loop) : loop_(loop) {}
  BlockWorker(const BlockWorker&) = delete;
  BlockWorker& operator=(const BlockWorker&) = delete;

  // Encodes blocks first to last - 1. Returns false if a row could not be
  // unpacked; the remaining blocks are still done unless stopOnFailure.
  bool Run(std::uint64_t first, std::uint64_t last, bool stopOnFailure);
  // Encodes the blocks still waiting in the batch.
  void Flush();

 private:
  struct UniformEntry {
    std::uint32_t pixel = 0;
    bool valid = false;
    std::uint8_t bytes[16] = {};
  };
  static constexpr int kUniformEntries = 64;

  bool EncodeGeneral(std::uint64_t x, std::uint64_t y, std::uint8_t* out);
  void EncodeUniform(std::uint32_t pixel, std::uint8_t* out);
  void Enqueue(const std::uint32_t (&pixels)[16], std::uint8_t* out);
  void EncodeBatch();

  const BlockLoop& loop_;
  BlockBuffer block_{};
  BlockBatch batch_{};
  // Pixels of the blocks waiting for the batch, as read from the source.
  alignas(16) std::uint32_t staged_[16][kBatchLanes] = {};
  std::uint8_t* destinations_[kBatchLanes] = {};
  int pending_ = 0;
  std::uint8_t spare_[kBatchLanes][16] = {};
  UniformEntry uniform_[kUniformEntries];
};

bool BlockWorker::Run(std::uint64_t first, std::uint64_t last,
                      bool stopOnFailure) {
  bool ok = true;
  const std::uint64_t pitch = loop_.rowPitch;
  for (std::uint64_t nb = first; nb < last; ++nb) {
    std::uint64_t row = nb / loop_.blocksPerRow;
    std::uint64_t column = nb - row * loop_.blocksPerRow;
    std::uint64_t x = 4 * column, y = 4 * row;
    std::uint8_t* out = loop_.output + nb * loop_.encoder.blockSize;
    std::uint64_t offset = y * pitch + x * loop_.bytesPerPixel;
    // A whole block inside the image and inside the source bytes is read
    // straight from the source; anything else takes the general steps.
    if (loop_.directBgra && x + 4 <= loop_.width && y + 4 <= loop_.height &&
        pitch >= 16 && offset + 3 * pitch + 16 <= loop_.sourceSize) {
      std::uint32_t pixels[16];
      for (int k = 0; k < 4; ++k)
        std::memcpy(&pixels[4 * k], loop_.source + offset + k * pitch, 16);
      bool uniform = true;
      for (int i = 1; i < 16; ++i) uniform &= pixels[i] == pixels[0];
      if (uniform && loop_.tuning.reuseUniformBlocks) {
        EncodeUniform(pixels[0], out);
      } else if (loop_.tuning.batchKernel) {
        Enqueue(pixels, out);
      } else {
        for (int i = 0; i < 16; ++i) {
          UnpackRow(&block_.colours[i], 1,
                    reinterpret_cast<const std::byte*>(&pixels[i]), 4,
                    loop_.sourceFormat);
        }
        loop_.encoder.encode(out, block_, loop_.optionBits);
      }
      continue;
    }
    if (!EncodeGeneral(x, y, out)) {
      ok = false;
      if (stopOnFailure) return false;
    }
  }
  return ok;
}

bool BlockWorker::EncodeGeneral(std::uint64_t x, std::uint64_t y,
                                std::uint8_t* out) {
  bool ok = true;
  std::uint32_t pw =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(4, loop_.width - x));
  std::uint32_t ph =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(4, loop_.height - y));
  std::uint64_t start = y * loop_.rowPitch + x * loop_.bytesPerPixel;
  for (std::uint32_t k = 0; k < ph; ++k, start += loop_.rowPitch) {
    std::uint64_t available =
        start < loop_.sourceSize ? loop_.sourceSize - start : 0;
    std::uint64_t byteCount = std::min(loop_.rowPitch, available);
    // A row that cannot hold the block's pixels would leave colours of an
    // earlier block behind, so it fails like an unreadable one.
    if (byteCount < std::uint64_t{pw} * loop_.bytesPerPixel ||
        !UnpackRow(&block_.colours[4 * k], pw, loop_.source + start,
                   static_cast<std::size_t>(byteCount), loop_.sourceFormat)) {
      ok = false;
    }
  }
  ReplicateEdges(block_, pw, ph);
  ConvertBlockPixels(block_.colours, 16, loop_.targetFormat, loop_.sourceFormat,
                     loop_.conversionBits);
  loop_.encoder.encode(out, block_, loop_.optionBits);
  return ok;
}

void BlockWorker::EncodeUniform(std::uint32_t pixel, std::uint8_t* out) {
  UniformEntry& entry =
      uniform_[(pixel * 0x9E3779B1u) >> (32 - 6)];  // 64 entries
  static_assert(kUniformEntries == 64);
  if (!entry.valid || entry.pixel != pixel) {
    UnpackRow(&block_.colours[0], 1, reinterpret_cast<const std::byte*>(&pixel),
              4, loop_.sourceFormat);
    for (int i = 1; i < 16; ++i) block_.colours[i] = block_.colours[0];
    ConvertBlockPixels(block_.colours, 16, loop_.targetFormat,
                       loop_.sourceFormat, loop_.conversionBits);
    loop_.encoder.encode(entry.bytes, block_, loop_.optionBits);
    entry.pixel = pixel;
    entry.valid = true;
  }
  std::memcpy(out, entry.bytes, 16);
}

void BlockWorker::Enqueue(const std::uint32_t (&pixels)[16],
                          std::uint8_t* out) {
  const int lane = pending_;
  for (int i = 0; i < 16; ++i) staged_[i][lane] = pixels[i];
  destinations_[lane] = out;
  if (++pending_ == kBatchLanes) EncodeBatch();
}

void BlockWorker::EncodeBatch() {
  UnpackBgraBatch(staged_, batch_);
  loop_.tuning.batchKernel(batch_, destinations_);
  pending_ = 0;
}

void BlockWorker::Flush() {
  if (pending_ == 0) return;
  // The unused lanes hold earlier blocks' pixels; their bytes go nowhere.
  for (int lane = pending_; lane < kBatchLanes; ++lane)
    destinations_[lane] = spare_[lane];
  EncodeBatch();
}

HRESULT RunParallelLoop(const BlockLoop& loop) {
  // Workers only ever set the flag; it is read once after the join.
  std::atomic<bool> failed{false};
  const std::int64_t groups = static_cast<std::int64_t>(
      (loop.blockCount + kBlocksPerGroup - 1) / kBlocksPerGroup);
#pragma omp parallel
  {
    BlockWorker worker(loop);
#pragma omp for schedule(static) nowait
    for (std::int64_t g = 0; g < groups; ++g) {
      std::uint64_t first = static_cast<std::uint64_t>(g) * kBlocksPerGroup;
      std::uint64_t last = std::min(first + kBlocksPerGroup, loop.blockCount);
      if (!worker.Run(first, last, false))
        failed.store(true, std::memory_order_relaxed);
    }
    worker.Flush();
  }
  return failed.load() ? kEFail : common::kSOk;
}

HRESULT RunSerialLoop(const BlockLoop& loop) {
  BlockWorker worker(loop);
  if (!worker.Run(0, loop.blockCount, true)) return kEFail;
  worker.Flush();
  return common::kSOk;
}

// The steps shared by both loops before the first block.
HRESULT SetUpLoop(const ImageView& source, const ImageView& image,
                  std::uint32_t flags, const CompressTuning& tuning,
                  BlockLoop& loop) {
  if (!source.pixels || !image.pixels) return kEPointer;
  std::uint32_t bits = FormatBits(source.format);
  if (bits == 0) return kEFail;
  if (bits < 8) return kNotSupported;
  std::optional<BlockEncoderChoice> encoder = SelectBlockEncoder(image.format);
  if (!encoder) return kNotSupported;

  loop.source = source.pixels;
  loop.sourceSize = source.slicePitch;
  loop.rowPitch = source.rowPitch;
  loop.width = source.width;
  loop.height = source.height;
  loop.sourceFormat = source.format;
  loop.targetFormat = image.format;
  loop.bytesPerPixel = (bits + 7) / 8;
  loop.output = reinterpret_cast<std::uint8_t*>(image.pixels);
  loop.blocksPerRow = std::max<std::uint64_t>(1, (source.width + 3ull) / 4);
  loop.blockCount = loop.blocksPerRow *
                    std::max<std::uint64_t>(1, (source.height + 3ull) / 4);
  loop.encoder = *encoder;
  loop.optionBits = flags & kEncoderOptionMask;
  loop.conversionBits = encoder->conversionBits | (flags & kColourSpaceMask);
  // ConvertBlockPixels changes nothing for any bits on this path.
  loop.directBgra = source.format == DXGI_FORMAT_B8G8R8A8_UNORM &&
                    encoder->encode == &EncodeBC3Block;
  loop.tuning = tuning;
  if (!loop.directBgra) loop.tuning.batchKernel = nullptr;
  return common::kSOk;
}

}  // namespace

HRESULT CompressBlockRows(const ImageView& source, const ImageView& image,
                          std::uint32_t firstRow, std::uint32_t lastRow,
                          const CompressTuning& tuning) {
  if (image.width != source.width || image.height != source.height)
    return kEInvalidArg;
  BlockLoop loop;
  HRESULT hr = SetUpLoop(source, image, 0, tuning, loop);
  if (common::Failed(hr)) return hr;
  const std::uint64_t rows = loop.blockCount / loop.blocksPerRow;
  if (firstRow > lastRow || lastRow > rows) return kEInvalidArg;
  BlockWorker worker(loop);
  if (!worker.Run(firstRow * loop.blocksPerRow, lastRow * loop.blocksPerRow,
                  true))
    return kEFail;
  worker.Flush();
  return common::kSOk;
}

CompressTuning DefaultCompressTuning() {
  return {SelectBc3BatchKernel(), true};
}

HRESULT CompressImage(const ImageView& source, std::uint32_t targetFormat,
                      std::uint32_t flags, float alphaThreshold,
                      CompressedImage& result) {
  return CompressImageTuned(source, targetFormat, flags, alphaThreshold, result,
                            DefaultCompressTuning());
}

HRESULT CompressImageTuned(const ImageView& source, std::uint32_t targetFormat,
                           std::uint32_t flags, float /*alphaThreshold*/,
                           CompressedImage& result,
                           const CompressTuning& tuning) {
  if (IsBlockCompressed(source.format)) return kEInvalidArg;
  if (!IsBlockCompressed(targetFormat)) return kEInvalidArg;
  if (IsTypeless(targetFormat) || IsTypeless(source.format) ||
      IsPlanar(source.format) || IsPalettized(source.format))
    return kNotSupported;

  HRESULT hr = result.Allocate2D(targetFormat, source.width, source.height);
  if (common::Failed(hr)) return hr;
  const ImageView* image = result.ImageAt(0, 0, 0);
  if (!image) {
    result.Clear();
    return kEPointer;
  }
  BlockLoop loop;
  hr = SetUpLoop(source, *image, flags, tuning, loop);
  if (common::Succeeded(hr)) {
    hr = (flags & CompressParallel) ? RunParallelLoop(loop)
                                    : RunSerialLoop(loop);
  }
  if (common::Failed(hr)) result.Clear();
  return hr;
}

}  // namespace texture
