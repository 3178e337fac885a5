#include "render/font_ranking.h"

#include <algorithm>
#include <tuple>

#include "common/text.h"

namespace render {
namespace {

std::vector<std::u16string> Words(std::u16string_view family) {
  std::vector<std::u16string> words;
  std::u16string lower = common::AsciiLower(family);
  std::size_t start = 0;
  while (start <= lower.size()) {
    std::size_t end = std::min(lower.find(u' ', start), lower.size());
    if (end > start) words.push_back(lower.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

bool AnyWord(const std::vector<std::u16string>& words,
             std::initializer_list<std::u16string_view> exact) {
  return std::any_of(words.begin(), words.end(), [&](const auto& word) {
    return std::find(exact.begin(), exact.end(), word) != exact.end();
  });
}

// A syllable that begins or ends a word: "UKai", "KaiTi", "YaHei", "MingLiU".
bool AnySyllable(const std::vector<std::u16string>& words,
                 std::initializer_list<std::u16string_view> syllables) {
  return std::any_of(words.begin(), words.end(), [&](const auto& word) {
    return std::any_of(syllables.begin(), syllables.end(), [&](auto syllable) {
      return word.starts_with(syllable) || word.ends_with(syllable);
    });
  });
}

bool Contains(std::u16string_view family, std::u16string_view part) {
  return family.find(part) != std::u16string_view::npos;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  return common::AsciiLower(a) == common::AsciiLower(b);
}

std::size_t PreferenceIndex(std::u16string_view family,
                            const std::vector<std::u16string>& preferred) {
  for (std::size_t i = 0; i < preferred.size(); ++i)
    if (SameName(family, preferred[i])) return i;
  return preferred.size();
}

// Sans faces, monospaced or not, and faces whose style the name does not
// tell rank alike; Ming/Song after them, Kai last.
int StyleRank(std::u16string_view family) {
  switch (StyleOf(family)) {
    case FamilyStyle::Sans:
    case FamilyStyle::SansMono:
    case FamilyStyle::Unknown:
      return 0;
    case FamilyStyle::Serif:
      return 1;
    case FamilyStyle::Kai:
      return 2;
  }
  return 0;
}

bool HasRegularWeight(const InstalledFamily& family) {
  return std::find(family.weights.begin(), family.weights.end(), 400) !=
         family.weights.end();
}

}  // namespace

FamilyScript ScriptOf(std::u16string_view family) {
  std::vector<std::u16string> words = Words(family);
  // The regional cuts of the pan-CJK families, and the Windows fonts made
  // for Traditional Chinese, Japanese and Korean.
  if (AnyWord(words, {u"tc", u"hk", u"tw", u"jp", u"kr", u"hant", u"mbe"}) ||
      AnySyllable(words, {u"jhenghei", u"mingliu", u"meiryo", u"mincho",
                          u"batang", u"gulim", u"dotum", u"malgun"}) ||
      Contains(common::AsciiLower(family), u"ms gothic") ||
      Contains(common::AsciiLower(family), u"yu gothic"))
    return FamilyScript::Other;
  if (AnyWord(words, {u"sc", u"cn", u"gb", u"hans", u"simplified"}) ||
      AnySyllable(words, {u"yahei", u"dengxian", u"simhei", u"simsun", u"kaiti",
                          u"fangsong", u"wenquanyi"}) ||
      Contains(family, u"黑体") || Contains(family, u"宋体") ||
      Contains(family, u"楷体") || Contains(family, u"等线") ||
      Contains(family, u"雅黑"))
    return FamilyScript::Simplified;
  return FamilyScript::Unknown;
}

FamilyStyle StyleOf(std::u16string_view family) {
  std::vector<std::u16string> words = Words(family);
  bool mono = AnyWord(words, {u"mono"});
  if (AnyWord(words, {u"sans"}) ||
      AnySyllable(words,
                  {u"hei", u"gothic", u"dengxian", u"gulim", u"dotum"}) ||
      Contains(family, u"黑") || Contains(family, u"等线"))
    return mono ? FamilyStyle::SansMono : FamilyStyle::Sans;
  if (AnySyllable(words, {u"kai"}) || Contains(family, u"楷"))
    return FamilyStyle::Kai;
  if (AnyWord(words, {u"serif"}) ||
      AnySyllable(words,
                  {u"ming", u"song", u"sung", u"sun", u"mincho", u"batang"}) ||
      Contains(family, u"宋") || Contains(family, u"明"))
    return FamilyStyle::Serif;
  return FamilyStyle::Unknown;
}

void RankFamilies(std::vector<FamilyCoverage>& families,
                  const std::vector<std::u16string>& preferred) {
  auto key = [&](const FamilyCoverage& entry) {
    const InstalledFamily& family = entry.family;
    return std::make_tuple(~entry.covered, ScriptOf(family.name),
                           StyleRank(family.name), entry.needsFit,
                           PreferenceIndex(family.name, preferred),
                           StyleOf(family.name), !HasRegularWeight(family),
                           common::AsciiLower(family.name));
  };
  std::sort(families.begin(), families.end(),
            [&](const FamilyCoverage& a, const FamilyCoverage& b) {
              return key(a) < key(b);
            });
}

bool RankAlike(const FamilyCoverage& a, const FamilyCoverage& b) {
  return a.covered == b.covered &&
         ScriptOf(a.family.name) == ScriptOf(b.family.name) &&
         StyleRank(a.family.name) == StyleRank(b.family.name);
}

std::string PreferenceReason(const FamilyCoverage& entry,
                             const std::vector<std::u16string>& preferred) {
  const std::u16string& name = entry.family.name;
  // fontconfig answers "sans-serif" with a Kai or Ming face when there is no
  // other: that is no sans face, whatever the platform calls it.
  if (PreferenceIndex(name, preferred) < preferred.size() &&
      StyleRank(name) == 0)
    return "系统默认的简体中文无衬线字体";
  std::string reason;
  if (ScriptOf(name) == FamilyScript::Simplified) reason = "简体中文";
  const char* style = nullptr;
  switch (StyleOf(name)) {
    case FamilyStyle::Sans:
    case FamilyStyle::SansMono:
      style = "黑体（无衬线）";
      break;
    case FamilyStyle::Serif:
      style = "宋体（明体）";
      break;
    case FamilyStyle::Kai:
      style = "楷体";
      break;
    case FamilyStyle::Unknown:
      break;
  }
  if (style) reason += (reason.empty() ? "" : "、") + std::string(style);
  return reason;
}

}  // namespace render
