#include "app/dialog/ui_font-win32.h"

#include <cwchar>
#include <string>
#include <vector>

namespace app {
namespace {

// Faces that draw Chinese user-interface text well, best first: Windows'
// own, then what a Linux system under Wine or Proton most likely has.
constexpr const wchar_t* kPreferredFaces[] = {
    L"Microsoft YaHei",
    L"微软雅黑",
    L"DengXian",
    L"SimHei",
    L"黑体",
    L"SimSun",
    L"Noto Sans CJK SC",
    L"Source Han Sans SC",
    L"WenQuanYi Micro Hei",
    L"WenQuanYi Zen Hei",
    L"Droid Sans Fallback",
    L"AR PL UMing CN",
};

render::UniqueGdiObject FontLike(const LOGFONTW& like, const wchar_t* face) {
  LOGFONTW record = like;
  std::wcsncpy(record.lfFaceName, face, LF_FACESIZE - 1);
  record.lfFaceName[LF_FACESIZE - 1] = L'\0';
  record.lfCharSet = DEFAULT_CHARSET;
  return render::UniqueGdiObject(::CreateFontIndirectW(&record));
}

int CALLBACK CollectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD type,
                         LPARAM faces) {
  // Vertical faces ("@...") draw every glyph turned; bitmap faces do not
  // scale.
  if (font->lfFaceName[0] != L'@' && (type & TRUETYPE_FONTTYPE))
    reinterpret_cast<std::vector<std::wstring>*>(faces)->emplace_back(
        font->lfFaceName);
  return 1;
}

}  // namespace

bool FontHasCharacters(HFONT font, std::wstring_view text) {
  render::UniqueDc dc(::CreateCompatibleDC(nullptr));
  if (!dc || !font) return false;
  HGDIOBJ previous = ::SelectObject(dc.get(), font);
  std::wstring printable;
  for (wchar_t c : text)
    if (c > L' ' && c != L'\u3000') printable += c;
  std::vector<WORD> glyphs(printable.size());
  DWORD got = ::GetGlyphIndicesW(dc.get(), printable.c_str(),
                                 static_cast<int>(printable.size()),
                                 glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
  ::SelectObject(dc.get(), previous);
  if (got != printable.size()) return false;
  for (WORD glyph : glyphs)
    if (glyph == 0xFFFF) return false;
  return true;
}

render::UniqueGdiObject FindChineseFont(const LOGFONTW& like) {
  std::vector<std::wstring> faces(std::begin(kPreferredFaces),
                                  std::end(kPreferredFaces));
  render::UniqueDc dc(::CreateCompatibleDC(nullptr));
  if (dc) {
    LOGFONTW query{};
    query.lfCharSet = GB2312_CHARSET;
    ::EnumFontFamiliesExW(dc.get(), &query, CollectFace,
                          reinterpret_cast<LPARAM>(&faces), 0);
  }
  for (const std::wstring& face : faces) {
    render::UniqueGdiObject font = FontLike(like, face.c_str());
    // GDI hands out a substitute for a face it lacks; the glyph test tells.
    if (font &&
        FontHasCharacters(static_cast<HFONT>(font.get()), kChineseSample))
      return font;
  }
  return {};
}

bool RunningUnderWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

LOGFONTW SystemMessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics,
                               &metrics, 0)) {
    LOGFONTW fallback{};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof fallback,
                 &fallback);
    return fallback;
  }
  return metrics.lfMessageFont;
}

}  // namespace app
