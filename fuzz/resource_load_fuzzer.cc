// The loader on a whole file as it lies on disk, then what `inspect` and
// the patcher's first check do with what it loads: a resource or a
// documented refusal, nothing else.
#include "common/memory_file_system.h"
#include "fuzz/fuzz_util.h"
#include "resource/patch.h"
#include "resource/texture_dictionary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  common::MemoryFileSystem fs;
  fs.Put("fonts.wtd", fuzz::BytesOf(data, size));
  try {
    resource::ResourceFile file =
        resource::LoadResource(*fs.OpenForRead("fonts.wtd"));
    fuzz::Check(file.body.size() == std::size_t{file.sizes.virtualSize} +
                                        file.sizes.physicalSize,
                "the body is as large as the segments declare");
    {
      resource::ResourceContext context(file);
      resource::ListTextures(context);
    }
    resource::FontPatch patch(std::move(file));
  } catch (const common::ResultException& e) {
    fuzz::CheckRefusal(
        e, {common::kEInvalidArg, common::kENotImpl, common::kHandleEof,
            common::kFileTooLarge, common::kInvalidPixelFormat,
            common::kArithmeticOverflow});
  }
  return 0;
}
