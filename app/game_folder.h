// Finding and checking the game folder: it must hold the fonts.wtd of all
// three variants, possibly below a "GTAIV" subfolder, and the localisation
// patch's char_table.dat.
#pragma once

#include <string>
#include <string_view>

#include "app/discovery/registry.h"
#include "app/message.h"
#include "common/file_system.h"

namespace app {

/// The subfolder where the game files may sit below a found folder.
inline constexpr char kGameSubfolder[] = "GTAIV";

/// True when `path` names an existing regular file (links followed). False
/// when it, or a folder on its way, does not exist, when the name is invalid,
/// or when it names a folder or another kind of entry. Any other failure of
/// the query (access denied on a folder on the way) throws its own code.
bool IsRegularFile(common::FileSystem& fs, const common::Path& path);

/// True when all three variants' fonts.wtd exist under `folder`, tested in
/// processing order and stopping at the first missing one.
bool HasAllFontsWtd(common::FileSystem& fs, const common::Path& folder);

/// Leaves `folder` alone and returns true when it holds all fonts.wtd files;
/// otherwise appends "GTAIV" to it and tests that instead.
bool ResolveGameFolder(common::FileSystem& fs, common::Path& folder);

/// What a folder lacks to be the game folder, for the details of the
/// fonts.wtd warnings: the folder, which of the variants' fonts.wtd (and,
/// when `withTable`, char_table.dat) are missing there and in its GTAIV
/// subfolder, and a hint where the player picked a file, a missing path, a
/// folder inside the game (pc, textures) or the Steam library's common
/// folder. Never throws: a failed test counts as missing.
std::string FolderProblem(common::FileSystem& fs, const common::Path& folder,
                          bool withTable);

/// True when char_table.dat exists under `folder`.
bool HasCharacterTable(common::FileSystem& fs, const common::Path& folder);

/// The warning for a folder without a usable char_table.dat: `missing`, or
/// kCharacterTableNotAFile where something else is at its name. Never
/// throws: a failed test counts as missing.
const char* CharacterTableWarning(common::FileSystem& fs,
                                  const common::Path& folder,
                                  const char* missing);

/// Reads source 1, or source 2 only when source 1 cannot be read at all,
/// validates the folder and stores it in `gameFolder` (with "GTAIV" appended
/// where the files are found there). Otherwise shows one of three warnings
/// (`notFound` when no folder is recorded; the command line says how to
/// name one) with the folder's problem in the details, and leaves
/// `gameFolder` unchanged. Never throws for a failed read or a failed file
/// test: they are logged. Returns whether a folder was stored.
bool DetectGameFolder(common::FileSystem& fs, MessageSink& messages,
                      RegistryReader& registry, common::Path& gameFolder,
                      std::string_view notFound = {});

/// The validation of a folder the user picked by hand: stores it (resolved)
/// in `gameFolder`, or shows one of two warnings and leaves `gameFolder`
/// unchanged. A file test that fails for another reason than absence
/// throws, for the picker's catch-all. Returns whether it was stored.
bool AcceptChosenFolder(common::FileSystem& fs, MessageSink& messages,
                        common::Path chosen, common::Path& gameFolder);

// Messages of the two operations.
inline constexpr char kNoGameFolderFound[] = "无法找到游戏目录，请手动选择";
/// The command line's words for it.
inline constexpr char kNoGameFolderFoundCommandLine[] =
    "无法找到游戏目录，请用 --game-folder 指定游戏目录，例如: --game-folder "
    "\"~/.local/share/Steam/steamapps/common/Grand Theft Auto IV\"";
inline constexpr char kDetectedWithoutFontsWtd[] =
    "找到游戏目录，但缺少 "
    "fonts.wtd。\n请确认已正确安装游戏，可尝试验证完整性。";
inline constexpr char kDetectedWithoutCharacterTable[] =
    "找到游戏目录，但缺少 char_table.dat。\n请确认已安装汉化补丁。";
inline constexpr char kChosenWithoutFontsWtd[] =
    "选择的目录下未找到 fonts.wtd。";
/// Something that is no file is at the table's name (a pipe, a device, a
/// folder): said as what it is, rather than as missing.
inline constexpr char kCharacterTableNotAFile[] =
    "游戏目录下的 char_table.dat 不是普通文件 "
    "(是文件夹、管道或设备)，无法读取。";
inline constexpr char kChosenWithoutCharacterTable[] =
    "选择的目录下未找到 char_table.dat。\n请确认已安装汉化补丁。";

}  // namespace app
