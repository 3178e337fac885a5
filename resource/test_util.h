// Helpers for the resource tests: independent inflation of written files and
// loading from byte vectors.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/memory_file_system.h"
#include "common/result.h"
#include "resource/layout.h"
#include "resource/resource_file.h"
#include "resource/resource_pointer.h"
#include "testing/code_of.h"
#include "texture/image.h"

namespace resource::test {

using Bytes = std::vector<std::byte>;

/// Inflates the zlib stream after the 12-byte header with plain zlib.
inline Bytes InflateBody(const Bytes& file) {
  z_stream s{};
  EXPECT_EQ(inflateInit(&s), Z_OK);
  s.next_in =
      const_cast<Bytef*>(reinterpret_cast<const Bytef*>(file.data() + 12));
  s.avail_in = static_cast<uInt>(file.size() - 12);
  Bytes out;
  std::byte chunk[65536];
  int result;
  do {
    s.next_out = reinterpret_cast<Bytef*>(chunk);
    s.avail_out = sizeof chunk;
    result = inflate(&s, Z_NO_FLUSH);
    out.insert(out.end(), chunk, chunk + (sizeof chunk - s.avail_out));
  } while (result == Z_OK);
  EXPECT_EQ(result, Z_STREAM_END);
  inflateEnd(&s);
  return out;
}

/// The file's header (its first 12 bytes) with body compressed after it.
inline Bytes Recompressed(const Bytes& header, const Bytes& body) {
  uLongf size = compressBound(static_cast<uLong>(body.size()));
  Bytes file(header.begin(), header.begin() + 12);
  file.resize(12 + size);
  compress2(reinterpret_cast<Bytef*>(file.data() + 12), &size,
            reinterpret_cast<const Bytef*>(body.data()),
            static_cast<uLong>(body.size()), 1);
  file.resize(12 + size);
  return file;
}

inline std::uint32_t FlagsOf(const Bytes& file) {
  std::uint32_t flags;
  std::memcpy(&flags, file.data() + 8, 4);
  return flags;
}

inline ResourceFile LoadBytes(const Bytes& bytes) {
  common::MemoryFileSystem fs;
  fs.Put("f", bytes);
  return LoadResource(*fs.OpenForRead("f"));
}

/// How the blocks of a written file lie in the pages its flags declare.
struct PageReport {
  /// Blocks that cross a page boundary or run past the declared segment.
  int crossing = 0;
  /// Blocks that do not follow the block before them end to end (each
  /// rounded up to 16 bytes): the layout left a gap to keep a page whole.
  int gaps = 0;
  /// Blocks gathered, empty ones included.
  int blocks = 0;
};

/// Reads the flags and gathers the blocks of a written file, and checks
/// each block against the pages of its segment: full pages of
/// 16 << (shift + 8) bytes, then one page of half, quarter, eighth and
/// sixteenth that size for each bit set in the low four bits of the count.
inline PageReport CheckPages(const Bytes& file) {
  ResourceFile resource = LoadBytes(file);
  ResourceContext context(resource);
  BlockList blocks = CollectBlocks(context);
  const std::uint32_t flags = resource.header.flags;
  PageReport report;
  auto check = [&](const std::vector<ResourceBlock>& list,
                   const std::byte* base, std::uint32_t count,
                   std::uint32_t shift) {
    std::vector<std::uint64_t> pageEnds;
    const std::uint64_t unit = std::uint64_t{256} << shift;
    std::uint64_t end = 0;
    for (std::uint32_t i = 0; i < count / 16; ++i)
      pageEnds.push_back(end += 16 * unit);
    for (std::uint32_t units : {8u, 4u, 2u, 1u})
      if (count & units) pageEnds.push_back(end += units * unit);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    for (const ResourceBlock& block : list) {
      ++report.blocks;
      if (block.size == 0) continue;
      std::uint64_t start = static_cast<std::uint64_t>(block.data - base);
      ranges.push_back({start, start + ((block.size + 15) & ~15ull)});
    }
    std::sort(ranges.begin(), ranges.end());
    std::uint64_t previousEnd = 0;
    for (auto [start, stop] : ranges) {
      auto page = std::upper_bound(pageEnds.begin(), pageEnds.end(), start);
      if (page == pageEnds.end() || stop > *page) ++report.crossing;
      // A block reached twice (a shared name) is one block in the file.
      if (start > previousEnd) ++report.gaps;
      previousEnd = std::max(previousEnd, stop);
    }
  };
  check(blocks.virtualBlocks, resource.virtualBase(), flags & 0x7FF,
        (flags >> 11) & 0xF);
  check(blocks.physicalBlocks, resource.physicalBase(), (flags >> 15) & 0x7FF,
        (flags >> 26) & 0xF);
  return report;
}

using testutil::CodeOf;

inline Bytes Filled(std::size_t n, std::uint8_t value) {
  return Bytes(n, std::byte{value});
}

/// One 4096 x 4096 DXT5 level with recognisable, quickly compressed
/// content, made once per test binary.
inline const texture::CompressedImage& Atlas() {
  static const texture::CompressedImage image = [] {
    texture::CompressedImage result;
    EXPECT_EQ(result.Allocate2D(77, 4096, 4096), 0);
    for (std::size_t i = 0; i < result.byteSize(); ++i)
      result.memory()[i] = std::byte((i >> 12) * 7 + (i & 3));
    return result;
  }();
  return image;
}

}  // namespace resource::test
