#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <utility>

#include "texture/format.h"
#include "texture/image.h"

namespace texture {
namespace {

using common::kArithmeticOverflow;

void* AlignedAlloc(std::size_t size) noexcept {
#if defined(_WIN32)
  return _aligned_malloc(size, 16);
#else
  return std::aligned_alloc(16, (size + 15) & ~std::size_t{15});
#endif
}

void AlignedFree(void* p) noexcept {
#if defined(_WIN32)
  _aligned_free(p);
#else
  std::free(p);
#endif
}

// Levels of the full mip chain: one more than the number of times the larger
// side halves down to 1.
std::uint32_t FullChainLength(std::uint32_t width, std::uint32_t height) {
  std::uint32_t side = width > height ? width : height;
  std::uint32_t levels = 1;
  while (side > 1) {
    side >>= 1;
    ++levels;
  }
  return levels;
}

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
      images_(std::exchange(other.images_, nullptr)),
      memory_(std::exchange(other.memory_, nullptr)),
      serial_(std::exchange(other.serial_, 0)) {}

CompressedImage& CompressedImage::operator=(CompressedImage&& other) noexcept {
  if (this != &other) {
    Clear();
    imageCount_ = std::exchange(other.imageCount_, 0);
    byteSize_ = std::exchange(other.byteSize_, 0);
    info_ = std::exchange(other.info_, ImageInfo{});
    images_ = std::exchange(other.images_, nullptr);
    memory_ = std::exchange(other.memory_, nullptr);
    serial_ = std::exchange(other.serial_, 0);
  }
  return *this;
}

void CompressedImage::Clear() noexcept {
  imageCount_ = 0;
  byteSize_ = 0;
  delete[] images_;
  images_ = nullptr;
  AlignedFree(memory_);
  memory_ = nullptr;
  serial_ = 0;
  info_ = ImageInfo{};
}

// Failures: E_INVALIDARG for a bad format code, a zero size or too many
// levels; 0x80070032 for a palettized format; 0x80070216 when the total does
// not fit in 32 bits; E_OUTOFMEMORY; E_FAIL if a record would end past the
// buffer.
HRESULT CompressedImage::Allocate2D(std::uint32_t format, std::uint32_t width,
                                    std::uint32_t height,
                                    std::uint32_t arrayCount,
                                    std::uint32_t mipCount) {
  if (format < 1 || format > 190 || width == 0 || height == 0 ||
      arrayCount == 0)
    return common::kEInvalidArg;
  if (IsPalettized(format)) return common::kNotSupported;
  std::uint32_t fullChain = FullChainLength(width, height);
  if (mipCount == 0) mipCount = fullChain;
  if (mipCount > fullChain) return common::kEInvalidArg;

  Clear();
  info_ = {width, height, 1, arrayCount, mipCount, 0, 0, format, 3};

  std::uint64_t total = 0;
  for (std::uint32_t item = 0; item < arrayCount; ++item) {
    std::uint32_t w = width, h = height;
    for (std::uint32_t level = 0; level < mipCount; ++level) {
      std::uint32_t row, slice;
      HRESULT hr = BlockPitchRule(format, w, h, row, slice);
      if (common::Failed(hr)) return hr;
      total += slice;
      if (total > 0xFFFFFFFFu) return kArithmeticOverflow;
      w = w > 1 ? w >> 1 : 1;
      h = h > 1 ? h >> 1 : 1;
    }
  }
  std::uint64_t count = std::uint64_t{arrayCount} * mipCount;
  if (count > 0xFFFFFFFFu) return kArithmeticOverflow;

  images_ = new (std::nothrow) ImageView[count]();
  if (!images_) return common::kEOutOfMemory;
  memory_ = static_cast<std::byte*>(AlignedAlloc(total ? total : 16));
  if (!memory_) {
    Clear();
    return common::kEOutOfMemory;
  }
  imageCount_ = static_cast<std::uint32_t>(count);
  byteSize_ = static_cast<std::size_t>(total);
  static std::atomic<std::uint64_t> lastSerial{0};
  serial_ = ++lastSerial;

  std::uint64_t offset = 0;
  std::size_t index = 0;
  for (std::uint32_t item = 0; item < arrayCount; ++item) {
    std::uint32_t w = width, h = height;
    for (std::uint32_t level = 0; level < mipCount; ++level) {
      ImageView& view = images_[index++];
      view.width = w;
      view.height = h;
      view.format = format;
      BlockPitchRule(format, w, h, view.rowPitch, view.slicePitch);
      view.pixels = memory_ + offset;
      offset += view.slicePitch;
      if (offset > total) {
        Clear();
        return common::kEFail;
      }
      w = w > 1 ? w >> 1 : 1;
      h = h > 1 ? h >> 1 : 1;
    }
  }
  return common::kSOk;
}

const ImageView* CompressedImage::ImageAt(std::uint32_t mipLevel,
                                          std::uint32_t item,
                                          std::uint32_t slice) const {
  if (!images_ || mipLevel >= info_.mipCount || slice != 0 ||
      item >= info_.arrayCount)
    return nullptr;
  return &images_[mipLevel + item * info_.mipCount];
}

}  // namespace texture
