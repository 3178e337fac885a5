// A user-interface font that draws Chinese. The dialog asks for "Microsoft
// YaHei", and the system's messages use its message font; a fresh Wine or
// Proton prefix has neither with Chinese characters, and draws every caption
// and message as boxes. Then an installed face that has the characters is
// used instead, at the same size.
#pragma once

#include <windows.h>

#include <string_view>

#include "render/platform_services-win32.h"

namespace app {

/// Characters of the dialog's captions and of its messages' most common
/// words, which a usable user-interface font must draw.
inline constexpr std::wstring_view kChineseSample =
    L"字体符号引号样式中英渲染引擎选择游戏预览生成贴图自动手动打开文件夹"
    L"尚未成功错误出现请确认已安装汉化补丁找不到目录";

/// Whether `font` has a glyph for every character of `text` (white space
/// aside), as GDI selects it.
bool FontHasCharacters(HFONT font, std::wstring_view text);

/// A font like `like` (its height, weight and quality) in the first
/// installed face that has every character of kChineseSample: the usual
/// Windows faces first, then the CJK faces of Linux that Wine lists, then
/// any face of the GB2312 character set. Null when none has them.
render::UniqueGdiObject FindChineseFont(const LOGFONTW& like);

/// The system's message font (what task dialogs and message boxes draw
/// with).
LOGFONTW SystemMessageFont();

/// True under Wine (and so Proton), whose ntdll says so.
bool RunningUnderWine();

}  // namespace app
