// The fonts the user picks, as the platform's font chooser describes them
// (LOGFONTW field by field), and the engine that draws them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace render {

/// LOGFONTW, portable: the same fields in the same order.
struct LogFont {
  std::int32_t height = 0;
  std::int32_t width = 0;
  std::int32_t escapement = 0;
  std::int32_t orientation = 0;
  std::int32_t weight = 0;
  std::uint8_t italic = 0;
  std::uint8_t underline = 0;
  std::uint8_t strikeOut = 0;
  std::uint8_t charSet = 0;
  std::uint8_t outPrecision = 0;
  std::uint8_t clipPrecision = 0;
  std::uint8_t quality = 0;
  std::uint8_t pitchAndFamily = 0;
  /// 32 UTF-16 units, terminated.
  std::array<char16_t, 32> faceName{};

  friend bool operator==(const LogFont&, const LogFont&) = default;
};

/// A font counts as chosen when its face name is not empty.
inline bool IsChosen(const LogFont& font) { return font.faceName[0] != 0; }

/// The face name as a string (up to the terminator).
std::u16string FaceName(const LogFont& font);
/// Sets the face name, cut to 31 units.
void SetFaceName(LogFont& font, std::u16string_view name);

enum class RenderEngine { DirectWrite, GdiPlus };

/// The two fonts of a drawing: the main font for ideographs, fullwidth digits
/// and small letters, the symbol font for everything else.
struct GlyphFonts {
  LogFont mainFont;
  LogFont symbolFont;
};

}  // namespace render
