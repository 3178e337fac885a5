#include "resource/sample_wtd.h"

#include <zlib.h>

#include <algorithm>

#include "common/result.h"
#include "resource/bytes.h"
#include "resource/resource_pointer.h"
#include "resource/texture_dictionary.h"

namespace resource {
namespace {

// A small deterministic generator, so that samples are reproducible.
class Pattern {
 public:
  explicit Pattern(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
  std::byte Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<std::byte>(state_ >> 11);
  }
  void Fill(std::byte* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) p[i] = Next();
  }

 private:
  std::uint32_t state_;
};

struct Placement {
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
};

// Hands out offsets in one segment, in order or scattered.
class Placer {
 public:
  Placer(std::uint32_t start, bool scatter) : next_(start), scatter_(scatter) {}
  Placement Place(std::uint32_t size) {
    if (scatter_) next_ += 3 + (next_ % 7);  // odd gaps, unaligned offsets
    Placement p{next_, size};
    next_ += scatter_ ? size : (size + 15) & ~15u;
    return p;
  }
  std::uint32_t end() const { return next_; }

 private:
  std::uint32_t next_;
  bool scatter_;
};

std::uint32_t SizeFlags(std::uint32_t bytes, std::uint32_t countShift,
                        std::uint32_t shiftShift) {
  std::uint32_t shift = 0;
  while ((std::uint64_t{2047} << (shift + 8)) < bytes) ++shift;
  THROW_HR_IF(common::kEInvalidArg, shift > 15);
  std::uint32_t unit = 1u << (shift + 8);
  std::uint32_t count = (bytes + unit - 1) / unit;
  return (count << countShift) | (shift << shiftShift);
}

}  // namespace

std::string KeyNameOf(const std::string& storedName) {
  std::string name = storedName;
  if (name.rfind("pack:/", 0) == 0) name.erase(0, 6);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dds") == 0)
    name.resize(name.size() - 4);
  return name;
}

void SortByKey(std::vector<SampleTexture>& textures) {
  std::stable_sort(textures.begin(), textures.end(),
                   [](const SampleTexture& a, const SampleTexture& b) {
                     return HashKey(KeyNameOf(a.name)) <
                            HashKey(KeyNameOf(b.name));
                   });
}

std::vector<std::byte> BuildSampleWtd(const SampleWtdOptions& options) {
  const auto& textures = options.textures;
  const auto n = static_cast<std::uint32_t>(textures.size());
  const std::uint32_t capacity = n + options.extraCapacity;
  Pattern pattern(options.seed);

  // Decide where everything goes. Scattered files list blocks backwards.
  Placer v(kRootSize, options.scatter);
  std::vector<Placement> records(n), names(n), pixels(n);
  Placement aux, keys, pointers;
  std::vector<std::uint32_t> pixelSizes(n);
  for (std::uint32_t i = 0; i < n; ++i)
    pixelSizes[i] = PixelDataSize(textures[i].format, textures[i].width,
                                  textures[i].height, textures[i].mipLevels);
  auto placeVirtual = [&] {
    aux = v.Place(kRootAuxBlockSize);
    keys = v.Place(capacity * 4);
    pointers = v.Place(capacity * 4);
    for (std::uint32_t i = 0; i < n; ++i) {
      records[i] = v.Place(kRecordSize);
      names[i] =
          v.Place(static_cast<std::uint32_t>(textures[i].name.size() + 1));
    }
  };
  auto placeVirtualBackwards = [&] {
    for (std::uint32_t i = n; i-- > 0;) {
      names[i] =
          v.Place(static_cast<std::uint32_t>(textures[i].name.size() + 1));
      records[i] = v.Place(kRecordSize);
    }
    pointers = v.Place(capacity * 4);
    keys = v.Place(capacity * 4);
    aux = v.Place(kRootAuxBlockSize);
  };
  options.scatter ? placeVirtualBackwards() : placeVirtual();
  THROW_HR_IF(common::kEInvalidArg, v.end() > options.virtualSize);

  Placer p(0, options.scatter);
  for (std::uint32_t k = 0; k < n; ++k) {
    std::uint32_t i = options.scatter ? n - 1 - k : k;
    pixels[i] = p.Place(pixelSizes[i]);
  }
  const std::uint32_t physicalUsed = std::max<std::uint32_t>(p.end(), 16);

  // Fill the segments.
  std::vector<std::byte> body(std::size_t{options.virtualSize} + physicalUsed);
  std::byte* vs = body.data();
  std::byte* ps = vs + options.virtualSize;
  pattern.Fill(vs, kRootSize);
  Write32(vs + kRootAuxBlockOffset, MakePointer(kVirtualTag, aux.offset));
  pattern.Fill(vs + aux.offset, kRootAuxBlockSize);
  auto writeArray = [&](std::uint32_t field, const Placement& at) {
    Write32(vs + field, MakePointer(kVirtualTag, at.offset));
    Write16(vs + field + kArrayCountOffset, static_cast<std::uint16_t>(n));
    Write16(vs + field + kArrayCapacityOffset,
            static_cast<std::uint16_t>(capacity));
  };
  writeArray(kRootKeysOffset, keys);
  writeArray(kRootTexturesOffset, pointers);
  for (std::uint32_t i = 0; i < n; ++i) {
    const SampleTexture& t = textures[i];
    Write32(vs + keys.offset + 4 * i, HashKey(KeyNameOf(t.name)));
    Write32(vs + pointers.offset + 4 * i,
            MakePointer(kVirtualTag, records[i].offset));
    std::byte* record = vs + records[i].offset;
    pattern.Fill(record, kRecordSize);
    // The words the game's own records hold fixed values in, which readers
    // of these files check: shaped as in real files, the rest opaque.
    Write32(record + 4, 0);
    Write32(record + 8, 0x10000);
    Write32(record + kRecordWord64Offset, 0);
    Write32(record + kRecordWord68Offset, 0);
    Write32(record + kRecordNameOffset,
            MakePointer(kVirtualTag, names[i].offset));
    Write16(record + kRecordWidthOffset, t.width);
    Write16(record + kRecordHeightOffset, t.height);
    Write32(record + kRecordFormatOffset, t.format);
    Write16(record + kRecordWord36Offset, t.width);
    record[kRecordMipLevelsOffset] = std::byte{t.mipLevels};
    Write32(record + kRecordPixelsOffset,
            MakePointer(kPhysicalTag, pixels[i].offset));
    std::copy_n(reinterpret_cast<const std::byte*>(t.name.c_str()),
                t.name.size() + 1, vs + names[i].offset);
    pattern.Fill(ps + pixels[i].offset, pixelSizes[i]);
  }

  std::uint32_t flags = SizeFlags(options.virtualSize, 0, 11) |
                        SizeFlags(physicalUsed, 15, 26) |
                        (options.topFlagBits & 0xC0000000u);

  uLongf packedSize = compressBound(static_cast<uLong>(body.size()));
  std::vector<std::byte> file(12 + packedSize);
  Write32(file.data(), 0x05435352);
  Write32(file.data() + 4, 8);
  Write32(file.data() + 8, flags);
  THROW_HR_IF(common::kEFail,
              compress2(reinterpret_cast<Bytef*>(file.data() + 12), &packedSize,
                        reinterpret_cast<const Bytef*>(body.data()),
                        static_cast<uLong>(body.size()), 9) != Z_OK);
  file.resize(12 + packedSize);
  return file;
}

SampleWtdOptions RealisticSampleOptions() {
  SampleWtdOptions options;
  options.textures = {
      {"pack:/font_en.dds", 1024, 1024, kFormatDxt5, 11},
      {"pack:/font_hud.dds", 1024, 1024, kFormatDxt5, 11},
      {"pack:/font_script.dds", 1024, 1024, kFormatDxt5, 11},
      {"pack:/font_tiny.dds", 512, 512, kFormatDxt3, 1},
      {"pack:/font_symbols.dds", 1024, 512, kFormatDxt5, 1},
      {"pack:/font_icons.dds", 256, 256, kFormatA8R8G8B8, 1},
      {"pack:/font_shadow.dds", 1024, 1024, kFormatDxt1, 11},
  };
  SortByKey(options.textures);
  options.topFlagBits = 0x80000000u;
  return options;
}

}  // namespace resource
