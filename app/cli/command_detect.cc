#include "app/cli/command.h"
#include "app/discovery/registry.h"
#include "app/game_folder.h"
#include "common/text.h"

namespace app {

int RunDetect(const CommandContext& context, Arguments args) {
  constexpr char kUsage[] = "用法: karstel detect\n";
  if (WantsHelp(args)) return PrintHelp(context, kUsage);
  if (!args.empty()) {
    context.err << kUsage;
    return kExitUsage;
  }
  TerminalMessageSink messages(context.out, context.err);
  auto registry = MakeSystemRegistryReader();
  common::Path gameFolder;
  // Detection logs what it cannot read and never throws for it.
  if (!DetectGameFolder(context.fs, messages, *registry, gameFolder))
    return kExitWarning;
  context.out << common::PathToUtf8(gameFolder) << "\n";
  return kExitSuccess;
}

}  // namespace app
