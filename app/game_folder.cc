#include "app/game_folder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

#include "app/episode.h"
#include "common/hresult.h"
#include "common/result.h"
#include "common/text.h"

namespace app {
namespace {

// Reads one source into `value`, the string without its terminator. A failed
// read is logged and returns false.
bool ReadSource(RegistryReader& registry, const RegistrySource& source,
                std::u16string& value) {
  std::uint32_t error = registry.ReadFolder(source, value);
  if (error != 0) {
    LOG_HR(common::HresultFromWin32(error));
    return false;
  }
  return true;
}

common::Path PathFromUtf16(const std::u16string& text) {
  return common::PathFromUtf8(common::Utf16ToUtf8(text));
}

// A file test during detection that fails for a reason other than absence is
// logged and counts as a failed check; detection never throws at the user.
template <typename Check>
bool CheckLogged(Check check) {
  try {
    return check();
  } catch (...) {
    LOG_CAUGHT_EXCEPTION();
    return false;
  }
}

common::EntryKind KindLogged(common::FileSystem& fs, const common::Path& path) {
  try {
    return fs.StatusOf(path);
  } catch (...) {
    LOG_CAUGHT_EXCEPTION();
    return common::EntryKind::Absent;
  }
}

// "pc/textures/fonts.wtd、TLAD/pc/textures/fonts.wtd": the files of `names`
// that `folder` lacks.
std::string MissingUnder(common::FileSystem& fs, const common::Path& folder,
                         const std::vector<common::Path>& names) {
  std::string missing;
  for (const common::Path& name : names) {
    common::EntryKind kind = KindLogged(fs, AppendPath(folder, name));
    if (kind == common::EntryKind::RegularFile) continue;
    missing += (missing.empty() ? "" : "、") + common::PathToUtf8(name);
    if (kind != common::EntryKind::Absent) missing += " (不是普通文件)";
  }
  return missing;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

std::string FolderProblem(common::FileSystem& fs, const common::Path& folder,
                          bool withTable) {
  std::string shown = common::PathToUtf8(folder);
  switch (KindLogged(fs, folder)) {
    case common::EntryKind::Absent:
      return "目录: " + shown + "\n这个目录不存在。";
    case common::EntryKind::RegularFile:
      return "目录: " + shown +
             "\n这是一个文件，不是文件夹：请选择游戏的安装文件夹。";
    default:
      break;
  }
  std::vector<common::Path> names;
  for (Episode episode : kEpisodeOrder) names.push_back(FontsWtdPath(episode));
  if (withTable) names.push_back(CharacterTablePath());
  std::string missing = MissingUnder(fs, folder, names);
  std::string text = "目录: " + shown + "\n缺少: " + missing;
  if (missing.find("fonts.wtd") != std::string::npos &&
      missing.find(common::PathToUtf8(FontsWtdPath(Episode::IV)) + "、" +
                   common::PathToUtf8(FontsWtdPath(Episode::TBoGT)) + "、" +
                   common::PathToUtf8(FontsWtdPath(Episode::TLAD))) ==
          std::string::npos)
    text += "\n即使只写入其中一个版本，三个版本的 fonts.wtd 也都必须存在。";
  common::Path below = AppendPath(folder, kGameSubfolder);
  if (KindLogged(fs, below) == common::EntryKind::Folder)
    text += "\n" + std::string(kGameSubfolder) +
            " 子文件夹中缺少: " + MissingUnder(fs, below, names);
  std::string name = Lower(common::PathToUtf8(folder.filename()));
  std::string parent =
      Lower(common::PathToUtf8(folder.parent_path().filename()));
  if (name == "pc" || name == "textures" || name == "tlad" || name == "tbogt" ||
      name == "plugins" || name == "lirvane")
    text +=
        "\n这是游戏目录里面的文件夹：请选择游戏的安装文件夹 (含有 pc、"
        "TLAD 和 TBoGT 的那一个)。";
  else if (name == "common" && parent == "steamapps")
    text +=
        "\n这是 Steam 库的 common 文件夹：请选择其中的 Grand Theft Auto "
        "IV 文件夹。";
  return text;
}

bool IsRegularFile(common::FileSystem& fs, const common::Path& path) {
  return fs.StatusOf(path) == common::EntryKind::RegularFile;
}

bool HasAllFontsWtd(common::FileSystem& fs, const common::Path& folder) {
  return std::all_of(
      kEpisodeOrder.begin(), kEpisodeOrder.end(), [&](Episode episode) {
        return IsRegularFile(fs, AppendPath(folder, FontsWtdPath(episode)));
      });
}

bool ResolveGameFolder(common::FileSystem& fs, common::Path& folder) {
  if (HasAllFontsWtd(fs, folder)) return true;
  folder = AppendPath(folder, kGameSubfolder);
  return HasAllFontsWtd(fs, folder);
}

bool HasCharacterTable(common::FileSystem& fs, const common::Path& folder) {
  return IsRegularFile(fs, AppendPath(folder, CharacterTablePath()));
}

const char* CharacterTableWarning(common::FileSystem& fs,
                                  const common::Path& folder,
                                  const char* missing) {
  return KindLogged(fs, AppendPath(folder, CharacterTablePath())) ==
                 common::EntryKind::Absent
             ? missing
             : kCharacterTableNotAFile;
}

bool DetectGameFolder(common::FileSystem& fs, MessageSink& messages,
                      RegistryReader& registry, common::Path& gameFolder,
                      std::string_view notFound) {
  // Source 2 only when source 1 cannot be read at all: not when it is empty
  // and not when its folder fails the checks.
  std::u16string value;
  if (!ReadSource(registry, kRockstarSource, value))
    ReadSource(registry, kSteamSource, value);
  if (value.empty()) {
    messages.ShowMessage(MessageIcon::Warning,
                         notFound.empty() ? kNoGameFolderFound : notFound);
    return false;
  }
  const common::Path recorded = PathFromUtf16(value);
  common::Path folder = recorded;
  if (!CheckLogged([&] { return ResolveGameFolder(fs, folder); })) {
    messages.ShowMessage(MessageIcon::Warning, kDetectedWithoutFontsWtd,
                         FolderProblem(fs, recorded, false));
    return false;
  }
  if (!CheckLogged([&] { return HasCharacterTable(fs, folder); })) {
    messages.ShowMessage(
        MessageIcon::Warning,
        CharacterTableWarning(fs, folder, kDetectedWithoutCharacterTable),
        FolderProblem(fs, folder, true));
    return false;
  }
  gameFolder = std::move(folder);
  return true;
}

bool AcceptChosenFolder(common::FileSystem& fs, MessageSink& messages,
                        common::Path chosen, common::Path& gameFolder) {
  const common::Path picked = chosen;
  if (!ResolveGameFolder(fs, chosen)) {
    messages.ShowMessage(MessageIcon::Warning, kChosenWithoutFontsWtd,
                         FolderProblem(fs, picked, false));
    return false;
  }
  if (!HasCharacterTable(fs, chosen)) {
    messages.ShowMessage(
        MessageIcon::Warning,
        CharacterTableWarning(fs, chosen, kChosenWithoutCharacterTable),
        FolderProblem(fs, chosen, true));
    return false;
  }
  gameFolder = std::move(chosen);
  return true;
}

}  // namespace app
