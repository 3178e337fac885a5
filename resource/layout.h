// Rebuilds a resource's layout from scratch: gathers every block reachable
// from the dictionary root, orders each segment's blocks, gives each a new
// offset, rewrites every pointer to it, and computes the flags word that
// declares the new segment sizes.
#pragma once

#include <cstdint>

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
/// order), stores each block's new pointer in its slot and returns the new
/// flags word without bits 30-31. Throws E_NOTIMPL, before any slot is
/// written, when a segment cannot be declared in the flags word.
std::uint32_t ComputeLayout(BlockList& blocks);

/// The virtual part of the flags word: 0x10 (one 4096-byte segment) when
/// the blocks, each rounded up to 16 bytes, fit it; otherwise pages counted
/// as for the physical segment. Throws E_NOTIMPL when they do not fit the
/// fields.
std::uint32_t VirtualPageFlags(std::vector<std::uint32_t> sizes);

/// The physical part of the flags word for blocks of these sizes, largest
/// first. Sizes are counted rounded up to 16 bytes, as they are written.
/// Throws E_NOTIMPL when the page counts do not fit their fields.
std::uint32_t PhysicalPageFlags(const std::vector<std::uint32_t>& sizes);

}  // namespace resource
