// The generation command: from the user's choices to patched fonts.wtd
// files, ending in at most one message.
#pragma once

#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/episode.h"
#include "app/message.h"
#include "common/file_system.h"
#include "common/hresult.h"
#include "render/drawing_check.h"
#include "render/font.h"
#include "resource/parallel_deflate.h"
#include "texture/image.h"

namespace app {

enum class QuoteStyle { CornerBrackets, CurlyQuotes };

/// The choices a generation works from.
struct GenerationSettings {
  render::LogFont mainFont;
  render::LogFont symbolFont;
  QuoteStyle quoteStyle = QuoteStyle::CornerBrackets;
  render::RenderEngine renderEngine = render::RenderEngine::DirectWrite;
  /// Empty until a folder has passed validation.
  common::Path gameFolder;
  std::set<Episode> episodes;
};

/// A drawn and compressed atlas, and what the player should hear about its
/// glyphs. A bare image has no findings.
struct BuiltAtlas {
  BuiltAtlas(texture::CompressedImage drawn) : image(std::move(drawn)) {}
  BuiltAtlas(texture::CompressedImage drawn, render::GlyphFindings found)
      : image(std::move(drawn)), findings(std::move(found)) {}
  texture::CompressedImage image;
  render::GlyphFindings findings;
  /// The image's blocks deflated for the files, when the builder made them
  /// with the blocks; empty otherwise, and the writer deflates them.
  resource::DeflatedRun deflatedTexture;
};

/// Draws, checks and compresses the atlas of `text` (CheckedAtlasBuilder),
/// or a stand-in in tests. Throws when the drawing fails its check.
using AtlasBuilder = std::function<BuiltAtlas(
    const render::GlyphFonts& fonts, render::RenderEngine engine,
    bool curlyQuotes, std::u16string_view text)>;

/// Hears the glyph findings of the atlas before any file is written.
using FindingsObserver = std::function<void(const render::GlyphFindings&)>;

/// Hears of each finished stage, for progress on the command line.
using StageObserver = std::function<void(
    std::string_view stage, std::chrono::steady_clock::duration elapsed)>;

/// Where a failed generation stopped: the step (as its progress names it),
/// the file it was working on (empty for none) and the failure's code.
struct GenerationFailure {
  std::string step;
  common::Path file;
  HRESULT hr = 0;
  std::string detail;  ///< the failure's own words, in Chinese; may be empty
  /// The variants that still hold this run's new fonts.wtd: a failure
  /// among the replacements puts back the files already replaced, and only
  /// those it could not put back stay here, each with the copy that holds it
  /// as it was before the run (stillNewCopies). None when every file is as
  /// it was before the run.
  std::vector<Episode> replaced;
  std::vector<common::Path> stillNewCopies;
};
using FailureObserver = std::function<void(const GenerationFailure&)>;

/// Hears of each game file a run replaced, and of the backup it kept of the
/// file's original (empty when the backup was there from an earlier run),
/// once every chosen file has been replaced.
using WrittenObserver = std::function<void(
    Episode episode, const common::Path& file, const common::Path& backup)>;

/// What a generation reaches its files and the user through.
struct GenerationServices {
  common::FileSystem& fs;
  MessageSink& messages;
  AtlasBuilder buildAtlas;
  StageObserver onStage;  ///< may be empty
  /// Any glyph finding is a failure, and nothing is written.
  bool strict = false;
  FindingsObserver onFindings;  ///< may be empty
  /// Hears why a run failed, after the fixed error message: the command
  /// line prints it; the dialog keeps to its one text. May be empty.
  FailureObserver onFailure;
  WrittenObserver onWritten;  ///< may be empty
  /// Hears the one line that says how an interrupted earlier run was
  /// finished or undone before this one began. Where empty, the line opens
  /// the run's closing message.
  std::function<void(const std::string&)> onRecovered;
};

/// The platform's engines as an AtlasBuilder, with the drawing checked.
AtlasBuilder SystemAtlasBuilder();

/// How a run ended; the dialog ignores it, the command line turns it into an
/// exit code.
enum class GenerationOutcome { Generated, Warned, NothingSelected, Failed };

/// The command. Validates the choices (a problem is a warning and nothing
/// is read or written; no variant chosen ends silently), then reads the
/// table, builds the atlas once and patches the chosen variants, all or
/// none: every variant's file is read, checked and written beside it
/// before the first one is replaced, in the order IV, TBoGT, TLAD, each
/// kept as it was in its backup when it has none yet. The replacements are
/// one commit: an earlier run interrupted among them is first finished or
/// undone, and told of, and a failure among them puts back the files already
/// replaced. Any failure after validation is logged and shown as one fixed
/// error, and changes nothing where the undo succeeds. The closing message
/// tells of characters the texture lacks or draws with another font (icon
/// Warning then); with `strict` such findings fail the run before anything is
/// written. Throws nothing once validation has passed.
GenerationOutcome GenerateFontTexture(const GenerationServices& services,
                                      const GenerationSettings& settings);

// Messages of the command.
inline constexpr char kFontNotChosen[] = "尚未选择字体";
inline constexpr char kGameFolderNotChosen[] = "尚未选择游戏目录";
inline constexpr char kCharacterTableMissing[] =
    "游戏目录下找不到 char_table.dat，请确认已安装汉化补丁。";
inline constexpr char kGenerated[] = "生成成功";
inline constexpr char kGenerationFailed[] =
    "生成贴图时出现错误。\n如果已经替换汉化贴图，请尝试还原原版贴图。";
/// Lines after kGenerated, each with its count in place of %zu.
inline constexpr char kOverflowNote[] =
    "\n\n有 %zu 个字符超出贴图容量（最多 3968 个），未能写入。";
inline constexpr char kFallbackNote[] =
    "\n\n有 %zu 个字符所选字体中没有，已用其他字体绘制。";
inline constexpr char kMissingNote[] =
    "\n\n有 %zu 个字符任何已安装字体中都没有，在游戏中将显示为空白。";
inline constexpr char kCutNote[] =
    "\n\n有 %zu 个字符超出格子，在游戏中会被裁切。";
inline constexpr char kBledNote[] =
    "\n\n有 %zu 个字符的格子混入了相邻字形的笔画。";
inline constexpr char kAloneNote[] =
    "\n\n有 %zu 个字符超出格子，已单独移入（必要时缩小）自己的格子。";
/// A font moved or shrunk to keep its glyphs whole: its face (or both
/// faces, moved together) and what was done, as FitDescription words it.
inline constexpr char kFitNote[] = "\n\n字体“%s”的字形超出格子，已%s。";
/// The end of a strict run with findings (the command line's --strict).
inline constexpr char kStrictStopped[] =
    "贴图不完整（见上），按 --strict 的要求未写入任何文件。";

/// kGenerated with one line per finding the game shows (characters past the
/// grid, drawn by a fallback face, blank, cut or with a neighbour's ink) and
/// per font moved or shrunk to fit its cells.
std::string ClosingMessage(const render::GlyphFindings& findings);

/// What was done to a font to keep its glyphs in their cells, in Chinese:
/// "缩小为 52 像素、整体下移 3 像素".
std::string FitDescription(const render::FontPlacement& placement);

/// The fonts placed away from the engine's placement, one entry for both
/// when they moved together (the usual case: one offset for every face).
struct FontAdjustmentText {
  std::string role;  ///< "主字体", "符号字体", or "主字体和符号字体"
  std::vector<std::string> faces;  ///< one, or two different faces
  std::string what;                ///< FitDescription of the placement
};
std::vector<FontAdjustmentText> DescribeAdjustments(
    const render::GlyphFindings& findings);

}  // namespace app
