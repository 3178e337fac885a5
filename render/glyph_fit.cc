#include "render/glyph_fit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace render {
namespace {

constexpr int kCellW = static_cast<int>(kCellWidth);
constexpr int kCellH = static_cast<int>(kCellHeight);
constexpr int kNominalSize = static_cast<int>(kGlyphFontSize);
// A font is never shrunk below half its size: smaller glyphs would be
// unreadable in the game, and what still leaves its cell is reported.
constexpr int kSmallestSize = kNominalSize / 2;
// The room drawn around each cell while measuring: little, since every
// pixel of room is drawn, copied and looked at; a glyph that reaches its
// edge is drawn again with twice the room, up to four cells each way.
constexpr int kFirstRoom = 4;

// A cell's box in whole pixels: the grid's boxes lie on whole pixels.
PixelBox BoxOf(const GlyphCell& cell) {
  return {static_cast<int>(cell.box.left), static_cast<int>(cell.box.top),
          static_cast<int>(cell.box.right), static_cast<int>(cell.box.bottom)};
}

bool Inside(const PixelBox& drawn, const PixelBox& box) {
  return drawn.left >= box.left && drawn.top >= box.top &&
         drawn.right <= box.right && drawn.bottom <= box.bottom;
}
constexpr int kLastRoom = 4 * kCellW;
// The scratch canvas of a pass: no wider than the atlas (Direct2D, under
// Wine too, refuses bitmaps wider than its largest texture and then draws
// nothing), and about 16 MiB; each pass costs the engine a render target and
// a copy of the whole canvas, so fewer, larger passes are quicker.
constexpr int kStripWidth = 4096;
constexpr std::size_t kStripBytes = std::size_t{16} << 20;

PixelBox Intersect(const PixelBox& a, const PixelBox& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top),
          std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

std::uint32_t PixelAt(const std::byte* pixel) {
  std::uint32_t value;
  std::memcpy(&value, pixel, 4);
  return value;
}

// White text drawn on black carries its coverage in the colour bytes with
// both engines; what GDI+ writes into the alpha byte is its own business.
bool HasInk(const std::byte* pixel) {
  return pixel[0] != std::byte{0} || pixel[1] != std::byte{0} ||
         pixel[2] != std::byte{0};
}

// The box around the inked pixels of `area`; empty when there are none.
PixelBox InkBounds(const DrawingSurface& surface, const PixelBox& area) {
  PixelBox ink{area.right, area.bottom, area.left, area.top};
  const std::byte* pixels = surface.pixels().data();
  const std::size_t pitch = surface.rowPitch();
  for (int y = area.top; y < area.bottom; ++y) {
    const std::byte* row = pixels + y * pitch;
    int x = area.left;
    while (x < area.right && !HasInk(row + x * 4)) ++x;
    if (x == area.right) continue;
    int last = area.right - 1;
    while (!HasInk(row + last * 4)) --last;
    ink.left = std::min(ink.left, x);
    ink.right = std::max(ink.right, last + 1);
    ink.top = std::min(ink.top, y);
    ink.bottom = y + 1;
  }
  return ink.empty() ? PixelBox{} : ink;
}

void ZeroArea(DrawingSurface& surface, const PixelBox& area) {
  if (area.empty()) return;
  std::byte* pixels = surface.pixels().data();
  for (int y = area.top; y < area.bottom; ++y) {
    std::memset(pixels + y * surface.rowPitch() + area.left * 4, 0,
                std::size_t(area.right - area.left) * 4);
  }
}

// Premultiplied "over", as the engines composite white: each byte becomes
// s + d x (255 - c) / 255, c being the glyph's coverage. Over a zero canvas
// that is the glyph's own bytes, so the atlas of a font that fits its cells
// is the engine's drawing byte for byte.
void CompositeOver(std::byte* target, const std::byte* source) {
  unsigned c =
      std::max({unsigned(source[0]), unsigned(source[1]), unsigned(source[2])});
  for (int k = 0; k < 4; ++k) {
    unsigned d = unsigned(target[k]);
    target[k] = static_cast<std::byte>(unsigned(source[k]) +
                                       (d * (255 - c) + 127) / 255);
  }
}

/// One glyph drawn alone: its ink box relative to its cell box's top-left
/// corner, and where its pixels (rows of ink width x 4 bytes) are kept.
struct MeasuredGlyph {
  PixelBox ink;
  std::size_t offset = 0;
  bool beyondRoom = false;  ///< the ink reached the edge of the room drawn
};

class GlyphFitter {
 public:
  GlyphFitter(const GlyphRendererFactory& open,
              std::span<const GlyphCell> cells)
      : open_(open), cells_(cells), measured_(cells.size()) {}

  /// Measures every glyph at the placement's sizes and, unless a placement
  /// is given, fits each font to the cells.
  void Run(FitMode mode, const GlyphPlacement* given) {
    if (given) placement_ = *given;
    // One engine for both fonts: making it ready resolves both faces.
    std::unique_ptr<GlyphRenderer> renderer = open_(Scale());
    MeasureFont(GlyphFont::Main, *renderer);
    MeasureFont(GlyphFont::Symbol, *renderer);
    renderer.reset();
    if (mode == FitMode::Fit && !given) {
      FitFont(GlyphFont::Main, placement_.main);
      FitFont(GlyphFont::Symbol, placement_.symbol);
    }
  }

  const GlyphPlacement& placement() const { return placement_; }

  /// Composites each glyph at its font's place, clipped to its box when
  /// `clip`, and reports the cells it leaves and the ones it reaches.
  FitReport Compose(DrawingSurface& surface, bool clip) const {
    FitReport report;
    report.placement = placement_;
    const PixelBox whole{0, 0, static_cast<int>(surface.width()),
                         static_cast<int>(surface.height())};
    std::vector<bool> bled(cells_.size(), false);
    report.inked.assign(cells_.size(), false);
    for (std::size_t i = 0; i < cells_.size(); ++i) {
      const GlyphCell& cell = cells_[i];
      const MeasuredGlyph& glyph = measured_[i];
      if (glyph.ink.empty()) continue;
      report.inked[i] = true;
      const FontPlacement& place = placement_.Of(cell.font);
      PixelBox box = BoxOf(cell);
      PixelBox at{box.left + glyph.ink.left + place.dx,
                  box.top + glyph.ink.top + place.dy,
                  box.left + glyph.ink.right + place.dx,
                  box.top + glyph.ink.bottom + place.dy};
      bool leaves = at.left < box.left || at.top < box.top ||
                    at.right > box.right || at.bottom > box.bottom;
      if (leaves || glyph.beyondRoom) report.cut += cell.unit;
      PixelBox clipTo = clip ? Intersect(whole, box) : whole;
      Blit(surface, PoolOf(cell.font).data() + glyph.offset, at, clipTo);
      if (leaves && !clip) MarkReached(glyph, at, cell, bled);
    }
    for (std::size_t i = 0; i < cells_.size(); ++i)
      if (bled[i]) report.bled += cells_[i].unit;
    return report;
  }

 private:
  GlyphScale Scale() const {
    return {static_cast<float>(placement_.main.size) / kGlyphFontSize,
            static_cast<float>(placement_.symbol.size) / kGlyphFontSize};
  }

  std::vector<std::byte>& PoolOf(GlyphFont font) {
    return font == GlyphFont::Main ? mainPool_ : symbolPool_;
  }
  const std::vector<std::byte>& PoolOf(GlyphFont font) const {
    return font == GlyphFont::Main ? mainPool_ : symbolPool_;
  }

  /// Draws every glyph of the font alone, with room around it; the glyphs
  /// that reach the edge of their room (or another's) are drawn again with
  /// more, until none does or the room is four cells wide.
  void MeasureFont(GlyphFont font, GlyphRenderer& renderer) {
    std::vector<std::size_t> which;
    for (std::size_t i = 0; i < cells_.size(); ++i)
      if (cells_[i].font == font) which.push_back(i);
    std::vector<std::byte>& pool = PoolOf(font);
    pool.clear();
    // A cell's worth a glyph spares most of the pool's regrowing.
    pool.reserve(which.size() * kCellW * kCellH * 4);
    for (int room = kFirstRoom; !which.empty() && room <= kLastRoom;
         room *= 2) {
      which = MeasureWithRoom(renderer, which, room, room);
    }
  }

  // Returns the glyphs that reached the edge of their room, or had another
  // glyph's ink in it: their measure is not to be trusted.
  std::vector<std::size_t> MeasureWithRoom(
      GlyphRenderer& renderer, const std::vector<std::size_t>& which, int roomX,
      int roomY) {
    const int slotW = kCellW + 2 * roomX;
    const int slotH = kCellH + 2 * roomY;
    const std::size_t perRow = std::max(1, kStripWidth / slotW);
    const std::size_t rows =
        std::clamp<std::size_t>(kStripBytes / (perRow * slotW * slotH * 4), 1,
                                (which.size() + perRow - 1) / perRow);
    const std::size_t perPass = perRow * rows;
    DrawingSurface strip(static_cast<std::uint32_t>(perRow * slotW),
                         static_cast<std::uint32_t>(rows * slotH));
    const PixelBox whole{0, 0, static_cast<int>(strip.width()),
                         static_cast<int>(strip.height())};
    std::vector<GlyphCell> pass;
    std::vector<PixelBox> touched;
    std::vector<std::size_t> again;
    for (std::size_t first = 0; first < which.size(); first += perPass) {
      std::size_t count = std::min(perPass, which.size() - first);
      pass.assign(count, {});
      touched.assign(count, {});
      auto slotOf = [&](std::size_t k) {
        int left = static_cast<int>(k % perRow) * slotW;
        int top = static_cast<int>(k / perRow) * slotH;
        return PixelBox{left, top, left + slotW, top + slotH};
      };
      for (std::size_t k = 0; k < count; ++k) {
        pass[k] = cells_[which[first + k]];
        PixelBox slot = slotOf(k);
        float left = static_cast<float>(slot.left + roomX);
        float top = static_cast<float>(slot.top + roomY);
        pass[k].box = {left, top, left + kCellW, top + kCellH};
      }
      bool known = renderer.Draw(strip, pass, false, touched);
      // Where the engine says it drew past a slot, the slots it reached hold
      // ink that is not theirs.
      std::vector<bool> spoiled(count, false);
      for (std::size_t k = 0; known && k < count; ++k) {
        const PixelBox& drawn = touched[k];
        PixelBox slot = slotOf(k);
        if (drawn.empty() || Inside(drawn, slot)) continue;
        spoiled[k] = true;
        for (std::size_t j = 0; j < count; ++j)
          if (!Intersect(drawn, slotOf(j)).empty()) spoiled[j] = true;
      }
      for (std::size_t k = 0; k < count; ++k) {
        PixelBox slot = slotOf(k);
        PixelBox area = known ? Intersect(touched[k], slot) : slot;
        MeasuredGlyph& glyph = measured_[which[first + k]];
        glyph = Keep(strip, area.empty() ? PixelBox{} : InkBounds(strip, area),
                     pass[k].font);
        // Ink on the edge of a slot may go on beyond it; without the
        // engine's word, ink spilled from a neighbour shows there too.
        bool reached =
            spoiled[k] ||
            (!glyph.ink.empty() &&
             (glyph.ink.left == slot.left || glyph.ink.right == slot.right ||
              glyph.ink.top == slot.top || glyph.ink.bottom == slot.bottom));
        glyph.beyondRoom = reached;
        if (reached) again.push_back(which[first + k]);
        // Relative to the cell's box from here on.
        if (!glyph.ink.empty()) {
          int dx = slot.left + roomX, dy = slot.top + roomY;
          glyph.ink = {glyph.ink.left - dx, glyph.ink.top - dy,
                       glyph.ink.right - dx, glyph.ink.bottom - dy};
        }
      }
      // Clean for the next pass: only where the engine drew, when it says.
      if (known) {
        for (const PixelBox& box : touched)
          ZeroArea(strip, Intersect(box, whole));
      } else {
        ZeroArea(strip, whole);
      }
    }
    return again;
  }

  // Copies the pixels of `ink` out of the strip.
  MeasuredGlyph Keep(const DrawingSurface& strip, const PixelBox& ink,
                     GlyphFont font) {
    MeasuredGlyph glyph;
    glyph.ink = ink;
    if (ink.empty()) return glyph;
    std::vector<std::byte>& pool = PoolOf(font);
    glyph.offset = pool.size();
    std::size_t rowBytes = std::size_t(ink.right - ink.left) * 4;
    const std::byte* pixels = strip.pixels().data();
    for (int y = ink.top; y < ink.bottom; ++y) {
      const std::byte* row = pixels + y * strip.rowPitch() + ink.left * 4;
      pool.insert(pool.end(), row, row + rowBytes);
    }
    return glyph;
  }

  /// Moves the font by the least whole pixels that put the ink of all its
  /// glyphs inside the cells, after shrinking it just enough where the ink
  /// is taller or wider than a cell.
  void FitFont(GlyphFont font, FontPlacement& place) {
    for (;;) {
      PixelBox all{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
      for (std::size_t i = 0; i < cells_.size(); ++i) {
        const PixelBox& ink = measured_[i].ink;
        if (cells_[i].font != font || ink.empty()) continue;
        all = {std::min(all.left, ink.left), std::min(all.top, ink.top),
               std::max(all.right, ink.right),
               std::max(all.bottom, ink.bottom)};
      }
      if (all.empty()) return;
      int width = all.right - all.left, height = all.bottom - all.top;
      if ((width > kCellW || height > kCellH) && place.size > kSmallestSize) {
        double factor =
            std::min(double(kCellW) / width, double(kCellH) / height);
        int size = static_cast<int>(std::floor(place.size * factor));
        place.size = std::clamp(size, kSmallestSize, place.size - 1);
        MeasureFont(font, *open_(Scale()));
        continue;
      }
      place.dx = Shift(all.left, all.right, kCellW);
      place.dy = Shift(all.top, all.bottom, kCellH);
      return;
    }
  }

  // The least move that puts [low, high) inside [0, limit); the start is
  // kept when the extent is larger than the limit.
  static int Shift(int low, int high, int limit) {
    if (low < 0 || high - low > limit) return -low;
    if (high > limit) return limit - high;
    return 0;
  }

  // Composites the kept pixels of a glyph (rows as wide as `at`) at `at`.
  static void Blit(DrawingSurface& surface, const std::byte* source,
                   const PixelBox& at, const PixelBox& clipTo) {
    PixelBox visible = Intersect(at, clipTo);
    if (visible.empty()) return;
    const std::size_t sourcePitch = std::size_t(at.right - at.left) * 4;
    std::byte* pixels = surface.pixels().data();
    for (int y = visible.top; y < visible.bottom; ++y) {
      const std::byte* from =
          source + (y - at.top) * sourcePitch + (visible.left - at.left) * 4;
      std::byte* to = pixels + y * surface.rowPitch() + visible.left * 4;
      for (int x = visible.left; x < visible.right; ++x, from += 4, to += 4) {
        if (PixelAt(from) == 0) continue;
        // Over nothing, "over" is the glyph itself.
        if (PixelAt(to) == 0) {
          std::memcpy(to, from, 4);
        } else {
          CompositeOver(to, from);
        }
      }
    }
  }

  // Marks the cells into which the inked pixels of a glyph that leaves its
  // own cell fall.
  void MarkReached(const MeasuredGlyph& glyph, const PixelBox& at,
                   const GlyphCell& cell, std::vector<bool>& bled) const {
    const std::byte* source = PoolOf(cell.font).data() + glyph.offset;
    const PixelBox box = BoxOf(cell);
    const int width = at.right - at.left;
    for (int y = at.top; y < at.bottom; ++y) {
      for (int x = at.left; x < at.right; ++x) {
        if (x >= box.left && x < box.right && y >= box.top && y < box.bottom)
          continue;
        if (!HasInk(source +
                    (std::size_t(y - at.top) * width + (x - at.left)) * 4))
          continue;
        long column = long(cell.column) + FloorDiv(x - box.left, kCellW);
        long row = long(cell.row) + FloorDiv(y - box.top, kCellH);
        if (std::size_t* index = CellAt(column, row)) bled[*index] = true;
      }
    }
  }

  static long FloorDiv(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
  }

  std::size_t* CellAt(long column, long row) const {
    if (byPosition_.empty()) {
      for (std::size_t i = 0; i < cells_.size(); ++i) {
        columns_ = std::max<long>(columns_, cells_[i].column + 1);
        rows_ = std::max<long>(rows_, cells_[i].row + 1);
      }
      byPosition_.assign(std::size_t(columns_ * rows_), SIZE_MAX);
      for (std::size_t i = 0; i < cells_.size(); ++i)
        byPosition_[cells_[i].row * columns_ + cells_[i].column] = i;
    }
    if (column < 0 || row < 0 || column >= columns_ || row >= rows_)
      return nullptr;
    std::size_t& index = byPosition_[std::size_t(row * columns_ + column)];
    return index == SIZE_MAX ? nullptr : &index;
  }

  const GlyphRendererFactory& open_;
  std::span<const GlyphCell> cells_;
  std::vector<MeasuredGlyph> measured_;
  std::vector<std::byte> mainPool_;
  std::vector<std::byte> symbolPool_;
  GlyphPlacement placement_;
  mutable std::vector<std::size_t> byPosition_;
  mutable long columns_ = 0;
  mutable long rows_ = 0;
};

// Where the engine tells where it drew, a blank canvas is drawn on
// directly: when every glyph stays inside its own box that is the fitted
// drawing already, byte for byte, at none of the cost of drawing each glyph
// apart. Otherwise the canvas is made blank again and false returned.
bool DrawDirectly(DrawingSurface& surface, GlyphRenderer& renderer,
                  std::span<const GlyphCell> cells) {
  // A row of the atlas at a time, so that a font that does not fit is
  // found out early.
  constexpr std::size_t kChunk = 64;
  std::vector<PixelBox> touched(kChunk);
  bool inside = true;
  for (std::size_t first = 0; inside && first < cells.size(); first += kChunk) {
    std::span<const GlyphCell> chunk =
        cells.subspan(first, std::min(kChunk, cells.size() - first));
    inside = renderer.Draw(surface, chunk, false,
                           std::span(touched).first(chunk.size()));
    for (std::size_t i = 0; inside && i < chunk.size(); ++i) {
      inside = touched[i].empty() || Inside(touched[i], BoxOf(chunk[i]));
    }
  }
  if (!inside) {
    ZeroArea(surface, {0, 0, static_cast<int>(surface.width()),
                       static_cast<int>(surface.height())});
  }
  return inside;
}

}  // namespace

GlyphRendererFactory SystemGlyphRenderers(RenderEngine engine,
                                          const GlyphFonts& fonts) {
  return [engine, fonts](const GlyphScale& scale) {
    return OpenGlyphRenderer(engine, fonts, kGlyphFontSize, scale);
  };
}

FitReport DrawFittedGlyphs(DrawingSurface& surface,
                           const GlyphRendererFactory& open,
                           std::span<const GlyphCell> cells,
                           const FitOptions& options) {
  const GlyphPlacement* placement =
      options.mode == FitMode::Fit ? options.placement : nullptr;
  // The engines are made ready even for no cells: a font the platform
  // refuses fails the drawing whatever the text.
  if (cells.empty()) {
    open(GlyphScale{});
    return {};
  }
  if (options.blankCanvas && (!placement || (placement->main.IsEngines() &&
                                             placement->symbol.IsEngines()))) {
    std::unique_ptr<GlyphRenderer> renderer = open(GlyphScale{});
    if (renderer->ReportsTouched() && DrawDirectly(surface, *renderer, cells))
      return {};
  }
  GlyphFitter fitter(open, cells);
  fitter.Run(options.mode, placement);
  return fitter.Compose(surface,
                        options.mode == FitMode::Fit || options.engineClips);
}

GlyphPlacement PlanGlyphPlacement(const GlyphRendererFactory& open,
                                  std::span<const GlyphCell> cells) {
  GlyphFitter fitter(open, cells);
  fitter.Run(FitMode::Fit, nullptr);
  return fitter.placement();
}

}  // namespace render
