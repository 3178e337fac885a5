#include "app/cli/png_writer.h"

#include <zlib.h>

#include "common/hresult.h"
#include "common/result.h"
#include "common/scope_exit.h"

namespace app {
namespace {

void Append32(std::vector<std::byte>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(std::byte(value >> shift & 0xFF));
}

// A chunk: length, type, data, and the CRC of type and data.
void AppendChunk(std::vector<std::byte>& out, const char (&type)[5],
                 std::span<const std::byte> data) {
  Append32(out, static_cast<std::uint32_t>(data.size()));
  std::size_t typeAt = out.size();
  for (int i = 0; i < 4; ++i) out.push_back(std::byte(type[i]));
  out.insert(out.end(), data.begin(), data.end());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(&out[typeAt]),
                    static_cast<uInt>(4 + data.size()));
  Append32(out, static_cast<std::uint32_t>(crc));
}

// The zlib stream of the image's rows, each led by filter byte 0, fed one
// row at a time.
std::vector<std::byte> DeflateRows(std::uint32_t width, std::uint32_t height,
                                   std::uint32_t rowPitch,
                                   std::span<const std::byte> bgra) {
  z_stream stream{};
  THROW_HR_IF(common::kEOutOfMemory,
              deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK);
  auto end = common::ScopeExit([&] { deflateEnd(&stream); });
  std::vector<std::byte> row(1 + std::size_t{width} * 4);
  std::vector<std::byte> out;
  std::byte chunk[1 << 16];
  for (std::uint32_t y = 0; y <= height; ++y) {
    bool last = y == height;
    if (!last) {
      const std::byte* source = bgra.data() + std::size_t{y} * rowPitch;
      for (std::uint32_t x = 0; x < width; ++x) {
        std::byte* pixel = &row[1 + std::size_t{x} * 4];
        pixel[0] = source[x * 4 + 2];
        pixel[1] = source[x * 4 + 1];
        pixel[2] = source[x * 4 + 0];
        pixel[3] = source[x * 4 + 3];
      }
    }
    stream.next_in = reinterpret_cast<Bytef*>(row.data());
    stream.avail_in = last ? 0 : static_cast<uInt>(row.size());
    int result;
    do {
      stream.next_out = reinterpret_cast<Bytef*>(chunk);
      stream.avail_out = sizeof chunk;
      result = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
      THROW_HR_IF(common::kEFail, result == Z_STREAM_ERROR);
      out.insert(out.end(), chunk, chunk + (sizeof chunk - stream.avail_out));
    } while (stream.avail_out == 0);
    THROW_HR_IF(common::kEFail, last && result != Z_STREAM_END);
  }
  return out;
}

}  // namespace

std::vector<std::byte> EncodePng(std::uint32_t width, std::uint32_t height,
                                 std::uint32_t rowPitch,
                                 std::span<const std::byte> bgra) {
  THROW_HR_IF(common::kEInvalidArg,
              width == 0 || height == 0 || rowPitch < std::uint64_t{width} * 4);
  THROW_HR_IF(common::kEInvalidArg,
              bgra.size() < std::uint64_t{rowPitch} * (height - 1) +
                                std::uint64_t{width} * 4);
  std::vector<std::byte> png;
  for (int b : {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A})
    png.push_back(std::byte(b));
  std::vector<std::byte> header;
  Append32(header, width);
  Append32(header, height);
  // 8 bits per channel, colour with alpha, deflate, adaptive filtering
  // (every row uses filter 0), no interlace.
  for (int b : {8, 6, 0, 0, 0}) header.push_back(std::byte(b));
  AppendChunk(png, "IHDR", header);
  AppendChunk(png, "IDAT", DeflateRows(width, height, rowPitch, bgra));
  AppendChunk(png, "IEND", {});
  return png;
}

void UnpremultiplyBgra(std::span<std::byte> bgra) {
  for (std::size_t i = 0; i + 3 < bgra.size(); i += 4) {
    unsigned alpha = std::to_integer<unsigned>(bgra[i + 3]);
    for (int c = 0; c < 3; ++c) {
      unsigned value = std::to_integer<unsigned>(bgra[i + c]);
      unsigned straight =
          alpha == 0 ? 0 : std::min(255u, (value * 255 + alpha / 2) / alpha);
      bgra[i + c] = std::byte(straight);
    }
  }
}

}  // namespace app
