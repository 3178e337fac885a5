// Keeps the compressed form of the font texture for the rest of one
// generation, so that the three variants' files deflate it once instead of
// three times.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "texture/image.h"

namespace resource {

class DeflatedBlockCache {
 public:
  /// The raw deflate bytes of one block, and the Adler-32 of the block.
  struct Entry {
    std::vector<std::byte> compressed;
    std::uint32_t adler = 0;
  };

  /// Serves only the pixel buffer of this image, and only while the image
  /// still holds the allocation it had here. Must not outlive the image.
  explicit DeflatedBlockCache(const texture::CompressedImage& image)
      : image_(image), memory_(image.memory()), serial_(image.serial()) {}

  /// True when the block is the image's pixel buffer, which may be cached.
  bool Covers(const std::byte* data, std::size_t size) const {
    return data != nullptr && data == image_.memory() && data == memory_ &&
           size == image_.byteSize() && image_.serial() == serial_;
  }
  const Entry* Find(const std::byte* data, std::size_t size) const {
    return Covers(data, size) && entry_ ? &*entry_ : nullptr;
  }
  void Store(const std::byte* data, std::size_t size, Entry entry) {
    if (Covers(data, size)) entry_ = std::move(entry);
  }
  /// How often Find was answered from the cache.
  int hits = 0;

 private:
  const texture::CompressedImage& image_;
  const std::byte* memory_;
  std::uint64_t serial_;
  std::optional<Entry> entry_;
};

}  // namespace resource
