// The texture dictionary at the root of the virtual segment: a root with two
// parallel arrays (keys, pointers to texture records), the 80-byte record,
// and the hash that keys the dictionary.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "resource/resource_pointer.h"

namespace resource {

// TextureDictionary root, 32 bytes at virtual offset 0.
inline constexpr std::uint32_t kRootSize = 32;
inline constexpr std::uint32_t kRootAuxBlockOffset = 4;
inline constexpr std::uint32_t kRootKeysOffset = 16;
inline constexpr std::uint32_t kRootTexturesOffset = 24;
inline constexpr std::uint32_t kRootAuxBlockSize = 528;

// ResourceArray, 8 bytes: pointer, 16-bit count, 16-bit capacity.
inline constexpr std::uint32_t kArrayCountOffset = 4;
inline constexpr std::uint32_t kArrayCapacityOffset = 6;

// TextureRecord, 80 bytes.
inline constexpr std::uint32_t kRecordSize = 80;
inline constexpr std::uint32_t kRecordNameOffset = 20;
inline constexpr std::uint32_t kRecordWidthOffset = 28;
inline constexpr std::uint32_t kRecordHeightOffset = 30;
inline constexpr std::uint32_t kRecordFormatOffset = 32;
inline constexpr std::uint32_t kRecordWord36Offset = 36;
inline constexpr std::uint32_t kRecordMipLevelsOffset = 39;
inline constexpr std::uint32_t kRecordWord64Offset = 64;
inline constexpr std::uint32_t kRecordWord68Offset = 68;
inline constexpr std::uint32_t kRecordPixelsOffset = 72;

/// Format codes stored in a record: four characters, or 21 (A8R8G8B8).
constexpr std::uint32_t FourCc(char a, char b, char c, char d) {
  return std::uint32_t(std::uint8_t(a)) | std::uint32_t(std::uint8_t(b)) << 8 |
         std::uint32_t(std::uint8_t(c)) << 16 |
         std::uint32_t(std::uint8_t(d)) << 24;
}
inline constexpr std::uint32_t kFormatDxt1 = FourCc('D', 'X', 'T', '1');
inline constexpr std::uint32_t kFormatDxt2 = FourCc('D', 'X', 'T', '2');
inline constexpr std::uint32_t kFormatDxt3 = FourCc('D', 'X', 'T', '3');
inline constexpr std::uint32_t kFormatDxt4 = FourCc('D', 'X', 'T', '4');
inline constexpr std::uint32_t kFormatDxt5 = FourCc('D', 'X', 'T', '5');
inline constexpr std::uint32_t kFormatA8R8G8B8 = 21;

/// Jenkins one-at-a-time hash of a texture name (bytes taken as signed).
std::uint32_t HashKey(std::string_view name);

/// The key of the font texture, "font_chs".
inline constexpr std::uint32_t kFontChsKey = 0xE055BCA6u;

/// Bytes of pixel data a record's format, size and mip count call for.
/// Throws 0x800707D0 for an unknown format and 0x80070216 for a size that
/// does not fit in 32 bits.
std::uint32_t PixelDataSize(std::uint32_t format, std::uint32_t width,
                            std::uint32_t height, std::uint32_t mipLevels);

/// What `inspect` shows of one texture.
struct TextureEntry {
  std::uint32_t key = 0;
  std::string name;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint32_t format = 0;
  std::uint8_t mipLevels = 0;
  std::uint32_t pixelBytes = 0;
  std::uint32_t recordOffset = 0;  ///< virtual offset of the record
  std::uint32_t nameOffset = 0;    ///< virtual offset of the name
  std::uint32_t pixelOffset = 0;   ///< physical offset of the pixel data
  const std::byte* pixels = nullptr;
};

/// Reads every texture of a bound, loaded dictionary, with the same checks
/// as the layout writer. Offsets are the pointers' payloads as stored.
std::vector<TextureEntry> ListTextures(const ResourceContext& context);

/// Text of a record's format code: "DXT5", or the number for 21 and others.
std::string FormatName(std::uint32_t format);

}  // namespace resource
