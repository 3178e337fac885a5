// The patcher on a file whose expanded body the fuzzer writes: the input is
// the 12-byte header and the body, compressed here, so that mutations reach
// the dictionary, its pointers and the layout rather than the zlib stream.
// Both ways of patching run: the generation's (laid out and compressed
// around a stand-in, the pixels set last) and PatchFontsWtd's. They must
// agree, refuse only with documented codes and leave nothing behind when
// they refuse; what they write must load, list the font texture with our
// pixels and be accepted for patching again.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "common/memory_file_system.h"
#include "fuzz/fuzz_util.h"
#include "resource/deflate_cache.h"
#include "resource/patch.h"
#include "resource/texture_dictionary.h"

namespace {

using fuzz::Bytes;
using fuzz::Check;

texture::CompressedImage PatternImage() {
  texture::CompressedImage image;
  image.Allocate2D(77, 4096, 4096);
  for (std::size_t i = 0; i < image.byteSize(); ++i)
    image.memory()[i] = static_cast<std::byte>(i * 7 >> 12);
  return image;
}

// The atlas every run patches in, and its deflated form, kept across runs
// as a generation keeps it across variants. The cache knows the image by
// its allocation, so the image is made first.
struct Atlas {
  texture::CompressedImage image = PatternImage();
  resource::DeflatedBlockCache cache{image};
};

Bytes Compressed(const std::uint8_t* data, std::size_t size) {
  uLongf packed = compressBound(static_cast<uLong>(size - 12));
  Bytes file = fuzz::BytesOf(data, 12);
  file.resize(12 + packed);
  compress2(reinterpret_cast<Bytef*>(file.data() + 12), &packed, data + 12,
            static_cast<uLong>(size - 12), 1);
  file.resize(12 + packed);
  return file;
}

void PatchPrepared(common::FileSystem& fs, Atlas& atlas,
                   const resource::SaveOptions& options) {
  resource::ResourceFile file =
      resource::LoadResource(*fs.OpenForRead("fonts.wtd"));
  resource::FontPatch patch(std::move(file));
  patch.ApplyPending();
  patch.PrepareStream();
  patch.SetPixels(atlas.image);
  common::WriteFileAtomically(fs, "prepared.wtd", [&](common::OutputFile& out) {
    patch.Write(out, options);
  });
}

// 0 on success, else the documented code of the refusal.
template <typename Run>
HRESULT Outcome(Run run) {
  try {
    run();
    return 0;
  } catch (const common::ResultException& e) {
    fuzz::CheckRefusal(
        e, {common::kEInvalidArg, common::kENotImpl, common::kHandleEof,
            common::kFileTooLarge, common::kInvalidPixelFormat,
            common::kArithmeticOverflow});
    return e.GetErrorCode();
  }
}

resource::ResourceFile Load(common::MemoryFileSystem& fs, const char* name) {
  return resource::LoadResource(*fs.OpenForRead(name));
}

// A written file holds our font texture under its key (the first, should
// the file repeat the key) and can be patched again.
void CheckWritten(resource::ResourceFile file, const Atlas& atlas) {
  {
    resource::ResourceContext context(file);
    const std::uint32_t key = resource::HashKey("font_chs");
    std::vector<resource::TextureEntry> entries =
        resource::ListTextures(context);
    auto font =
        std::find_if(entries.begin(), entries.end(),
                     [&](const auto& entry) { return entry.key == key; });
    Check(font != entries.end(), "the font texture is listed");
    Check(font->name == resource::kFontChsName && font->width == 4096 &&
              font->height == 4096 && font->format == resource::kFormatDxt5 &&
              font->mipLevels == 1,
          "the font texture is one 4096 x 4096 DXT5 level");
    Check(font->pixelBytes == atlas.image.byteSize() &&
              std::memcmp(font->pixels, atlas.image.memory(),
                          atlas.image.byteSize()) == 0,
          "the font texture holds the atlas");
  }
  resource::FontPatch again(std::move(file));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 12) return 0;
  static Atlas atlas;
  resource::SaveOptions options;
  options.cache = &atlas.cache;
  // One core: the fuzzer's own process is the unit of work.
  options.parallel = false;

  common::MemoryFileSystem fs;
  const Bytes original = Compressed(data, size);
  fs.Put("fonts.wtd", original);
  HRESULT prepared = Outcome([&] { PatchPrepared(fs, atlas, options); });
  HRESULT direct = Outcome([&] {
    resource::PatchFontsWtd(fs, "fonts.wtd", "direct.wtd", atlas.image,
                            options);
  });
  Check(prepared == direct, "both ways of patching agree");
  Check(fs.Get("fonts.wtd") == original, "the source is never changed");
  if (prepared != 0) {
    Check(fs.files.size() == 1, "a refusal leaves nothing behind");
    return 0;
  }
  // The two ways write the same stream, or at least the same resource
  // (inflating 16 MiB is what makes a run slow, so only when they differ).
  if (fs.Get("prepared.wtd") != fs.Get("direct.wtd")) {
    resource::ResourceFile a = Load(fs, "prepared.wtd");
    resource::ResourceFile b = Load(fs, "direct.wtd");
    Check(a.header.flags == b.header.flags && a.body.size() == b.body.size() &&
              std::memcmp(a.body.data(), b.body.data(), a.body.size()) == 0,
          "both ways write the same resource");
  }
  CheckWritten(Load(fs, "prepared.wtd"), atlas);
  return 0;
}
