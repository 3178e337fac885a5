#include "app/cli/command_drawing.h"

#include <algorithm>
#include <cstdio>

#include "app/atlas_builder.h"
#include "common/result.h"
#include "common/text.h"
#include "render/character_tables.h"
#include "render/font_catalog.h"
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

}  // namespace

bool HasRegularWeight(const render::InstalledFamily& family) {
  return std::find(family.weights.begin(), family.weights.end(), 400) !=
         family.weights.end();
}

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

bool ChooseBestFace(const CommandContext& context, DrawingOptions& drawing,
                    std::u16string_view text) {
  std::u16string units = DrawnUnits(text);
  if (drawing.symbolFontGiven)
    std::erase_if(units,
                  [](char16_t unit) { return !render::UsesMainFont(unit); });
  std::u16string best;
  std::size_t bestCount = 0;
  bool bestIsRegular = false;
  try {
    for (const render::InstalledFamily& family :
         render::ListInstalledFamilies()) {
      std::size_t count = 0;
      try {
        count = render::CountCoveredUnits(family.name, units);
      } catch (const common::ResultException&) {
        LOG_CAUGHT_EXCEPTION();  // a family its own name does not find
        continue;
      }
      // Of equal coverage, a family with a regular face: the others draw
      // every glyph lighter or heavier than the game's own fonts.
      bool regular = HasRegularWeight(family);
      if (best.empty() || count > bestCount ||
          (count == bestCount && regular && !bestIsRegular)) {
        best = family.name;
        bestCount = count;
        bestIsRegular = regular;
      }
    }
  } catch (...) {
    ReportFailure(context, "无法列出已安装的字体");
    return false;
  }
  if (best.empty()) {
    context.err << "错误: 系统中没有可用的字体\n";
    return false;
  }
  render::SetFaceName(drawing.fonts.mainFont, best);
  if (!drawing.symbolFontGiven)
    drawing.fonts.symbolFont = drawing.fonts.mainFont;
  drawing.bestFace = false;
  context.err << "karstel: 未指定 --font，使用覆盖字符最多的字体 \""
              << common::Utf16ToUtf8(best) << "\"（" << bestCount << "/"
              << units.size() << " 个字符）\n";
  return true;
}

AtlasBuilder TimedAtlasBuilder(StageObserver observer) {
  return CheckedAtlasBuilder(SystemAtlasEngine(), std::move(observer));
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
      context.err << "错误: 系统中找不到字体 \"" << face << "\"\n";
      return false;
    } catch (...) {
      ReportFailure(context, "无法查找字体 " + face);
      return false;
    }
  }
  return true;
}

}  // namespace app
