#include "app/generation.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "app/character_table.h"
#include "app/game_folder.h"
#include "app/game_folder_lock.h"
#include "app/original_backup.h"
#include "app/progress.h"
#include "common/result.h"
#include "common/text.h"
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

std::string Note(const char* format, std::size_t count) {
  char line[160];
  std::snprintf(line, sizeof line, format, count);
  return line;
}

// Returns the findings of the atlas, or nothing when a strict run stopped
// at them before writing.
// `where` follows the run, so that a failure can say what it was doing.
std::optional<render::GlyphFindings> RunPipeline(
    const GenerationServices& services, const GenerationSettings& settings,
    GenerationFailure& where) {
  where = {"读取字符表", AppendPath(settings.gameFolder, CharacterTablePath())};
  CharacterTable table = TimeStage(services.onStage, where.step, [&] {
    return ReadTableOf(services.fs, settings.gameFolder);
  });
  std::vector<Episode> chosen;
  for (Episode episode : kEpisodeOrder)
    if (settings.episodes.contains(episode)) chosen.push_back(episode);
  // No restore or other generation on this folder from the first read of a
  // fonts.wtd to the last replace.
  where = {"锁定游戏目录", GameFolderLockPath(settings.gameFolder)};
  auto lock = LockGameFolder(services.fs, settings.gameFolder);
  // Files are opened only once the table has been read.
  std::optional<VariantPreparer> preparer;
  if (!services.straightforwardWriter)
    preparer.emplace(services.fs, settings.gameFolder, chosen);

  where = {"绘制贴图", {}};
  BuiltAtlas atlas = services.buildAtlas(
      render::GlyphFonts{settings.mainFont, settings.symbolFont},
      settings.renderEngine, settings.quoteStyle == QuoteStyle::CurlyQuotes,
      table);
  // The player hears of missing characters before any file is written.
  if (services.onFindings) services.onFindings(atlas.findings);
  if (services.strict && !atlas.findings.empty()) return std::nullopt;
  const texture::CompressedImage& image = atlas.image;
  // The variants store the same texture: it is deflated once.
  resource::DeflatedBlockCache cache(image);
  resource::SaveOptions options;
  options.cache = &cache;
  options.straightforward = services.straightforwardWriter;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    const std::string name(EpisodeName(chosen[i]));
    common::Path destination = WtdPath(settings.gameFolder, chosen[i]);
    TimeStage(services.onStage, "写入 " + name, [&] {
      where = {"创建文件夹", destination.parent_path()};
      std::filesystem::create_directories(destination.parent_path());
      if (!preparer) {
        where = {"备份 " + name, BackupPathFor(destination)};
        KeepOriginalOnce(services.fs, destination);
        where = {"写入 " + name, destination};
        resource::PatchFontsWtd(services.fs, destination, destination, image,
                                options);
        return;
      }
      where = {"读取 " + name, destination};
      std::unique_ptr<resource::FontPatch> patch = preparer->Take(i);
      where = {"备份 " + name, BackupPathFor(destination)};
      KeepOriginalOnce(services.fs, destination);
      where = {"写入 " + name, destination};
      patch->SetPixels(image);
      common::WriteFileAtomically(
          services.fs, destination,
          [&](common::OutputFile& out) { patch->Write(out, options); });
    });
  }
  return std::move(atlas.findings);
}

}  // namespace

std::string FitDescription(const render::FontPlacement& placement) {
  std::string text;
  auto add = [&](const char* what, int pixels) {
    if (pixels == 0) return;
    text += (text.empty() ? "" : "、") + std::string(what) + " " +
            std::to_string(pixels) + " 像素";
  };
  if (placement.size != static_cast<int>(render::kGlyphFontSize))
    add("缩小为", placement.size);
  add("整体下移", std::max(0, placement.dy));
  add("整体上移", std::max(0, -placement.dy));
  add("整体右移", std::max(0, placement.dx));
  add("整体左移", std::max(0, -placement.dx));
  return text;
}

std::string ClosingMessage(const render::GlyphFindings& findings) {
  std::string text = kGenerated;
  if (!findings.overflow.empty())
    text += Note(kOverflowNote, findings.overflow.size());
  if (!findings.fallback.empty())
    text += Note(kFallbackNote, findings.FallbackCount());
  if (!findings.missing.empty())
    text += Note(kMissingNote, findings.missing.size());
  if (!findings.cut.empty()) text += Note(kCutNote, findings.cut.size());
  if (!findings.bled.empty()) text += Note(kBledNote, findings.bled.size());
  for (const render::FontAdjustment& adjustment : findings.adjustments) {
    char line[512];
    std::snprintf(line, sizeof line, kFitNote,
                  common::Utf16ToUtf8(adjustment.face).c_str(),
                  FitDescription(adjustment.placement).c_str());
    text += line;
  }
  return text;
}

GenerationOutcome GenerateFontTexture(const GenerationServices& services,
                                      const GenerationSettings& settings) {
  MessageSink& messages = services.messages;
  std::optional<render::GlyphFindings> findings;
  GenerationFailure where{"检查游戏目录", settings.gameFolder};
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
    findings = RunPipeline(services, settings, where);
  } catch (...) {
    // A table test that fails for another reason than absence lands here as
    // well: something is wrong with the folder, and the user should hear so.
    where.hr = LOG_CAUGHT_EXCEPTION();
    where.detail = common::CaughtMessage();
    messages.ShowMessage(MessageIcon::Error, kGenerationFailed);
    if (services.onFailure) services.onFailure(where);
    return GenerationOutcome::Failed;
  }
  if (!findings) {
    messages.ShowMessage(MessageIcon::Error, kStrictStopped);
    return GenerationOutcome::Failed;
  }
  // A font moved to keep its glyphs whole is news, not a warning.
  render::GlyphFindings problems = *findings;
  problems.adjustments.clear();
  messages.ShowMessage(ClosingMessage(problems) == kGenerated
                           ? MessageIcon::Information
                           : MessageIcon::Warning,
                       ClosingMessage(*findings));
  return GenerationOutcome::Generated;
}

}  // namespace app
