// Which installed family to draw with when the player names none: the one
// that covers the character table, and of those the face a Chinese player
// would pick for game text: the platform's own Simplified Chinese sans-serif
// face, then any Simplified Chinese face before the Traditional, Hong Kong,
// Japanese and Korean cuts of the same design (whose glyph forms differ),
// and a plain sans (Hei) before Kai, Ming/Song and decorative styles.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "render/font_catalog.h"

namespace render {

/// The writing system a family is cut for, as its name tells.
enum class FamilyScript { Simplified, Unknown, Other };
/// Its style, as its name tells; the order is the order of preference.
enum class FamilyStyle { Sans, SansMono, Unknown, Serif, Kai };

FamilyScript ScriptOf(std::u16string_view family);
FamilyStyle StyleOf(std::u16string_view family);

/// A family and how many of the table's units it draws.
struct FamilyCoverage {
  InstalledFamily family;
  std::size_t covered = 0;
  /// Its glyphs leave the cells where the engine puts them, so the atlas
  /// has to move or shrink them (known only for the best few).
  bool needsFit = false;
};

/// Best first: most units covered; then script and style (a sans before
/// Ming/Song, Ming/Song before Kai); then a face that needs no fit; then
/// the platform's own choices, in the order of `preferred`; then the exact
/// style, a regular face, and the name.
void RankFamilies(std::vector<FamilyCoverage>& families,
                  const std::vector<std::u16string>& preferred);

/// Whether the two rank alike but for their fit and the platform's choice.
bool RankAlike(const FamilyCoverage& a, const FamilyCoverage& b);

/// Why `family` ranks where it does, in Chinese, for the player: "系统默认
/// 的简体中文无衬线字体", "简体中文、黑体（无衬线）", "简体中文、宋体（明体）",
/// "简体中文、楷体", ...
std::string PreferenceReason(const FamilyCoverage& family,
                             const std::vector<std::u16string>& preferred);

/// The families the platform itself draws Simplified Chinese sans-serif
/// text with, best first: fontconfig's match for sans-serif:lang=zh-cn on
/// Linux; Microsoft YaHei, DengXian and SimHei on Windows.
std::vector<std::u16string> PreferredChineseFamilies();

}  // namespace render
