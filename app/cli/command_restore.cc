// `karstel restore`: the undo of generate. Each chosen variant's fonts.wtd
// gets back the bytes it had before Karstel first wrote it.
#include <algorithm>

#include "app/cli/command.h"
#include "app/cli/command_options.h"
#include "app/discovery/registry.h"
#include "app/episode.h"
#include "app/game_folder.h"
#include "app/game_folder_lock.h"
#include "app/original_backup.h"
#include "app/replacement_journal.h"
#include "common/text.h"

namespace app {
namespace {

const CommandSyntax kSyntax{
    "restore",
    "[--game-folder DIR] [--variants IV,TLAD,TBoGT]",
    "用第一次生成前留下的备份 (fonts.wtd.karstel-backup) 还原所选版本的\n"
    "fonts.wtd，然后删除备份。",
    {},
    {{"--game-folder", "DIR", "游戏目录；不指定时自动查找"},
     {"--variants", "LIST", "要还原的版本，如 IV,TLAD (默认全部)"}}};

int Usage(const CommandContext& context, const std::string& error) {
  return UsageError(context, kSyntax, error);
}

// The folder named on the command line, or below it in "GTAIV" where the
// game's files are found there. Restoring needs neither the character table
// nor every variant's file: a player may have removed either since.
common::Path FolderGiven(common::FileSystem& fs, const std::string& text) {
  common::Path folder = common::PathFromUtf8(text);
  common::Path resolved = folder;
  return ResolveGameFolder(fs, resolved) ? resolved : folder;
}

}  // namespace

int RunRestore(const CommandContext& context, Arguments args) {
  if (WantsHelp(args)) return PrintCommandHelp(context, kSyntax);
  std::string error;
  auto options = ParseOptions(args, kSyntax, error);
  if (!options) return Usage(context, error);
  if (!options->positional.empty())
    return Usage(context, "多余的参数: " + options->positional[0]);
  auto episodes =
      ParseVariants(options->Value("--variants").value_or("IV,TBoGT,TLAD"));
  if (!episodes || episodes->empty())
    return Usage(context, "--variants 只能列出 IV、TLAD、TBoGT");

  common::Path gameFolder;
  try {
    if (auto folder = options->Value("--game-folder")) {
      gameFolder = FolderGiven(context.fs, *folder);
    } else {
      TerminalMessageSink messages(context.out, context.err);
      auto registry = MakeSystemRegistryReader();
      if (!DetectGameFolder(context.fs, messages, *registry, gameFolder,
                            kNoGameFolderFoundCommandLine))
        return kExitWarning;
    }
  } catch (...) {
    return ReportFailure(context, "无法检查游戏目录");
  }

  // A mistyped folder is not "nothing to restore": it is no game folder.
  bool anyFile = false;
  try {
    for (Episode episode : kEpisodeOrder) {
      common::Path wtd = AppendPath(gameFolder, FontsWtdPath(episode));
      anyFile =
          anyFile || context.fs.StatusOf(wtd) != common::EntryKind::Absent ||
          context.fs.StatusOf(BackupPathFor(wtd)) != common::EntryKind::Absent;
    }
  } catch (...) {
    return ReportFailure(context,
                         "无法检查游戏目录 " + common::PathToUtf8(gameFolder));
  }
  if (!anyFile) {
    context.err
        << "karstel: 错误: " << common::PathToUtf8(gameFolder)
        << " 不是游戏目录：其中没有任何版本的 fonts.wtd，也没有它们的备份\n";
    std::string problem = FolderProblem(context.fs, gameFolder, false);
    for (std::size_t start = 0; start < problem.size();) {
      std::size_t end = std::min(problem.find('\n', start), problem.size());
      context.err << "karstel: " << problem.substr(start, end - start) << "\n";
      start = end + 1;
    }
    return kExitError;
  }

  // A generation on this folder must not lose its backup half-way.
  std::unique_ptr<common::FileLock> lock;
  try {
    lock = LockGameFolder(context.fs, gameFolder);
  } catch (...) {
    return ReportFailure(context,
                         "无法锁定游戏目录 " + common::PathToUtf8(gameFolder));
  }
  // An interrupted generation is finished or undone first: the files are
  // then all of one run, and the backups are what they say.
  try {
    std::string told = FinishInterruptedRun(context.fs, gameFolder);
    if (!told.empty()) context.err << "karstel: " << told << "\n";
    RemoveLeftovers(context.fs, gameFolder);
  } catch (...) {
    return ReportFailure(context, "无法处理上次中断的生成");
  }
  int restored = 0, refused = 0;
  for (Episode episode : kEpisodeOrder) {
    if (!episodes->contains(episode)) continue;
    common::Path wtd = AppendPath(gameFolder, FontsWtdPath(episode));
    std::string name(EpisodeName(episode));
    std::string backup = common::PathToUtf8(BackupPathFor(wtd));
    RestoreOutcome outcome;
    try {
      outcome = RestoreOriginal(context.fs, wtd);
    } catch (...) {
      return ReportFailure(context,
                           name + ": 无法还原 " + common::PathToUtf8(wtd));
    }
    switch (outcome) {
      case RestoreOutcome::Restored:
        ++restored;
        context.out << name << ": 已还原 " << common::PathToUtf8(wtd) << "\n";
        break;
      case RestoreOutcome::NoBackup:
        context.err << "karstel: " << name << ": 没有备份 " << backup
                    << "，未做更改\n";
        break;
      case RestoreOutcome::DamagedBackup:
        ++refused;
        context.err << "karstel: " << name << ": 备份 " << backup
                    << " 不是有效的 fonts.wtd (可能已损坏)，未还原\n";
        break;
      case RestoreOutcome::BackupNotRegular:
        ++refused;
        context.err << "karstel: " << name << ": 备份 " << backup
                    << " 不是普通文件 (可能是链接)，为安全起见未还原\n";
        break;
    }
  }
  if (refused > 0) return kExitError;
  return restored > 0 ? kExitSuccess : kExitWarning;
}

}  // namespace app
