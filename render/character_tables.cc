#include "render/character_tables.h"

#include <algorithm>

namespace render {

bool IsLineBreak(char16_t unit) {
  return std::find(LineBreakSet.begin(), LineBreakSet.end(), unit) !=
         LineBreakSet.end();
}

char16_t MapQuote(char16_t unit) {
  for (const QuotePair& pair : QuoteMap) {
    if (pair.from == unit) return pair.to;
  }
  return unit;
}

bool UsesMainFont(char16_t unit) {
  return std::any_of(MainFontRanges.begin(), MainFontRanges.end(),
                     [unit](const CodeUnitRange& range) {
                       return range.first <= unit && unit <= range.last;
                     });
}

}  // namespace render
