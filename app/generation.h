// The generation command: from the user's choices to patched fonts.wtd
// files, ending in at most one message.
#pragma once

#include <chrono>
#include <functional>
#include <set>
#include <string_view>

#include "app/episode.h"
#include "app/message.h"
#include "common/file_system.h"
#include "render/font.h"
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

/// Draws and compresses the atlas of `text`: render::BuildGlyphAtlas, or a
/// stand-in in tests.
using AtlasBuilder = std::function<texture::CompressedImage(
    const render::GlyphFonts& fonts, render::RenderEngine engine,
    bool curlyQuotes, std::u16string_view text)>;

/// Hears of each finished stage, for progress on the command line.
using StageObserver = std::function<void(
    std::string_view stage, std::chrono::steady_clock::duration elapsed)>;

/// What a generation reaches its files and the user through.
struct GenerationServices {
  common::FileSystem& fs;
  MessageSink& messages;
  AtlasBuilder buildAtlas;
  StageObserver onStage;  ///< may be empty
  /// Write each file with the plain one-stream writer and no shared deflate
  /// of the texture: the reference the benchmark compares against.
  bool straightforwardWriter = false;
};

/// render::BuildGlyphAtlas as an AtlasBuilder.
AtlasBuilder SystemAtlasBuilder();

/// How a run ended; the dialog ignores it, the command line turns it into an
/// exit code.
enum class GenerationOutcome { Generated, Warned, NothingSelected, Failed };

/// The command. Validates the choices (a problem is a warning and nothing
/// is read or written; no variant chosen ends silently), then reads the
/// table, builds the atlas once and patches each chosen variant in the order
/// IV, TBoGT, TLAD, creating its folder first and keeping the file as it was
/// in its backup when it has none yet. Any failure after validation
/// is logged and shown as one fixed error; variants patched before it stay
/// patched. Throws nothing once validation has passed.
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

}  // namespace app
