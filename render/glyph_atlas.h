// The glyph atlas: every character of the table drawn into a 4096 x 4096
// canvas of 64 x 66 pixel cells. The generation's atlas, with each glyph
// kept in its cell, checked and compressed, is app::BuildGlyphAtlas.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "render/font.h"
#include "render/glyph_fit.h"
#include "texture/image.h"

namespace render {

/// The uncompressed canvas: B8G8R8A8, top-down, rows of 16384 bytes,
/// zero-filled before drawing.
struct GlyphAtlas {
  static constexpr std::uint32_t kWidth = 4096;
  static constexpr std::uint32_t kHeight = 4096;
  static constexpr std::uint32_t kRowPitch = kWidth * 4;
  std::vector<std::byte> pixels;

  texture::ImageView View();
};

/// Draws the table's code units (line breaks skipped, one unit per cell,
/// stopping at the grid's end) with the chosen engine. Throws on failure.
GlyphAtlas DrawGlyphAtlas(const GlyphFonts& fonts, RenderEngine engine,
                          bool curlyQuotes, std::u16string_view text);

/// Where the atlas of `text` places each font's glyphs with these choices
/// (PlanGlyphPlacement over its cells, with the faces that draw them), for
/// a preview to look like it. Throws the engine's failure.
GlyphPlacement PlanTablePlacement(const GlyphFonts& fonts, RenderEngine engine,
                                  bool curlyQuotes, std::u16string_view text);

}  // namespace render
