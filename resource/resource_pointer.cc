#include "resource/resource_pointer.h"

#include <cstring>

#include "common/result.h"
#include "resource/bytes.h"

namespace resource {
namespace {

using common::kEInvalidArg;

bool IsPhysical(Pointee pointee) { return pointee == Pointee::PixelData; }

// Bytes that must follow the target of each kind of pointer.
std::uint32_t MinimumBytes(Pointee pointee) {
  switch (pointee) {
    case Pointee::ArrayElement:
      return 4;
    case Pointee::TextureRecord:
      return 80;
    case Pointee::RootAuxBlock:
      return 528;
    case Pointee::Name:
    case Pointee::PixelData:
      return 1;
  }
  return 1;
}

}  // namespace

void ResourceContext::BindResource(ResourceFile& file) {
  virtualBase_ = file.virtualBase();
  virtualSize_ = file.sizes.virtualSize;
  physicalBase_ = file.physicalBase();
  physicalSize_ = file.sizes.physicalSize;
}

void ResourceContext::ResetResourceContext() {
  virtualBase_ = physicalBase_ = nullptr;
  virtualSize_ = physicalSize_ = 0;
  table_.clear();
}

ResourceContext::Target ResourceContext::Locate(const std::byte* slot,
                                                Pointee pointee) const {
  std::uint32_t value = Read32(slot);
  std::uint32_t payload = PointerPayload(value);
  switch (PointerTag(value)) {
    case kVirtualTag:
      THROW_HR_IF(kEInvalidArg, IsPhysical(pointee));
      THROW_HR_IF(kEInvalidArg, payload > virtualSize_);
      return {virtualBase_ + payload, std::uint64_t{virtualSize_} - payload};
    case kPhysicalTag:
      THROW_HR_IF(kEInvalidArg, !IsPhysical(pointee));
      THROW_HR_IF(kEInvalidArg, payload > physicalSize_);
      return {physicalBase_ + payload, std::uint64_t{physicalSize_} - payload};
    case kExternalTag: {
      // Only this program makes tag-0xF values; one read from a file that
      // names no entry of the table must not be followed anywhere.
      THROW_HR_IF(kEInvalidArg, payload >= table_.size());
      const ExternalBlock& block = table_[payload];
      return {const_cast<std::byte*>(block.data), block.size};
    }
    default:
      THROW_HR(kEInvalidArg);
  }
}

std::byte* ResourceContext::ResolvePointer(const std::byte* slot,
                                           Pointee pointee) const {
  Target target = Locate(slot, pointee);
  THROW_HR_IF(kEInvalidArg, target.room < MinimumBytes(pointee));
  return target.address;
}

std::byte* ResourceContext::ResolveBlock(const std::byte* slot, Pointee pointee,
                                         std::uint64_t length) const {
  Target target = Locate(slot, pointee);
  std::uint64_t needed = length;
  if (length > 0 || pointee != Pointee::PixelData)
    needed = std::max<std::uint64_t>(length, MinimumBytes(pointee));
  THROW_HR_IF(kEInvalidArg, target.room < needed);
  return target.address;
}

std::uint32_t ResourceContext::ResolveName(const std::byte* slot,
                                           std::byte** name) const {
  Target target = Locate(slot, Pointee::Name);
  THROW_HR_IF(kEInvalidArg, target.room < 1);
  const void* end = std::memchr(target.address, 0, target.room);
  THROW_HR_IF(kEInvalidArg, end == nullptr);
  *name = target.address;
  return static_cast<std::uint32_t>(static_cast<const std::byte*>(end) -
                                    target.address + 1);
}

void ResourceContext::SetExternal(std::byte* slot, const std::byte* data,
                                  std::size_t size) {
  std::uint32_t value = Read32(slot);
  if ((value & 0xF0000000u) == 0xF0000000u) {
    std::uint32_t index = PointerPayload(value);
    THROW_HR_IF(kEInvalidArg, index >= table_.size());
    table_[index] = {data, size};
    return;
  }
  Write32(slot, AppendExternal(data, size));
}

std::uint32_t ResourceContext::AppendExternal(const std::byte* data,
                                              std::size_t size) {
  table_.push_back({data, size});
  return MakePointer(kExternalTag,
                     static_cast<std::uint32_t>(table_.size() - 1));
}

}  // namespace resource
