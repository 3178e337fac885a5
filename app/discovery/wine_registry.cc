#include "app/discovery/wine_registry.h"

#include <optional>
#include <vector>

#include "app/discovery/registry.h"
#include "common/text.h"

namespace app {
namespace {

char16_t FoldAsciiCase(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) return false;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads an escaped string from line[pos] up to the unescaped `delimiter`,
// as Wine writes them, and leaves pos after the delimiter. Nothing when the
// delimiter never comes.
std::optional<std::u16string> ParseEscaped(std::string_view line,
                                           std::size_t& pos, char delimiter) {
  std::u16string out;
  while (pos < line.size()) {
    char c = line[pos];
    if (c == delimiter) {
      ++pos;
      return out;
    }
    if (c != '\\') {
      // Text up to the next escape or the delimiter, which are ASCII and so
      // never inside a UTF-8 sequence.
      const char stops[] = {delimiter, '\\'};
      std::size_t end = line.find_first_of(std::string_view(stops, 2), pos);
      if (end == std::string_view::npos) end = line.size();
      out += common::Utf8ToUtf16(line.substr(pos, end - pos));
      pos = end;
      continue;
    }
    if (++pos == line.size()) return std::nullopt;
    c = line[pos++];
    switch (c) {
      case 'a':
        out.push_back(7);
        break;
      case 'b':
        out.push_back(8);
        break;
      case 'e':
        out.push_back(27);
        break;
      case 'f':
        out.push_back(12);
        break;
      case 'n':
        out.push_back(10);
        break;
      case 'r':
        out.push_back(13);
        break;
      case 't':
        out.push_back(9);
        break;
      case 'v':
        out.push_back(11);
        break;
      case 'x': {
        // Up to four hex digits; "\x" alone stands for 'x'.
        std::uint32_t value = 0;
        int digits = 0;
        while (digits < 4 && pos < line.size() && HexDigit(line[pos]) >= 0)
          value = value << 4 | HexDigit(line[pos++]), ++digits;
        out.push_back(digits ? static_cast<char16_t>(value) : u'x');
        break;
      }
      default:
        if (c >= '0' && c <= '7') {
          // Up to three octal digits.
          std::uint32_t value = c - '0';
          for (int digits = 1; digits < 3 && pos < line.size() &&
                               line[pos] >= '0' && line[pos] <= '7';
               ++digits)
            value = value << 3 | (line[pos++] - '0');
          out.push_back(static_cast<char16_t>(value));
        } else if (static_cast<unsigned char>(c) < 0x80) {
          out.push_back(static_cast<char16_t>(c));  // stands for itself
        } else {
          --pos;  // so does a character beyond ASCII, read as text above
        }
    }
  }
  return std::nullopt;
}

// No key name (at most 255 units) or value the search looks for comes near
// this; longer logical lines are skipped whole, so that a file of one huge
// line costs no copy of it.
constexpr std::size_t kLongestLine = 1u << 16;

// Calls `visit` with each logical line until it returns false: a line that
// ends in an odd number of backslashes continues on the next, whose leading
// blanks are dropped.
template <typename Visit>
void ForEachLogicalLine(std::string_view text, Visit visit) {
  std::string current;
  bool tooLong = false;
  bool continuing = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (continuing) {
      std::size_t blank = line.find_first_not_of(" \t");
      line.remove_prefix(blank == std::string_view::npos ? line.size() : blank);
    }
    std::size_t slashes = 0;
    while (slashes < line.size() && line[line.size() - 1 - slashes] == '\\')
      ++slashes;
    continuing = slashes % 2 == 1;
    if (continuing) line.remove_suffix(1);
    tooLong = tooLong || current.size() + line.size() > kLongestLine;
    if (!tooLong) current.append(line);
    if (continuing) continue;
    if (!tooLong && !visit(std::string_view(current))) return;
    current.clear();
    tooLong = false;
  }
  if (!current.empty() && !tooLong) visit(std::string_view(current));
}

// Splits a key path at backslashes.
std::vector<std::u16string_view> KeyComponents(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = path.find(u'\\', start);
    std::u16string_view part = path.substr(start, end - start);
    if (!part.empty()) parts.push_back(part);
    if (end == std::u16string_view::npos) return parts;
    start = end + 1;
  }
}

bool SameKey(std::u16string_view a, std::u16string_view b) {
  auto x = KeyComponents(a), y = KeyComponents(b);
  if (x.size() != y.size()) return false;
  for (std::size_t i = 0; i < x.size(); ++i)
    if (!EqualsIgnoringCase(x[i], y[i])) return false;
  return true;
}

// "hex(1):" data: UTF-16LE bytes of a string, written this way when its
// terminator is missing or misplaced.
std::optional<std::u16string> ParseHexString(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  std::size_t pos = 0;
  while (pos < text.size()) {
    char c = text[pos];
    if (c == ',' || c == ' ' || c == '\t') {
      ++pos;
      continue;
    }
    if (pos + 1 >= text.size() || HexDigit(c) < 0 ||
        HexDigit(text[pos + 1]) < 0)
      return std::nullopt;
    bytes.push_back(
        static_cast<std::uint8_t>(HexDigit(c) << 4 | HexDigit(text[pos + 1])));
    pos += 2;
  }
  std::u16string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    out.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
  if (!out.empty() && out.back() == u'\0') out.pop_back();
  return out;
}

// The data part of a value line, after '='.
std::uint32_t ParseStringData(std::string_view data, std::u16string& out) {
  if (data.starts_with('"')) {
    std::size_t pos = 1;
    auto text = ParseEscaped(data, pos, '"');
    if (!text) return kRegistryFileNotFound;
    out = std::move(*text);
    return 0;
  }
  if (data.starts_with("hex(1):")) {
    auto text = ParseHexString(data.substr(7));
    if (!text) return kRegistryFileNotFound;
    out = std::move(*text);
    return 0;
  }
  return kRegistryUnsupportedType;
}

}  // namespace

std::uint32_t FindWineRegistryString(std::string_view fileText,
                                     std::u16string_view keyPath,
                                     std::u16string_view valueName,
                                     std::u16string& data) {
  bool inKey = false;
  std::uint32_t result = kRegistryFileNotFound;
  ForEachLogicalLine(fileText, [&](std::string_view rest) {
    rest.remove_prefix(std::min(rest.find_first_not_of(" \t"), rest.size()));
    if (rest.empty()) return true;
    if (rest[0] == '[') {
      std::size_t pos = 1;
      auto name = ParseEscaped(rest, pos, ']');
      inKey = name && SameKey(*name, keyPath);
      return true;
    }
    if (!inKey) return true;
    std::optional<std::u16string> name;
    std::size_t pos = 0;
    if (rest[0] == '@') {
      name = std::u16string();
      pos = 1;
    } else if (rest[0] == '"') {
      pos = 1;
      name = ParseEscaped(rest, pos, '"');
    }
    if (!name || pos >= rest.size() || rest[pos] != '=') return true;
    if (!EqualsIgnoringCase(*name, valueName)) return true;
    result = ParseStringData(rest.substr(pos + 1), data);
    return false;
  });
  return result;
}

bool IsWin32Registry(std::string_view fileText) {
  bool win32 = false;
  ForEachLogicalLine(fileText.substr(0, 4096), [&](std::string_view line) {
    if (line.starts_with("#arch=")) win32 = line.substr(6) == "win32";
    return !line.starts_with("#arch=") && !line.starts_with("[");
  });
  return win32;
}

}  // namespace app
