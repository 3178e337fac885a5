#include <filesystem>

#include "app/character_table.h"
#include "app/cli/command.h"
#include "app/cli/command_options.h"
#include "app/cli/sample_table.h"
#include "app/episode.h"
#include "common/result.h"
#include "common/text.h"
#include "resource/sample_wtd.h"

namespace app {
namespace {

void WriteSampleFile(const CommandContext& context, const common::Path& path,
                     const std::vector<std::byte>& bytes) {
  std::filesystem::create_directories(path.parent_path());
  common::WriteFileAtomically(context.fs, path, [&](common::OutputFile& out) {
    common::WriteExactly(out, bytes);
  });
  context.out << common::PathToUtf8(path) << "\n";
}

}  // namespace

int RunSample(const CommandContext& context, Arguments args) {
  const CommandSyntax syntax{"sample",
                             "DIR",
                             "写入一个示例游戏目录：三个版本的合成 fonts.wtd "
                             "和一份字符表 (一级汉字、\n"
                             "标点和引号)，供试用和测试。",
                             {{"DIR", "", "写入的文件夹"}},
                             {}};
  int exitCode = kExitUsage;
  auto options = StartCommand(context, syntax, args, exitCode);
  if (!options) return exitCode;
  args = options->positional;
  try {
    common::Path root = common::PathFromUtf8(args[0]);
    resource::SampleWtdOptions sample = resource::RealisticSampleOptions();
    for (Episode episode : kEpisodeOrder) {
      WriteSampleFile(context, AppendPath(root, FontsWtdPath(episode)),
                      resource::BuildSampleWtd(sample));
      ++sample.seed;  // each variant's file differs, as the game's do
    }
    WriteSampleFile(context, AppendPath(root, CharacterTablePath()),
                    EncodeCharacterTable(SampleCharacterTable()));
    return kExitSuccess;
  } catch (...) {
    return ReportFailure(context, "无法写入示例目录 " + args[0]);
  }
}

}  // namespace app
