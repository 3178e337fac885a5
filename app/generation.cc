#include "app/generation.h"

#include <filesystem>

#include "app/character_table.h"
#include "app/game_folder.h"
#include "app/progress.h"
#include "common/result.h"
#include "resource/deflate_cache.h"
#include "resource/patch.h"

namespace app {
namespace {

CharacterTable ReadTableOf(common::FileSystem& fs,
                           const common::Path& gameFolder) {
  // The file is closed when the reader returns or throws.
  auto file = fs.OpenForRead(AppendPath(gameFolder, CharacterTablePath()));
  return ReadCharacterTable(*file);
}

void PatchEpisode(common::FileSystem& fs, const common::Path& gameFolder,
                  Episode episode, const texture::CompressedImage& image,
                  resource::DeflatedBlockCache& cache, bool straightforward) {
  common::Path destination = AppendPath(gameFolder, FontsWtdPath(episode));
  std::filesystem::create_directories(destination.parent_path());
  common::Path source = AppendPath(gameFolder, FontsWtdPath(episode));
  resource::SaveOptions options;
  options.cache = &cache;
  options.straightforward = straightforward;
  resource::PatchFontsWtd(fs, source, destination, image, options);
}

void RunPipeline(const GenerationServices& services,
                 const GenerationSettings& settings) {
  CharacterTable table = TimeStage(services.onStage, "读取字符表", [&] {
    return ReadTableOf(services.fs, settings.gameFolder);
  });
  texture::CompressedImage image = services.buildAtlas(
      render::GlyphFonts{settings.mainFont, settings.symbolFont},
      settings.renderEngine, settings.quoteStyle == QuoteStyle::CurlyQuotes,
      table);
  // The variants store the same texture: it is deflated once.
  resource::DeflatedBlockCache cache(image);
  for (Episode episode : kEpisodeOrder) {
    if (!settings.episodes.contains(episode)) continue;
    std::string stage = "写入 " + std::string(EpisodeName(episode));
    TimeStage(services.onStage, stage, [&] {
      PatchEpisode(services.fs, settings.gameFolder, episode, image, cache,
                   services.straightforwardWriter);
    });
  }
}

}  // namespace

GenerationOutcome GenerateFontTexture(const GenerationServices& services,
                                      const GenerationSettings& settings) {
  MessageSink& messages = services.messages;
  if (!render::IsChosen(settings.mainFont) ||
      !render::IsChosen(settings.symbolFont)) {
    messages.ShowMessage(MessageIcon::Warning, kFontNotChosen);
    return GenerationOutcome::Warned;
  }
  if (settings.gameFolder.empty()) {
    messages.ShowMessage(MessageIcon::Warning, kGameFolderNotChosen);
    return GenerationOutcome::Warned;
  }
  try {
    if (!HasCharacterTable(settings.gameFolder)) {
      messages.ShowMessage(MessageIcon::Warning, kCharacterTableMissing);
      return GenerationOutcome::Warned;
    }
    if (settings.episodes.empty()) return GenerationOutcome::NothingSelected;
    RunPipeline(services, settings);
  } catch (...) {
    // A table test that fails for another reason than absence lands here as
    // well: something is wrong with the folder, and the user should hear so.
    LOG_CAUGHT_EXCEPTION();
    messages.ShowMessage(MessageIcon::Error, kGenerationFailed);
    return GenerationOutcome::Failed;
  }
  messages.ShowMessage(MessageIcon::Information, kGenerated);
  return GenerationOutcome::Generated;
}

}  // namespace app
