// The shape of a `karstel` command: arguments in, text out, an exit code
// back. Commands never exit the process themselves, so tests call them
// directly with their own streams and file system.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "common/file_system.h"

namespace app {

/// Exit codes: success, a failure of the work, bad usage, and a warning that
/// stopped the work before anything was touched.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitWarning = 3;

struct CommandContext {
  common::FileSystem& fs;
  std::ostream& out;  ///< results
  std::ostream& err;  ///< messages, progress and errors
};

using Arguments = std::span<const std::string>;

/// karstel inspect FILE
int RunInspect(const CommandContext& context, Arguments args);
/// karstel export FILE NAME OUT.dds
int RunExport(const CommandContext& context, Arguments args);
/// karstel sample DIR
int RunSample(const CommandContext& context, Arguments args);
/// karstel detect
int RunDetect(const CommandContext& context, Arguments args);
/// karstel generate [--game-folder DIR] [--font FACE] ... [--strict]
int RunGenerate(const CommandContext& context, Arguments args);
/// karstel atlas [--font FACE] ... (--game-folder DIR | --table FILE) -o OUT
int RunAtlas(const CommandContext& context, Arguments args);
/// karstel preview [--font FACE] ... [--text T] [--size WxH] -o FILE
int RunPreview(const CommandContext& context, Arguments args);
/// karstel fonts [--game-folder DIR | --table FILE]
int RunFonts(const CommandContext& context, Arguments args);
/// karstel restore [--game-folder DIR] [--variants IV,TLAD,TBoGT]
int RunRestore(const CommandContext& context, Arguments args);

/// True when the arguments ask for the command's usage: "-h" or "--help"
/// among them.
bool WantsHelp(Arguments args);
/// Prints `usage` with the results, as asked for by -h or --help, and
/// returns kExitSuccess.
int PrintHelp(const CommandContext& context, std::string_view usage);

/// Prints the failure in flight as one line for the terminal, logs it, and
/// returns kExitError. For the catch blocks of commands.
int ReportFailure(const CommandContext& context, const std::string& what);

}  // namespace app
