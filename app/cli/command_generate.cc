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

constexpr char kUsage[] =
    "用法: karstel generate [--game-folder DIR] [--font FACE] "
    "[--symbol-font FACE]\n"
    "         [--bold] [--italic] [--quotes corner|curly]\n"
    "         [--engine directwrite|gdiplus] [--fit auto|none]\n"
    "         [--variants IV,TLAD,TBoGT] [--strict] [--quiet]\n";

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
  if (WantsHelp(args)) return PrintHelp(context, kUsage);
  std::string error;
  std::vector<std::string_view> valueOptions = kDrawingValueOptions;
  valueOptions.insert(valueOptions.end(), {"--game-folder", "--variants"});
  std::vector<std::string_view> flags = kDrawingFlags;
  flags.push_back("--strict");
  auto options = ParseOptions(args, valueOptions, flags, error);
  std::optional<DrawingOptions> drawing;
  if (options && options->positional.empty())
    drawing = ParseDrawingOptions(*options, error);
  std::optional<std::set<Episode>> episodes = ParseVariants(
      options ? options->Value("--variants").value_or("IV,TBoGT,TLAD") : "");
  if (!drawing || !episodes) {
    if (drawing && !episodes) error = "--variants 只能列出 IV、TLAD、TBoGT";
    context.err << (error.empty() ? "" : "错误: " + error + "\n") << kUsage;
    return kExitUsage;
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
      accepted = DetectGameFolder(context.fs, messages, *registry,
                                  settings.gameFolder);
    }
    if (!accepted) return kExitWarning;
  } catch (...) {
    return ReportFailure(context, "无法检查游戏目录");
  }

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
  services.onFailure = [&](const GenerationFailure& failure) {
    PrintFailureCause(context.err, failure);
  };
  return ToExitCode(GenerateFontTexture(services, settings));
}

}  // namespace app
