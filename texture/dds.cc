#include "texture/dds.h"

#include <algorithm>
#include <span>

#include "common/result.h"

namespace texture {
namespace {

// Header flags and pixel-format flags of the published DDS layout.
constexpr std::uint32_t kDdsdCaps = 0x1;
constexpr std::uint32_t kDdsdHeight = 0x2;
constexpr std::uint32_t kDdsdWidth = 0x4;
constexpr std::uint32_t kDdsdPitch = 0x8;
constexpr std::uint32_t kDdsdPixelFormat = 0x1000;
constexpr std::uint32_t kDdsdMipMapCount = 0x20000;
constexpr std::uint32_t kDdsdLinearSize = 0x80000;
constexpr std::uint32_t kDdpfAlphaPixels = 0x1;
constexpr std::uint32_t kDdpfFourCC = 0x4;
constexpr std::uint32_t kDdpfRgb = 0x40;
constexpr std::uint32_t kDdsCapsTexture = 0x1000;

void Put32(std::vector<std::byte>& out, std::size_t offset,
           std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out[offset + i] = static_cast<std::byte>(value >> (8 * i));
}

struct RowLayout {
  std::uint32_t packedPitch = 0;  // bytes of one row (or block row) on disk
  std::uint32_t rows = 0;         // rows (or block rows)
};

RowLayout CheckedLayout(const ImageView& image) {
  RowLayout layout;
  std::uint32_t slice = 0;
  THROW_IF_FAILED(BlockPitchRule(image.format, image.width, image.height,
                                 layout.packedPitch, slice));
  layout.rows = slice / layout.packedPitch;
  THROW_HR_IF(common::kEPointer, image.pixels == nullptr);
  std::uint64_t needed =
      std::uint64_t{image.rowPitch} * (layout.rows - 1) + layout.packedPitch;
  THROW_HR_IF(common::kEInvalidArg,
              image.rowPitch < layout.packedPitch || image.slicePitch < needed);
  return layout;
}

// FourCC codes of the block formats.
std::uint32_t FourCcOf(std::uint32_t format) {
  switch (format) {
    case DXGI_FORMAT_BC1_UNORM:
      return 0x31545844;  // "DXT1"
    case DXGI_FORMAT_BC2_UNORM:
      return 0x33545844;  // "DXT3"
    case DXGI_FORMAT_BC3_UNORM:
      return 0x35545844;  // "DXT5"
    default:
      return 0;
  }
}

}  // namespace

std::vector<std::byte> BuildDdsHeader(std::uint32_t format, std::uint32_t width,
                                      std::uint32_t height,
                                      std::uint32_t mipCount) {
  THROW_HR_IF(common::kEInvalidArg,
              (FourCcOf(format) == 0 && format != DXGI_FORMAT_B8G8R8A8_UNORM) ||
                  width == 0 || height == 0 || mipCount == 0);
  std::uint32_t rowPitch = 0, slicePitch = 0;
  THROW_IF_FAILED(BlockPitchRule(format, width, height, rowPitch, slicePitch));

  std::vector<std::byte> header(kDdsHeaderSize);
  Put32(header, 0, 0x20534444);  // "DDS "
  Put32(header, 4, 124);         // header size
  std::uint32_t flags = kDdsdCaps | kDdsdHeight | kDdsdWidth |
                        kDdsdPixelFormat | kDdsdMipMapCount;
  const bool compressed = FourCcOf(format) != 0;
  flags |= compressed ? kDdsdLinearSize : kDdsdPitch;
  Put32(header, 8, flags);
  Put32(header, 12, height);
  Put32(header, 16, width);
  // The whole top level for compressed data, one row otherwise.
  Put32(header, 20, compressed ? slicePitch : rowPitch);
  Put32(header, 24, 0);  // depth
  Put32(header, 28, mipCount);
  // Pixel format at byte 76, 32 bytes.
  Put32(header, 76, 32);
  if (compressed) {
    Put32(header, 80, kDdpfFourCC);
    Put32(header, 84, FourCcOf(format));
  } else {
    Put32(header, 80, kDdpfRgb | kDdpfAlphaPixels);
    Put32(header, 88, 32);
    Put32(header, 92, 0x00FF0000);   // red
    Put32(header, 96, 0x0000FF00);   // green
    Put32(header, 100, 0x000000FF);  // blue
    Put32(header, 104, 0xFF000000);  // alpha
  }
  // More than one level makes the file a complex, mip-mapped surface.
  Put32(header, 108, kDdsCapsTexture | (mipCount > 1 ? 0x400008 : 0));
  return header;
}

void WriteDds(common::OutputFile& file, const ImageView& image) {
  std::vector<std::byte> header =
      BuildDdsHeader(image.format, image.width, image.height);
  RowLayout layout = CheckedLayout(image);
  common::WriteExactly(file, header);
  if (image.rowPitch == layout.packedPitch) {
    common::WriteExactly(
        file, std::span<const std::byte>(
                  image.pixels, std::size_t{layout.packedPitch} * layout.rows));
    return;
  }
  for (std::uint32_t row = 0; row < layout.rows; ++row) {
    common::WriteExactly(file,
                         std::span<const std::byte>(
                             image.pixels + std::size_t{row} * image.rowPitch,
                             layout.packedPitch));
  }
}

std::vector<std::byte> BuildDdsFile(const ImageView& image) {
  std::vector<std::byte> out =
      BuildDdsHeader(image.format, image.width, image.height);
  RowLayout layout = CheckedLayout(image);
  out.reserve(out.size() + std::size_t{layout.packedPitch} * layout.rows);
  for (std::uint32_t row = 0; row < layout.rows; ++row) {
    const std::byte* start = image.pixels + std::size_t{row} * image.rowPitch;
    out.insert(out.end(), start, start + layout.packedPitch);
  }
  return out;
}

}  // namespace texture
