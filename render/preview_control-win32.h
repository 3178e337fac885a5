// Showing the preview in the dialog's picture control.
#pragma once

#include <windows.h>

#include <string_view>

#include "render/font.h"
#include "render/glyph_fit.h"

namespace render {

/// Draws the preview of `text` sized to the client area of the picture
/// control `control`, the glyphs at `placement` (the atlas's) when given,
/// and hands the bitmap to the control, deleting the one it held before.
/// An empty text changes nothing. Throws on failure, which leaves the
/// control's image as it was.
void RenderPreview(HWND control, const GlyphFonts& fonts, bool useGdiPlus,
                   bool curlyQuotes, std::u16string_view text,
                   const GlyphPlacement* placement = nullptr);

}  // namespace render
