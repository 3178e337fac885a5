// Tagged 32-bit pointers inside a resource, and the context that resolves
// them while one resource is being patched. Tag 5 is an offset into the
// virtual segment, tag 6 into the physical segment; tag 0xF, which exists
// only in memory between an edit and the layout, indexes the table of host
// blocks that the edit added.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "resource/resource_file.h"

namespace resource {

inline constexpr std::uint32_t kVirtualTag = 0x5;
inline constexpr std::uint32_t kPhysicalTag = 0x6;
inline constexpr std::uint32_t kExternalTag = 0xF;

/// Packs a tag and a 28-bit payload into a ResourcePointer value.
constexpr std::uint32_t MakePointer(std::uint32_t tag, std::uint32_t payload) {
  return (tag << 28) | (payload & 0x0FFFFFFFu);
}
constexpr std::uint32_t PointerTag(std::uint32_t value) { return value >> 28; }
constexpr std::uint32_t PointerPayload(std::uint32_t value) {
  return value & 0x0FFFFFFFu;
}

/// What a pointer is expected to point at: fixes the segment it may name and
/// the bytes that must lie inside it.
enum class Pointee {
  ArrayElement,
  TextureRecord,
  RootAuxBlock,
  Name,
  PixelData
};

/// A host block referred to by a tag-0xF pointer. The table does not own it.
struct ExternalBlock {
  const std::byte* data = nullptr;
  std::size_t size = 0;
};
using ExternalBlockTable = std::vector<ExternalBlock>;

/// Binds one loaded resource for the duration of one patch.
class ResourceContext {
 public:
  ResourceContext() = default;
  explicit ResourceContext(ResourceFile& file) { BindResource(file); }

  /// Points the context at a loaded resource; the table is not touched.
  void BindResource(ResourceFile& file);
  /// Forgets the resource and empties the table.
  void ResetResourceContext();

  /// Resolves the pointer stored at slot to a host address, checking that
  /// the first bytes of the pointee (a whole record, the first element of an
  /// array, the first byte of a name or of pixel data) lie in the segment
  /// its tag names, or in the host block its index names. Throws
  /// E_INVALIDARG on a wrong tag, a wrong segment, an index beyond the table
  /// or a failed bound.
  std::byte* ResolvePointer(const std::byte* slot, Pointee pointee) const;

  /// Like ResolvePointer, but checks that all `length` bytes of the block lie
  /// inside its segment or host block. A zero-length pixel block may sit at
  /// the very end of the physical segment.
  std::byte* ResolveBlock(const std::byte* slot, Pointee pointee,
                          std::uint64_t length) const;

  /// Resolves a name pointer and returns its length including the
  /// terminator, which must lie inside the segment or host block.
  std::uint32_t ResolveName(const std::byte* slot, std::byte** name) const;

  /// Makes the pointer at slot refer to a host block: an existing tag-0xF
  /// value keeps its index and the entry is replaced; anything else gets a
  /// new entry. An index beyond the table throws E_INVALIDARG.
  void SetExternal(std::byte* slot, const std::byte* data, std::size_t size);

  /// Appends a host block and returns the tag-0xF pointer value for it.
  std::uint32_t AppendExternal(const std::byte* data, std::size_t size);

  std::byte* virtualBase() const { return virtualBase_; }
  std::uint32_t virtualSize() const { return virtualSize_; }
  std::byte* physicalBase() const { return physicalBase_; }
  std::uint32_t physicalSize() const { return physicalSize_; }
  const ExternalBlockTable& table() const { return table_; }

 private:
  // Where a pointer leads and how many bytes follow it there.
  struct Target {
    std::byte* address;
    std::uint64_t room;
  };
  Target Locate(const std::byte* slot, Pointee pointee) const;

  std::byte* virtualBase_ = nullptr;
  std::uint32_t virtualSize_ = 0;
  std::byte* physicalBase_ = nullptr;
  std::uint32_t physicalSize_ = 0;
  ExternalBlockTable table_;
};

}  // namespace resource
