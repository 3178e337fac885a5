// `karstel fonts`: the installed families a player can pass to --font, and
// how much of the character table each of them covers.
#include <algorithm>
#include <optional>

#include "app/character_table.h"
#include "app/cli/command.h"
#include "app/cli/command_drawing.h"
#include "app/cli/command_options.h"
#include "app/discovery/registry.h"
#include "app/game_folder.h"
#include "common/result.h"
#include "common/text.h"
#include "render/font_catalog.h"

namespace app {
namespace {

constexpr char kUsage[] =
    "用法: karstel fonts [--game-folder DIR | --table char_table.dat]\n";

// The table given, or the detected game folder's; nothing when there is none
// (a detection that finds no folder is no error here).
std::optional<common::Path> TablePath(const CommandContext& context,
                                      const CommandOptions& options) {
  if (auto table = options.Value("--table"))
    return common::PathFromUtf8(*table);
  if (auto folder = options.Value("--game-folder"))
    return AppendPath(common::PathFromUtf8(*folder), CharacterTablePath());
  RecordingMessageSink quiet;
  auto registry = MakeSystemRegistryReader();
  common::Path gameFolder;
  if (!DetectGameFolder(context.fs, quiet, *registry, gameFolder))
    return std::nullopt;
  return AppendPath(gameFolder, CharacterTablePath());
}

std::string Weights(const render::InstalledFamily& family) {
  std::string text;
  for (int weight : family.weights)
    text += (text.empty() ? "" : ", ") + std::to_string(weight);
  return text;
}

}  // namespace

int RunFonts(const CommandContext& context, Arguments args) {
  if (WantsHelp(args)) return PrintHelp(context, kUsage);
  std::string error;
  auto options = ParseOptions(args, {"--game-folder", "--table"}, {}, error);
  if (!options || !options->positional.empty() ||
      (options->Value("--game-folder") && options->Value("--table"))) {
    if (!error.empty()) context.err << "错误: " << error << "\n";
    context.err << kUsage;
    return kExitUsage;
  }
  try {
    std::optional<common::Path> tablePath = TablePath(context, *options);
    std::u16string units;
    if (tablePath) {
      auto file = context.fs.OpenForRead(*tablePath);
      units = DrawnUnits(ReadCharacterTable(*file));
      context.err << "karstel: 字符表 " << common::PathToUtf8(*tablePath)
                  << ": " << units.size() << " 个字符\n";
    }
    // With a table, best first, in the order --font left out chooses by;
    // without one, by name.
    std::vector<render::FamilyCoverage> listed;
    if (tablePath) {
      listed = RankInstalledFamilies(units);
    } else {
      for (render::InstalledFamily& family : render::ListInstalledFamilies())
        listed.push_back({std::move(family), 0});
    }
    for (const render::FamilyCoverage& entry : listed) {
      if (tablePath)
        context.out << entry.covered << "/" << units.size() << "  ";
      context.out << common::Utf16ToUtf8(entry.family.name) << "  ["
                  << Weights(entry.family) << "]\n";
    }
    return kExitSuccess;
  } catch (...) {
    return ReportFailure(context, "无法列出字体");
  }
}

}  // namespace app
