// The compressed resource container: a 12-byte header and one zlib stream
// whose expansion is the virtual segment followed by the physical segment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "common/file_system.h"

namespace resource {

inline constexpr std::uint32_t kRscMagic = 0x05435352;  // "RSC" 5
inline constexpr std::uint32_t kRscVersion = 8;
/// Bits 30 and 31 of `flags` are not ours: they travel from the loaded file
/// into the written one.
inline constexpr std::uint32_t kCarriedFlagBits = 0xC0000000u;

/// The most the two segments of a resource may declare together. The game's
/// fonts.wtd holds about 6 MiB, and the font texture adds 16 MiB; a header
/// that declares far more is no texture dictionary of this game, and taking
/// it at its word would cost gigabytes of memory and seconds of inflating.
inline constexpr std::uint32_t kMaxDeclaredBytes = 256u << 20;  // 256 MiB

struct RscHeader {
  std::uint32_t magic = kRscMagic;
  std::uint32_t version = kRscVersion;
  std::uint32_t flags = 0;
};

struct SegmentSizes {
  std::uint32_t virtualSize = 0;
  std::uint32_t physicalSize = 0;
};

/// Decodes the segment sizes from `flags`. A virtual or physical size, or a
/// sum of the two, that does not fit in 32 bits throws E_INVALIDARG: such a
/// header is malformed, and refusing it keeps every later size in range.
SegmentSizes DecodeSegmentSizes(std::uint32_t flags);

/// A zero-filled heap buffer. calloc hands out untouched zero pages, so a
/// large declared size costs nothing until the stream fills it.
class ZeroedBuffer {
 public:
  ZeroedBuffer() = default;
  /// Throws E_OUTOFMEMORY when the allocation fails.
  explicit ZeroedBuffer(std::size_t size);
  std::byte* data() const { return data_.get(); }
  std::size_t size() const { return size_; }

 private:
  struct Free {
    void operator()(std::byte* p) const;
  };
  std::unique_ptr<std::byte, Free> data_;
  std::size_t size_ = 0;
};

/// An expanded resource: the header and one zero-filled body of
/// virtualSize + physicalSize bytes.
struct ResourceFile {
  RscHeader header;
  SegmentSizes sizes;
  ZeroedBuffer body;

  std::byte* virtualBase() const { return body.data(); }
  std::byte* physicalBase() const { return body.data() + sizes.virtualSize; }
};

/// One contiguous block of segment content: where its bytes are, how many,
/// the pointer slot that refers to it (none for the dictionary root), and
/// its place in its segment as the layout set it. A block is written at its
/// offset when that lies past the end of the block before it (the layout
/// leaves such gaps so that no block crosses a page), else right after it.
struct ResourceBlock {
  const std::byte* data = nullptr;
  std::uint32_t size = 0;
  std::byte* slot = nullptr;
  std::uint32_t offset = 0;
};

struct BlockList {
  std::vector<ResourceBlock> virtualBlocks;
  std::vector<ResourceBlock> physicalBlocks;
};

/// Reads the header and inflates the stream that follows into a new body.
/// Throws: the OS error of a failed read; 0x80070026 for a short header or a
/// stream that ends (or never ends) before the file does; E_INVALIDARG for a
/// wrong magic, a version other than 8 or impossible sizes; 0x800700DF
/// (ERROR_FILE_TOO_LARGE) for segments that declare more than
/// kMaxDeclaredBytes, before anything is allocated; E_FAIL if zlib cannot
/// start.
ResourceFile LoadResource(common::InputFile& file);

/// Writes header and blocks as one level-9 zlib stream fed in order, as
/// plainly as it gets: the reference that the generation's writer
/// (FontTexturePipeline) is tested against. The written flags are
/// layoutFlags with bits 30-31 of header.flags. Each block is written at
/// its place, padded with 0xCD to a multiple of 16 bytes, the gaps before
/// blocks and the rest of the virtual segment filled with 0xCD too.
/// Throws the OS error of a failed write, 0x80070027 for a short one, E_FAIL
/// for a zlib failure.
void SaveResource(common::OutputFile& file, const RscHeader& header,
                  std::uint32_t layoutFlags, const BlockList& blocks);

/// Appends the blocks of one segment to `out` as SaveResource places them:
/// fill bytes (0xCD) up to each block's start, its bytes, and fill to a
/// multiple of 16. `position` is where the segment stands before the first
/// of them, and after the last when this returns.
void AppendSegment(std::vector<std::byte>& out,
                   std::span<const ResourceBlock> blocks,
                   std::uint32_t& position);

/// The fill byte of padding and gaps.
inline constexpr std::byte kFillByte{0xCD};

}  // namespace resource
