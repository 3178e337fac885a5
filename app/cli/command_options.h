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

struct CommandOptions {
  std::map<std::string, std::string, std::less<>> values;
  std::set<std::string, std::less<>> flags;
  std::vector<std::string> positional;

  std::optional<std::string> Value(std::string_view name) const;
  bool Flag(std::string_view name) const { return flags.contains(name); }
};

/// Splits `args` into the given value options, flags and positional
/// arguments. Returns nothing and sets `error` for an unknown option, a
/// missing value or a repeated option.
std::optional<CommandOptions> ParseOptions(
    Arguments args, const std::vector<std::string_view>& valueOptions,
    const std::vector<std::string_view>& flagOptions, std::string& error);

/// "IV,TLAD" -> {IV, TLAD}; nothing for an unknown name.
std::optional<std::set<Episode>> ParseVariants(std::string_view list);

/// The value options and flags of the commands that draw glyphs.
extern const std::vector<std::string_view> kDrawingValueOptions;
extern const std::vector<std::string_view> kDrawingFlags;

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
