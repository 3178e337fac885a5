// The patcher on a file whose expanded body the fuzzer writes: the input is
// the 12-byte header and the body, compressed here, so that mutations reach
// the dictionary, its pointers and the layout rather than the zlib stream.
// Both ways of patching run: the generation's pipeline (prepared on its
// worker, the pixels compressed and set last) and PatchFontsWtd's. They must
// agree, refuse only with documented codes and leave nothing behind when
// they refuse; what they write must load, list the font texture with our
// pixels and be accepted for patching again.
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "common/memory_file_system.h"
#include "fuzz/fuzz_util.h"
#include "resource/font_pipeline.h"
#include "resource/patch.h"
#include "resource/texture_dictionary.h"

namespace {

using fuzz::Bytes;
using fuzz::Check;

// The atlas every run patches in, kept across runs. Long runs of one byte
// keep its 16 MiB quick to compress, which both writers do on every run.
texture::CompressedImage PatternImage() {
  texture::CompressedImage image;
  image.Allocate2D(77, 4096, 4096);
  for (std::size_t i = 0; i < image.byteSize(); ++i)
    image.memory()[i] = static_cast<std::byte>(i * 7 >> 12);
  return image;
}

Bytes Compressed(const std::uint8_t* data, std::size_t size) {
  uLongf packed = compressBound(static_cast<uLong>(size - 12));
  Bytes file = fuzz::BytesOf(data, 12);
  file.resize(12 + packed);
  compress2(reinterpret_cast<Bytef*>(file.data() + 12), &packed, data + 12,
            static_cast<uLong>(size - 12), 1);
  file.resize(12 + packed);
  return file;
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
void CheckWritten(resource::ResourceFile file,
                  const texture::CompressedImage& atlas) {
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
    Check(font->pixelBytes == atlas.byteSize() &&
              std::memcmp(font->pixels, atlas.memory(), atlas.byteSize()) == 0,
          "the font texture holds the atlas");
  }
  resource::FontPatch again(std::move(file));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 12) return 0;
  static const texture::CompressedImage atlas = PatternImage();

  common::MemoryFileSystem fs;
  const Bytes original = Compressed(data, size);
  fs.Put("fonts.wtd", original);
  HRESULT piped = Outcome([&] {
    resource::FontTexturePipeline pipeline(fs, {{"fonts.wtd", "piped.wtd"}});
    pipeline.Write(atlas);
  });
  HRESULT direct = Outcome(
      [&] { resource::PatchFontsWtd(fs, "fonts.wtd", "direct.wtd", atlas); });
  Check(piped == direct, "both ways of patching agree");
  Check(fs.Get("fonts.wtd") == original, "the source is never changed");
  if (piped != 0) {
    Check(fs.files.size() == 1, "a refusal leaves nothing behind");
    return 0;
  }
  // The two ways write the same stream, or at least the same resource
  // (inflating 16 MiB is what makes a run slow, so only when they differ).
  if (fs.Get("piped.wtd") != fs.Get("direct.wtd")) {
    resource::ResourceFile a = Load(fs, "piped.wtd");
    resource::ResourceFile b = Load(fs, "direct.wtd");
    Check(a.header.flags == b.header.flags && a.body.size() == b.body.size() &&
              std::memcmp(a.body.data(), b.body.data(), a.body.size()) == 0,
          "both ways write the same resource");
  }
  CheckWritten(Load(fs, "piped.wtd"), atlas);
  return 0;
}
