// Option parsing shared by the `karstel` commands: "--name VALUE",
// "--name=VALUE", flags, and the font and drawing options of the commands
// that draw glyphs.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/command.h"
#include "app/generation.h"
#include "render/font.h"
#include "render/glyph_fit.h"

namespace app {

/// One option of a command: its name ("--font"), the name of its value
/// ("FACE"; empty for a flag) and one line saying what it does.
struct OptionSyntax {
  std::string_view name;
  std::string_view value;
  std::string_view help;
};

/// What a command takes: its synopsis (after "karstel NAME"), a line or two
/// on what it does, its positional arguments and its options. Every command
/// also takes -h/--help and --quiet.
struct CommandSyntax {
  std::string_view name;
  std::string_view synopsis;
  std::string_view summary;
  std::vector<OptionSyntax> arguments;  ///< positional: name and help only
  std::vector<OptionSyntax> options;
};

/// "用法: karstel NAME SYNOPSIS" and the summary.
std::string UsageText(const CommandSyntax& syntax);
/// The usage, then every argument and option with its line of help.
std::string HelpText(const CommandSyntax& syntax);
/// Prints HelpText as the command's result; returns kExitSuccess.
int PrintCommandHelp(const CommandContext& context,
                     const CommandSyntax& syntax);
/// Prints "karstel: 错误: error" (when given) and the usage on the error
/// stream; returns kExitUsage.
int UsageError(const CommandContext& context, const CommandSyntax& syntax,
               const std::string& error);

struct CommandOptions {
  std::map<std::string, std::string, std::less<>> values;
  std::set<std::string, std::less<>> flags;
  std::vector<std::string> positional;

  std::optional<std::string> Value(std::string_view name) const;
  bool Flag(std::string_view name) const { return flags.contains(name); }
};

/// Splits `args` into the syntax's value options, flags (--quiet among them)
/// and positional arguments. Returns nothing and sets `error` for an
/// unknown option, a missing value or a repeated option.
std::optional<CommandOptions> ParseOptions(Arguments args,
                                           const CommandSyntax& syntax,
                                           std::string& error);

/// The start of a command: with -h or --help, its help (`exitCode`
/// kExitSuccess); with options it does not take or positional arguments
/// other than the syntax's, the error and its usage (`exitCode` kExitUsage).
/// Otherwise the options, and `exitCode` is left alone.
std::optional<CommandOptions> StartCommand(const CommandContext& context,
                                           const CommandSyntax& syntax,
                                           Arguments args, int& exitCode);

/// Empty when `options` has exactly the syntax's positional arguments; else
/// which is missing ("缺少 FILE") or the first one too many.
std::string PositionalError(const CommandSyntax& syntax,
                            const CommandOptions& options);

/// "IV,tlad" -> {IV, TLAD}, letter case aside; nothing for an unknown name.
std::optional<std::set<Episode>> ParseVariants(std::string_view list);

/// The options of the commands that draw glyphs.
std::vector<OptionSyntax> DrawingOptionSyntax();

/// What the commands that draw glyphs need to know.
struct DrawingOptions {
  render::GlyphFonts fonts;
  QuoteStyle quoteStyle = QuoteStyle::CornerBrackets;
  render::RenderEngine engine = render::RenderEngine::DirectWrite;
  bool quiet = false;
  /// --fit none keeps the engines' own placement, where glyphs may leave
  /// their cells; by default each font is fitted to them.
  render::FitMode fit = render::FitMode::Fit;
  /// --font was left out: the main font (and, without --symbol-font, the
  /// symbol font) is a record without a face name until ChooseBestFace.
  bool bestFace = false;
  bool symbolFontGiven = false;
};

/// Builds the fonts as the dialog's font chooser leaves them (height -58,
/// GB2312 character set, weight 700 with --bold, else 400): --font FACE, or
/// none for the best-covering installed face; --symbol-font defaults to the
/// main font; --quotes corner|curly, --engine directwrite|gdiplus and
/// --fit auto|none.
/// Returns nothing and sets `error` for an invalid choice.
std::optional<DrawingOptions> ParseDrawingOptions(const CommandOptions& options,
                                                  std::string& error);

}  // namespace app
