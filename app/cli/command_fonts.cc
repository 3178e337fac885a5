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
  const CommandSyntax syntax{
      "fonts",
      "[--game-folder DIR | --table char_table.dat]",
      "列出已安装的字体 (--font 接受的名称) 及其字重；有字符表时，列出每种\n"
      "字体能画出表中多少个字，按不指定 --font 时的选择顺序排列。",
      {},
      {{"--game-folder", "DIR", "用这个游戏目录的字符表；不指定时自动查找"},
       {"--table", "FILE", "用这个字符表 (char_table.dat)"}}};
  if (WantsHelp(args)) return PrintCommandHelp(context, syntax);
  std::string error;
  auto options = ParseOptions(args, syntax, error);
  if (options && !options->positional.empty())
    error = "多余的参数: " + options->positional[0];
  if (options && options->Value("--game-folder") && options->Value("--table"))
    error = "--game-folder 与 --table 只能选一个";
  if (!options || !error.empty()) return UsageError(context, syntax, error);
  try {
    std::optional<common::Path> tablePath = TablePath(context, *options);
    std::u16string units;
    if (tablePath) {
      auto file = context.fs.OpenForRead(*tablePath);
      units = DrawnUnits(ReadCharacterTable(*file));
      if (!options->Flag("--quiet"))
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
