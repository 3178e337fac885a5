// The preview: a short text drawn with the chosen fonts, quote style and
// engine in atlas-sized cells on a chequered background, sized to the
// picture it is shown in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "render/font.h"
#include "render/glyph_cell.h"
#include "render/glyph_fit.h"

namespace render {

/// The dark grey of every cell and the lighter grey of the cells whose
/// column and row are both even or both odd, as blue-green-red bytes.
inline constexpr std::uint8_t kPreviewDarkGrey = 0x20;
inline constexpr std::uint8_t kPreviewLightGrey = 0x30;

/// How a preview of `count` units fits a client area.
struct PreviewLayout {
  GlyphGrid grid;
  std::uint32_t width = 0;   ///< grid.columns x 64
  std::uint32_t height = 0;  ///< grid.rows x 66
  bool scaled = false;
  std::uint32_t shownWidth = 0;  ///< size after scaling (= width unscaled)
  std::uint32_t shownHeight = 0;
};

/// One row as many cells as the text has units if they fit the width; else
/// as many rows of the cells that fit the width as needed, if they fit the
/// height; else a square-ish grid scaled down to fit. At least one column,
/// however narrow the area. `count` includes line breaks.
PreviewLayout ChoosePreviewLayout(std::uint32_t count,
                                  std::uint32_t clientWidth,
                                  std::uint32_t clientHeight);

/// Paints the chequered background of `grid` into a 32-bit top-down image
/// of `width` x `height` pixels and sets every pixel's alpha to 255.
void PaintPreviewBackground(std::byte* pixels, std::uint32_t width,
                            std::uint32_t height, GlyphGrid grid);

/// A preview bitmap: B8G8R8A8, top-down, rows of width x 4 bytes, opaque.
struct PreviewImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::byte> pixels;
};

/// Draws the preview of `text` for a client area of the given size, scaled
/// when the grid does not fit, each glyph kept in its cell as the atlas
/// keeps it: at `placement` (the atlas's, from PlanGlyphPlacement over the
/// character table) when given, else fitted to the text's own glyphs;
/// FitMode::None keeps the engine's placement. An empty text gives an
/// empty image (0 x 0). Throws on failure.
PreviewImage DrawPreview(const GlyphFonts& fonts, RenderEngine engine,
                         bool curlyQuotes, std::u16string_view text,
                         std::uint32_t clientWidth, std::uint32_t clientHeight,
                         FitMode fit = FitMode::Fit,
                         const GlyphPlacement* placement = nullptr);

}  // namespace render
