#include "resource/resource_file.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <span>

#include "common/result.h"
#include "common/scope_exit.h"
#include "resource/bytes.h"
#include "resource/layout.h"

namespace resource {
namespace {

constexpr std::size_t kChunk = 65536;
constexpr std::byte kFill = kFillByte;

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
      // A block whose bytes are still to come (the font texture of a
      // prepared file) has no data to write.
      THROW_HR_IF(common::kEPointer, !block.data && block.size > 0);
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

}  // namespace

void AppendSegment(std::vector<std::byte>& out,
                   std::span<const ResourceBlock> blocks,
                   std::uint32_t& position) {
  for (const ResourceBlock& block : blocks) {
    THROW_HR_IF(common::kEPointer, !block.data && block.size > 0);
    std::uint32_t start = StartOf(block, position);
    out.insert(out.end(), start - position, kFill);
    out.insert(out.end(), block.data, block.data + block.size);
    out.insert(out.end(), PaddingTo16(block.size), kFill);
    position = start + block.size + PaddingTo16(block.size);
  }
}

void SaveResource(common::OutputFile& file, const RscHeader& header,
                  std::uint32_t layoutFlags, const BlockList& blocks) {
  WriteHeader(file, header, layoutFlags);
  SaveStraightforward(file, blocks);
}

}  // namespace resource
