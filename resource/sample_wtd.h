// Builds synthetic but valid fonts.wtd files. Players without the game (and
// our tests) get a file with the structure of the real one: a dictionary of
// textures in the formats the game uses, with opaque bytes that must travel
// unchanged through a patch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace resource {

struct SampleTexture {
  /// Stored name, such as "pack:/font_en.dds"; the key hashes the part
  /// between "pack:/" and ".dds".
  std::string name;
  std::uint16_t width = 64;
  std::uint16_t height = 64;
  /// Record format code: FourCc "DXT1", "DXT3", "DXT5", or 21.
  std::uint32_t format = 0;
  std::uint8_t mipLevels = 1;
};

struct SampleWtdOptions {
  /// Textures in dictionary order (keys are not sorted here).
  std::vector<SampleTexture> textures;
  /// Array capacities above the counts.
  std::uint16_t extraCapacity = 0;
  /// Store the virtual and physical blocks in reverse order, at offsets that
  /// are not multiples of 16, with gaps between them.
  bool scatter = false;
  /// Bits 30-31 of the flags word.
  std::uint32_t topFlagBits = 0;
  /// Declared virtual segment size: 4096, or larger to test other files.
  std::uint32_t virtualSize = 4096;
  /// Seed of the opaque bytes and pixel data.
  std::uint32_t seed = 1;
};

/// The key name of a stored name: "pack:/font_en.dds" gives "font_en".
std::string KeyNameOf(const std::string& storedName);

/// Sorts textures by their keys, ascending, as the game's files keep them.
void SortByKey(std::vector<SampleTexture>& textures);

/// The whole file: header and zlib stream.
std::vector<std::byte> BuildSampleWtd(const SampleWtdOptions& options);

/// About 6 MiB of textures like those of the game's fonts.wtd, without the
/// font texture.
SampleWtdOptions RealisticSampleOptions();

}  // namespace resource
