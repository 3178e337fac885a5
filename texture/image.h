// Image descriptions shared by the compressor and the resource writer:
// DXGI format codes, ImageView, ImageInfo, the owning CompressedImage and the
// pitch rule that sizes an image of a given format.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/hresult.h"

namespace texture {

// Published DXGI format codes.
inline constexpr std::uint32_t DXGI_FORMAT_BC1_UNORM = 71;
inline constexpr std::uint32_t DXGI_FORMAT_BC2_UNORM = 74;
inline constexpr std::uint32_t DXGI_FORMAT_BC3_UNORM = 77;
inline constexpr std::uint32_t DXGI_FORMAT_B8G8R8A8_UNORM = 87;

/// One image; does not own its pixels.
struct ImageView {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t format = 0;
  /// Bytes from one row to the next; for block formats, one row of blocks.
  std::uint32_t rowPitch = 0;
  std::uint32_t slicePitch = 0;
  std::byte* pixels = nullptr;
};

/// The whole texture a CompressedImage holds.
struct ImageInfo {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t depth = 0;
  std::uint32_t arrayCount = 0;
  std::uint32_t mipCount = 0;
  std::uint32_t extraFlags = 0;
  std::uint32_t extraFlags2 = 0;
  std::uint32_t format = 0;
  std::uint32_t dimension = 0;
};

/// Owns a compressed texture: its image record and one 16-byte aligned
/// pixel buffer. Either empty (all zero, nothing allocated) or allocated.
/// Large, so it is moved, never copied.
class CompressedImage {
 public:
  CompressedImage() = default;
  CompressedImage(CompressedImage&& other) noexcept;
  CompressedImage& operator=(CompressedImage&& other) noexcept;
  CompressedImage(const CompressedImage&) = delete;
  CompressedImage& operator=(const CompressedImage&) = delete;
  ~CompressedImage() { Clear(); }

  /// Sizes and allocates a two-dimensional texture of one image (one mip
  /// level, no array), which is all the compressor makes. Returns an
  /// HRESULT; see the failure codes in the .cc file.
  HRESULT Allocate2D(std::uint32_t format, std::uint32_t width,
                     std::uint32_t height);
  /// The record of one mip level of one array item: the image at (0, 0, 0),
  /// null anywhere else or while empty.
  const ImageView* ImageAt(std::uint32_t mipLevel, std::uint32_t item,
                           std::uint32_t slice) const;
  /// Frees everything and zeroes every field.
  void Clear() noexcept;

  std::uint32_t imageCount() const { return imageCount_; }
  std::size_t byteSize() const { return byteSize_; }
  const ImageInfo& info() const { return info_; }
  std::byte* memory() const { return memory_; }
  /// Tells allocations apart: every Allocate2D gets a new number, never
  /// reused in the process; 0 while empty. Caches of derived data use it to
  /// know they still describe this buffer.
  std::uint64_t serial() const { return serial_; }

 private:
  std::uint32_t imageCount_ = 0;
  std::size_t byteSize_ = 0;
  ImageInfo info_{};
  ImageView image_{};
  std::byte* memory_ = nullptr;
  std::uint64_t serial_ = 0;
};

/// Row pitch and slice pitch of an image of `format` (71, 74, 77 or 87) and
/// the given size. Returns 0x80070216 with both outputs 0 when either does
/// not fit in 32 bits.
HRESULT BlockPitchRule(std::uint32_t format, std::uint32_t width,
                       std::uint32_t height, std::uint32_t& rowPitch,
                       std::uint32_t& slicePitch);

/// True for the block-compressed DXGI codes (70 to 84 and 94 to 99).
bool IsBlockCompressed(std::uint32_t format);

}  // namespace texture
