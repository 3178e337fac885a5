// The platform edge of glyph rendering: a bitmap the text engines can draw
// into, and the two engines. On Windows they are Direct2D/DirectWrite and the
// GDI+ flat interface drawing through a memory device context; on Linux,
// where neither exists, FreeType and fontconfig stand in for them with the
// same placement rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "common/hresult.h"
#include "render/font.h"
#include "render/glyph_cell.h"

namespace render {

/// A 32-bit bitmap the engines draw into: bytes blue, green, red, alpha,
/// rows top-down without gaps (pitch = width x 4), zero-filled when made.
/// On Windows a DIB section selected into a memory device context, so the
/// engines draw through the context and the pixels are read in place.
class DrawingSurface {
 public:
  /// Throws E_FAIL when the platform cannot make the bitmap, and
  /// E_OUTOFMEMORY when the size does not fit in memory.
  DrawingSurface(std::uint32_t width, std::uint32_t height);
  ~DrawingSurface();
  DrawingSurface(DrawingSurface&&) noexcept;
  DrawingSurface& operator=(DrawingSurface&&) noexcept;

  std::uint32_t width() const { return width_; }
  std::uint32_t height() const { return height_; }
  std::uint32_t rowPitch() const { return width_ * 4; }
  std::span<std::byte> pixels() const { return pixels_; }

  /// Moves the pixels out; the surface is left empty. On Windows the bitmap
  /// owns its bytes, so they are copied.
  std::vector<std::byte> TakePixels();

  /// The platform's objects behind the surface (device context and bitmap
  /// on Windows, the byte buffer on Linux).
  struct Platform;
  Platform& platform() const { return *platform_; }

 private:
  std::unique_ptr<Platform> platform_;
  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
  std::span<std::byte> pixels_;
};

/// How much larger or smaller than the engine's own size each of the two
/// fonts is drawn: 1 unless a font had to shrink to fit its cells.
struct GlyphScale {
  float main = 1.0f;
  float symbol = 1.0f;
};

/// Pixels, right and bottom exclusive.
struct PixelBox {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool empty() const { return left >= right || top >= bottom; }
};

/// A text engine made ready for the two fonts of a drawing: faces resolved
/// and formats made once, so that the cells can be drawn in several passes.
class GlyphRenderer {
 public:
  virtual ~GlyphRenderer() = default;
  /// Draws each cell's unit in its box by the engine's placement rule,
  /// opaque white composited over what is there; with `clip` nothing lands
  /// outside the box. When `touched` holds one box per cell and the engine
  /// knows where it drew, it stores for each cell a box around every pixel
  /// the glyph changed and returns true; otherwise the caller must look.
  virtual bool Draw(DrawingSurface& surface, std::span<const GlyphCell> cells,
                    bool clip, std::span<PixelBox> touched) = 0;
  /// Whether Draw tells where it drew.
  virtual bool ReportsTouched() const = 0;
};

/// The engine for the two fonts, each at its scale of the engine's own size
/// (`fontSize` for DirectWrite, the record's height for GDI+). Throws the
/// engine's failure, and kFontNotFound where the platform refuses a face.
std::unique_ptr<GlyphRenderer> OpenGlyphRenderer(RenderEngine engine,
                                                 const GlyphFonts& fonts,
                                                 float fontSize,
                                                 const GlyphScale& scale = {});

/// Draws the units of `text` into the cells of `grid` by the cell walk with
/// the DirectWrite engine: fonts by face name and weight only (an italic
/// choice draws upright), each glyph centred horizontally and its line at
/// the bottom of the 66-pixel box, opaque white composited premultiplied
/// over what is there, not clipped to the box. Throws the engine's failure.
void DrawGlyphsDirectWrite(DrawingSurface& surface, const GlyphFonts& fonts,
                           GlyphGrid grid, bool curlyQuotes, float fontSize,
                           std::u16string_view text);

/// The same with the GDI+ engine: fonts from the whole record (weight,
/// italic, height), each line centred horizontally and vertically in its
/// box, grid-fitted anti-aliased outlines, opaque white, clipped to the box.
/// Throws the engine's failure.
void DrawGlyphsGdiPlus(DrawingSurface& surface, const GlyphFonts& fonts,
                       GlyphGrid grid, bool curlyQuotes,
                       std::u16string_view text);

/// A copy of `source` stretched to the given size with the platform's
/// smoothing filter (halftone on Windows, area averaging on Linux).
DrawingSurface ScaleSurface(const DrawingSurface& source, std::uint32_t width,
                            std::uint32_t height);

/// HRESULT of a face name that the system cannot find (DWRITE_E_NOFONT).
inline constexpr HRESULT kFontNotFound = common::MakeHresult(0x88985002u);

/// Throws kFontNotFound, naming the face, unless the system has a font
/// family of exactly this face name (letter case aside).
void CheckFontAvailable(const LogFont& font);

}  // namespace render

namespace render {

/// Draws with the chosen engine: DrawGlyphsDirectWrite at the glyph font
/// size, or DrawGlyphsGdiPlus.
void DrawGlyphs(DrawingSurface& surface, RenderEngine engine,
                const GlyphFonts& fonts, GlyphGrid grid, bool curlyQuotes,
                std::u16string_view text);

}  // namespace render
