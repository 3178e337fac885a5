// `karstel atlas` and `karstel preview`: what the generation and the dialog's
// preview draw, written as files instead of into the game.
#include "app/atlas_builder.h"
#include "app/character_table.h"
#include "app/cli/command.h"
#include "app/cli/command_drawing.h"
#include "app/cli/command_options.h"
#include "app/cli/png_writer.h"
#include "app/episode.h"
#include "app/progress.h"
#include "common/decimal.h"
#include "common/result.h"
#include "common/text.h"
#include "render/glyph_atlas.h"
#include "render/preview.h"
#include "texture/dds.h"

namespace app {
namespace {

CommandSyntax AtlasSyntax() {
  CommandSyntax syntax{
      "atlas",
      "[--font FACE] [--symbol-font FACE] [--bold] [--italic]\n"
      "         [--quotes corner|curly] [--engine directwrite|gdiplus] "
      "[--fit auto|none]\n"
      "         (--game-folder DIR | --table char_table.dat) -o OUT "
      "[--strict] [--quiet]",
      "画出 generate 会画的字形图集，写为 OUT.png (直通 alpha) 和 OUT.dds\n"
      "(原样的 B8G8R8A8 画布)；不改动任何游戏文件。",
      {},
      DrawingOptionSyntax()};
  syntax.options.push_back({"--game-folder", "DIR", "用这个游戏目录的字符表"});
  syntax.options.push_back(
      {"--table", "FILE", "用这个字符表 (char_table.dat)"});
  syntax.options.push_back({"-o", "OUT", "输出文件名，不含 .png 和 .dds"});
  syntax.options.push_back(
      {"--strict", "", "有缺字、替代字体或被裁切的字时报错，不写入文件"});
  return syntax;
}

CommandSyntax PreviewSyntax() {
  CommandSyntax syntax{
      "preview",
      "[--font FACE] [--symbol-font FACE] [--bold] [--italic]\n"
      "         [--quotes corner|curly] [--engine directwrite|gdiplus] "
      "[--fit auto|none]\n"
      "         [--game-folder DIR | --table char_table.dat]\n"
      "         [--text 测试文本] [--size 283x252] -o preview.png",
      "把图形界面的预览写为 PNG 图片。",
      {},
      DrawingOptionSyntax()};
  syntax.options.push_back(
      {"--game-folder", "DIR", "字形的位置与这个游戏目录的字符表的图集相同"});
  syntax.options.push_back(
      {"--table", "FILE", "字形的位置与这个字符表的图集相同"});
  syntax.options.push_back({"--text", "TEXT", "预览的文字 (默认 测试文本)"});
  syntax.options.push_back(
      {"--size", "WxH", "预览区域的大小 (默认 283x252，与图形界面相同)"});
  syntax.options.push_back({"-o", "FILE.png", "输出的 PNG 文件"});
  return syntax;
}

// The text and the size of the dialog's preview as it opens.
constexpr char kPreviewText[] = "测试文本";
constexpr std::uint32_t kPreviewWidth = 283;
constexpr std::uint32_t kPreviewHeight = 252;

void WriteWhole(const CommandContext& context, const common::Path& path,
                std::span<const std::byte> bytes) {
  common::WriteFileAtomically(context.fs, path, [&](common::OutputFile& out) {
    common::WriteExactly(out, bytes);
  });
}

// "283x252" -> 283, 252; both from 1 to 16384.
bool ParseSize(std::string_view text, std::uint32_t& width,
               std::uint32_t& height) {
  std::size_t x = text.find('x');
  if (x == std::string_view::npos) return false;
  auto number = [](std::string_view digits, std::uint32_t& value) {
    auto parsed = common::ParseDecimal(digits);
    if (!parsed || *parsed < 1 || *parsed > 16384) return false;
    value = static_cast<std::uint32_t>(*parsed);
    return true;
  };
  return number(text.substr(0, x), width) && number(text.substr(x + 1), height);
}

}  // namespace

int RunAtlas(const CommandContext& context, Arguments args) {
  const CommandSyntax syntax = AtlasSyntax();
  if (WantsHelp(args)) return PrintCommandHelp(context, syntax);
  std::string error;
  auto options = ParseOptions(args, syntax, error);
  if (!options) return UsageError(context, syntax, error);
  auto drawing = ParseDrawingOptions(*options, error);
  auto folder = options->Value("--game-folder");
  auto tablePath = options->Value("--table");
  auto out = options->Value("-o");
  if (!options->positional.empty())
    error = "多余的参数: " + options->positional[0];
  else if (!out || out->empty())
    error = "缺少 -o OUT";
  else if (folder.has_value() == tablePath.has_value())
    error = "须指定 --game-folder 或 --table 之一";
  if (!drawing || !error.empty()) return UsageError(context, syntax, error);
  if (!CheckFontsAvailable(context, drawing->fonts)) return kExitError;
  bool strict = options->Flag("--strict");
  if (!CheckItalic(context, *drawing, strict)) return kExitError;

  StageObserver progress = TerminalProgress(context.err, drawing->quiet);
  try {
    common::Path table =
        folder ? AppendPath(common::PathFromUtf8(*folder), CharacterTablePath())
               : common::PathFromUtf8(*tablePath);
    CharacterTable units = TimeStage(progress, "读取字符表", [&] {
      auto file = context.fs.OpenForRead(table);
      return ReadCharacterTable(*file);
    });
    if (drawing->bestFace && !ChooseBestFace(context, *drawing, units))
      return kExitError;
    CheckedAtlas checked = DrawCheckedAtlas(
        SystemAtlasEngine(), progress, drawing->fonts, drawing->engine,
        drawing->quoteStyle == QuoteStyle::CurlyQuotes, units, drawing->fit);
    PrintGlyphFindings(context.err, checked.findings);
    if (strict && !checked.findings.empty()) {
      context.err << "karstel: 错误: 图集不完整（见上），按 --strict "
                     "的要求未写入文件\n";
      return kExitError;
    }
    render::GlyphAtlas atlas;
    atlas.pixels = checked.surface.TakePixels();
    // The DDS keeps the canvas byte for byte; the PNG shows it.
    TimeStage(progress, "写入 DDS", [&] {
      WriteWhole(context, common::PathFromUtf8(*out + ".dds"),
                 texture::BuildDdsFile(atlas.View()));
    });
    TimeStage(progress, "写入 PNG", [&] {
      UnpremultiplyBgra(atlas.pixels);
      WriteWhole(
          context, common::PathFromUtf8(*out + ".png"),
          EncodePng(render::GlyphAtlas::kWidth, render::GlyphAtlas::kHeight,
                    render::GlyphAtlas::kRowPitch, atlas.pixels));
    });
    context.out << *out << ".png\n" << *out << ".dds\n";
    return kExitSuccess;
  } catch (...) {
    return ReportFailure(context, "无法生成字形图集");
  }
}

int RunPreview(const CommandContext& context, Arguments args) {
  const CommandSyntax syntax = PreviewSyntax();
  if (WantsHelp(args)) return PrintCommandHelp(context, syntax);
  std::string error;
  auto options = ParseOptions(args, syntax, error);
  if (!options) return UsageError(context, syntax, error);
  auto drawing = ParseDrawingOptions(*options, error);
  auto out = options->Value("-o");
  std::string text = options->Value("--text").value_or(kPreviewText);
  std::uint32_t width = kPreviewWidth, height = kPreviewHeight;
  if (auto size = options->Value("--size");
      size && !ParseSize(*size, width, height))
    error = "--size 须为 宽x高, 如 283x252";
  if (text.empty()) error = "--text 不能为空";
  auto folder = options ? options->Value("--game-folder") : std::nullopt;
  auto tablePath = options ? options->Value("--table") : std::nullopt;
  if (folder && tablePath) error = "--game-folder 与 --table 只能选一个";
  if (!options->positional.empty())
    error = "多余的参数: " + options->positional[0];
  else if (error.empty() && (!out || out->empty()))
    error = "缺少 -o FILE.png";
  if (!drawing || !error.empty()) return UsageError(context, syntax, error);
  if (!CheckFontsAvailable(context, drawing->fonts)) return kExitError;
  if (!CheckItalic(context, *drawing, false)) return kExitError;
  if (drawing->bestFace &&
      !ChooseBestFace(context, *drawing, common::Utf8ToUtf16(text)))
    return kExitError;

  try {
    bool curly = drawing->quoteStyle == QuoteStyle::CurlyQuotes;
    // With a table, the glyphs sit where its atlas puts them.
    std::optional<render::GlyphPlacement> placement;
    if ((folder || tablePath) && drawing->fit == render::FitMode::Fit) {
      common::Path table = folder ? AppendPath(common::PathFromUtf8(*folder),
                                               CharacterTablePath())
                                  : common::PathFromUtf8(*tablePath);
      auto file = context.fs.OpenForRead(table);
      placement = render::PlanTablePlacement(drawing->fonts, drawing->engine,
                                             curly, ReadCharacterTable(*file));
    }
    render::PreviewImage image = render::DrawPreview(
        drawing->fonts, drawing->engine, curly, common::Utf8ToUtf16(text),
        width, height, drawing->fit, placement ? &*placement : nullptr);
    WriteWhole(
        context, common::PathFromUtf8(*out),
        EncodePng(image.width, image.height, image.width * 4, image.pixels));
    context.out << *out << "\n";
    return kExitSuccess;
  } catch (...) {
    // The dialog's own words for a failed preview.
    return ReportFailure(context, "生成预览时出现错误");
  }
}

}  // namespace app
