// Pieces shared by the commands that draw glyphs: the font check that comes
// before anything is read, the choice of a face when none was given, the
// atlas builder that reports its stages, and the findings on the terminal.
#pragma once

#include <cstddef>
#include <ostream>
#include <string_view>

#include "app/cli/command.h"
#include "app/cli/command_options.h"
#include "app/generation.h"
#include "render/drawing_check.h"
#include "render/font_catalog.h"
#include "render/font_ranking.h"

namespace app {

/// Prints an error naming the first face the system cannot find and
/// returns false; true when both fonts exist. A font still to be chosen
/// (no face name) is not checked.
bool CheckFontsAvailable(const CommandContext& context,
                         const render::GlyphFonts& fonts);

/// The glyphs an atlas of `text` holds: its units without line breaks, at
/// most one grid's worth.
std::size_t CountGlyphs(std::u16string_view text);

/// The units an atlas of `text` draws, line breaks skipped, at most one
/// grid's worth, as stored.
std::u16string DrawnUnits(std::u16string_view text);

/// The installed families with how many of `units` each has in its
/// character map, best first (render::RankFamilies); of the few that rank
/// alike at the top, whether `drawing`'s atlas would have to move their
/// glyphs decides. A family that its own name does not find is left out.
/// Throws the platform's failure.
std::vector<render::FamilyCoverage> RankInstalledFamilies(
    std::u16string_view units, const DrawingOptions& drawing = {});

/// For a drawing without --font: takes the best installed family for
/// `text`'s units (those the main font draws, when --symbol-font was given)
/// by RankInstalledFamilies, and says which and why on `err`. Prints an
/// error and returns false when no family can be found.
bool ChooseBestFace(const CommandContext& context, DrawingOptions& drawing,
                    std::u16string_view text);

/// DirectWrite takes only the face name and the weight, so an italic choice
/// draws upright there: says so before drawing, and refuses the drawing
/// (returns false) when `strict`.
bool CheckItalic(const CommandContext& context, const DrawingOptions& drawing,
                 bool strict);

/// The atlas build with the drawing checked, in timed stages: coverage,
/// drawing, compression.
AtlasBuilder TimedAtlasBuilder(StageObserver observer, render::FitMode fit);

/// One line per finding, in Chinese, with the count and up to 20 of the
/// characters and their U+ codes.
void PrintGlyphFindings(std::ostream& err,
                        const render::GlyphFindings& findings);

}  // namespace app
