// The terminal edge of the command line: UTF-8 arguments and output on every
// platform.
#pragma once

#include <string>
#include <vector>

namespace app {

/// Makes the console show UTF-8 text (Windows); nothing elsewhere.
void PrepareConsole();
/// The program's arguments as UTF-8, whatever the platform passes.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

}  // namespace app
