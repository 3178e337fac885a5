// The "encode" command of the command-line front end: compresses a PNG or a
// raw B, G, R, A file into a DXT5 .dds file with the same driver and
// encoder the generation uses.
#pragma once

#include <span>
#include <string>

#include "app/cli/command.h"

namespace app {

/// karstel encode IN.png OUT.dds | karstel encode --raw W H IN.bgra OUT.dds:
/// reads and writes through context.fs, explains failures on context.err.
int RunEncode(const CommandContext& context, Arguments args);

/// Runs "encode" with the arguments after the command name, UTF-8:
///   IN.png OUT.dds
///   --raw W H IN.bgra OUT.dds
/// Returns the process exit code: 0 on success, 2 for a usage error, 1 for
/// any other failure, each explained on stderr in Simplified Chinese. Uses
/// the real file system.
int RunEncode(std::span<const std::string> args);

}  // namespace app
