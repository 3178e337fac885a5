#include "resource/patch.h"

#include <array>
#include <cstring>
#include <vector>

#include "common/result.h"
#include "resource/bytes.h"
#include "resource/font_pipeline.h"
#include "resource/layout.h"
#include "resource/texture_dictionary.h"

namespace resource {
namespace {

constexpr std::uint16_t kAtlasSide = 4096;

// Copies an array of n 32-bit elements into a host array of n + 1 with
// `value` inserted at `index`, and repoints the field at it.
void InsertElement(ResourceContext& context, std::byte* field,
                   std::uint32_t index, std::uint32_t value,
                   std::vector<std::byte>& newArray) {
  std::uint32_t count = Read16(field + kArrayCountOffset);
  // A 16-bit count cannot grow past 65,535 entries.
  THROW_HR_IF(common::kENotImpl, count >= 0xFFFF);
  const std::byte* old = context.ResolveBlock(field, Pointee::ArrayElement,
                                              std::uint64_t{count} * 4);
  newArray.assign(std::size_t{count + 1} * 4, std::byte{0});
  std::memcpy(newArray.data(), old, std::size_t{index} * 4);
  Write32(newArray.data() + std::size_t{index} * 4, value);
  std::memcpy(newArray.data() + std::size_t{index + 1} * 4,
              old + std::size_t{index} * 4, std::size_t{count - index} * 4);
  context.SetExternal(field, newArray.data(), newArray.size());
  Write16(field + kArrayCountOffset, static_cast<std::uint16_t>(count + 1));
  Write16(field + kArrayCapacityOffset, static_cast<std::uint16_t>(count + 1));
}

}  // namespace

std::uint32_t InsertKeySorted(ResourceContext& context, std::byte* keysField,
                              std::uint32_t key,
                              std::vector<std::byte>& newArray) {
  std::uint32_t count = Read16(keysField + kArrayCountOffset);
  const std::byte* keys = context.ResolveBlock(keysField, Pointee::ArrayElement,
                                               std::uint64_t{count} * 4);
  std::uint32_t position = 0;
  while (position < count && Read32(keys + 4 * position) < key) ++position;
  InsertElement(context, keysField, position, key, newArray);
  return position;
}

void InsertTexturePointer(ResourceContext& context, std::byte* texturesField,
                          std::uint32_t index, std::uint32_t pointer,
                          std::vector<std::byte>& newArray) {
  InsertElement(context, texturesField, index, pointer, newArray);
}

FontPatch::FontPatch(ResourceFile file)
    : file_(std::move(file)), context_(file_) {
  // The check `inspect` makes, before anything is edited: while the table of
  // host blocks is still empty, a tag-0xF value read from the file names
  // nothing. Once the edit has added its blocks it would name one of them,
  // and the layout would follow it into the font texture, its name or
  // whatever memory lies beyond.
  CollectBlocks(context_);
}

void FontPatch::Apply(const std::byte* pixels) {
  THROW_HR_IF(common::kEInvalidArg, context_.virtualSize() < kRootSize);
  std::byte* root = context_.virtualBase();
  std::byte* keysField = root + kRootKeysOffset;
  std::byte* texturesField = root + kRootTexturesOffset;

  // Keys and records are parallel arrays: refuse a dictionary where they
  // disagree before editing one of them.
  std::uint32_t keyCount = Read16(keysField + kArrayCountOffset);
  std::uint32_t textureCount = Read16(texturesField + kArrayCountOffset);
  THROW_HR_IF(common::kEInvalidArg, keyCount != textureCount);
  // The new record is a copy of the first; a dictionary without textures
  // has nothing to copy.
  THROW_HR_IF(common::kEInvalidArg, textureCount == 0);

  const std::byte* textures = context_.ResolveBlock(
      texturesField, Pointee::ArrayElement, std::uint64_t{textureCount} * 4);
  const std::byte* templateRecord =
      context_.ResolvePointer(textures, Pointee::TextureRecord);
  std::memcpy(record_.data(), templateRecord, kRecordSize);

  context_.SetExternal(record_.data() + kRecordNameOffset,
                       reinterpret_cast<const std::byte*>(kFontChsName),
                       sizeof kFontChsName);
  Write16(record_.data() + kRecordWidthOffset, kAtlasSide);
  Write16(record_.data() + kRecordHeightOffset, kAtlasSide);
  Write32(record_.data() + kRecordFormatOffset, kFormatDxt5);
  Write16(record_.data() + kRecordWord36Offset, kAtlasSide);
  // The image holds exactly one level, whatever the template had.
  record_[kRecordMipLevelsOffset] = std::byte{1};
  Write32(record_.data() + kRecordWord64Offset, 0);
  Write32(record_.data() + kRecordWord68Offset, 0);
  context_.SetExternal(record_.data() + kRecordPixelsOffset, pixels,
                       kFontTextureBytes);

  const std::uint32_t key = HashKey("font_chs");
  const std::byte* keys = context_.ResolveBlock(
      keysField, Pointee::ArrayElement, std::uint64_t{keyCount} * 4);
  std::uint32_t found = keyCount;
  for (std::uint32_t i = 0; i < keyCount; ++i) {
    if (Read32(keys + 4 * i) == key) {
      found = i;
      break;
    }
  }
  if (found < keyCount) {
    context_.SetExternal(const_cast<std::byte*>(textures) + 4 * found,
                         record_.data(), record_.size());
  } else {
    std::uint32_t index = InsertKeySorted(context_, keysField, key, newKeys_);
    std::uint32_t pointer =
        context_.AppendExternal(record_.data(), record_.size());
    InsertTexturePointer(context_, texturesField, index, pointer, newTextures_);
  }

  blocks_ = CollectBlocks(context_);
  layoutFlags_ = ComputeLayout(blocks_);
}

std::size_t FontPatch::fontBlock() const {
  const std::byte* slot = record_.data() + kRecordPixelsOffset;
  const auto& physical = blocks_.physicalBlocks;
  for (std::size_t i = 0; i < physical.size(); ++i)
    if (physical[i].slot == slot) return i;
  THROW_HR(common::kEFail);  // Apply has not run
}

void PatchFontsWtd(common::FileSystem& fs, const common::Path& sourcePath,
                   const common::Path& destinationPath,
                   const texture::CompressedImage& image) {
  FontTexturePipeline pipeline(fs, {{sourcePath, destinationPath}});
  pipeline.Write(image);
}

}  // namespace resource
