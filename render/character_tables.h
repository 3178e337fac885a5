// The three constant tables that decide how each code unit of the character
// table is drawn: which units take no cell, which quotes are replaced when
// curly quotes are chosen, and which units take the main font.
#pragma once

#include <array>

namespace render {

/// Code units that occupy no atlas cell: line feed and carriage return.
inline constexpr std::array<char16_t, 2> LineBreakSet = {u'\n', u'\r'};

struct QuotePair {
  char16_t from;
  char16_t to;
};

/// Corner-bracket quotes and the curly quotes that replace them when the
/// curly-quote style is chosen.
inline constexpr std::array<QuotePair, 4> QuoteMap = {{
    {u'\u300C', u'\u201C'},
    {u'\u300D', u'\u201D'},
    {u'\u300E', u'\u2018'},
    {u'\u300F', u'\u2019'},
}};

/// An inclusive range of code units.
struct CodeUnitRange {
  char16_t first;
  char16_t last;
};

/// Code units drawn with the main font: CJK unified ideographs, fullwidth
/// digits and fullwidth small letters. Everything else takes the symbol font.
inline constexpr std::array<CodeUnitRange, 3> MainFontRanges = {{
    {u'\u4E00', u'\u9FFF'},
    {u'\uFF10', u'\uFF19'},
    {u'\uFF41', u'\uFF5A'},
}};

/// True for a unit of LineBreakSet.
bool IsLineBreak(char16_t unit);
/// The unit's image under QuoteMap, or the unit itself when it is no key.
char16_t MapQuote(char16_t unit);
/// True when the unit lies in one of MainFontRanges.
bool UsesMainFont(char16_t unit);

}  // namespace render
