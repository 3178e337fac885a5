#include "resource/layout.h"

#include <algorithm>
#include <bit>

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

PageDeclaration CountPages(const std::vector<std::uint32_t>& sizes) {
  // Pages are powers of two: the first holds the largest block (at least
  // 4096 bytes); later blocks share the current page while they fit, or
  // open a page of the smallest power of two (from 1 << B) that holds them.
  // Counts of pages below 16 << B carry upward in pairs. Sizes are rounded to
  // 16 as the writer places them, so the declared size always covers what
  // is written.
  std::uint64_t first = sizes.empty() ? 0 : RoundUp16(sizes.front());
  THROW_HR_IF(common::kENotImpl, first > 0xFFFFFFF0u);
  std::uint32_t s0 = static_cast<std::uint32_t>(first);
  std::uint32_t topBits = Bits(s0 > 0 ? s0 - 1 : 0);
  std::uint32_t b = topBits < 12 ? 8 : topBits - 4;
  std::uint32_t counts[5] = {0, 0, 0, 0, 1};
  std::uint64_t free = (std::uint64_t{16} << b) - s0;
  for (std::size_t i = 1; i < sizes.size(); ++i) {
    std::uint64_t s = RoundUp16(sizes[i]);
    if (s <= free) {
      free -= s;
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
    free = (std::uint64_t{1} << (b + k)) - s;
  }
  // The shift has four bits and the count of full pages seven.
  THROW_HR_IF(common::kENotImpl, b - 8 > 15 || counts[4] >= 128);
  return {counts[0] | (counts[1] << 1) | (counts[2] << 2) | (counts[3] << 3) |
              (counts[4] << 4),
          b - 8};
}

}  // namespace

std::uint32_t PhysicalPageFlags(const std::vector<std::uint32_t>& sizes) {
  PageDeclaration pages = CountPages(sizes);
  return (pages.count << 15) | (pages.shift << 26);
}

std::uint32_t VirtualPageFlags(std::vector<std::uint32_t> sizes) {
  std::uint64_t total = 0;
  for (std::uint32_t size : sizes) total += RoundUp16(size);
  // Every dictionary we know of fits one 4096-byte segment; keep exactly
  // the word such files have always been written with.
  if (total <= kVirtualSegmentBytes) return 0x10u;
  // Pages are counted largest first, wherever the root is placed.
  std::stable_sort(sizes.begin(), sizes.end(), std::greater<>());
  PageDeclaration pages = CountPages(sizes);
  return pages.count | (pages.shift << 11);
}

std::uint32_t ComputeLayout(BlockList& blocks) {
  auto& v = blocks.virtualBlocks;
  auto& p = blocks.physicalBlocks;
  if (v.size() > 1) SortLargestFirst(v.begin() + 1, v.end());
  SortLargestFirst(p.begin(), p.end());

  // Check both segments before any slot is rewritten.
  std::uint64_t virtualTotal = 0;
  std::vector<std::uint32_t> virtualSizes;
  virtualSizes.reserve(v.size());
  for (const ResourceBlock& block : v) {
    virtualTotal += RoundUp16(block.size);
    virtualSizes.push_back(block.size);
  }
  THROW_HR_IF(common::kENotImpl, virtualTotal > 0x0FFFFFFFu);
  std::uint32_t virtualFlags = VirtualPageFlags(std::move(virtualSizes));
  std::vector<std::uint32_t> sizes;
  sizes.reserve(p.size());
  for (const ResourceBlock& block : p) sizes.push_back(block.size);
  std::uint32_t physicalFlags = PhysicalPageFlags(sizes);
  std::uint64_t physicalTotal = 0;
  for (std::uint32_t size : sizes) physicalTotal += RoundUp16(size);
  THROW_HR_IF(common::kENotImpl, physicalTotal > 0x0FFFFFFFu);

  std::uint64_t offset = 0;
  for (ResourceBlock& block : v) {
    if (block.slot)
      Write32(block.slot,
              MakePointer(kVirtualTag, static_cast<std::uint32_t>(offset)));
    offset += RoundUp16(block.size);
  }
  offset = 0;
  for (ResourceBlock& block : p) {
    Write32(block.slot,
            MakePointer(kPhysicalTag, static_cast<std::uint32_t>(offset)));
    offset += RoundUp16(block.size);
  }
  return virtualFlags | physicalFlags;
}

}  // namespace resource
