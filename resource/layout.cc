#include "resource/layout.h"

#include <algorithm>
#include <bit>
#include <optional>

#include "common/result.h"
#include "resource/bytes.h"
#include "resource/texture_dictionary.h"

namespace resource {
namespace {

constexpr std::uint32_t kVirtualSegmentBytes = 4096;

std::uint64_t RoundUp16(std::uint64_t size) { return (size + 15) & ~15ull; }

// Number of significant bits; bits(0) = 0.
std::uint32_t Bits(std::uint32_t x) {
  return static_cast<std::uint32_t>(std::bit_width(x));
}

// An array of 32-bit elements described by a ResourceArray field.
ResourceBlock GatherArray(const ResourceContext& context, std::byte* field) {
  std::uint32_t count = Read16(field + kArrayCountOffset);
  std::byte* data = context.ResolveBlock(field, Pointee::ArrayElement,
                                         std::uint64_t{count} * 4);
  return {data, count * 4, field};
}

void SortLargestFirst(std::vector<ResourceBlock>::iterator first,
                      std::vector<ResourceBlock>::iterator last) {
  std::stable_sort(first, last,
                   [](const ResourceBlock& a, const ResourceBlock& b) {
                     return a.size > b.size;
                   });
}

// What a virtual block is gathered as. The same bytes may be reached twice
// only as the same kind of block: a name that is another record's 80 bytes
// would change with that record's rewritten pointers.
enum class BlockKind { Root, AuxBlock, Keys, Textures, Record, Name };

// The layout rewrites pointer slots inside gathered blocks and writes each
// block on its own, so two blocks that share bytes would carry each other's
// rewritten pointers (a name running into a record changes that record's
// texture in the written file). The same block reached twice, such as a
// name two records share, is fine: it is written twice, unchanged.
void RefuseOverlaps(const std::vector<ResourceBlock>& blocks,
                    const std::vector<BlockKind>& kinds) {
  struct Range {
    std::uintptr_t start;
    std::uint32_t size;
    BlockKind kind;
    auto operator<=>(const Range&) const = default;
  };
  std::vector<Range> ranges;
  ranges.reserve(blocks.size());
  for (std::size_t i = 0; i < blocks.size(); ++i)
    if (blocks[i].size > 0)
      ranges.push_back({reinterpret_cast<std::uintptr_t>(blocks[i].data),
                        blocks[i].size, kinds[i]});
  std::sort(ranges.begin(), ranges.end());
  for (std::size_t i = 1; i < ranges.size(); ++i) {
    if (ranges[i] == ranges[i - 1]) continue;
    THROW_HR_IF(common::kEInvalidArg,
                ranges[i - 1].start + ranges[i - 1].size > ranges[i].start);
  }
}

}  // namespace

BlockList CollectBlocks(const ResourceContext& context) {
  THROW_HR_IF(common::kEInvalidArg, context.virtualSize() < kRootSize);
  BlockList list;
  auto& v = list.virtualBlocks;
  std::vector<BlockKind> kinds;
  auto add = [&](const ResourceBlock& block, BlockKind kind) {
    v.push_back(block);
    kinds.push_back(kind);
  };
  std::byte* root = context.virtualBase();
  add({root, kRootSize, nullptr}, BlockKind::Root);

  std::byte* auxSlot = root + kRootAuxBlockOffset;
  add({context.ResolvePointer(auxSlot, Pointee::RootAuxBlock),
       kRootAuxBlockSize, auxSlot},
      BlockKind::AuxBlock);

  ResourceBlock keys = GatherArray(context, root + kRootKeysOffset);
  ResourceBlock textures = GatherArray(context, root + kRootTexturesOffset);
  // The arrays are parallel; a count mismatch would pair keys with the wrong
  // records and corrupt any edit.
  THROW_HR_IF(common::kEInvalidArg, keys.size != textures.size);
  add(keys, BlockKind::Keys);
  add(textures, BlockKind::Textures);

  std::byte* elements = const_cast<std::byte*>(textures.data);
  for (std::uint32_t i = 0; i < textures.size / 4; ++i) {
    std::byte* recordSlot = elements + 4 * i;
    std::byte* record =
        context.ResolveBlock(recordSlot, Pointee::TextureRecord, kRecordSize);
    add({record, kRecordSize, recordSlot}, BlockKind::Record);

    std::byte* nameSlot = record + kRecordNameOffset;
    std::byte* name;
    std::uint32_t nameLength = context.ResolveName(nameSlot, &name);
    add({name, nameLength, nameSlot}, BlockKind::Name);

    std::uint32_t size = PixelDataSize(
        Read32(record + kRecordFormatOffset),
        Read16(record + kRecordWidthOffset),
        Read16(record + kRecordHeightOffset),
        std::to_integer<std::uint32_t>(record[kRecordMipLevelsOffset]));
    std::byte* pixelSlot = record + kRecordPixelsOffset;
    std::byte* pixels =
        context.ResolveBlock(pixelSlot, Pointee::PixelData, size);
    list.physicalBlocks.push_back({pixels, size, pixelSlot});
  }
  RefuseOverlaps(v, kinds);
  return list;
}

namespace {

// A segment's size as the flags word declares it: a count of units and the
// shift of the unit (1 << (shift + 8) bytes).
struct PageDeclaration {
  std::uint32_t count = 0;
  std::uint32_t shift = 0;
};

// A segment laid out: its declaration and each block's offset.
struct SegmentLayout {
  PageDeclaration pages;
  std::vector<std::uint64_t> offsets;
};

// The page accounting, over blocks in the order given. Pages are powers of
// two: the first is 16 << B bytes, the smallest power of two that holds the
// largest block, but at least 4096. A block shares the current page while
// it fits; otherwise it opens a page of the smallest power of two (from
// 1 << B) that holds it, and what was left of the previous page is given
// up. Counts of pages below 16 << B carry upward in pairs. Sizes are
// rounded to 16 as the writer places them, so the declared size always
// covers what is written; given largest first, the pages open in
// non-increasing sizes, each aligned to its own size.
//
// `offsets` places each block inside the page that the accounting gave it:
// at the start of the page it opened, or after the blocks before it in the
// same page. A page opened this way lies inside one page of the declared
// segment (whose pages are its full pages, then one half, quarter, eighth
// and sixteenth page where declared): an aligned power-of-two range that
// ends within the declared size never straddles two of them.
SegmentLayout CountPages(const std::vector<std::uint32_t>& sizes) {
  std::uint64_t largest = 0;
  for (std::uint32_t size : sizes) largest = std::max(largest, RoundUp16(size));
  THROW_HR_IF(common::kENotImpl, largest > 0xFFFFFFF0u);
  std::uint32_t topBits =
      Bits(largest > 0 ? static_cast<std::uint32_t>(largest - 1) : 0);
  std::uint32_t b = topBits < 12 ? 8 : topBits - 4;
  std::uint32_t counts[5] = {0, 0, 0, 0, 1};
  SegmentLayout layout;
  layout.offsets.reserve(sizes.size());
  std::uint64_t pageStart = 0, pageSize = std::uint64_t{16} << b, used = 0;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    std::uint64_t s = RoundUp16(sizes[i]);
    if (i == 0 || s <= pageSize - used) {
      layout.offsets.push_back(pageStart + used);
      used += s;
      continue;
    }
    std::uint32_t sb = Bits(static_cast<std::uint32_t>(s - 1));
    std::uint32_t k = sb > b ? sb - b : 0;
    ++counts[k];
    for (std::uint32_t j = k; j < 4; ++j) {
      if (counts[j] == 2) {
        counts[j] = 0;
        ++counts[j + 1];
      }
    }
    pageStart += pageSize;
    pageSize = std::uint64_t{1} << (b + k);
    layout.offsets.push_back(pageStart);
    used = s;
  }
  // The shift has four bits and the count of full pages seven.
  THROW_HR_IF(common::kENotImpl, b - 8 > 15 || counts[4] >= 128);
  layout.pages = {counts[0] | (counts[1] << 1) | (counts[2] << 2) |
                      (counts[3] << 3) | (counts[4] << 4),
                  b - 8};
  return layout;
}

// Offsets of blocks laid end to end, each rounded up to 16 bytes.
std::vector<std::uint64_t> EndToEnd(const std::vector<std::uint32_t>& sizes) {
  std::vector<std::uint64_t> offsets;
  offsets.reserve(sizes.size());
  std::uint64_t offset = 0;
  for (std::uint32_t size : sizes) {
    offsets.push_back(offset);
    offset += RoundUp16(size);
  }
  return offsets;
}

// Whether every block lies inside one page of the declared segment and
// inside the segment. Empty blocks occupy nothing.
bool StaysInsidePages(const std::vector<std::uint32_t>& sizes,
                      const std::vector<std::uint64_t>& offsets,
                      PageDeclaration pages) {
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    if (sizes[i] == 0) continue;
    auto page = PageAt(pages.count, pages.shift, offsets[i]);
    if (!page || offsets[i] + RoundUp16(sizes[i]) > page->end) return false;
  }
  return true;
}

// The blocks' offsets and the segment's declaration. Where the blocks laid
// end to end already keep inside their pages (every dictionary that fits
// 4096 bytes, and nearly every other), that is the layout, byte for byte as
// it has always been written. Otherwise each block is placed inside the
// page the accounting gave it, and the space a page gives up stays unused.
// `counted` is the order the pages are counted in, when it is not the order
// of `sizes`.
SegmentLayout LaySegment(const std::vector<std::uint32_t>& sizes,
                         const std::vector<std::uint32_t>& counted) {
  SegmentLayout endToEnd{CountPages(counted).pages, EndToEnd(sizes)};
  if (StaysInsidePages(sizes, endToEnd.offsets, endToEnd.pages))
    return endToEnd;
  return CountPages(sizes);
}

// The virtual segment, its blocks in the order they are placed (the root
// first, at offset 0).
SegmentLayout LayVirtualSegment(const std::vector<std::uint32_t>& sizes) {
  std::uint64_t total = 0;
  for (std::uint32_t size : sizes) total += RoundUp16(size);
  // Every dictionary we know of fits one 4096-byte segment; keep exactly
  // the word such files have always been written with.
  if (total <= kVirtualSegmentBytes) return {{16, 0}, EndToEnd(sizes)};
  // Pages were always counted largest first, the root among the others;
  // where that placement would cross a page, the blocks are counted as they
  // are placed, root first.
  std::vector<std::uint32_t> counted = sizes;
  std::stable_sort(counted.begin(), counted.end(), std::greater<>());
  return LaySegment(sizes, counted);
}

}  // namespace

std::optional<SegmentPage> PageAt(std::uint32_t count, std::uint32_t shift,
                                  std::uint64_t offset) {
  const std::uint64_t unit = std::uint64_t{1} << (shift + 8);
  std::uint64_t start = 0;
  // Full pages of 16 units, then the half, quarter, eighth and sixteenth
  // page that the low four bits of the count declare.
  for (std::uint32_t i = 0; i < count >> 4; ++i, start += 16 * unit)
    if (offset < start + 16 * unit)
      return SegmentPage{start, start + 16 * unit};
  for (std::uint32_t units = 8; units >= 1; units /= 2) {
    if (!(count & units)) continue;
    if (offset < start + units * unit)
      return SegmentPage{start, start + units * unit};
    start += units * unit;
  }
  return std::nullopt;
}

std::uint32_t PhysicalPageFlags(const std::vector<std::uint32_t>& sizes) {
  PageDeclaration pages = CountPages(sizes).pages;
  return (pages.count << 15) | (pages.shift << 26);
}

std::uint32_t VirtualPageFlags(const std::vector<std::uint32_t>& sizes) {
  SegmentLayout layout = LayVirtualSegment(sizes);
  return layout.pages.count | (layout.pages.shift << 11);
}

std::uint32_t ComputeLayout(BlockList& blocks) {
  auto& v = blocks.virtualBlocks;
  auto& p = blocks.physicalBlocks;
  if (v.size() > 1) SortLargestFirst(v.begin() + 1, v.end());
  SortLargestFirst(p.begin(), p.end());

  // Both segments are laid out, and checked, before any slot is rewritten.
  std::vector<std::uint32_t> virtualSizes, physicalSizes;
  for (const ResourceBlock& block : v) virtualSizes.push_back(block.size);
  for (const ResourceBlock& block : p) physicalSizes.push_back(block.size);
  SegmentLayout virtualLayout = LayVirtualSegment(virtualSizes);
  std::uint32_t virtualFlags =
      virtualLayout.pages.count | (virtualLayout.pages.shift << 11);
  SegmentLayout physicalLayout = LaySegment(physicalSizes, physicalSizes);
  std::uint32_t physicalFlags =
      (physicalLayout.pages.count << 15) | (physicalLayout.pages.shift << 26);
  // Offsets travel in the 28 bits of a pointer.
  auto fits = [](const SegmentLayout& layout,
                 const std::vector<std::uint32_t>& sizes) {
    for (std::size_t i = 0; i < sizes.size(); ++i)
      if (layout.offsets[i] + RoundUp16(sizes[i]) > 0x0FFFFFFFu) return false;
    return true;
  };
  THROW_HR_IF(common::kENotImpl, !fits(virtualLayout, virtualSizes) ||
                                     !fits(physicalLayout, physicalSizes));

  for (std::size_t i = 0; i < v.size(); ++i) {
    v[i].offset = static_cast<std::uint32_t>(virtualLayout.offsets[i]);
    if (v[i].slot) Write32(v[i].slot, MakePointer(kVirtualTag, v[i].offset));
  }
  for (std::size_t i = 0; i < p.size(); ++i) {
    p[i].offset = static_cast<std::uint32_t>(physicalLayout.offsets[i]);
    Write32(p[i].slot, MakePointer(kPhysicalTag, p[i].offset));
  }
  return virtualFlags | physicalFlags;
}

}  // namespace resource
