#include "render/font_ranking.h"

#include <gtest/gtest.h>

namespace render {
namespace {

std::vector<std::u16string> Ranked(
    std::vector<FamilyCoverage> families,
    const std::vector<std::u16string>& preferred) {
  RankFamilies(families, preferred);
  std::vector<std::u16string> names;
  for (const FamilyCoverage& entry : families)
    names.push_back(entry.family.name);
  return names;
}

TEST(FontRankingTest, PrefersASimplifiedChineseSansAmongFullCoverage) {
  // As Debian's CJK fonts list themselves: every one covers the table.
  std::vector<FamilyCoverage> families = {
      {{u"AR PL UKai CN", {400}}, 3820},
      {{u"Noto Sans CJK HK", {400, 700}}, 3820},
      {{u"AR PL UMing CN", {400}}, 3820},
      {{u"DejaVu Sans", {400, 700}}, 95},
      {{u"WenQuanYi Micro Hei Mono", {400}}, 3820},
      {{u"Noto Sans CJK SC", {400, 700}}, 3820},
      {{u"Noto Serif CJK SC", {400}}, 3819},
  };
  EXPECT_EQ(Ranked(families, {}),
            (std::vector<std::u16string>{
                u"Noto Sans CJK SC", u"WenQuanYi Micro Hei Mono",
                u"AR PL UMing CN", u"AR PL UKai CN", u"Noto Sans CJK HK",
                u"Noto Serif CJK SC", u"DejaVu Sans"}));
  // The platform's own choice comes first among those that cover as much.
  EXPECT_EQ(Ranked(families, {u"wenquanyi micro hei mono"}).front(),
            u"WenQuanYi Micro Hei Mono");
  EXPECT_EQ(PreferenceReason(families[5], {}), "简体中文、黑体（无衬线）");
}

TEST(FontRankingTest, MingBeforeKaiAndAFaceThatFitsBeforeOneThatMoves) {
  // fontconfig's sans-serif with only the AR PL faces is a Kai face.
  std::vector<FamilyCoverage> arPl = {{{u"AR PL UKai CN", {400}}, 3820},
                                      {{u"AR PL UMing CN", {400}}, 3820}};
  EXPECT_EQ(Ranked(arPl, {u"AR PL UKai CN"}).front(), u"AR PL UMing CN");
  EXPECT_EQ(PreferenceReason(arPl[0], {u"AR PL UKai CN"}), "简体中文、楷体");
  // Zen Hei's line stands out of the cells; Micro Hei's does not.
  std::vector<FamilyCoverage> wenQuanYi = {
      {{u"WenQuanYi Zen Hei", {400}}, 3820, true},
      {{u"WenQuanYi Micro Hei", {400}}, 3820, false}};
  EXPECT_TRUE(RankAlike(wenQuanYi[0], wenQuanYi[1]));
  EXPECT_EQ(Ranked(wenQuanYi, {u"WenQuanYi Zen Hei"}).front(),
            u"WenQuanYi Micro Hei");
  EXPECT_FALSE(RankAlike(arPl[0], arPl[1]));
}

TEST(FontRankingTest, KnowsTheWindowsFamiliesByTheirNames) {
  EXPECT_EQ(ScriptOf(u"Microsoft YaHei"), FamilyScript::Simplified);
  EXPECT_EQ(StyleOf(u"Microsoft YaHei"), FamilyStyle::Sans);
  EXPECT_EQ(ScriptOf(u"微软雅黑"), FamilyScript::Simplified);
  EXPECT_EQ(StyleOf(u"KaiTi"), FamilyStyle::Kai);
  EXPECT_EQ(StyleOf(u"SimSun"), FamilyStyle::Serif);
  EXPECT_EQ(ScriptOf(u"Microsoft JhengHei"), FamilyScript::Other);
  EXPECT_EQ(ScriptOf(u"MS Gothic"), FamilyScript::Other);
  EXPECT_EQ(ScriptOf(u"Segoe UI"), FamilyScript::Unknown);
}

}  // namespace
}  // namespace render
