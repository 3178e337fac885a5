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

constexpr char kAtlasUsage[] =
    "用法: karstel atlas [--font FACE] [--symbol-font FACE] [--bold] "
    "[--italic]\n"
    "         [--quotes corner|curly] [--engine directwrite|gdiplus] "
    "[--fit auto|none]\n"
    "         (--game-folder DIR | --table char_table.dat) -o OUT [--strict] "
    "[--quiet]\n";
constexpr char kPreviewUsage[] =
    "用法: karstel preview [--font FACE] [--symbol-font FACE] [--bold] "
    "[--italic]\n"
    "         [--quotes corner|curly] [--engine directwrite|gdiplus] "
    "[--fit auto|none]\n"
    "         [--game-folder DIR | --table char_table.dat]\n"
    "         [--text 测试文本] [--size 283x252] -o preview.png\n";

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

int Usage(const CommandContext& context, const std::string& error,
          const char* usage) {
  if (!error.empty()) context.err << "错误: " << error << "\n";
  context.err << usage;
  return kExitUsage;
}

}  // namespace

int RunAtlas(const CommandContext& context, Arguments args) {
  if (WantsHelp(args)) return PrintHelp(context, kAtlasUsage);
  std::string error;
  std::vector<std::string_view> valueOptions = kDrawingValueOptions;
  valueOptions.insert(valueOptions.end(), {"--game-folder", "--table", "-o"});
  std::vector<std::string_view> flags = kDrawingFlags;
  flags.push_back("--strict");
  auto options = ParseOptions(args, valueOptions, flags, error);
  if (!options) return Usage(context, error, kAtlasUsage);
  auto drawing = ParseDrawingOptions(*options, error);
  auto folder = options->Value("--game-folder");
  auto tablePath = options->Value("--table");
  auto out = options->Value("-o");
  if (!drawing || !out || out->empty() ||
      folder.has_value() == tablePath.has_value() ||
      !options->positional.empty())
    return Usage(context, error, kAtlasUsage);
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
      context.err << "错误: 图集不完整（见上），按 --strict 的要求未写入文件\n";
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
  if (WantsHelp(args)) return PrintHelp(context, kPreviewUsage);
  std::string error;
  std::vector<std::string_view> valueOptions = kDrawingValueOptions;
  valueOptions.insert(valueOptions.end(),
                      {"--text", "--size", "-o", "--game-folder", "--table"});
  auto options = ParseOptions(args, valueOptions, kDrawingFlags, error);
  if (!options) return Usage(context, error, kPreviewUsage);
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
  if (!drawing || !out || out->empty() || !options->positional.empty() ||
      !error.empty())
    return Usage(context, error, kPreviewUsage);
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
      placement = render::PlanGlyphPlacement(
          render::SystemGlyphRenderers(drawing->engine, drawing->fonts),
          render::CollectGlyphCells(ReadCharacterTable(*file),
                                    render::kAtlasGrid, curly));
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
