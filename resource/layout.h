// Rebuilds a resource's layout from scratch: gathers every block reachable
// from the dictionary root, orders each segment's blocks, gives each a new
// offset, rewrites every pointer to it, and computes the flags word that
// declares the new segment sizes.
#pragma once

#include <cstdint>
#include <optional>

#include "resource/resource_file.h"
#include "resource/resource_pointer.h"

namespace resource {

/// Gathers, in order: the root, its aux block, the key array, the texture
/// pointer array, then each texture's record and name (virtual) and pixel
/// data (physical). Every block must lie wholly inside its segment or host
/// block. Throws E_INVALIDARG for a bad pointer (with an empty table of host
/// blocks, any tag-0xF value), a block that runs past its segment, virtual
/// blocks that share bytes (unless one block is reached twice as the same
/// kind, such as a name two records share), or key and texture counts that
/// differ; 0x800707D0 for an unknown texture format.
BlockList CollectBlocks(const ResourceContext& context);

/// Orders the blocks (root first, then largest first, ties in gathering
/// order), gives each its offset, stores its new pointer in its slot and
/// returns the new flags word without bits 30-31. No block crosses a page
/// of the declared segment or runs past it: a loader that maps a resource
/// page by page finds every block whole. Blocks follow each other end to
/// end, rounded up to 16 bytes, unless that would cross a page; then each
/// starts where the page accounting placed it, leaving gaps. Throws
/// E_NOTIMPL, before any slot is written, when a segment cannot be declared
/// in the flags word.
std::uint32_t ComputeLayout(BlockList& blocks);

/// One page of a declared segment: bytes [start, end).
struct SegmentPage {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
};

/// The page of a segment declared by `count` units of 1 << (shift + 8)
/// bytes that holds `offset`: the full pages of 16 units come first, then
/// one page of 8, 4, 2 and 1 units for each bit set in the low four bits of
/// the count. Nothing when the offset lies past the segment.
std::optional<SegmentPage> PageAt(std::uint32_t count, std::uint32_t shift,
                                  std::uint64_t offset);

/// The virtual part of the flags word for blocks of these sizes, in the
/// order they are placed (root first, then largest first): 0x10 (one
/// 4096-byte segment) when the blocks, each rounded up to 16 bytes, fit it;
/// otherwise pages counted as for the physical segment, so that no block
/// crosses one. Throws E_NOTIMPL when they do not fit the fields.
std::uint32_t VirtualPageFlags(const std::vector<std::uint32_t>& sizes);

/// The physical part of the flags word for blocks of these sizes, largest
/// first. Sizes are counted rounded up to 16 bytes, as they are written.
/// Throws E_NOTIMPL when the page counts do not fit their fields.
std::uint32_t PhysicalPageFlags(const std::vector<std::uint32_t>& sizes);

}  // namespace resource
