// Fonts and pixel measurements shared by the render tests.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "render/font.h"

namespace render::testutil {

/// A CJK font with Latin letters (Debian fonts-wqy-microhei); regular only.
inline constexpr std::u16string_view kCjkFace = u"WenQuanYi Micro Hei";
/// A CJK font whose line (ascent, descent and gap at 58 px, about 61 px) is
/// shorter than the 66-pixel cell (Debian fonts-arphic-uming).
inline constexpr std::u16string_view kShortLineFace = u"AR PL UMing CN";
/// A Latin family with real oblique faces (Debian fonts-dejavu-core).
inline constexpr std::u16string_view kLatinFace = u"DejaVu Sans";

/// A record as the dialog stores it: height -58, and the GB2312 character
/// set for the CJK faces. The Latin face gets DEFAULT_CHARSET: GDI's font
/// mapper weighs the character set above the face name, and would swap
/// DejaVu Sans for some GB2312 font.
inline LogFont MakeFont(std::u16string_view face, std::int32_t weight = 400,
                        bool italic = false) {
  LogFont font;
  font.height = -58;
  font.weight = weight;
  font.italic = italic ? 1 : 0;
  font.charSet = face == kLatinFace ? 1 : 134;
  SetFaceName(font, face);
  return font;
}

inline GlyphFonts SameFonts(const LogFont& font) { return {font, font}; }

/// A rectangle of pixels, right and bottom exclusive.
struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool Contains(int x, int y) const {
    return left <= x && x < right && top <= y && y < bottom;
  }
};

/// Where a 32-bit image differs from a background, and by how much.
struct Ink {
  PixelRect bounds;
  std::uint64_t pixels = 0;   ///< pixels that differ
  std::uint64_t outside = 0;  ///< of those, pixels outside `region`
  double centreX = 0;         ///< coverage-weighted centre
  double centreY = 0;
  bool empty() const { return pixels == 0; }
};

/// Measures the ink of `image` (width x height, 4 bytes a pixel) inside
/// `within` against an untouched copy `background`; pixels outside `region`
/// are counted in `outside`.
inline Ink MeasureInk(std::span<const std::byte> image,
                      std::span<const std::byte> background,
                      std::uint32_t width, PixelRect within, PixelRect region) {
  Ink ink;
  ink.bounds = {within.right, within.bottom, within.left, within.top};
  double total = 0;
  for (int y = within.top; y < within.bottom; ++y) {
    for (int x = within.left; x < within.right; ++x) {
      std::size_t at = (std::size_t(y) * width + x) * 4;
      int weight = 0;
      for (int k = 0; k < 4; ++k) {
        int d = static_cast<int>(image[at + k]) -
                static_cast<int>(background[at + k]);
        weight = std::max(weight, d < 0 ? -d : d);
      }
      if (weight == 0) continue;
      ++ink.pixels;
      if (!region.Contains(x, y)) ++ink.outside;
      ink.bounds.left = std::min(ink.bounds.left, x);
      ink.bounds.top = std::min(ink.bounds.top, y);
      ink.bounds.right = std::max(ink.bounds.right, x + 1);
      ink.bounds.bottom = std::max(ink.bounds.bottom, y + 1);
      ink.centreX += weight * (x + 0.5);
      ink.centreY += weight * (y + 0.5);
      total += weight;
    }
  }
  if (total > 0) {
    ink.centreX /= total;
    ink.centreY /= total;
  }
  return ink;
}

/// True when the Windows build runs under Wine.
bool RunningUnderWine();

/// Wine's GDI+ draws nothing at all (and reports success) for a glyph
/// whose advance plus the padding GDI+ lays around a string (1/6 em each
/// side) is wider than the 64-pixel box: every ideograph at 58 pixels,
/// and wide Latin letters such as W. GDI+ pixel tests there use a narrow
/// Latin letter instead.
inline bool GdiPlusDropsWideGlyphs() { return RunningUnderWine(); }

/// Wine's Direct2D DC render target does not read the bound bitmap back
/// before drawing: every pass overwrites the whole bound rectangle, so
/// what was under the glyphs is lost. Windows composites over it.
inline bool DirectWriteOverwritesDc() { return RunningUnderWine(); }

}  // namespace render::testutil
