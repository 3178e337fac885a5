#include "app/cli/sample_table.h"

#include "app/cli/gb2312_level1.h"

namespace app {
namespace {

// One GB2312 row: the table's own files break lines the same way.
constexpr std::size_t kRowLength = 94;

}  // namespace

std::u16string SampleCharacterTable() {
  std::u16string table;
  for (std::size_t i = 0; i < kGb2312Level1.size(); i += kRowLength) {
    table += kGb2312Level1.substr(i, kRowLength);
    table += u'\n';
  }
  table += u"，。、；：？！…—·～（）《》〈〉【】〔〕\r\n";
  for (char16_t c = u'０'; c <= u'９'; ++c) table += c;
  for (char16_t c = u'ａ'; c <= u'ｚ'; ++c) table += c;
  table += u'\n';
  // Corner brackets and curly quotes: either quote style finds its glyphs.
  table += u"「」『』“”‘’\n";
  return table;
}

}  // namespace app
