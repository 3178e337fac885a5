#include "app/generation.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <vector>

#include "app/character_table.h"
#include "app/failure_text.h"
#include "app/game_folder.h"
#include "app/game_folder_lock.h"
#include "app/original_backup.h"
#include "app/progress.h"
#include "app/replacement_journal.h"
#include "common/result.h"
#include "common/text.h"
#include "resource/font_pipeline.h"

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

std::string Note(const char* format, std::size_t count) {
  char line[160];
  std::snprintf(line, sizeof line, format, count);
  return line;
}

// Times the steps of the writing as stages: each variant's new file
// (waiting for its preparation included), then the replacement of them all.
class WritingStages {
 public:
  explicit WritingStages(const StageObserver& observer) : observer_(observer) {}
  void Start(std::string stage) {
    Finish();
    stage_ = std::move(stage);
    start_ = std::chrono::steady_clock::now();
  }
  void Finish() {
    if (observer_ && !stage_.empty())
      observer_(stage_, std::chrono::steady_clock::now() - start_);
    stage_.clear();
  }

 private:
  const StageObserver& observer_;
  std::string stage_;
  std::chrono::steady_clock::time_point start_;
};

// Returns the findings of the atlas, or nothing when a strict run stopped
// at them before writing.
// `where` follows the run, so that a failure can say what it was doing.
std::optional<render::GlyphFindings> RunPipeline(
    const GenerationServices& services, const GenerationSettings& settings,
    GenerationFailure& where, std::string& recovered) {
  where = {"读取字符表", AppendPath(settings.gameFolder, CharacterTablePath())};
  CharacterTable table = TimeStage(services.onStage, where.step, [&] {
    return ReadTableOf(services.fs, settings.gameFolder);
  });
  std::vector<Episode> chosen;
  std::vector<resource::FontFile> files;
  for (Episode episode : kEpisodeOrder) {
    if (!settings.episodes.contains(episode)) continue;
    chosen.push_back(episode);
    common::Path wtd = WtdPath(settings.gameFolder, episode);
    files.push_back({wtd, wtd});
  }
  // No restore or other generation on this folder from the first read of a
  // fonts.wtd to the last replace.
  where = {"锁定游戏目录", GameFolderLockPath(settings.gameFolder)};
  auto lock = LockGameFolder(services.fs, settings.gameFolder);
  // An earlier run killed among its replacements is settled before any
  // file is read: this run must start from all variants old or all new.
  where = {"恢复上次中断的生成", JournalPath(settings.gameFolder)};
  recovered = FinishInterruptedRun(services.fs, settings.gameFolder);
  if (!recovered.empty() && services.onRecovered)
    services.onRecovered(recovered);
  RemoveLeftovers(services.fs, settings.gameFolder);
  // Files are opened only once the table has been read; they are prepared
  // while the atlas is drawn.
  resource::FontTexturePipeline pipeline(services.fs, files);

  where = {"绘制贴图", {}};
  BuiltAtlas atlas = services.buildAtlas(
      render::GlyphFonts{settings.mainFont, settings.symbolFont},
      settings.renderEngine, settings.quoteStyle == QuoteStyle::CurlyQuotes,
      table);
  // The player hears of missing characters before any file is written.
  if (services.onFindings) services.onFindings(atlas.findings);
  if (services.strict && !atlas.findings.empty()) return std::nullopt;

  WritingStages stages(services.onStage);
  auto onStep = [&](resource::PipelineStep step, std::size_t i) {
    const std::string name(EpisodeName(chosen[i]));
    const common::Path& file = files[i].destination;
    switch (step) {
      case resource::PipelineStep::Read:
        stages.Start("写入 " + name);
        where = {"读取 " + name, file};
        break;
      case resource::PipelineStep::Write:
        where = {"写入 " + name, file};
        break;
      case resource::PipelineStep::KeepOriginal:
        if (i == 0) stages.Start("替换游戏文件");
        where = {"备份 " + name, BackupPathFor(file)};
        break;
      case resource::PipelineStep::Replace:
        where = {"替换 " + name, file};
        break;
    }
  };
  // Each original is kept before any file is replaced, and so is each file
  // as it is now, which an undo puts back: where the backup is written in
  // this run, it is that copy. A backup made in a run that then changed
  // nothing is taken back.
  const common::Path& folder = settings.gameFolder;
  std::vector<common::Path> keptNowAll;
  Journal journal;
  auto keepOriginal = [&](std::size_t i) {
    const common::Path& wtd = files[i].destination;
    bool kept = KeepOriginalOnce(services.fs, wtd);
    if (kept)
      keptNowAll.push_back(BackupPathFor(wtd));
    else
      KeepBeforeRun(services.fs, wtd);
    journal.entries.push_back({chosen[i], {}, kept});
  };
  auto beforeReplacing = [&](const std::vector<common::Path>& newFiles) {
    for (std::size_t i = 0; i < newFiles.size(); ++i)
      journal.entries[i].newFile = newFiles[i].filename();
    where = {"写入替换记录", JournalPath(folder)};
    WriteJournal(services.fs, folder, journal);
  };
  std::optional<UndoOutcome> undo;
  auto replaceFailed = [&](std::size_t replaced) {
    try {
      undo = UndoRun(services.fs, folder, journal, replaced);
    } catch (...) {
      // Out of memory: the journal stays, and the next run undoes.
      undo = UndoOutcome{{{chosen[0], LOG_CAUGHT_EXCEPTION()}}};
    }
  };
  if (!atlas.deflatedTexture.compressed.empty())
    pipeline.SetDeflatedTexture(std::move(atlas.deflatedTexture));
  try {
    pipeline.Write(atlas.image, onStep, keepOriginal, beforeReplacing,
                   replaceFailed);
  } catch (...) {
    if (!undo) {
      // Nothing was replaced. A journal that stays must keep the copies it
      // names: from them, the next run sees that nothing was replaced.
      services.fs.RemoveFile(JournalPath(folder));
      bool journalGone = false;
      try {
        journalGone = services.fs.EntryKindOf(JournalPath(folder)) ==
                      common::EntryKind::Absent;
      } catch (...) {
        LOG_CAUGHT_EXCEPTION();
      }
      if (journalGone) {
        for (const common::Path& backup : keptNowAll)
          services.fs.RemoveFile(backup);
        for (const JournalEntry& entry : journal.entries)
          services.fs.RemoveFile(BeforeRunPathFor(WtdOf(folder, entry)));
      }
    }
    if (undo)
      for (const auto& [episode, hr] : undo->stillNew) {
        where.replaced.push_back(episode);
        where.stillNewCopies.push_back(BeforeRunOf(
            folder,
            *std::find_if(journal.entries.begin(), journal.entries.end(),
                          [episode = episode](const JournalEntry& e) {
                            return e.episode == episode;
                          })));
      }
    throw;
  }
  // Committed: the journal goes first, then the copies it named.
  services.fs.RemoveFile(JournalPath(folder));
  for (const JournalEntry& entry : journal.entries)
    if (!entry.keptInBackup)
      services.fs.RemoveFile(BeforeRunPathFor(WtdOf(folder, entry)));
  stages.Finish();
  if (services.onWritten) {
    for (std::size_t i = 0; i < chosen.size(); ++i) {
      common::Path backup = BackupPathFor(files[i].destination);
      bool keptNow = std::find(keptNowAll.begin(), keptNowAll.end(), backup) !=
                     keptNowAll.end();
      services.onWritten(chosen[i], files[i].destination,
                         keptNow ? backup : common::Path{});
    }
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
  if (!findings.alone.empty()) text += Note(kAloneNote, findings.alone.size());
  for (const FontAdjustmentText& adjustment : DescribeAdjustments(findings)) {
    char line[512];
    std::string faces = adjustment.faces[0];
    if (adjustment.faces.size() > 1) faces += "”和“" + adjustment.faces[1];
    std::snprintf(line, sizeof line, kFitNote, faces.c_str(),
                  adjustment.what.c_str());
    text += line;
  }
  return text;
}

std::vector<FontAdjustmentText> DescribeAdjustments(
    const render::GlyphFindings& findings) {
  std::vector<FontAdjustmentText> lines;
  const auto& adjustments = findings.adjustments;
  if (adjustments.size() == 2 &&
      adjustments[0].placement.size == adjustments[1].placement.size &&
      adjustments[0].placement.dx == adjustments[1].placement.dx &&
      adjustments[0].placement.dy == adjustments[1].placement.dy) {
    std::vector<std::string> faces{common::Utf16ToUtf8(adjustments[0].face)};
    if (adjustments[1].face != adjustments[0].face)
      faces.push_back(common::Utf16ToUtf8(adjustments[1].face));
    lines.push_back(
        {"主字体和符号字体", faces, FitDescription(adjustments[0].placement)});
    return lines;
  }
  for (const render::FontAdjustment& adjustment : adjustments) {
    lines.push_back(
        {adjustment.font == render::GlyphFont::Main ? "主字体" : "符号字体",
         {common::Utf16ToUtf8(adjustment.face)},
         FitDescription(adjustment.placement)});
  }
  return lines;
}

GenerationOutcome GenerateFontTexture(const GenerationServices& services,
                                      const GenerationSettings& settings) {
  MessageSink& messages = services.messages;
  std::optional<render::GlyphFindings> findings;
  GenerationFailure where{"检查游戏目录", settings.gameFolder};
  // What became of an interrupted earlier run, told once.
  std::string recovered;
  auto told = [&](const std::string& text) {
    if (recovered.empty() || services.onRecovered) return text;
    return recovered + "\n\n" + text;
  };
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
    if (!HasCharacterTable(services.fs, settings.gameFolder)) {
      messages.ShowMessage(
          MessageIcon::Warning,
          CharacterTableWarning(services.fs, settings.gameFolder,
                                kCharacterTableMissing));
      return GenerationOutcome::Warned;
    }
    if (settings.episodes.empty()) return GenerationOutcome::NothingSelected;
    findings = RunPipeline(services, settings, where, recovered);
  } catch (...) {
    // A table test that fails for another reason than absence lands here as
    // well: something is wrong with the folder, and the user should hear so.
    where.hr = LOG_CAUGHT_EXCEPTION();
    where.detail = common::CaughtMessage();
    // The fixed text, and in its details the step, the file, the cause,
    // what to do and what changed.
    messages.ShowMessage(
        MessageIcon::Error, kGenerationFailed,
        told(FailureDetails(where) + "\n" + ChangedText(where)));
    if (services.onFailure) services.onFailure(where);
    return GenerationOutcome::Failed;
  }
  if (!findings) {
    messages.ShowMessage(MessageIcon::Error, told(kStrictStopped));
    return GenerationOutcome::Failed;
  }
  // A font moved to keep its glyphs whole is news, not a warning; a glyph
  // that had to be fitted by itself, or anything the game will lack, is.
  render::GlyphFindings problems = *findings;
  problems.adjustments.clear();
  messages.ShowMessage(ClosingMessage(problems) == kGenerated
                           ? MessageIcon::Information
                           : MessageIcon::Warning,
                       told(ClosingMessage(*findings)));
  return GenerationOutcome::Generated;
}

}  // namespace app
