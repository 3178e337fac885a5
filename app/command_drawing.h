// Pieces shared by the commands that draw glyphs: the font check that comes
// before anything is read, and the atlas builder that reports its stages.
#pragma once

#include <cstddef>
#include <string_view>

#include "app/command.h"
#include "app/generation.h"

namespace app {

/// Prints an error naming the first face the system cannot find and
/// returns false; true when both fonts exist.
bool CheckFontsAvailable(const CommandContext& context,
                         const render::GlyphFonts& fonts);

/// The glyphs an atlas of `text` holds: its units without line breaks, at
/// most one grid's worth.
std::size_t CountGlyphs(std::u16string_view text);

/// render::BuildGlyphAtlas in two timed stages, drawing and compressing.
AtlasBuilder TimedAtlasBuilder(StageObserver observer);

}  // namespace app
