// The platform font chooser as the dialog uses it, and the conversions
// between the platform's LOGFONTW and the portable render::LogFont.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include "render/font.h"

namespace app {

/// The height every chosen font is stored with: the glyph size of the atlas
/// cells, whatever size the user picked.
inline constexpr LONG kGlyphFontHeight = -58;

/// CF_INITTOLOGFONTSTRUCT | CF_FORCEFONTEXIST | CF_SELECTSCRIPT |
/// CF_NOVERTFONTS: start from the given record, offer only existing fonts of
/// the GB2312 script, and hide the vertical ("@") fonts.
inline constexpr DWORD kChooserFlags = CF_INITTOLOGFONTSTRUCT |
                                       CF_FORCEFONTEXIST | CF_SELECTSCRIPT |
                                       CF_NOVERTFONTS;
static_assert(kChooserFlags == 0x01410040);

/// The record the chooser opens with, the same every time: height -58, bold,
/// GB2312, everything else zero and no face name.
LOGFONTW InitialChooserFont();

/// The chooser's arguments, owned by `owner`, reading and writing `font`.
/// lStructSize is sizeof(CHOOSEFONTW): 60 bytes in a 32-bit build, 104 in
/// this 64-bit one, where the pointers and handles are twice as wide.
CHOOSEFONTW ChooserArguments(HWND owner, LOGFONTW& font);

/// The chooser's answer as it is stored: its height set to -58 and its
/// quality to DEFAULT_QUALITY, every other field as chosen.
render::LogFont StoredFont(const LOGFONTW& chosen);

render::LogFont ToLogFont(const LOGFONTW& font);
LOGFONTW ToLOGFONTW(const render::LogFont& font);

}  // namespace app
