#include "app/cli/command_drawing.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "app/atlas_builder.h"
#include "common/result.h"
#include "common/text.h"
#include "render/character_tables.h"
#include "render/drawing_check.h"
#include "render/font_catalog.h"
#include "render/glyph_atlas.h"
#include "render/glyph_coverage.h"
#include "render/text_engine.h"

namespace app {
namespace {

// 64 columns by 62 rows of cells.
constexpr std::size_t kGridCells = 64 * 62;

// At most this many characters are shown of one finding.
constexpr std::size_t kShownUnits = 20;

// "「 (U+300C)", or the code alone for a unit that shows nothing.
std::string ShowUnit(char16_t unit) {
  char code[12];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(unit));
  bool visible = !render::IsInkless(unit) && (unit < 0xD800 || unit > 0xDFFF);
  if (!visible) return code;
  return common::Utf16ToUtf8(std::u16string(1, unit)) + " (" + code + ")";
}

void PrintFinding(std::ostream& err, std::size_t count, const std::string& what,
                  std::u16string_view units) {
  if (units.empty()) return;
  err << "karstel: 有 " << count << " 个字符" << what << ":";
  for (std::size_t i = 0; i < std::min(units.size(), kShownUnits); ++i)
    err << (i == 0 ? " " : ", ") << ShowUnit(units[i]);
  if (units.size() > kShownUnits) err << " 等";
  err << "\n";
}

// Edits (insertions, deletions, changes) from a to b.
std::size_t EditDistance(std::u16string_view a, std::u16string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                         diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// Up to three installed families whose names are near `name`: those that
// contain it or are contained in it first, then the fewest edits away
// (no more than a third of the name).
std::vector<std::u16string> ClosestFamilies(std::u16string_view name) {
  std::u16string wanted = common::AsciiLower(name);
  std::vector<std::pair<std::size_t, std::u16string>> scored;
  try {
    for (const render::InstalledFamily& family :
         render::ListInstalledFamilies()) {
      std::u16string candidate = common::AsciiLower(family.name);
      std::size_t score = candidate.find(wanted) != std::u16string::npos ||
                                  wanted.find(candidate) != std::u16string::npos
                              ? 0
                              : EditDistance(wanted, candidate);
      if (score <= std::max<std::size_t>(2, wanted.size() / 3))
        scored.emplace_back(score, family.name);
    }
  } catch (...) {
    LOG_CAUGHT_EXCEPTION();  // no suggestions then
  }
  std::stable_sort(
      scored.begin(), scored.end(),
      [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::u16string> names;
  for (std::size_t i = 0; i < scored.size() && i < 3; ++i)
    names.push_back(scored[i].second);
  return names;
}

}  // namespace

std::size_t CountGlyphs(std::u16string_view text) {
  return DrawnUnits(text).size();
}

std::u16string DrawnUnits(std::u16string_view text) {
  std::u16string units;
  for (char16_t unit : text) {
    if (units.size() == kGridCells) break;
    if (!render::IsLineBreak(unit)) units += unit;
  }
  return units;
}

namespace {

bool IsIdeograph(char16_t unit) { return unit >= 0x4E00 && unit <= 0x9FFF; }

// A sample of the table for telling whether a face's glyphs leave the cells:
// every unit the symbol font draws, and every twentieth of the others.
std::u16string FitSample(std::u16string_view units) {
  std::u16string sample;
  std::size_t seen = 0;
  for (char16_t unit : units)
    if (!render::UsesMainFont(unit) || seen++ % 20 == 0) sample += unit;
  return sample;
}

// Whether the atlas would have to move or shrink the family's glyphs.
bool NeedsFit(const DrawingOptions& drawing, const std::u16string& family,
              std::u16string_view sample) {
  render::GlyphFonts fonts = drawing.fonts;
  render::SetFaceName(fonts.mainFont, family);
  if (!drawing.symbolFontGiven) fonts.symbolFont = fonts.mainFont;
  render::GlyphPlacement placement = render::PlanTablePlacement(
      fonts, drawing.engine, drawing.quoteStyle == QuoteStyle::CurlyQuotes,
      sample);
  return !placement.main.IsEngines() || !placement.symbol.IsEngines();
}

}  // namespace

std::vector<render::FamilyCoverage> RankInstalledFamilies(
    std::u16string_view units, const DrawingOptions& drawing) {
  std::vector<render::FamilyCoverage> ranked;
  for (render::InstalledFamily& family : render::ListInstalledFamilies()) {
    try {
      std::size_t covered = render::CountCoveredUnits(family.name, units);
      ranked.push_back({std::move(family), covered});
    } catch (const common::ResultException&) {
      LOG_CAUGHT_EXCEPTION();  // a family its own name does not find
    }
  }
  std::vector<std::u16string> preferred = render::PreferredChineseFamilies();
  render::RankFamilies(ranked, preferred);
  // Of the families that rank alike at the top, one whose glyphs need no
  // moving draws the table as its designer placed it.
  std::u16string sample = FitSample(units);
  for (std::size_t i = 0; i < ranked.size() && i < 6 &&
                          render::RankAlike(ranked[i], ranked.front());
       ++i) {
    try {
      ranked[i].needsFit = NeedsFit(drawing, ranked[i].family.name, sample);
    } catch (const common::ResultException&) {
      LOG_CAUGHT_EXCEPTION();  // ranked as it is
    }
  }
  render::RankFamilies(ranked, preferred);
  return ranked;
}

bool ChooseBestFace(const CommandContext& context, DrawingOptions& drawing,
                    std::u16string_view text) {
  std::u16string units = DrawnUnits(text);
  if (drawing.symbolFontGiven)
    std::erase_if(units,
                  [](char16_t unit) { return !render::UsesMainFont(unit); });
  std::vector<render::FamilyCoverage> ranked;
  std::vector<std::u16string> preferred;
  std::u16string ideographs;
  std::copy_if(units.begin(), units.end(), std::back_inserter(ideographs),
               IsIdeograph);
  std::size_t coveredIdeographs = 0;
  try {
    ranked = RankInstalledFamilies(units, drawing);
    preferred = render::PreferredChineseFamilies();
    if (!ranked.empty() && !ideographs.empty())
      coveredIdeographs =
          render::CountCoveredUnits(ranked.front().family.name, ideographs);
  } catch (...) {
    ReportFailure(context, "无法列出已安装的字体");
    return false;
  }
  if (ranked.empty()) {
    context.err << "karstel: 错误: 系统中没有可用的字体\n";
    return false;
  }
  const render::FamilyCoverage& best = ranked.front();
  // A face without the ideographs would leave the Chinese text blank.
  if (coveredIdeographs * 2 < ideographs.size()) {
    context.err << "karstel: 错误: 没有安装中文字体：字符表的 "
                << ideographs.size() << " 个汉字中，最合适的已安装字体 \""
                << common::Utf16ToUtf8(best.family.name) << "\" 只有 "
                << coveredIdeographs << " 个\n"
                << "karstel: " << render::ChineseFontAdvice() << "\n";
    return false;
  }
  render::SetFaceName(drawing.fonts.mainFont, best.family.name);
  if (!drawing.symbolFontGiven)
    drawing.fonts.symbolFont = drawing.fonts.mainFont;
  drawing.bestFace = false;
  std::string reason = render::PreferenceReason(best, preferred);
  bool alone = ranked.size() == 1 || ranked[1].covered < best.covered;
  bool fitted = !alone && render::RankAlike(ranked[1], best) &&
                ranked[1].needsFit && !best.needsFit;
  if (fitted)
    reason += std::string(reason.empty() ? "" : "、") + "字形无需移动";
  context.err << "karstel: 未指定 --font，使用 \""
              << common::Utf16ToUtf8(best.family.name) << "\"（"
              << (alone ? "覆盖字符最多，" : "覆盖 ") << best.covered << "/"
              << units.size() << " 个字符"
              << (!alone && !reason.empty() ? "；" + reason : "") << "）\n";
  return true;
}

bool CheckItalic(const CommandContext& context, const DrawingOptions& drawing,
                 bool strict) {
  if (drawing.engine != render::RenderEngine::DirectWrite ||
      (!drawing.fonts.mainFont.italic && !drawing.fonts.symbolFont.italic))
    return true;
  context.err << "karstel: DirectWrite 引擎按正体绘制；斜体请用 GDI+\n";
  if (!strict) return true;
  context.err
      << "karstel: 错误: 按 --strict 的要求未绘制（请去掉 --italic 或改用 "
         "--engine gdiplus）\n";
  return false;
}

AtlasBuilder TimedAtlasBuilder(StageObserver observer, render::FitMode fit) {
  return CheckedAtlasBuilder(SystemAtlasEngine(), std::move(observer), fit);
}

void PrintGlyphFindings(std::ostream& err,
                        const render::GlyphFindings& findings) {
  PrintFinding(err, findings.overflow.size(),
               "超出贴图容量（最多 3968 个），未能写入", findings.overflow);
  for (const render::FallbackUse& use : findings.fallback) {
    PrintFinding(
        err, use.units.size(),
        "所选字体中没有，已用 \"" + common::Utf16ToUtf8(use.face) + "\" 绘制",
        use.units);
  }
  PrintFinding(err, findings.missing.size(),
               "任何已安装字体中都没有，在游戏中将显示为空白",
               findings.missing);
  PrintFinding(err, findings.blank.size(),
               "绘制后没有笔画，在游戏中将显示为空白", findings.blank);
  PrintFinding(err, findings.cut.size(), "超出格子，在游戏中会被裁切",
               findings.cut);
  PrintFinding(err, findings.bled.size(), "的格子混入了相邻字形的笔画",
               findings.bled);
  if (!findings.alone.empty()) {
    err << "karstel: 有 " << findings.alone.size()
        << " 个字符超出格子，已单独移入（必要时缩小）自己的格子:";
    for (std::size_t i = 0; i < std::min(findings.alone.size(), kShownUnits);
         ++i) {
      const render::AloneGlyph& glyph = findings.alone[i];
      std::string shown = ShowUnit(glyph.unit);
      // "⸺ (U+2E3A, 35 像素)": the size it is drawn at, beside its code.
      if (shown.back() == ')')
        shown.pop_back();
      else
        shown += " (";
      err << (i == 0 ? " " : ", ") << shown << ", " << glyph.size << " 像素)";
    }
    if (findings.alone.size() > kShownUnits) err << " 等";
    err << "\n";
  }
  for (const FontAdjustmentText& adjustment : DescribeAdjustments(findings)) {
    err << "karstel: " << adjustment.role << " \"" << adjustment.faces[0]
        << (adjustment.faces.size() > 1 ? "\" 和 \"" + adjustment.faces[1] : "")
        << "\" 的字形超出 64×66 的格子，已" << adjustment.what
        << "，每个字形都在自己的格子内\n";
  }
  err.flush();
}

bool CheckFontsAvailable(const CommandContext& context,
                         const render::GlyphFonts& fonts) {
  for (const render::LogFont* font : {&fonts.mainFont, &fonts.symbolFont}) {
    if (!render::IsChosen(*font)) continue;
    std::string face = common::Utf16ToUtf8(render::FaceName(*font));
    try {
      render::CheckFontAvailable(*font);
    } catch (const common::ResultException& e) {
      if (e.GetErrorCode() != render::kFontNotFound) {
        ReportFailure(context, "无法查找字体 " + face);
        return false;
      }
      LOG_CAUGHT_EXCEPTION();
      context.err << "karstel: 错误: 系统中找不到字体 \"" << face << "\"\n";
      std::vector<std::u16string> near =
          ClosestFamilies(render::FaceName(*font));
      if (!near.empty()) {
        context.err << "karstel: 相近的已安装字体:";
        for (std::size_t i = 0; i < near.size(); ++i)
          context.err << (i == 0 ? " \"" : "、\"")
                      << common::Utf16ToUtf8(near[i]) << "\"";
        context.err << "\n";
      }
      context.err << "karstel: 运行 karstel fonts 列出全部已安装的字体\n";
      return false;
    } catch (...) {
      ReportFailure(context, "无法查找字体 " + face);
      return false;
    }
  }
  return true;
}

}  // namespace app
