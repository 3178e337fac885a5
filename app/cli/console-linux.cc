#include "app/cli/console.h"

namespace app {

void PrepareConsole() {}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace app
