// -h and --help, which every command answers with its usage.
#include <algorithm>

#include "app/cli/command.h"

namespace app {

bool WantsHelp(Arguments args) {
  return std::any_of(args.begin(), args.end(), [](const std::string& arg) {
    return arg == "-h" || arg == "--help";
  });
}

int PrintHelp(const CommandContext& context, std::string_view usage) {
  context.out << usage;
  return kExitSuccess;
}

}  // namespace app
