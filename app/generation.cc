#include "app/generation.h"

#include <atomic>
#include <exception>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "app/character_table.h"
#include "app/game_folder.h"
#include "app/original_backup.h"
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

common::Path WtdPath(const common::Path& gameFolder, Episode episode) {
  return AppendPath(gameFolder, FontsWtdPath(episode));
}

// One variant's file, loaded, edited and laid out, with everything but the
// font texture already compressed; or why that failed.
struct PreparedVariant {
  std::unique_ptr<resource::FontPatch> patch;
  std::exception_ptr failure;
};

// Prepares the chosen variants' files one after another on a worker thread
// while the atlas is drawn (which keeps only one core busy), handing each
// over in processing order. A failure is kept and raised when its variant's
// turn comes, so the variants before it are still patched.
class VariantPreparer {
 public:
  VariantPreparer(common::FileSystem& fs, const common::Path& gameFolder,
                  std::vector<Episode> episodes)
      : promises_(episodes.size()) {
    for (auto& promise : promises_) futures_.push_back(promise.get_future());
    worker_ = std::thread([this, &fs, gameFolder, episodes] {
      for (std::size_t i = 0; i < episodes.size(); ++i) {
        PreparedVariant prepared;
        if (!stop_) {
          try {
            resource::ResourceFile file;
            {
              auto source = fs.OpenForRead(WtdPath(gameFolder, episodes[i]));
              file = resource::LoadResource(*source);
            }
            prepared.patch =
                std::make_unique<resource::FontPatch>(std::move(file));
            prepared.patch->ApplyPending();
            prepared.patch->PrepareStream();
          } catch (...) {
            prepared.failure = std::current_exception();
          }
        }
        promises_[i].set_value(std::move(prepared));
      }
    });
  }
  ~VariantPreparer() {
    stop_ = true;
    worker_.join();
  }
  VariantPreparer(const VariantPreparer&) = delete;
  VariantPreparer& operator=(const VariantPreparer&) = delete;

  /// Waits for the i-th variant; rethrows the failure of its preparation.
  std::unique_ptr<resource::FontPatch> Take(std::size_t i) {
    PreparedVariant prepared = futures_[i].get();
    if (prepared.failure) std::rethrow_exception(prepared.failure);
    return std::move(prepared.patch);
  }

 private:
  std::vector<std::promise<PreparedVariant>> promises_;
  std::vector<std::future<PreparedVariant>> futures_;
  std::atomic<bool> stop_{false};
  std::thread worker_;
};

void RunPipeline(const GenerationServices& services,
                 const GenerationSettings& settings) {
  CharacterTable table = TimeStage(services.onStage, "读取字符表", [&] {
    return ReadTableOf(services.fs, settings.gameFolder);
  });
  std::vector<Episode> chosen;
  for (Episode episode : kEpisodeOrder)
    if (settings.episodes.contains(episode)) chosen.push_back(episode);
  // Files are opened only once the table has been read.
  std::optional<VariantPreparer> preparer;
  if (!services.straightforwardWriter)
    preparer.emplace(services.fs, settings.gameFolder, chosen);

  texture::CompressedImage image = services.buildAtlas(
      render::GlyphFonts{settings.mainFont, settings.symbolFont},
      settings.renderEngine, settings.quoteStyle == QuoteStyle::CurlyQuotes,
      table);
  // The variants store the same texture: it is deflated once.
  resource::DeflatedBlockCache cache(image);
  resource::SaveOptions options;
  options.cache = &cache;
  options.straightforward = services.straightforwardWriter;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    std::string stage = "写入 " + std::string(EpisodeName(chosen[i]));
    TimeStage(services.onStage, stage, [&] {
      common::Path destination = WtdPath(settings.gameFolder, chosen[i]);
      std::filesystem::create_directories(destination.parent_path());
      if (!preparer) {
        KeepOriginalOnce(services.fs, destination);
        resource::PatchFontsWtd(services.fs, destination, destination, image,
                                options);
        return;
      }
      std::unique_ptr<resource::FontPatch> patch = preparer->Take(i);
      KeepOriginalOnce(services.fs, destination);
      patch->SetPixels(image);
      common::WriteFileAtomically(
          services.fs, destination,
          [&](common::OutputFile& out) { patch->Write(out, options); });
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
