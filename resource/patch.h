// Puts the generated font texture into one fonts.wtd.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "common/file_system.h"
#include "resource/resource_file.h"
#include "resource/resource_pointer.h"
#include "texture/image.h"

namespace resource {

/// The name stored for the font texture.
inline constexpr char kFontChsName[] = "pack:/font_chs.dds";

/// Bytes of the one level of the 4096 x 4096 DXT5 font texture.
inline constexpr std::uint32_t kFontTextureBytes = 4096u * 4096u;

/// One resource being patched: owns the loaded file and every host block
/// that the edit adds, which the block list refers to until it is written.
class FontPatch {
 public:
  /// Takes a loaded file and checks it as CollectBlocks does before anything
  /// is edited; throws as CollectBlocks for a file `inspect` refuses.
  explicit FontPatch(ResourceFile file);
  FontPatch(const FontPatch&) = delete;
  FontPatch& operator=(const FontPatch&) = delete;

  /// Inserts or replaces the font_chs entry, then gathers every reachable
  /// block and lays the resource out again. `pixels` are the texture's
  /// kFontTextureBytes bytes, which must outlive the patch; or null for a
  /// texture that is still being drawn: the layout depends only on its
  /// size, and its block (fontBlock()) then has no data until it is written.
  void Apply(const std::byte* pixels);

  const RscHeader& header() const { return file_.header; }
  const BlockList& blocks() const { return blocks_; }
  std::uint32_t layoutFlags() const { return layoutFlags_; }
  /// The index of the font texture's block among the physical blocks.
  std::size_t fontBlock() const;

 private:
  ResourceFile file_;
  ResourceContext context_;
  std::array<std::byte, 80> record_{};
  std::vector<std::byte> newKeys_;
  std::vector<std::byte> newTextures_;
  BlockList blocks_;
  std::uint32_t layoutFlags_ = 0;
};

/// Loads sourcePath, inserts or replaces the texture keyed by "font_chs"
/// with a copy of the dictionary's first record that points at the image's
/// pixels (4096 x 4096 DXT5, one level), lays the resource out again and
/// writes it to destinationPath. Source and destination are normally the
/// same file. The destination is replaced in one step only after the new
/// file has been written completely: on any failure it keeps its previous
/// bytes. Throws the HRESULT of the first failure.
void PatchFontsWtd(common::FileSystem& fs, const common::Path& sourcePath,
                   const common::Path& destinationPath,
                   const texture::CompressedImage& image);

/// Copies the key array into a host array one element larger with key at
/// its sorted position, points the root's keys at it and returns the
/// position. The array is owned by the caller until the file is written.
std::uint32_t InsertKeySorted(ResourceContext& context, std::byte* keysField,
                              std::uint32_t key,
                              std::vector<std::byte>& newArray);

/// Copies the texture pointer array into a host array one element larger
/// with pointer at index, and points the root's textures at it.
void InsertTexturePointer(ResourceContext& context, std::byte* texturesField,
                          std::uint32_t index, std::uint32_t pointer,
                          std::vector<std::byte>& newArray);

}  // namespace resource
