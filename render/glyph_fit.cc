#include "render/glyph_fit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

namespace render {
namespace {

constexpr int kCellW = static_cast<int>(kCellWidth);
constexpr int kCellH = static_cast<int>(kCellHeight);
constexpr int kNominalSize = static_cast<int>(kGlyphFontSize);
// A font is never shrunk below half its size: smaller glyphs would be
// unreadable in the game, and what still leaves its cell is reported. A
// glyph fitted alone may go down to a third: a dash three ems long is still
// a dash at that size.
constexpr int kSmallestSize = kNominalSize / 2;
constexpr int kSmallestAloneSize = kNominalSize / 3;
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

PixelBox Union(const PixelBox& a, const PixelBox& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top),
          std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

int Height(const PixelBox& box) {
  return box.empty() ? 0 : box.bottom - box.top;
}
int Width(const PixelBox& box) {
  return box.empty() ? 0 : box.right - box.left;
}

PixelBox Moved(const PixelBox& box, int dx, int dy) {
  return {box.left + dx, box.top + dy, box.right + dx, box.bottom + dy};
}

// The least move that puts [low, high) inside [0, limit); the start is
// kept when the extent is larger than the limit.
int Shift(int low, int high, int limit) {
  if (low < 0 || high - low > limit) return -low;
  if (high > limit) return limit - high;
  return 0;
}

// What an engine draws for a unit that no face has: a non-character, which
// no font maps. Where the engine draws a box for it (DirectWrite does, when
// its fallback finds no face), a glyph with exactly these pixels is that
// box, not the character.
constexpr char16_t kNotdefProbe = 0xFFFE;

// The glyphs that show where a font's line sits in the cell: ideographs and
// the Latin capital and small letter that stand on the baseline. Drawn with
// the font (or the face that stands in for it), they do not depend on the
// table, so neither does which of the table's glyphs count as ordinary.
constexpr char16_t kLineProbes[] = {u'\u53E3', u'\u56FD', u'H', u'x'};

/// What a font draws for one unit alone, relative to a cell's top-left
/// corner; empty when it draws nothing.
struct ProbeGlyph {
  PixelBox ink;
  std::vector<std::byte> pixels;  ///< rows of ink width x 4 bytes
};
using NotdefBox = ProbeGlyph;

/// Draws each unit alone with the font, in one pass, with a cell of room
/// all round.
std::vector<ProbeGlyph> DrawProbes(GlyphRenderer& renderer, GlyphFont font,
                                   std::span<const char16_t> units) {
  constexpr int kRoom = kCellW;
  constexpr int kSlotW = kCellW + 2 * kRoom;
  const int count = static_cast<int>(units.size());
  DrawingSurface scratch(static_cast<std::uint32_t>(kSlotW * count),
                         kCellH + 2 * kRoom);
  std::vector<GlyphCell> probes(units.size());
  for (int k = 0; k < count; ++k) {
    probes[k].unit = units[k];
    probes[k].font = font;
    float left = static_cast<float>(k * kSlotW + kRoom);
    probes[k].box = {left, float(kRoom), left + kCellW, float(kRoom + kCellH)};
  }
  renderer.Draw(scratch, probes, false, {});
  std::vector<ProbeGlyph> drawn(units.size());
  for (int k = 0; k < count; ++k) {
    PixelBox slot{k * kSlotW, 0, (k + 1) * kSlotW,
                  static_cast<int>(scratch.height())};
    ProbeGlyph& glyph = drawn[k];
    glyph.ink = InkBounds(scratch, slot);
    if (glyph.ink.empty()) continue;
    for (int y = glyph.ink.top; y < glyph.ink.bottom; ++y) {
      const std::byte* row =
          scratch.pixels().data() + y * scratch.rowPitch() + glyph.ink.left * 4;
      glyph.pixels.insert(glyph.pixels.end(), row,
                          row + std::size_t(Width(glyph.ink)) * 4);
    }
    glyph.ink = Moved(glyph.ink, -(k * kSlotW + kRoom), -kRoom);
  }
  return drawn;
}

NotdefBox DrawNotdef(GlyphRenderer& renderer, GlyphFont font) {
  const char16_t probe = kNotdefProbe;
  return std::move(DrawProbes(renderer, font, std::span(&probe, 1)).front());
}

/// Whether the pixels at `source` (rows as wide as `ink`) are the box.
bool IsNotdef(const NotdefBox& notdef, const PixelBox& ink,
              const std::byte* source, std::size_t sourcePitch) {
  if (notdef.ink.empty() || Width(ink) != Width(notdef.ink) ||
      Height(ink) != Height(notdef.ink))
    return false;
  const std::size_t rowBytes = std::size_t(Width(ink)) * 4;
  for (int y = 0; y < Height(ink); ++y) {
    if (std::memcmp(source + y * sourcePitch,
                    notdef.pixels.data() + y * rowBytes, rowBytes) != 0)
      return false;
  }
  return true;
}

/// One glyph drawn alone: its ink box relative to its cell box's top-left
/// corner at the engine's placement for `size`, where its pixels (rows of
/// ink width x 4 bytes) are kept, and where it is composited.
struct MeasuredGlyph {
  PixelBox ink;
  std::size_t offset = 0;
  bool beyondRoom = false;  ///< the ink reached the edge of the room drawn
  int size = kNominalSize;  ///< the em size it was drawn at
  int dx = 0;               ///< composited this far right of `ink`
  int dy = 0;               ///< and this far down
  bool alone = false;       ///< fitted by itself, not by its font
  int aloneDx = 0;          ///< what fitting it alone added to dx
  int aloneDy = 0;          ///< and to dy
};

class GlyphFitter {
 public:
  GlyphFitter(const GlyphRendererFactory& open,
              std::span<const GlyphCell> cells,
              std::span<const GlyphSource> sources)
      : open_(open),
        cells_(cells),
        sources_(sources),
        measured_(cells.size()),
        notdef_(cells.size(), false) {}

  /// Measures every glyph at the placement's sizes and, for FitMode::Fit,
  /// places the fonts (unless a placement is given) and fits alone each
  /// glyph that does not fit its cell at its font's place.
  void Run(FitMode mode, const GlyphPlacement* given) {
    if (given) placement_ = *given;
    {
      // One engine for both fonts: making it ready resolves both faces.
      std::unique_ptr<GlyphRenderer> renderer = open_(Scale());
      MeasureFont(GlyphFont::Main, *renderer);
      MeasureFont(GlyphFont::Symbol, *renderer);
      DropNotdefs(*renderer);
    }
    if (mode == FitMode::Fit && !given) ChoosePlacement();
    for (std::size_t i = 0; i < cells_.size(); ++i) {
      const FontPlacement& place = placement_.Of(cells_[i].font);
      measured_[i].dx = place.dx;
      measured_[i].dy = place.dy;
    }
    if (mode == FitMode::Fit) FitAlone();
  }

  const GlyphPlacement& placement() const { return placement_; }

  /// Composites each glyph at its place, clipped to its box when `clip`,
  /// and reports the cells it leaves and the ones it reaches.
  FitReport Compose(DrawingSurface& surface, bool clip,
                    const std::function<void(std::uint32_t)>& rowsDrawn) const {
    FitReport report;
    report.placement = placement_;
    const PixelBox whole{0, 0, static_cast<int>(surface.width()),
                         static_cast<int>(surface.height())};
    std::vector<bool> bled(cells_.size(), false);
    report.inked.assign(cells_.size(), false);
    for (std::size_t i = 0; i < cells_.size(); ++i) {
      const GlyphCell& cell = cells_[i];
      const MeasuredGlyph& glyph = measured_[i];
      // Clipped glyphs never reach out of their own box: the rows above a
      // new row of cells are final.
      if (clip && rowsDrawn && i > 0 && cell.box.top > cells_[i - 1].box.top)
        rowsDrawn(static_cast<std::uint32_t>(cell.box.top));
      if (notdef_[i]) report.notdef += cell.unit;
      if (glyph.alone)
        report.alone.push_back(
            {cell.unit, glyph.size, glyph.aloneDx, glyph.aloneDy});
      if (glyph.ink.empty()) continue;
      report.inked[i] = true;
      PixelBox box = BoxOf(cell);
      PixelBox at = Moved(glyph.ink, box.left + glyph.dx, box.top + glyph.dy);
      bool leaves = !Inside(at, box);
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

  bool IsFallback(std::size_t i) const {
    return i < sources_.size() && sources_[i] == GlyphSource::Fallback;
  }

  /// A glyph that may take part in placing its font: measured whole, no
  /// taller or wider than a cell, and inside its cell from side to side as
  /// the engine centres it. Whether a glyph is ordinary depends on it alone,
  /// so that adding a rare glyph to the table never moves the others.
  bool IsOrdinary(std::size_t i) const {
    const MeasuredGlyph& glyph = measured_[i];
    if (glyph.ink.empty() || glyph.beyondRoom || Width(glyph.ink) > kCellW ||
        Height(glyph.ink) > kCellH || glyph.ink.left < 0 ||
        glyph.ink.right > kCellW)
      return false;
    // A mark that sits above or below the line (the ideographic tone marks,
    // drawn at the corners of the character before them) does not say where
    // the line is: at least half of the glyph's height must lie within the
    // band of the font's line glyphs.
    const PixelBox& line = line_[static_cast<int>(cells_[i].font)];
    if (line.empty()) return true;
    int within = std::min(glyph.ink.bottom, line.bottom) -
                 std::max(glyph.ink.top, line.top);
    return 2 * within >= Height(glyph.ink);
  }

  /// Draws every glyph of the font alone at its placement's size, with
  /// room around it.
  void MeasureFont(GlyphFont font, GlyphRenderer& renderer) {
    std::vector<std::size_t> which;
    for (std::size_t i = 0; i < cells_.size(); ++i)
      if (cells_[i].font == font && !notdef_[i]) which.push_back(i);
    PixelBox& line = line_[static_cast<int>(font)];
    line = {};
    for (const ProbeGlyph& probe : DrawProbes(renderer, font, kLineProbes))
      line = Union(line, probe.ink);
    std::vector<std::byte>& pool = PoolOf(font);
    pool.clear();
    // A cell's worth a glyph spares most of the pool's regrowing.
    pool.reserve(which.size() * kCellW * kCellH * 4);
    MeasureCells(renderer, std::move(which), placement_.Of(font).size);
  }

  /// Draws the glyphs alone; the ones that reach the edge of their room (or
  /// another's) are drawn again with more, until none does or the room is
  /// four cells wide.
  void MeasureCells(GlyphRenderer& renderer, std::vector<std::size_t> which,
                    int size) {
    for (std::size_t i : which) measured_[i].size = size;
    for (int room = kFirstRoom; !which.empty() && room <= kLastRoom;
         room *= 2) {
      which = MeasureWithRoom(renderer, which, room, room);
    }
  }

  /// A glyph that a fallback face was to draw, drawn as the chosen face's
  /// .notdef box, is left out: the cell stays blank, as it would had the
  /// engine known no face has the unit.
  void DropNotdefs(GlyphRenderer& renderer) {
    for (GlyphFont font : {GlyphFont::Main, GlyphFont::Symbol}) {
      std::optional<NotdefBox> notdef;
      for (std::size_t i = 0; i < cells_.size(); ++i) {
        MeasuredGlyph& glyph = measured_[i];
        // A unit the chosen face has is its own glyph, whatever it looks
        // like (a white square may look like the box).
        if (cells_[i].font != font || glyph.ink.empty() ||
            (!sources_.empty() && !IsFallback(i)))
          continue;
        if (!notdef) notdef = DrawNotdef(renderer, font);
        if (!IsNotdef(*notdef, glyph.ink, PoolOf(font).data() + glyph.offset,
                      std::size_t(Width(glyph.ink)) * 4))
          continue;
        notdef_[i] = true;
        glyph = {};
      }
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
        // Drawn again at another size, a glyph keeps its size and its font's
        // place: fitting it alone starts from there.
        const MeasuredGlyph before = glyph;
        glyph = Keep(strip, area.empty() ? PixelBox{} : InkBounds(strip, area),
                     pass[k].font);
        glyph.size = before.size;
        glyph.dx = before.dx;
        glyph.dy = before.dy;
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
        if (!glyph.ink.empty())
          glyph.ink =
              Moved(glyph.ink, -(slot.left + roomX), -(slot.top + roomY));
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

  /// Where the glyphs of a font sit: the median bottom of its ordinary
  /// glyphs (its own face's where it has any). For most glyphs that is the
  /// baseline, or the foot of the ideographs, whatever a few others do.
  int MedianBottom(GlyphFont font) const {
    std::vector<int> own, others;
    for (std::size_t i = 0; i < cells_.size(); ++i) {
      if (cells_[i].font != font || !IsOrdinary(i)) continue;
      (IsFallback(i) ? others : own).push_back(measured_[i].ink.bottom);
    }
    std::vector<int>& bottoms = own.empty() ? others : own;
    if (bottoms.empty()) return 0;
    auto middle = bottoms.begin() + bottoms.size() / 2;
    std::nth_element(bottoms.begin(), middle, bottoms.end());
    return *middle;
  }

  /// The ink of the ordinary glyphs of each font's own face, and of the
  /// fallback faces, with each font moved by its anchor.
  struct Extents {
    PixelBox own[2];
    PixelBox fallback;
  };

  /// Where an ordinary glyph's ink lies (moved by its font's anchor).
  struct Span {
    int top = 0;
    int bottom = 0;
    int font = 0;
    bool fallback = false;
  };

  std::vector<Span> Spans(const int anchor[2], Extents& extents) const {
    std::vector<Span> spans;
    for (std::size_t i = 0; i < cells_.size(); ++i) {
      if (!IsOrdinary(i)) continue;
      int f = static_cast<int>(cells_[i].font);
      PixelBox ink = Moved(measured_[i].ink, 0, anchor[f]);
      bool fallback = IsFallback(i);
      spans.push_back({ink.top, ink.bottom, f, fallback});
      PixelBox& into = fallback ? extents.fallback : extents.own[f];
      into = Union(into, ink);
    }
    return spans;
  }

  /// The vertical offset that puts the most ordinary glyphs of the fonts'
  /// own faces inside their cells; of those, the one that fits the most
  /// fallback glyphs too, then the least move (down before up). When every
  /// glyph fits, that is the least move that fits them all.
  struct Window {
    int dy = 0;
    bool fitsEnough = true;  ///< each font leaves out no more than a few
  };

  static Window BestWindow(const std::vector<Span>& spans) {
    bool anyOwn = std::any_of(spans.begin(), spans.end(),
                              [](const Span& span) { return !span.fallback; });
    int low = 0, high = 0;
    for (const Span& span : spans) {
      low = std::min(low, -span.top);
      high = std::max(high, kCellH - span.bottom);
    }
    const auto range = static_cast<std::size_t>(high - low) + 2;
    // Per offset: own glyphs per font, then fallback glyphs, that fit.
    std::vector<int> fits[3];
    for (auto& counts : fits) counts.assign(range, 0);
    int total[3] = {0, 0, 0};
    for (const Span& span : spans) {
      // Without own glyphs, the fallback faces' stand for them.
      int kind = span.fallback && anyOwn ? 2 : span.font;
      ++total[kind];
      int first = -span.top, last = kCellH - span.bottom;
      if (first > last) continue;
      ++fits[kind][static_cast<std::size_t>(first - low)];
      --fits[kind][static_cast<std::size_t>(last - low) + 1];
    }
    for (auto& counts : fits)
      for (std::size_t k = 1; k < range; ++k) counts[k] += counts[k - 1];
    Window best;
    auto key = [&](std::size_t k) {
      int dy = static_cast<int>(k) + low;
      return std::make_tuple(fits[0][k] + fits[1][k], fits[2][k], -std::abs(dy),
                             dy);
    };
    std::size_t chosen = std::size_t(-low);
    for (std::size_t k = 0; k + 1 < range; ++k)
      if (key(k) > key(chosen)) chosen = k;
    best.dy = static_cast<int>(chosen) + low;
    // A few glyphs that sit apart (no more than one in fifty of a font) are
    // fitted alone; a font whose glyphs do not fit with the other's in
    // numbers must shrink.
    for (int f = 0; f < 2; ++f) {
      int leftOut = total[f] - fits[f][chosen];
      if (leftOut > total[f] / 50) best.fitsEnough = false;
    }
    return best;
  }

  /// One vertical offset for every face, from the ordinary glyphs of both
  /// fonts' own faces (and of the fallback faces where they fit with them).
  /// Only where the own faces' glyphs do not fit a cell together, but for a
  /// few, does a font shrink, about its baseline, so that the glyphs beside
  /// each other in a line keep the relation their faces give them.
  void ChoosePlacement() {
    const int reference[2] = {MedianBottom(GlyphFont::Main),
                              MedianBottom(GlyphFont::Symbol)};
    int anchor[2] = {0, 0};
    for (;;) {
      Extents extents;
      std::vector<Span> spans = Spans(anchor, extents);
      Window window = BestWindow(spans);
      if (!window.fitsEnough && Shrink(extents, reference, anchor)) continue;
      placement_.main.dx = placement_.symbol.dx = 0;
      placement_.main.dy = anchor[0] + window.dy;
      placement_.symbol.dy = anchor[1] + window.dy;
      return;
    }
  }

  /// Shrinks the font whose shrinking about its baseline lets both fonts'
  /// glyphs fit a cell at the largest size (where neither can, the one that
  /// comes nearest, to the smallest size), measures it again and anchors
  /// its median bottom where it was. False when neither font can shrink.
  bool Shrink(const Extents& extents, const int reference[2], int anchor[2]) {
    struct Choice {
      int font = -1;
      int size = 0;
      bool fits = false;
      double height = 1e9;  ///< the predicted height at `size`
    } best;
    for (int f = 0; f < 2; ++f) {
      const FontPlacement& place = f == 0 ? placement_.main : placement_.symbol;
      const PixelBox& own = extents.own[f];
      const PixelBox& other = extents.own[1 - f];
      if (place.size <= kSmallestSize || own.empty()) continue;
      const double base = MedianBottom(static_cast<GlyphFont>(f)) + anchor[f];
      auto height = [&](int size) {
        double s = double(size) / place.size;
        double top = base - s * (base - own.top);
        double bottom = base + s * (own.bottom - base);
        if (!other.empty()) {
          top = std::min(top, double(other.top));
          bottom = std::max(bottom, double(other.bottom));
        }
        return bottom - top;
      };
      Choice choice{f, kSmallestSize, false, height(kSmallestSize)};
      for (int size = place.size - 1; size >= kSmallestSize; --size) {
        if (height(size) <= kCellH) {
          choice = {f, size, true, height(size)};
          break;
        }
      }
      bool better = best.font < 0 || (choice.fits && !best.fits) ||
                    (choice.fits && best.fits && choice.size > best.size) ||
                    (!choice.fits && !best.fits && choice.height < best.height);
      if (better) best = choice;
    }
    if (best.font < 0) return false;
    auto font = static_cast<GlyphFont>(best.font);
    FontPlacement& place = best.font == 0 ? placement_.main : placement_.symbol;
    place.size = best.size;
    MeasureFont(font, *open_(Scale()));
    anchor[best.font] = reference[best.font] - MedianBottom(font);
    return true;
  }

  /// Each glyph that leaves its cell at its font's place is moved into the
  /// cell by the least that puts it there, after shrinking it alone (whole
  /// pixel sizes, never below a third) where it is taller or wider than a
  /// cell. A glyph measured only in part keeps its place and is cut.
  void FitAlone() {
    std::map<std::pair<GlyphFont, int>, std::vector<std::size_t>> toShrink;
    auto fit = [&](std::size_t i) {
      MeasuredGlyph& glyph = measured_[i];
      if (glyph.ink.empty() || glyph.beyondRoom) return;
      PixelBox at = Moved(glyph.ink, glyph.dx, glyph.dy);
      if (Inside(at, {0, 0, kCellW, kCellH})) return;
      int width = Width(at), height = Height(at);
      if ((width > kCellW || height > kCellH) &&
          glyph.size > kSmallestAloneSize) {
        double factor =
            std::min(double(kCellW) / width, double(kCellH) / height);
        int size = std::clamp(static_cast<int>(std::floor(glyph.size * factor)),
                              kSmallestAloneSize, glyph.size - 1);
        toShrink[{cells_[i].font, size}].push_back(i);
        return;
      }
      glyph.alone = true;
      glyph.aloneDx = Shift(at.left, at.right, kCellW);
      glyph.aloneDy = Shift(at.top, at.bottom, kCellH);
      glyph.dx += glyph.aloneDx;
      glyph.dy += glyph.aloneDy;
    };
    for (std::size_t i = 0; i < cells_.size(); ++i) fit(i);
    while (!toShrink.empty()) {
      auto [key, which] = *toShrink.begin();
      toShrink.erase(toShrink.begin());
      GlyphScale scale = Scale();
      (key.first == GlyphFont::Main ? scale.main : scale.symbol) =
          static_cast<float>(key.second) / kGlyphFontSize;
      MeasureCells(*open_(scale), which, key.second);
      for (std::size_t i : which) {
        measured_[i].alone = true;
        fit(i);
      }
    }
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
  std::span<const GlyphSource> sources_;
  std::vector<MeasuredGlyph> measured_;
  std::vector<bool> notdef_;
  PixelBox line_[2];  ///< per font, the ink of its line glyphs
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
// apart. Otherwise the canvas is made blank again and nothing returned.
std::optional<FitReport> DrawDirectly(DrawingSurface& surface,
                                      GlyphRenderer& renderer,
                                      std::span<const GlyphCell> cells,
                                      std::span<const GlyphSource> sources) {
  // A row of the atlas at a time, so that a font that does not fit is
  // found out early.
  constexpr std::size_t kChunk = 64;
  std::vector<PixelBox> touched(cells.size());
  bool inside = true;
  for (std::size_t first = 0; inside && first < cells.size(); first += kChunk) {
    std::size_t count = std::min(kChunk, cells.size() - first);
    inside = renderer.Draw(surface, cells.subspan(first, count), false,
                           std::span(touched).subspan(first, count));
    for (std::size_t i = first; inside && i < first + count; ++i) {
      inside = touched[i].empty() || Inside(touched[i], BoxOf(cells[i]));
    }
  }
  const PixelBox whole{0, 0, static_cast<int>(surface.width()),
                       static_cast<int>(surface.height())};
  if (!inside) {
    ZeroArea(surface, whole);
    return std::nullopt;
  }
  // A fallback glyph drawn as the .notdef box is taken out again.
  FitReport report;
  std::optional<NotdefBox> notdef[2];
  for (std::size_t i = 0; i < cells.size() && i < sources.size(); ++i) {
    if (sources[i] != GlyphSource::Fallback || touched[i].empty()) continue;
    int f = static_cast<int>(cells[i].font);
    if (!notdef[f]) notdef[f] = DrawNotdef(renderer, cells[i].font);
    PixelBox ink = InkBounds(surface, Intersect(touched[i], whole));
    PixelBox box = BoxOf(cells[i]);
    const std::byte* at =
        surface.pixels().data() + ink.top * surface.rowPitch() + ink.left * 4;
    if (ink.empty() || !IsNotdef(*notdef[f], Moved(ink, -box.left, -box.top),
                                 at, surface.rowPitch()))
      continue;
    ZeroArea(surface, ink);
    report.notdef += cells[i].unit;
  }
  return report;
}

}  // namespace

GlyphRendererFactory SystemGlyphRenderers(RenderEngine engine,
                                          const GlyphFonts& fonts) {
  return [engine, fonts](const GlyphScale& scale) {
    return OpenGlyphRenderer(engine, fonts, kGlyphFontSize, scale);
  };
}

namespace {

/// The cells to draw: every cell but those whose unit no face has, which
/// stay blank rather than show whatever an engine draws for them.
struct DrawnCells {
  std::vector<GlyphCell> cells;
  std::vector<GlyphSource> sources;
  std::vector<std::size_t> index;  ///< each kept cell's place in the walk
};

DrawnCells KeepDrawable(std::span<const GlyphCell> cells,
                        std::span<const GlyphSource> sources) {
  DrawnCells kept;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    GlyphSource source = i < sources.size() ? sources[i] : GlyphSource::Chosen;
    if (source == GlyphSource::Missing) continue;
    kept.cells.push_back(cells[i]);
    kept.sources.push_back(source);
    kept.index.push_back(i);
  }
  return kept;
}

}  // namespace

FitReport DrawFittedGlyphs(DrawingSurface& surface,
                           const GlyphRendererFactory& open,
                           std::span<const GlyphCell> allCells,
                           const FitOptions& options) {
  const GlyphPlacement* placement =
      options.mode == FitMode::Fit ? options.placement : nullptr;
  // The engines are made ready even for no cells: a font the platform
  // refuses fails the drawing whatever the text.
  DrawnCells kept = KeepDrawable(allCells, options.sources);
  std::span<const GlyphCell> cells = kept.cells;
  if (cells.empty()) {
    open(GlyphScale{});
    return {};
  }
  std::optional<FitReport> report;
  if (options.blankCanvas && (!placement || (placement->main.IsEngines() &&
                                             placement->symbol.IsEngines()))) {
    std::unique_ptr<GlyphRenderer> renderer = open(GlyphScale{});
    if (renderer->ReportsTouched())
      report = DrawDirectly(surface, *renderer, cells, kept.sources);
    if (report) return *report;
  }
  GlyphFitter fitter(open, cells, kept.sources);
  fitter.Run(options.mode, placement);
  report = fitter.Compose(surface,
                          options.mode == FitMode::Fit || options.engineClips,
                          options.rowsDrawn);
  // Which cells got ink, by their place in the walk.
  std::vector<bool> inked(allCells.size(), false);
  for (std::size_t k = 0; k < kept.index.size(); ++k)
    inked[kept.index[k]] = report->inked[k];
  report->inked = std::move(inked);
  return *report;
}

GlyphPlacement PlanGlyphPlacement(const GlyphRendererFactory& open,
                                  std::span<const GlyphCell> allCells,
                                  std::span<const GlyphSource> sources) {
  DrawnCells kept = KeepDrawable(allCells, sources);
  GlyphFitter fitter(open, kept.cells, kept.sources);
  fitter.Run(FitMode::Fit, nullptr);
  return fitter.placement();
}

}  // namespace render
