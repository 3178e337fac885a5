#include "app/dialog/font_chooser.h"

#include <algorithm>

namespace app {

static_assert(sizeof(render::LogFont) == sizeof(LOGFONTW));
static_assert(sizeof(wchar_t) == sizeof(char16_t));

LOGFONTW InitialChooserFont() {
  LOGFONTW font{};
  font.lfHeight = kGlyphFontHeight;
  font.lfWeight = FW_BOLD;
  font.lfCharSet = GB2312_CHARSET;
  return font;
}

CHOOSEFONTW ChooserArguments(HWND owner, LOGFONTW& font) {
  CHOOSEFONTW arguments{};
  arguments.lStructSize = sizeof(arguments);
  arguments.hwndOwner = owner;
  arguments.lpLogFont = &font;
  arguments.Flags = kChooserFlags;
  return arguments;
}

render::LogFont StoredFont(const LOGFONTW& chosen) {
  render::LogFont font = ToLogFont(chosen);
  font.height = kGlyphFontHeight;
  font.quality = DEFAULT_QUALITY;
  return font;
}

render::LogFont ToLogFont(const LOGFONTW& font) {
  render::LogFont out;
  out.height = font.lfHeight;
  out.width = font.lfWidth;
  out.escapement = font.lfEscapement;
  out.orientation = font.lfOrientation;
  out.weight = font.lfWeight;
  out.italic = font.lfItalic;
  out.underline = font.lfUnderline;
  out.strikeOut = font.lfStrikeOut;
  out.charSet = font.lfCharSet;
  out.outPrecision = font.lfOutPrecision;
  out.clipPrecision = font.lfClipPrecision;
  out.quality = font.lfQuality;
  out.pitchAndFamily = font.lfPitchAndFamily;
  std::copy_n(font.lfFaceName, LF_FACESIZE, out.faceName.begin());
  // A chooser that fills all 32 units leaves no terminator.
  out.faceName.back() = 0;
  return out;
}

LOGFONTW ToLOGFONTW(const render::LogFont& font) {
  LOGFONTW out{};
  out.lfHeight = font.height;
  out.lfWidth = font.width;
  out.lfEscapement = font.escapement;
  out.lfOrientation = font.orientation;
  out.lfWeight = font.weight;
  out.lfItalic = font.italic;
  out.lfUnderline = font.underline;
  out.lfStrikeOut = font.strikeOut;
  out.lfCharSet = font.charSet;
  out.lfOutPrecision = font.outPrecision;
  out.lfClipPrecision = font.clipPrecision;
  out.lfQuality = font.quality;
  out.lfPitchAndFamily = font.pitchAndFamily;
  std::copy(font.faceName.begin(), font.faceName.end(), out.lfFaceName);
  out.lfFaceName[LF_FACESIZE - 1] = 0;
  return out;
}

}  // namespace app
