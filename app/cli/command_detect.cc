#include "app/cli/command.h"
#include "app/cli/command_options.h"
#include "app/discovery/registry.h"
#include "app/game_folder.h"
#include "app/replacement_journal.h"
#include "common/result.h"
#include "common/text.h"

namespace app {

int RunDetect(const CommandContext& context, Arguments args) {
  const CommandSyntax syntax{
      "detect", "", "像图形界面的“自动选择”一样查找游戏目录并显示它。", {}, {}};
  int exitCode = kExitUsage;
  auto options = StartCommand(context, syntax, args, exitCode);
  if (!options) return exitCode;
  TerminalMessageSink messages(context.out, context.err);
  auto registry = MakeSystemRegistryReader();
  common::Path gameFolder;
  // Detection logs what it cannot read and never throws for it.
  if (!DetectGameFolder(context.fs, messages, *registry, gameFolder,
                        kNoGameFolderFoundCommandLine))
    return kExitWarning;
  context.out << common::PathToUtf8(gameFolder) << "\n";
  // A generation interrupted there is settled now, not at the next one.
  try {
    std::string told = FinishInterruptedRunIfIdle(context.fs, gameFolder);
    if (!told.empty()) context.err << "karstel: " << told << "\n";
  } catch (...) {
    return ReportFailure(context, "无法处理上次中断的生成");
  }
  return kExitSuccess;
}

}  // namespace app
