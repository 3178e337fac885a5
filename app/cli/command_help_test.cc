#include <gtest/gtest.h>

#include <sstream>

#include "app/cli/command.h"
#include "app/cli/command_encode.h"
#include "common/memory_file_system.h"

namespace app {
namespace {

struct NamedCommand {
  const char* name;
  int (*run)(const CommandContext&, Arguments);
};

constexpr NamedCommand kAllCommands[] = {
    {"inspect", RunInspect}, {"export", RunExport},   {"sample", RunSample},
    {"detect", RunDetect},   {"encode", RunEncode},   {"generate", RunGenerate},
    {"atlas", RunAtlas},     {"preview", RunPreview}, {"restore", RunRestore},
    {"fonts", RunFonts},
};

// Wherever -h or --help stands, and whatever else is given, the command
// prints its own usage as its result and does nothing else.
TEST(CommandHelpTest, EveryCommandAnswersHelpWithItsUsage) {
  const std::vector<std::vector<std::string>> asks = {
      {"--help"}, {"-h"}, {"--font", "X", "-h"}, {"a", "b", "--help"}};
  for (const NamedCommand& command : kAllCommands) {
    for (const auto& args : asks) {
      SCOPED_TRACE(std::string(command.name) + " " + args.back());
      common::MemoryFileSystem fs;
      std::ostringstream out, err;
      EXPECT_EQ(command.run(CommandContext{fs, out, err}, args), kExitSuccess);
      EXPECT_NE(out.str().find(std::string("karstel ") + command.name),
                std::string::npos)
          << out.str();
      EXPECT_EQ(err.str(), "");
      EXPECT_TRUE(fs.log.empty());
    }
  }
}

}  // namespace
}  // namespace app
