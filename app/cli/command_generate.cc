#include <algorithm>

#include "app/character_table.h"
#include "app/cli/command.h"
#include "app/cli/command_drawing.h"
#include "app/cli/command_options.h"
#include "app/cli/sample_table.h"
#include "app/discovery/registry.h"
#include "app/game_folder.h"
#include "app/generation.h"
#include "app/progress.h"
#include "common/result.h"
#include "common/text.h"

namespace app {
namespace {

CommandSyntax GenerateSyntax() {
  CommandSyntax syntax{
      "generate",
      "[--game-folder DIR] [--font FACE] [--symbol-font FACE] [--bold]\n"
      "         [--italic] [--quotes corner|curly] [--engine "
      "directwrite|gdiplus]\n"
      "         [--fit auto|none] [--variants IV,TLAD,TBoGT] [--strict] "
      "[--quiet]",
      "读取字符表，画出全部字符，压缩为 DXT5 并写入所选版本的 fonts.wtd\n"
      "(第一次写入前留下备份 fonts.wtd.karstel-backup)。",
      {},
      DrawingOptionSyntax()};
  syntax.options.insert(
      syntax.options.begin(),
      {"--game-folder", "DIR",
       "游戏目录；不指定时自动查找 (Wine/Proton 前缀和 Steam 库)"});
  syntax.options.push_back(
      {"--variants", "LIST", "要写入的版本，如 IV,TLAD,TBoGT (默认全部)"});
  syntax.options.push_back(
      {"--strict", "", "有缺字、替代字体或被裁切的字时报错，不写入任何文件"});
  return syntax;
}

// The units the best face is judged on: the folder's table, or, when it
// cannot be read (the generation then says why), the common hanzi.
std::u16string TableOrSample(const CommandContext& context,
                             const common::Path& gameFolder) {
  try {
    auto file =
        context.fs.OpenForRead(AppendPath(gameFolder, CharacterTablePath()));
    return ReadCharacterTable(*file);
  } catch (...) {
    LOG_CAUGHT_EXCEPTION();
    return SampleCharacterTable();
  }
}

int ToExitCode(GenerationOutcome outcome) {
  switch (outcome) {
    case GenerationOutcome::Generated:
    case GenerationOutcome::NothingSelected:
      return kExitSuccess;
    case GenerationOutcome::Warned:
      return kExitWarning;
    case GenerationOutcome::Failed:
      return kExitError;
  }
  return kExitError;
}

}  // namespace

int RunGenerate(const CommandContext& context, Arguments args) {
  const CommandSyntax syntax = GenerateSyntax();
  if (WantsHelp(args)) return PrintCommandHelp(context, syntax);
  std::string error;
  auto options = ParseOptions(args, syntax, error);
  // "karstel generate /path/to/game": the folder is an option's value.
  if (options && !options->positional.empty()) {
    return UsageError(context, syntax,
                      "多余的参数: " + options->positional[0] +
                          "\n游戏目录请写在 --game-folder 之后，例如: karstel "
                          "generate --game-folder \"" +
                          options->positional[0] + "\"");
  }
  std::optional<DrawingOptions> drawing;
  if (options) drawing = ParseDrawingOptions(*options, error);
  std::optional<std::set<Episode>> episodes = ParseVariants(
      options ? options->Value("--variants").value_or("IV,TBoGT,TLAD") : "");
  if (!drawing || !episodes) {
    if (drawing && !episodes) error = "--variants 只能列出 IV、TLAD、TBoGT";
    return UsageError(context, syntax, error);
  }
  if (!CheckFontsAvailable(context, drawing->fonts)) return kExitError;
  if (!CheckItalic(context, *drawing, options->Flag("--strict")))
    return kExitError;

  TerminalMessageSink messages(context.out, context.err);
  GenerationSettings settings;
  settings.mainFont = drawing->fonts.mainFont;
  settings.symbolFont = drawing->fonts.symbolFont;
  settings.quoteStyle = drawing->quoteStyle;
  settings.renderEngine = drawing->engine;
  settings.episodes = *episodes;
  try {
    bool accepted;
    if (auto folder = options->Value("--game-folder")) {
      // A folder given by hand is checked as the dialog checks a picked one.
      accepted = AcceptChosenFolder(context.fs, messages,
                                    common::PathFromUtf8(*folder),
                                    settings.gameFolder);
    } else {
      auto registry = MakeSystemRegistryReader();
      accepted =
          DetectGameFolder(context.fs, messages, *registry, settings.gameFolder,
                           kNoGameFolderFoundCommandLine);
    }
    if (!accepted) return kExitWarning;
  } catch (...) {
    return ReportFailure(context, "无法检查游戏目录");
  }
  // Which installation this run works on, where a player may have several
  // (a Proton prefix and a Steam library).
  if (!drawing->quiet)
    context.err << "karstel: 游戏目录: "
                << common::PathToUtf8(settings.gameFolder) << "\n";

  if (drawing->bestFace &&
      !ChooseBestFace(context, *drawing,
                      TableOrSample(context, settings.gameFolder)))
    return kExitError;
  settings.mainFont = drawing->fonts.mainFont;
  settings.symbolFont = drawing->fonts.symbolFont;

  StageObserver progress = TerminalProgress(context.err, drawing->quiet);
  GenerationServices services{context.fs, messages,
                              TimedAtlasBuilder(progress, drawing->fit),
                              progress};
  services.strict = options->Flag("--strict");
  services.onFindings = [&](const render::GlyphFindings& findings) {
    PrintGlyphFindings(context.err, findings);
  };
  services.onRecovered = [&](const std::string& told) {
    context.err << "karstel: " << told << "\n";
  };
  services.onWritten = [&](Episode episode, const common::Path& file,
                           const common::Path& backup) {
    if (drawing->quiet) return;
    context.err << "karstel: " << EpisodeName(episode) << ": 已写入 "
                << common::PathToUtf8(file) << "\n";
    if (!backup.empty())
      context.err << "karstel: " << EpisodeName(episode) << ": 原文件已备份为 "
                  << common::PathToUtf8(backup) << "\n";
  };
  return ToExitCode(GenerateFontTexture(services, settings));
}

}  // namespace app
