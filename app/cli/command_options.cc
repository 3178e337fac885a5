#include "app/cli/command_options.h"

#include <algorithm>

#include "common/text.h"

namespace app {
namespace {

bool Contains(const std::vector<std::string_view>& names,
              std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// The height and character set the font chooser is set up with.
constexpr std::int32_t kFontHeight = -58;
constexpr std::uint8_t kGb2312CharSet = 134;

// A record without a face name when `face` is empty.
std::optional<render::LogFont> FontFor(const std::string& face, bool bold,
                                       bool italic, std::string& error) {
  std::u16string name = common::Utf8ToUtf16(face);
  if (name.size() > 31) {
    error = "字体名称须为 1 到 31 个字符: " + face;
    return std::nullopt;
  }
  render::LogFont font;
  font.height = kFontHeight;
  font.weight = bold ? 700 : 400;
  font.italic = italic ? 1 : 0;
  font.charSet = kGb2312CharSet;
  render::SetFaceName(font, name);
  return font;
}

}  // namespace

const std::vector<std::string_view> kDrawingValueOptions = {
    "--font", "--symbol-font", "--quotes", "--engine", "--fit"};
const std::vector<std::string_view> kDrawingFlags = {"--bold", "--italic",
                                                     "--quiet"};

std::optional<std::set<Episode>> ParseVariants(std::string_view list) {
  std::set<Episode> episodes;
  while (!list.empty()) {
    std::string_view name = list.substr(0, list.find(','));
    list.remove_prefix(std::min(list.size(), name.size() + 1));
    auto it = std::find_if(kEpisodeOrder.begin(), kEpisodeOrder.end(),
                           [&](Episode e) { return EpisodeName(e) == name; });
    if (it == kEpisodeOrder.end()) return std::nullopt;
    episodes.insert(*it);
  }
  return episodes;
}

std::optional<std::string> CommandOptions::Value(std::string_view name) const {
  auto it = values.find(name);
  if (it == values.end()) return std::nullopt;
  return it->second;
}

std::optional<CommandOptions> ParseOptions(
    Arguments args, const std::vector<std::string_view>& valueOptions,
    const std::vector<std::string_view>& flagOptions, std::string& error) {
  CommandOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (!arg.starts_with("-") || arg == "-") {
      options.positional.emplace_back(arg);
      continue;
    }
    std::string name(arg.substr(0, arg.find('=')));
    std::optional<std::string> value;
    if (name.size() < arg.size())
      value = std::string(arg.substr(name.size() + 1));
    if (Contains(flagOptions, name)) {
      if (value) {
        error = "选项不带参数: " + name;
        return std::nullopt;
      }
      options.flags.insert(name);
      continue;
    }
    if (!Contains(valueOptions, name)) {
      error = "未知选项: " + std::string(arg);
      return std::nullopt;
    }
    if (!value) {
      if (i + 1 == args.size()) {
        error = "选项缺少参数: " + name;
        return std::nullopt;
      }
      value = args[++i];
    }
    if (!options.values.emplace(name, *value).second) {
      error = "选项重复: " + name;
      return std::nullopt;
    }
  }
  return options;
}

std::optional<DrawingOptions> ParseDrawingOptions(const CommandOptions& options,
                                                  std::string& error) {
  DrawingOptions drawing;
  std::optional<std::string> face = options.Value("--font");
  std::optional<std::string> symbolFace = options.Value("--symbol-font");
  for (const auto& given : {face, symbolFace}) {
    if (given && given->empty()) {
      error = "字体名称须为 1 到 31 个字符: ";
      return std::nullopt;
    }
  }
  drawing.bestFace = !face;
  drawing.symbolFontGiven = symbolFace.has_value();
  bool bold = options.Flag("--bold"), italic = options.Flag("--italic");
  auto mainFont = FontFor(face.value_or(""), bold, italic, error);
  if (!mainFont) return std::nullopt;
  // As in the dialog: without a symbol font of its own, the main font draws
  // the symbols too.
  auto symbolFont =
      FontFor(symbolFace.value_or(face.value_or("")), bold, italic, error);
  if (!symbolFont) return std::nullopt;
  drawing.fonts = {*mainFont, *symbolFont};

  std::string quotes = options.Value("--quotes").value_or("corner");
  if (quotes == "curly") {
    drawing.quoteStyle = QuoteStyle::CurlyQuotes;
  } else if (quotes != "corner") {
    error = "--quotes 只能是 corner 或 curly";
    return std::nullopt;
  }
  std::string engine = options.Value("--engine").value_or("directwrite");
  if (engine == "gdiplus") {
    drawing.engine = render::RenderEngine::GdiPlus;
  } else if (engine != "directwrite") {
    error = "--engine 只能是 directwrite 或 gdiplus";
    return std::nullopt;
  }
  std::string fit = options.Value("--fit").value_or("auto");
  if (fit == "none") {
    drawing.fit = render::FitMode::None;
  } else if (fit != "auto") {
    error = "--fit 只能是 auto 或 none";
    return std::nullopt;
  }
  drawing.quiet = options.Flag("--quiet");
  return drawing;
}

}  // namespace app
