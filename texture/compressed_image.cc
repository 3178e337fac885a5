#include <algorithm>
#include <atomic>
#include <new>
#include <utility>

#include "texture/format.h"
#include "texture/image.h"

namespace texture {
namespace {

using common::kArithmeticOverflow;

// The pixel buffer's alignment: vector loads of whole blocks.
constexpr std::align_val_t kAlignment{16};

}  // namespace

bool IsBlockCompressed(std::uint32_t format) {
  return (format >= 70 && format <= 84) || (format >= 94 && format <= 99);
}

HRESULT BlockPitchRule(std::uint32_t format, std::uint32_t width,
                       std::uint32_t height, std::uint32_t& rowPitch,
                       std::uint32_t& slicePitch) {
  std::uint64_t w = width, h = height, row, slice;
  if (IsBlockCompressed(format)) {
    std::uint64_t blockBytes = BlockBytes(format);
    std::uint64_t bw = std::max<std::uint64_t>(1, (w + 3) / 4);
    std::uint64_t bh = std::max<std::uint64_t>(1, (h + 3) / 4);
    row = bw * blockBytes;
    slice = row * bh;
  } else {
    std::uint64_t bits = FormatBits(format);
    row = (w * bits + 7) / 8;
    slice = row * h;
  }
  if (row > 0xFFFFFFFFu || slice > 0xFFFFFFFFu) {
    rowPitch = slicePitch = 0;
    return kArithmeticOverflow;
  }
  rowPitch = static_cast<std::uint32_t>(row);
  slicePitch = static_cast<std::uint32_t>(slice);
  return common::kSOk;
}

CompressedImage::CompressedImage(CompressedImage&& other) noexcept
    : imageCount_(std::exchange(other.imageCount_, 0)),
      byteSize_(std::exchange(other.byteSize_, 0)),
      info_(std::exchange(other.info_, ImageInfo{})),
      image_(std::exchange(other.image_, ImageView{})),
      memory_(std::exchange(other.memory_, nullptr)),
      serial_(std::exchange(other.serial_, 0)) {}

CompressedImage& CompressedImage::operator=(CompressedImage&& other) noexcept {
  if (this != &other) {
    Clear();
    imageCount_ = std::exchange(other.imageCount_, 0);
    byteSize_ = std::exchange(other.byteSize_, 0);
    info_ = std::exchange(other.info_, ImageInfo{});
    image_ = std::exchange(other.image_, ImageView{});
    memory_ = std::exchange(other.memory_, nullptr);
    serial_ = std::exchange(other.serial_, 0);
  }
  return *this;
}

void CompressedImage::Clear() noexcept {
  imageCount_ = 0;
  byteSize_ = 0;
  image_ = ImageView{};
  if (memory_) ::operator delete(memory_, kAlignment);
  memory_ = nullptr;
  serial_ = 0;
  info_ = ImageInfo{};
}

// Failures: E_INVALIDARG for a bad format code or a zero size; 0x80070032
// for a palettized format; 0x80070216 when the image does not fit in 32
// bits (info is set by then); E_OUTOFMEMORY.
HRESULT CompressedImage::Allocate2D(std::uint32_t format, std::uint32_t width,
                                    std::uint32_t height) {
  if (format < 1 || format > 190 || width == 0 || height == 0)
    return common::kEInvalidArg;
  if (IsPalettized(format)) return common::kNotSupported;

  Clear();
  info_ = {width, height, 1, 1, 1, 0, 0, format, 3};
  ImageView view{width, height, format};
  HRESULT hr =
      BlockPitchRule(format, width, height, view.rowPitch, view.slicePitch);
  if (common::Failed(hr)) return hr;

  // Not zero-filled: the compressor writes every byte.
  memory_ = static_cast<std::byte*>(::operator new(
      view.slicePitch ? view.slicePitch : 16, kAlignment, std::nothrow));
  if (!memory_) {
    Clear();
    return common::kEOutOfMemory;
  }
  view.pixels = memory_;
  image_ = view;
  imageCount_ = 1;
  byteSize_ = view.slicePitch;
  static std::atomic<std::uint64_t> lastSerial{0};
  serial_ = ++lastSerial;
  return common::kSOk;
}

const ImageView* CompressedImage::ImageAt(std::uint32_t mipLevel,
                                          std::uint32_t item,
                                          std::uint32_t slice) const {
  if (imageCount_ == 0 || mipLevel != 0 || item != 0 || slice != 0)
    return nullptr;
  return &image_;
}

}  // namespace texture
