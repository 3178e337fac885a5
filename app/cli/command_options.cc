#include "app/cli/command_options.h"

#include <algorithm>
#include <cctype>

#include "common/text.h"

namespace app {
namespace {

// Every command takes these besides its own.
constexpr OptionSyntax kQuiet = {"--quiet", "",
                                 "只显示结果、警告和错误，不显示进度"};
constexpr OptionSyntax kHelp = {"-h, --help", "", "显示本帮助"};

const OptionSyntax* FindOption(const CommandSyntax& syntax,
                               std::string_view name) {
  if (name == kQuiet.name) return &kQuiet;
  for (const OptionSyntax& option : syntax.options)
    if (option.name == name) return &option;
  return nullptr;
}

void AddRows(std::string& text, const char* heading,
             const std::vector<OptionSyntax>& rows) {
  if (rows.empty()) return;
  text += heading;
  for (const OptionSyntax& row : rows) {
    std::string left = "  " + std::string(row.name);
    if (!row.value.empty()) left += " " + std::string(row.value);
    // Names and values are ASCII: their width is their length.
    left.resize(std::max<std::size_t>(left.size() + 2, 26), ' ');
    text += left + std::string(row.help) + "\n";
  }
}

// Letter case aside, for ASCII names.
bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// The height and character set the font chooser is set up with.
constexpr std::int32_t kFontHeight = -58;
constexpr std::uint8_t kGb2312CharSet = 134;

// A face as fc-list prints it, pasted whole ("/usr/share/fonts/x.ttc:
// WenQuanYi Micro Hei,文泉驿微米黑:style=Regular") or its names alone
// ("WenQuanYi Micro Hei,文泉驿微米黑"): the first family name, which is the
// one fontconfig and the engines know the face by.
std::string FirstFamilyName(std::string_view face) {
  if (face.starts_with('/')) {
    std::size_t colon = face.find(": ");
    if (colon != std::string_view::npos) face.remove_prefix(colon + 2);
  }
  face = face.substr(0, face.find(":style="));
  face = face.substr(0, face.find(','));
  while (!face.empty() && face.front() == ' ') face.remove_prefix(1);
  while (!face.empty() && face.back() == ' ') face.remove_suffix(1);
  return std::string(face);
}

// A record without a face name when `face` is empty.
std::optional<render::LogFont> FontFor(const std::string& given, bool bold,
                                       bool italic, std::string& error) {
  std::string face = FirstFamilyName(given);
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

std::string UsageText(const CommandSyntax& syntax) {
  std::string text = "用法: karstel " + std::string(syntax.name);
  if (!syntax.synopsis.empty()) text += " " + std::string(syntax.synopsis);
  text += "\n";
  if (!syntax.summary.empty()) text += std::string(syntax.summary) + "\n";
  return text;
}

std::string HelpText(const CommandSyntax& syntax) {
  std::string text = UsageText(syntax);
  AddRows(text, "\n参数:\n", syntax.arguments);
  std::vector<OptionSyntax> options = syntax.options;
  options.push_back(kQuiet);
  options.push_back(kHelp);
  AddRows(text, "\n选项:\n", options);
  return text;
}

int PrintCommandHelp(const CommandContext& context,
                     const CommandSyntax& syntax) {
  context.out << HelpText(syntax);
  return kExitSuccess;
}

int UsageError(const CommandContext& context, const CommandSyntax& syntax,
               const std::string& error) {
  if (!error.empty()) context.err << "karstel: 错误: " << error << "\n";
  context.err << UsageText(syntax);
  return kExitUsage;
}

std::optional<CommandOptions> StartCommand(const CommandContext& context,
                                           const CommandSyntax& syntax,
                                           Arguments args, int& exitCode) {
  if (WantsHelp(args)) {
    exitCode = PrintCommandHelp(context, syntax);
    return std::nullopt;
  }
  std::string error;
  auto options = ParseOptions(args, syntax, error);
  if (options) error = PositionalError(syntax, *options);
  if (!options || !error.empty()) {
    exitCode = UsageError(context, syntax, error);
    return std::nullopt;
  }
  return options;
}

std::string PositionalError(const CommandSyntax& syntax,
                            const CommandOptions& options) {
  std::size_t given = options.positional.size();
  if (given < syntax.arguments.size())
    return "缺少 " + std::string(syntax.arguments[given].name);
  if (given > syntax.arguments.size())
    return "多余的参数: " + options.positional[syntax.arguments.size()];
  return {};
}

std::vector<OptionSyntax> DrawingOptionSyntax() {
  return {
      {"--font", "FACE",
       "主字体 (汉字、全角数字和小写字母)；不指定时选覆盖字符最多的中文字体"},
      {"--symbol-font", "FACE", "符号字体 (其余字符)；不指定时同主字体"},
      {"--bold", "", "粗体"},
      {"--italic", "", "斜体 (只有 GDI+ 引擎画斜体)"},
      {"--quotes", "corner|curly",
       "引号样式：corner 为「」『』 (默认)，curly 为“”‘’"},
      {"--engine", "directwrite|gdiplus", "渲染引擎 (默认 directwrite)"},
      {"--fit", "auto|none",
       "auto (默认) 把超出格子的字形按同一基线移入格子；none "
       "保持引擎原来的位置"},
  };
}

std::optional<std::set<Episode>> ParseVariants(std::string_view list) {
  std::set<Episode> episodes;
  while (!list.empty()) {
    std::string_view name = list.substr(0, list.find(','));
    list.remove_prefix(std::min(list.size(), name.size() + 1));
    auto it =
        std::find_if(kEpisodeOrder.begin(), kEpisodeOrder.end(),
                     [&](Episode e) { return SameName(EpisodeName(e), name); });
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

std::optional<CommandOptions> ParseOptions(Arguments args,
                                           const CommandSyntax& syntax,
                                           std::string& error) {
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
    const OptionSyntax* option = FindOption(syntax, name);
    if (!option) {
      error = "未知选项: " + std::string(arg);
      return std::nullopt;
    }
    if (option->value.empty()) {
      if (value) {
        error = "选项不带参数: " + name;
        return std::nullopt;
      }
      options.flags.insert(name);
      continue;
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
    if (given && FirstFamilyName(*given).empty()) {
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
