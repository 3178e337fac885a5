#include <filesystem>

#include "app/command.h"
#include "common/result.h"
#include "common/text.h"
#include "resource/sample_wtd.h"

namespace app {
namespace {

// The three variants' files under a game folder.
constexpr const char* kFontsWtdPaths[] = {"pc/textures/fonts.wtd",
                                          "TBoGT/pc/textures/fonts.wtd",
                                          "TLAD/pc/textures/fonts.wtd"};

}  // namespace

int RunSample(const CommandContext& context, Arguments args) {
  if (args.size() != 1) {
    context.err << "用法: karstel sample DIR\n";
    return kExitUsage;
  }
  try {
    common::Path root = common::PathFromUtf8(args[0]);
    resource::SampleWtdOptions options = resource::RealisticSampleOptions();
    for (const char* relative : kFontsWtdPaths) {
      common::Path path = root / common::PathFromUtf8(relative);
      std::filesystem::create_directories(path.parent_path());
      std::vector<std::byte> bytes = resource::BuildSampleWtd(options);
      common::WriteFileAtomically(
          context.fs, path,
          [&](common::OutputFile& out) { common::WriteExactly(out, bytes); });
      context.out << common::PathToUtf8(path) << "\n";
      ++options.seed;  // each variant's file differs, as the game's do
    }
    return kExitSuccess;
  } catch (...) {
    return ReportFailure(context, "无法写入示例目录 " + args[0]);
  }
}

}  // namespace app
