#include "resource/resource_file.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <span>

#include "common/result.h"
#include "common/scope_exit.h"
#include "resource/bytes.h"
#include "resource/deflate_cache.h"
#include "resource/layout.h"
#include "resource/parallel_deflate.h"

namespace resource {
namespace {

constexpr std::size_t kChunk = 65536;
constexpr std::byte kFill{0xCD};

// Feeds a level-9 deflate stream and writes whatever it produces, one 64 KiB
// output buffer at a time, zpipe-style.
class DeflateWriter {
 public:
  explicit DeflateWriter(common::OutputFile& file) : file_(file) {
    THROW_HR_IF(common::kEFail,
                deflateInit_(&stream_, 9, ZLIB_VERSION,
                             static_cast<int>(sizeof(z_stream))) != Z_OK);
  }
  ~DeflateWriter() { deflateEnd(&stream_); }
  DeflateWriter(const DeflateWriter&) = delete;
  DeflateWriter& operator=(const DeflateWriter&) = delete;

  /// Compresses size bytes from data, or ends the stream when finish is set.
  void WriteChunk(const std::byte* data, std::uint32_t size, bool finish) {
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<std::byte*>(data));
    stream_.avail_in = size;
    do {
      stream_.next_out = reinterpret_cast<Bytef*>(out_.data());
      stream_.avail_out = static_cast<uInt>(out_.size());
      int result = deflate(&stream_, finish ? Z_FINISH : Z_NO_FLUSH);
      THROW_HR_IF(common::kEFail, result == Z_STREAM_ERROR);
      std::size_t produced = out_.size() - stream_.avail_out;
      common::WriteExactly(file_, std::span(out_.data(), produced));
    } while (stream_.avail_out == 0);
  }

  /// Writes `count` fill bytes (at most 4096 at a time).
  void WriteFill(std::uint32_t count) {
    static const auto fill = [] {
      std::array<std::byte, 4096> bytes;
      bytes.fill(kFill);
      return bytes;
    }();
    while (count > 0) {
      std::uint32_t n = std::min<std::uint32_t>(count, fill.size());
      WriteChunk(fill.data(), n, false);
      count -= n;
    }
  }

 private:
  common::OutputFile& file_;
  z_stream stream_{};
  std::array<std::byte, kChunk> out_;
};

std::uint32_t PaddingTo16(std::uint32_t size) { return (16 - size % 16) % 16; }

}  // namespace

ZeroedBuffer::ZeroedBuffer(std::size_t size) : size_(size) {
  data_.reset(static_cast<std::byte*>(std::calloc(size ? size : 1, 1)));
  THROW_HR_IF(common::kEOutOfMemory, !data_);
}

void ZeroedBuffer::Free::operator()(std::byte* p) const { std::free(p); }

SegmentSizes DecodeSegmentSizes(std::uint32_t flags) {
  std::uint64_t vc = flags & 0x7FF, vs = (flags >> 11) & 0xF;
  std::uint64_t pc = (flags >> 15) & 0x7FF, ps = (flags >> 26) & 0xF;
  std::uint64_t virtualSize = vc << (vs + 8);
  std::uint64_t physicalSize = pc << (ps + 8);
  THROW_HR_IF(common::kEInvalidArg, virtualSize + physicalSize > 0xFFFFFFFFu);
  return {static_cast<std::uint32_t>(virtualSize),
          static_cast<std::uint32_t>(physicalSize)};
}

ResourceFile LoadResource(common::InputFile& file) {
  std::byte head[12];
  common::ReadExactly(file, head);
  ResourceFile resource;
  resource.header = {Read32(head), Read32(head + 4), Read32(head + 8)};
  THROW_HR_IF(common::kEInvalidArg, resource.header.magic != kRscMagic);
  THROW_HR_IF(common::kEInvalidArg, resource.header.version != kRscVersion);
  resource.sizes = DecodeSegmentSizes(resource.header.flags);
  const std::uint64_t declared =
      std::uint64_t{resource.sizes.virtualSize} + resource.sizes.physicalSize;
  THROW_HR_IF(common::kFileTooLarge, declared > kMaxDeclaredBytes);
  // Below the bound, the zero pages that calloc hands out cost memory only
  // where the stream really expands to.
  resource.body = ZeroedBuffer(static_cast<std::size_t>(declared));

  z_stream stream{};
  THROW_HR_IF(common::kEFail,
              inflateInit_(&stream, ZLIB_VERSION,
                           static_cast<int>(sizeof(z_stream))) != Z_OK);
  auto end = common::ScopeExit([&] { inflateEnd(&stream); });
  stream.next_out = reinterpret_cast<Bytef*>(resource.body.data());
  stream.avail_out = static_cast<uInt>(resource.body.size());

  std::array<std::byte, kChunk> in;
  for (;;) {
    std::size_t got = file.Read(in);
    // A stream that is cut short, corrupt, or larger than the declared
    // sizes never reaches its end: the file runs out first.
    THROW_HR_IF(common::kHandleEof, got == 0);
    stream.next_in = reinterpret_cast<Bytef*>(in.data());
    stream.avail_in = static_cast<uInt>(got);
    if (inflate(&stream, Z_NO_FLUSH) == Z_STREAM_END) break;
  }
  return resource;
}

namespace {

void WriteHeader(common::OutputFile& file, const RscHeader& header,
                 std::uint32_t layoutFlags) {
  std::byte head[12];
  Write32(head, header.magic);
  Write32(head + 4, header.version);
  Write32(head + 8, layoutFlags | (header.flags & kCarriedFlagBits));
  common::WriteExactly(file, head);
}

// The virtual segment as the layout declares it for these blocks: 4096
// bytes, or more when they do not fit. Fill bytes pad it to that size so
// that the physical segment starts where a reader expects it.
std::uint32_t VirtualSegmentSize(const BlockList& blocks) {
  std::vector<std::uint32_t> sizes;
  sizes.reserve(blocks.virtualBlocks.size());
  for (const ResourceBlock& block : blocks.virtualBlocks)
    sizes.push_back(block.size);
  return DecodeSegmentSizes(VirtualPageFlags(sizes)).virtualSize;
}

// Where a block starts when `position` bytes of its segment are written:
// at its offset when the layout left a gap before it.
std::uint32_t StartOf(const ResourceBlock& block, std::uint32_t position) {
  return std::max(position, block.offset);
}

// The reference writer: every byte of the expansion through one stream, in
// 64 KiB output chunks.
void SaveStraightforward(common::OutputFile& file, const BlockList& blocks) {
  const std::uint32_t virtualSize = VirtualSegmentSize(blocks);
  DeflateWriter writer(file);
  auto writeSegment = [&](const std::vector<ResourceBlock>& segment) {
    std::uint32_t position = 0;
    for (const ResourceBlock& block : segment) {
      std::uint32_t start = StartOf(block, position);
      writer.WriteFill(start - position);
      writer.WriteChunk(block.data, block.size, false);
      writer.WriteFill(PaddingTo16(block.size));
      position = start + block.size + PaddingTo16(block.size);
    }
    return position;
  };
  std::uint32_t total = writeSegment(blocks.virtualBlocks);
  if (total < virtualSize) writer.WriteFill(virtualSize - total);
  writeSegment(blocks.physicalBlocks);
  writer.WriteChunk(nullptr, 0, true);
}

// Appends a block, after the fill up to its start, with its padding;
// `position` follows the segment.
void AppendBlock(std::vector<std::byte>& out, const ResourceBlock& block,
                 std::uint32_t& position) {
  std::uint32_t start = StartOf(block, position);
  out.insert(out.end(), start - position, kFill);
  out.insert(out.end(), block.data, block.data + block.size);
  out.insert(out.end(), PaddingTo16(block.size), kFill);
  position = start + block.size + PaddingTo16(block.size);
}

std::uint32_t Adler(std::uint32_t adler, std::span<const std::byte> data) {
  // adler32 takes at most 4 GiB per call (our spans are far smaller), and a
  // null buffer asks it for the initial value, whatever the running one.
  if (data.empty()) return adler;
  return static_cast<std::uint32_t>(
      adler32(adler, reinterpret_cast<const Bytef*>(data.data()),
              static_cast<uInt>(data.size())));
}

void CheckParts(const DeflatedParts& parts, const BlockList& blocks);

// The fast writer. The stream is cut in up to three raw deflate runs: what
// comes before the large block (ended with a full flush, so nothing after it
// refers back), the large block itself (which therefore compresses the same
// in every file and can come from the cache), and the rest (compressed
// without the large block as history, so that it too can be prepared before
// the large block's bytes exist). Each run is compressed on all cores; the
// zlib header and the Adler-32 trailer are written here, the checksum
// carried across runs with adler32_combine.
void SaveFast(common::OutputFile& file, const BlockList& blocks,
              const SaveOptions& options) {
  DeflatedParts own;
  const DeflatedParts* parts = options.parts;
  if (parts) {
    CheckParts(*parts, blocks);
  } else {
    own = DeflateAroundLargeBlock(
        blocks, LargeBlockIndex(blocks, options.cache), options.parallel);
    parts = &own;
  }
  const std::byte zlibHeader[2] = {std::byte{0x78}, std::byte{0xDA}};
  common::WriteExactly(file, zlibHeader);
  common::WriteExactly(file, parts->before);
  std::uint32_t adler = parts->adlerBefore;
  if (parts->largeIndex < blocks.physicalBlocks.size()) {
    const ResourceBlock& large = blocks.physicalBlocks[parts->largeIndex];
    std::span<const std::byte> data(large.data, large.size);
    const DeflatedBlockCache::Entry* cached =
        options.cache ? options.cache->Find(large.data, large.size) : nullptr;
    DeflatedBlockCache::Entry fresh;
    if (cached) {
      ++options.cache->hits;
    } else {
      fresh.compressed =
          DeflateRaw(data, {}, DeflateEnd::Sync, options.parallel);
      fresh.adler = Adler(1, data);
      cached = &fresh;
      if (options.cache && options.cache->Covers(large.data, large.size)) {
        options.cache->Store(large.data, large.size, std::move(fresh));
        cached = options.cache->Find(large.data, large.size);
      }
    }
    common::WriteExactly(file, cached->compressed);
    adler = static_cast<std::uint32_t>(adler32_combine(
        adler, cached->adler, static_cast<z_off_t>(large.size)));
    common::WriteExactly(file, parts->after);
    adler = static_cast<std::uint32_t>(adler32_combine(
        adler, parts->adlerAfter, static_cast<z_off_t>(parts->afterBytes)));
  }
  const std::byte trailer[4] = {std::byte(adler >> 24), std::byte(adler >> 16),
                                std::byte(adler >> 8), std::byte(adler)};
  common::WriteExactly(file, trailer);
}

// Parts prepared for another block list would write a wrong file: the
// block kept apart must be the same block, not merely one of the same size
// at the same index.
void CheckParts(const DeflatedParts& parts, const BlockList& blocks) {
  const auto& physical = blocks.physicalBlocks;
  THROW_HR_IF(common::kEInvalidArg, parts.physicalCount != physical.size());
  if (parts.largeIndex >= physical.size()) return;
  const ResourceBlock& large = physical[parts.largeIndex];
  THROW_HR_IF(common::kEInvalidArg,
              large.slot != parts.largeSlot || large.size != parts.largeSize);
}

}  // namespace

std::size_t LargeBlockIndex(const BlockList& blocks,
                            const DeflatedBlockCache* cache) {
  const auto& physical = blocks.physicalBlocks;
  if (cache) {
    for (std::size_t i = 0; i < physical.size(); ++i)
      if (cache->Covers(physical[i].data, physical[i].size)) return i;
  }
  std::size_t largeIndex = physical.size();
  for (std::size_t i = 0; i < physical.size(); ++i) {
    if (physical[i].size >= kLargeBlockBytes &&
        (largeIndex == physical.size() ||
         physical[i].size > physical[largeIndex].size))
      largeIndex = i;
  }
  return largeIndex;
}

DeflatedParts DeflateAroundLargeBlock(const BlockList& blocks,
                                      std::size_t largeIndex, bool parallel) {
  const auto& physical = blocks.physicalBlocks;
  DeflatedParts parts;
  parts.physicalCount = physical.size();
  parts.largeIndex = std::min(largeIndex, physical.size());
  const bool hasLarge = parts.largeIndex < physical.size();
  if (hasLarge) {
    parts.largeSize = physical[parts.largeIndex].size;
    parts.largeSlot = physical[parts.largeIndex].slot;
  }

  std::vector<std::byte> before;
  std::uint32_t total = 0;
  for (const ResourceBlock& block : blocks.virtualBlocks)
    AppendBlock(before, block, total);
  const std::uint32_t virtualSize = VirtualSegmentSize(blocks);
  if (total < virtualSize)
    before.insert(before.end(), virtualSize - total, kFill);
  std::size_t i = 0;
  std::uint32_t position = 0;
  for (; i < physical.size() && (!hasLarge || i < parts.largeIndex); ++i)
    AppendBlock(before, physical[i], position);
  if (hasLarge) {
    // The gap before the large block belongs to the run before it.
    std::uint32_t start = StartOf(physical[i], position);
    before.insert(before.end(), start - position, kFill);
    position = start + parts.largeSize + PaddingTo16(parts.largeSize);
  }
  parts.adlerBefore = Adler(1, before);
  parts.before = DeflateRaw(
      before, {}, hasLarge ? DeflateEnd::Full : DeflateEnd::Final, parallel);
  if (hasLarge) {
    std::vector<std::byte> after(PaddingTo16(parts.largeSize), kFill);
    for (++i; i < physical.size(); ++i)
      AppendBlock(after, physical[i], position);
    parts.adlerAfter = Adler(1, after);
    parts.afterBytes = after.size();
    parts.after = DeflateRaw(after, {}, DeflateEnd::Final, parallel);
  }
  return parts;
}

void SaveResource(common::OutputFile& file, const RscHeader& header,
                  std::uint32_t layoutFlags, const BlockList& blocks,
                  const SaveOptions& options) {
  WriteHeader(file, header, layoutFlags);
  if (options.straightforward)
    SaveStraightforward(file, blocks);
  else
    SaveFast(file, blocks, options);
}

}  // namespace resource
