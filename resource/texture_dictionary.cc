#include "resource/texture_dictionary.h"

#include "common/result.h"
#include "resource/bytes.h"
#include "resource/layout.h"
#include "texture/image.h"

namespace resource {

std::uint32_t HashKey(std::string_view name) {
  std::uint32_t h = 0;
  for (char c : name) {
    h += static_cast<std::uint32_t>(
        static_cast<std::int32_t>(static_cast<std::int8_t>(c)));
    h += h << 10;
    h ^= h >> 6;
  }
  h += h << 3;
  h ^= h >> 11;
  h += h << 15;
  return h;
}

std::uint32_t PixelDataSize(std::uint32_t format, std::uint32_t width,
                            std::uint32_t height, std::uint32_t mipLevels) {
  std::uint32_t pitchFormat;
  switch (format) {
    case kFormatA8R8G8B8:
      pitchFormat = texture::DXGI_FORMAT_B8G8R8A8_UNORM;
      break;
    case kFormatDxt1:
      pitchFormat = texture::DXGI_FORMAT_BC1_UNORM;
      break;
    case kFormatDxt2:
    case kFormatDxt3:
      pitchFormat = texture::DXGI_FORMAT_BC2_UNORM;
      break;
    case kFormatDxt4:
    case kFormatDxt5:
      pitchFormat = texture::DXGI_FORMAT_BC3_UNORM;
      break;
    default:
      THROW_HR(common::kInvalidPixelFormat);
  }
  std::uint64_t total = 0;
  std::uint32_t w = width, h = height;
  for (std::uint32_t level = 0; level < mipLevels; ++level) {
    std::uint32_t rowPitch, slicePitch;
    THROW_IF_FAILED(
        texture::BlockPitchRule(pitchFormat, w, h, rowPitch, slicePitch));
    total += slicePitch;
    if (w > 1) w >>= 1;
    if (h > 1) h >>= 1;
  }
  THROW_HR_IF(common::kArithmeticOverflow, total > 0xFFFFFFFFu);
  return static_cast<std::uint32_t>(total);
}

std::string FormatName(std::uint32_t format) {
  if ((format & 0x00FFFFFFu) == FourCc('D', 'X', 'T', 0) &&
      (format >> 24) >= '1' && (format >> 24) <= '5')
    return std::string("DXT") + static_cast<char>(format >> 24);
  return std::to_string(format);
}

std::vector<TextureEntry> ListTextures(const ResourceContext& context) {
  BlockList blocks = CollectBlocks(context);
  std::vector<TextureEntry> entries;
  // Gathering order: root, aux block, keys, textures, then record and name
  // of each texture; physical blocks hold each texture's pixels in order.
  const ResourceBlock& keys = blocks.virtualBlocks[2];
  for (std::size_t i = 0; i < blocks.physicalBlocks.size(); ++i) {
    const ResourceBlock& record = blocks.virtualBlocks[4 + 2 * i];
    const ResourceBlock& name = blocks.virtualBlocks[5 + 2 * i];
    const ResourceBlock& pixels = blocks.physicalBlocks[i];
    TextureEntry entry;
    entry.key = Read32(keys.data + 4 * i);
    entry.name.assign(reinterpret_cast<const char*>(name.data), name.size - 1);
    entry.width = Read16(record.data + kRecordWidthOffset);
    entry.height = Read16(record.data + kRecordHeightOffset);
    entry.format = Read32(record.data + kRecordFormatOffset);
    entry.mipLevels =
        std::to_integer<std::uint8_t>(record.data[kRecordMipLevelsOffset]);
    entry.pixelBytes = pixels.size;
    entry.recordOffset = PointerPayload(Read32(record.slot));
    entry.nameOffset = PointerPayload(Read32(name.slot));
    entry.pixelOffset = PointerPayload(Read32(pixels.slot));
    entry.pixels = pixels.data;
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace resource
