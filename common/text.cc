#include "common/text.h"

#include <cstdint>

namespace common {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point from UTF-8 at text[i], advancing i.
char32_t DecodeUtf8(std::string_view text, std::size_t& i) {
  auto byte = [&](std::size_t k) {
    return static_cast<unsigned char>(text[k]);
  };
  unsigned char lead = byte(i++);
  if (lead < 0x80) return lead;
  // 0xF5 to 0xFF lead nothing that Unicode has; 0x80 to 0xC1 lead nothing
  // at all.
  int extra = lead >= 0xF0 && lead < 0xF5   ? 3
              : lead >= 0xE0 && lead < 0xF0 ? 2
              : lead >= 0xC2 && lead < 0xE0 ? 1
                                            : -1;
  if (extra < 0) return kReplacement;
  char32_t cp = lead & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size() || (byte(i) & 0xC0) != 0x80) return kReplacement;
    cp = (cp << 6) | (byte(i++) & 0x3F);
  }
  bool overlong = (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000);
  if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    return kReplacement;
  return cp;
}

void EncodeUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

template <typename Char>
void EncodeUtf16(char32_t cp, std::basic_string<Char>& out) {
  if (cp < 0x10000) {
    out += static_cast<Char>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<Char>(0xD800 + (cp >> 10));
    out += static_cast<Char>(0xDC00 + (cp & 0x3FF));
  }
}

template <typename Char>
std::string Utf16ToUtf8Impl(std::basic_string_view<Char> text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t unit = static_cast<std::uint16_t>(text[i]);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size()) {
      char32_t low = static_cast<std::uint16_t>(text[i + 1]);
      if (low >= 0xDC00 && low < 0xE000) {
        EncodeUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
        ++i;
        continue;
      }
    }
    EncodeUtf8(unit >= 0xD800 && unit < 0xE000 ? kReplacement : unit, out);
  }
  return out;
}

}  // namespace

std::u16string AsciiLower(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t& unit : lower)
    if (unit >= u'A' && unit <= u'Z')
      unit = static_cast<char16_t>(unit - u'A' + u'a');
  return lower;
}

std::string TruncateUtf8(std::string text, std::size_t maxUnits) {
  std::size_t i = 0, units = 0;
  while (i < text.size()) {
    std::size_t start = i;
    char32_t cp = DecodeUtf8(text, i);
    units += cp > 0xFFFF ? 2 : 1;
    if (units > maxUnits) {
      text.resize(start);
      break;
    }
  }
  return text;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();)
    EncodeUtf16(DecodeUtf8(text, i), out);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  return Utf16ToUtf8Impl(text);
}

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = DecodeUtf8(text, i);
    if constexpr (sizeof(wchar_t) == 2)
      EncodeUtf16(cp, out);
    else
      out += static_cast<wchar_t>(cp);
  }
  return out;
}

std::string WideToUtf8(std::wstring_view text) {
  if constexpr (sizeof(wchar_t) == 2) {
    return Utf16ToUtf8Impl(text);
  } else {
    std::string out;
    for (wchar_t c : text) {
      char32_t cp = static_cast<char32_t>(c);
      EncodeUtf8(
          cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000) ? kReplacement : cp,
          out);
    }
    return out;
  }
}

}  // namespace common

namespace common {

std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string PathToUtf8(const std::filesystem::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace common
